// vellumark-cli adding to the library as a whole process: a folder or an image mapped as
// drive E is scanned into a record whose five files are checked byte for byte.

#include "catalog/cdinfo.h"
#include "tests/support/cli_runner.h"
#include "tests/support/temp_library.h"

#include <gtest/gtest.h>

#include <chrono>
#include <ctime>
#include <filesystem>

using testing_support::CliRun;
using testing_support::gbk;
using testing_support::makeFolders;
using testing_support::readFile;
using testing_support::TempDir;
using testing_support::writeFile;

namespace {

class CliScanTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        writeFile(m_disc / "A/B/b.jpg", std::string(1000, 'j'));
        writeFile(m_disc / "A/a.txt", std::string(20, 'a'));
        writeFile(m_disc / "setup.exe", std::string(300, 'x'));
        writeFile(m_disc / "readme.txt", std::string(4, 'r'));
        makeFolders(m_library / gbk("软件"));
        ASSERT_EQ(cli({"map", "E", m_disc.path()}).status, 0);
    }

    CliRun cli(std::vector<std::string> args)
    {
        args.insert(args.begin(), {"--library", m_library.path()});
        return testing_support::RunProgram(
            VELLUMARK_CLI, std::move(args),
            {{"XDG_CONFIG_HOME", m_home / "config"}, {"XDG_DATA_HOME", m_home / "data"}});
    }

    std::string record(const std::string& fileUtf8) { return readFile(m_library / gbk(fileUtf8)); }

    std::vector<std::string> libraryFiles()
    {
        std::vector<std::string> files;
        for (const auto& entry : std::filesystem::recursive_directory_iterator(m_library.path())) {
            files.push_back(entry.path().string());
        }
        std::sort(files.begin(), files.end());
        return files;
    }

    TempDir m_home;
    TempDir m_library;
    TempDir m_disc;
};

double todayAsDayNumber()
{
    const std::time_t now = std::time(nullptr);
    std::tm local = {};
    ::localtime_r(&now, &local);
    return catalog::ToDayNumber({local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, 0, 0, 0});
}

TEST_F(CliScanTest, ScanWritesTheFiveRecordFilesThenDescriptionsChangeThem)
{
    CliRun run = cli({"scan", "--drive", "e", "--box", "软件", "--name", "工具盘"});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "总共有2个文件夹,4个文件\n");
    EXPECT_EQ(record("软件/工具盘.Cdr"), "E:\\\r\n\tA\r\n\t\tB\r\n\t\t\tb.jpg\r\n\t\ta.txt\r\n"
                                         "\treadme.txt\r\n\tsetup.exe\r\n");
    EXPECT_EQ(record("软件/工具盘.tag"), "0\r\n1\r\n1\r\n6\r\n4\r\n4\r\n3\r\n");
    EXPECT_EQ(record("软件/工具盘.Mx"), "");
    const auto info = catalog::DecodeCDInfo(record("软件/工具盘.Ifn"));
    ASSERT_TRUE(info);
    EXPECT_EQ(info->cdmoney, "1324");
    catalog::TCDInfo expected = catalog::DefaultCDInfo(info->cdtime);
    expected.cdmoney = "1324";
    EXPECT_EQ(*info, expected);
    EXPECT_NEAR(info->cdtime, todayAsDayNumber(), 1.0);

    run = cli({"describe", "软件/工具盘", "--set", "第一行\n第二行"});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(record("软件/工具盘.Mx"), gbk("第一行\r\n第二行\r\n"));

    ASSERT_EQ(cli({"note", "软件/工具盘", "A\\B\\b.jpg", "封面图片"}).status, 0);
    ASSERT_EQ(cli({"note", "软件/工具盘", "", "整张光盘"}).status, 0);
    ASSERT_EQ(cli({"note", "软件/工具盘", "A\\B\\b.jpg\\", "新的封面"}).status, 0);
    const std::string notes = gbk("A\\B\\b.jpg\\\r\n新的封面\r\n\r\n整张光盘\r\n");
    EXPECT_EQ(record("软件/工具盘.FMx"), notes);

    run = cli({"note", "软件/工具盘", "A", "  \t "});
    EXPECT_EQ(run.status, 1);
    run = cli({"note", "软件/工具盘", "A\\nothing", "说明"});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(record("软件/工具盘.FMx"), notes);
}

