// The search engine on libraries built by each test: the three kinds, the names of
// categories and results, pruned trees, date edges, abort, and the exact result files.

#include "catalog/record_set.h"
#include "catalog/cdinfo.h"
#include "catalog/library.h"
#include "catalog/text.h"
#include "search/engine.h"
#include "search/results.h"
#include "search/term_match.h"
#include "tests/support/mutator.h"
#include "tests/support/temp_library.h"

#include <gtest/gtest.h>

#include <filesystem>

#include <sys/stat.h>
#include <unistd.h>

using testing_support::exists;
using testing_support::gbk;
using testing_support::makeFolders;
using testing_support::readFile;
using testing_support::TempDir;
using testing_support::writeFile;

namespace {

class RecordingProgress : public search::SearchProgress
{
public:
    void status(const std::string& text) override { statuses.push_back(text); }
    void caption(const std::string& text) override { captions.push_back(text); }
    void found(const std::string& name) override { foundNames.push_back(name); }
    bool aborted() override { return abortAfter >= 0 && ++checks > abortAfter; }

    std::vector<std::string> statuses, captions, foundNames;
    int abortAfter = -1;
    int checks = 0;
};

search::ScopeEntry scope(const std::string& captionUtf8, search::ScopeKind kind)
{
    return {gbk(captionUtf8), kind};
}

class SearchTest : public ::testing::Test
{
protected:
    // A record with its listing (UTF-8 lines, TAB-indented) and its .tag.
    void addCd(const std::string& relativeUtf8, const std::string& listingUtf8,
               const std::string& tag = "", const catalog::TCDInfo* info = nullptr)
    {
        const std::string base = m_lib / gbk(relativeUtf8);
        writeFile(base + ".Cdr", gbk(listingUtf8));
        std::string icons = tag;
        if (icons.empty()) {
            for (char c : listingUtf8) {
                if (c == '\n') {
                    icons += "8\r\n";
                }
            }
        }
        writeFile(base + ".tag", icons);
        if (info != nullptr) {
            const auto bytes = catalog::EncodeCDInfo(*info);
            writeFile(base + ".Ifn", std::string(bytes.data(), bytes.size()));
        }
    }

    search::SearchOutcome run(search::SearchRequest request)
    {
        if (request.scope.empty()) {
            request.scope.push_back({"Orlendy", search::ScopeKind::Library});
        }
        return search::RunSearch(m_lib.path(), request, m_progress);
    }

    search::SearchRequest textRequest(const std::string& textUtf8)
    {
        search::SearchRequest request;
        request.text.searchTextGbk = gbk(textUtf8);
        request.text.termsGbk = search::SplitTerms(request.text.searchTextGbk);
        return request;
    }

    std::string category(const std::string& nameUtf8)
    {
        return m_lib.path() + catalog::ResultsFolderName() + "/" + gbk(nameUtf8) + "/";
    }

    std::vector<std::string> filesIn(const std::string& folder)
    {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(folder)) {
            names.push_back(entry.path().filename().string());
        }
        std::sort(names.begin(), names.end());
        return names;
    }

    TempDir m_lib;
    RecordingProgress m_progress;
};

TEST_F(SearchTest, TextCategoryIsNamedAfterTheTermsAndRepeatingItEmptiesIt)
{
    addCd("软件/工具盘", "E:\\\r\n\tSETUP.EXE\r\n");
    auto outcome = run(textRequest("setup\\zzz"));
    EXPECT_EQ(outcome.categoryGbk, gbk("包含 zzz或setup"));
    EXPECT_EQ(outcome.hits, 1);
    writeFile(category("包含 zzz或setup") + "stale.Tgt", "x");

    outcome = run(textRequest("setup\\zzz"));
    EXPECT_EQ(outcome.hits, 1);
    EXPECT_EQ(filesIn(category("包含 zzz或setup")),
              (std::vector<std::string>{gbk("包含 zzz或setup.Fin"), gbk("工具盘.Tgt")}));
    EXPECT_EQ(readFile(category("包含 zzz或setup") + gbk("工具盘.Tgt")),
              gbk("软件\\工具盘.Cdr\r\n"));
}

TEST_F(SearchTest, TermsEndingInTheByteOfABackslashMatchWholeCharacters)
{
    // 乗 is 81 5C and 衆 is D0 5C; 丂 (81 40) shares the lead byte of 乗.
    addCd("衆/乗盘", "E:\\\r\n\t乗.TXT\r\n");
    addCd("丂盘", "E:\\\r\n\t丂.TXT\r\n");
    auto outcome = run(textRequest("乗"));
    EXPECT_EQ(outcome.hits, 1);
    EXPECT_EQ(outcome.categoryGbk, gbk("包含 乗"));
    EXPECT_EQ(readFile(category("包含 乗") + gbk("乗盘.Tgt")), gbk("衆\\乗盘.Cdr\r\n"));
    EXPECT_EQ(m_progress.foundNames, std::vector<std::string>{gbk("衆\\乗盘")});

    auto request = textRequest("衆\\乗");
    request.text.content = false;
    request.text.name = true;
    request.scope.push_back(scope("Orlendy\\衆", search::ScopeKind::Box));
    outcome = run(request);
    EXPECT_EQ(outcome.hits, 1);
    EXPECT_EQ(outcome.categoryGbk, gbk("包含 乗或衆"));
}

