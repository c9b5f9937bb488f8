// vellumark-cli importing, backing up and rebuilding icons, run as a whole process.

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

class CliMaintenanceTest : public testing_support::CliLibraryTest
{
protected:
    TempDir m_other;
};

TEST_F(CliMaintenanceTest, ImportOfAUtf8TreeThenBackupRoundTrip)
{
    writeFile(m_other / "from/软件光盘/办公.cdr", "E:\\\r\n\tA.DOC\r\n");
    writeFile(m_other / "from/软件光盘/readme.txt", "left out");

    const CliRun imported = cli({"import", m_other / "from"});
    EXPECT_EQ(imported.status, 0) << imported.err;
    EXPECT_EQ(imported.out, "导入完成\n已复制 1 个文件\n");
    EXPECT_EQ(snapshot(m_library.path()),
              gbk("软件光盘") + "/\n" + gbk("软件光盘/办公") + ".cdr=E:\\\r\n\tA.DOC\r\n\n");

    makeFolders(m_other / "stick");
    const CliRun backup = cli({"backup", m_other / "stick"});
    EXPECT_EQ(backup.status, 0) << backup.err;
    EXPECT_EQ(backup.out, "备份完成！请妥善保存！\n已复制 1 个文件\n");
    EXPECT_EQ(snapshot(m_other / "stick/Orlendy/"), snapshot(m_library.path()));
}

TEST_F(CliMaintenanceTest, RefusedFoldersChangeNothing)
{
    writeFile(m_library / "box/cd.cdr", "E:\\\r\n");
    const auto before = allFiles();

    const CliRun inside = cli({"import", m_library / "box"});
    EXPECT_EQ(inside.status, 1);
    EXPECT_EQ(inside.err, "不能从自己的父文件夹、自己及自己的子文件夹中导入!\n");
    const CliRun intoItself = cli({"backup", m_library.path()});
    EXPECT_EQ(intoItself.status, 1);
    EXPECT_EQ(intoItself.err, "不能备份给自己的父文件夹、自己及自己的子文件夹!\n");
    const CliRun missing = cli({"backup", m_other / "nowhere"});
    EXPECT_EQ(missing.status, 1);
    EXPECT_EQ(before, allFiles());
}

TEST_F(CliMaintenanceTest, RebuildIconsReportsWhatItSkipped)
{
    writeFile(m_library / gbk("软件光盘/好") + ".Cdr", "E:\\\r\n\tA.JPG\r\n");
    writeFile(m_library / gbk("软件光盘/好") + ".tag", "0\r\n8\r\n");
    writeFile(m_library / gbk("软件光盘/短") + ".Cdr", "E:\\\r\n\tA\r\n\tB\r\n");
    writeFile(m_library / gbk("软件光盘/短") + ".tag", "0\r\n");
    writeFile(m_library / gbk("软件光盘/坏") + ".Cdr", "E:\\\r\n\t\t\tX\r\n");

    const CliRun run = cli({"rebuild-icons", "软件光盘"});

    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, "重建图标索引完成！\n1张光盘无法重建，已跳过。\n");
    EXPECT_NE(run.err.find("坏.Cdr: Invalid level (3) for item \"X\""), std::string::npos)
        << run.err;
    EXPECT_EQ(run.err.find("短"), std::string::npos) << run.err;
    EXPECT_EQ(readFile(m_library / gbk("软件光盘/好") + ".tag"), "0\r\n6\r\n");
    EXPECT_EQ(readFile(m_library / gbk("软件光盘/短") + ".tag"), "0\r\n8\r\n8\r\n");
    EXPECT_FALSE(exists(m_library / gbk("软件光盘/坏") + ".tag"));
}

} // namespace
