#include "migrate/import.h"

#include "catalog/cdinfo.h"
#include "catalog/library.h"
#include "catalog/record_set.h"
#include "catalog/text.h"
#include "organize/organize.h"
#include "platform/disc_source.h"
#include "scan/scanner.h"

#include <algorithm>

namespace migrate {
namespace {

// The tree of a disc as the scanner reads a disc: entries sorted by name bytes.
class MemoryDisc : public platform::DiscSource
{
public:
    explicit MemoryDisc(const Node& root) : m_root(root) {}

    bool list(const std::string& relativeUtf8, std::vector<platform::DiscEntry>& entries) override
    {
        entries.clear();
        const Node* folder = find(relativeUtf8);
        if (folder == nullptr) {
            return false;
        }
        for (const auto& [name, child] : folder->children) {
            platform::DiscEntry& entry = entries.emplace_back();
            entry.nameUtf8 = name;
            entry.isFolder = child.folder;
        }
        return true;
    }

    bool readFile(const std::string&, std::string&) override { return false; }

private:
    const Node* find(std::string_view relativeUtf8) const
    {
        const Node* node = &m_root;
        while (!relativeUtf8.empty()) {
            const std::size_t slash = relativeUtf8.find('/');
            const auto child = node->children.find(std::string(relativeUtf8.substr(0, slash)));
            if (child == node->children.end()) {
                return nullptr;
            }
            node = &child->second;
            relativeUtf8 = slash == std::string_view::npos ? std::string_view()
                                                           : relativeUtf8.substr(slash + 1);
        }
        return node;
    }

    const Node& m_root;
};

class NoProgress : public scan::ScanProgress
{
public:
    void showPath(const std::string&) override {}
    bool showsPaths() const override { return false; }
    bool aborted() override { return false; }
};

// Walks the disc's tree in the scanner's order (sub-folders, each with its subtree, then
// files) beside the listing the scanner made of it, to key the descriptions by the names
// as written and to report the names that had to change.
class ListingWalk
{
public:
    ListingWalk(const scan::ScanListing& listing, std::vector<std::string>& problemsUtf8,
                const std::string& discUtf8)
        : m_listing(listing), m_problems(problemsUtf8), m_disc(discUtf8)
    {}

    void folder(const Node& node, std::size_t depth, const std::string& keyGbk,
                const std::string& pathUtf8)
    {
        for (const bool folders : {true, false}) {
            for (const auto& [name, child] : node.children) {
                if (child.folder == folders) {
                    entry(name, child, depth, keyGbk, pathUtf8);
                }
            }
        }
    }

    std::vector<std::pair<std::string, std::string>> notes;

private:
    void entry(const std::string& nameUtf8, const Node& node, std::size_t depth,
               const std::string& parentKeyGbk, const std::string& parentUtf8)
    {
        const std::string_view nameGbk = std::string_view(m_listing.lines[++m_line]).substr(depth);
        const std::string keyGbk = parentKeyGbk + std::string(nameGbk) + '\\';
        const std::string pathUtf8 = parentUtf8 + '\\' + nameUtf8;
        // ASCII names read the same in both; only the others need converting back.
        if (nameGbk != nameUtf8 && catalog::gbkToUtf8(nameGbk) != nameUtf8) {
            m_problems.push_back(m_disc +
                                 ": 名称含有 GBK 无法保存的字符, 已改为 ?: " + pathUtf8.substr(1));
        }
        if (!node.descriptionUtf8.empty()) {
            notes.emplace_back(keyGbk, catalog::utf8ToGbk(node.descriptionUtf8));
        }
        if (node.folder) {
            folder(node, depth + 1, keyGbk, pathUtf8);
        }
    }