TEST_F(SearchTest, PinyinInitialsFindChineseRunsInEveryTestedTextAndNameTheCategory)
{
    addCd("软件光盘", "E:\\\r\n\tREADME.TXT\r\n");
    addCd("杂项/其它", "E:\\\r\n\t长城.TXT\r\n");   // 长 read chang
    addCd("杂项/rjgp", "E:\\\r\n\tA.TXT\r\n");      // the letters themselves
    auto request = textRequest("rjgp\\cc");
    request.text.name = true;
    EXPECT_EQ(run(request).hits, 1) << "without the option the letters are only letters";
    m_progress.foundNames.clear();

    request.text.pinyin = true;
    const auto outcome = run(request);
    EXPECT_EQ(outcome.hits, 3);
    EXPECT_EQ(outcome.categoryGbk, gbk("拼音 包含 cc或rjgp"));
    std::sort(m_progress.foundNames.begin(), m_progress.foundNames.end());
    EXPECT_EQ(m_progress.foundNames,
              (std::vector<std::string>{gbk("软件光盘"), gbk("杂项\\rjgp"), gbk("杂项\\其它")}));

    // Only the nodes: the matching node alone is kept.
    auto nodes = textRequest("CC");
    nodes.text.onlyNodes = true;
    nodes.text.pinyin = true;
    EXPECT_EQ(run(nodes).hits, 1);
    EXPECT_EQ(readFile(category("拼音 包含 CC") + gbk("其它.Fid")), gbk("E:\\\r\n\t长城.TXT\r\n"));
}

TEST_F(SearchTest, DateAndAdvancedCategoriesGetFreeNames)
{
    catalog::TCDInfo info;
    info.cdtime = catalog::ToDayNumber({2020, 5, 1, 0, 0, 0});
    addCd("工具盘", "E:\\\r\n\tA.TXT\r\n", "", &info);
    search::SearchRequest date;
    date.kind = search::SearchKind::Date;
    date.date.between = true;
    date.date.first = info.cdtime;
    date.date.second = info.cdtime;
    search::SearchRequest advanced;
    advanced.kind = search::SearchKind::Advanced;
    EXPECT_EQ(run(date).categoryGbk, gbk("按日期查找"));
    EXPECT_EQ(run(date).categoryGbk, gbk("按日期查找(2)"));
    EXPECT_EQ(run(advanced).categoryGbk, gbk("高级查找"));
    EXPECT_EQ(run(advanced).categoryGbk, gbk("高级查找(2)"));
    EXPECT_EQ(run(date).categoryGbk, gbk("按日期查找(3)"));
}

TEST_F(SearchTest, ARunWithoutHitsLeavesNoCategoryAndNoEmptyResultsFolder)
{
    addCd("工具盘", "E:\\\r\n\tA.TXT\r\n");
    search::SearchRequest advanced; // no .ifn: nothing is found
    advanced.kind = search::SearchKind::Advanced;
    const auto outcome = run(advanced);
    EXPECT_EQ(outcome.hits, 0);
    EXPECT_FALSE(std::filesystem::exists(m_lib.path() + catalog::ResultsFolderName()));

    ASSERT_EQ(run(textRequest("A.TXT")).hits, 1);
    EXPECT_EQ(run(textRequest("nothing")).hits, 0);
    EXPECT_EQ(filesIn(m_lib.path() + catalog::ResultsFolderName()),
              std::vector<std::string>{gbk("包含 A.TXT")});
}

TEST_F(SearchTest, SameNamedHitsGetNumberedResultsAndEachCdMatchesOnce)
{
    addCd("软件/工具盘", "E:\\\r\n\tsetup.exe\r\n");
    addCd("游戏/工具盘", "E:\\\r\n\tSETUP\r\n");
    auto request = textRequest("工具\\setup");
    request.text.name = true;
    const auto outcome = run(request);
    EXPECT_EQ(outcome.hits, 2);
    const std::string folder = category("包含 setup或工具");
    // Folders are walked in byte order of their GBK names: 软件 (C8 ED) before 游戏 (D3 CE).
    EXPECT_EQ(readFile(folder + gbk("工具盘.Tgt")), gbk("软件\\工具盘.Cdr\r\n"));
    EXPECT_EQ(readFile(folder + gbk("工具盘(2).Tgt")), gbk("游戏\\工具盘.Cdr\r\n"));
    EXPECT_EQ(m_progress.foundNames,
              (std::vector<std::string>{gbk("软件\\工具盘"), gbk("游戏\\工具盘")}));
    // The name test matched first: the content test never ran.
    EXPECT_EQ(m_progress.statuses, (std::vector<std::string>{gbk("查找中... 软件\\工具盘"),
                                                             gbk("查找中... 游戏\\工具盘")}));
}

