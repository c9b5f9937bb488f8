#pragma once

#include <QApplication>
#include <QTranslator>
#include <functional>
#include <string>

namespace app {

// The program's application object: Qt's own texts (dialog buttons, edit menus, the
// calendar) in Chinese like the rest, and a last guard for errors. A handler catches the
// errors of its command; one that still escapes is shown, and the window goes on.
class Application : public QApplication
{
public:
    Application(int& argc, char** argv);

    // How an escaped error is shown (UTF-8 text); without one it goes to the log.
    void setErrorReport(std::function<void(const std::string&)> report);

    bool notify(QObject* receiver, QEvent* event) override;

private:
    void reportEscaped(const std::string& text);

    QTranslator m_qtTexts;
    std::function<void(const std::string&)> m_report;
};

} // namespace app
