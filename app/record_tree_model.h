#pragma once

#include "catalog/tree.h"

#include <QAbstractItemModel>
#include <QString>
#include <cstdint>
#include <functional>
#include <vector>

namespace app {

// A CD's content tree (or the box tree) as an item model over the core's tree, without
// a widget item per node. Names are converted from GBK when a node is first shown.
class RecordTreeModel : public QAbstractItemModel
{
    Q_OBJECT
public:
    // The raw GBK bytes of a node's text, as QByteArray.
    static constexpr int GbkRole = Qt::UserRole + 1;
    // The node's image index (icon class or node kind), as int.
    static constexpr int ImageRole = Qt::UserRole + 2;

    // Which icon set the image index selects: content classes 0..14 or box tree kinds.
    enum class IconSource { Content, BoxTree };

    explicit RecordTreeModel(QObject* parent = nullptr);

    void setIconSource(IconSource source);
    IconSource iconSource() const { return m_iconSource; }

    // Takes the tree and shows it (one reset of the model).
    void setTree(catalog::Tree tree);
    void clear();
    const catalog::Tree& tree() const { return m_tree; }

    QModelIndex indexOf(catalog::NodeId node) const;
    catalog::NodeId nodeOf(const QModelIndex& index) const;

    // After a node's text or image changed in place.
    void setNodeText(catalog::NodeId node, std::string textGbk);
    void setNodeImage(catalog::NodeId node, int image);

    // Runs an edit of the tree in place (branches removed, texts changed; the other nodes
    // keep their ids). The views keep their expanded nodes and selection where the nodes
    // remain, also when the edit throws.
    void editTree(const std::function<void(catalog::Tree&)>& edit);

    // Whether the node's display text has been made from its GBK bytes yet.
    bool isConverted(catalog::NodeId node) const;

    QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
    QModelIndex parent(const QModelIndex& child) const override;
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    bool hasChildren(const QModelIndex& parent = {}) const override;

private:
    const QString& displayText(catalog::NodeId node) const;

    catalog::Tree m_tree;
    // Texts are kept only for the nodes shown so far: a QString per node would cost
    // 24 MB for a record of a million nodes.
    mutable std::vector<QString> m_display;   // filled on first display, in that order
    mutable std::vector<std::int32_t> m_slot; // node id -> index in m_display, or -1
    mutable std::vector<bool> m_converted;    // the node's slot holds its current text
    IconSource m_iconSource = IconSource::Content;
};

} // namespace app