TEST_F(SearchTest, InternalDescriptionsTestOnlyTheDescriptionLines)
{
    addCd("甲", "E:\\\r\n");
    addCd("乙", "E:\\\r\n");
    writeFile(m_lib / gbk("甲.FMx"), gbk("备注\\\r\n说明\r\n"));
    writeFile(m_lib / gbk("乙.fmx"), gbk("X\\\r\n有备注\r\n"));
    writeFile(m_lib / gbk("甲.Mx"), gbk("没有"));
    auto request = textRequest("备注");
    request.text.content = false;
    request.text.description = true;
    request.text.internal = true;
    EXPECT_EQ(run(request).hits, 1);
    EXPECT_EQ(m_progress.foundNames, std::vector<std::string>{gbk("乙")});
    EXPECT_EQ(m_progress.statuses,
              (std::vector<std::string>{gbk("查找中...甲"), gbk("查找中...甲"), gbk("查找中...乙"),
                                        gbk("查找中...乙")}));
}

TEST_F(SearchTest, OnlyNodesKeepsSameNamedFoldersUnderDifferentParentsApart)
{
    addCd("盒/盘",
          "E:\\\r\n\tA\r\n\t\tX\r\n\t\t\tf1.txt\r\n\tB\r\n\t\tX\r\n\t\t\tf2.txt\r\n\tg.txt\r\n",
          "0\r\n1\r\n1\r\n5\r\n1\r\n1\r\n6\r\n");
    writeFile(m_lib / gbk("盒/盘.FMx"), "A\\X\\f1.txt\\\r\nnote\r\n");
    auto request = textRequest("F");
    request.text.onlyNodes = true;
    const auto outcome = run(request);
    ASSERT_EQ(outcome.hits, 1);
    const std::string base = category("包含 F") + gbk("盘");
    EXPECT_EQ(readFile(base + ".Fid"),
              "E:\\\r\n\tA\r\n\t\tX\r\n\t\t\tf1.txt\r\n\tB\r\n\t\tX\r\n\t\t\tf2.txt\r\n");
    EXPECT_EQ(readFile(base + ".Tag"), "0\r\n1\r\n1\r\n5\r\n1\r\n1\r\n6\r\n");
    EXPECT_EQ(readFile(base + ".mx"), gbk("这个查找结果原位置：\r\nOrlendy\\盒\\盘\r\n"));
    EXPECT_EQ(readFile(base + ".fmx"), "A\\X\\f1.txt\\\r\nnote\r\n");
    EXPECT_FALSE(exists(base + ".ifn"));
    EXPECT_EQ(m_progress.captions.front(), gbk("找到\"f1.txt\" 包含 \"F\" ...正在加进目录树中..."));
    EXPECT_EQ(m_progress.captions.back(), gbk("查找"));
}

TEST_F(SearchTest, OnlyNodesWithAShortTagShowsUnknownNodesAsFiles)
{
    addCd("盘", "E:\\\r\n\tDATA\r\n\t\tREADME.TXT\r\n", "0\r\n1\r\n");
    auto request = textRequest("readme");
    request.text.onlyNodes = true;
    ASSERT_EQ(run(request).hits, 1);
    const std::string base = category("包含 readme") + gbk("盘");
    EXPECT_EQ(readFile(base + ".Fid"), "E:\\\r\n\tDATA\r\n\t\tREADME.TXT\r\n");
    EXPECT_EQ(readFile(base + ".Tag"), "0\r\n1\r\n8\r\n");
}

TEST_F(SearchTest, ResultsFolderInsideABoxAndFilesWithoutTagAreNotSearched)
{
    addCd("盒/盘", "E:\\\r\n\tkeep.txt\r\n");
    writeFile(m_lib.path() + gbk("盒/") + catalog::ResultsFolderName() + "/x/盘.Cdr",
              "E:\\\r\n\tkeep\r\n");
    writeFile(m_lib.path() + gbk("盒/") + catalog::ResultsFolderName() + "/x/盘.tag", "0\r\n1\r\n");
    writeFile(m_lib / gbk("盒/无标志.Cdr"), "E:\\\r\n\tkeep\r\n");
    writeFile(m_lib / gbk("盒/大写.CDR"), "E:\\\r\n\tkeep\r\n");
    writeFile(m_lib / gbk("盒/大写.TAG"), "0\r\n8\r\n");
    const auto outcome = run(textRequest("KEEP"));
    EXPECT_EQ(outcome.hits, 2);
    EXPECT_EQ(m_progress.foundNames, (std::vector<std::string>{gbk("盒\\大写"), gbk("盒\\盘")}));
}

