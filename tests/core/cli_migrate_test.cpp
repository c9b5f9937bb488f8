// vellumark-cli reading other programs' catalogues and writing the CSV table, run as a
// whole process.

#include "catalog/text.h"
#include "tests/support/cli_library.h"

using testing_support::CliRun;
using testing_support::exists;
using testing_support::gbk;
using testing_support::makeFolders;
using testing_support::readFile;
using testing_support::snapshot;
using testing_support::TempDir;
using testing_support::writeFile;

namespace {

const std::string Report = R"(<?xml version="1.0" encoding="UTF-8"?>
<REPORT Title="光盘">
<ITEM ItemType="Disk"><NAME>软件一</NAME><DISK_NUM>12</DISK_NUM></ITEM>
<ITEM ItemType="File"><NAME>SETUP</NAME><EXT>EXE</EXT><SIZE>12</SIZE><PATH>\</PATH></ITEM>
<ITEM ItemType="File"><NAME>笑😀</NAME><EXT>TXT</EXT><PATH>\DOC\</PATH></ITEM>
<ITEM ItemType="Disk"><NAME>游戏</NAME></ITEM>
<ITEM ItemType="Folder"><NAME>SAVE</NAME><PATH>\</PATH></ITEM>
</REPORT>
)";

class CliMigrateTest : public testing_support::CliLibraryTest
{
protected:
    void SetUp() override { makeFolders(m_library / gbk("软件光盘")); }
    TempDir m_files;
};

TEST_F(CliMigrateTest, ADryRunListsDiscsAndProblemsAndWritesNothing)
{
    writeFile(m_files / "report.xml", Report);
    const std::string before = snapshot(m_library.path());

    const CliRun run = cli({"import-catalog", m_files / "report.xml", "--dry-run"});

    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "软件一\t总共有1个文件夹,2个文件\n"
                       "游戏\t总共有1个文件夹,0个文件\n"
                       "文件中的大小和日期不在光盘记录中保存, 已略去\n"
                       "试读 2 张光盘, 什么也没有写入\n");
    EXPECT_EQ(run.err, "软件一: 名称含有 GBK 无法保存的字符, 已改为 ?: DOC\\笑😀.TXT\n");
    EXPECT_EQ(snapshot(m_library.path()), before);
}

TEST_F(CliMigrateTest, ImportWritesRecordsAndAsksBeforeReplacing)
{
    writeFile(m_files / "report.xml", Report);
    const CliRun first = cli({"import-catalog", m_files / "report.xml", "--box", "软件光盘"});
    EXPECT_EQ(first.status, 0) << first.err;
    EXPECT_EQ(first.out.substr(first.out.rfind("已导入")), "已导入 2 张光盘\n");
    EXPECT_EQ(readFile(m_library / gbk("软件光盘/软件一.Cdr")),
              gbk("E:\\\r\n\tDOC\r\n\t\t笑?.TXT\r\n\tSETUP.EXE\r\n"));
    EXPECT_EQ(readFile(m_library / gbk("软件光盘/软件一.tag")), "0\r\n1\r\n4\r\n3\r\n");
    const CliRun shown = cli({"info", "软件光盘/软件一"});
    EXPECT_NE(shown.out.find("cdno=12\n"), std::string::npos) << shown.out;

    writeFile(m_library / gbk("软件光盘/游戏.FMx"), "SAVE\\\r\nold\r\n");
    const std::string before = snapshot(m_library.path());
    const CliRun kept = cli({"import-catalog", m_files / "report.xml", "--box", "软件光盘"});
    EXPECT_EQ(kept.status, 0);
    EXPECT_NE(kept.err.find("目标光盘盒 \"软件光盘 \"下\n已含有与源光盘 \"游戏 \" 同名的光盘！\n\n"
                            "是否要覆盖？ 否\n"),
              std::string::npos)
        << kept.err;
    EXPECT_EQ(kept.out, "文件中的大小和日期不在光盘记录中保存, 已略去\n已导入 0 张光盘\n");
    EXPECT_EQ(snapshot(m_library.path()), before);

    const CliRun replaced =
        cli({"import-catalog", m_files / "report.xml", "--box", "软件光盘", "--yes"});
    EXPECT_EQ(replaced.status, 0);
    EXPECT_NE(replaced.err.find("是否要覆盖？ 是\n"), std::string::npos);
    EXPECT_FALSE(exists(m_library / gbk("软件光盘/游戏.FMx")));
}

