#pragma once

#include "catalog/box_tree.h"

#include <QIcon>
#include <QWidget>
#include <string>
#include <vector>

class QListView;
class QTreeView;
class QStackedLayout;
class QStandardItemModel;
class QItemSelectionModel;
class QStyledItemDelegate;

namespace app {

// The CD list LVcd: one model shown in four view styles (large icons, small icons, list,
// details with one column), multiple selection, read-only, a drag source and a drop target
// whose drops the owner handles. Items keep their caption as GBK bytes and their kind
// (catalog::ListItem; 5 or more for a drive).
class CdListView : public QWidget
{
    Q_OBJECT
public:
    enum class ViewStyle { LargeIcons = 1, SmallIcons = 2, List = 3, Details = 4 };

    explicit CdListView(QWidget* parent = nullptr);

    void setItems(const std::vector<catalog::ListEntry>& items); // replaces every item
    int addItem(const std::string& captionGbk, int kind);        // returns its row
    void removeItem(int row);
    void clear();

    int count() const;
    // Every item as the core lists them, with its selection.
    std::vector<catalog::ListEntry> entries() const;
    std::string caption(int row) const; // GBK
    int kind(int row) const;
    void setCaption(int row, const std::string& captionGbk);
    void setItemIcon(int row, const QIcon& icon);

    // Selected rows in list order; the first of them is "the selected item".
    std::vector<int> selectedRows() const;
    int selectedRow() const; // -1 when nothing is selected
    void selectOnly(int row);
    // Adds the row to the selection and makes it the current item.
    void selectRow(int row);
    void selectAll();
    void clearSelection();
    void scrollTo(int row);
    int rowAt(const QPoint& pointInThisWidget) const; // -1 for empty space

    void setViewStyle(ViewStyle style);
    ViewStyle viewStyle() const { return m_style; }
    // Lays the items out anew (what switching the style away and back does).
    void relayout();
    void setColumnCaption(const QString& caption);
    QString columnCaption() const;
    int columnWidth() const;
    void setColumnWidth(int width);

    // The view that currently shows the items (for key and mouse handling by the owner).
    QWidget* currentView() const;

signals:
    // A left-button click (released) on an item or on empty space.
    void itemClicked();
    // Right button pressed; row is the item under the pointer or -1.
    void rightButtonPressed(const QPoint& globalPos, int row);
    void itemDoubleClicked();
    // A key released while the list has the focus.
    void keyReleased(int key, Qt::KeyboardModifiers modifiers);
    // The user drags the selected items; the owner decides what the drag carries.
    void dragRequested();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Cell size of the icon and list styles, from the widest caption where it matters.
    void updateCells();

    QStandardItemModel* m_model;
    QItemSelectionModel* m_selection;
    QListView* m_listView;
    QTreeView* m_detailsView;
    QStackedLayout* m_stack = nullptr;
    QStyledItemDelegate* m_cellDelegate;
    int m_textWidth = -1; // widest caption in pixels, -1 until measured
    ViewStyle m_style = ViewStyle::Details;
};

} // namespace app
