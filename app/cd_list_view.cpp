#include "app/cd_list_view.h"

#include "ui/gbk_text.h"
#include "ui/icons.h"

#include <QHeaderView>
#include <QKeyEvent>
#include <QListView>
#include <QMouseEvent>
#include <QStackedLayout>
#include <QStandardItemModel>
#include <QStyledItemDelegate>
#include <QTreeView>

#include <algorithm>
#include <functional>

namespace app {

namespace {

constexpr int CaptionRole = Qt::UserRole;
constexpr int KindRole = Qt::UserRole + 1;

constexpr int LargeIconSize = 32;
constexpr int SmallIconSize = 16;
constexpr int LargeCellWidth = 96;
constexpr int MaxSmallCellWidth = 320;
constexpr int DefaultColumnWidth = 250;

// Runs the owner's handler after the view has handled the mouse event, so that the
// handler sees the selection the press or click has just made.
template <class View> class NotifyingView : public View
{
public:
    using View::View;

    std::function<void(QMouseEvent*)> pressed;
    std::function<void(QMouseEvent*)> released;
    std::function<void(QMouseEvent*)> doubleClicked;
    std::function<void()> dragStarted;

protected:
    void startDrag(Qt::DropActions /*supportedActions*/) override
    {
        if (dragStarted) {
            dragStarted();
        }
    }
    void mousePressEvent(QMouseEvent* event) override
    {
        View::mousePressEvent(event);
        if (pressed) {
            pressed(event);
        }
    }
    void mouseReleaseEvent(QMouseEvent* event) override
    {
        View::mouseReleaseEvent(event);
        if (released) {
            released(event);
        }
    }
    void mouseDoubleClickEvent(QMouseEvent* event) override
    {
        View::mouseDoubleClickEvent(event);
        if (doubleClicked) {
            doubleClicked(event);
        }
    }
};

// Every item of the icon and list styles gets the same cell, so laying out thousands of
// items never measures them one by one.
class FixedCellDelegate : public QStyledItemDelegate
{
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void setCell(const QSize& cell) { m_cell = cell; }

    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        return m_cell.isValid() ? m_cell : QStyledItemDelegate::sizeHint(option, index);
    }

private:
    QSize m_cell;
};

QStandardItem* makeItem(const std::string& captionGbk, int kind)
{
    auto* item = new QStandardItem(ui::cdListIcon(kind), ui::fromGbk(captionGbk));
    item->setData(QByteArray(captionGbk.data(), static_cast<qsizetype>(captionGbk.size())),
                  CaptionRole);
    item->setData(kind, KindRole);
    item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsDragEnabled);
    return item;
}

// The selection stays as visible as with the focus: the owner acts on it from toolbars
// and menus.
void keepSelectionVisible(QWidget* view)
{
    QPalette palette = view->palette();
    palette.setColor(QPalette::Inactive, QPalette::Highlight,
                     palette.color(QPalette::Active, QPalette::Highlight));
    palette.setColor(QPalette::Inactive, QPalette::HighlightedText,
                     palette.color(QPalette::Active, QPalette::HighlightedText));
    view->setPalette(palette);
}

template <class View>
void connectMouse(CdListView* owner, NotifyingView<View>* view,
                  const std::function<int(const QPoint&)>& rowAtViewport)
{
    view->pressed = [owner, rowAtViewport](QMouseEvent* event) {
        if (event->button() == Qt::RightButton) {
            emit owner->rightButtonPressed(event->globalPosition().toPoint(),
                                           rowAtViewport(event->position().toPoint()));
        }
    };
    view->released = [owner](QMouseEvent* event) {
        if (event->button() == Qt::LeftButton) {
            emit owner->itemClicked();
        }
    };
    view->doubleClicked = [owner](QMouseEvent* event) {
        if (event->button() == Qt::LeftButton) {
            emit owner->itemDoubleClicked();
        }
    };
    view->dragStarted = [owner] { emit owner->dragRequested(); };
}

} // namespace

