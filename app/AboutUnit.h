#pragma once

#include <QDialog>
#include <QString>
#include <functional>
#include <memory>

class QUrl;

namespace Ui {
class TAboutForm;
}

// The about box: product name, version, and the readme that comes with the program.
class TAboutForm : public QDialog
{
    Q_OBJECT
public:
    explicit TAboutForm(QWidget* parent = nullptr);
    ~TAboutForm() override;

    // readme.txt in the program's own folder, or installed in share/vellumark/, unless set.
    void setReadmePath(const QString& path) { m_readmePath = path; }
    QString readmePath() const { return m_readmePath; }
    // Opens a file with its application; QDesktopServices::openUrl unless set (tests).
    void setUrlOpener(std::function<bool(const QUrl&)> opener) { m_openUrl = std::move(opener); }

    void BitBtn1Click(); // 帮助: opens the readme

private:
    std::unique_ptr<Ui::TAboutForm> ui;
    QString m_readmePath;
    std::function<bool(const QUrl&)> m_openUrl;
};
