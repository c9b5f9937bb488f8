#include "app/application.h"

#include <QLibraryInfo>
#include <exception>

namespace app {

Application::Application(int& argc, char** argv) : QApplication(argc, argv)
{
    if (m_qtTexts.load(QStringLiteral("qtbase_zh_CN"),
                       QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        installTranslator(&m_qtTexts);
    }
}

void Application::setErrorReport(std::function<void(const std::string&)> report)
{
    m_report = std::move(report);
}

bool Application::notify(QObject* receiver, QEvent* event)
{
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception& error) {
        reportEscaped(error.what());
    } catch (...) {
        reportEscaped("未知错误");
    }
    return false;
}

void Application::reportEscaped(const std::string& text)
{
    // The command that failed may have left the wait cursor on.
    while (overrideCursor() != nullptr) {
        restoreOverrideCursor();
    }
    if (m_report) {
        m_report(text);
    } else {
        qWarning("%s", text.c_str());
    }
}

} // namespace app
