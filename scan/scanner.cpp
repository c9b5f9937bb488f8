#include "scan/scanner.h"

#include "catalog/record_set.h"
#include "catalog/library.h"
#include "catalog/text.h"

#include <algorithm>
#include <array>
#include <deque>

namespace scan {
namespace {

using platform::DiscEntry;

const std::string& iconText(int iconClass)
{
    static const std::array<std::string, 16> texts = [] {
        std::array<std::string, 16> all;
        for (std::size_t i = 0; i < all.size(); ++i) {
            all[i] = std::to_string(i);
        }
        return all;
    }();
    return texts[static_cast<std::size_t>(std::clamp(iconClass, 0, 15))];
}

// Sets nameGbk to the name as the record holds it; true when the name had to change.
bool recordName(std::string_view nameUtf8, std::string& nameGbk)
{
    nameGbk.clear();
    const bool ascii = std::all_of(nameUtf8.begin(), nameUtf8.end(),
                                   [](char c) { return static_cast<unsigned char>(c) < 0x80; });
    if (ascii) {
        nameGbk.append(nameUtf8); // the common case: GBK and UTF-8 agree, no conversion
        return catalog::ReplaceNameBreakers(nameGbk);
    }
    if (!catalog::isValidUtf8(nameUtf8) &&
        catalog::gbkToUtf8(nameUtf8).find("\xEF\xBF\xBD") == std::string::npos) {
        // A disc mounted without its Unicode names shows the GBK bytes themselves.
        nameGbk.append(nameUtf8);
        return catalog::ReplaceNameBreakers(nameGbk);
    }
    const catalog::GbkConversion converted = catalog::utf8ToGbkCounted(nameUtf8);
    nameGbk.append(converted.gbk);
    const bool broken = catalog::ReplaceNameBreakers(nameGbk);
    return converted.replaced > 0 || broken;
}

char lowerAscii(char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

std::size_t utf8Length(std::string_view text, std::size_t i)
{
    std::size_t next = i + 1;
    while (next < text.size() && (static_cast<unsigned char>(text[next]) & 0xC0) == 0x80) {
        ++next;
    }
    return next - i;
}

bool globMatch(std::string_view name, std::string_view mask)
{
    std::size_t n = 0;
    std::size_t m = 0;
    std::size_t starMask = std::string_view::npos;
    std::size_t starName = 0;
    while (n < name.size()) {
        if (m < mask.size() && mask[m] == '*') {
            starMask = ++m;
            starName = n;
        } else if (m < mask.size() && mask[m] == '?') {
            n += utf8Length(name, n);
            ++m;
        } else if (m < mask.size() && lowerAscii(mask[m]) == lowerAscii(name[n])) {
            ++n;
            ++m;
        } else if (starMask != std::string_view::npos) {
            starName += utf8Length(name, starName);
            n = starName;
            m = starMask;
        } else {
            return false;
        }
    }
    while (m < mask.size() && mask[m] == '*') {
        ++m;
    }
    return m == mask.size();
}

unsigned attributeBits(const DiscEntry& entry)
{
    return (entry.readOnly ? AttrReadOnly : 0U) | (entry.hidden ? AttrHidden : 0U) |
           (entry.system ? AttrSystem : 0U) | (entry.archive ? AttrArchive : 0U);
}

bool lessNoCase(const std::string& a, const std::string& b)
{
    return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        return static_cast<unsigned char>(lowerAscii(x)) <
               static_cast<unsigned char>(lowerAscii(y));
    });
}

std::string childPath(const std::string& relativeUtf8, std::string_view nameUtf8)
{
    std::string child;
    child.reserve(relativeUtf8.size() + 1 + nameUtf8.size());
    child = relativeUtf8;
    if (!child.empty()) {
        child += '/';
    }
    child += nameUtf8;
    return child;
}

// One scan's working state, so that no entry costs more than its own lines.
class Walker
{
public:
    Walker(platform::DiscSource& disc, ScanListing& listing, ScanProgress& progress)
        : m_disc(disc), m_listing(listing), m_progress(progress),
          m_showsPaths(progress.showsPaths())
    {}

