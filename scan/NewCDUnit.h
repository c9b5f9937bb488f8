#pragma once

#include <QDialog>
#include <memory>
#include <string>
#include <vector>

namespace platform {
class Drives;
class SettingsStore;
class UserDialogs;
} // namespace platform

namespace Ui {
class TNewCDForm;
}

namespace scan {

// The add-a-CD dialog "新增一张光盘": name, drive, target box, scan options; its start
// button runs the scan and saves the record's listing and icon list.
class TNewCDForm : public QDialog
{
    Q_OBJECT
public:
    TNewCDForm(platform::Drives& drives, platform::SettingsStore& settings,
               platform::UserDialogs& dialogs, QWidget* parent = nullptr);
    ~TNewCDForm() override;

    // Set by the add command before the dialog is shown.
    void setLibraryRoot(const std::string& root);
    void setPresetBox(const std::string& boxPathGbk); // NewCDPresetBox
    // Fills the drive list with "E: 驱" items for the letters, in order.
    void setDriveLetters(const std::vector<char>& letters);
    void selectDrive(int index);
    void setCdName(const std::string& nameUtf8);

    // Read by the add command after the dialog closed.
    bool cdAdded() const;                 // CDAdded
    const std::string& targetBox() const; // NewCDTargetBox (GBK box path)
    std::string cdNameGbk() const;
    char selectedDrive() const;     // 0 when the list is empty
    bool openDoorWhenAdded() const; // closedoor
    // The lines that describe the scan options (UTF-8), empty with the panel collapsed.
    std::vector<std::string> optionLines() const;
    // The read-me file's text found on the disc by the last successful scan ("" for none).
    const QString& readmeText() const;
    // Names changed to "?" by the last successful scan.
    int renamedNames() const;

    // The system reports that a medium arrived or was removed.
    void mediaChanged();

    // Test seam: runs the start button's work as a click would.
    void start();
    // Test seam: a drop of the dragged list's selection onto the list target, as the drag
    // and drop between ListBox2 and ListBox1 does it; false when target refuses the drag.
    bool dropOnList(const QObject* source, const QObject* target);

protected:
    void showEvent(QShowEvent* event) override;
    void reject() override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void driveChosen();
    void rememberDiscState();
    void setExpanded(bool expanded);
    void setScanning(bool on);
    void addTypedMask();
    void addOfferedMasks(bool selectedOnly);
    void removeChosenMasks();
    std::string scanMask() const;
    bool nameAcceptable(const std::string& nameUtf8);

    struct Private;
    std::unique_ptr<Ui::TNewCDForm> m_ui;
    std::unique_ptr<Private> d;
};

} // namespace scan
