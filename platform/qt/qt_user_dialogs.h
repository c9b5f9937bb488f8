#pragma once

#include "platform/user_dialogs.h"

class QWidget;

namespace platform::qt_edition {

// Message boxes with the application title "Vellumark 1.32" as caption; a CR in a text
// is shown as a line break. Files are chosen with QFileDialog, folders with the program's
// own browser, which shows GBK names.
class QtUserDialogs : public UserDialogs
{
public:
    explicit QtUserDialogs(QWidget* parent = nullptr) : m_parent(parent) {}
    void setParent(QWidget* parent) { m_parent = parent; }

    void message(const std::string& text, MessageIcon icon) override;
    using UserDialogs::ask;
    bool ask(const std::string& text, MessageIcon icon, Default preferred) override;
    std::optional<std::string> inputText(const std::string& caption, const std::string& prompt,
                                         const std::string& initial) override;
    void messageWithCaption(const std::string& caption, const std::string& text,
                            MessageIcon icon) override;
    std::optional<std::string> saveFileName(const std::string& folder, const std::string& fileName,
                                            const std::string& filter) override;
    std::optional<std::string> openFileName(const std::string& folder,
                                            const std::string& filter) override;
    std::optional<std::string> chooseFolder(const std::string& prompt,
                                            const std::string& startFolder) override;

private:
    QWidget* m_parent;
};

} // namespace platform::qt_edition
