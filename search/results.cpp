#include "search/results.h"

#include "catalog/cdinfo.h"
#include "catalog/disk.h"
#include "catalog/library.h"
#include "catalog/record_files.h"
#include "catalog/text.h"
#include "catalog/tree_text.h"
#include "organize/tree_copy.h"

#include <cerrno>
#include <fcntl.h>
#include <map>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace search {
namespace {

const std::string& gbkText(const char* utf8)
{
    // Literals of this file are UTF-8; the library wants GBK. Converted once each.
    thread_local std::map<const char*, std::string> cache;
    auto [it, added] = cache.try_emplace(utf8);
    if (added) {
        it->second = catalog::utf8ToGbk(utf8);
    }
    return it->second;
}

// Result files go into a category made empty by this run: a plain write is enough, and
// one fsync per hit would make a search with thousands of hits crawl.
void writeResultFile(const std::string& path, std::string_view content)
{
    catalog::FileDescriptor fd(
        ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666));
    if (fd.get() < 0) {
        catalog::throwFileError(path, errno);
    }
    std::size_t written = 0;
    while (written < content.size()) {
        const ssize_t n = ::write(fd.get(), content.data() + written, content.size() - written);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            catalog::throwFileError(path, errno);
        }
        written += static_cast<std::size_t>(n);
    }
    if (::close(fd.release()) != 0) {
        catalog::throwFileError(path, errno);
    }
}

// The file that makes an entry visible: written under a temporary name and renamed, so a
// killed search or a full disk never leaves a partial entry in the list.
void publishResultFile(const std::string& folder, const std::string& path, std::string_view content)
{
    catalog::TemporaryFile temporary(folder, path);
    temporary.write(content);
    temporary.renameTo(path);
}

void copyIfPresent(const std::string& source, const std::string& target)
{
    if (!source.empty()) {
        writeResultFile(target, catalog::ReadWholeFile(source));
    }
}

std::string fullWidth(char c)
{
    // GBK of the full-width forms ／ ＊ ？ ： ＂ ＜ ＞ ｜.
    static const std::string_view Ascii = "/*?:\"<>|";
    static const char* const Wide[] = {"\xA3\xAF", "\xA3\xAA", "\xA3\xBF", "\xA3\xBA",
                                       "\xA3\xA2", "\xA3\xBC", "\xA3\xBE", "\xA3\xFC"};
    const auto at = Ascii.find(c);
    return at == std::string_view::npos ? std::string(1, c) : std::string(Wide[at]);
}

} // namespace

std::string ResultsFolder(const std::string& libraryRoot)
{
    return libraryRoot + catalog::ResultsFolderName() + "/";
}

std::string CategoryFolderName(std::string_view captionGbk)
{
    std::string name;
    name.reserve(captionGbk.size());
    for (std::size_t i = 0; i < captionGbk.size();) {
        const std::size_t length = catalog::gbkCharLength(captionGbk, i);
        if (length == 2) {
            name.append(captionGbk.substr(i, 2));
        } else if (static_cast<unsigned char>(captionGbk[i]) < 0x20) {
            name += ' ';
        } else {
            name += fullWidth(captionGbk[i]);
        }
        i += length;
    }
    return name;
}

std::string CategoryFolder(const std::string& libraryRoot, const std::string& categoryGbk)
{
    const std::string results = ResultsFolder(libraryRoot);
    if (!catalog::IsSafeName(categoryGbk) ||
        catalog::findSingleByte(categoryGbk, '\\') != std::string::npos) {
        catalog::throwFileError(results + categoryGbk, EINVAL);
    }
    if (!catalog::LiesInside(libraryRoot, results)) {
        catalog::throwFileError(results, EXDEV);
    }
    return catalog::ChildPath(results, categoryGbk);
}

void DeleteCategory(const std::string& libraryRoot, const std::string& categoryGbk)
{
    organize::DeleteFolderTree(CategoryFolder(libraryRoot, categoryGbk));
}

