#include "search/LocUnit.h"

#include "ui_LocUnit.h"

#include "platform/user_dialogs.h"
#include "ui/gbk_text.h"

#include <QAbstractItemDelegate>
#include <QPainter>
#include <QShowEvent>
#include <QStyledItemDelegate>

namespace search {

namespace {
constexpr int TextColumn = 0;
constexpr int PathColumn = 1;
// The bytes as given, so a description that does not survive the round trip through
// the screen text is written back unchanged unless it was edited.
constexpr int GbkRole = Qt::UserRole;

// Grid lines between the rows and columns of the report view, drawn over the style's
// own item so that a selected row keeps the style's selection colours.
class GridLineDelegate : public QStyledItemDelegate
{
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override
    {
        QStyledItemDelegate::paint(painter, option, index);
        painter->save();
        painter->setPen(option.palette.color(QPalette::Mid));
        painter->drawLine(option.rect.bottomLeft(), option.rect.bottomRight());
        painter->drawLine(option.rect.topRight(), option.rect.bottomRight());
        painter->restore();
    }
};

std::string gbkOf(const QTreeWidgetItem* item, int column)
{
    const std::string given = item->data(column, GbkRole).toByteArray().toStdString();
    if (item->text(column) == ui::fromGbk(given)) {
        return given;
    }
    return ui::toGbk(item->text(column));
}
} // namespace

TLocForm::TLocForm(QWidget* parent) : QDialog(parent), m_ui(new Ui::TLocForm)
{
    m_ui->setupUi(this);
    setWindowFlag(Qt::WindowStaysOnTopHint);
    QTreeWidget* list = m_ui->ListView1;
    list->setColumnHidden(PathColumn, true);
    list->setSelectionMode(QAbstractItemView::SingleSelection);
    list->setItemDelegate(new GridLineDelegate(list));

    connect(m_ui->Button1, &QPushButton::clicked, this, [this] {
        if (selectedIndex() >= 0) {
            locateSelected();
            return;
        }
        if (m_dialogs) {
            m_dialogs->message("请选择要定位的节点", platform::MessageIcon::Warning);
        }
        m_ui->ListView1->setFocus();
    });
    connect(list, &QTreeWidget::itemDoubleClicked, this, [this] {
        if (selectedIndex() >= 0) {
            locateSelected();
        }
    });
    connect(m_ui->Button2, &QPushButton::clicked, this, [this] {
        m_locate = false;
        reject();
    });
    connect(m_ui->Button4, &QPushButton::clicked, this, [this] {
        const QList<QTreeWidgetItem*> selected = m_ui->ListView1->selectedItems();
        if (!selected.isEmpty()) {
            m_ui->ListView1->editItem(selected.first(), TextColumn);
        }
    });
    // A confirmed edit (Enter or leaving the field), not a cancelled one.
    connect(list->itemDelegate(), &QAbstractItemDelegate::commitData, this,
            [this] { m_modified = true; });
    connect(m_ui->Button3, &QPushButton::clicked, this, [this] {
        const QList<QTreeWidgetItem*> selected = m_ui->ListView1->selectedItems();
        if (!selected.isEmpty()) {
            delete selected.first();
            m_modified = true;
        }
    });
    connect(m_ui->Button5, &QPushButton::clicked, this, [this] {
        m_ui->ListView1->clear();
        m_modified = true;
    });
}

TLocForm::~TLocForm() = default;

void TLocForm::setDialogs(platform::UserDialogs* dialogs)
{
    m_dialogs = dialogs;
}

void TLocForm::setEntries(const Entries& entries)
{
    QTreeWidget* list = m_ui->ListView1;
    list->clear();
    for (const auto& [pathGbk, textGbk] : entries) {
        auto* item = new QTreeWidgetItem(list);
        item->setText(TextColumn, ui::fromGbk(textGbk));
        item->setData(TextColumn, GbkRole, QByteArray::fromStdString(textGbk));
        item->setText(PathColumn, ui::fromGbk(pathGbk));
        item->setData(PathColumn, GbkRole, QByteArray::fromStdString(pathGbk));
        item->setFlags(item->flags() | Qt::ItemIsEditable);
    }
    if (list->topLevelItemCount() > 0) {
        list->setCurrentItem(list->topLevelItem(0));
    }
    m_modified = false;
}

TLocForm::Entries TLocForm::entries() const
{
    Entries result;
    const QTreeWidget* list = m_ui->ListView1;
    for (int i = 0; i < list->topLevelItemCount(); ++i) {
        const QTreeWidgetItem* item = list->topLevelItem(i);
        result.emplace_back(gbkOf(item, PathColumn), gbkOf(item, TextColumn));
    }
    return result;
}

bool TLocForm::locate() const
{
    return m_locate;
}

bool TLocForm::modified() const
{
    return m_modified;
}

int TLocForm::selectedIndex() const
{
    const QList<QTreeWidgetItem*> selected = m_ui->ListView1->selectedItems();
    return selected.isEmpty() ? -1 : m_ui->ListView1->indexOfTopLevelItem(selected.first());
}

void TLocForm::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (!event->spontaneous()) {
        m_locate = false;
        m_modified = false;
    }
}

void TLocForm::locateSelected()
{
    m_locate = true;
    accept();
}

} // namespace search
