// vellumark-cli drive commands run as a whole process: virtual drives mapped in the
// settings of the test's own configuration folder.

#include "catalog/cdinfo.h"
#include "tests/support/cli_runner.h"
#include "tests/support/temp_library.h"

#include <gtest/gtest.h>

#include <filesystem>

using testing_support::CliRun;
using testing_support::gbk;
using testing_support::makeFolders;
using testing_support::readFile;
using testing_support::TempDir;
using testing_support::writeFile;

namespace {

class CliDrivesTest : public ::testing::Test
{
protected:
    CliRun cli(std::vector<std::string> args)
    {
        args.insert(args.begin(), {"--library", m_library.path()});
        return testing_support::RunProgram(
            VELLUMARK_CLI, std::move(args),
            {{"XDG_CONFIG_HOME", m_home / "config"}, {"XDG_DATA_HOME", m_home / "data"}});
    }

    // Only the lines of the letters the test maps: the machine may have optical drives.
    std::string drivesFrom(char first)
    {
        const CliRun run = cli({"drives"});
        EXPECT_EQ(run.status, 0) << run.err;
        std::string lines;
        std::size_t start = 0;
        while (start < run.out.size()) {
            const auto end = run.out.find('\n', start);
            if (run.out[start] >= first) {
                lines += run.out.substr(start, end - start + 1);
            }
            start = end + 1;
        }
        return lines;
    }

    void putRecord(const std::string& cdrUtf8, const std::string& cdmoney)
    {
        const std::string cdr = m_library / gbk(cdrUtf8);
        writeFile(cdr, "E:\\\r\n");
        catalog::TCDInfo info;
        info.cdmoney = cdmoney;
        const auto bytes = catalog::EncodeCDInfo(info);
        writeFile(cdr.substr(0, cdr.size() - 4) + ".Ifn",
                  std::string_view(bytes.data(), bytes.size()));
    }

    TempDir m_home;
    TempDir m_library;
    TempDir m_discs;
};

TEST_F(CliDrivesTest, MappedFolderIsListedUntilUnmapped)
{
    writeFile(m_discs / "工具盘/setup.exe", std::string(3000, 'x'));
    writeFile(m_discs / "工具盘/doc/readme.txt", std::string(96, 'r'));
    makeFolders(m_discs / "sub");

    CliRun run = cli({"map", "x", m_discs / "sub/../工具盘"});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_NE(readFile(m_home / "config/Vellumark/registry.ini").find(m_discs / "工具盘"),
              std::string::npos);
    EXPECT_EQ(drivesFrom('X'), "X\tfolder\tyes\t工具盘\t3096\n");

    std::filesystem::rename(m_discs / "工具盘", m_discs / "moved");
    EXPECT_EQ(drivesFrom('X'), "X\tfolder\tno\t\t\n");

    run = cli({"unmap", "X:"});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(drivesFrom('X'), "");
}

TEST_F(CliDrivesTest, MappedImageShowsItsVolume)
{
    if (!testing_support::ProgramOnPath("genisoimage")) {
        GTEST_SKIP() << "genisoimage is not installed";
    }
    writeFile(m_discs / "src/a.txt", "a");
    const std::string image = m_discs / "disc.iso";
    ASSERT_EQ(
        testing_support::RunProgram("genisoimage", {"-quiet", "-input-charset", "utf-8", "-J", "-R",
                                                    "-V", "游戏 ", "-o", image, m_discs / "src"})
            .status,
        0);
    writeFile(m_discs / "junk.iso", std::string(50000, 'j'));
    ASSERT_EQ(cli({"map", "Y", image}).status, 0);
    ASSERT_EQ(cli({"map", "Z", m_discs / "junk.iso"}).status, 0);
    EXPECT_EQ(drivesFrom('Y'), "Y\timage\tyes\t游戏\t" +
                                   std::to_string(std::filesystem::file_size(image)) +
                                   "\nZ\timage\tno\t\t\n");
}

// A truncated image: a label in its volume descriptor, but no disc that can be read.
TEST_F(CliDrivesTest, TruncatedImageIsADriveWithoutADisc)
{
    if (!testing_support::ProgramOnPath("genisoimage")) {
        GTEST_SKIP() << "genisoimage is not installed";
    }
    writeFile(m_discs / "src/a.bin", std::string(300000, 'a'));
    const std::string image = m_discs / "cut.iso";
    ASSERT_EQ(
        testing_support::RunProgram("genisoimage", {"-quiet", "-input-charset", "utf-8", "-J", "-V",
                                                    "CUT", "-o", image, m_discs / "src"})
            .status,
        0);
    std::filesystem::resize_file(image, std::filesystem::file_size(image) - 100 * 2048);
    putRecord("软件光盘/工具盘.Cdr", std::to_string(std::filesystem::file_size(image)));
    ASSERT_EQ(cli({"map", "Y", image}).status, 0);

    EXPECT_EQ(drivesFrom('Y'), "Y\timage\tno\t\t\n");
    EXPECT_EQ(cli({"identify", "Y"}).out, "-1\n");
}

struct RefusedCase
{
    const char* name;
    std::vector<std::string> args;
    std::string err;
};

class CliDrivesRefusalTest : public CliDrivesTest, public ::testing::WithParamInterface<RefusedCase>
{
};

// "{temp}" in a case stands for the test's own folder: no path outside it is named.
TEST_P(CliDrivesRefusalTest, FailsWithItsMessageAndWritesNoSettings)
{
    const auto placed = [this](std::string text) {
        const std::string mark = "{temp}";
        if (const auto at = text.find(mark); at != std::string::npos) {
            text.replace(at, mark.size(), m_home.path());
        }
        return text;
    };
    std::vector<std::string> args;
    for (const auto& arg : GetParam().args) {
        args.push_back(placed(arg));
    }
    const CliRun run = cli(args);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, placed(GetParam().err));
    EXPECT_FALSE(testing_support::exists(m_home / "config/Vellumark/registry.ini"));
}

