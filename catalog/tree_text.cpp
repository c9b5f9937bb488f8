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

TreeTextReader::TreeTextReader(std::string_view text) : m_lines(text)
{
    readAhead();
    m_nextDepth = 0; // the root, whatever its indent
}

bool TreeTextReader::invalidLevel()
{
    m_haveNext = false;
    m_load.ok = false;
    m_load.errorUtf8 = "Invalid level (" + decimal(static_cast<long long>(m_nextDepth)) +
                       ") for item \"" + gbkToUtf8(m_nextText) + "\"";
    return false;
}

TreeLoad ReadTreeText(std::string_view text, Tree& tree)
{
    tree.clear();
    if (text.empty()) {
        return {};
    }
    tree.reserve(estimateLines(text));
    TreeTextReader reader(text);
    std::vector<NodeId> path; // the last node read at each depth
    while (reader.next()) {
        const std::size_t depth = reader.depth();
        if (depth >= path.size()) {
            path.resize(depth + 1);
        }
        path[depth] =
            tree.addChild(depth == 0 ? NoNode : path[depth - 1], std::string(reader.text()));
    }
    return reader.load();
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
