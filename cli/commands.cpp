#include "cli/commands.h"

#include "catalog/box_tree.h"
#include "catalog/cdinfo.h"
#include "catalog/disk.h"
#include "catalog/library.h"
#include "catalog/record_files.h"
#include "catalog/record_set.h"
#include "catalog/text.h"
#include "catalog/tree_text.h"
#include "platform/clock.h"
#include "search/results.h"

#include <algorithm>
#include <cstdio>
#include <ostream>

namespace cli {

std::vector<std::string> splitLibraryPath(const std::string& pathUtf8)
{
    // UTF-8 never holds \ or / inside a character: splitting the bytes is safe.
    std::vector<std::string> namesUtf8(1);
    for (const char c : pathUtf8) {
        if (c == '\\' || c == '/') {
            namesUtf8.emplace_back();
        } else {
            namesUtf8.back() += c;
        }
    }
    // "" is the library itself; a box path may end in its separator.
    if (namesUtf8.back().empty()) {
        namesUtf8.pop_back();
    }
    std::vector<std::string> names;
    for (const auto& name : namesUtf8) {
        if (name.empty() || name == "." || name == "..") {
            throw CommandError{"路径中的名称不合法 (不能为空, \".\" 或 \"..\"): " + pathUtf8};
        }
        names.push_back(gbkText(name));
    }
    return names;
}

std::string gbkText(const std::string& textUtf8)
{
    // A character GBK cannot hold would be saved as "?" and name or say something else.
    catalog::GbkConversion converted = catalog::utf8ToGbkCounted(textUtf8);
    if (converted.replaced > 0 || textUtf8.find('\0') != std::string::npos) {
        throw CommandError{"含有 GBK 无法表示的字符: " + textUtf8};
    }
    return std::move(converted.gbk);
}

std::string lineFeeds(std::string text)
{
    for (char& c : text) {
        if (c == '\r') {
            c = '\n';
        }
    }
    return text;
}

std::string visibleName(std::string_view textUtf8)
{
    std::string shown;
    shown.reserve(textUtf8.size());
    for (const char c : textUtf8) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte >= 0x20 && byte != 0x7F) {
            shown += c;
        } else if (c == '\n') {
            shown += "\\n";
        } else if (c == '\r') {
            shown += "\\r";
        } else if (c == '\t') {
            shown += "\\t";
        } else {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\x%02x", byte);
            shown += escaped;
        }
    }
    return shown;
}

std::string nodePathGbk(const std::string& pathUtf8)
{
    std::string pathGbk = gbkText(pathUtf8);
    for (char& c : pathGbk) {
        if (c == '/') {
            c = '\\';
        }
    }
    if (!pathGbk.empty() && pathGbk.back() != '\\') {
        pathGbk += '\\';
    }
    return pathGbk;
}

std::string libraryFolder(const Context& context, const std::vector<std::string>& namesGbk,
                          std::size_t count)
{
    std::string folder = context.libraryRoot;
    for (std::size_t i = 0; i < count; ++i) {
        folder = catalog::ChildPath(folder, namesGbk[i]);
    }
    // A symbolic link inside the library must not lead the command out of it.
    return catalog::IsFolder(folder) && catalog::LiesInside(context.libraryRoot, folder)
               ? folder
               : std::string();
}

std::string boxForNewEntries(const Context& context, const std::vector<std::string>& namesGbk,
                             std::size_t count, const std::string& shownUtf8)
{
    const bool results = count > 0 && namesGbk[0] == catalog::ResultsFolderName();
    const bool hidden = std::any_of(namesGbk.begin(), namesGbk.begin() + static_cast<long>(count),
                                    [](const std::string& name) { return name.starts_with('.'); });
    const std::string folder = libraryFolder(context, namesGbk, count);
    if (results || hidden || folder.empty()) {
        throw CommandError{"找不到光盘盒: " + shownUtf8};
    }
    return folder;
}

namespace {

void expectArguments(const std::vector<std::string>& args, std::size_t count, const char* usage)
{
    if (args.size() != count) {
        throw CommandError{std::string("用法: vellumark-cli ") + usage};
    }
}

// The results folder is addressed by its caption; a real box of that name comes first.
void mapResultsFolder(const std::string& root, std::vector<std::string>& names, bool& inResults)
{
    static const std::string caption(catalog::DisplayCaption(catalog::ResultsFolderName()));
    if (!names.empty() && names.front() == caption &&
        !catalog::IsFolder(catalog::ChildPath(root, caption))) {
        names.front() = catalog::ResultsFolderName();
    }
    inResults = !names.empty() && names.front() == catalog::ResultsFolderName();
}

} // namespace

