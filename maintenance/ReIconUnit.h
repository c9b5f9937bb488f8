#pragma once

#include "ui/walk_state.h"

#include <QDialog>

#include <memory>
#include <string>

class QTimer;

namespace Ui {
class TReIconForm;
}

namespace platform {
class UserDialogs;
}

namespace maintenance {

struct RebuildCounts;

// "重建光盘图标": the icon files of every CD under a chosen box made again. The walk runs
// on a thread of its own, so the dialog repaints and its abort button answers at once;
// the progress reaches the screen about 30 times a second.
class TReIconForm : public QDialog
{
    Q_OBJECT
public:
    TReIconForm(platform::UserDialogs& dialogs, QWidget* parent = nullptr);
    ~TReIconForm() override;

    void setLibraryRoot(const std::string& root) { m_libraryRoot = root; }
    // ReIconBoxPath: the box selected as the dialog opens (GBK box path, "" the root);
    // after a completed rebuild, the box that was rebuilt.
    void setReIconBoxPath(const std::string& boxPathGbk) { m_boxPath = boxPathGbk; }
    const std::string& reIconBoxPath() const { return m_boxPath; }
    // ReIconDone: the last showing ended with a completed rebuild.
    bool done() const { return m_done; }
    bool running() const { return m_running; }

    void BitBtn1Click();
    void BitBtn2Click();
    void SetRebuilding(bool on);

protected:
    void showEvent(QShowEvent* event) override;
    // Escape and the window's close button act as BitBtn2.
    void reject() override;

private:
    RebuildCounts runRebuild(const std::string& folder);
    void showProgress();

    std::unique_ptr<Ui::TReIconForm> m_ui;
    platform::UserDialogs& m_dialogs;
    std::string m_libraryRoot;
    std::string m_boxPath;
    bool m_done = false;
    bool m_running = false;

    ui::WalkState m_walk; // shared with the walk's thread
    QTimer* m_progressTimer = nullptr;
};

} // namespace maintenance
