#include "app/record_tree_model.h"

#include "ui/gbk_text.h"
#include "ui/icons.h"

#include <QByteArray>
#include <QScopeGuard>
#include <algorithm>

namespace app {

namespace {

// One past the highest node id in use. Removed nodes keep their ids, so after an edit
// the live count says nothing about the ids.
std::size_t idLimit(const catalog::Tree& tree)
{
    if (tree.idsInIndexOrder()) {
        return tree.size();
    }
    catalog::NodeId highest = catalog::NoNode;
    std::vector<catalog::NodeId> pending(tree.topLevel().begin(), tree.topLevel().end());
    while (!pending.empty()) {
        const catalog::NodeId node = pending.back();
        pending.pop_back();
        highest = std::max(highest, node);
        const auto& kids = tree.children(node);
        pending.insert(pending.end(), kids.begin(), kids.end());
    }
    return static_cast<std::size_t>(highest + 1);
}

} // namespace

RecordTreeModel::RecordTreeModel(QObject* parent) : QAbstractItemModel(parent) {}

void RecordTreeModel::setTree(catalog::Tree tree)
{
    beginResetModel();
    m_tree = std::move(tree);
    // Only room for the texts: nothing is converted until a view asks, so a record of a
    // million nodes shows at once.
    const std::size_t limit = idLimit(m_tree);
    std::vector<QString>().swap(m_display);
    m_slot.assign(limit, -1);
    m_converted.assign(limit, false);
    endResetModel();
}

void RecordTreeModel::clear()
{
    setTree(catalog::Tree{});
}

void RecordTreeModel::setIconSource(IconSource source)
{
    if (m_iconSource == source) {
        return;
    }
    m_iconSource = source;
    if (!m_tree.empty()) {
        emit dataChanged(index(0, 0), index(rowCount() - 1, 0), {Qt::DecorationRole});
    }
}

QModelIndex RecordTreeModel::indexOf(catalog::NodeId node) const
{
    if (!m_tree.isValid(node)) {
        return {};
    }
    return createIndex(m_tree.row(node), 0, static_cast<quintptr>(node));
}

catalog::NodeId RecordTreeModel::nodeOf(const QModelIndex& index) const
{
    if (!index.isValid() || index.model() != this) {
        return catalog::NoNode;
    }
    return static_cast<catalog::NodeId>(index.internalId());
}

void RecordTreeModel::setNodeText(catalog::NodeId node, std::string textGbk)
{
    if (!m_tree.isValid(node)) {
        return;
    }
    m_tree.setText(node, std::move(textGbk));
    // The node keeps its slot; the new text goes there when next shown.
    m_converted[static_cast<std::size_t>(node)] = false;
    const QModelIndex changed = indexOf(node);
    emit dataChanged(changed, changed, {Qt::DisplayRole, GbkRole});
}

void RecordTreeModel::setNodeImage(catalog::NodeId node, int image)
{
    if (!m_tree.isValid(node)) {
        return;
    }
    m_tree.setImage(node, image);
    const QModelIndex changed = indexOf(node);
    emit dataChanged(changed, changed, {Qt::DecorationRole, ImageRole});
}

void RecordTreeModel::editTree(const std::function<void(catalog::Tree&)>& edit)
{
    emit layoutAboutToBeChanged();
    const QModelIndexList before = persistentIndexList();
    std::vector<catalog::NodeId> nodes;
    nodes.reserve(static_cast<std::size_t>(before.size()));
    for (const QModelIndex& index : before) {
        nodes.push_back(nodeOf(index));
    }
    const auto relayout = qScopeGuard([&] {
        QModelIndexList after;
        after.reserve(before.size());
        for (const catalog::NodeId node : nodes) {
            after.append(indexOf(node));
        }
        changePersistentIndexList(before, after);
        std::fill(m_converted.begin(), m_converted.end(), false);
        emit layoutChanged();
    });
    edit(m_tree);
}

QModelIndex RecordTreeModel::index(int row, int column, const QModelIndex& parent) const
{
    if (column != 0 || row < 0) {
        return {};
    }
    const catalog::NodeId parentNode = parent.isValid() ? nodeOf(parent) : catalog::NoNode;
    if (parent.isValid() && parentNode == catalog::NoNode) {
        return {};
    }
    const auto& siblings = m_tree.children(parentNode);
    if (row >= static_cast<int>(siblings.size())) {
        return {};
    }
    return createIndex(row, 0, static_cast<quintptr>(siblings[static_cast<std::size_t>(row)]));
}

QModelIndex RecordTreeModel::parent(const QModelIndex& child) const
{
    const catalog::NodeId node = nodeOf(child);
    if (node == catalog::NoNode) {
        return {};
    }
    const catalog::NodeId up = m_tree.parent(node);
    if (up == catalog::NoNode) {
        return {};
    }
    return createIndex(m_tree.row(up), 0, static_cast<quintptr>(up));
}

int RecordTreeModel::rowCount(const QModelIndex& parent) const
{
    if (parent.isValid() && parent.column() != 0) {
        return 0;
    }
    const catalog::NodeId node = parent.isValid() ? nodeOf(parent) : catalog::NoNode;
    return static_cast<int>(m_tree.children(node).size());
}

int RecordTreeModel::columnCount(const QModelIndex& /*parent*/) const
{
    return 1;
}

bool RecordTreeModel::hasChildren(const QModelIndex& parent) const
{
    return rowCount(parent) > 0;
}

QVariant RecordTreeModel::data(const QModelIndex& index, int role) const
{
    const catalog::NodeId node = nodeOf(index);
    if (node == catalog::NoNode) {
        return {};
    }
    switch (role) {
    case Qt::DisplayRole:
        return displayText(node);
    case Qt::DecorationRole:
        // A folder's open form is the icon's Selected pixmap.
        return m_iconSource == IconSource::BoxTree ? ui::boxTreeIcon(m_tree.image(node))
                                                   : ui::contentIcon(m_tree.image(node));
    case GbkRole: {
        const std::string& text = m_tree.text(node);
        return QByteArray(text.data(), static_cast<qsizetype>(text.size()));
    }
    case ImageRole:
        return m_tree.image(node);
    default:
        return {};
    }
}

bool RecordTreeModel::isConverted(catalog::NodeId node) const
{
    const auto slot = static_cast<std::size_t>(node);
    return node >= 0 && slot < m_converted.size() && m_converted[slot];
}

const QString& RecordTreeModel::displayText(catalog::NodeId node) const
{
    const auto id = static_cast<std::size_t>(node);
    std::int32_t& slot = m_slot[id];
    if (slot < 0) {
        slot = static_cast<std::int32_t>(m_display.size());
        m_display.emplace_back();
    }
    QString& text = m_display[static_cast<std::size_t>(slot)];
    if (!m_converted[id]) {
        text = ui::fromGbk(m_tree.text(node));
        m_converted[id] = true;
    }
    return text;
}

} // namespace app