TEST_F(CliScanTest, FilteredScanAndRenamedNames)
{
    writeFile(m_disc / "A/B/😀.exe", "x");
    const CliRun run = cli(
        {"scan", "--drive", "E", "--box", "", "--name", "程序", "--mask", "*.EXE;", "--attrs", ""});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "总共有2个文件夹,2个文件\n有1个名称含有无法保存的字符，已改为?\n");
    EXPECT_EQ(record("程序.Cdr"), "E:\\\r\n\tA\r\n\t\tB\r\n\t\t\t?.exe\r\n\tsetup.exe\r\n");
}

TEST_F(CliScanTest, ScansAnImageWithItsVolumeSizeAsCapacity)
{
    if (!testing_support::ProgramOnPath("genisoimage")) {
        GTEST_SKIP() << "genisoimage is not installed";
    }
    writeFile(m_disc / "中文目录/说明.txt", "x");
    const std::string image = m_home / "disc.iso";
    ASSERT_EQ(testing_support::RunProgram("genisoimage", {"-quiet", "-input-charset", "utf-8", "-J",
                                                          "-o", image, m_disc.path()})
                  .status,
              0);
    ASSERT_EQ(cli({"map", "G", image}).status, 0);
    const CliRun run = cli({"scan", "--drive", "G:", "--box", "软件", "--name", "映象"});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(record("软件/映象.Cdr"), gbk("G:\\\r\n\tA\r\n\t\tB\r\n\t\t\tb.jpg\r\n\t\ta.txt\r\n"
                                           "\t中文目录\r\n\t\t说明.txt\r\n"
                                           "\treadme.txt\r\n\tsetup.exe\r\n"));
    const auto info = catalog::DecodeCDInfo(record("软件/映象.Ifn"));
    ASSERT_TRUE(info);
    EXPECT_EQ(info->cdmoney, std::to_string(std::filesystem::file_size(image)));
}

TEST_F(CliScanTest, DamagedImageSaysWhatIsDamagedAndWritesNothing)
{
    if (!testing_support::ProgramOnPath("genisoimage")) {
        GTEST_SKIP() << "genisoimage is not installed";
    }
    writeFile(m_disc / "big.bin", std::string(300000, 'b'));
    const std::string image = m_home / "cut.iso";
    ASSERT_EQ(testing_support::RunProgram("genisoimage", {"-quiet", "-input-charset", "utf-8", "-J",
                                                          "-o", image, m_disc.path()})
                  .status,
              0);
    const auto whole = std::filesystem::file_size(image);
    std::filesystem::resize_file(image, whole - 50 * 2048);
    ASSERT_EQ(cli({"map", "G", image}).status, 0);
    const auto before = libraryFiles();

    const CliRun run = cli({"scan", "--drive", "G", "--box", "软件", "--name", "坏盘"});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, "G: 的映像已损坏: 映像文件不完整: 卷大小为 " + std::to_string(whole) +
                           " 字节, 文件只有 " + std::to_string(whole - 50 * 2048) + " 字节\n");
    EXPECT_EQ(libraryFiles(), before);
}

struct RefusedCase
{
    const char* label;
    std::vector<std::string> args;
    std::string err;
};

class CliScanRefusalTest : public CliScanTest, public ::testing::WithParamInterface<RefusedCase>
{
};

TEST_P(CliScanRefusalTest, FailsWithItsMessageAndWritesNothing)
{
    makeFolders(m_library / gbk("软件/已有"));
    writeFile(m_library / gbk("软件/旧盘.CDR"), "E:\\\r\n");
    const auto before = libraryFiles();
    const CliRun run = cli(GetParam().args);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, GetParam().err);
    EXPECT_EQ(libraryFiles(), before);
}

