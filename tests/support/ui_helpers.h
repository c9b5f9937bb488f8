#pragma once

#include <QApplication>
#include <QKeyEvent>
#include <QObject>
#include <QString>
#include <QWidget>

// Helpers of the window tests (Qt only).
namespace testing_support {

// The control of that name; a test cannot go on without it.
template <typename T> T* child(QObject* parent, const char* name)
{
    auto* found = parent->findChild<T*>(QString::fromLatin1(name));
    if (found == nullptr) {
        qFatal("no control %s", name);
    }
    return found;
}

// Types text of any script: QTest::keyClicks takes ASCII only.
inline void type(QWidget* widget, const QString& text)
{
    for (const QChar c : text) {
        QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, QString(c));
        QApplication::sendEvent(widget, &press);
        QKeyEvent release(QEvent::KeyRelease, 0, Qt::NoModifier, QString(c));
        QApplication::sendEvent(widget, &release);
    }
}

} // namespace testing_support