TEST_F(SearchTest, AbortStopsTheRunAndKeepsWhatWasWritten)
{
    addCd("甲/盘1", "E:\\\r\n\thit\r\n");
    addCd("乙/盘2", "E:\\\r\n\thit\r\n");
    search::SearchRequest request = textRequest("hit");
    request.scope = {scope("Orlendy\\甲", search::ScopeKind::Box),
                     scope("Orlendy\\乙", search::ScopeKind::Box)};
    // Checks: before entry 1, the one entry of 甲, then before entry 2.
    m_progress.abortAfter = 2;
    const auto outcome = run(request);
    EXPECT_TRUE(outcome.aborted);
    EXPECT_EQ(outcome.hits, 1);
    EXPECT_EQ(m_progress.foundNames, (std::vector<std::string>{gbk("甲\\盘1")}));
    EXPECT_TRUE(exists(category("包含 hit") + gbk("盘1.Tgt")));
    EXPECT_TRUE(exists(category("包含 hit") + gbk("包含 hit.Fin")));
}

// ---- Names and files that must stay inside the library -------------------------------

TEST_F(SearchTest, TermsWithSlashesAndDotsStayOneCategoryInsideTheResults)
{
    addCd("软件/工具盘", "E:\\\r\n\tAC/DC.mp3\r\n");
    TempDir outside;
    writeFile(outside / "victim/keep.txt", "keep");
    const std::string outsideName = outside.path().substr(0, outside.path().size() - 1);
    const std::string victim = "a/../../../" + outsideName.substr(outsideName.rfind('/') + 1) +
                               "/victim";
    for (const std::string& text : {std::string("a/../.."), victim}) {
        run(textRequest(text));
        EXPECT_TRUE(exists(m_lib / gbk("软件/工具盘.Cdr"))) << text;
        EXPECT_EQ(readFile(outside / "victim/keep.txt"), "keep") << text;
    }
    const auto outcome = run(textRequest("AC/DC"));
    ASSERT_EQ(outcome.hits, 1);
    EXPECT_EQ(outcome.categoryGbk, gbk("包含 AC／DC"));
    EXPECT_TRUE(exists(category("包含 AC／DC") + gbk("工具盘.Tgt")));
    // The description keeps the terms as typed.
    EXPECT_NE(readFile(category("包含 AC／DC") + gbk("包含 AC／DC.Fin")).find(gbk("包含 AC/DC")),
              std::string::npos);
}

TEST(CategoryNames, CharactersNoFolderCanHoldBecomeFullWidthOrBlanks)
{
    EXPECT_EQ(search::CategoryFolderName(gbk("包含 a/b*c?d:e\"<f>g|h")),
              gbk("包含 a／b＊c？d：e＂＜f＞g｜h"));
    EXPECT_EQ(search::CategoryFolderName(std::string("x\0y\tz", 5)), "x y z");
    // A double-byte character whose trail byte is '|' stays as it is.
    EXPECT_EQ(search::CategoryFolderName("\x81\x7C"), "\x81\x7C");
}

TEST(CategoryNames, DeletionStaysInsideTheResultsFolder)
{
    TempDir lib;
    TempDir elsewhere;
    writeFile(elsewhere / "keep.txt", "keep");
    for (const std::string& name : {std::string(".."), std::string("."), std::string("a/b"),
                                    std::string(""), std::string("a\\b")}) {
        EXPECT_THROW(search::DeleteCategory(lib.path(), name), catalog::FileError) << name;
    }
    // A results folder that leads out of the library is not ours to empty.
    const std::string elsewhereFolder = elsewhere.path().substr(0, elsewhere.path().size() - 1);
    ASSERT_EQ(::symlink(elsewhereFolder.c_str(), (lib.path() + catalog::ResultsFolderName()).c_str()),
              0);
    makeFolders(elsewhere / "cat");
    EXPECT_THROW(search::DeleteCategory(lib.path(), "cat"), catalog::FileError);
    EXPECT_TRUE(exists(elsewhere / "cat"));
    EXPECT_EQ(readFile(elsewhere / "keep.txt"), "keep");
}

