// Searching the library from the command line: the same run as the search dialog, its
// category left in the search results folder.

#include "catalog/cdinfo.h"
#include "catalog/disk.h"
#include "catalog/library.h"
#include "catalog/record_set.h"
#include "catalog/text.h"
#include "cli/commands.h"
#include "platform/clock.h"
#include "platform/linux/xdg_paths.h"
#include "search/engine.h"
#include "search/index_build.h"
#include "search/index_filter.h"
#include "search/index_store.h"
#include "search/record_walk.h"

#include <unistd.h>

#include <chrono>

#include <cstdio>
#include <ostream>

namespace cli {
namespace {

// Ctrl+C is the dialog's abort button: what was found so far stays in the category.
class CliProgress : public search::SearchProgress
{
public:
    void status(const std::string&) override {}
    void caption(const std::string&) override {}
    void found(const std::string&) override {}
    bool aborted() override { return InterruptScope::requested(); }

private:
    InterruptScope m_interrupts;
};

const char* const SearchUsage =
    "用法: search [--text 文字 [--content] [--name] [--desc] [--internal] [--only-nodes] "
    "[--pinyin]]"
    " | [--date-between 日期 日期 | --age 0..4] | [--field 名称=值 ...] [--scope 范围 ...]"
    " [--no-index]";

const char* const IndexUsage = "用法: index status | index rebuild";

double parseDate(const std::string& text)
{
    int year = 0;
    int month = 0;
    int day = 0;
    char tail = 0;
    if (std::sscanf(text.c_str(), "%d-%d-%d%c", &year, &month, &day, &tail) != 3 || month < 1 ||
        month > 12 || day < 1 || day > 31 || year < 1) {
        throw CommandError{"日期不合法 (应为 YYYY-MM-DD): " + text};
    }
    const double days = catalog::ToDayNumber({year, month, day, 0, 0, 0});
    const catalog::DateTimeParts back = catalog::FromDayNumber(days);
    if (back.month != month || back.day != day) {
        throw CommandError{"日期不合法 (应为 YYYY-MM-DD): " + text};
    }
    return days;
}

// "Orlendy", "Orlendy\软件光盘" or a box path without the root caption; / works as \.
search::ScopeEntry scopeEntry(const Context& context, const std::string& captionUtf8)
{
    std::vector<std::string> names = splitLibraryPath(captionUtf8);
    const std::string rootCaption(catalog::LibraryRootCaption);
    if (!names.empty() && names.front() == rootCaption) {
        names.erase(names.begin());
    }
    if (names.empty()) {
        return {rootCaption, search::ScopeKind::Library};
    }
    std::string caption = rootCaption;
    for (const auto& name : names) {
        caption += '\\';
        caption += name;
    }
    if (!libraryFolder(context, names, names.size()).empty()) {
        return {caption, search::ScopeKind::Box};
    }
    const std::string box = libraryFolder(context, names, names.size() - 1);
    if (!box.empty() &&
        !catalog::FindRecordFile(box, names.back(), catalog::RecordKind::Cdr).empty()) {
        return {caption, search::ScopeKind::Cd};
    }
    throw CommandError{"找不到查找范围: " + captionUtf8};
}

void setField(search::FieldCriteria& fields, const std::string& assignmentUtf8)
{
    const auto equals = assignmentUtf8.find('=');
    const std::string name = assignmentUtf8.substr(0, equals);
    std::string* const slots[] = {&fields.cdno,    &fields.cdowner, &fields.cdbuyaddr,
                                  &fields.cdother, &fields.cdstyle, &fields.cdstat,
                                  &fields.cdzl,    &fields.cdxz};
    const char* const names[] = {"cdno",    "cdowner", "cdbuyaddr", "cdother",
                                 "cdstyle", "cdstat",  "cdzl",      "cdxz"};
    for (std::size_t i = 0; i < std::size(names); ++i) {
        if (equals != std::string::npos && name == names[i]) {
            *slots[i] = gbkText(assignmentUtf8.substr(equals + 1));
            return;
        }
    }
    throw CommandError{"未知的光盘信息项: " + assignmentUtf8 +
                       " (可用 cdno cdowner cdbuyaddr cdother cdstyle cdstat cdzl cdxz)"};
}

std::string libraryIndexFolder(const Context& context)
{
    return search::IndexFolderOf(platform::linux_edition::cacheFolder(), context.libraryRoot);
}

// The index is a cache: a refresh that cannot be written costs speed, never a result.
void refreshQuietly(const std::string& indexFolder, const std::string& libraryRoot,
                    search::SearchOutcome& outcome)
{
    try {
        search::RefreshIndex(indexFolder, libraryRoot, outcome.staleRecords,
                             std::move(outcome.listedFolders));
    } catch (const catalog::FileError&) {
    }
}

int reportOutcome(const Context& context, const search::SearchOutcome& outcome)
{
    if (outcome.aborted) {
        if (outcome.hits > 0) {
            *context.out << "找到 " << outcome.hits << " 个相关光盘\n"
                         << catalog::gbkToUtf8(outcome.categoryGbk) << '\n';
        }
        *context.err << "查找已中止\n";
        return 1;
    }
    if (outcome.hits == 0) {
        *context.out << "没有找到相关光盘！\n";
        return 0;
    }
    *context.out << "找到 " << outcome.hits << " 个相关光盘\n"
                 << catalog::gbkToUtf8(outcome.categoryGbk) << '\n';
    return 0;
}

std::string ageText(std::int64_t seconds)
{
    if (seconds < 120) {
        return std::to_string(seconds) + " 秒";
    }
    if (seconds < 2 * 3600) {
        return std::to_string(seconds / 60) + " 分钟";
    }
    if (seconds < 2 * 86400) {
        return std::to_string(seconds / 3600) + " 小时";
    }
    return std::to_string(seconds / 86400) + " 天";
}

// Counts the records of the library and those the index does not hold as they are.
class Freshness : public search::RecordWalk
{
public:
    // Walks the library as an indexed search does: the folders' kept entries, and the
    // files stamped on two threads.
    explicit Freshness(const search::SearchIndex& index) : m_index(index), m_entries(index)
    {
        useListings(&index.listings(), nullptr);
        stampFiles({true, true, true});
    }
    std::size_t records = 0;
    std::size_t stale = 0;

private:
    void visit(const std::string& relative, const search::RecordFiles& files,
               const std::string&) override
    {
        ++records;
        const auto entry = m_entries.find(relative, files.cdr);
        bool fresh = entry.has_value();
        for (std::size_t t = 0; fresh && t < search::IndexedTexts; ++t) {
            fresh = search::HoldsAsNow(m_index, *entry, files, search::IndexedText(t));
        }
        stale += fresh ? 0 : 1;
    }
    bool aborted() override { return InterruptScope::requested(); }

