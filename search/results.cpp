#include "search/results.h"

#include "catalog/cdinfo.h"
#include "catalog/disk.h"
#include "catalog/library.h"
#include "catalog/record_files.h"
#include "catalog/text.h"
#include "catalog/tree_text.h"

#include <cerrno>
#include <fcntl.h>
#include <map>
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

void copyIfPresent(const std::string& source, const std::string& target)
{
    if (!source.empty()) {
        writeResultFile(target, catalog::ReadWholeFile(source));
    }
}

} // namespace

std::string ResultsFolder(const std::string& libraryRoot)
{
    return libraryRoot + catalog::ResultsFolderName() + "/";
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
    // A backslash is never the trail byte of a GBK character we write, but a lead byte
    // before it could make it one; walk characters so that cannot fool us.
    std::size_t start = 0;
    for (std::size_t i = 0; i < relativeNameGbk.size();) {
        const std::size_t length = catalog::gbkCharLength(relativeNameGbk, i);
        if (length == 1 && relativeNameGbk[i] == '\\') {
            start = i + 1;
        }
        i += length;
    }
    return relativeNameGbk.substr(start);
}

void AddPrunedPath(catalog::Tree& pruned, std::string_view nodePathGbk, int iconClass)
{
    std::vector<std::string_view> parts;
    std::size_t start = 0;
    for (std::size_t i = 0; i < nodePathGbk.size();) {
        const std::size_t length = catalog::gbkCharLength(nodePathGbk, i);
        if (length == 1 && nodePathGbk[i] == '\\') {
            parts.push_back(nodePathGbk.substr(start, i - start));
            start = i + 1;
        }
        i += length;
    }
    if (start < nodePathGbk.size()) {
        parts.push_back(nodePathGbk.substr(start));
    }
    if (parts.empty() || pruned.empty()) {
        return;
    }
    catalog::NodeId current = pruned.first();
    for (std::size_t i = 0; i + 1 < parts.size(); ++i) {
        catalog::NodeId next = catalog::NoNode;
        for (const catalog::NodeId child : pruned.children(current)) {
            if (pruned.text(child) == parts[i]) {
                next = child;
                break;
            }
        }
        if (next == catalog::NoNode) {
            next = pruned.addChild(current, std::string(parts[i]), catalog::IconClass::Folder);
        }
        current = next;
    }
    pruned.addChild(current, std::string(parts.back()), iconClass);
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

void ResultWriter::writeFoundCd(const std::string& relativeNameGbk)
{
    const std::string base = claim(CdNameOf(relativeNameGbk), ".Tgt");
    writeResultFile(base + ".Tgt", relativeNameGbk + ".Cdr\r\n");
}

void ResultWriter::writeFoundFolder(const std::string& relativeNameGbk, const catalog::Tree& pruned,
                                    const std::string& fmxPath, const std::string& ifnPath)
{
    const std::string base = claim(CdNameOf(relativeNameGbk), ".Fid");
    for (const char* ext : {".Tag", ".mx", ".fmx", ".ifn"}) {
        m_taken.insert(catalog::upperAscii(base.substr(m_categoryFolder.size()) + ext));
    }
    writeResultFile(base + ".Fid", catalog::WriteTreeText(pruned));
    writeResultFile(base + ".Tag", catalog::TagText(pruned));
    writeResultFile(base + ".mx", gbkText("这个查找结果原位置：") + "\r\n" +
                                      std::string(catalog::LibraryRootCaption) + "\\" +
                                      relativeNameGbk + "\r\n");
    copyIfPresent(fmxPath, base + ".fmx");
    copyIfPresent(ifnPath, base + ".ifn");
}

std::string LongDate(double dayNumber)
{
    const catalog::DateTimeParts parts = catalog::FromDayNumber(dayNumber);
    return std::to_string(parts.year) + gbkText("年") + std::to_string(parts.month) +
           gbkText("月") + std::to_string(parts.day) + gbkText("日");
}

std::string CategoryDescription(const SearchRequest& request, const std::string& categoryGbk)
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
                        gbkText(label) + categoryGbk;
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
