// Import, backup and the icon rebuild from the command line, through the same core as
// the window. The questions of the window are the caller's: the commands act at once.

#include "catalog/box_tree.h"
#include "catalog/disk.h"
#include "catalog/text.h"
#include "cli/commands.h"
#include "cli/progress.h"
#include "maintenance/maintenance.h"

#include <ostream>
#include <stdexcept>

namespace cli {
namespace {

std::string existingFolder(const std::vector<std::string>& args, const char* usage)
{
    if (args.size() != 1) {
        throw CommandError{std::string("用法: vellumark-cli ") + usage};
    }
    if (!catalog::IsFolder(args[0])) {
        throw CommandError{"找不到文件夹: " + args[0]};
    }
    return catalog::WithSlash(args[0]);
}

// No bar to draw, no counting walk ahead of the copy.
maintenance::CopyHooks progressHooks(ProgressBar& progress)
{
    maintenance::CopyHooks hooks;
    if (!progress.shown()) {
        return hooks;
    }
    hooks.counted = [&progress](long long total) { progress.setTotal(total); };
    hooks.advanced = [&progress] { progress.advance(); };
    return hooks;
}

// Items left out for their names, then the files that could not be copied.
int reportCopy(const Context& context, const maintenance::CopyCounts& counts,
               const std::string& doneUtf8)
{
    if (!counts.skippedUtf8.empty()) {
        *context.err << "以下项目的名称不能以 GBK 保存, 已跳过:\n";
        for (const auto& path : counts.skippedUtf8) {
            *context.err << path << '\n';
        }
    }
    if (counts.filesNotCopied > 0) {
        *context.err << "有 " << counts.filesNotCopied << " 个文件未能复制！\n";
        *context.out << "已复制 " << counts.filesCopied << " 个文件\n";
        return 1;
    }
    *context.out << doneUtf8 << "\n已复制 " << counts.filesCopied << " 个文件\n";
    return 0;
}

} // namespace

int runImport(const Context& context, const std::vector<std::string>& args)
{
    const std::string source = existingFolder(args, "import 文件夹");
    if (maintenance::ImportRefused(context.libraryRoot, source)) {
        throw CommandError{maintenance::ImportRefusalMessage()};
    }
    ProgressBar progress(*context.err);
    maintenance::CopyCounts counts;
    try {
        counts = maintenance::ImportRecords(context.libraryRoot, source, progressHooks(progress));
    } catch (const catalog::FileError&) {
        progress.clear();
        throw;
    }
    progress.clear();
    return reportCopy(context, counts, "导入完成");
}

int runBackup(const Context& context, const std::vector<std::string>& args)
{
    const std::string target = existingFolder(args, "backup 文件夹");
    if (maintenance::BackupRefused(context.libraryRoot, target)) {
        throw CommandError{maintenance::BackupRefusalMessage()};
    }
    ProgressBar progress(*context.err);
    maintenance::BackupCounts counts;
    try {
        counts = maintenance::BackupLibrary(context.libraryRoot, target, progressHooks(progress));
    } catch (const catalog::FileError&) {
        progress.clear();
        throw;
    }
    progress.clear();
    if (counts.namesInUtf8) {
        *context.err << "目标不接受 GBK 文件名, 文件名以 UTF-8 保存\n";
    }
    return reportCopy(context, counts, "备份完成！请妥善保存！");
}

int runRebuildIcons(const Context& context, const std::vector<std::string>& args)
{
    if (args.size() > 1) {
        throw CommandError{"用法: vellumark-cli rebuild-icons [光盘盒路径]"};
    }
    const BoxLocation box = locateBox(context, args.empty() ? std::string() : args[0]);
    ProgressBar progress(
        *context.err,
        catalog::CountBoxEntries(box.folder, catalog::CountMode::Records, true).records);
    const InterruptScope interrupts;
    maintenance::RebuildHooks hooks;
    hooks.aborted = [] { return InterruptScope::requested(); };
    hooks.advanced = [&progress] { progress.advance(); };
    maintenance::RebuildCounts counts;
    try {
        counts = maintenance::RebuildIconsUnder(box.folder, hooks);
    } catch (const catalog::FileError&) {
        progress.clear();
        throw;
    }
    progress.clear();
    for (const auto& skipped : counts.skippedUtf8) {
        *context.err << skipped << '\n';
    }
    if (counts.aborted) {
        *context.err << "重建图标已中止, 已重建 " << counts.rebuilt << " 张光盘\n";
        return 1;
    }
    *context.out << lineFeeds(maintenance::RebuildDoneMessage(counts)) << '\n';
    return counts.skippedUtf8.empty() ? 0 : 1;
}

} // namespace cli
