#include "catalog/box_tree.h"

#include "catalog/library.h"
#include "catalog/text.h"
#include "tests/support/temp_library.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

namespace {

using catalog::BoxCounts;
using catalog::CountMode;
using catalog::CountText;
using catalog::ListEntry;
using testing_support::gbk;
using testing_support::makeFolders;
using testing_support::TempDir;
using testing_support::writeFile;

const std::string& results()
{
    return catalog::ResultsFolderName();
}

// A caption readable in a failure message; the 0xFF of the special names shows as "#".
std::string shown(const std::string& captionGbk)
{
    if (!captionGbk.empty() && static_cast<unsigned char>(captionGbk.front()) == 0xFF) {
        return "#" + catalog::gbkToUtf8(captionGbk.substr(1));
    }
    return catalog::gbkToUtf8(captionGbk);
}

// One line per node in index order: indent by depth, caption, image/selected image.
std::string dump(const catalog::Tree& tree)
{
    std::string text;
    for (const auto node : tree.indexOrder()) {
        text += std::string(static_cast<std::size_t>(tree.depth(node)), ' ');
        text += shown(tree.text(node)) + " " + std::to_string(tree.image(node)) + "/" +
                std::to_string(tree.selectedImage(node)) + "\n";
    }
    return text;
}

std::string dump(const std::vector<ListEntry>& items)
{
    std::string text;
    for (const auto& item : items) {
        text +=
            shown(item.caption) + ":" + std::to_string(item.kind) + (item.selected ? "* " : " ");
    }
    return text;
}

// A library with nested boxes, hidden folders, records and other files, a results folder
// name hidden deep in a box, a folder that cannot be a box and search results.
class LibraryTree : public ::testing::Test
{
protected:
    void SetUp() override
    {
        const std::string software = root / gbk("软件光盘") + "/";
        makeFolders(software + gbk("游戏") + "/" + results() + "/" + gbk("深"));
        writeFile(software + gbk("游戏") + "/" + results() + "/" + gbk("深") + "/x.cdr", "");
        writeFile(software + gbk("游戏") + "/" + results() + "/y.Cdr", "");
        makeFolders(software + ".hidden");
        makeFolders(software + "Zeta");
        makeFolders(software + "alpha");
        writeFile(software + gbk("办公") + ".Cdr", "");
        writeFile(software + "readme.txt", "");
        makeFolders(root / gbk("音乐光盘"));
        makeFolders(root / "a\\b");
        makeFolders(root / results() + "/" + gbk("新类别"));
        makeFolders(root / results() + "/.secret");
        writeFile(root / results() + "/" + gbk("新类别") + ".fin", "");
    }

