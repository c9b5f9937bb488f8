// Other programs' catalogues from the command line: a file read into CDs of a box, and
// the CDs under a box written out as a CSV table.

#include "catalog/disk.h"
#include "catalog/library.h"
#include "catalog/record_files.h"
#include "catalog/text.h"
#include "cli/commands.h"
#include "migrate/export_csv.h"
#include "migrate/import.h"
#include "migrate/input.h"
#include "migrate/pipeline.h"
#include "migrate/readers.h"

#include <malloc.h>

#include <filesystem>
#include <optional>
#include <ostream>

namespace cli {
namespace {

const char* const ImportUsage =
    "用法: vellumark-cli import-catalog 文件 --box 光盘盒路径 "
    "[--format whereisit-xml|whereisit-csv|vvv|cdcat|list] [--name 名称] [--root 盘符] "
    "[--dry-run] [--yes]";

struct ImportRequest
{
    std::string fileUtf8;
    std::optional<std::string> boxUtf8;
    std::optional<migrate::Format> format;
    std::optional<std::string> nameUtf8;
    char letter = 'E';
    bool dryRun = false;
    bool yes = false;
};

ImportRequest parseImport(const std::vector<std::string>& args)
{
    ImportRequest request;
    bool haveFile = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        const bool valued = i + 1 < args.size();
        if (arg == "--dry-run") {
            request.dryRun = true;
        } else if (arg == "--yes") {
            request.yes = true;
        } else if (arg == "--box" && valued) {
            request.boxUtf8 = args[++i];
        } else if (arg == "--name" && valued) {
            request.nameUtf8 = args[++i];
        } else if (arg == "--root" && valued) {
            request.letter = parseLetter(args[++i]);
        } else if (arg == "--format" && valued) {
            request.format = migrate::FormatNamed(args[++i]);
            if (!request.format) {
                throw CommandError{"未知的格式: " + args[i] + "\n" + ImportUsage};
            }
        } else if (!haveFile && !arg.starts_with("--")) {
            request.fileUtf8 = arg;
            haveFile = true;
        } else {
            throw CommandError{ImportUsage};
        }
    }
    // A dry run writes nothing and may leave the box out: the library root is checked.
    if (!haveFile || (!request.boxUtf8 && !request.dryRun)) {
        throw CommandError{ImportUsage};
    }
    return request;
}

// Prints the problems not printed yet.
class ProblemPrinter
{
public:
    explicit ProblemPrinter(std::ostream& err) : m_err(err) {}
    void print(const std::vector<std::string>& problemsUtf8)
    {
        for (; m_printed < problemsUtf8.size(); ++m_printed) {
            m_err << visibleName(problemsUtf8[m_printed]) << '\n';
        }
    }
    bool any() const { return m_printed > 0; }

private:
    std::ostream& m_err;
    std::size_t m_printed = 0;
};

} // namespace

int runImportCatalog(const Context& context, const std::vector<std::string>& args)
{
    // Each disc's tree is built of many small blocks and freed again: kept in the heap,
    // the next disc reuses them instead of pages handed back and faulted in again.
    ::mallopt(M_MMAP_THRESHOLD, 256 << 20);
    const ImportRequest request = parseImport(args);
    migrate::ImportTarget target;
    target.letter = request.letter;
    target.dryRun = request.dryRun;
    target.now = nowAsDayNumber(*context.clock);
    const std::vector<std::string> box = splitLibraryPath(request.boxUtf8.value_or(""));
    target.boxFolder = boxForNewEntries(context, box, box.size(), request.boxUtf8.value_or(""));
    target.boxTextGbk = box.empty() ? std::string(catalog::LibraryRootCaption) : box.back();
    // Nobody is there to answer: --yes replaces, and the question says what was done.
    target.overwrite = [&](const std::string& questionUtf8) {
        *context.err << lineFeeds(questionUtf8) << ' ' << (request.yes ? "是" : "否") << '\n';
        return request.yes;
    };

    std::optional<migrate::Input> input;
    migrate::Format format = migrate::Format::List;
    try {
        input.emplace(request.fileUtf8);
        format = request.format ? *request.format : migrate::DetectFormat(*input, request.fileUtf8);
    } catch (const migrate::ReadError& error) {
        throw CommandError{error.messageUtf8};
    }
    if (request.nameUtf8 && format != migrate::Format::List) {
        throw CommandError{"--name 只用于路径列表 (list) 格式: 其他格式的文件自带光盘名称"};
    }
    const std::string listName =
        request.nameUtf8.value_or(std::filesystem::path(request.fileUtf8).stem().string());

    migrate::Importer importer(target);
    const InterruptScope interrupts;
    // Called on the import's thread, which alone writes to the terminal meanwhile.
    const migrate::ImportRun run = migrate::ImportCatalogue(
        *input, format, listName, importer,
        [&](const migrate::DiscResult& result, const std::vector<std::string>& problemsUtf8) {
            for (const std::string& problem : problemsUtf8) {
                *context.err << visibleName(problem) << '\n';
            }
            if (result.outcome != migrate::DiscOutcome::Refused &&
                result.outcome != migrate::DiscOutcome::Kept) {
                *context.out << visibleName(result.nameUtf8) << '\t'
                             << catalog::TotalsText(result.totals) << '\n';
            }
        },
        [] { return InterruptScope::requested(); });
    ProblemPrinter problems(*context.err);
    problems.print(run.notes.problemsUtf8);
    if (run.notes.sizesOrDates) {
        *context.out << "文件中的大小和日期不在光盘记录中保存, 已略去\n";
    }
    if (run.failureUtf8) {
        *context.err << "读取 " << request.fileUtf8
                     << " 出错, 其后的部分未导入: " << *run.failureUtf8 << '\n';
    }
    if (run.stopped) {
        *context.err << "已中止导入\n";
    }
    *context.out << (request.dryRun ? "试读 " : "已导入 ") << run.discs << " 张光盘"
                 << (request.dryRun ? ", 什么也没有写入" : "") << '\n';
    // Rows the reader left out count like discs refused; renamed names do not.
    return run.failureUtf8 || run.discsRefused || !run.notes.problemsUtf8.empty() || run.stopped
               ? 1
               : 0;
}

int runExportCsv(const Context& context, const std::vector<std::string>& args)
{
    const bool replace = args.size() == 3 && args[2] == "--yes";
    if (args.size() != 2 && !replace) {
        throw CommandError{"用法: vellumark-cli export-csv 光盘盒路径 文件 [--yes]"};
    }
    const BoxLocation box = locateBox(context, args[0]);
    if (!replace && std::filesystem::exists(args[1])) {
        throw CommandError{"文件已存在: " + args[1] + " (用 --yes 替换它)"};
    }
    const migrate::CsvExport result =
        migrate::ExportBoxCsv(context.libraryRoot, box.folder, args[1]);
    for (const std::string& cd : result.failedUtf8) {
        *context.err << "无法读取光盘: " << visibleName(cd) << '\n';
    }
    *context.out << "已输出 " << result.cds << " 张光盘, " << result.rows << " 行\n";
    return result.failedUtf8.empty() ? 0 : 1;
}

} // namespace cli