    void standard(const std::string& relativeUtf8, const std::string& folderGbk, int depth)
    {
        std::vector<DiscEntry>& entries = entriesAt(depth);
        // A folder that cannot be listed stays in the record as an empty one.
        m_disc.listKinds(relativeUtf8, entries);
        for (DiscEntry& entry : entries) {
            if (stopped()) {
                return;
            }
            if (!entry.isFolder || entry.nameUtf8 == "." || entry.nameUtf8 == "..") {
                continue;
            }
            const std::string child = childPath(relativeUtf8, entry.nameUtf8);
            if (!m_disc.enterFolder(child)) {
                entry.isFolder = false; // listed with the files
                continue;
            }
            addLine(depth, entry.nameUtf8, IconFolder);
            const std::string childGbk = folderGbk + m_nameGbk + '\\';
            if (m_showsPaths) {
                m_progress.showPath(childGbk);
            }
            standard(child, childGbk, depth + 1);
            if (m_listing.aborted) {
                return;
            }
        }
        for (const DiscEntry& entry : entries) {
            if (entry.isFolder) {
                continue;
            }
            addFile(depth, entry.nameUtf8, folderGbk);
        }
    }

    // True when the folder's own line was taken out again.
    bool filtered(const std::string& relativeUtf8, const std::string& folderGbk, int depth,
                  const ScanOptions& options)
    {
        const bool limited = options.depthLimit >= 0;
        const bool beyondLimit = limited && depth == options.depthLimit + 1;
        std::vector<DiscEntry>& entries = entriesAt(depth);
        // Permissions cost a call per entry; only a read-only filter needs them.
        const unsigned wanted =
            options.attributes & (AttrReadOnly | AttrHidden | AttrSystem | AttrArchive);
        if ((wanted & AttrReadOnly) != 0) {
            m_disc.list(relativeUtf8, entries);
        } else {
            m_disc.listKinds(relativeUtf8, entries);
        }
        for (DiscEntry& entry : entries) {
            if (stopped()) {
                return false;
            }
            if (!entry.isFolder || entry.nameUtf8 == "." || entry.nameUtf8 == ".." || beyondLimit) {
                continue; // beyond the limit a folder line would be taken back at once
            }
            const std::string child = childPath(relativeUtf8, entry.nameUtf8);
            if (!m_disc.enterFolder(child)) {
                entry.isFolder = false; // a candidate for the file step
                continue;
            }
            const bool renamed = addLine(depth, entry.nameUtf8, IconFolder);
            const std::string childGbk = folderGbk + m_nameGbk + '\\';
            // A name that is not written is not reported as changed.
            if (filtered(child, childGbk, depth + 1, options) && renamed) {
                --m_listing.renamed;
            }
            if (m_listing.aborted) {
                return false;
            }
        }
        if (beyondLimit) {
            return false;
        }
        const std::vector<std::string> files =
            ListMatchingFiles(entries, options.mask, options.attributes);
        for (const std::string& name : files) {
            addFile(depth, name, folderGbk);
        }
        // Without a limit every kept sub-folder ends with a file line, so a last "1" is this
        // folder's own line: nothing below it was listed.
        if (!limited && files.empty() && !m_listing.icons.empty() &&
            m_listing.icons.back() == iconText(IconFolder)) {
            m_listing.lines.pop_back();
            m_listing.icons.pop_back();
            return true;
        }
        return false;
    }

private:
    static constexpr int IconFolder = catalog::IconClass::Folder;

    // One list per depth, kept from folder to folder: a walk allocates for a name only when
    // it is longer than any seen at that depth before.
    std::vector<DiscEntry>& entriesAt(int depth)
    {
        while (m_entries.size() <= static_cast<std::size_t>(depth)) {
            m_entries.emplace_back();
        }
        return m_entries[static_cast<std::size_t>(depth)];
    }

