// Adding to the library from the command line: scanning a disc into a new record, new
// boxes, and the descriptions of a record and of its nodes.

#include "catalog/cdinfo.h"
#include "catalog/disk.h"
#include "catalog/library.h"
#include "catalog/record_files.h"
#include "catalog/record_set.h"
#include "catalog/text.h"
#include "catalog/tree.h"
#include "cli/commands.h"
#include "platform/clock.h"
#include "platform/linux/folder_disc_source.h"
#include "platform/linux/keyfile_settings_store.h"
#include "platform/linux/linux_drives.h"
#include "platform/linux/xdg_paths.h"
#include "scan/scanner.h"

#include <malloc.h>

#include <algorithm>
#include <csignal>
#include <optional>
#include <ostream>
#include <thread>

namespace cli {
namespace {

namespace linux_edition = platform::linux_edition;

// Ctrl+C ends a scan the way the dialog's abort button does: nothing is written, so no
// record is left with a listing and without its icons.
class QuietProgress : public scan::ScanProgress
{
public:
    void showPath(const std::string&) override {}
    bool showsPaths() const override { return false; }
    bool aborted() override { return InterruptScope::requested(); }
};

const char* const ScanUsage = "用法: vellumark-cli scan --drive 盘符 --box 光盘盒路径 --name 名称 "
                              "[--depth 层数] [--mask \"*.EXE;*.TXT;\"] [--attrs arsh]";

struct ScanRequest
{
    char letter = 0;
    std::optional<std::string> boxUtf8;
    std::string nameUtf8;
    std::optional<scan::ScanOptions> filtered;
};

scan::ScanOptions& optionsOf(ScanRequest& request)
{
    if (!request.filtered) {
        request.filtered.emplace();
    }
    return *request.filtered;
}

ScanRequest parseScan(const std::vector<std::string>& args)
{
    ScanRequest request;
    if (args.size() % 2 != 0) {
        throw CommandError{ScanUsage};
    }
    for (std::size_t i = 0; i < args.size(); i += 2) {
        const std::string& option = args[i];
        const std::string& value = args[i + 1];
        if (option == "--drive") {
            request.letter = parseLetter(value);
        } else if (option == "--box") {
            request.boxUtf8 = value;
        } else if (option == "--name") {
            request.nameUtf8 = value;
        } else if (option == "--depth") {
            if (value.size() != 1 || value[0] < '1' || value[0] > '5') {
                throw CommandError{"提取层数必须是 1 到 5: " + value};
            }
            optionsOf(request).depthLimit = value[0] - '0';
        } else if (option == "--mask") {
            optionsOf(request).mask = value;
        } else if (option == "--attrs") {
            unsigned bits = 0;
            for (const char c : value) {
                switch (c) {
                case 'a':
                    bits |= scan::AttrArchive;
                    break;
                case 'r':
                    bits |= scan::AttrReadOnly;
                    break;
                case 's':
                    bits |= scan::AttrSystem;
                    break;
                case 'h':
                    bits |= scan::AttrHidden;
                    break;
                default:
                    throw CommandError{"文件属性只能由 a, r, s, h 组成: " + value};
                }
            }
            // No box ticked counts as {normal}, as in the dialog.
            optionsOf(request).attributes = bits != 0 ? bits : scan::AttrNormal;
        } else {
            throw CommandError{ScanUsage};
        }
    }
    if (request.letter == 0 || !request.boxUtf8 || request.nameUtf8.empty()) {
        throw CommandError{ScanUsage};
    }
    return request;
}

// The CD name as GBK, under the rules of the add dialog and of new boxes; a name must also
// be one file name that GBK can hold.
std::string cdNameGbk(const std::string& nameUtf8)
{
    if (!catalog::isValidUtf8(nameUtf8)) {
        throw CommandError{"光盘名称不是有效的 UTF-8 文本"};
    }
    std::string nameGbk = gbkText(nameUtf8);
    // Line breaks and other control characters cannot be typed into the dialog's field.
    const bool control = std::any_of(nameGbk.begin(), nameGbk.end(),
                                     [](char c) { return static_cast<unsigned char>(c) < 0x20; });
    // Blank names, "." and ".." are refused as well.
    if (control || catalog::CheckName(nameGbk) != catalog::NameCheck::Accepted) {
        throw CommandError{lineFeeds(catalog::NameRefusalMessage(catalog::NameUse::Cd))};
    }
    return nameGbk;
}

platform::DriveKind driveKind(const linux_edition::LinuxDrives& drives, char letter)
{
    for (const platform::DriveInfo& drive : drives.cdromDrives()) {
        if (drive.letter == letter) {
            return drive.kind;
        }
    }
    return platform::DriveKind::Optical;
}

} // namespace

int runScan(const Context& context, const std::vector<std::string>& args)
{
    // A scan builds a line per entry and grows its lists by doubling. Freed blocks that stay
    // in the heap are reused by the next lines instead of fresh pages faulted in: a seventh
    // of the time of a large scan.
    ::mallopt(M_MMAP_THRESHOLD, 256 << 20);
    const ScanRequest request = parseScan(args);
    const std::vector<std::string> box = splitLibraryPath(*request.boxUtf8);
    const std::string folder = boxForNewEntries(context, box, box.size(), *request.boxUtf8);
    const catalog::RecordRef record{folder, cdNameGbk(request.nameUtf8)};

    const linux_edition::KeyFileSettingsStore settings(linux_edition::settingsFile());
    const linux_edition::LinuxDrives drives(settings);
    const std::string driveText = std::string(1, request.letter) + ":";
    if (!drives.isCdromDrive(request.letter)) {
        throw CommandError{driveText + " 不是光驱!"};
    }
    // A damaged image says what is wrong with it instead of asking for a disc.
    const auto noDisc = [&] {
        const std::string problem = drives.discProblem(request.letter);
        return CommandError{problem.empty() ? "没有光盘在 " + driveText + " 驱里!"
                                            : driveText + " 的映像已损坏: " + problem};
    };
    if (!drives.discPresent(request.letter)) {
        throw noDisc();
    }
    const std::string nameTaken = "已有光盘:" + request.nameUtf8 + "!请另取一名称!";
    if (catalog::RecordNameTaken(folder, record.name)) {
        throw CommandError{nameTaken};
    }
    const std::unique_ptr<platform::DiscSource> disc = drives.openDisc(request.letter);
    if (!disc) {
        throw noDisc();
    }

    // A folder drive's capacity is the sum of its files. The standard scan lists every folder
    // anyway and gathers the sizes on its way; otherwise a walk of its own runs beside the
    // scan. The drive table is only read by that thread.
    auto* folderDisc = dynamic_cast<linux_edition::FolderDiscSource*>(disc.get());
    const bool sizedByScan = folderDisc != nullptr && !request.filtered &&
                             driveKind(drives, request.letter) == platform::DriveKind::Folder;
    if (sizedByScan) {
        folderDisc->countRegularBytes();
    }
    std::optional<std::uint64_t> capacity;
    std::thread sizing;
    if (!sizedByScan) {
        sizing = std::thread([&] {
            try {
                capacity = drives.discTotalSize(request.letter);
            } catch (const std::exception&) {
                capacity.reset(); // unknown: the field stays empty
            }
        });
    }
    const auto joinSizing = [&sizing] {
        if (sizing.joinable()) {
            sizing.join();
        }
    };
    const InterruptScope interrupts;
    scan::ScanRun run;
    try {
        QuietProgress progress;
        run = scan::RunScan(*disc, request.letter, request.filtered, record, progress);
    } catch (...) {
        joinSizing();
        throw;
    }
    joinSizing();
    if (sizedByScan) {
        capacity = folderDisc->regularBytesCounted();
    }
    switch (run.ending) {
    case scan::ScanEnding::Aborted:
        throw CommandError{"已中止新增光盘, 什么也没有保存"};
    case scan::ScanEnding::NothingMatched:
        throw CommandError{"这张光盘找不到匹配你要求的文件！！！"};
    case scan::ScanEnding::NameTaken: // by another writer while this disc was read
        throw CommandError{nameTaken};
    case scan::ScanEnding::Saved:
        break;
    }
    catalog::WriteDescription(record, "");
    catalog::TCDInfo info = catalog::DefaultCDInfo(nowAsDayNumber(*context.clock));
    if (capacity) {
        info.cdmoney = catalog::decimal(static_cast<long long>(*capacity));
    }
    catalog::WriteCDInfo(record, info);

    *context.out << catalog::TotalsText(run.totals) << '\n';
    if (run.renamed > 0) {
        *context.out << "有" << run.renamed << "个名称含有无法保存的字符，已改为?\n";
    }
    return 0;
}

int runMkbox(const Context& context, const std::vector<std::string>& args)
{
    if (args.size() != 1) {
        throw CommandError{"用法: vellumark-cli mkbox 光盘盒路径"};
    }
    const std::vector<std::string> names = splitLibraryPath(args[0]);
    if (names.empty()) {
        throw CommandError{"用法: vellumark-cli mkbox 光盘盒路径"};
    }
    const std::string parent = boxForNewEntries(context, names, names.size() - 1, args[0]);
    switch (catalog::CreateBox(parent, names.back())) {
    case catalog::NewBox::Created:
    case catalog::NewBox::Dropped: // a blank name: nothing to make, as in the box tree
        return 0;
    case catalog::NewBox::Refused:
        throw CommandError{lineFeeds(catalog::NameRefusalMessage(catalog::NameUse::BoxInTree))};
    case catalog::NewBox::Exists:
        throw CommandError{catalog::BoxExistsMessage(names.back())};
    }
    return 1;
}

int runDescribeCommand(const Context& context, const std::vector<std::string>& args)
{
    if (args.size() != 3 || args[1] != "--set") {
        return runDescribe(context, args);
    }
    const catalog::RecordRef record = locateCd(context, args[0]);
    std::vector<std::string> lines;
    const std::string textGbk = gbkText(args[2]);
    for (const auto line : catalog::SplitLines(textGbk)) {
        lines.emplace_back(line);
    }
    catalog::WriteDescription(record, catalog::JoinLines(lines));
    return 0;
}

int runNote(const Context& context, const std::vector<std::string>& args)
{
    if (args.size() != 3) {
        throw CommandError{"用法: vellumark-cli note 光盘 节点路径 描述"};
    }
    const catalog::RecordRef record = locateCd(context, args[0]);
    if (catalog::trimBlanks(args[2]).empty()) {
        throw CommandError{"描述不能为空"};
    }
    const std::string pathGbk = nodePathGbk(args[1]);
    // Only nodes of the record are described: a key for a missing node would never show.
    catalog::Tree tree;
    catalog::LoadRecordTree(record, catalog::RecordExt::Cdr, tree);
    if (catalog::FindNodeByPath(tree, pathGbk) == catalog::NoNode) {
        throw CommandError{"光盘中找不到: " + args[1]};
    }
    const std::string noteGbk = gbkText(args[2]);
    catalog::UpdateNodeNotes(record,
                             [&](catalog::NodeNotes& notes) { notes.set(pathGbk, noteGbk); });
    return 0;
}

} // namespace cli
