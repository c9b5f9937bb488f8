#pragma once

#include <QDialog>
#include <QString>
#include <memory>

namespace Ui {
class TAboutForm;
}

namespace platform {
class Shell;
class UserDialogs;
} // namespace platform

// The about box: product name, version, and the readme that comes with the program.
class TAboutForm : public QDialog
{
    Q_OBJECT
public:
    TAboutForm(platform::Shell& shell, platform::UserDialogs& dialogs, QWidget* parent = nullptr);
    ~TAboutForm() override;

    // readme.txt in the program's own folder, or installed in share/vellumark/, unless set.
    void setReadmePath(const QString& path) { m_readmePath = path; }
    QString readmePath() const { return m_readmePath; }

    void BitBtn1Click(); // 帮助: opens the readme

private:
    std::unique_ptr<Ui::TAboutForm> ui;
    platform::Shell& m_shell;
    platform::UserDialogs& m_dialogs;
    QString m_readmePath;
};