    const scan::ScanListing& m_listing;
    std::vector<std::string>& m_problems;
    const std::string& m_disc;
    std::size_t m_line = 0;
};

std::string descriptionGbk(const std::string& textUtf8)
{
    const std::string gbk = catalog::utf8ToGbk(textUtf8);
    std::vector<std::string> lines;
    for (const auto line : catalog::SplitLines(gbk)) {
        lines.emplace_back(line);
    }
    return catalog::JoinLines(lines);
}

catalog::TCDInfo infoOf(const DiscInfo& given, double now)
{
    catalog::TCDInfo info =
        catalog::DefaultCDInfo(given.catalogued ? catalog::ToDayNumber(*given.catalogued) : now);
    info.cdno = catalog::utf8ToGbk(given.numberUtf8);
    info.cdowner = catalog::utf8ToGbk(given.ownerUtf8);
    info.cdother = catalog::utf8ToGbk(given.locationUtf8);
    if (!given.kindUtf8.empty()) {
        info.cdstyle = catalog::utf8ToGbk(given.kindUtf8);
    }
    return info;
}

// The name as a file name of the library, or "" when it cannot be one.
std::string libraryName(const std::string& nameUtf8)
{
    const catalog::GbkConversion converted = catalog::utf8ToGbkCounted(nameUtf8);
    const bool control = std::any_of(converted.gbk.begin(), converted.gbk.end(),
                                     [](char c) { return static_cast<unsigned char>(c) < 0x20; });
    if (converted.replaced > 0 || control ||
        catalog::CheckName(converted.gbk) != catalog::NameCheck::Accepted) {
        return {};
    }
    return converted.gbk;
}

} // namespace

// What one CD record is made of, GBK.
struct Importer::RecordFiles
{
    std::string tags;
    std::string listing;
    std::string description;
    std::string notes; // "" for none
    std::optional<catalog::TCDInfo> info;

