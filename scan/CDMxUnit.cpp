#include "scan/CDMxUnit.h"

#include "ui_CDMxUnit.h"

#include <QPushButton>
#include <QTextCursor>

namespace scan {

namespace {
constexpr int TallHeight = 375;
constexpr int ShortHeight = 200;
} // namespace

TCDMxForm::TCDMxForm(QWidget* parent) : QDialog(parent), m_ui(new Ui::TCDMxForm)
{
    m_ui->setupUi(this);
    connect(m_ui->BitBtn1, &QPushButton::clicked, this, &TCDMxForm::accept);
    connect(m_ui->BitBtn2, &QPushButton::clicked, this, &TCDMxForm::reject);
    connect(m_ui->Button1, &QPushButton::clicked, this,
            [this] { m_ui->Memo1->setPlainText(m_ui->Memo2->toPlainText()); });
    connect(m_ui->Button2, &QPushButton::clicked, this, [this] {
        QTextCursor cursor = m_ui->Memo1->textCursor();
        cursor.movePosition(QTextCursor::End);
        cursor.insertText(m_ui->Memo2->toPlainText());
        m_ui->Memo1->setTextCursor(cursor);
    });
}

TCDMxForm::~TCDMxForm() = default;

void TCDMxForm::prepare(const QString& description, const QString& readme)
{
    m_ui->Memo1->setPlainText(description);
    m_ui->Memo2->setPlainText(readme);
    const bool withReadme = !readme.isEmpty();
    for (QWidget* part :
         std::initializer_list<QWidget*>{m_ui->Label2, m_ui->Memo2, m_ui->Button1, m_ui->Button2}) {
        part->setVisible(withReadme);
    }
    // The minimum size follows the parts shown; settle it before asking for the height.
    layout()->activate();
    resize(width(), withReadme ? TallHeight : ShortHeight);
}

QString TCDMxForm::description() const
{
    return m_ui->Memo1->toPlainText();
}

void TCDMxForm::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    m_ui->Memo1->setFocus();
}

} // namespace scan
