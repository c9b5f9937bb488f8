// Writing CD trees out from the command line: one record as a text file or an HTML
// document, and every CD of a box into a folder, through the same core as the window.

#include "catalog/record_set.h"
#include "catalog/box_tree.h"
#include "catalog/disk.h"
#include "catalog/library.h"
#include "catalog/text.h"
#include "cli/commands.h"
#include "cli/progress.h"
#include "output/output.h"

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <iostream>
#include <optional>
#include <ostream>

namespace cli {
namespace {

struct OutputArguments
{
    std::vector<std::string> paths;
    output::Style style = output::Style::Text;
};

// Two paths and exactly one of --text and --html, in any order.
OutputArguments parseOutputArguments(const std::vector<std::string>& args, const char* usage)
{
    OutputArguments parsed;
    std::optional<output::Style> style;
    for (const auto& arg : args) {
        if (arg == "--text" || arg == "--html") {
            if (style) {
                throw CommandError{std::string("用法: vellumark-cli ") + usage};
            }
            style = arg == "--html" ? output::Style::Html : output::Style::Text;
        } else {
            parsed.paths.push_back(arg);
        }
    }
    if (!style || parsed.paths.size() != 2) {
        throw CommandError{std::string("用法: vellumark-cli ") + usage};
    }
    parsed.style = *style;
    return parsed;
}

// A CD of the library as the user names it: its box path and name, without extension,
// joined by backslashes (UTF-8, printable).
std::string recordShown(const Context& context, const std::string& listingPath)
{
    std::string relative = listingPath.substr(context.libraryRoot.size());
    relative.resize(relative.size() - 4);
    for (char& c : relative) {
        if (c == '/') {
            c = '\\';
        }
    }
    return visibleName(catalog::gbkToUtf8(relative));
}

// Output documents are named in UTF-8 already.
std::string fileNameShown(const std::string& path)
{
    return visibleName(path.substr(path.rfind('/') + 1));
}

// The listing a record, a found folder or a found CD is written from.
std::string listingOf(const Context& context, const std::string& recordUtf8)
{
    const RecordLocation record = locateRecord(context, recordUtf8);
    std::string listing =
        catalog::FindRecordFile(record.ref.folder, record.ref.name, record.listingExt);
    if (listing.empty()) {
        throw CommandError{"找不到光盘: " + recordUtf8};
    }
    return listing;
}

// vellumark-print, built with the window, stands beside this program in the build tree;
// installed, it is a helper in libexec/vellumark/ beside bin/.
std::string printProgram()
{
    std::string self(4096, '\0');
    const ssize_t length = ::readlink("/proc/self/exe", self.data(), self.size());
    if (length <= 0 || static_cast<std::size_t>(length) >= self.size()) {
        return {};
    }
    self.resize(static_cast<std::size_t>(length));
    const std::string folder = self.substr(0, self.rfind('/') + 1);
    const std::string beside = folder + "vellumark-print";
    const std::string installed = folder + "../libexec/vellumark/vellumark-print";
    return !catalog::PathExists(beside) && catalog::PathExists(installed) ? installed : beside;
}

} // namespace

int runPrint(const Context& context, const std::vector<std::string>& args)
{
    const char* usage = "用法: vellumark-cli print 光盘 [--printer 打印机]";
    std::string record;
    std::string printer;
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--printer" && i + 1 < args.size() && printer.empty()) {
            printer = args[++i];
        } else if (record.empty() && !args[i].starts_with("--")) {
            record = args[i];
        } else {
            throw CommandError{usage};
        }
    }
    if (record.empty()) {
        throw CommandError{usage};
    }
    const std::string listing = listingOf(context, record);
    const std::string program = printProgram();
    if (program.empty() || ::access(program.c_str(), X_OK) != 0) {
        throw CommandError{"不能打印: 没有找到 vellumark-print (它随窗口程序一起构建)"};
    }
    std::vector<std::string> words = {program, listing};
    if (!printer.empty()) {
        words.insert(words.end(), {"--printer", printer});
    }
    std::vector<char*> argv;
    for (auto& word : words) {
        argv.push_back(word.data());
    }
    argv.push_back(nullptr);
    // The printing program tells its own reasons on the standard error it shares with us.
    context.err->flush();
    pid_t child = 0;
    if (::posix_spawn(&child, program.c_str(), nullptr, nullptr, argv.data(), environ) != 0) {
        throw CommandError{"不能打印: vellumark-print 无法启动"};
    }
    int status = 0;
    while (::waitpid(child, &status, 0) < 0) {
        if (errno != EINTR) {
            throw CommandError{"不能打印: vellumark-print 无法启动"};
        }
    }
    return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? 0 : 1;
}