BoxLocation locateBox(const Context& context, const std::string& boxPathUtf8)
{
    BoxLocation box;
    box.namesGbk = splitLibraryPath(boxPathUtf8);
    mapResultsFolder(context.libraryRoot, box.namesGbk, box.inResults);
    box.folder = libraryFolder(context, box.namesGbk, box.namesGbk.size());
    if (box.folder.empty()) {
        throw CommandError{"找不到光盘盒: " + boxPathUtf8};
    }
    return box;
}

RecordLocation locateRecord(const Context& context, const std::string& recordUtf8)
{
    std::vector<std::string> names = splitLibraryPath(recordUtf8);
    bool inResults = false;
    mapResultsFolder(context.libraryRoot, names, inResults);
    const std::string folder =
        names.empty() ? std::string() : libraryFolder(context, names, names.size() - 1);
    if (folder.empty()) {
        throw CommandError{"找不到光盘: " + recordUtf8};
    }
    RecordLocation record{{folder, names.back()}, std::string(catalog::RecordExt::Cdr)};
    if (!catalog::FindRecordFile(folder, record.ref.name, catalog::RecordKind::Cdr).empty()) {
        return record;
    }
    if (!catalog::FindRecordFile(folder, record.ref.name, catalog::RecordKind::Fid).empty()) {
        record.listingExt = ".fid";
        record.foundFolder = true;
        return record;
    }
    // A found-CD entry stands for the CD it points to, as in the window.
    const std::string pointer =
        catalog::FindRecordFile(folder, record.ref.name, catalog::RecordKind::Tgt);
    if (!pointer.empty()) {
        if (const auto target =
                search::PointerTarget(context.libraryRoot, catalog::ReadWholeFile(pointer))) {
            record.ref = *target;
            return record;
        }
        throw CommandError{catalog::PointerTargetGoneMessage(recordUtf8)};
    }
    throw CommandError{"找不到光盘: " + recordUtf8};
}

catalog::RecordRef locateCd(const Context& context, const std::string& recordUtf8)
{
    const RecordLocation record = locateRecord(context, recordUtf8);
    if (record.foundFolder) {
        throw CommandError{"找不到光盘: " + recordUtf8};
    }
    return record.ref;
}

namespace {

void writeBoxTree(const catalog::Tree& tree, catalog::NodeId node, std::string& out)
{
    out.append(static_cast<std::size_t>(tree.depth(node)) * 2, ' ');
    out += visibleName(catalog::gbkToUtf8(catalog::DisplayCaption(tree.text(node))));
    out += '\n';
    for (const catalog::NodeId child : tree.children(node)) {
        writeBoxTree(tree, child, out);
    }
}

const char* kindWord(int kind)
{
    switch (kind) {
    case catalog::ListItem::Box:
        return "box";
    case catalog::ListItem::FoundFolder:
        return "found-folder";
    case catalog::ListItem::FoundCd:
        return "found-cd";
    default:
        return "cd";
    }
}

std::string formatTime(double days)
{
    const catalog::DateTimeParts t = catalog::FromDayNumber(days);
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", t.year, t.month, t.day,
                  t.hour, t.minute, t.second);
    return text;
}

std::string withLineFeeds(std::string_view textGbk)
{
    std::string text;
    for (const auto line : catalog::SplitLines(textGbk)) {
        text += line;
        text += '\n';
    }
    return text;
}

} // namespace

int runBoxes(const Context& context, const std::vector<std::string>& args)
{
    expectArguments(args, 0, "boxes");
    const catalog::Tree tree = catalog::LoadLibraryTree(context.libraryRoot);
    std::string listing;
    for (const catalog::NodeId top : tree.topLevel()) {
        writeBoxTree(tree, top, listing);
    }
    *context.out << listing;
    return 0;
}

int runList(const Context& context, const std::vector<std::string>& args)
{
    expectArguments(args, 1, "list 光盘盒路径");
    const BoxLocation box = locateBox(context, args[0]);
    std::vector<catalog::ListEntry> items = catalog::FillCDList(box.folder);
    catalog::SortBoxesFirst(items);
    std::string listing;
    for (const auto& item : items) {
        listing += kindWord(item.kind);
        listing += '\t';
        listing += visibleName(catalog::gbkToUtf8(catalog::DisplayCaption(item.caption)));
        listing += '\n';
    }
    *context.out << listing;
    return 0;
}

int runCounts(const Context& context, const std::vector<std::string>& args)
{
    const bool recursive = args.size() == 2 && args[1] == "--recursive";
    if (args.size() != 1 && !recursive) {
        throw CommandError{"用法: vellumark-cli counts 光盘盒路径 [--recursive]"};
    }
    const BoxLocation box = locateBox(context, args[0]);
    const auto mode = box.inResults ? catalog::CountMode::Results : catalog::CountMode::Records;
    const catalog::BoxCounts counts = catalog::CountBoxEntries(box.folder, mode, recursive);
    using catalog::CountText;
    const CountText where =
        recursive ? (box.inResults ? CountText::DetailsResults : CountText::DetailsBox)
                  : (box.inResults ? CountText::BoxTreeResults : CountText::BoxTreeBox);
    *context.out << catalog::CountsText(where, counts) << '\n';
    return 0;
}