CdListView::CdListView(QWidget* parent) : QWidget(parent)
{
    m_model = new QStandardItemModel(0, 1, this);
    m_selection = new QItemSelectionModel(m_model, this);

    auto* listView = new NotifyingView<QListView>(this);
    auto* detailsView = new NotifyingView<QTreeView>(this);
    m_listView = listView;
    m_detailsView = detailsView;
    m_cellDelegate = new FixedCellDelegate(m_listView);
    m_listView->setItemDelegate(m_cellDelegate);

    for (QAbstractItemView* view : {static_cast<QAbstractItemView*>(m_listView),
                                    static_cast<QAbstractItemView*>(m_detailsView)}) {
        QItemSelectionModel* own = view->selectionModel();
        view->setModel(m_model);
        // setModel made a selection model of its own; both views share one instead.
        QItemSelectionModel* made = view->selectionModel();
        view->setSelectionModel(m_selection);
        if (made != own) {
            delete made;
        }
        view->setSelectionMode(QAbstractItemView::ExtendedSelection);
        view->setEditTriggers(QAbstractItemView::NoEditTriggers);
        view->setDragEnabled(true);
        view->viewport()->setAcceptDrops(true);
        view->setTextElideMode(Qt::ElideRight);
        keepSelectionVisible(view);
        view->installEventFilter(this);
    }

    m_listView->setUniformItemSizes(true);
    m_listView->setLayoutMode(QListView::SinglePass);
    m_listView->setResizeMode(QListView::Adjust);

    m_detailsView->setRootIsDecorated(false);
    m_detailsView->setUniformRowHeights(true);
    m_detailsView->setItemsExpandable(false);
    m_detailsView->setExpandsOnDoubleClick(false);
    m_detailsView->setAllColumnsShowFocus(true);
    m_detailsView->setIconSize(QSize(SmallIconSize, SmallIconSize));
    m_detailsView->header()->setStretchLastSection(false);
    m_detailsView->header()->setSectionsMovable(false);
    m_detailsView->setColumnWidth(0, DefaultColumnWidth);

    connectMouse(this, listView, [this](const QPoint& p) { return m_listView->indexAt(p).row(); });
    connectMouse(this, detailsView,
                 [this](const QPoint& p) { return m_detailsView->indexAt(p).row(); });

    m_stack = new QStackedLayout(this);
    m_stack->setContentsMargins(0, 0, 0, 0);
    m_stack->addWidget(m_listView);
    m_stack->addWidget(m_detailsView);
    setViewStyle(ViewStyle::Details);
}

void CdListView::setItems(const std::vector<catalog::ListEntry>& items)
{
    QList<QStandardItem*> rows;
    rows.reserve(static_cast<qsizetype>(items.size()));
    for (const catalog::ListEntry& entry : items) {
        rows.append(makeItem(entry.caption, entry.kind));
    }
    m_selection->clear();
    m_model->removeRows(0, m_model->rowCount());
    // One insertion for the whole list: the views lay out once.
    m_model->invisibleRootItem()->appendRows(rows);

    QItemSelection selected;
    for (std::size_t row = 0; row < items.size(); ++row) {
        if (items[row].selected) {
            const QModelIndex index = m_model->index(static_cast<int>(row), 0);
            selected.merge(QItemSelection(index, index), QItemSelectionModel::Select);
        }
    }
    if (!selected.isEmpty()) {
        m_selection->select(selected, QItemSelectionModel::Select);
    }
    m_textWidth = -1;
    updateCells();
}

int CdListView::addItem(const std::string& captionGbk, int kind)
{
    QStandardItem* item = makeItem(captionGbk, kind);
    m_model->appendRow(item);
    if (m_textWidth >= 0) {
        m_textWidth = std::max(m_textWidth, fontMetrics().horizontalAdvance(item->text()));
        updateCells();
    }
    return m_model->rowCount() - 1;
}