INSTANTIATE_TEST_SUITE_P(
    Commands, CliDrivesRefusalTest,
    ::testing::Values(
        RefusedCase{
            "MissingPath", {"map", "G", "{temp}no/such/disc"}, "找不到: {temp}no/such/disc\n"},
        RefusedCase{"EmptyPath", {"map", "G", ""}, "找不到: \n"},
        RefusedCase{"Digit", {"map", "1", "{temp}"}, "驱动器盘符无效: 1\n"},
        RefusedCase{"TwoLetters", {"unmap", "GH"}, "驱动器盘符无效: GH\n"},
        RefusedCase{"IdentifyBadLetter", {"identify", "?"}, "驱动器盘符无效: ?\n"},
        RefusedCase{"MapWithoutPath", {"map", "G"}, "用法: vellumark-cli map 盘符 路径\n"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(CliDrivesTest, IdentifyPrintsTheLastMatchingRecord)
{
    writeFile(m_discs / "disc/a.bin", std::string(1234, 'a'));
    putRecord("软件光盘/工具盘.Cdr", "1234");
    putRecord("软件光盘/别的.Cdr", "999");
    ASSERT_EQ(cli({"map", "M", m_discs / "disc"}).status, 0);

    EXPECT_EQ(cli({"identify", "m"}).out, "软件光盘\\工具盘.Cdr\n");

    // A later match in the walk wins, also inside the search results folder.
    const std::string results = "\xFF" + gbk("查找结果");
    writeFile(m_library / results + "/" + gbk("星际/旧盘.CDR"), "E:\\\r\n");
    catalog::TCDInfo info;
    info.cdmoney = "1234";
    const auto bytes = catalog::EncodeCDInfo(info);
    writeFile(m_library / results + "/" + gbk("星际/旧盘.ifn"),
              std::string_view(bytes.data(), bytes.size()));
    EXPECT_EQ(cli({"identify", "M"}).out, "查找结果\\星际\\旧盘.CDR\n");

    writeFile(m_discs / "disc/b.bin", "b");
    EXPECT_EQ(cli({"identify", "M"}).out, "\n");
    EXPECT_EQ(cli({"identify", "N"}).out, "-1\n");
}

TEST_F(CliDrivesTest, IdentifyStopsAtAShortInformationFile)
{
    writeFile(m_discs / "disc/a.bin", "a");
    writeFile(m_library / gbk("软件光盘/坏盘.Cdr"), "E:\\\r\n");
    writeFile(m_library / gbk("软件光盘/坏盘.Ifn"), std::string(100, '\0'));
    ASSERT_EQ(cli({"map", "M", m_discs / "disc"}).status, 0);
    const CliRun run = cli({"identify", "M"});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, "");
    EXPECT_NE(run.err.find("坏盘.Ifn"), std::string::npos) << run.err;
}

} // namespace
