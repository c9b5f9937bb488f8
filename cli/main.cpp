// vellumark-cli: the catalogue library from the command line, through the same core as
// the windows. Arguments and output are UTF-8; the library itself stays GBK.

#include "catalog/disk.h"
#include "catalog/library.h"
#include "catalog/record_set.h"
#include "cli/commands.h"
#include "platform/linux/keyfile_settings_store.h"
#include "platform/linux/process_memory.h"
#include "platform/linux/system_clock.h"
#include "platform/linux/xdg_paths.h"
#include "search/index_build.h"
#include "search/index_store.h"

#include <algorithm>
#include <functional>
#include <iostream>
#include <map>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace {

// The usage, an entry per command (a few commands share one), so that COMMAND --help
// shows its own.
struct UsageEntry
{
    std::vector<std::string_view> commands;
    std::string_view text;
};

constexpr std::string_view UsageLine = "用法: vellumark-cli [--library 文件夹] 命令 [参数]\n";
constexpr std::string_view UsageOptions = R"usage(
选项:
  --library 文件夹          使用这个光盘库, 而不是设置中的光盘库
  -h, --help                显示帮助后退出; 命令 --help 只显示这个命令的帮助
  --version                 显示版本后退出
)usage";

const std::vector<UsageEntry>& usageEntries()
{
    static const std::vector<UsageEntry> entries = {
        {{"boxes"},
         R"usage(  boxes                     光盘盒树: 每个节点一行, 每层缩进两个空格
)usage"},
        {{"list"},
         R"usage(  list 光盘盒路径           光盘盒中的内容: 种类 (box, cd, found-folder, found-cd), TAB, 名称
)usage"},
        {{"counts"},
         R"usage(  counts 光盘盒路径 [--recursive]
                            状态栏中的计数文字; --recursive 给出整个分支的计数
)usage"},
        {{"show"},
         R"usage(  show 光盘                 光盘的目录树: 深度个 TAB, 名称, TAB, 图标类别; 最后一行为总数
)usage"},
        {{"info"},
         R"usage(  info 光盘                 光盘信息, 每行一项 名称=值
)usage"},
        {{"describe"},
         R"usage(  describe 光盘             光盘描述
)usage"},
        {{"notes"},
         R"usage(  notes 光盘                文件夹和文件的描述: 路径, TAB, 描述
)usage"},
        {{"drives"},
         R"usage(  drives                    光驱, 每个一行: 盘符, 种类 (optical, folder, image), 有无光盘 (yes, no),
                            卷标, 容量 (字节), 以 TAB 分隔
)usage"},
        {{"map"},
         R"usage(  map 盘符 路径             把盘符映射到文件夹, ISO 映象文件或光驱设备 (虚拟光驱)
)usage"},
        {{"unmap"},
         R"usage(  unmap 盘符                取消盘符的映射
)usage"},
        {{"identify"},
         R"usage(  identify 盘符             光驱中的光盘在光盘库中的记录: 光盘盒路径加文件名; -1 为光驱中没有光盘,
                            空行为光盘库中找不到
)usage"},
        {{"scan"},
         R"usage(  scan --drive 盘符 --box 光盘盒路径 --name 名称 [--depth 层数] [--mask 类型] [--attrs 属性]
                            读取光驱中的光盘, 存为光盘盒中的新光盘; 层数 1 到 5, 类型如
                            "*.EXE;*.TXT;", 属性由 a (存档) r (只读) s (系统) h (隐含) 组成;
                            给出其中任一项时只提取符合要求的文件
)usage"},
        {{"mkbox"},
         R"usage(  mkbox 光盘盒路径          新建光盘盒 (路径的最后一个名称), 其上层光盘盒必须存在
)usage"},
        {{"describe"},
         R"usage(  describe 光盘 --set 文字  改写光盘描述
)usage"},
        {{"note"},
         R"usage(  note 光盘 节点路径 文字   设置文件夹或文件的描述; 节点路径如 "SETUP\README.TXT\", "" 为光盘本身
)usage"},
        {{"search"},
         R"usage(  search [种类] [--scope 范围 ...]
                            查找光盘, 结果存入查找结果中的分类; 种类为以下之一:
                              --text 文字 [--content] [--name] [--desc] [--internal] [--only-nodes]
                                [--pinyin]
                                (多个文字用 \ 分割; 默认只查光盘内容; --pinyin: 字母也按
                                拼音首字母查找汉字, 如 rjgp 找到 软件光盘)
                              --date-between YYYY-MM-DD YYYY-MM-DD | --age 0..4
                                (0 一年以上, 1 两年以上, 2 一年内, 3 半年内, 4 一个月内)
                              --field 名称=值 (可重复; cdno cdowner cdbuyaddr cdother
                                cdstyle cdstat cdzl cdxz)
                            范围如 "Orlendy" (默认) 或 "Orlendy\软件光盘\工具盘"; 给出找到的光盘数
                            和分类名称, 没有找到时删除空分类; 有搜索索引时文字查找只读
                            索引不能排除的光盘 (--no-index: 逐个读取每张光盘)
)usage"},
        {{"index"},
         R"usage(  index status              搜索索引: 所在的文件夹, 记录数, 大小, 更新时间, 未索引或
                            已改变的光盘数
  index rebuild             从光盘库重建搜索索引 (在 ~/.cache/vellumark 中; 可随时删除)
)usage"},
        {{"move", "copy"},
         R"usage(  move 路径... --to 光盘盒路径 [--yes]
  copy 路径... --to 光盘盒路径 [--yes]
                            把光盘盒 (路径以 \ 或 / 结尾) 和光盘移动或复制到光盘盒中; 查找类别中
                            找到的光盘总是复制; --yes 覆盖目标中同名的光盘, 否则保留
)usage"},
        {{"rename"},
         R"usage(  rename 路径 新名称        重命名光盘盒 (路径以 \ 或 / 结尾) 或光盘
)usage"},
        {{"rename-node"},
         R"usage(  rename-node 光盘 节点路径 新名称
                            重命名光盘中的文件夹或文件; 根节点只取一位字母
)usage"},
        {{"delete"},
         R"usage(  delete 路径...            删除光盘盒, 光盘 (移到回收站), 查找类别或查找结果
)usage"},
        {{"delete-node"},
         R"usage(  delete-node 光盘 节点路径 删除光盘中的文件夹或文件及其下的一切
)usage"},
        {{"clean"},
         R"usage(  clean                     清除空的光盘盒, 给出删除的文件夹数
)usage"},
        {{"export"},
         R"usage(  export 光盘 --text|--html 文件 [--yes]
                            把光盘的目录树输出为文本文件或 HTML 文档, 文件名照原样使用
                            (不加扩展名); 已有的文件只在 --yes 时被替换
)usage"},
        {{"export-box"},
         R"usage(  export-box 光盘盒路径 文件夹 --text|--html
                            把光盘盒及其下所有光盘盒中的光盘输出到文件夹中, 同名的依次加
                            (2), (3)...; 每输出一张光盘给出一行: 光盘, TAB, 文件名
)usage"},
        {{"print"},
         R"usage(  print 光盘 [--printer 打印机]
                            在默认的 (或指定的) 打印机上打印光盘的目录树
)usage"},
        {{"import"},
         R"usage(  import 文件夹             把文件夹中的光盘导入光盘库: 子文件夹并入同名的光盘盒, 同名的光盘
                            被替换; UTF-8 的文件名转为 GBK
)usage"},
        {{"import-catalog"},
         R"usage(  import-catalog 文件 --box 光盘盒路径 [--format 格式] [--name 名称] [--root 盘符]
                            [--dry-run] [--yes]
                            把其他软件的光盘目录导入光盘盒, 每张光盘 (卷) 成为一张光盘; 格式为
                            whereisit-xml, whereisit-csv, vvv, cdcat 或 list (路径列表, 光盘名称
                            为 --name, 默认为文件名), 默认按内容识别; 盘符默认为 E; --dry-run 只
                            列出光盘, 节点数和问题, 什么也不写; --yes 替换同名的光盘, 否则保留
)usage"},
        {{"export-csv"},
         R"usage(  export-csv 光盘盒路径 文件 [--yes]
                            把光盘盒及其下所有光盘的每个节点输出为 CSV 表格 (UTF-8, 各栏为
                            Volume,Path,Name,Size,Ext,Last modified,Description); 已有的文件只在
                            --yes 时被替换
)usage"},
        {{"backup"},
         R"usage(  backup 文件夹             把光盘库备份到文件夹中的 Orlendy 文件夹; 目标不接受 GBK 文件名时
                            以 UTF-8 命名
)usage"},
        {{"rebuild-icons"},
         R"usage(  rebuild-icons [光盘盒路径]
                            重建光盘盒 (默认为整个光盘库) 中所有光盘的图标文件
)usage"},
    };
    return entries;
}

