#include "migrate/export_csv.h"

#include "catalog/box_tree.h"
#include "catalog/disk.h"
#include "catalog/library.h"
#include "catalog/record_files.h"
#include "catalog/record_set.h"
#include "catalog/text.h"

#include <algorithm>
#include <filesystem>
#include <unordered_map>
#include <unordered_set>

namespace migrate {
namespace {

std::string utf8Of(std::string_view gbk)
{
    const bool ascii = std::all_of(gbk.begin(), gbk.end(),
                                   [](char c) { return static_cast<unsigned char>(c) < 0x80; });
    return ascii ? std::string(gbk) : catalog::gbkToUtf8(gbk);
}

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
        m_buffer = "Volume,Path,Name,Size,Ext,Last modified,Description\r\n";
    }

    void walk(const std::string& folder, const std::string& boxUtf8)
    {
        if (!m_guard.enter(folder)) {
            return;
        }
        std::vector<catalog::DirEntry> entries;
        catalog::ListFolder(folder, entries);
        std::unordered_set<std::string_view> iconLists; // bases of the .tag files
        for (const auto& entry : entries) {
            if (!entry.isFolder && catalog::RecordKindOf(entry.name) == catalog::RecordKind::Tag) {
                iconLists.insert(std::string_view(entry.name).substr(0, entry.name.size() - 4));
            }
        }
        const auto hasIconList = [&](std::string_view base) { return iconLists.contains(base); };
        for (const auto& entry : entries) {
            if (entry.isFolder) {
                if (catalog::IsBoxFolder(entry)) {
                    walk(catalog::ChildPath(folder, entry.name) + "/",
                         boxUtf8 + utf8Of(entry.name) + "\\");
                }
            } else if (const auto base = catalog::CdRecordBase(entry.name, hasIconList)) {
                const std::string nameGbk(*base);
                cd({folder, nameGbk}, folder + entry.name, boxUtf8 + utf8Of(nameGbk));
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

    void cd(const catalog::RecordRef& record, const std::string& listingPath,
            const std::string& volumeUtf8)
    {
        std::string listing;
        try {
            listing = catalog::ReadWholeFile(listingPath);
        } catch (const catalog::FileError&) {
            m_result.failedUtf8.push_back(volumeUtf8);
            return;
        }
        ++m_result.cds;
        const std::string tagPath =
            catalog::FindRecordFile(record.folder, record.name, catalog::RecordKind::Tag);
        std::string tags;
        if (!tagPath.empty()) {
            try {
                tags = catalog::ReadWholeFile(tagPath);
            } catch (const catalog::FileError&) {
            }
        }
        describedBy(record);
        m_volume.clear();
        appendQuoted(m_volume, volumeUtf8);
        std::string cdDescription = catalog::ReadDescription(record);
        while (!cdDescription.empty() &&
               (cdDescription.back() == '\n' || cdDescription.back() == '\r')) {
            cdDescription.pop_back();
        }
        if (!catalog::trimBlanks(cdDescription).empty()) {
            row("/", "", "", utf8Of(cdDescription));
        }
        nodes(catalog::SplitLines(listing), catalog::SplitLines(tags));
    }

    // The descriptions of the CD's nodes by upper-cased key; the first of a key counts.
    void describedBy(const catalog::RecordRef& record)
    {
        m_notes.clear();
        m_noteLengths.clear();
        for (auto& [key, description] : catalog::NodeNotes::read(record).pairs()) {
            std::string upper = catalog::upperAscii(key);
            m_noteLengths.resize(std::max(m_noteLengths.size(), upper.size() + 1));
            m_noteLengths[upper.size()] = true;
            m_notes.try_emplace(std::move(upper), std::move(description));
        }
    }

    // A node's description by its upper-cased key; few keys have the length of a note's.
    std::string descriptionOf(const std::string& keyUpper) const
    {
        if (keyUpper.size() >= m_noteLengths.size() || !m_noteLengths[keyUpper.size()]) {
            return {};
        }
        const auto found = m_notes.find(keyUpper);
        return found == m_notes.end() ? std::string() : utf8Of(found->second);
    }

    static std::size_t depthOf(std::string_view line)
    {
        return std::min(line.find_first_not_of('\t'), line.size());
    }

    void nodes(const std::vector<std::string_view>& lines,
               const std::vector<std::string_view>& tags)
    {
        std::vector<std::string> keys = {""};   // upper-cased GBK node paths by depth
        std::vector<std::string> paths = {"/"}; // UTF-8 folder paths by depth
        for (std::size_t i = 1; i < lines.size(); ++i) {
            const std::size_t depth = depthOf(lines[i]);
            if (depth == 0 || depth > keys.size()) {
                break; // a broken listing: what follows has no place
            }
            const std::string_view nameGbk = lines[i].substr(depth);
            const bool parentOfNext = i + 1 < lines.size() && depthOf(lines[i + 1]) > depth;
            const bool folder = parentOfNext || (i < tags.size() ? tags[i] == "1" : false);
            keys.resize(depth);
            paths.resize(depth);
            const std::string keyGbk = keys.back() + catalog::upperAscii(nameGbk) + "\\";
            const std::string nameUtf8 = utf8Of(nameGbk);
            const std::string description = descriptionOf(keyGbk);
            if (folder) {
                const std::string own = paths.back() + (depth > 1 ? "/" : "") + nameUtf8;
                if (!parentOfNext || !description.empty()) {
                    row(own, "", "", description);
                }
                keys.push_back(keyGbk);
                paths.push_back(own);
                continue;
            }
            const std::size_t dot = nameUtf8.rfind('.');
            row(paths.back(), nameUtf8,
                dot == std::string::npos ? std::string_view()
                                         : std::string_view(nameUtf8).substr(dot + 1),
                description);
        }
    }

    void row(std::string_view path, std::string_view name, std::string_view ext,
             std::string_view description)
    {
        m_buffer += m_volume;
        m_buffer += ',';
        appendQuoted(m_buffer, path);
        m_buffer += ',';
        appendQuoted(m_buffer, name);
        m_buffer += ",,";
        appendQuoted(m_buffer, ext);
        m_buffer += ",,";
        appendQuoted(m_buffer, description);
        m_buffer += "\r\n";
        ++m_result.rows;
        if (m_buffer.size() >= (1 << 20)) {
            flush();
        }
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
    std::unordered_map<std::string, std::string> m_notes;
    std::vector<bool> m_noteLengths;
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
        boxUtf8 += utf8Of(name) + "\\";
    }
    writer.walk(boxFolder, boxUtf8);
    return writer.finish();
}

} // namespace migrate
