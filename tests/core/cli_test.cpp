// vellumark-cli run as a whole process against libraries written byte by byte.

#include "tests/support/cli_runner.h"
#include "tests/support/temp_library.h"

#include <gtest/gtest.h>

#include <set>
#include <sstream>

#include <array>
#include <cstring>

using testing_support::CliRun;
using testing_support::gbk;
using testing_support::makeFolders;
using testing_support::TempDir;
using testing_support::writeFile;

namespace {

class CliTest : public ::testing::Test
{
protected:
    // Settings and the default library live in the test's own folders.
    CliRun cli(std::vector<std::string> args, bool withLibrary = true)
    {
        if (withLibrary) {
            args.insert(args.begin(), {"--library", library()});
        }
        return testing_support::RunProgram(
            VELLUMARK_CLI, std::move(args),
            {{"XDG_CONFIG_HOME", m_home / "config"}, {"XDG_DATA_HOME", m_home / "data"}});
    }

    std::string library() const { return m_library.path(); }
    void put(const std::string& relativeUtf8, std::string_view bytes)
    {
        writeFile(m_library / gbk(relativeUtf8), bytes);
    }
    void folder(const std::string& relativeUtf8) { makeFolders(m_library / gbk(relativeUtf8)); }

    TempDir m_home;
    TempDir m_library;
};

const std::string Results = "\xFF" + gbk("查找结果");

std::string ifnWith(std::string_view cdno, std::string_view cdmoney, double cdtime)
{
    std::string bytes(192, '\0');
    bytes[0] = static_cast<char>(cdno.size());
    bytes.replace(1, cdno.size(), cdno);
    std::memcpy(bytes.data() + 48, &cdtime, sizeof cdtime);
    bytes[77] = static_cast<char>(cdmoney.size());
    bytes.replace(78, cdmoney.size(), cdmoney);
    return bytes;
}

} // namespace

TEST_F(CliTest, BoxesShowsTheSortedTreeWithSearchCategoriesAndNoHiddenResults)
{
    folder("软件光盘/游戏");
    folder("软件光盘/abc");
    folder("音乐光盘");
    makeFolders(library() + gbk("音乐光盘/") + Results + "/deep");
    makeFolders(library() + Results + "/" + gbk("星际"));
    writeFile(library() + Results + "/" + gbk("星际.fin"), "x");

    const CliRun run = cli({"boxes"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "Orlendy\n"
                       "  软件光盘\n"
                       "    abc\n"
                       "    游戏\n"
                       "  音乐光盘\n"
                       "  查找结果\n"
                       "    星际\n");
}

TEST_F(CliTest, ListShowsBoxesFirstAndRecordsOfEveryExtensionCase)
{
    folder("软件光盘/子盒");
    for (const char* name : {"软件光盘/工具盘.CDR", "软件光盘/abc.cdr", "软件光盘/.cdr",
                             "软件光盘/说明.txt", "软件光盘/工具盘.tag"}) {
        put(name, "E:\\\r\n");
    }
    CliRun run = cli({"list", "软件光盘"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "box\t子盒\ncd\t\ncd\tabc\ncd\t工具盘\n");

    makeFolders(library() + Results + "/" + gbk("星际"));
    writeFile(library() + Results + "/" + gbk("星际/工具盘.TGT"), "x");
    writeFile(library() + Results + "/" + gbk("星际/SETUP.fid"), "x");
    run = cli({"list", "查找结果/星际"});
    EXPECT_EQ(run.out, "found-folder\tSETUP\nfound-cd\t工具盘\n");

    run = cli({"list", ""});
    EXPECT_EQ(run.out, "box\t软件光盘\n");
}

TEST_F(CliTest, CountsUseTheTextOfEachPlace)
{
    folder("软件光盘/子盒/更深");
    put("软件光盘/a.Cdr", "E:\\\r\n");
    put("软件光盘/子盒/b.Cdr", "E:\\\r\n");
    makeFolders(library() + Results + "/" + gbk("星际"));
    writeFile(library() + Results + "/" + gbk("星际/a.tgt"), "x");
    writeFile(library() + Results + "/" + gbk("星际/b.fid"), "x");

    EXPECT_EQ(cli({"counts", "软件光盘"}).out, "该类下有1个子光盘盒，1张光盘\n");
    EXPECT_EQ(cli({"counts", "软件光盘", "--recursive"}).out, "该光盘盒下共有2个光盘盒，2张光盘\n");
    EXPECT_EQ(cli({"counts", "", "--recursive"}).out, "该光盘盒下共有3个光盘盒，2张光盘\n");
    EXPECT_EQ(cli({"counts", "查找结果"}).out, "有1个子查找类别，0个查找结果\n");
    EXPECT_EQ(cli({"counts", "查找结果", "--recursive"}).out,
              "该查找类别下共有1个查找类别，2个查找结果\n");
}

TEST_F(CliTest, ShowPrintsTheTreeWithIconClassesAndTotals)
{
    put("软件光盘/工具盘.Cdr", gbk("E:\\\r\n\tSETUP\r\n\t\t说明.TXT\r\n\tGAME.EXE\r\n"));
    put("软件光盘/工具盘.tag", "0\r\n1\r\n4\r\n3\r\n");
    const CliRun run = cli({"show", "软件光盘\\工具盘"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "E:\\\t0\n"
                       "\tSETUP\t1\n"
                       "\t\t说明.TXT\t4\n"
                       "\tGAME.EXE\t3\n"
                       "总共有1个文件夹,2个文件\n");
}

TEST_F(CliTest, ABrokenRecordShowsWhatWasReadAndItsError)
{
    put("软件光盘/坏盘.Cdr", "E:\\\r\n\tA\r\n\t\t\tTOO DEEP\r\n\tB\r\n");
    put("软件光盘/坏盘.tag", "0\r\n1\r\n");
    CliRun run = cli({"show", "软件光盘/坏盘"});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, "E:\\\t0\n\tA\t1\n");
    EXPECT_EQ(run.err, "Invalid level (3) for item \"TOO DEEP\"\n");

    put("软件光盘/短标.Cdr", "E:\\\r\n\tA\r\n\tB\r\n");
    put("软件光盘/短标.tag", "0\r\n4\r\n");
    run = cli({"show", "软件光盘/短标"});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, "E:\\\t0\n\tA\t4\n\tB\t0\n");
    EXPECT_FALSE(run.err.empty());

    run = cli({"show", "软件光盘/没有"});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "找不到光盘: 软件光盘/没有\n");
}