    const search::SearchIndex& m_index;
    search::EntryFinder m_entries;
};

int indexStatus(const Context& context)
{
    const std::string folder = libraryIndexFolder(context);
    const auto index = search::SearchIndex::open(folder, context.libraryRoot);
    if (!index) {
        *context.out << (search::SearchIndex::exists(folder, context.libraryRoot)
                             ? "搜索索引已损坏, 查找时不用它 (index rebuild 重建索引)\n"
                             : "没有搜索索引 (index rebuild 建立索引)\n");
        return 0;
    }
    Freshness freshness(*index);
    freshness.walkBox(context.libraryRoot, "");
    const auto now = std::chrono::duration_cast<std::chrono::seconds>(
                         std::chrono::system_clock::now().time_since_epoch())
                         .count();
    *context.out << "索引: " << catalog::DisplayPath(folder) << '\n'
                 << "记录: " << index->recordCount() << '\n'
                 << "大小: " << index->bytes() << " 字节\n"
                 << "更新于: "
                 << ageText(std::max<std::int64_t>(0, now - index->writtenAtSeconds())) << "前\n"
                 << "光盘: " << freshness.records << ", 其中未索引或已改变: " << freshness.stale
                 << '\n';
    return 0;
}

int indexRebuild(const Context& context)
{
    InterruptScope interrupts;
    const bool terminal = ::isatty(STDERR_FILENO) != 0;
    const std::size_t count = search::RebuildIndex(
        libraryIndexFolder(context), context.libraryRoot, [&](std::size_t done) {
            if (terminal && done % 100 == 0) {
                *context.err << "\r索引中... " << done << " 张光盘" << std::flush;
            }
            return !InterruptScope::requested();
        });
    if (terminal) {
        *context.err << "\r\033[K";
    }
    if (InterruptScope::requested()) {
        *context.err << "索引已中止, 原有的索引保留\n";
        return 1;
    }
    *context.out << "已索引 " << count << " 张光盘\n";
    return 0;
}

} // namespace

int runIndex(const Context& context, const std::vector<std::string>& args)
{
    if (args.size() == 1 && args[0] == "status") {
        return indexStatus(context);
    }
    if (args.size() == 1 && args[0] == "rebuild") {
        return indexRebuild(context);
    }
    throw CommandError{IndexUsage};
}

int runSearch(const Context& context, const std::vector<std::string>& args)
{
    search::SearchRequest request;
    request.text.content = false;
    bool anyText = false;
    bool anySwitch = false;
    bool anyDate = false;
    bool anyField = false;
    std::string textUtf8;
    bool useIndex = true;
    auto value = [&](std::size_t& i) -> const std::string& {
        if (i + 1 >= args.size()) {
            throw CommandError{std::string("缺少参数: ") + args[i] + "\n" + SearchUsage};
        }
        return args[++i];
    };
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--text") {
            textUtf8 = value(i);
            anyText = true;
        } else if (arg == "--content" || arg == "--name" || arg == "--desc" ||
                   arg == "--internal" || arg == "--only-nodes" || arg == "--pinyin") {
            bool& on = arg == "--content"      ? request.text.content
                       : arg == "--name"       ? request.text.name
                       : arg == "--desc"       ? request.text.description
                       : arg == "--internal"   ? request.text.internal
                       : arg == "--only-nodes" ? request.text.onlyNodes
                                               : request.text.pinyin;
            on = true;
            anySwitch = true;
        } else if (arg == "--date-between") {
            request.date.between = true;
            request.date.first = parseDate(value(i));
            request.date.second = parseDate(value(i));
            anyDate = true;
        } else if (arg == "--age") {
            const std::string& age = value(i);
            if (age.size() != 1 || age[0] < '0' || age[0] > '4') {
                throw CommandError{"--age 应为 0 到 4: " + age};
            }
            request.date.between = false;
            request.date.age = static_cast<search::AgeRange>(age[0] - '0');
            anyDate = true;
        } else if (arg == "--field") {
            setField(request.fields, value(i));
            anyField = true;
        } else if (arg == "--scope") {
            request.scope.push_back(scopeEntry(context, value(i)));
        } else if (arg == "--no-index") {
            useIndex = false;
        } else {
            throw CommandError{"未知的参数: " + arg + "\n" + SearchUsage};
        }
    }
    if (int(anyText || anySwitch) + int(anyDate) + int(anyField) != 1) {
        throw CommandError{
            std::string("请给出一种查找: --text, --date-between/--age 或 --field\n") + SearchUsage};
    }
    if (anyText || anySwitch) {
        if (!anyText) {
            throw CommandError{"没有查找文字！"};
        }
        request.kind = search::SearchKind::Text;
        request.text.searchTextGbk = gbkText(textUtf8);
        request.text.termsGbk = search::SplitTerms(request.text.searchTextGbk);
        if (request.text.termsGbk.empty()) {
            throw CommandError{"输入的查找条件不合法！"};
        }
        const search::TextCriteria& t = request.text;
        if (t.onlyNodes && (t.name || t.description || t.internal)) {
            throw CommandError{"--only-nodes 只能与 --content 一起使用"};
        }
        if (t.onlyNodes || !(t.name || t.description || t.internal)) {
            request.text.content = true;
        }
    } else if (anyDate) {
        request.kind = search::SearchKind::Date;
        const platform::LocalDateTime now = context.clock->now();
        request.date.today = now;
    } else {
        request.kind = search::SearchKind::Advanced;
    }
    if (request.scope.empty()) {
        request.scope.push_back(
            {std::string(catalog::LibraryRootCaption), search::ScopeKind::Library});
    }
    const auto redundant = search::RedundantEntries(request.scope);
    for (auto it = redundant.rbegin(); it != redundant.rend(); ++it) {
        request.scope.erase(request.scope.begin() + static_cast<std::ptrdiff_t>(*it));
    }

    CliProgress progress;
    const std::string indexFolder = libraryIndexFolder(context);
    const auto index =
        useIndex ? search::SearchIndex::open(indexFolder, context.libraryRoot) : nullptr;
    request.index = index.get();
    search::SearchOutcome outcome = search::RunSearch(context.libraryRoot, request, progress);
    const int status = reportOutcome(context, outcome);
    // The answer is out before the index reads again what it found changed.
    context.out->flush();
    context.err->flush();
    refreshQuietly(indexFolder, context.libraryRoot, outcome);
    return status;
}

} // namespace cli
