#pragma once

#include "ui/walk_state.h"

#include <QDialog>

#include <exception>
#include <functional>
#include <memory>
#include <string>

class QTimer;

namespace Ui {
class TExpForm;
}

namespace platform {
class Printing;
class SettingsStore;
class Shell;
class UserDialogs;
} // namespace platform

namespace output {

struct BatchResult;

// What the batch output dialog needs from the machine.
struct ExpServices
{
    platform::SettingsStore& settings;
    platform::UserDialogs& dialogs;
    platform::Shell& shell;
    platform::Printing* printing; // null: the machine has no printer
    std::string documentsFolder;  // native, ends in "/"
};

// "批量输出": every CD of a box and its sub-boxes written into one folder as text files or
// HTML documents, or printed. The walk runs on a thread of its own, so the dialog repaints
// and its abort button answers at once; the dialog shows its progress about 30 times a
// second. Printing itself happens on the window's thread: the walk hands each CD over and
// waits until it is printed.
class TExpForm : public QDialog
{
    Q_OBJECT
public:
    // Indices of ComboBox1.
    enum OutputType { TextType = 0, HtmlType = 1, PrinterType = 2 };

    explicit TExpForm(ExpServices services, QWidget* parent = nullptr);
    ~TExpForm() override;

    void setLibraryRoot(const std::string& root);
    // ExpStartPath: the box selected when the dialog opens (GBK box path, "" the root);
    // after a completed output, the box that was output.
    void setExpStartPath(const std::string& boxPathGbk) { m_expStartPath = boxPathGbk; }
    const std::string& expStartPath() const { return m_expStartPath; }
    // Set when the last showing ended with a completed output.
    bool done() const { return m_done; }
    // The option "输出后打开文件夹或文件", which the single-CD commands follow as well.
    bool openAfterOutput() const;
    // OutputFolder: native, ends in "/".
    const std::string& outputFolder() const { return m_outputFolder; }
    bool running() const { return m_running; }

    void SpeedButton1Click();
    void BitBtn1Click();
    void BitBtn2Click();
    // "输出为CSV表格": the CDs under the selected box as one CSV table.
    void CsvButtonClick();
    void OverExpOpenFileClick();
    void SetOutputBusy(bool running);

    // For tests: runs on the walk's thread before the abort flag is read at each entry.
    void setBeforeEntry(std::function<void()> hook) { m_beforeEntry = std::move(hook); }

protected:
    void showEvent(QShowEvent* event) override;
    // Escape and the window's close button act as BitBtn2.
    void reject() override;

private:
    void FormCreate();
    void FormShow();
    // Runs the walk on its own thread; the window's events go on meanwhile.
    BatchResult runBatch(const std::string& boxFolder, const std::string& outputFolder, int type);
    void showProgress();
    void reportFailed(const BatchResult& result);

    std::unique_ptr<Ui::TExpForm> m_ui;
    ExpServices m_services;
    std::string m_libraryRoot;
    std::string m_outputFolder;
    std::string m_expStartPath;
    bool m_done = false;
    bool m_running = false;
    std::function<void()> m_beforeEntry;

    ui::WalkState m_walk; // shared with the walk's thread
    QTimer* m_progressTimer = nullptr;
};

} // namespace output
