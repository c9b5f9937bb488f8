#include "catalog/tree_text.h"

#include "catalog/disk.h"
#include "catalog/text.h"

#include <cstring>

namespace catalog {
namespace {

// Lines end at CR, LF or CR LF. The next CR and the next LF are each found with memchr and
// remembered, so the buffer is scanned once whatever the line ends are.
class LineScanner
{
public:
    explicit LineScanner(std::string_view text) : m_text(text) {}

    bool next(std::string_view& line)
    {
        if (m_pos >= m_text.size()) {
            return false;
        }
        if (!m_crValid || m_nextCr < m_pos) {
            m_nextCr = find('\r');
            m_crValid = true;
        }
        if (!m_lfValid || m_nextLf < m_pos) {
            m_nextLf = find('\n');
            m_lfValid = true;
        }
        const std::size_t stop = m_nextCr < m_nextLf ? m_nextCr : m_nextLf;
        line = m_text.substr(m_pos, stop - m_pos);
        m_pos = stop + 1;
        if (stop == m_nextCr && m_pos < m_text.size() && m_text[m_pos] == '\n') {
            ++m_pos;
        }
        return true;
    }

private:
    std::size_t find(char wanted) const
    {
        const void* hit = std::memchr(m_text.data() + m_pos, wanted, m_text.size() - m_pos);
        return hit == nullptr
                   ? m_text.size()
                   : static_cast<std::size_t>(static_cast<const char*>(hit) - m_text.data());
    }

    std::string_view m_text;
    std::size_t m_pos = 0;
    std::size_t m_nextCr = 0;
    std::size_t m_nextLf = 0;
    bool m_crValid = false;
    bool m_lfValid = false;
};

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
