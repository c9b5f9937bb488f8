// vellumark-cli search as a whole process: each kind of search writes its category, a
// search without hits leaves none, and a bad argument writes nothing.

#include "catalog/cdinfo.h"
#include "tests/support/cli_runner.h"
#include "tests/support/temp_library.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <random>

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
               const std::string& ownerUtf8, double bought = 0.0)
    {
        const std::string base = m_library / gbk(relativeUtf8);
        writeFile(base + ".Cdr", listing);
        writeFile(base + ".tag", "0\r\n8\r\n");
        if (!no.empty()) {
            catalog::TCDInfo info;
            info.cdno = no;
            info.cdowner = gbk(ownerUtf8);
            info.cdtime = bought;
            const auto bytes = catalog::EncodeCDInfo(info);
            writeFile(base + ".Ifn", std::string(bytes.data(), bytes.size()));
        }
    }

    CliRun cli(std::vector<std::string> args)
    {
        args.insert(args.begin(), "search");
        return command(std::move(args));
    }

    CliRun command(std::vector<std::string> args)
    {
        args.insert(args.begin(), {"--library", m_library.path()});
        return testing_support::RunProgram(VELLUMARK_CLI, std::move(args), environment());
    }

    std::vector<std::pair<std::string, std::string>> environment() const
    {
        return {{"XDG_CONFIG_HOME", m_home / "config"},
                {"XDG_DATA_HOME", m_home / "data"},
                {"XDG_CACHE_HOME", m_home / "cache"}};
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

TEST_F(CliSearchTest, TheIndexAnswersAsTheScanAndSeesAChangeMadeSinceIt)
{
    EXPECT_EQ(command({"index", "status"}).out, "没有搜索索引 (index rebuild 建立索引)\n");
    ::sleep(2); // the fixture's files are old enough to be trusted
    CliRun run = command({"index", "rebuild"});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "已索引 3 张光盘\n");
    run = command({"index", "status"});
    EXPECT_NE(run.out.find("记录: 3\n"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("其中未索引或已改变: 0\n"), std::string::npos) << run.out;

    for (const char* text : {"setup", "readme", "nowhere"}) {
        run = cli({"--text", text});
        const std::string indexed = run.out + testing_support::snapshot(m_library.path());
        run = cli({"--text", text, "--no-index"});
        EXPECT_EQ(run.out + testing_support::snapshot(m_library.path()), indexed) << text;
    }
    // Descriptions written by another program leave their record's listing indexed, but
    // the record is no longer held as it is.
    writeFile(m_library / gbk("音乐/歌.Fmx"), gbk("\\\r\n别处写的\r\n"));
    EXPECT_NE(command({"index", "status"}).out.find("其中未索引或已改变: 1\n"), std::string::npos);

    // A change through the program reads the changed box again into the index at once.
    const auto segments = [this] {
        int count = 0;
        for (const auto& entry : std::filesystem::recursive_directory_iterator(m_home / "cache")) {
            count += entry.path().extension() == ".vmx";
        }
        return count;
    };
    const int before = segments();
    run = command({"describe", "软件光盘/工具盘", "--set", "全新的说明 zzqx"});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(segments(), before + 1);
    run = cli({"--text", "zzqx", "--desc"});
    EXPECT_EQ(run.out, "找到 1 个相关光盘\n包含 zzqx\n");
    EXPECT_EQ(command({"index", "frobnicate"}).status, 1);

    // A damaged index is said to be one, and searches read the records instead.
    for (const auto& entry : std::filesystem::recursive_directory_iterator(m_home / "cache")) {
        if (entry.path().extension() == ".vmx") {
            std::filesystem::resize_file(entry.path(), 10);
        }
    }
    EXPECT_EQ(command({"index", "status"}).out,
              "搜索索引已损坏, 查找时不用它 (index rebuild 重建索引)\n");
    run = cli({"--text", "zzqx", "--desc"});
    EXPECT_EQ(run.out, "找到 1 个相关光盘\n包含 zzqx\n");
}

// An index update killed at any moment leaves an index that answers as the scan does: the
// old one, the new one, or one found damaged and not used.
TEST_F(CliSearchTest, AKilledIndexUpdateNeverChangesAnAnswer)
{
    // Listings long enough that reading a box again takes most of a command's time.
    std::string filler;
    for (int line = 0; line < 400; ++line) {
        filler += "\tDATA" + std::to_string(line) + ".DAT\r\n";
    }
    for (int cd = 0; cd < 120; ++cd) {
        const std::string name = "盒" + std::to_string(cd % 2) + "/盘" + std::to_string(cd);
        addCd(name,
              "E:\\\r\n\tsetup" + std::to_string(cd) + (cd % 7 == 0 ? ".zzqx\r\n" : "\r\n") +
                  filler,
              "", "");
    }
    ::sleep(2); // the files are old enough to be trusted
    // A rebuild, and a description whose box is read again into the index after it.
    const std::vector<std::vector<std::string>> updates{
        {"index", "rebuild"}, {"describe", "盒0/盘8", "--set", "zzqx 新的说明"}};
    std::vector<double> takes; // seconds, when left alone
    for (const auto& update : updates) {
        const auto started = std::chrono::steady_clock::now();
        ASSERT_EQ(command(update).status, 0);
        takes.push_back(
            std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count());
    }
    ASSERT_EQ(command({"describe", "盒0/盘8", "--set", ""}).status, 0);

    std::mt19937 random(20261208);
    for (int run = 0; run < 16; ++run) {
        const std::size_t kind = run % updates.size();
        const double delay = std::uniform_real_distribution(0.0, takes[kind])(random);
        std::vector<std::string> args{"-s",          "KILL",      std::to_string(delay),
                                      VELLUMARK_CLI, "--library", m_library.path()};
        args.insert(args.end(), updates[kind].begin(), updates[kind].end());
        testing_support::RunProgram("timeout", args, environment());
        for (const char* text : {"zzqx", "setup11"}) {
            CliRun indexed = cli({"--text", text, "--content", "--desc"});
            const std::string withIndex = indexed.out + testing_support::snapshot(m_library.path());
            CliRun scanned = cli({"--text", text, "--content", "--desc", "--no-index"});
            EXPECT_EQ(scanned.out + testing_support::snapshot(m_library.path()), withIndex)
                << "run " << run << ", " << text;
        }
        command({"describe", "盒0/盘8", "--set", ""});
    }
}

// Two CDs with dates and owners beside the fixture's, whose .ifn carry no date (1899).
struct SearchCase
{
    const char* label;
    std::vector<std::string> args;
    int status;
    std::string out;               // the whole output; for a refusal, the first line of errors
    std::vector<std::string> hits; // the category's pointer files (UTF-8), sorted
};

class CliSearchKindsTest : public CliSearchTest, public ::testing::WithParamInterface<SearchCase>
{
protected:
    void SetUp() override
    {
        CliSearchTest::SetUp();
        addCd("音乐/新盘", gbk("E:\\\r\n\t乗x.TXT\r\n"), "B-1", "王五",
              catalog::ToDayNumber({2023, 3, 15, 10, 0, 0}));
        addCd("音乐/旧盘", gbk("E:\\\r\n\t丂x.TXT\r\n"), "B-2", "王五",
              catalog::ToDayNumber({2023, 2, 28, 23, 0, 0}));
    }

    // The pointer files of every category, sorted.
    std::vector<std::string> hits() const
    {
        std::vector<std::string> names;
        const std::string results = m_library.path() + "\xFF" + gbk("查找结果");
        if (!std::filesystem::exists(results)) {
            return names;
        }
        for (const auto& entry : std::filesystem::recursive_directory_iterator(results)) {
            if (entry.path().extension() == ".Tgt") {
                names.push_back(entry.path().filename().string());
            }
        }
        std::sort(names.begin(), names.end());
        return names;
    }
};

TEST_P(CliSearchKindsTest, FindsWhatItsArgumentsAskFor)
{
    const SearchCase& c = GetParam();
    const CliRun run = cli(c.args);
    EXPECT_EQ(run.status, c.status) << run.err;
    if (c.status == 0) {
        EXPECT_EQ(run.out, c.out);
    } else {
        EXPECT_EQ(run.err.substr(0, run.err.find('\n') + 1), c.out);
    }
    std::vector<std::string> expected;
    for (const auto& name : c.hits) {
        expected.push_back(gbk(name));
    }
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(hits(), expected);
}

const std::string BadDate = "日期不合法 (应为 YYYY-MM-DD): ";

INSTANTIATE_TEST_SUITE_P(
    Kinds, CliSearchKindsTest,
    ::testing::Values(
        // 乗 is 81 5C: its trail byte is no separator, and 丂 (81 40) does not match it.
        SearchCase{"TextEndingInTheByteOfABackslash",
                   {"--text", "乗x"},
                   0,
                   "找到 1 个相关光盘\n包含 乗x\n",
                   {"新盘.Tgt"}},
        // 新盘 is xin pan, 旧盘 jiu pan.
        SearchCase{"PinyinInitials",
                   {"--text", "XP", "--name", "--pinyin"},
                   0,
                   "找到 1 个相关光盘\n拼音 包含 XP\n",
                   {"新盘.Tgt"}},
        SearchCase{"PinyinNeedsText", {"--pinyin"}, 1, "没有查找文字！\n", {}},
        SearchCase{"BetweenTakesBothWholeDays",
                   {"--date-between", "2023-02-28", "2023-03-15"},
                   0,
                   "找到 2 个相关光盘\n按日期查找\n",
                   {"新盘.Tgt", "旧盘.Tgt"}},
        SearchCase{"BetweenLeavesEarlierDaysOut",
                   {"--date-between", "2023-03-02", "2023-03-15"},
                   0,
                   "找到 1 个相关光盘\n按日期查找\n",
                   {"新盘.Tgt"}},
        SearchCase{"OverOneYearTakesEveryDatedCd",
                   {"--age", "0"},
                   0,
                   "找到 4 个相关光盘\n按日期查找\n",
                   {"工具盘.Tgt", "工具盘(2).Tgt", "新盘.Tgt", "旧盘.Tgt"}},
        SearchCase{"WithinAMonthFindsNone", {"--age", "4"}, 0, "没有找到相关光盘！\n", {}},
        SearchCase{"FieldContains",
                   {"--field", "cdowner=王"},
                   0,
                   "找到 2 个相关光盘\n高级查找\n",
                   {"新盘.Tgt", "旧盘.Tgt"}},
        SearchCase{"FieldsAllHold",
                   {"--field", "cdowner=王", "--field", "cdno=b-2"},
                   0,
                   "找到 1 个相关光盘\n高级查找\n",
                   {"旧盘.Tgt"}},
        SearchCase{
            "NumberIsEqualNotContained", {"--field", "cdno=B"}, 0, "没有找到相关光盘！\n", {}},
        SearchCase{"NoThirtiethOfFebruary",
                   {"--date-between", "2023-02-30", "2023-03-15"},
                   1,
                   BadDate + "2023-02-30\n",
                   {}},
        SearchCase{"NoThirteenthMonth",
                   {"--date-between", "2023-01-01", "2023-13-01"},
                   1,
                   BadDate + "2023-13-01\n",
                   {}},
        SearchCase{"NothingAfterTheDay",
                   {"--date-between", "2023-01-01x", "2023-03-01"},
                   1,
                   BadDate + "2023-01-01x\n",
                   {}},
        SearchCase{"NoTwentyNinthOfFebruaryIn2100",
                   {"--date-between", "2100-02-29", "2100-03-01"},
                   1,
                   BadDate + "2100-02-29\n",
                   {}},
        SearchCase{"AgeBeyondTheList", {"--age", "5"}, 1, "--age 应为 0 到 4: 5\n", {}},
        SearchCase{"UnknownField",
                   {"--field", "cdcolor=red"},
                   1,
                   "未知的光盘信息项: cdcolor=red (可用 cdno cdowner cdbuyaddr cdother cdstyle "
                   "cdstat cdzl cdxz)\n",
                   {}},
        SearchCase{"FieldWithoutValue",
                   {"--field", "cdno"},
                   1,
                   "未知的光盘信息项: cdno (可用 cdno cdowner cdbuyaddr cdother cdstyle cdstat "
                   "cdzl cdxz)\n",
                   {}},
        SearchCase{"TwoKindsAtOnce",
                   {"--age", "0", "--field", "cdno=B-1"},
                   1,
                   "请给出一种查找: --text, --date-between/--age 或 --field\n",
                   {}}),
    [](const auto& info) { return std::string(info.param.label); });

} // namespace