ResultsLock::ResultsLock(const std::string& libraryRoot, const std::function<bool()>& keepWaiting)
{
    const std::string results = ResultsFolder(libraryRoot);
    const std::string path = results.substr(0, results.size() - 1);
    for (;;) {
        if (::mkdir(path.c_str(), 0777) != 0 && errno != EEXIST) {
            catalog::throwFileError(path, errno);
        }
        catalog::FileDescriptor fd(::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        if (fd.get() < 0) {
            catalog::throwFileError(path, errno);
        }
        while (::flock(fd.get(), LOCK_EX | LOCK_NB) != 0) {
            if (errno != EWOULDBLOCK && errno != EINTR) {
                break; // no flock on this file system: go on without it
            }
            if (!keepWaiting()) {
                return;
            }
            ::usleep(10000);
        }
        // The holder may have removed the folder as empty: a lock on it guards nothing.
        struct stat locked = {};
        struct stat current = {};
        if (::fstat(fd.get(), &locked) == 0 && ::stat(path.c_str(), &current) == 0 &&
            locked.st_dev == current.st_dev && locked.st_ino == current.st_ino) {
            m_fd.reset(fd.release());
            return;
        }
    }
}

PrunedTree::PrunedTree(const catalog::Tree& source) : m_source(source)
{
    const catalog::NodeId root = source.first();
    m_copies.emplace(
        root, m_pruned.addChild(catalog::NoNode, source.text(root), catalog::IconClass::Root));
}

void PrunedTree::add(catalog::NodeId node, int iconClass)
{
    // The parents not copied yet, nearest first; the chain ends at a copied one (the
    // first node at the latest).
    std::vector<catalog::NodeId> missing;
    catalog::NodeId parent = m_source.parent(node);
    while (parent != catalog::NoNode && m_copies.find(parent) == m_copies.end()) {
        missing.push_back(parent);
        parent = m_source.parent(parent);
    }
    if (parent == catalog::NoNode) {
        return; // another top-level node: not below the disc's root
    }
    catalog::NodeId copy = m_copies.at(parent);
    for (auto it = missing.rbegin(); it != missing.rend(); ++it) {
        copy = m_pruned.addChild(copy, m_source.text(*it), catalog::IconClass::Folder);
        m_copies.emplace(*it, copy);
    }
    m_copies.emplace(node, m_pruned.addChild(copy, m_source.text(node), iconClass));
}

std::string UniqueCategoryName(const std::string& baseFolder)
{
    const std::string stem = baseFolder.substr(0, baseFolder.size() - 1);
    std::string candidate = baseFolder;
    for (int counter = 2; catalog::FolderExists(candidate); ++counter) {
        candidate = stem + "(" + std::to_string(counter) + ")/";
    }
    const std::string folder = candidate.substr(0, candidate.size() - 1);
    return folder.substr(folder.rfind('/') + 1);
}

std::string_view CdNameOf(std::string_view relativeNameGbk)
{
    // 0x5C is also the trail byte of characters such as 乗 (81 5C).
    const std::size_t slash = catalog::findLastSingleByte(relativeNameGbk, '\\');
    return slash == std::string_view::npos ? relativeNameGbk : relativeNameGbk.substr(slash + 1);
}

ResultWriter::ResultWriter(std::string libraryRoot, std::string categoryFolder)
    : m_libraryRoot(std::move(libraryRoot)), m_categoryFolder(std::move(categoryFolder))
{
    std::vector<catalog::DirEntry> entries;
    catalog::ListFolder(m_categoryFolder, entries);
    for (const auto& entry : entries) {
        m_taken.insert(catalog::upperAscii(entry.name));
    }
}

std::string ResultWriter::UniqueResultBase(std::string_view cdNameGbk, std::string_view ext) const
{
    std::string name(cdNameGbk);
    for (int counter = 2; m_taken.count(catalog::upperAscii(name + std::string(ext))) > 0;
         ++counter) {
        name = std::string(cdNameGbk) + "(" + std::to_string(counter) + ")";
    }
    return m_categoryFolder + name;
}

std::string ResultWriter::claim(std::string_view cdNameGbk, std::string_view ext)
{
    std::string base = UniqueResultBase(cdNameGbk, ext);
    m_taken.insert(catalog::upperAscii(base.substr(m_categoryFolder.size()) + std::string(ext)));
    return base;
}

void ResultWriter::writeFoundCd(const std::string& relativeNameGbk, std::string_view listingExt)
{
    const std::string_view pointerExt = catalog::FoundEntryExt(catalog::RecordKind::Tgt);
    const std::string base = claim(CdNameOf(relativeNameGbk), pointerExt);
    publishResultFile(m_categoryFolder, base + std::string(pointerExt),
                      relativeNameGbk + std::string(listingExt) + "\r\n");
}

void ResultWriter::writeFoundFolder(const std::string& relativeNameGbk, const catalog::Tree& pruned,
                                    const std::string& fmxPath, const std::string& ifnPath)
{
    using catalog::RecordKind;
    const std::string base =
        claim(CdNameOf(relativeNameGbk), catalog::FoundEntryExt(RecordKind::Fid));
    const auto path = [&](RecordKind kind) {
        return base + std::string(catalog::FoundEntryExt(kind));
    };
    const auto& kinds = catalog::FoundFolderKinds();
    for (const RecordKind kind : kinds) {
        m_taken.insert(catalog::upperAscii(path(kind).substr(m_categoryFolder.size())));
    }
    try {
        writeResultFile(path(RecordKind::Tag), catalog::TagText(pruned));
        writeResultFile(path(RecordKind::Mx), gbkText("这个查找结果原位置：") + "\r\n" +
                                                  std::string(catalog::LibraryRootCaption) + "\\" +
                                                  relativeNameGbk + "\r\n");
        copyIfPresent(fmxPath, path(RecordKind::Fmx));
        copyIfPresent(ifnPath, path(RecordKind::Ifn));
        // The listing last: an entry shows only once its companions are there.
        publishResultFile(m_categoryFolder, path(RecordKind::Fid), catalog::WriteTreeText(pruned));
    } catch (...) {
        for (const RecordKind kind : kinds) {
            if (kind != RecordKind::Fid) {
                ::unlink(path(kind).c_str());
            }
        }
        throw;
    }
}

std::string LongDate(double dayNumber)
{
    const catalog::DateTimeParts parts = catalog::FromDayNumber(dayNumber);
    return std::to_string(parts.year) + gbkText("年") + std::to_string(parts.month) +
           gbkText("月") + std::to_string(parts.day) + gbkText("日");
}

std::string CategoryDescription(const SearchRequest& request, const std::string& captionGbk)
{
    std::string text = gbkText("查找范围:") + "\r\n";
    for (const auto& entry : request.scope) {
        text += entry.captionGbk + "\r\n";
    }
    text += "\r" + gbkText("查找项目:") + "\r\n";
    switch (request.kind) {
    case SearchKind::Text: {
        const TextCriteria& c = request.text;
        const std::pair<bool, const char*> switches[] = {{c.content, "光盘内容 "},
                                                         {c.name, "光盘名称 "},
                                                         {c.description, "光盘描述 "},
                                                         {c.internal, "光盘内部描述 "}};
        bool first = true;
        for (const auto& [on, label] : switches) {
            if (on) {
                text += "\r" + (first ? std::string("    ") : gbkText("或") + "  ") +
                        gbkText(label) + captionGbk;
                first = false;
            }
        }
        break;
    }
    case SearchKind::Date: {
        const DateCriteria& d = request.date;
        if (d.between) {
            text += gbkText("日期介于 ") + LongDate(d.first) + gbkText(" 和 ") + LongDate(d.second);
        } else {
            static const char* const Ages[] = {"使用期限　一年以上", "使用期限　两年以上",
                                               "使用期限　一年以内", "使用期限　半年以内",
                                               "使用期限　一个月以内"};
            text += gbkText(Ages[static_cast<int>(d.age)]);
        }
        break;
    }
    case SearchKind::Advanced: {
        const FieldCriteria& f = request.fields;
        const std::pair<const std::string*, const char*> fields[] = {
            {&f.cdno, "光盘编号＝"},
            {&f.cdowner, "光盘所有者 包含 "},
            {&f.cdbuyaddr, "购买地点   包含 "},
            {&f.cdstyle, "光盘种类＝"},
            {&f.cdzl, "光盘质量＝"},
            {&f.cdxz, "光盘性质＝"},
            {&f.cdstat, "光盘状态＝"},
            {&f.cdother, "其它说明 包含 "}};
        for (const auto& [value, label] : fields) {
            if (!catalog::trimBlanks(*value).empty()) {
                text += "\r" + gbkText(label) + *value;
            }
        }
        break;
    }
    }
    return text + "\r\n";
}

} // namespace search
