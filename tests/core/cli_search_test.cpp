// vellumark-cli search as a whole process: a text search and an advanced search write
// their category, a search without hits leaves none.

#include "catalog/cdinfo.h"
#include "tests/support/cli_runner.h"
#include "tests/support/temp_library.h"

#include <gtest/gtest.h>

using testing_support::CliRun;
using testing_support::exists;
using testing_support::gbk;
using testing_support::readFile;
using testing_support::TempDir;
using testing_support::writeFile;

namespace {

class CliSearchTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        addCd("软件光盘/工具盘", "E:\\\r\n\tSETUP.EXE\r\n", "A-1", "张三");
        addCd("软件光盘/游戏/工具盘", "E:\\\r\n\tdata\r\n", "A-2", "李四");
        addCd("音乐/歌", "E:\\\r\n\tsetup\r\n", "", "");
    }

    void addCd(const std::string& relativeUtf8, const std::string& listing, const std::string& no,
               const std::string& ownerUtf8)
    {
        const std::string base = m_library / gbk(relativeUtf8);
        writeFile(base + ".Cdr", listing);
        writeFile(base + ".tag", "0\r\n8\r\n");
        if (!no.empty()) {
            catalog::TCDInfo info;
            info.cdno = no;
            info.cdowner = gbk(ownerUtf8);
            const auto bytes = catalog::EncodeCDInfo(info);
            writeFile(base + ".Ifn", std::string(bytes.data(), bytes.size()));
        }
    }

    CliRun cli(std::vector<std::string> args)
    {
        args.insert(args.begin(), {"--library", m_library.path(), "search"});
        return testing_support::RunProgram(
            VELLUMARK_CLI, std::move(args),
            {{"XDG_CONFIG_HOME", m_home / "config"}, {"XDG_DATA_HOME", m_home / "data"}});
    }

    std::string category(const std::string& nameUtf8)
    {
        return m_library.path() + "\xFF" + gbk("查找结果/") + gbk(nameUtf8) + "/";
    }

    TempDir m_home;
    TempDir m_library;
};

TEST_F(CliSearchTest, TextSearchOverTwoScopesWritesTheCategory)
{
    // The second scope lies inside the first and is dropped, so each CD counts once.
    const CliRun run = cli({"--text", "setup", "--scope", "Orlendy\\软件光盘", "--scope",
                            "Orlendy\\软件光盘\\工具盘", "--scope", "音乐"});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "找到 2 个相关光盘\n包含 setup\n");
    EXPECT_EQ(readFile(category("包含 setup") + gbk("工具盘.Tgt")),
              gbk("软件光盘\\工具盘.Cdr\r\n"));
    EXPECT_EQ(readFile(category("包含 setup") + gbk("歌.Tgt")), gbk("音乐\\歌.Cdr\r\n"));
    EXPECT_EQ(readFile(category("包含 setup") + gbk("包含 setup.Fin")),
              gbk("查找范围:\r\nOrlendy\\软件光盘\r\nOrlendy\\音乐\r\n\r查找项目:\r\n"
                  "\r    光盘内容 包含 setup\r\n"));
}

TEST_F(CliSearchTest, AdvancedSearchAndSearchWithoutHits)
{
    CliRun run = cli({"--field", "cdowner=李", "--field", "cdno=a-2"});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "找到 1 个相关光盘\n高级查找\n");
    EXPECT_EQ(readFile(category("高级查找") + gbk("工具盘.Tgt")),
              gbk("软件光盘\\游戏\\工具盘.Cdr\r\n"));

    run = cli({"--text", "nowhere", "--name"});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "没有找到相关光盘！\n");
    EXPECT_FALSE(exists(category("包含 nowhere")));
    EXPECT_TRUE(exists(category("高级查找")));

    run = cli({"--text", "x", "--scope", "没有这个盒"});
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("找不到查找范围"), std::string::npos);
}

} // namespace
