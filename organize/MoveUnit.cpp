#include "organize/MoveUnit.h"

#include "ui/box_tree_picker.h"
#include "ui_MoveUnit.h"

#include <QPushButton>
#include <QScreen>

namespace organize {

TMoveForm::TMoveForm(QWidget* parent) : QDialog(parent), m_ui(new Ui::TMoveForm)
{
    m_ui->setupUi(this);
    // A fixed border: neither resized nor maximised.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
    setFixedSize(size());
    connect(m_ui->BitBtn1, &QPushButton::clicked, this, &TMoveForm::BitBtn1Click);
    connect(m_ui->BitBtn2, &QPushButton::clicked, this, &TMoveForm::reject);
}

TMoveForm::~TMoveForm() = default;

void TMoveForm::setLibraryRoot(const std::string& root)
{
    m_libraryRoot = root;
}

void TMoveForm::setMoveSourcePath(const std::string& boxPathGbk)
{
    m_sourcePath = boxPathGbk;
}

bool TMoveForm::copyChecked() const
{
    return m_ui->CheckBox1->isChecked();
}

void TMoveForm::setCopyChoiceEnabled(bool enabled)
{
    m_ui->CheckBox1->setEnabled(enabled);
}

void TMoveForm::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (const QScreen* shownOn = screen()) {
        move(shownOn->availableGeometry().center() - rect().center());
    }
    // The tree is read from disk at every opening: the library may have changed since.
    ui::fillBoxTree(*m_ui->TreeView1, m_libraryRoot, m_sourcePath);
    m_ui->TreeView1->setFocus();
}

void TMoveForm::BitBtn1Click()
{
    m_targetPath = ui::selectedBoxPath(*m_ui->TreeView1);
    accept();
}

} // namespace organize
