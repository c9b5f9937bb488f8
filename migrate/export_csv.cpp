#include "migrate/export_csv.h"

#include "catalog/box_tree.h"
#include "catalog/disk.h"
#include "catalog/library.h"
#include "catalog/record_files.h"
#include "catalog/record_set.h"
#include "catalog/text.h"
#include "catalog/tree_text.h"
#include "organize/parallel.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <memory>
#include <unordered_map>
#include <unordered_set>

namespace migrate {
namespace {

// Writes text in quotes, an inner quote doubled, and returns the end: room for twice the
// text and two quotes must be there.
char* putQuoted(char* to, std::string_view text)
{
    *to++ = '"';
    std::size_t i = 0;
    // Eight bytes at a time while none is a quote, which names seldom hold.
    constexpr std::uint64_t Ones = 0x0101010101010101;
    for (; i + 8 <= text.size(); i += 8) {
        std::uint64_t eight = 0;
        std::memcpy(&eight, text.data() + i, 8);
        const std::uint64_t quotes = eight ^ ('"' * Ones);
        if (((quotes - Ones) & ~quotes & (0x80 * Ones)) != 0) {
            break;
        }
        std::memcpy(to, &eight, 8);
        to += 8;
    }
    for (; i < text.size(); ++i) {
        *to++ = text[i];
        if (text[i] == '"') {
            *to++ = '"';
        }
    }
    *to++ = '"';
    return to;
}

char* put(char* to, std::string_view text)
{
    std::memcpy(to, text.data(), text.size());
    return to + text.size();
}

void appendQuoted(std::string& out, std::string_view text)
{
    const std::size_t start = out.size();
    out.resize(start + 2 * text.size() + 2);
    out.resize(static_cast<std::size_t>(putQuoted(out.data() + start, text) - out.data()));
}

// A CD's rows. A row is many short fields, each written into room made once for the whole
// row.
class RowBuffer
{
public:
    std::string_view bytes() const { return {m_data.get(), m_used}; }
    void cutTo(std::size_t size) { m_used = size; }
    // Where n more bytes may go.
    char* room(std::size_t n)
    {
        if (m_used + n > m_capacity) {
            const std::size_t capacity = std::max({m_used + n, 2 * m_capacity, Initial});
            auto bigger = std::make_unique_for_overwrite<char[]>(capacity);
            std::copy_n(m_data.get(), m_used, bigger.get());
            m_data = std::move(bigger);
            m_capacity = capacity;
        }
        return m_data.get() + m_used;
    }
    // The bytes up to end were written.
    void wrote(const char* end) { m_used = static_cast<std::size_t>(end - m_data.get()); }

private:
    static constexpr std::size_t Initial = 2 << 20;
    std::unique_ptr<char[]> m_data;
    std::size_t m_used = 0;
    std::size_t m_capacity = 0;
};

// Where a CD's files lie: "" for one it does not have.
struct CdPlace
{
    std::string listing;
    std::string tags;
    std::string mx;
    std::string fmx;
    std::string volumeUtf8;
};

// The CDs under a box folder, in the order a search walks them.
class CdFinder
{
public:
    std::vector<CdPlace> cds;

    void walk(const std::string& folder, const std::string& boxUtf8)
    {
        if (!m_guard.enter(folder)) {
            return;
        }
        std::vector<catalog::DirEntry> entries;
        catalog::ListFolder(folder, entries);
        const catalog::ListedRecords records(entries);
        const auto hasIconList = [&](std::string_view base) {
            return records.file(base, catalog::RecordKind::Tag) != nullptr;
        };
        for (const auto& entry : entries) {
            if (entry.isFolder) {
                if (catalog::IsBoxFolder(entry)) {
                    walk(catalog::ChildPath(folder, entry.name) + "/",
                         boxUtf8 + catalog::gbkToUtf8(entry.name) + "\\");
                }
            } else if (const auto base = catalog::CdRecordBase(entry.name, hasIconList)) {
                const auto pathOf = [&](catalog::RecordKind kind) {
                    const catalog::DirEntry* file = records.file(*base, kind);
                    return file == nullptr ? std::string() : folder + file->name;
                };
                cds.push_back({folder + entry.name, pathOf(catalog::RecordKind::Tag),
                               pathOf(catalog::RecordKind::Mx), pathOf(catalog::RecordKind::Fmx),
                               boxUtf8 + catalog::gbkToUtf8(*base)});
            }
        }
        m_guard.leave();
    }

private:
    catalog::FolderWalkGuard m_guard;
};

// The rows of one CD at a time, in memory kept from CD to CD.
class CdRows
{
public:
    RowBuffer buffer;
    long long rows = 0;
    // False when the CD's files cannot be read, or its listing breaks part way (a line
    // deeper than its place) or holds more than one root: it then has no rows.
    bool whole = false;