int runExport(const Context& context, const std::vector<std::string>& args)
{
    std::vector<std::string> rest;
    bool replace = false;
    for (const auto& arg : args) {
        if (arg == "--yes" && !replace) {
            replace = true;
        } else {
            rest.push_back(arg);
        }
    }
    const OutputArguments parsed =
        parseOutputArguments(rest, "export 光盘 --text|--html 文件 [--yes]");
    const std::string listing = listingOf(context, parsed.paths[0]);
    // A file already there may be the user's own: only a script that says so replaces it.
    if (!replace && catalog::PathExists(parsed.paths[1])) {
        throw CommandError{"文件已存在: " + parsed.paths[1] + " (用 --yes 替换它)"};
    }
    // The file is written as named: a script chose it, no extension is added.
    if (parsed.style == output::Style::Html) {
        output::WriteTreeHtml(listing, parsed.paths[1]);
    } else {
        output::WriteTreeText(listing, parsed.paths[1]);
    }
    return 0;
}

int runExportBox(const Context& context, const std::vector<std::string>& args)
{
    const OutputArguments parsed =
        parseOutputArguments(args, "export-box 光盘盒路径 文件夹 --text|--html");
    const BoxLocation box = locateBox(context, parsed.paths[0]);
    std::string outputFolder = parsed.paths[1];
    if (!catalog::IsFolder(outputFolder)) {
        throw CommandError{"指定的目标文件夹不存在！"};
    }
    if (outputFolder.back() != '/') {
        outputFolder += '/';
    }

    const long long total =
        catalog::CountBoxEntries(box.folder, catalog::CountMode::Records, true).records;
    ProgressBar progress(*context.err, total);
    std::vector<std::string> failures;
    const InterruptScope interrupts;
    output::BatchHooks hooks;
    hooks.aborted = [] { return InterruptScope::requested(); };
    hooks.advanced = [&progress] { progress.advance(); };
    hooks.written = [&](const std::string& listingPath, const std::string& outputPath) {
        progress.clear();
        *context.out << recordShown(context, listingPath) << '\t' << fileNameShown(outputPath)
                     << '\n';
        if (progress.shown()) {
            context.out->flush();
        }
    };
    hooks.failed = [&](const std::string& listingPath, const std::string& errorUtf8) {
        failures.push_back(recordShown(context, listingPath) + ": " + errorUtf8);
    };

    const auto reportFailures = [&] {
        progress.clear();
        context.out->flush();
        if (!failures.empty()) {
            *context.err << "以下 " << failures.size() << " 张光盘未能输出:\n";
            for (const auto& failure : failures) {
                *context.err << failure << '\n';
            }
        }
    };
    output::BatchResult result;
    try {
        result = output::OutputBoxTree(
            box.folder, outputFolder,
            parsed.style == output::Style::Html ? output::BatchType::Html : output::BatchType::Text,
            hooks);
    } catch (const catalog::FileError&) {
        reportFailures();
        throw;
    }
    reportFailures();
    if (result.aborted) {
        *context.err << "输出已中止\n";
        return 1;
    }
    return result.failed.empty() ? 0 : 1;
}

} // namespace cli