void CdListView::removeItem(int row)
{
    if (row >= 0 && row < count()) {
        m_model->removeRow(row);
    }
}

void CdListView::clear()
{
    m_selection->clear();
    m_model->removeRows(0, m_model->rowCount());
    m_textWidth = -1;
    updateCells();
}

int CdListView::count() const
{
    return m_model->rowCount();
}

std::vector<catalog::ListEntry> CdListView::entries() const
{
    std::vector<catalog::ListEntry> items;
    for (int row = 0; row < count(); ++row) {
        items.push_back({caption(row), kind(row), m_selection->isRowSelected(row)});
    }
    return items;
}

std::string CdListView::caption(int row) const
{
    if (row < 0 || row >= count()) {
        return {};
    }
    return m_model->index(row, 0).data(CaptionRole).toByteArray().toStdString();
}

int CdListView::kind(int row) const
{
    if (row < 0 || row >= count()) {
        return -1;
    }
    return m_model->index(row, 0).data(KindRole).toInt();
}

void CdListView::setCaption(int row, const std::string& captionGbk)
{
    QStandardItem* item = m_model->item(row);
    if (item == nullptr) {
        return;
    }
    item->setData(QByteArray(captionGbk.data(), static_cast<qsizetype>(captionGbk.size())),
                  CaptionRole);
    item->setText(ui::fromGbk(captionGbk));
    if (m_textWidth >= 0) {
        m_textWidth = std::max(m_textWidth, fontMetrics().horizontalAdvance(item->text()));
        updateCells();
    }
}

void CdListView::setItemIcon(int row, const QIcon& icon)
{
    if (QStandardItem* item = m_model->item(row)) {
        item->setIcon(icon);
    }
}

std::vector<int> CdListView::selectedRows() const
{
    std::vector<int> rows;
    for (const QItemSelectionRange& range : m_selection->selection()) {
        for (int row = range.top(); row <= range.bottom(); ++row) {
            rows.push_back(row);
        }
    }
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    return rows;
}

int CdListView::selectedRow() const
{
    int first = -1;
    for (const QItemSelectionRange& range : m_selection->selection()) {
        if (first < 0 || range.top() < first) {
            first = range.top();
        }
    }
    return first;
}

void CdListView::selectOnly(int row)
{
    const QModelIndex index = m_model->index(row, 0);
    if (!index.isValid()) {
        m_selection->clearSelection();
        return;
    }
    m_selection->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect);
}

void CdListView::selectRow(int row)
{
    const QModelIndex index = m_model->index(row, 0);
    if (index.isValid()) {
        m_selection->setCurrentIndex(index, QItemSelectionModel::Select);
    }
}

void CdListView::selectAll()
{
    if (count() == 0) {
        return;
    }
    const QItemSelection all(m_model->index(0, 0), m_model->index(count() - 1, 0));
    m_selection->select(all, QItemSelectionModel::ClearAndSelect);
}

void CdListView::clearSelection()
{
    m_selection->clearSelection();
}

void CdListView::scrollTo(int row)
{
    const QModelIndex index = m_model->index(row, 0);
    if (!index.isValid()) {
        return;
    }
    auto* view = static_cast<QAbstractItemView*>(currentView());
    view->scrollTo(index);
}

int CdListView::rowAt(const QPoint& pointInThisWidget) const
{
    auto* view = static_cast<QAbstractItemView*>(currentView());
    const QPoint inViewport = view->viewport()->mapFrom(this, pointInThisWidget);
    if (!view->viewport()->rect().contains(inViewport)) {
        return -1;
    }
    return view->indexAt(inViewport).row();
}