TEST_F(SearchTest, ACategoryIsTheSameWhateverTheAsciiCaseOfItsTerms)
{
    addCd("盘", "E:\\\r\n\tSetup.exe\r\n");
    ASSERT_EQ(run(textRequest("SETUP")).hits, 1);
    const auto outcome = run(textRequest("setup"));
    ASSERT_EQ(outcome.hits, 1);
    EXPECT_EQ(outcome.categoryGbk, gbk("包含 setup"));
    EXPECT_EQ(filesIn(m_lib.path() + catalog::ResultsFolderName()),
              std::vector<std::string>{gbk("包含 setup")});
}

TEST_F(SearchTest, APointerNamesTheListingAsItIsSpelledOnDisk)
{
    writeFile(m_lib / gbk("盒/小写.cdr"), "E:\\\r\n\thit\r\n");
    writeFile(m_lib / gbk("盒/小写.tag"), "0\r\n8\r\n");
    writeFile(m_lib / gbk("盒/大写.CDR"), "E:\\\r\n\thit\r\n");
    writeFile(m_lib / gbk("盒/大写.TAG"), "0\r\n8\r\n");
    ASSERT_EQ(run(textRequest("hit")).hits, 2);
    const std::string lower = readFile(category("包含 hit") + gbk("小写.Tgt"));
    EXPECT_EQ(lower, gbk("盒\\小写.cdr\r\n"));
    EXPECT_EQ(readFile(category("包含 hit") + gbk("大写.Tgt")), gbk("盒\\大写.CDR\r\n"));

    const auto target = search::PointerTarget(m_lib.path(), lower);
    ASSERT_TRUE(target.has_value());
    EXPECT_EQ(target->folder, m_lib / gbk("盒/"));
    EXPECT_EQ(target->name, gbk("小写"));
    // Pointers written before kept ".Cdr" whatever the file's spelling.
    EXPECT_TRUE(search::PointerTarget(m_lib.path(), gbk("盒\\小写.Cdr\r\n")).has_value());
}

TEST_F(SearchTest, APointerLeadsOnlyToARecordInsideTheLibrary)
{
    addCd("盒/盘", "E:\\\r\n");
    for (const char* line : {"..\\x.Cdr", "\\x.Cdr", "a\\\\x.Cdr", "/etc/passwd", "盒\\.Cdr", ".Cdr",
                             "", "盒\\..\\盒\\x.Cdr"}) {
        EXPECT_FALSE(search::PointerTarget(m_lib.path(), gbk(line)).has_value()) << line;
    }
    ASSERT_EQ(::symlink("/", (m_lib / "root").c_str()), 0);
    EXPECT_FALSE(search::PointerTarget(m_lib.path(), "root\\x.Cdr").has_value());
    EXPECT_FALSE(search::PointerTarget(m_lib.path(), gbk("盒\\缺.Cdr")).has_value());
    EXPECT_TRUE(search::PointerTarget(m_lib.path(), gbk("盒\\盘.CDR")).has_value());
}

// A backslash is a node path's separator, never part of a node in a pruned tree; and a
// record cannot make the tree cost more than its own size.
TEST_F(SearchTest, OnlyNodesKeepsANameHoldingBackslashesOneNode)
{
    const std::string slashes(100000, '\\');
    addCd("盘", "E:\\\r\n\tback\\slash.txt\r\n\tdir\r\n\t\tzz" + slashes + "end\r\n",
          "0\r\n8\r\n1\r\n8\r\n");
    for (const auto& [term, fid] :
         {std::pair<std::string, std::string>{"slash", "E:\\\r\n\tback\\slash.txt\r\n"},
          {"zz", "E:\\\r\n\tdir\r\n\t\tzz" + slashes + "end\r\n"}}) {
        auto request = textRequest(term);
        request.text.onlyNodes = true;
        ASSERT_EQ(run(request).hits, 1) << term;
        EXPECT_EQ(readFile(category("包含 " + term) + gbk("盘.Fid")), fid) << term;
    }
}

TEST_F(SearchTest, DamagedPointersLeadToARecordInsideTheLibraryOrNowhere)
{
    addCd("软件/工具盘", "E:\\\r\n");
    addCd("工具盘", "E:\\\r\n");
    testing_support::Mutator mutator(6);
    for (int round = 0; round < 3000; ++round) {
        const auto target =
            search::PointerTarget(m_lib.path(), mutator.mutate(gbk("软件\\工具盘.Cdr\r\n")));
        if (target) {
            ASSERT_TRUE(catalog::LiesInside(m_lib.path(), target->folder)) << target->folder;
            ASSERT_FALSE(catalog::FindRecordFile(target->folder, target->name, ".cdr").empty());
        }
    }
}

