#pragma once

#include "platform/user_dialogs.h"

class QWidget;

namespace platform::qt_edition {

// Message boxes with the application title "Vellumark 1.32" as caption; a CR in a text
// is shown as a line break.
class QtUserDialogs : public UserDialogs
{
public:
    explicit QtUserDialogs(QWidget* parent = nullptr) : m_parent(parent) {}
    void setParent(QWidget* parent) { m_parent = parent; }

    void message(const std::string& text, MessageIcon icon) override;
    bool ask(const std::string& text, MessageIcon icon) override;
    void messageWithCaption(const std::string& caption, const std::string& text,
                            MessageIcon icon) override;

private:
    QWidget* m_parent;
};

} // namespace platform::qt_edition