    void make(const CdPlace& cd)
    {
        buffer.cutTo(0);
        rows = 0;
        whole = readAll(cd);
    }

private:
    bool readAll(const CdPlace& cd)
    {
        try {
            catalog::ReadWholeFileInto(cd.listing, m_listing);
        } catch (const catalog::FileError&) {
            return false;
        }
        // The icon list only tells files from folders: without it the tree tells them.
        readIfThere(cd.tags, m_tags);
        if (!readIfThere(cd.fmx, m_text)) {
            return false;
        }
        describedBy(catalog::NodeNotes::parse(m_text));
        m_volume.clear();
        appendQuoted(m_volume, cd.volumeUtf8);
        if (!readIfThere(cd.mx, m_text)) {
            return false;
        }
        std::string& cdDescription = m_text;
        while (!cdDescription.empty() &&
               (cdDescription.back() == '\n' || cdDescription.back() == '\r')) {
            cdDescription.pop_back();
        }
        if (!catalog::trimBlanks(cdDescription).empty()) {
            row("\"/\"", "", catalog::gbkToUtf8(cdDescription));
        }
        return nodes(m_listing, m_tags);
    }

    // A missing file reads as an empty one; false for one that cannot be read.
    static bool readIfThere(const std::string& path, std::string& content)
    {
        content.clear();
        if (path.empty()) {
            return true;
        }
        try {
            catalog::ReadWholeFileInto(path, content);
            return true;
        } catch (const catalog::FileError&) {
            return false;
        }
    }

    // The descriptions of the CD's nodes by upper-cased key; the first of a key counts.
    // The folders whose keys begin a note's key are the ones looked into.
    void describedBy(const catalog::NodeNotes& notes)
    {
        m_notes.clear();
        m_noteLengths.clear();
        m_notedFolders.clear();
        for (auto& [key, description] : notes.pairs()) {
            std::string upper = catalog::upperAscii(key);
            m_noteLengths.resize(std::max(m_noteLengths.size(), upper.size() + 1));
            m_noteLengths[upper.size()] = true;
            for (std::size_t slash = catalog::findSingleByte(upper, '\\');
                 slash != std::string::npos && slash + 1 < upper.size();
                 slash = catalog::findSingleByte(upper, '\\', slash + 1)) {
                m_notedFolders.insert(upper.substr(0, slash + 1));
            }
            m_notes.try_emplace(std::move(upper), std::move(description));
        }
    }

    // The rows of the nodes below the root, read as every reader of a listing reads it and
    // given the icon classes the window gives them. False when the listing is broken.
    bool nodes(std::string_view listing, std::string_view tags)
    {
        catalog::TreeTextReader tree(listing);
        catalog::IconClassReader classes(tags);
        if (!tree.next()) {
            return tree.load().ok;
        }
        classes.next(); // the root's
        // By depth: the upper-cased GBK key of the folder there (only where a note may lie
        // below it), whether one may, and its UTF-8 path.
        m_keys.resize(1);
        m_lookInto.assign(1, !m_notes.empty());
        m_paths.assign(1, "/");
        m_quotedPaths.assign(1, "\"/\"");
        while (tree.next()) {
            const std::size_t depth = tree.depth();
            const std::string_view nameGbk = tree.text();
            const bool parent = tree.hasChildren();
            const bool folder = classes.next() == catalog::IconClass::Folder || parent;
            if (depth == 0) {
                return false;
            }
            const std::string_view description = describe(depth, nameGbk, folder);
            if (folder) {
                if (m_paths.size() <= depth) {
                    m_paths.resize(depth + 1);
                    m_quotedPaths.resize(depth + 1);
                }
                std::string& own = m_paths[depth];
                own.assign(m_paths[depth - 1]).append(depth > 1 ? "/" : "");
                catalog::AppendGbkAsUtf8(own, nameGbk);
                m_quotedPaths[depth].clear();
                appendQuoted(m_quotedPaths[depth], own);
                if (!parent || !description.empty()) {
                    row(m_quotedPaths[depth], "", description);
                }
                continue;
            }
            row(m_quotedPaths[depth - 1], nameGbk, description);
        }
        return tree.load().ok;
    }

    // The node's description, UTF-8. A folder's key is kept at its depth for its children;
    // keys are made only below folders that a note's key goes through.
    std::string_view describe(std::size_t depth, std::string_view nameGbk, bool folder)
    {
        if (m_lookInto.size() <= depth) {
            m_lookInto.resize(depth + 1);
            m_keys.resize(depth + 1);
        }
        m_lookInto[depth] = false;
        if (!m_lookInto[depth - 1]) {
            return {};
        }
        const std::size_t length = m_keys[depth - 1].size() + nameGbk.size() + 1;
        const bool noted = length < m_noteLengths.size() && m_noteLengths[length];
        if (!folder && !noted) {
            return {};
        }
        std::string& key = m_keys[depth];
        key.assign(m_keys[depth - 1]);
        catalog::appendUpperAscii(key, nameGbk);
        key += '\\';
        m_lookInto[depth] = folder && m_notedFolders.contains(key);
        const auto found = noted ? m_notes.find(key) : m_notes.end();
        if (found == m_notes.end()) {
            return {};
        }
        m_description.clear();
        catalog::AppendGbkAsUtf8(m_description, found->second);
        return m_description;
    }

