#pragma once

#include "settings/relocation.h"

#include <QDialog>
#include <memory>
#include <string>

namespace Ui {
class TSetupForm;
}

namespace platform {
class SettingsStore;
class UserDialogs;
} // namespace platform

namespace settings {

// What the main window holds and the dialog may change.
struct SetupValues
{
    std::string libraryRoot; // native, ends in "/"
    bool quietMode = true;
    bool saveLayoutOnExit = true;
};

// "设置": the library's place (with the copy of the library there), the start-up
// password and two options, written when OK is pressed.
class TSetupForm : public QDialog
{
    Q_OBJECT
public:
    TSetupForm(platform::SettingsStore& settings, platform::UserDialogs& dialogs,
               QWidget* parent = nullptr);
    ~TSetupForm() override;

    // The values shown at the next FormShow; after OK, the values in force.
    void setValues(const SetupValues& values) { m_values = values; }
    const SetupValues& values() const { return m_values; }
    // Set when OK copied the library to a new root.
    bool libraryMoved() const { return m_libraryMoved; }
    // Test seam: how the free space of a chosen folder is asked.
    void setFreeSpaceQuery(FreeSpaceQuery query) { m_freeSpace = std::move(query); }

    void FormShow();
    void CheckBox1Click();
    void SpeedButton1Click();
    void BitBtn1Click();

protected:
    void showEvent(QShowEvent* event) override;

private:
    // Edit1 shows the root; its bytes stay in m_shownRoot, which need not be UTF-8.
    void showRoot(const std::string& root);
    // The root as Edit1 shows it (UTF-8), for messages.
    std::string shownRoot() const;
    void enablePasswordFields(bool on);
    bool validatePassword(bool& keepStored);
    // Copies the library to the root shown in Edit1; false when it failed (said).
    bool relocate();

    std::unique_ptr<Ui::TSetupForm> m_ui;
    platform::SettingsStore& m_settings;
    platform::UserDialogs& m_dialogs;
    FreeSpaceQuery m_freeSpace = FreeBytes;
    SetupValues m_values;
    std::string m_shownRoot;
    bool m_libraryMoved = false;
    bool m_hasStoredPassword = false;
};

} // namespace settings