INSTANTIATE_TEST_SUITE_P(
    Commands, CliScanRefusalTest,
    ::testing::Values(
        RefusedCase{"NotADrive",
                    {"scan", "--drive", "Z", "--box", "软件", "--name", "x"},
                    "Z: 不是光驱!\n"},
        RefusedCase{"DuplicateName",
                    {"scan", "--drive", "E", "--box", "软件", "--name", "旧盘"},
                    "已有光盘:旧盘!请另取一名称!\n"},
        RefusedCase{"MissingBox",
                    {"scan", "--drive", "E", "--box", "软件/无", "--name", "x"},
                    "找不到光盘盒: 软件/无\n"},
        RefusedCase{"NothingMatched",
                    {"scan", "--drive", "E", "--box", "软件", "--name", "x", "--mask", "*.zip;"},
                    "这张光盘找不到匹配你要求的文件！！！\n"},
        RefusedCase{"NameWithSlash",
                    {"scan", "--drive", "E", "--box", "软件", "--name", "../x"},
                    "光盘名称不能含有下列字符\n\\/*?:\"><|\n"},
        RefusedCase{"NameOfBlanks",
                    {"scan", "--drive", "E", "--box", "软件", "--name", "  "},
                    "光盘名称不能含有下列字符\n\\/*?:\"><|\n"},
        RefusedCase{"NameWithQuote",
                    {"scan", "--drive", "E", "--box", "软件", "--name", "a\"b"},
                    "光盘名称不能含有下列字符\n\\/*?:\"><|\n"},
        RefusedCase{"NameWithBackslashAfterChinese",
                    {"scan", "--drive", "E", "--box", "软件", "--name", "光盘\\x"},
                    "光盘名称不能含有下列字符\n\\/*?:\"><|\n"},
        RefusedCase{"NameWithLineBreak",
                    {"scan", "--drive", "E", "--box", "软件", "--name", "a\nb"},
                    "光盘名称不能含有下列字符\n\\/*?:\"><|\n"},
        RefusedCase{"NameDot",
                    {"scan", "--drive", "E", "--box", "软件", "--name", "."},
                    "光盘名称不能含有下列字符\n\\/*?:\"><|\n"},
        RefusedCase{"NameDotDot",
                    {"scan", "--drive", "E", "--box", "软件", "--name", ".."},
                    "光盘名称不能含有下列字符\n\\/*?:\"><|\n"},
        RefusedCase{"NameGbkCannotHold",
                    {"scan", "--drive", "E", "--box", "软件", "--name", "한국"},
                    "含有 GBK 无法表示的字符: 한국\n"},
        RefusedCase{"NameNotUtf8",
                    {"scan", "--drive", "E", "--box", "软件", "--name", "\xFF\xFE"},
                    "光盘名称不是有效的 UTF-8 文本\n"},
        RefusedCase{"BadDepth",
                    {"scan", "--drive", "E", "--box", "软件", "--name", "x", "--depth", "6"},
                    "提取层数必须是 1 到 5: 6\n"},
        RefusedCase{"DepthZero",
                    {"scan", "--drive", "E", "--box", "软件", "--name", "x", "--depth", "0"},
                    "提取层数必须是 1 到 5: 0\n"},
        RefusedCase{"BoxExists", {"mkbox", "软件\\已有"}, "已存在光盘盒: 已有\n"},
        RefusedCase{
            "BoxRefused", {"mkbox", "软件/a*b"}, "光盘盒的名称不能含有下列字符\n\\/*?:\"><|\n"},
        RefusedCase{"BoxParentMissing", {"mkbox", "无/新"}, "找不到光盘盒: 无/新\n"},
        RefusedCase{
            "DescribeMissingCd", {"describe", "软件/无", "--set", "x"}, "找不到光盘: 软件/无\n"}),
    [](const auto& info) { return std::string(info.param.label); });

TEST_F(CliScanTest, NoDiscInAMappedDrive)
{
    ASSERT_EQ(cli({"map", "H", m_disc.path()}).status, 0);
    std::filesystem::rename(m_disc.path(), m_home / "gone");
    const CliRun run = cli({"scan", "--drive", "H", "--box", "软件", "--name", "x"});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "没有光盘在 H: 驱里!\n");
    std::filesystem::rename(m_home / "gone", m_disc.path());
}

TEST_F(CliScanTest, MkboxMakesNestedBoxesAndIgnoresBlankNames)
{
    ASSERT_EQ(cli({"mkbox", "软件/游戏"}).status, 0);
    ASSERT_EQ(cli({"mkbox", "软件\\游戏\\ 动作 "}).status, 0);
    EXPECT_TRUE(std::filesystem::is_directory(m_library / gbk("软件/游戏/ 动作 ")));
    const auto before = libraryFiles();
    const CliRun run = cli({"mkbox", "软件/  "});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(libraryFiles(), before);
}

} // namespace