    // quotedPath: the folder's path, quoted once for all the rows of its files. The file's
    // name (GBK; "" in a folder's row) is converted into the row, and its extension is what
    // follows its last dot there.
    void row(std::string_view quotedPath, std::string_view nameGbk, std::string_view description)
    {
        // Converting makes at most three bytes of a byte, and quoting at most doubles a
        // field; commas, quotes and the line end take 14 bytes.
        char* to = buffer.room(m_volume.size() + quotedPath.size() + 12 * nameGbk.size() +
                               2 * description.size() + 14);
        to = put(to, m_volume);
        *to++ = ',';
        to = put(to, quotedPath);
        *to++ = ',';
        const char* const name = to + 1;
        to = putQuotedName(to, nameGbk);
        const std::string_view written(name, static_cast<std::size_t>(to - 1 - name));
        const std::size_t dot = written.rfind('.');
        to = put(to, ",,\"");
        to = put(to, written.substr(dot == std::string_view::npos ? written.size() : dot + 1));
        to = put(to, "\",,");
        to = putQuoted(to, description);
        to = put(to, "\r\n");
        buffer.wrote(to);
        ++rows;
    }

    // The name in UTF-8 and in quotes. A quote byte in GBK is always the character itself
    // (no second byte is below 0x40), so a name without one has nothing to double.
    char* putQuotedName(char* to, std::string_view nameGbk)
    {
        if (nameGbk.find('"') == std::string_view::npos) {
            *to = '"';
            if (char* const end = catalog::PutGbkAsUtf8(to + 1, nameGbk)) {
                *end = '"';
                return end + 1;
            }
        }
        m_nameUtf8.clear();
        catalog::AppendGbkAsUtf8(m_nameUtf8, nameGbk);
        return putQuoted(to, m_nameUtf8);
    }

    std::string m_volume;
    // Kept from node to node and CD to CD, so that their memory is reused.
    std::vector<std::string> m_keys;
    std::vector<char> m_lookInto;
    std::vector<std::string> m_paths;
    std::vector<std::string> m_quotedPaths;
    std::string m_listing;
    std::string m_tags;
    std::string m_text; // the notes, then the CD's description
    std::string m_nameUtf8;
    std::string m_description;
    std::unordered_map<std::string, std::string> m_notes;
    std::vector<bool> m_noteLengths;
    std::unordered_set<std::string> m_notedFolders;
};

std::string folderOf(const std::string& path)
{
    const std::filesystem::path parent = std::filesystem::path(path).parent_path();
    return parent.empty() ? std::string("./") : parent.string() + "/";
}

} // namespace

CsvExport ExportBoxCsv(const std::string& libraryRoot, const std::string& boxFolder,
                       const std::string& outputPath)
{
    catalog::TemporaryFile file(folderOf(outputPath), outputPath);
    // The table is the user's file: the permissions any file written for them gets.
    if (::fchmod(file.fd(), catalog::ModeForReplacing(outputPath)) != 0) {
        catalog::throwFileError(outputPath, errno);
    }
    file.write("Volume,Path,Name,Size,Ext,Last modified,Description\r\n");

    // The box path in the form records are named by: names joined by backslashes.
    std::string boxUtf8;
    std::string relative = boxFolder.substr(std::min(libraryRoot.size(), boxFolder.size()));
    std::replace(relative.begin(), relative.end(), '/', '\\');
    for (const auto& name :
         catalog::SplitRelativePath(relative).value_or(std::vector<std::string>())) {
        boxUtf8 += catalog::gbkToUtf8(name) + "\\";
    }
    CdFinder finder;
    finder.walk(boxFolder, boxUtf8);

    // CDs are read and turned into rows on every core while the table is written in order.
    constexpr std::size_t Window = 8;
    std::vector<CdRows> made(Window);
    CsvExport result;
    organize::ForEachInOrder(
        finder.cds.size(), Window,
        [&](std::size_t cd, std::size_t slot) { made[slot].make(finder.cds[cd]); },
        [&](std::size_t cd, std::size_t slot) {
            if (!made[slot].whole) {
                result.failedUtf8.push_back(finder.cds[cd].volumeUtf8);
                return;
            }
            file.write(made[slot].buffer.bytes());
            result.rows += made[slot].rows;
            ++result.cds;
        });
    file.renameTo(outputPath);
    return result;
}

} // namespace migrate