    bool stopped()
    {
        if (!m_listing.aborted && m_progress.aborted()) {
            m_listing.aborted = true;
        }
        return m_listing.aborted;
    }

    // Leaves the record's spelling of the name in m_nameGbk; true when it had to change.
    bool addLine(int depth, std::string_view nameUtf8, int iconClass)
    {
        const bool renamed = recordName(nameUtf8, m_nameGbk);
        if (renamed) {
            ++m_listing.renamed;
        }
        std::string& line = m_listing.lines.emplace_back();
        line.reserve(static_cast<std::size_t>(depth) + m_nameGbk.size());
        line.append(static_cast<std::size_t>(depth), '\t');
        line += m_nameGbk;
        m_listing.icons.push_back(
            iconText(iconClass == IconFolder ? iconClass : iconClassOf(m_nameGbk)));
        return renamed;
    }

    // IconClassOf depends on the extension alone, and a disc holds few kinds of files:
    // remembering them spares its table walk for nearly every file.
    int iconClassOf(std::string_view nameGbk)
    {
        const auto dot = nameGbk.rfind('.');
        const std::string_view extension =
            dot == std::string_view::npos ? std::string_view() : nameGbk.substr(dot);
        for (const auto& [known, iconClass] : m_iconClasses) {
            if (known == extension) {
                return iconClass;
            }
        }
        const int iconClass = catalog::IconClassOf(nameGbk);
        if (m_iconClasses.size() < 64) {
            m_iconClasses.emplace_back(extension, iconClass);
        }
        return iconClass;
    }

    void addFile(int depth, std::string_view nameUtf8, const std::string& folderGbk)
    {
        addLine(depth, nameUtf8, catalog::IconClass::OtherFile);
        if (m_showsPaths) {
            m_shown.assign(folderGbk);
            m_shown += m_nameGbk;
            m_progress.showPath(m_shown);
        }
    }

    platform::DiscSource& m_disc;
    ScanListing& m_listing;
    ScanProgress& m_progress;
    const bool m_showsPaths;
    std::string m_nameGbk; // reused for every entry
    std::string m_shown;
    std::vector<std::pair<std::string, int>> m_iconClasses; // by extension as written
    std::deque<std::vector<DiscEntry>> m_entries;           // stays in place as it grows
};

} // namespace

ScanListing StartListing(char letter)
{
    if (letter >= 'a' && letter <= 'z') {
        letter = static_cast<char>(letter - 'a' + 'A');
    }
    ScanListing listing;
    listing.lines.push_back(std::string(1, letter) + ":\\");
    listing.icons.push_back(iconText(catalog::IconClass::Root));
    return listing;
}

void ScanFolder(platform::DiscSource& disc, const std::string& relativeUtf8,
                const std::string& folderGbk, ScanListing& listing, int depth,
                ScanProgress& progress)
{
    disc.enterFolder(relativeUtf8);
    Walker(disc, listing, progress).standard(relativeUtf8, folderGbk, depth);
}

void ScanFolderFiltered(platform::DiscSource& disc, const std::string& relativeUtf8,
                        const std::string& folderGbk, ScanListing& listing, int depth,
                        const ScanOptions& options, ScanProgress& progress)
{
    disc.enterFolder(relativeUtf8);
    (void)Walker(disc, listing, progress).filtered(relativeUtf8, folderGbk, depth, options);
}

bool MatchesMask(std::string_view nameUtf8, std::string_view mask)
{
    if (globMatch(nameUtf8, mask)) {
        return true;
    }
    const bool noDot = nameUtf8.find('.') == std::string_view::npos;
    if (noDot && mask.ends_with(".*")) {
        return globMatch(nameUtf8, mask.substr(0, mask.size() - 2));
    }
    if (noDot && mask.ends_with('.') && !mask.ends_with("..")) {
        return globMatch(nameUtf8, mask.substr(0, mask.size() - 1));
    }
    return false;
}