// A FIFO named like a record file is an error when the run must read it, and is no
// concern of a run that does not; it never makes the run wait.
TEST_F(SearchTest, SpecialFilesNamedLikeRecordFilesAreErrorsNotWaits)
{
    addCd("盒/盘", "E:\\\r\n\thit\r\n");
    ASSERT_EQ(::mkfifo((m_lib / gbk("盒/盘.Mx")).c_str(), 0644), 0);
    EXPECT_EQ(run(textRequest("hit")).hits, 1);
    auto description = textRequest("hit");
    description.text.content = false;
    description.text.description = true;
    EXPECT_THROW(run(description), catalog::FileError);

    writeFile(m_lib / gbk("盒2/管道.tag"), "0\r\n");
    ASSERT_EQ(::mkfifo((m_lib / gbk("盒2/管道.cdr")).c_str(), 0644), 0);
    EXPECT_THROW(run(textRequest("hit")), catalog::FileError);
}

TEST_F(SearchTest, TheDateSearchShowsWhichCdItIsLookingAt)
{
    catalog::TCDInfo info;
    addCd("盒/盘", "E:\\\r\n", "", &info);
    search::SearchRequest date;
    date.kind = search::SearchKind::Date;
    run(date);
    EXPECT_EQ(m_progress.statuses, std::vector<std::string>{gbk("查找中... 盒\\盘")});
}

// A killed search must never leave an entry that lists without its files: the file that
// makes an entry visible is written last, whole, under a temporary name.
TEST_F(SearchTest, AnEntryIsListedOnlyWhenAllItsFilesAreWritten)
{
    addCd("盒/盘", "E:\\\r\n\thit\r\n");
    auto request = textRequest("hit");
    request.text.onlyNodes = true;
    makeFolders(category("包含 hit").substr(0, category("包含 hit").size() - 1));
    // A failing companion (a folder named like the .ifn copy) must not leave the .Fid.
    writeFile(m_lib / gbk("盒/盘.Ifn"), std::string(192, '\0'));
    search::ResultWriter writer(m_lib.path(), category("包含 hit"));
    makeFolders(category("包含 hit") + gbk("盘.ifn"));
    catalog::Tree pruned;
    pruned.addChild(catalog::NoNode, "E:\\");
    EXPECT_THROW(writer.writeFoundFolder(gbk("盒\\盘"), pruned, "", m_lib / gbk("盒/盘.Ifn")),
                 catalog::FileError);
    EXPECT_EQ(filesIn(category("包含 hit")), std::vector<std::string>{gbk("盘.ifn")});
}

// ---- Term matching -------------------------------------------------------------------

struct MatchCase
{
    const char* name;
    std::string text;
    std::string term;
    bool expected;
};

class TermMatchTest : public ::testing::TestWithParam<MatchCase>
{
};

TEST_P(TermMatchTest, MatchesAtCharacterBoundariesIgnoringAsciiCase)
{
    const MatchCase& c = GetParam();
    EXPECT_EQ(search::TermMatcher(c.term).foundIn(c.text), c.expected);
    // The core's reference comparison agrees wherever lines play no part.
    if (c.text.find('\n') == std::string::npos) {
        EXPECT_EQ(catalog::containsNoCase(c.text, c.term), c.expected);
    }
}

const std::string Long(100, '.');

INSTANTIATE_TEST_SUITE_P(
    Cases, TermMatchTest,
    ::testing::Values(
        MatchCase{"LowerFindsUpper", "E:\\\r\n\tREADME.TXT", "readme", true},
        MatchCase{"UpperFindsLower", Long + "setup.exe" + Long, "SETUP.EXE", true},
        MatchCase{"NotInsideAChineseCharacter", std::string("\x81\x41\x81\x61", 4), "a", false},
        MatchCase{"TrailByteIsNotFolded", Long + std::string("\x81\x41", 2),
                  std::string("\x81\x61", 2), false},
        MatchCase{"SameCharacterMatches", Long + std::string("\x81\x61", 2),
                  std::string("\x81\x61", 2), true},
        MatchCase{"ChineseAtOddOffset", "a" + gbk("软件光盘") + Long, gbk("件光"), true},
        MatchCase{"ChineseStraddlingCharacters", "a" + gbk("软件光盘"), gbk("件光").substr(1, 2),
                  false},
        MatchCase{"LineStartIsABoundary", std::string("x\x81\n", 3) + "abc" + Long, "ABC", true},
        MatchCase{"LongTextLateHit", std::string(5000, 'q') + "Zq", "zQ", true}),
    [](const auto& info) { return std::string(info.param.name); });

struct SplitCase
{
    const char* name;
    std::string text;
    std::vector<std::string> terms;
};

class SplitTermsTest : public ::testing::TestWithParam<SplitCase>
{
};

