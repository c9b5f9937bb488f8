#include "ui/box_tree_picker.h"

#include "catalog/box_tree.h"
#include "catalog/collation.h"
#include "catalog/library.h"
#include "ui/gbk_text.h"
#include "ui/icons.h"

#include <QTreeWidget>
#include <QTreeWidgetItemIterator>

#include <vector>

namespace ui {
namespace {

constexpr int GbkRole = Qt::UserRole;
constexpr int SortKeyRole = Qt::UserRole + 1;

// Sorted by the collation key of the GBK text, as the main window's box tree is.
class BoxItem : public QTreeWidgetItem
{
public:
    BoxItem(const std::string& textGbk, int kind)
    {
        setText(0, fromGbk(textGbk));
        setData(0, GbkRole, QByteArray::fromStdString(textGbk));
        setData(0, SortKeyRole, QByteArray::fromStdString(catalog::captionSortKey(textGbk)));
        setIcon(0, boxTreeIcon(kind));
    }
    bool operator<(const QTreeWidgetItem& other) const override
    {
        return data(0, SortKeyRole).toByteArray() < other.data(0, SortKeyRole).toByteArray();
    }
};

void addChildren(QTreeWidgetItem* parentItem, const catalog::Tree& tree, catalog::NodeId node)
{
    for (const catalog::NodeId child : tree.children(node)) {
        auto* item = new BoxItem(tree.text(child), tree.image(child));
        parentItem->addChild(item);
        addChildren(item, tree, child);
    }
}

std::string boxPathOf(const QTreeWidgetItem* item)
{
    std::vector<const QTreeWidgetItem*> chain;
    for (; item != nullptr && item->parent() != nullptr; item = item->parent()) {
        chain.push_back(item);
    }
    std::string path;
    for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
        path += (*it)->data(0, GbkRole).toByteArray().toStdString();
        path += '\\';
    }
    return path;
}

} // namespace

void fillBoxTree(QTreeWidget& view, const std::string& libraryRoot, const std::string& boxPathGbk)
{
    view.clear();
    catalog::Tree tree;
    const catalog::NodeId rootNode =
        tree.addChild(catalog::NoNode, std::string(catalog::LibraryRootCaption),
                      catalog::BoxNode::LibraryRoot, catalog::BoxNode::LibraryRoot);
    if (!libraryRoot.empty()) {
        catalog::LoadBoxTree(libraryRoot, tree, rootNode);
    }
    auto* rootItem = new BoxItem(tree.text(rootNode), catalog::BoxNode::LibraryRoot);
    view.addTopLevelItem(rootItem);
    addChildren(rootItem, tree, rootNode);
    view.sortItems(0, Qt::AscendingOrder);
    rootItem->setExpanded(true);

    QTreeWidgetItem* selected = rootItem;
    for (QTreeWidgetItemIterator it(&view); *it != nullptr; ++it) {
        if (boxPathOf(*it) == boxPathGbk) {
            selected = *it;
            break;
        }
    }
    view.setCurrentItem(selected);
    view.scrollToItem(selected);
}

std::string selectedBoxPath(const QTreeWidget& view)
{
    const auto selected = view.selectedItems();
    return selected.isEmpty() ? std::string() : boxPathOf(selected.front());
}

} // namespace ui
