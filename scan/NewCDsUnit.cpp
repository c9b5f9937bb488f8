#include "scan/NewCDsUnit.h"

#include "ui/box_tree_picker.h"
#include "ui/gbk_text.h"
#include "ui/name_validator.h"
#include "ui_NewCDsUnit.h"

#include <QPushButton>

namespace scan {

TNewCDsForm::TNewCDsForm(QWidget* parent) : QDialog(parent), m_ui(new Ui::TNewCDsForm)
{
    m_ui->setupUi(this);
    m_ui->Edit1->setValidator(ui::makeNameValidator(QStringLiteral("\"\\/*?:><|"), false, this));
    connect(m_ui->Edit1, &QLineEdit::textChanged, this,
            [this](const QString& text) { m_ui->BitBtn1->setEnabled(!text.isEmpty()); });
    connect(m_ui->BitBtn1, &QPushButton::clicked, this, &TNewCDsForm::accept);
    connect(m_ui->BitBtn2, &QPushButton::clicked, this, &TNewCDsForm::reject);
}

TNewCDsForm::~TNewCDsForm() = default;

void TNewCDsForm::setLibraryRoot(const std::string& root)
{
    m_libraryRoot = root;
}

void TNewCDsForm::setParentPath(const std::string& boxPathGbk)
{
    m_parentPath = boxPathGbk;
}

std::string TNewCDsForm::nameGbk() const
{
    return ui::toGbk(m_ui->Edit1->text());
}

void TNewCDsForm::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    ui::fillBoxTree(*m_ui->TreeView1, m_libraryRoot, m_parentPath);
    m_ui->Edit1->setFocus();
}

void TNewCDsForm::accept()
{
    // The OK button is disabled without a name; Enter must not get around that.
    if (m_ui->Edit1->text().isEmpty()) {
        return;
    }
    m_parentPath = ui::selectedBoxPath(*m_ui->TreeView1);
    QDialog::accept();
}

} // namespace scan