TEST_P(SplitTermsTest, GivesTheTermsLastFirst)
{
    EXPECT_EQ(search::SplitTerms(GetParam().text), GetParam().terms);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SplitTermsTest,
    ::testing::Values(SplitCase{"Two", "star\\com", {"com", "star"}},
                      SplitCase{"BackslashesAtBothEnds", " \\star\\com\\ ", {"com", "star"}},
                      SplitCase{"EmptyPieceDropped", "a\\\\b", {"b", "a"}},
                      SplitCase{"OnlyBackslashes", "\\\\\\", {}},
                      SplitCase{"InnerBlankKept", "a\\ b", {" b", "a"}},
                      // Trail bytes 0x5C of 乗 (81 5C) and 奬 (8A 5C) are no separators.
                      SplitCase{"TrailByteOfABackslash", "\x81\x5C", {"\x81\x5C"}},
                      SplitCase{"TrailBytesBeforeSeparators",
                                "\\\x8A\x5C\\x\x81\x5C\\",
                                {"x\x81\x5C", "\x8A\x5C"}}),
    [](const auto& info) { return std::string(info.param.name); });

// ---- Date and advanced searches ------------------------------------------------------

struct DateCase
{
    const char* name;
    platform::LocalDateTime today;
    search::AgeRange age;
    catalog::DateTimeParts bought;
    bool expected;
};

class DateSearchTest : public SearchTest, public ::testing::WithParamInterface<DateCase>
{
};

TEST_P(DateSearchTest, AgeRanges)
{
    const DateCase& c = GetParam();
    catalog::TCDInfo info;
    info.cdtime = catalog::ToDayNumber(c.bought);
    addCd("盘", "E:\\\r\n", "", &info);
    search::SearchRequest request;
    request.kind = search::SearchKind::Date;
    request.date.age = c.age;
    request.date.today = c.today;
    EXPECT_EQ(run(request).hits, c.expected ? 1 : 0);
}