constexpr std::string_view UsageNotes = R"usage(
光盘盒路径由名称和反斜杠 (或 /) 组成, 例如 "软件光盘\游戏"; "" 为光盘库本身,
"查找结果" 为查找结果文件夹。光盘为光盘盒路径加光盘名称, 例如 "软件光盘\工具盘"。
)usage";

std::string usage()
{
    std::string text = std::string(UsageLine) + std::string(UsageOptions) + "\n命令:\n";
    for (const auto& entry : usageEntries()) {
        text += entry.text;
    }
    return text + std::string(UsageNotes);
}

// The entries that describe command; empty for no command.
std::string commandUsage(std::string_view command)
{
    std::string text;
    for (const auto& entry : usageEntries()) {
        if (std::find(entry.commands.begin(), entry.commands.end(), command) !=
            entry.commands.end()) {
            text += entry.text;
        }
    }
    return text.empty() ? text : std::string(UsageLine) + "\n" + text + std::string(UsageNotes);
}

using Command = std::function<int(const cli::Context&, const std::vector<std::string>&)>;

const std::map<std::string, Command>& commands()
{
    static const std::map<std::string, Command> table{
        {"boxes", cli::runBoxes},
        {"list", cli::runList},
        {"counts", cli::runCounts},
        {"show", cli::runShow},
        {"info", cli::runInfo},
        {"describe", cli::runDescribeCommand},
        {"notes", cli::runNotes},
        {"drives", cli::runDrives},
        {"map", cli::runMap},
        {"unmap", cli::runUnmap},
        {"identify", cli::runIdentify},
        {"scan", cli::runScan},
        {"mkbox", cli::runMkbox},
        {"note", cli::runNote},
        {"search", cli::runSearch},
        {"index", cli::runIndex},
        {"move", cli::runMove},
        {"copy", cli::runCopy},
        {"rename", cli::runRename},
        {"rename-node", cli::runRenameNode},
        {"delete", cli::runDelete},
        {"delete-node", cli::runDeleteNode},
        {"clean", cli::runClean},
        {"export", cli::runExport},
        {"export-box", cli::runExportBox},
        {"print", cli::runPrint},
        {"import", cli::runImport},
        {"import-catalog", cli::runImportCatalog},
        {"export-csv", cli::runExportCsv},
        {"backup", cli::runBackup},
        {"rebuild-icons", cli::runRebuildIcons},
    };
    return table;
}

