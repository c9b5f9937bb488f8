#include "settings/PWDUnit.h"

#include "settings/password.h"
#include "ui_PWDUnit.h"

#include <QGuiApplication>
#include <QScreen>

#include <algorithm>

namespace settings {

TPWDForm::TPWDForm(std::string stored, QWidget* parent)
    : QDialog(parent), m_ui(std::make_unique<Ui::TPWDForm>()), m_stored(std::move(stored))
{
    m_ui->setupUi(this);
    // A title but no system menu and no close box.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    // Wide enough for the whole caption in the title bar.
    constexpr int CaptionWidth = 260;
    setFixedSize(std::max(sizeHint().width(), CaptionWidth), sizeHint().height());
    connect(m_ui->OKBtn, &QPushButton::clicked, this, &TPWDForm::OKBtnClick);
    connect(m_ui->CancelBtn, &QPushButton::clicked, this, &TPWDForm::CancelBtnClick);
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        move(screen->availableGeometry().center() - rect().center());
    }
}

TPWDForm::~TPWDForm() = default;

void TPWDForm::OKBtnClick()
{
    // A wrong password says nothing and keeps the text: the user tries again.
    if (PasswordMatches(m_stored, m_ui->passwd->text().toStdString())) {
        accept();
    }
}

void TPWDForm::CancelBtnClick()
{
    reject();
}

bool AskStartupPassword(const platform::SettingsStore& settings)
{
    const StoredPassword password = ReadStoredPassword(settings);
    if (!password.required) {
        return true;
    }
    TPWDForm form(password.stored);
    return form.exec() == QDialog::Accepted;
}

} // namespace settings