TEST_F(CliMigrateTest, AListIsOneDiscNamedByTheUser)
{
    writeFile(m_files / "cd.lst", gbk("E:\\工具\\说明.TXT\r\nE:\\setup.exe\r\n"));
    const CliRun run = cli({"import-catalog", m_files / "cd.lst", "--box", "软件光盘", "--name",
                            "工具盘", "--root", "f"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(readFile(m_library / gbk("软件光盘/工具盘.Cdr")),
              gbk("F:\\\r\n\t工具\r\n\t\t说明.TXT\r\n\tsetup.exe\r\n"));
    const CliRun byFileName = cli({"import-catalog", m_files / "cd.lst", "--box", "软件光盘"});
    EXPECT_EQ(byFileName.out, "cd\t总共有1个文件夹,2个文件\n已导入 1 张光盘\n");
}

TEST_F(CliMigrateTest, RefusalsAndBrokenFilesEndWithAMessage)
{
    struct Case
    {
        std::vector<std::string> args;
        std::string err;
    };
    writeFile(m_files / "enc.hcf", "ENCRYPTED");
    writeFile(m_files / "cut.xml", Report.substr(0, Report.find("<ITEM ItemType=\"Folder\"")));
    const std::vector<Case> cases = {
        {{"import-catalog", m_files / "cut.xml"}, "用法: vellumark-cli import-catalog"},
        {{"import-catalog", m_files / "cut.xml", "--box", "软件光盘", "--format", "csv"},
         "未知的格式: csv"},
        {{"import-catalog", m_files / "cut.xml", "--box", "软件光盘", "--name", "x"},
         "--name 只用于路径列表 (list) 格式"},
        {{"import-catalog", m_files / "none.xml", "--box", "软件光盘"}, "无法打开文件"},
        {{"import-catalog", m_files / "enc.hcf", "--box", "软件光盘"}, "已加密"},
        {{"import-catalog", m_files / "cut.xml", "--box", "没有的盒"}, "没有的盒"},
    };
    const std::string before = snapshot(m_library.path());
    for (const Case& c : cases) {
        const CliRun run = cli(c.args);
        EXPECT_EQ(run.status, 1) << c.err;
        EXPECT_NE(run.err.find(c.err), std::string::npos) << run.err;
    }
    EXPECT_EQ(snapshot(m_library.path()), before);

    // What was whole before the cut is imported; the rest is reported.
    const CliRun cut = cli({"import-catalog", m_files / "cut.xml", "--box", "软件光盘"});
    EXPECT_EQ(cut.status, 1);
    EXPECT_EQ(cut.out.substr(0, cut.out.find('\n')), "软件一\t总共有1个文件夹,2个文件");
    EXPECT_NE(cut.err.find("出错, 其后的部分未导入: 第 "), std::string::npos) << cut.err;
    EXPECT_TRUE(exists(m_library / gbk("软件光盘/软件一.Cdr")));
    EXPECT_FALSE(exists(m_library / gbk("软件光盘/游戏.Cdr")));
}

TEST_F(CliMigrateTest, ExportCsvThenImportGivesTheSameLibrary)
{
    writeFile(m_library / gbk("软件光盘/游戏/工具盘.Cdr"), gbk("E:\\\r\n\t目录\r\n\t\ta.txt\r\n"));
    writeFile(m_library / gbk("软件光盘/游戏/工具盘.tag"), "0\r\n1\r\n4\r\n");
    writeFile(m_library / gbk("软件光盘/游戏/工具盘.Mx"), gbk("说明\r\n"));
    writeFile(m_library / gbk("软件光盘/游戏/工具盘.FMx"), gbk("目录\\a.txt\\\r\n文件\r\n"));

    const CliRun exported = cli({"export-csv", "", m_files / "lib.csv"});
    EXPECT_EQ(exported.status, 0) << exported.err;
    EXPECT_EQ(exported.out, "已输出 1 张光盘, 2 行\n");
    EXPECT_EQ(readFile(m_files / "lib.csv"),
              "Volume,Path,Name,Size,Ext,Last modified,Description\r\n"
              "\"软件光盘\\游戏\\工具盘\",\"/\",\"\",,\"\",,\"说明\"\r\n"
              "\"软件光盘\\游戏\\工具盘\",\"/目录\",\"a.txt\",,\"txt\",,\"文件\"\r\n");
    const CliRun again = cli({"export-csv", "软件光盘", m_files / "lib.csv"});
    EXPECT_EQ(again.status, 1);
    EXPECT_EQ(again.err, "文件已存在: " + m_files / "lib.csv" + " (用 --yes 替换它)\n");

    TempDir other;
    const CliRun imported = testing_support::RunProgram(
        VELLUMARK_CLI,
        {"--library", other.path(), "import-catalog", m_files / "lib.csv", "--box", ""},
        environment());
    EXPECT_EQ(imported.status, 0) << imported.err;
    EXPECT_EQ(snapshot(other.path()), snapshot(m_library.path()));
}

} // namespace