    // The files in the order they are put in place: the icons first, as a scan writes
    // them, and the listing, which makes the record, before the rest.
    std::vector<std::pair<std::string_view, std::string>> byKind() const
    {
        std::vector<std::pair<std::string_view, std::string>> files = {
            {catalog::RecordExt::Tag, tags},
            {catalog::RecordExt::Cdr, listing},
            {catalog::RecordExt::Mx, description}};
        if (!notes.empty()) {
            files.emplace_back(catalog::RecordExt::Fmx, notes);
        }
        if (info) {
            const auto bytes = catalog::EncodeCDInfo(*info);
            files.emplace_back(catalog::RecordExt::Ifn, std::string(bytes.data(), bytes.size()));
        }
        return files;
    }
};

namespace {

// Records staged before the batch is put in place: few enough descriptors, a flush
// shared by many.
constexpr std::size_t BatchRecords = 48;

} // namespace

Importer::Importer(ImportTarget target) : m_target(std::move(target)) {}

Importer::~Importer()
{
    // A caller that did not finish (an exception on its way) still gets the whole discs
    // it added; an error here has no one to go to, and leaves only temporary files.
    try {
        finish();
    } catch (const std::exception&) {
    }
}

catalog::RecordFolder& Importer::lockBox(const std::string& folder)
{
    if (m_lockedFolder != folder || !m_lock) {
        finish();
        m_lock.emplace(folder);
        m_lockedFolder = folder;
    }
    return recordsOf(folder);
}

catalog::RecordFolder& Importer::recordsOf(const std::string& folder)
{
    if (!m_records || m_records->folder() != folder) {
        m_records.emplace(folder, catalog::RecordFolder::Watch::Once);
    }
    return *m_records;
}

void Importer::stage(const catalog::RecordRef& record, const std::optional<std::string>& existing,
                     const RecordFiles& files)
{
    if (!m_batch) {
        m_batch = std::make_unique<catalog::RecordTransfer>(record.folder, catalog::Carry::Copy);
    }
    const auto byKind = files.byKind();
    std::vector<catalog::RecordTransfer::Content> content;
    for (const auto& [ext, bytes] : byKind) {
        content.push_back({catalog::RecordFileForWriting(*m_records, record.name, ext)
                               .substr(record.folder.size()),
                           bytes});
    }
    // Replaced whole: the old CD's files, and what a killed scan left under the new name.
    const auto& kinds = catalog::CdRecordKinds();
    std::vector<std::string> old = catalog::RecordFilesOf(*m_records, record.name, kinds);
    if (existing && *existing != record.name) {
        for (auto& name : catalog::RecordFilesOf(*m_records, *existing, kinds)) {
            old.push_back(std::move(name));
        }
    }
    m_batch->addContent(content, record.name, old);
    // The listing as it is once the batch is in place, for the discs that follow.
    for (const auto& name : old) {
        m_records->removed(name);
    }
    for (const auto& file : content) {
        m_records->added(file.to);
    }
    if (++m_stagedRecords >= BatchRecords) {
        commit();
    }
}

void Importer::commit()
{
    if (!m_batch) {
        return;
    }
    const std::unique_ptr<catalog::RecordTransfer> batch = std::move(m_batch);
    m_stagedRecords = 0;
    const int failures = batch->commit();
    if (failures > 0) {
        throw catalog::FileError(catalog::DisplayPath(m_lockedFolder) + ": 有 " +
                                 std::to_string(failures) + " 个光盘文件无法放入光盘盒");
    }
}

void Importer::finish()
{
    commit();
    m_records.reset();
    m_lock.reset();
    m_lockedFolder.clear();
}

std::optional<Importer::Box> Importer::boxOf(const Disc& disc,
                                             std::vector<std::string>& problemsUtf8)
{
    Box box{m_target.boxFolder, m_target.boxTextGbk};
    for (const std::string& nameUtf8 : disc.boxesUtf8) {
        const std::string nameGbk = libraryName(nameUtf8);
        if (nameGbk.empty()) {
            problemsUtf8.push_back("光盘盒名称不能使用, 光盘未导入: " + nameUtf8 + "\\" +
                                   disc.nameUtf8);
            return std::nullopt;
        }
        const std::string folder = catalog::ChildPath(box.folder, nameGbk) + "/";
        if (!m_target.dryRun && !catalog::IsFolder(folder)) {
            finish(); // the new box's parent gets locked: never two locks at once
            catalog::CreateBox(box.folder, nameGbk);
        }
        box = {folder, nameGbk};
    }
    return box;
}

DiscResult Importer::add(const Disc& disc, std::vector<std::string>& problemsUtf8)
{
    DiscResult result;
    result.nameUtf8 = disc.nameUtf8;
    for (auto box = disc.boxesUtf8.rbegin(); box != disc.boxesUtf8.rend(); ++box) {
        result.nameUtf8 = *box + "\\" + result.nameUtf8;
    }
    const std::string nameGbk = libraryName(disc.nameUtf8);
    if (nameGbk.empty()) {
        problemsUtf8.push_back("光盘名称不能用作文件名 (空白, 含有 \\ / : * ? \" < > | 或 GBK "
                               "无法保存的字符), 未导入: " +
                               result.nameUtf8);
        return result;
    }
    const std::optional<Box> box = boxOf(disc, problemsUtf8);
    if (!box) {
        return result;
    }
    if (!m_seen.insert(box->folder + catalog::upperAscii(nameGbk)).second) {
        problemsUtf8.push_back("文件中有同名的光盘, 只导入了第一张: " + result.nameUtf8);
        return result;
    }

    MemoryDisc source(disc.root);
    scan::ScanListing listing = scan::StartListing(m_target.letter);
    NoProgress progress;
    const std::string rootGbk = listing.lines.front(); // the list grows under a reference
    scan::ScanFolder(source, "", rootGbk, listing, 1, progress);
    for (std::size_t i = 1; i < listing.icons.size(); ++i) {
        ++(listing.icons[i] == "1" ? result.totals.folders : result.totals.files);
    }
    ListingWalk walk(listing, problemsUtf8, result.nameUtf8);
    walk.folder(disc.root, 1, "", "");

    const catalog::RecordRef record{box->folder, nameGbk};
    if (m_target.dryRun) {
        if (recordsOf(record.folder).recordTaken(nameGbk)) {
            problemsUtf8.push_back("光盘盒中已有同名的光盘: " + result.nameUtf8);
        }
        result.outcome = DiscOutcome::Checked;
        return result;
    }
    RecordFiles files{catalog::JoinLines(listing.icons), catalog::JoinLines(listing.lines),
                      descriptionGbk(disc.descriptionUtf8),
                      walk.notes.empty() ? std::string()
                                         : catalog::NodeNotes::fromPairs(walk.notes).text(),
                      std::nullopt};
    if (!disc.info.empty()) {
        files.info = infoOf(disc.info, m_target.now);
    }
    catalog::RecordFolder& records = lockBox(record.folder);
    const std::optional<std::string> existing = records.recordNamed(nameGbk);
    if (existing && (!m_target.overwrite ||
                     !m_target.overwrite(organize::OverwriteCdQuestion(box->textGbk, nameGbk)))) {
        result.outcome = DiscOutcome::Kept;
        return result;
    }
    stage(record, existing, files);
    result.outcome = existing ? DiscOutcome::Replaced : DiscOutcome::Written;
    return result;
}

} // namespace migrate
