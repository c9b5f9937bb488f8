#pragma once

#include <QDialog>
#include <memory>
#include <string>

namespace Ui {
class TPWDForm;
}

namespace platform {
class SettingsStore;
}

namespace settings {

// "Password Dialog": asks for the start-up password until it is typed right; there is no
// other way out than Cancel or Esc, which end the program.
class TPWDForm : public QDialog
{
    Q_OBJECT
public:
    // stored: the value of "PWD" (a hash, or an old plain password).
    explicit TPWDForm(std::string stored, QWidget* parent = nullptr);
    ~TPWDForm() override;

    void OKBtnClick();
    void CancelBtnClick();

private:
    std::unique_ptr<Ui::TPWDForm> m_ui;
    std::string m_stored;
};

// Asks for the start-up password when the settings require one; true when the program
// may go on (no password required, or the right one typed).
bool AskStartupPassword(const platform::SettingsStore& settings);

} // namespace settings