int runShow(const Context& context, const std::vector<std::string>& args)
{
    expectArguments(args, 1, "show 光盘");
    const RecordLocation record = locateRecord(context, args[0]);
    catalog::Tree tree;
    const catalog::RecordLoad load = catalog::LoadRecordTree(record.ref, record.listingExt, tree);
    std::string listing;
    listing.reserve(tree.size() * 24);
    for (const catalog::NodeId node : tree.indexOrder()) {
        listing.append(static_cast<std::size_t>(tree.depth(node)), '\t');
        listing += tree.text(node);
        listing += '\t';
        listing += catalog::decimal(tree.image(node));
        listing += '\n';
    }
    *context.out << catalog::gbkToUtf8(listing);
    if (!load.tree.ok || !load.tags.ok) {
        context.out->flush();
        *context.err << (load.tree.ok ? load.tags.errorUtf8 : load.tree.errorUtf8) << '\n';
        return 1;
    }
    *context.out << catalog::TotalsText(load.totals) << '\n';
    return 0;
}

int runInfo(const Context& context, const std::vector<std::string>& args)
{
    expectArguments(args, 1, "info 光盘");
    const RecordLocation record = locateRecord(context, args[0]);
    const catalog::CDInfoRead read = catalog::ReadCDInfo(record.ref);
    if (read.status == catalog::CDInfoRead::Status::Short) {
        throw CommandError{"光盘信息文件不完整 (不足 192 字节): " + args[0]};
    }
    const catalog::TCDInfo info = read.status == catalog::CDInfoRead::Status::Ok
                                      ? read.info
                                      : catalog::DefaultCDInfo(nowAsDayNumber(*context.clock));
    const std::pair<const char*, const std::string*> texts[] = {
        {"cdno", &info.cdno},           {"cdowner", &info.cdowner}, {"cdtime", nullptr},
        {"cdbuyaddr", &info.cdbuyaddr}, {"cdmoney", &info.cdmoney}, {"cdstyle", &info.cdstyle},
        {"cdzl", &info.cdzl},           {"cdstat", &info.cdstat},   {"cdxz", &info.cdxz},
        {"cdother", &info.cdother},
    };
    for (const auto& [name, value] : texts) {
        *context.out << name << '='
                     << (value ? catalog::gbkToUtf8(*value) : formatTime(info.cdtime)) << '\n';
    }
    return 0;
}

int runDescribe(const Context& context, const std::vector<std::string>& args)
{
    expectArguments(args, 1, "describe 光盘");
    const RecordLocation record = locateRecord(context, args[0]);
    *context.out << catalog::gbkToUtf8(withLineFeeds(catalog::ReadDescription(record.ref)));
    return 0;
}

int runNotes(const Context& context, const std::vector<std::string>& args)
{
    expectArguments(args, 1, "notes 光盘");
    const RecordLocation record = locateRecord(context, args[0]);
    const catalog::NodeNotes notes = catalog::NodeNotes::read(record.ref);
    const auto& lines = notes.lines();
    std::string listing;
    for (std::size_t i = 0; i < lines.size(); i += 2) {
        listing += lines[i];
        listing += '\t';
        listing += i + 1 < lines.size() ? lines[i + 1] : std::string();
        listing += '\n';
    }
    *context.out << catalog::gbkToUtf8(listing);
    return 0;
}

namespace {

volatile std::sig_atomic_t interruptRequested = 0;

extern "C" void onInterrupt(int)
{
    interruptRequested = 1;
}

} // namespace

InterruptScope::InterruptScope()
{
    interruptRequested = 0;
    struct sigaction action = {};
    action.sa_handler = onInterrupt;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0; // no SA_RESTART: a blocked read or wait returns with EINTR
    ::sigaction(SIGINT, &action, &m_int);
    ::sigaction(SIGTERM, &action, &m_term);
}

InterruptScope::~InterruptScope()
{
    ::sigaction(SIGINT, &m_int, nullptr);
    ::sigaction(SIGTERM, &m_term, nullptr);
}

bool InterruptScope::requested()
{
    return interruptRequested != 0;
}

char parseLetter(const std::string& text)
{
    if ((text.size() == 1 || (text.size() == 2 && text[1] == ':')) &&
        ((text[0] >= 'A' && text[0] <= 'Z') || (text[0] >= 'a' && text[0] <= 'z'))) {
        return static_cast<char>(text[0] & ~0x20);
    }
    throw CommandError{"驱动器盘符无效: " + text};
}

double nowAsDayNumber(const platform::Clock& clock)
{
    const platform::LocalDateTime now = clock.now();
    return catalog::ToDayNumber({now.year, now.month, now.day, now.hour, now.minute, now.second});
}

} // namespace cli