TEST_F(CliTest, InfoDescribeAndNotes)
{
    put("软件光盘/工具盘.Cdr", "E:\\\r\n");
    put("软件光盘/工具盘.IFN", ifnWith(gbk("编号7"), "681574400", 43831.5));
    put("软件光盘/工具盘.mx", gbk("第一行\r\n第二行\r\n"));
    put("软件光盘/工具盘.fmx", gbk("SETUP\\\r\n安装程序\r\n\r\n整张盘\r\n"));

    CliRun run = cli({"info", "软件光盘/工具盘"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "cdno=编号7\ncdowner=\ncdtime=2020-01-01 12:00:00\ncdbuyaddr=\n"
                       "cdmoney=681574400\ncdstyle=\ncdzl=\ncdstat=\ncdxz=\ncdother=\n");
    EXPECT_EQ(cli({"describe", "软件光盘/工具盘"}).out, "第一行\n第二行\n");
    EXPECT_EQ(cli({"notes", "软件光盘/工具盘"}).out, "SETUP\\\t安装程序\n\t整张盘\n");

    put("软件光盘/短.Cdr", "E:\\\r\n");
    put("软件光盘/短.Ifn", std::string(100, '\0'));
    run = cli({"info", "软件光盘/短"});
    EXPECT_EQ(run.status, 1);
    EXPECT_FALSE(run.err.empty());
}

TEST_F(CliTest, InfoWithoutARecordFileShowsThePanelDefaults)
{
    put("软件光盘/新盘.Cdr", "E:\\\r\n");
    const CliRun run = cli({"info", "软件光盘/新盘"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.out.find("cdstyle=一般光盘\ncdzl=一般\ncdstat=保存中\ncdxz=一般\n"),
              std::string::npos)
        << run.out;
    EXPECT_NE(run.out.find("cdmoney=\n"), std::string::npos);
}

TEST_F(CliTest, AFirstRunCreatesTheDefaultLibrary)
{
    // The drive commands touch the settings only.
    EXPECT_EQ(cli({"drives"}, false).status, 0);
    EXPECT_FALSE(testing_support::exists(m_home / "data/Vellumark"));

    const CliRun run = cli({"boxes"}, false);
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out,
              "Orlendy\n  陈年旧盘\n  其它光盘\n  软件光盘\n  音乐光盘\n  游戏光盘\n  重要光盘\n");
    EXPECT_TRUE(testing_support::exists(m_home / ("data/Vellumark/Orlendy/" + gbk("陈年旧盘"))));
}

// As GNU programs: --version and --help on standard output with status 0, and the usage
// on standard error with status 1 when no command is given.
TEST_F(CliTest, VersionAndHelpForTheProgramAndForEachCommand)
{
    CliRun run = cli({"--version"}, false);
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, "vellumark-cli " VELLUMARK_VERSION "\n");
    const CliRun help = cli({"--help"}, false);
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("  --version "), std::string::npos);
    run = cli({}, false);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, help.out);

    // Every command listed has a help of its own, which starts with the usage line.
    std::istringstream listed(help.out.substr(help.out.find("命令:")));
    std::string line;
    std::set<std::string> commands;
    while (std::getline(listed, line) && !line.empty()) {
        if (line.size() < 3 || line[2] == ' ' || line[0] != ' ') {
            continue;
        }
        const std::string name = line.substr(2, line.find(' ', 2) - 2);
        run = cli({name, "--help"}, false);
        EXPECT_EQ(run.status, 0) << name;
        EXPECT_EQ(run.out.rfind("用法: vellumark-cli", 0), 0u) << name;
        EXPECT_NE(run.out.find("\n  " + name + " "), std::string::npos) << name << run.out;
        commands.insert(name);
    }
    EXPECT_EQ(commands.size(), 31u); // every command of the CLI
    // Commands that share an entry show it whole.
    EXPECT_NE(cli({"copy", "-h"}, false).out.find("  move "), std::string::npos);
}

TEST_F(CliTest, BadArgumentsAndMissingBoxesFailWithAMessage)
{
    EXPECT_EQ(cli({"nonsense"}).status, 1);
    CliRun run = cli({"list", "没有这个盒"});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "找不到光盘盒: 没有这个盒\n");
    EXPECT_EQ(cli({"show"}).status, 1);
    run = cli({"--library", (m_home / "none"), "boxes"}, false);
    EXPECT_EQ(run.status, 1);
    EXPECT_FALSE(run.err.empty());
}
