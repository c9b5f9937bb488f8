#include "migrate/export_csv.h"

#include "catalog/box_tree.h"
#include "catalog/disk.h"
#include "catalog/library.h"
#include "catalog/record_files.h"
#include "catalog/record_set.h"
#include "catalog/text.h"
#include "catalog/tree_text.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <unordered_map>
#include <unordered_set>

namespace migrate {
namespace {

void appendQuoted(std::string& out, std::string_view text)
{
    out += '"';
    for (std::size_t quote = text.find('"'); quote != std::string_view::npos;
         quote = text.find('"')) {
        out.append(text.substr(0, quote + 1));
        out += '"'; // doubled inside
        text.remove_prefix(quote + 1);
    }
    out.append(text);
    out += '"';
}

class CsvWriter
{
public:
    explicit CsvWriter(const std::string& outputPath)
        : m_file(folderOf(outputPath), outputPath), m_path(outputPath)
    {
        // The table is the user's file: the permissions any file written for them gets.
        if (::fchmod(m_file.fd(), catalog::ModeForReplacing(outputPath)) != 0) {
            catalog::throwFileError(outputPath, errno);
        }
        m_buffer = "Volume,Path,Name,Size,Ext,Last modified,Description\r\n";
    }

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
                cd(folder + entry.name, pathOf(catalog::RecordKind::Tag),
                   pathOf(catalog::RecordKind::Mx), pathOf(catalog::RecordKind::Fmx),
                   boxUtf8 + catalog::gbkToUtf8(*base));
                if (m_buffer.size() >= (1 << 20)) {
                    flush(); // between CDs: a CD that fails takes back its rows
                }
            }
        }
        m_guard.leave();
    }

    CsvExport finish()
    {
        flush();
        m_file.renameTo(m_path);
        return m_result;
    }

private:
    static std::string folderOf(const std::string& path)
    {
        const std::filesystem::path parent = std::filesystem::path(path).parent_path();
        return parent.empty() ? std::string("./") : parent.string() + "/";
    }

    // The paths of the CD's files: "" for one it does not have.
    void cd(const std::string& listingPath, const std::string& tagPath, const std::string& mxPath,
            const std::string& fmxPath, const std::string& volumeUtf8)
    {
        std::string& listing = m_listing;
        try {
            catalog::ReadWholeFileInto(listingPath, listing);
        } catch (const catalog::FileError&) {
            m_result.failedUtf8.push_back(volumeUtf8);
            return;
        }
        // The icon list only tells files from folders: without it the tree tells them.
        readIfThere(tagPath, m_tags);
        if (!readIfThere(fmxPath, m_text)) {
            m_result.failedUtf8.push_back(volumeUtf8);
            return;
        }
        describedBy(catalog::NodeNotes::parse(m_text));
        m_volume.clear();
        appendQuoted(m_volume, volumeUtf8);
        const std::size_t bufferBefore = m_buffer.size();
        const long long rowsBefore = m_result.rows;
        if (!readIfThere(mxPath, m_text)) {
            m_result.failedUtf8.push_back(volumeUtf8);
            return;
        }
        std::string& cdDescription = m_text;
        while (!cdDescription.empty() &&
               (cdDescription.back() == '\n' || cdDescription.back() == '\r')) {
            cdDescription.pop_back();
        }
        if (!catalog::trimBlanks(cdDescription).empty()) {
            row("\"/\"", "", "", catalog::gbkToUtf8(cdDescription));
        }
        if (!nodes(listing, m_tags)) {
            // A listing that breaks part way, or holds a second root, has no rows of its own.
            m_buffer.resize(bufferBefore);
            m_result.rows = rowsBefore;
            m_result.failedUtf8.push_back(volumeUtf8);
            return;
        }
        ++m_result.cds;
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
            m_nameUtf8.clear();
            catalog::AppendGbkAsUtf8(m_nameUtf8, nameGbk);
            if (folder) {
                if (m_paths.size() <= depth) {
                    m_paths.resize(depth + 1);
                    m_quotedPaths.resize(depth + 1);
                }
                std::string& own = m_paths[depth];
                own.assign(m_paths[depth - 1]).append(depth > 1 ? "/" : "").append(m_nameUtf8);
                m_quotedPaths[depth].clear();
                appendQuoted(m_quotedPaths[depth], own);
                if (!parent || !description.empty()) {
                    row(m_quotedPaths[depth], "", "", description);
                }
                continue;
            }
            const std::size_t dot = m_nameUtf8.rfind('.');
            row(m_quotedPaths[depth - 1], m_nameUtf8,
                dot == std::string::npos ? std::string_view()
                                         : std::string_view(m_nameUtf8).substr(dot + 1),
                description);
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

    // quotedPath: the folder's path, quoted once for all the rows of its files.
    void row(std::string_view quotedPath, std::string_view name, std::string_view ext,
             std::string_view description)
    {
        m_buffer += m_volume;
        m_buffer += ',';
        m_buffer += quotedPath;
        m_buffer += ',';
        appendQuoted(m_buffer, name);
        m_buffer += ",,";
        appendQuoted(m_buffer, ext);
        m_buffer += ",,";
        appendQuoted(m_buffer, description);
        m_buffer += "\r\n";
        ++m_result.rows;
    }

    void flush()
    {
        m_file.write(m_buffer);
        m_buffer.clear();
    }

    catalog::TemporaryFile m_file;
    std::string m_path;
    catalog::FolderWalkGuard m_guard;
    std::string m_buffer;
    std::string m_volume;
    // Kept from node to node and CD to CD, so that their memory is reused.
    std::vector<std::string> m_keys;
    std::vector<char> m_lookInto;
    std::vector<std::string> m_paths;
    std::vector<std::string> m_quotedPaths;
    std::string m_listing; // the CD's files, read into memory kept from CD to CD
    std::string m_tags;
    std::string m_text; // the notes, then the CD's description
    std::string m_nameUtf8;
    std::string m_description;
    std::unordered_map<std::string, std::string> m_notes;
    std::vector<bool> m_noteLengths;
    std::unordered_set<std::string> m_notedFolders;
    CsvExport m_result;
};

} // namespace

CsvExport ExportBoxCsv(const std::string& libraryRoot, const std::string& boxFolder,
                       const std::string& outputPath)
{
    CsvWriter writer(outputPath);
    std::string boxUtf8;
    // The box path in the form records are named by: names joined by backslashes.
    std::string relative = boxFolder.substr(std::min(libraryRoot.size(), boxFolder.size()));
    std::replace(relative.begin(), relative.end(), '/', '\\');
    for (const auto& name :
         catalog::SplitRelativePath(relative).value_or(std::vector<std::string>())) {
        boxUtf8 += catalog::gbkToUtf8(name) + "\\";
    }
    writer.walk(boxFolder, boxUtf8);
    return writer.finish();
}

} // namespace migrate