void CdListView::setViewStyle(ViewStyle style)
{
    QWidget* before = currentView();
    const bool hadFocus = before != nullptr && before->hasFocus();
    switch (style) {
    case ViewStyle::LargeIcons:
        m_listView->setViewMode(QListView::IconMode);
        m_listView->setFlow(QListView::LeftToRight);
        m_listView->setWordWrap(true);
        m_listView->setIconSize(QSize(LargeIconSize, LargeIconSize));
        break;
    case ViewStyle::SmallIcons:
        m_listView->setViewMode(QListView::ListMode);
        m_listView->setFlow(QListView::LeftToRight);
        m_listView->setWordWrap(false);
        m_listView->setIconSize(QSize(SmallIconSize, SmallIconSize));
        break;
    case ViewStyle::List:
        m_listView->setViewMode(QListView::ListMode);
        m_listView->setFlow(QListView::TopToBottom);
        m_listView->setWordWrap(false);
        m_listView->setIconSize(QSize(SmallIconSize, SmallIconSize));
        break;
    case ViewStyle::Details:
    default:
        style = ViewStyle::Details;
        break;
    }
    m_style = style;
    if (style == ViewStyle::Details) {
        m_stack->setCurrentWidget(m_detailsView);
    } else {
        // setViewMode turns on free movement; items stay where the layout puts them, and
        // a drag moves them to a box rather than on the screen.
        m_listView->setMovement(QListView::Static);
        m_listView->setDragEnabled(true);
        m_listView->viewport()->setAcceptDrops(true);
        m_listView->setWrapping(true);
        m_listView->setResizeMode(QListView::Adjust);
        updateCells();
        m_stack->setCurrentWidget(m_listView);
    }
    QWidget* now = currentView();
    setFocusProxy(now);
    if (hadFocus) {
        now->setFocus();
    }
    const QModelIndex current = m_selection->currentIndex();
    if (current.isValid()) {
        static_cast<QAbstractItemView*>(now)->scrollTo(current);
    }
}

void CdListView::relayout()
{
    m_textWidth = -1;
    setViewStyle(m_style);
    static_cast<QAbstractItemView*>(currentView())->doItemsLayout();
}

void CdListView::setColumnCaption(const QString& caption)
{
    m_model->setHeaderData(0, Qt::Horizontal, caption);
}

QString CdListView::columnCaption() const
{
    return m_model->headerData(0, Qt::Horizontal).toString();
}

int CdListView::columnWidth() const
{
    return m_detailsView->columnWidth(0);
}

void CdListView::setColumnWidth(int width)
{
    if (width > 0) {
        m_detailsView->setColumnWidth(0, width);
    }
}

QWidget* CdListView::currentView() const
{
    return m_stack != nullptr ? m_stack->currentWidget() : nullptr;
}

bool CdListView::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::KeyRelease &&
        (watched == m_listView || watched == m_detailsView)) {
        const auto* key = static_cast<QKeyEvent*>(event);
        // X11 repeats a held key as release/press pairs; one release per key stroke.
        if (!key->isAutoRepeat()) {
            emit keyReleased(key->key(), key->modifiers());
        }
    }
    return QWidget::eventFilter(watched, event);
}

void CdListView::updateCells()
{
    if (m_style == ViewStyle::Details) {
        return;
    }
    const QFontMetrics metrics = m_listView->fontMetrics();
    QSize cell;
    if (m_style == ViewStyle::LargeIcons) {
        // Icon above at most two lines of text.
        cell = QSize(LargeCellWidth, LargeIconSize + 2 * metrics.lineSpacing() + 12);
    } else {
        if (m_textWidth < 0) {
            m_textWidth = 0;
            for (int row = 0; row < m_model->rowCount(); ++row) {
                m_textWidth =
                    std::max(m_textWidth, metrics.horizontalAdvance(m_model->item(row)->text()));
            }
        }
        const int width = std::min(SmallIconSize + m_textWidth + 20, MaxSmallCellWidth);
        cell = QSize(width, std::max(SmallIconSize, metrics.height()) + 4);
    }
    static_cast<FixedCellDelegate*>(m_cellDelegate)->setCell(cell);
    if (m_listView->gridSize() != cell) {
        m_listView->setGridSize(cell);
    }
}

} // namespace app