    TempDir root;
};

TEST_F(LibraryTree, LoadsBoxesSortedWithResultsLast)
{
    EXPECT_EQ(dump(catalog::LoadLibraryTree(root.path())), "Orlendy 0/0\n"
                                                           " 软件光盘 1/2\n"
                                                           "  .hidden 1/2\n"
                                                           "  alpha 1/2\n"
                                                           "  Zeta 1/2\n"
                                                           "  游戏 1/2\n"
                                                           " 音乐光盘 1/2\n"
                                                           " #查找结果 3/3\n"
                                                           "  新类别 4/4\n");
}

TEST_F(LibraryTree, ListAndCountsShowOnlyBoxesAndRecords)
{
    auto items = catalog::FillCDList(root / gbk("软件光盘") + "/");
    catalog::SortBoxesFirst(items);
    EXPECT_EQ(dump(items), ".hidden:0 alpha:0 Zeta:0 游戏:0 办公:2 ");
    EXPECT_TRUE(catalog::FillCDList(root / gbk("软件光盘") + "/" + gbk("游戏") + "/").empty());
    // 软件光盘, 游戏, .hidden, Zeta, alpha, 音乐光盘; 办公.Cdr is the only record.
    const auto counts = catalog::CountBoxEntries(root.path(), CountMode::Records, true);
    EXPECT_EQ(counts.folders, 6);
    EXPECT_EQ(counts.records, 1);
}

// A link to a folder is no box: it leads back into the library or out of it, and no walk
// of the library follows it.
TEST(BoxTree, SymbolicLinkToAFolderIsNoBox)
{
    TempDir root;
    TempDir outside;
    makeFolders(root / "A/B");
    writeFile(root / "A/B/one.cdr", "");
    writeFile(outside / "far.cdr", "");
    ASSERT_EQ(::symlink(root.path().c_str(), (root / "A/B/loop").c_str()), 0);
    ASSERT_EQ(::symlink(outside.path().c_str(), (root / "A/out").c_str()), 0);

    EXPECT_EQ(dump(catalog::LoadLibraryTree(root.path())), "Orlendy 0/0\n"
                                                           " A 1/2\n"
                                                           "  B 1/2\n");
    const auto counts = catalog::CountBoxEntries(root.path(), CountMode::Records, true);
    EXPECT_EQ(counts.folders, 2);
    EXPECT_EQ(counts.records, 1);
}

TEST(BoxTree, UnreadableFolderContributesNothing)
{
    if (::geteuid() == 0) {
        GTEST_SKIP() << "permissions do not stop root";
    }
    TempDir root;
    makeFolders(root / "A/inner");
    writeFile(root / "A/one.cdr", "");
    ASSERT_EQ(::chmod((root / "A").c_str(), 0), 0);
    EXPECT_EQ(dump(catalog::LoadLibraryTree(root.path())), "Orlendy 0/0\n A 1/2\n");
    EXPECT_TRUE(catalog::FillCDList(root / "A/").empty());
    const auto counts = catalog::CountBoxEntries(root.path(), CountMode::Records, true);
    EXPECT_EQ(counts.folders, 1);
    EXPECT_EQ(counts.records, 0);
}

struct ResultsCase
{
    const char* name;
    std::vector<std::string> folders; // below the results folder; "" = the folder itself
    std::vector<std::string> files;
    const char* expected;
};

class ResultsNode : public ::testing::TestWithParam<ResultsCase>
{
};

TEST_P(ResultsNode, ShownOnlyWhenTheFolderHoldsSomething)
{
    TempDir root;
    for (const auto& folder : GetParam().folders) {
        makeFolders(root / results() + "/" + gbk(folder));
    }
    for (const auto& file : GetParam().files) {
        writeFile(root / results() + "/" + gbk(file), "");
    }
    catalog::Tree tree;
    tree.addChild(catalog::NoNode, "Orlendy");
    catalog::LoadResultsNode(root.path(), tree);
    EXPECT_EQ(dump(tree), std::string("Orlendy 0/0\n") + GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ResultsNode,
    ::testing::Values(ResultsCase{"Missing", {}, {}, ""}, ResultsCase{"Empty", {""}, {}, ""},
                      ResultsCase{"OnlyFiles", {}, {"旧.fin", "x.tgt"}, " #查找结果 3/3\n"},
                      ResultsCase{"OnlyHiddenCategory", {".old"}, {}, " #查找结果 3/3\n"},
                      ResultsCase{"Categories",
                                  {"乙", ".skip", "甲/更深"},
                                  {"甲.fin"},
                                  " #查找结果 3/3\n  甲 4/4\n  乙 4/4\n"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(FillCDList, KindsAndCaptionsFromFileNames)
{
    TempDir box;
    for (const char* name : {"a.CDR", "b.cdr", "c.Cdr", "d.fid", "e.FiD", "f.TGT", "g.tgt", ".cdr",
                             "h.txt", "i.tag", "j.mx", "k.ifn", "cdr", "l.cdrx"}) {
        writeFile(box / name, "");
    }
    writeFile(box / gbk("光盘") + ".Cdr", "");
    makeFolders(box / "x.cdr");
    makeFolders(box / results());
    makeFolders(box / "sub");

    // Listing order: name bytes.
    EXPECT_EQ(dump(catalog::FillCDList(box.path())),
              ":2 a:2 b:2 c:2 d:3 e:3 f:4 g:4 sub:0 x.cdr:0 光盘:2 ");
}

TEST(SortBoxesFirst, BoxesInFrontThenRecordsEachSorted)
{
    std::vector<ListEntry> items{
        {gbk("光盘A"), catalog::ListItem::CdRecord, false},
        {gbk("重要光盘"), catalog::ListItem::Box, true},
        {std::string(1, '\xFF') + gbk("旧"), catalog::ListItem::FoundCd, false},
        {"Alpha", catalog::ListItem::FoundCd, true},
        {catalog::LocalDrivesName(), catalog::ListItem::Box, false},
        {gbk("阿"), catalog::ListItem::FoundFolder, false},
        {gbk("软件光盘"), catalog::ListItem::Box, false},
        {"same", catalog::ListItem::CdRecord, false},
        {"same", catalog::ListItem::Box, false},
        {"Box", catalog::ListItem::Box, false},
        {"10", catalog::ListItem::CdRecord, false},
    };
    catalog::SortBoxesFirst(items);
    EXPECT_EQ(dump(items), "Box:0 same:0 软件光盘:0 重要光盘:0* #本地光驱:0 "
                           "10:2 Alpha:4* same:2 阿:3 光盘A:2 #旧:4 ");
}

// root: 1.Cdr 2.cdr x.tgt note.txt, boxes A, B/C (2 records), .h; results with a
// category holding found entries.
class Counts : public ::testing::TestWithParam<std::tuple<const char*, CountMode, bool, int, int>>
{
protected:
    void SetUp() override
    {
        for (const char* name : {"1.Cdr", "2.cdr", "x.tgt", "note.txt"}) {
            writeFile(root / name, "");
        }
        makeFolders(root / "A");
        makeFolders(root / ".h");
        writeFile(root / "B/C/c1.CDR", "");
        writeFile(root / "B/C/c2.cdr", "");
        writeFile(root / "B/C/c2.tag", "");
        writeFile(root / "B/" + results() + "/hidden.cdr", "");
        writeFile(root / results() + "/cat/a.tgt", "");
        writeFile(root / results() + "/cat/b.FID", "");
        writeFile(root / results() + "/cat/c.cdr", "");
        writeFile(root / results() + "/cat/sub/d.tgt", "");
        writeFile(root / results() + "/loose.Tgt", "");
    }
    TempDir root;
};

TEST_P(Counts, FoldersAndRecords)
{
    const auto& [folder, mode, recursive, folders, records] = GetParam();
    const auto counts = catalog::CountBoxEntries(
        root.path() + (std::string(folder) == "#" ? results() + "/" : std::string(folder)), mode,
        recursive);
    EXPECT_EQ(counts.folders, folders);
    EXPECT_EQ(counts.records, records);
}

INSTANTIATE_TEST_SUITE_P(Modes, Counts,
                         ::testing::Values(std::make_tuple("", CountMode::Records, false, 3, 2),
                                           std::make_tuple("", CountMode::Records, true, 4, 4),
                                           std::make_tuple("", CountMode::Results, false, 3, 1),
                                           std::make_tuple("B/", CountMode::Records, false, 1, 0),
                                           std::make_tuple("B/C/", CountMode::Records, false, 0, 2),
                                           std::make_tuple("#", CountMode::Results, false, 1, 1),
                                           std::make_tuple("#", CountMode::Results, true, 2, 4),
                                           std::make_tuple("#", CountMode::Records, true, 2, 1),
                                           std::make_tuple("missing/", CountMode::Records, true, 0,
                                                           0)));

struct TextCase
{
    CountText where;
    const char* expected;
};

class CountTexts : public ::testing::TestWithParam<TextCase>
{
};

TEST_P(CountTexts, ExactText)
{
    EXPECT_EQ(catalog::CountsText(GetParam().where, BoxCounts{12, 3405}), GetParam().expected);
}

// \uFF0C: the full-width comma.
INSTANTIATE_TEST_SUITE_P(
    All, CountTexts,
    ::testing::Values(
        TextCase{CountText::BoxTreeBox, "该类下有12个子光盘盒\uFF0C3405张光盘"},
        TextCase{CountText::BoxTreeResults, "有12个子查找类别\uFF0C3405个查找结果"},
        TextCase{CountText::ListBox, "该光盘盒下有12个光盘盒\uFF0C3405张光盘"},
        TextCase{CountText::ListResults, "该查找类别下有12个查找类别\uFF0C3405个查找结果"},
        TextCase{CountText::DetailsBox, "该光盘盒下共有12个光盘盒\uFF0C3405张光盘"},
        TextCase{CountText::DetailsResults, "该查找类别下共有12个查找类别\uFF0C3405个查找结果"}));

TEST(CountTexts, ZeroAndDrives)
{
    EXPECT_EQ(catalog::CountsText(CountText::BoxTreeBox, BoxCounts{}),
              "该类下有0个子光盘盒\uFF0C0张光盘");
    EXPECT_EQ(catalog::DriveCountText(0), "共有 0 个光驱");
    EXPECT_EQ(catalog::DriveCountText(2), "共有 2 个光驱");
}

} // namespace

// A killed writer's temporary file goes the next time its folder is listed.
TEST(BoxTree, ListingAFolderClearsTemporaryFilesOfWritersThatAreGone)
{
    TempDir lib;
    writeFile(lib / gbk("盒/.vellumark-tmp-a1b2c3"), "partial");
    writeFile(lib / (catalog::ResultsFolderName() + "/cat/.vellumark-tmp-d4e5f6"), "partial");
    testing_support::makeOlder(lib / gbk("盒/.vellumark-tmp-a1b2c3"), 600);
    testing_support::makeOlder(lib / (catalog::ResultsFolderName() + "/cat/.vellumark-tmp-d4e5f6"),
                               600);
    catalog::LoadLibraryTree(lib.path());
    EXPECT_FALSE(testing_support::exists(lib / gbk("盒/.vellumark-tmp-a1b2c3")));
    EXPECT_TRUE(catalog::FillCDList(lib / (catalog::ResultsFolderName() + "/cat/")).empty());
    EXPECT_FALSE(
        testing_support::exists(lib / (catalog::ResultsFolderName() + "/cat/.vellumark-tmp-d4e5f6")));
}
