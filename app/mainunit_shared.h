#pragma once

// What the parts of the main window share (app/mainunit.cpp, the pane files and the
// command files): the data roles of the box tree's items and the item class that sorts
// them, small conversions, and the wiring of commands.

#include "app/mainunit.h"

#include "app/AboutUnit.h"
#include "app/cd_list_view.h"
#include "app/info_panel.h"
#include "app/panel_bar.h"
#include "app/record_tree_model.h"
#include "catalog/box_tree.h"
#include "catalog/collation.h"
#include "catalog/identify.h"
#include "catalog/library.h"
#include "catalog/text.h"
#include "maintenance/ReIconUnit.h"
#include "organize/MoveUnit.h"
#include "organize/organize.h"
#include "output/ExpUnit.h"
#include "output/output.h"
#include "output/print_listing.h"
#include "platform/drives.h"
#include "platform/printing.h"
#include "platform/settings_store.h"
#include "platform/shell.h"
#include "platform/user_dialogs.h"
#include "scan/CDMxUnit.h"
#include "scan/NewCDUnit.h"
#include "scan/NewCDsUnit.h"
#include "search/FindUnit.h"
#include "search/LocUnit.h"
#include "search/engine.h"
#include "search/results.h"
#include "settings/SetupUnit.h"
#include "ui/gbk_text.h"
#include "ui/icons.h"

#include <QAbstractButton>
#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QDrag>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QScopeGuard>
#include <QSplitter>
#include <QTabWidget>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QTreeView>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <tuple>

namespace app {

inline constexpr int GbkRole = Qt::UserRole;
inline constexpr int KindRole = Qt::UserRole + 1;
inline constexpr int SortKeyRole = Qt::UserRole + 2;

inline constexpr std::string_view StateKey = "software\\Vellumark\\state";
inline constexpr std::string_view ViewStyleValue = "排列方式";

using platform::MessageIcon;

// A box tree node's name: its GBK bytes, the text shown and the key it sorts by.
inline void setNodeName(QTreeWidgetItem* item, const std::string& textGbk)
{
    item->setText(0, ui::fromGbk(textGbk));
    item->setData(0, GbkRole, QByteArray::fromStdString(textGbk));
    item->setData(0, SortKeyRole, QByteArray::fromStdString(catalog::captionSortKey(textGbk)));
}

// Box tree items sort by the collation key of their GBK text, so 0xFF names come last.
class BoxTreeItem : public QTreeWidgetItem
{
public:
    BoxTreeItem(const std::string& textGbk, int kind)
    {
        setNodeName(this, textGbk);
        setData(0, KindRole, kind);
        setIcon(0, ui::boxTreeIcon(kind));
    }
    bool operator<(const QTreeWidgetItem& other) const override
    {
        return data(0, SortKeyRole).toByteArray() < other.data(0, SortKeyRole).toByteArray();
    }
};

inline std::string gbkOf(const QTreeWidgetItem* item)
{
    return item->data(0, GbkRole).toByteArray().toStdString();
}

// The child whose text is exactly these bytes, or null.
inline QTreeWidgetItem* childNamed(const QTreeWidgetItem* parent, const std::string& nameGbk)
{
    for (int i = 0; i < parent->childCount(); ++i) {
        if (gbkOf(parent->child(i)) == nameGbk) {
            return parent->child(i);
        }
    }
    return nullptr;
}

// Adds a copy of node and its branch as the last child of newParent, every copy a box.
void CopyTreeBranch(const QTreeWidgetItem* node, QTreeWidgetItem* newParent);
// True when a node of the tree is selected.
bool TreeHasSelection(const QTreeWidget& tree);

inline QString utf8(const std::string& text)
{
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

inline std::string withoutLastBackslash(std::string path)
{
    if (!path.empty() && path.back() == '\\') {
        path.pop_back();
    }
    return path;
}

// A library name or path as messages show it (UTF-8, special names without 0xFF).
inline std::string shownUtf8(std::string_view gbk)
{
    return ui::fromGbk(gbk).toStdString();
}

// The pane a drag comes from ("TVstyle", "LVcd"), empty for any other drag.
inline QString dragPane(const QMimeData* data)
{
    return data == nullptr ? QString()
                           : QString::fromLatin1(data->data(QString::fromLatin1(PaneDragFormat)));
}

// Accepts a drag or a drop as a copy when Control is held, else as a move; true for a copy.
inline bool acceptDrop(QDropEvent* event)
{
    const bool copy = event->modifiers() & Qt::ControlModifier;
    event->setDropAction(copy ? Qt::CopyAction : Qt::MoveAction);
    event->accept();
    return copy;
}

inline bool pathExists(const std::string& nativePath)
{
    std::error_code error;
    return std::filesystem::exists(nativePath, error);
}

// The wait cursor for as long as the object lives.
class WaitCursor
{
public:
    WaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~WaitCursor() { QApplication::restoreOverrideCursor(); }
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;
};

// A pane of the window: a named widget whose children stand in one column.
inline QWidget* makePane(const QString& name, QVBoxLayout*& layout)
{
    auto* pane = new QWidget;
    pane->setObjectName(name);
    layout = new QVBoxLayout(pane);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    return pane;
}

// A memo's text as its file holds it: each line in GBK followed by CR LF (a final line
// break ends the last line rather than adding an empty one).
inline std::string memoFileText(const QString& text)
{
    QStringList lines = text.split(QLatin1Char('\n'));
    if (!lines.isEmpty() && lines.back().isEmpty()) {
        lines.removeLast();
    }
    std::vector<std::string> gbkLines;
    for (const QString& line : lines) {
        gbkLines.push_back(ui::toGbk(line));
    }
    return catalog::JoinLines(gbkLines);
}

// A command button of a pane's toolbar, off until the pane's state turns it on.
inline QAction* addTool(QToolBar* toolBar, const char* name, ui::Command icon, const QString& hint)
{
    QAction* action = toolBar->addAction(ui::commandIcon(icon), hint);
    action->setObjectName(QString::fromLatin1(name));
    action->setToolTip(hint);
    action->setEnabled(false);
    return action;
}

inline QAction* addMenuAction(QMenu* menu, const QString& text)
{
    return menu->addAction(text);
}

template <typename Sender, typename Signal, typename... Args>
void Tmainform::connectCommand(Sender* sender, Signal signal, void (Tmainform::*handler)(Args...))
{
    connect(sender, signal, this,
            [this, handler](Args... args) { runCommand([&] { (this->*handler)(args...); }); });
}

} // namespace app
