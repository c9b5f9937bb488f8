#include "catalog/tree_text.h"

#include "catalog/disk.h"
#include "catalog/text.h"

#include <cstring>

namespace catalog {
namespace {

std::size_t countByte(std::string_view text, char wanted)
{
    std::size_t count = 0;
    const char* pos = text.data();
    const char* end = pos + text.size();
    while (const void* hit = std::memchr(pos, wanted, static_cast<std::size_t>(end - pos))) {
        ++count;
        pos = static_cast<const char*>(hit) + 1;
    }
    return count;
}

// An estimate of the line count (exact for LF and CR LF files), so the node table is
// allocated once.
std::size_t estimateLines(std::string_view text)
{
    const std::size_t lf = countByte(text, '\n');
    return (lf > 0 ? lf : countByte(text, '\r')) + 1;
}

} // namespace

TreeLoad ReadTreeText(std::string_view text, Tree& tree)
{
    tree.clear();
    TreeLoad result;
    if (text.empty()) {
        return result;
    }
    tree.reserve(estimateLines(text));

    LineScanner lines(text);
    std::string_view line;
    NodeId previous = NoNode;
    while (lines.next(line)) {
        std::size_t depth = 0;
        while (depth < line.size() && (line[depth] == '\t' || line[depth] == ' ')) {
            ++depth;
        }
        const std::string_view nodeText = line.substr(depth);
        if (previous == NoNode) {
            previous = tree.addChild(NoNode, std::string(nodeText));
            continue;
        }
        const auto previousDepth = static_cast<std::size_t>(tree.depth(previous));
        NodeId parent;
        if (depth == previousDepth) {
            parent = tree.parent(previous);
        } else if (depth == previousDepth + 1) {
            parent = previous;
        } else if (depth < previousDepth) {
            // The ancestor at that depth always exists, as depths grow one level at a time;
            // the walk still stops at the top rather than trusting that.
            NodeId sibling = tree.parent(previous);
            while (sibling != NoNode && static_cast<std::size_t>(tree.depth(sibling)) > depth) {
                sibling = tree.parent(sibling);
            }
            parent = sibling == NoNode ? NoNode : tree.parent(sibling);
        } else {
            result.ok = false;
            result.errorUtf8 = "Invalid level (" + decimal(static_cast<long long>(depth)) +
                               ") for item \"" + gbkToUtf8(nodeText) + "\"";
            return result;
        }
        previous = tree.addChild(parent, std::string(nodeText));
    }
    return result;
}

TreeLoad ReadTreeFile(const std::string& path, Tree& tree)
{
    return ReadTreeText(ReadWholeFile(path), tree);
}

std::string WriteTreeText(const Tree& tree)
{
    const auto write = [&tree](const auto& forEachNode) {
        std::size_t total = 0;
        forEachNode([&](NodeId node) {
            total += static_cast<std::size_t>(tree.depth(node)) + tree.text(node).size() + 2;
        });
        std::string out(total, '\0');
        char* pos = out.data();
        forEachNode([&](NodeId node) {
            const auto depth = static_cast<std::size_t>(tree.depth(node));
            std::memset(pos, '\t', depth);
            pos += depth;
            const std::string& text = tree.text(node);
            std::memcpy(pos, text.data(), text.size());
            pos += text.size();
            *pos++ = '\r';
            *pos++ = '\n';
        });
        return out;
    };

    if (tree.idsInIndexOrder()) {
        const auto count = static_cast<NodeId>(tree.size());
        return write([count](const auto& visit) {
            for (NodeId node = 0; node < count; ++node) {
                visit(node);
            }
        });
    }
    const std::vector<NodeId> order = tree.indexOrder();
    return write([&order](const auto& visit) {
        for (NodeId node : order) {
            visit(node);
        }
    });
}

} // namespace catalog
