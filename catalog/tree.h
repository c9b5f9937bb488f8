#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

// One tree type serves the box tree and a CD's content tree. Nodes keep their GBK text
// and an image index (the node kind in the box tree, the icon class in a content tree).
namespace catalog {

using NodeId = std::int32_t;
inline constexpr NodeId NoNode = -1;

class Tree
{
public:
    struct Node
    {
        std::string text;
        int image = 0;
        int selectedImage = 0;
        NodeId parent = NoNode;
        int depth = 0;
        int row = 0; // position among its siblings
        bool removed = false;
        std::vector<NodeId> children;
    };

    // Adds a node as the last child of parent, or as the last top-level node for NoNode.
    NodeId addChild(NodeId parent, std::string text, int image = 0, int selectedImage = 0);
    // Removes a node and everything below it; their ids stay unused.
    void remove(NodeId node);
    void clear();
    void reserve(std::size_t nodes);

    // Live nodes.
    std::size_t size() const { return m_nodes.size() - m_removed; }
    bool empty() const { return size() == 0; }
    bool isValid(NodeId node) const;

    const std::vector<NodeId>& topLevel() const { return m_topLevel; }
    const std::vector<NodeId>& children(NodeId node) const;
    NodeId parent(NodeId node) const { return m_nodes[node].parent; }
    int depth(NodeId node) const { return m_nodes[node].depth; }
    int row(NodeId node) const { return m_nodes[node].row; }
    const std::string& text(NodeId node) const { return m_nodes[node].text; }
    int image(NodeId node) const { return m_nodes[node].image; }
    int selectedImage(NodeId node) const { return m_nodes[node].selectedImage; }
    void setText(NodeId node, std::string text) { m_nodes[node].text = std::move(text); }
    void setImage(NodeId node, int image) { m_nodes[node].image = image; }
    void setImages(NodeId node, int image, int selectedImage);

    // The first live node in index order, or NoNode.
    NodeId first() const;
    // Every live node in absolute index order: depth-first, parents before children.
    std::vector<NodeId> indexOrder() const;
    // Whether the ids 0..size()-1 are already in index order (true for a tree read from
    // a file and never edited): lets hot paths skip building indexOrder().
    bool idsInIndexOrder() const { return m_idsInIndexOrder; }

    // Reorders the children of every node (and the top level) with a strict weak order;
    // stable, so equal nodes keep their order.
    void sortAll(const std::function<bool(NodeId, NodeId)>& less);
    void sortChildren(NodeId parent, const std::function<bool(NodeId, NodeId)>& less);

private:
    std::vector<NodeId>& siblingsOf(NodeId parent);
    void renumberRows(std::vector<NodeId>& siblings);

    std::vector<Node> m_nodes;
    std::vector<NodeId> m_topLevel;
    std::size_t m_removed = 0;
    bool m_idsInIndexOrder = true;
};

// The node's path: the text of each node from depth 1 down to the node itself, each
// followed by a backslash; empty for a top-level node.
std::string NodePath(const Tree& tree, NodeId node);

// The first node in index order whose NodePath equals path byte for byte, or NoNode.
NodeId FindNodeByPath(const Tree& tree, std::string_view path);

} // namespace catalog