std::vector<std::string> ListMatchingFiles(const std::vector<platform::DiscEntry>& entries,
                                           const std::string& masks, unsigned attributes)
{
    const unsigned wanted = attributes & (AttrReadOnly | AttrHidden | AttrSystem | AttrArchive);
    const bool normal = (attributes & AttrNormal) != 0;
    std::vector<char> taken(entries.size(), 0);
    std::size_t start = 0;
    while (start < masks.size()) {
        auto end = masks.find(';', start);
        if (end == std::string::npos) {
            end = masks.size();
        }
        const std::string_view mask = std::string_view(masks).substr(start, end - start);
        start = end + 1;
        if (mask.empty()) {
            continue;
        }
        for (std::size_t i = 0; i < entries.size(); ++i) {
            const DiscEntry& entry = entries[i];
            if (taken[i] || entry.isFolder || !MatchesMask(entry.nameUtf8, mask) ||
                (entry.hidden && (wanted & AttrHidden) == 0) ||
                (entry.system && (wanted & AttrSystem) == 0)) {
                continue;
            }
            taken[i] = normal || (attributeBits(entry) & wanted) != 0;
        }
    }
    std::vector<std::string> names;
    for (std::size_t i = 0; i < entries.size(); ++i) {
        if (taken[i]) {
            names.push_back(entries[i].nameUtf8);
        }
    }
    std::stable_sort(names.begin(), names.end(), lessNoCase);
    return names;
}

std::string FindReadmeFile(platform::DiscSource& disc)
{
    std::vector<DiscEntry> entries;
    disc.listKinds("", entries);
    for (const DiscEntry& entry : entries) {
        const std::string& name = entry.nameUtf8;
        if (entry.isFolder || entry.special || name.size() < 4 ||
            catalog::upperAscii(std::string_view(name).substr(name.size() - 4)) != ".TXT") {
            continue;
        }
        if (catalog::upperAscii(name) == "README.TXT" || name.find("读我") != std::string::npos ||
            name.find("简介") != std::string::npos || name.find("说明") != std::string::npos) {
            return name;
        }
    }
    return {};
}

ScanRun RunScan(platform::DiscSource& disc, char letter, const std::optional<ScanOptions>& filtered,
                const catalog::RecordRef& record, ScanProgress& progress)
{
    ScanListing listing = StartListing(letter);
    const std::string rootGbk = listing.lines.front();
    if (filtered) {
        ScanFolderFiltered(disc, "", rootGbk, listing, 1, *filtered, progress);
    } else {
        ScanFolder(disc, "", rootGbk, listing, 1, progress);
    }
    ScanRun run;
    if (listing.aborted) {
        run.ending = ScanEnding::Aborted;
        return run;
    }
    if (listing.lines.size() <= 1) {
        run.ending = ScanEnding::NothingMatched;
        return run;
    }
    {
        // The name was free when the scan began; another writer may have taken it since.
        const catalog::FolderLock lock(record.folder);
        if (catalog::RecordNameTaken(record.folder, record.name)) {
            run.ending = ScanEnding::NameTaken;
            return run;
        }
        // The .Cdr makes a record: written last, a crash never leaves one without icons.
        catalog::WriteRecordFile(record.folder, record.name, catalog::RecordExt::Tag,
                                 catalog::JoinLines(listing.icons));
        catalog::WriteRecordFile(record.folder, record.name, catalog::RecordExt::Cdr,
                                 catalog::JoinLines(listing.lines));
    }
    run.ending = ScanEnding::Saved;
    run.renamed = listing.renamed;
    for (std::size_t i = 1; i < listing.icons.size(); ++i) {
        if (listing.icons[i] == iconText(catalog::IconClass::Folder)) {
            ++run.totals.folders;
        } else {
            ++run.totals.files;
        }
    }
    run.readmeUtf8 = FindReadmeFile(disc);
    return run;
}

} // namespace scan
