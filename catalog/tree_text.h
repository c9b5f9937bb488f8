#pragma once

#include "catalog/disk.h"
#include "catalog/tree.h"

#include <string>
#include <string_view>

// The tree text format of .cdr and .fid files: one node per line, its depth given by the
// leading TAB (or blank) characters.
namespace catalog {

struct TreeLoad
{
    bool ok = true;
    std::string errorUtf8; // "Invalid level (%d) for item "%s"" when !ok
};

// The nodes of tree text one at a time in index order, as ReadTreeText reads them, for a
// reader that needs each node once and no tree. The first line is the root whatever its
// indent; a line more than one level below the one before it ends the text.
class TreeTextReader
{
public:
    explicit TreeTextReader(std::string_view text);
    // Moves to the next node: false after the last one, or at an invalid level (load()
    // then says which line).
    bool next()
    {
        if (!m_haveNext) {
            return false;
        }
        if (m_nextDepth > m_depth + 1) {
            return invalidLevel();
        }
        m_depth = m_nextDepth;
        m_text = m_nextText;
        readAhead();
        return true;
    }
    // 0 for the root and for any later top-level node.
    std::size_t depth() const { return m_depth; }
    std::string_view text() const { return m_text; }
    // True when the next node lies below this one.
    bool hasChildren() const { return m_haveNext && m_nextDepth == m_depth + 1; }
    const TreeLoad& load() const { return m_load; }

private:
    void readAhead()
    {
        std::string_view line;
        m_haveNext = m_lines.next(line);
        std::size_t depth = 0;
        while (depth < line.size() && (line[depth] == '\t' || line[depth] == ' ')) {
            ++depth;
        }
        m_nextDepth = depth;
        m_nextText = line.substr(depth);
    }
    bool invalidLevel();

    LineScanner m_lines;
    std::size_t m_depth = 0;
    std::string_view m_text;
    bool m_haveNext = false;
    std::size_t m_nextDepth = 0;
    std::string_view m_nextText;
    TreeLoad m_load;
};

// Reads text into tree (emptied first). On an invalid level the nodes read before that
// line stay and the error is returned.
TreeLoad ReadTreeText(std::string_view text, Tree& tree);

// Reads a file; throws FileError when it cannot be read.
TreeLoad ReadTreeFile(const std::string& path, Tree& tree);

// Every node in index order: depth TABs, the text, CR LF.
std::string WriteTreeText(const Tree& tree);

} // namespace catalog
