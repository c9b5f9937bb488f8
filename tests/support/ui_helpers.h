#pragma once

#include <QApplication>
#include <QKeyEvent>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QTreeWidget>
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

// The node below item named by the display names of path ("A\\B\\"), or null.
inline QTreeWidgetItem* walk(QTreeWidgetItem* item, const QString& path)
{
    for (const QString& name : path.split(QLatin1Char('\\'), Qt::SkipEmptyParts)) {
        QTreeWidgetItem* next = nullptr;
        for (int i = 0; item != nullptr && i < item->childCount(); ++i) {
            next = item->child(i)->text(0) == name ? item->child(i) : next;
        }
        item = next;
    }
    return item;
}

// The display names from below the top node down to the current node, joined by "\\".
inline QString currentPath(const QTreeWidget& tree)
{
    QStringList names;
    for (auto* item = tree.currentItem(); item && item->parent(); item = item->parent()) {
        names.prepend(item->text(0));
    }
    return names.join(QLatin1Char('\\'));
}

} // namespace testing_support