using search::AgeRange;
INSTANTIATE_TEST_SUITE_P(
    Cases, DateSearchTest,
    ::testing::Values(
        // 31 May less six months: 30 November.
        DateCase{"HalfYearFrom31stInto30DayMonth",
                 {2023, 5, 31},
                 AgeRange::WithinHalfYear,
                 {2022, 11, 29, 23, 59, 0},
                 true},
        DateCase{"HalfYearBeforeTheDayBefore",
                 {2023, 5, 31},
                 AgeRange::WithinHalfYear,
                 {2022, 11, 28, 23, 0, 0},
                 false},
        // 29 February less a year: 28 February.
        DateCase{"OverOneYearFrom29February",
                 {2024, 2, 29},
                 AgeRange::OverOneYear,
                 {2023, 2, 28, 23, 0, 0},
                 true},
        DateCase{"OverOneYearTooRecent",
                 {2024, 2, 29},
                 AgeRange::OverOneYear,
                 {2023, 3, 1, 0, 0, 0},
                 false},
        DateCase{"OneMonthFromMarch31",
                 {2024, 3, 31},
                 AgeRange::WithinOneMonth,
                 {2024, 2, 28, 12, 0, 0},
                 true},
        DateCase{"OneMonthTooOld",
                 {2024, 3, 31},
                 AgeRange::WithinOneMonth,
                 {2024, 2, 27, 23, 0, 0},
                 false},
        // 2100 is no leap year (a century), 2000 is one (divisible by 400).
        DateCase{"OneMonthFromMarch31In2100",
                 {2100, 3, 31},
                 AgeRange::WithinOneMonth,
                 {2100, 2, 27, 12, 0, 0},
                 true},
        DateCase{"OneMonthFromMarch31In2000",
                 {2000, 3, 31},
                 AgeRange::WithinOneMonth,
                 {2000, 2, 27, 23, 0, 0},
                 false},
        DateCase{"HalfYearInMarchGoesToSeptember",
                 {2024, 3, 15},
                 AgeRange::WithinHalfYear,
                 {2023, 9, 14, 1, 0, 0},
                 true},
        DateCase{
            "WithinOneYear", {2024, 3, 15}, AgeRange::WithinOneYear, {2023, 3, 14, 0, 0, 1}, true}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(SearchTest, BetweenIsStrictOnFractions)
{
    const double first = catalog::ToDayNumber({2020, 1, 10, 12, 0, 0});
    const double second = catalog::ToDayNumber({2020, 1, 20, 12, 0, 0});
    const double bought[] = {first - 1, first - 1 + 1.0 / 1440, second + 1 - 1.0 / 1440,
                             second + 1};
    for (int i = 0; i < 4; ++i) {
        catalog::TCDInfo info;
        info.cdtime = bought[i];
        addCd("盘" + std::to_string(i), "E:\\\r\n", "", &info);
    }
    addCd("没有信息", "E:\\\r\n");
    writeFile(m_lib / gbk("短.Cdr"), "E:\\\r\n");
    writeFile(m_lib / gbk("短.tag"), "0\r\n");
    writeFile(m_lib / gbk("短.Ifn"), std::string(100, '\0'));
    search::SearchRequest request;
    request.kind = search::SearchKind::Date;
    request.date.between = true;
    request.date.first = first;
    request.date.second = second;
    EXPECT_EQ(run(request).hits, 2);
    EXPECT_EQ(filesIn(category("按日期查找")),
              (std::vector<std::string>{gbk("按日期查找.Fin"), gbk("盘1.Tgt"), gbk("盘2.Tgt")}));
}

TEST_F(SearchTest, FieldsCompareEqualsOrContainsAndLeaveBlanksOut)
{
    catalog::TCDInfo a;
    a.cdno = "A-1";
    a.cdowner = gbk("张三丰");
    a.cdstyle = gbk("金盘");
    catalog::TCDInfo b = a;
    b.cdno = "A-12";
    addCd("甲", "E:\\\r\n", "", &a);
    addCd("乙", "E:\\\r\n", "", &b);
    addCd("丙", "E:\\\r\n");

    search::SearchRequest request;
    request.kind = search::SearchKind::Advanced;
    EXPECT_EQ(run(request).hits, 2); // every CD with information
    request.fields.cdno = "a-1";
    request.fields.cdowner = gbk("三");
    request.fields.cdstat = "  ";
    EXPECT_EQ(run(request).hits, 1);
    EXPECT_EQ(readFile(category("高级查找(2)") + gbk("甲.Tgt")), gbk("甲.Cdr\r\n"));
    request.fields.cdstyle = gbk("金");
    EXPECT_EQ(run(request).hits, 0);
}

// ---- Category descriptions -----------------------------------------------------------

TEST(CategoryDescriptionTest, ExactTextOfTheThreeKinds)
{
    search::SearchRequest text;
    text.text.termsGbk = {"def", "abc"};
    text.text.name = true;
    text.scope = {{"Orlendy", search::ScopeKind::Library},
                  {gbk("Orlendy\\软件"), search::ScopeKind::Box}};
    EXPECT_EQ(search::CategoryDescription(text, gbk("包含 def或abc")),
              gbk("查找范围:\r\nOrlendy\r\nOrlendy\\软件\r\n\r查找项目:\r\n"
                  "\r    光盘内容 包含 def或abc\r或  光盘名称 包含 def或abc\r\n"));

    search::SearchRequest date;
    date.kind = search::SearchKind::Date;
    date.scope = {{"Orlendy", search::ScopeKind::Library}};
    date.date.between = true;
    date.date.first = catalog::ToDayNumber({2021, 3, 4, 10, 0, 0});
    date.date.second = catalog::ToDayNumber({2022, 12, 25, 0, 0, 0});
    EXPECT_EQ(
        search::CategoryDescription(date, gbk("按日期查找")),
        gbk("查找范围:\r\nOrlendy\r\n\r查找项目:\r\n日期介于 2021年3月4日 和 2022年12月25日\r\n"));
    date.date.between = false;
    date.date.age = search::AgeRange::WithinHalfYear;
    EXPECT_EQ(search::CategoryDescription(date, gbk("按日期查找")),
              gbk("查找范围:\r\nOrlendy\r\n\r查找项目:\r\n使用期限　半年以内\r\n"));

    search::SearchRequest advanced;
    advanced.kind = search::SearchKind::Advanced;
    advanced.fields.cdother = gbk("备注 ");
    advanced.fields.cdno = "7";
    advanced.fields.cdzl = " ";
    advanced.fields.cdbuyaddr = gbk("北京");
    EXPECT_EQ(search::CategoryDescription(advanced, gbk("高级查找")),
              gbk("查找范围:\r\n\r查找项目:\r\n\r光盘编号＝7\r购买地点   包含 北京\r其它说明 包含 "
                  "备注 \r\n"));
}

// ---- Scope lists ---------------------------------------------------------------------

TEST(ScopeTest, RedundantEntriesKeepTheFirstOfEqualOnes)
{
    using search::ScopeKind;
    const std::vector<search::ScopeEntry> entries{
        scope("Orlendy\\光盘", ScopeKind::Box),       scope("Orlendy\\光盘2", ScopeKind::Box),
        scope("Orlendy\\光盘\\游戏", ScopeKind::Box), scope("Orlendy\\光盘", ScopeKind::Box),
        scope("Orlendy\\光盘\\盘", ScopeKind::Cd),    scope("Orlendy\\光盘2\\x", ScopeKind::Cd)};
    EXPECT_EQ(search::RedundantEntries(entries), (std::vector<std::size_t>{2, 3, 4, 5}));
    EXPECT_FALSE(search::Covers(entries[4], gbk("Orlendy\\光盘\\盘")));
    EXPECT_TRUE(search::Covers({"Orlendy", ScopeKind::Library}, gbk("Orlendy\\光盘")));
}

} // namespace