bool isHelp(const std::string& arg)
{
    return arg == "--help" || arg == "-h";
}

std::string resolveRoot(const std::string& libraryOption)
{
    if (!libraryOption.empty()) {
        const std::string root = catalog::WithSlash(libraryOption);
        if (!catalog::IsFolder(root)) {
            throw cli::CommandError{"光盘库不存在: " + libraryOption};
        }
        return root;
    }
    namespace linux_edition = platform::linux_edition;
    const linux_edition::KeyFileSettingsStore settings(linux_edition::settingsFile());
    return catalog::ResolveLibraryRoot(settings, linux_edition::defaultLibraryRoot());
}

// The folders whose records a command wrote: read again into the search index after it.
class ChangedFolders : public catalog::RecordObserver
{
public:
    ChangedFolders() { catalog::SetRecordObserver(this); }
    ~ChangedFolders() override { catalog::SetRecordObserver(nullptr); }
    ChangedFolders(const ChangedFolders&) = delete;
    ChangedFolders& operator=(const ChangedFolders&) = delete;

    void recordChanged(const std::string& folder, std::string_view) override
    {
        m_folders.insert(folder);
    }

    // The index is a cache: one that cannot be written costs speed, never a result.
    void refreshIndex(const std::string& libraryRoot) const
    {
        if (m_folders.empty() || libraryRoot.empty()) {
            return;
        }
        try {
            search::RefreshFolders(
                search::IndexFolderOf(platform::linux_edition::cacheFolder(), libraryRoot),
                libraryRoot, {m_folders.begin(), m_folders.end()});
        } catch (const std::exception&) {
        }
    }

private:
    std::set<std::string> m_folders;
};

} // namespace

int main(int argc, char** argv)
{
    platform::linux_edition::KeepFreedMemory();
    std::vector<std::string> args(argv + 1, argv + argc);
    std::string libraryOption;
    if (args.size() >= 2 && args[0] == "--library") {
        libraryOption = args[1];
        args.erase(args.begin(), args.begin() + 2);
    }
    if (args.empty() || isHelp(args[0])) {
        (args.empty() ? std::cerr : std::cout) << usage();
        return args.empty() ? 1 : 0;
    }
    if (args[0] == "--version") {
        std::cout << "vellumark-cli " VELLUMARK_VERSION "\n";
        return 0;
    }
    const std::string args0 = args[0];
    const auto command = commands().find(args0);
    if (command == commands().end()) {
        std::cerr << "未知的命令: " << args[0] << "\n" << usage();
        return 1;
    }
    args.erase(args.begin());
    if (!args.empty() && isHelp(args[0])) {
        std::cout << commandUsage(args0);
        return 0;
    }
    try {
        const platform::linux_edition::SystemClock clock;
        // The drive table lives in the settings alone: those commands leave the library be.
        const bool needsLibrary = args0 != "drives" && args0 != "map" && args0 != "unmap";
        const cli::Context context{needsLibrary ? resolveRoot(libraryOption) : std::string(),
                                   &clock, &std::cout, &std::cerr};
        const ChangedFolders changed;
        const int status = command->second(context, args);
        changed.refreshIndex(context.libraryRoot);
        std::cout.flush();
        return std::cout ? status : 1;
    } catch (const cli::CommandError& error) {
        std::cerr << error.messageUtf8 << '\n';
    } catch (const std::exception& error) {
        std::cerr << error.what() << '\n';
    }
    return 1;
}
