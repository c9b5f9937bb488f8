#include "catalog/tree.h"

#include <algorithm>

namespace catalog {

NodeId Tree::addChild(NodeId parent, std::string text, int image, int selectedImage)
{
    const auto id = static_cast<NodeId>(m_nodes.size());
    std::vector<NodeId>& siblings = siblingsOf(parent);
    // Appending keeps ids in index order only when the new node lands after every
    // existing node: below the last node or one of its ancestors.
    if (m_idsInIndexOrder && id > 0) {
        NodeId last = id - 1;
        while (last != NoNode && last != parent) {
            last = m_nodes[last].parent;
        }
        m_idsInIndexOrder = (last == parent) && !m_nodes.back().removed;
    }
    Node node;
    node.text = std::move(text);
    node.image = image;
    node.selectedImage = selectedImage;
    node.parent = parent;
    node.depth = parent == NoNode ? 0 : m_nodes[parent].depth + 1;
    node.row = static_cast<int>(siblings.size());
    siblings.push_back(id);
    m_nodes.push_back(std::move(node));
    return id;
}

void Tree::remove(NodeId node)
{
    std::vector<NodeId>& siblings = siblingsOf(m_nodes[node].parent);
    siblings.erase(siblings.begin() + m_nodes[node].row);
    renumberRows(siblings);
    std::vector<NodeId> pending{node};
    while (!pending.empty()) {
        const NodeId current = pending.back();
        pending.pop_back();
        Node& gone = m_nodes[current];
        gone.removed = true;
        ++m_removed;
        pending.insert(pending.end(), gone.children.begin(), gone.children.end());
        gone.children.clear();
        gone.text.clear();
    }
    m_idsInIndexOrder = false;
}

void Tree::clear()
{
    m_nodes.clear();
    m_topLevel.clear();
    m_removed = 0;
    m_idsInIndexOrder = true;
}

void Tree::reserve(std::size_t nodes)
{
    m_nodes.reserve(nodes);
}

bool Tree::isValid(NodeId node) const
{
    return node >= 0 && static_cast<std::size_t>(node) < m_nodes.size() && !m_nodes[node].removed;
}

const std::vector<NodeId>& Tree::children(NodeId node) const
{
    return node == NoNode ? m_topLevel : m_nodes[node].children;
}

void Tree::setImages(NodeId node, int image, int selectedImage)
{
    m_nodes[node].image = image;
    m_nodes[node].selectedImage = selectedImage;
}

NodeId Tree::first() const
{
    return m_topLevel.empty() ? NoNode : m_topLevel.front();
}

std::vector<NodeId> Tree::indexOrder() const
{
    std::vector<NodeId> order;
    order.reserve(size());
    if (m_idsInIndexOrder) {
        for (NodeId id = 0; id < static_cast<NodeId>(m_nodes.size()); ++id) {
            order.push_back(id);
        }
        return order;
    }
    std::vector<NodeId> pending(m_topLevel.rbegin(), m_topLevel.rend());
    while (!pending.empty()) {
        const NodeId node = pending.back();
        pending.pop_back();
        order.push_back(node);
        const auto& kids = m_nodes[node].children;
        pending.insert(pending.end(), kids.rbegin(), kids.rend());
    }
    return order;
}

void Tree::sortAll(const std::function<bool(NodeId, NodeId)>& less)
{
    sortChildren(NoNode, less);
    for (NodeId id = 0; id < static_cast<NodeId>(m_nodes.size()); ++id) {
        if (!m_nodes[id].removed && m_nodes[id].children.size() > 1) {
            sortChildren(id, less);
        }
    }
}

void Tree::sortChildren(NodeId parent, const std::function<bool(NodeId, NodeId)>& less)
{
    std::vector<NodeId>& siblings = siblingsOf(parent);
    if (std::is_sorted(siblings.begin(), siblings.end(), less)) {
        return;
    }
    std::stable_sort(siblings.begin(), siblings.end(), less);
    renumberRows(siblings);
    m_idsInIndexOrder = false;
}

std::vector<NodeId>& Tree::siblingsOf(NodeId parent)
{
    return parent == NoNode ? m_topLevel : m_nodes[parent].children;
}

void Tree::renumberRows(std::vector<NodeId>& siblings)
{
    for (std::size_t i = 0; i < siblings.size(); ++i) {
        m_nodes[siblings[i]].row = static_cast<int>(i);
    }
}

std::string NodePath(const Tree& tree, NodeId node)
{
    std::vector<NodeId> chain;
    for (NodeId current = node; current != NoNode && tree.depth(current) >= 1;
         current = tree.parent(current)) {
        chain.push_back(current);
    }
    std::string path;
    for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
        path += tree.text(*it);
        path += '\\';
    }
    return path;
}

NodeId FindNodeByPath(const Tree& tree, std::string_view path)
{
    // Walks the tree once, extending the path as it descends, instead of rebuilding every
    // node's path from the root.
    struct Frame
    {
        NodeId node;
        std::size_t pathLength;
    };
    std::string current;
    std::vector<Frame> pending;
    const auto& top = tree.topLevel();
    for (auto it = top.rbegin(); it != top.rend(); ++it) {
        pending.push_back({*it, 0});
    }
    while (!pending.empty()) {
        const Frame frame = pending.back();
        pending.pop_back();
        current.resize(frame.pathLength);
        if (tree.depth(frame.node) >= 1) {
            current += tree.text(frame.node);
            current += '\\';
        }
        if (current == path) {
            return frame.node;
        }
        // Only a prefix of the wanted path can lead to it.
        if (path.substr(0, current.size()) != current) {
            continue;
        }
        const auto& kids = tree.children(frame.node);
        for (auto it = kids.rbegin(); it != kids.rend(); ++it) {
            pending.push_back({*it, current.size()});
        }
    }
    return NoNode;
}

} // namespace catalog
