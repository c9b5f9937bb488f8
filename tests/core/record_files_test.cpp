#include "catalog/cdinfo.h"
#include "catalog/record_files.h"

#include "catalog/tree_text.h"
#include "tests/support/temp_library.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <thread>

namespace {

using catalog::NodeId;
using catalog::RecordRef;
using catalog::Tree;
using testing_support::gbk;
using testing_support::readFile;
using testing_support::TempDir;
using testing_support::writeFile;

std::vector<std::string> folderNames(const std::string& folder)
{
    std::vector<catalog::DirEntry> entries;
    catalog::ListFolder(folder, entries);
    std::vector<std::string> names;
    for (const auto& entry : entries) {
        names.push_back(entry.name);
    }
    return names;
}

std::vector<int> images(const Tree& tree)
{
    std::vector<int> out;
    for (NodeId node : tree.indexOrder()) {
        out.push_back(tree.image(node));
    }
    return out;
}

std::vector<int> selectedImages(const Tree& tree)
{
    std::vector<int> out;
    for (NodeId node : tree.indexOrder()) {
        out.push_back(tree.selectedImage(node));
    }
    return out;
}

// ---- IconClassOf

struct IconCase
{
    std::string name;
    int expected;
};

class IconClassOfTest : public testing::TestWithParam<IconCase>
{
};

TEST_P(IconClassOfTest, ClassFromExtension)
{
    EXPECT_EQ(catalog::IconClassOf(GetParam().name), GetParam().expected) << GetParam().name;
}

INSTANTIATE_TEST_SUITE_P(
    Table, IconClassOfTest,
    testing::Values(
        IconCase{"SETUP.EXE", 3}, IconCase{"readme.txt", 4}, IconCase{"a.Zip", 5},
        IconCase{"a.rar", 5}, IconCase{"a.CAB", 5}, IconCase{"a.bmp", 6}, IconCase{"a.jpg", 6},
        IconCase{"a.gif", 6}, IconCase{"a.ico", 6}, IconCase{"a.wav", 7}, IconCase{"a.mid", 7},
        IconCase{"a.mp3", 7}, IconCase{"a.mpg", 9}, IconCase{"a.avi", 9}, IconCase{"a.rm", 9},
        IconCase{"a.reg", 10}, IconCase{"a.fon", 11}, IconCase{"a.ttf", 11}, IconCase{"a.hlp", 12},
        IconCase{"a.chm", 12}, IconCase{"a.htm", 13}, IconCase{"index.HtMl", 13},
        IconCase{"a.rtf", 14}, IconCase{"a.wri", 14}, IconCase{"a.doc", 14}, IconCase{"a.wps", 14},
        // Only the text from the last dot counts, as a whole.
        IconCase{"DISK1.ZIP", 5}, IconCase{"a.zip.bak", 8}, IconCase{"a.bak.zip", 5},
        IconCase{".zip", 5}, IconCase{"a.htmlx", 8}, IconCase{"a.ex", 8}, IconCase{"README", 8},
        IconCase{"FILE.", 8}, IconCase{"", 8}, IconCase{"a.jpeg", 8}, IconCase{"a. txt", 8},
        IconCase{gbk("说明.txt"), 4}, IconCase{gbk("中文"), 8}),
    [](const auto& info) { return "Case" + std::to_string(info.index); });

// ---- ApplyTagText

// R / A / B / C / D: A is a folder holding B, C a file, D an empty top-level line's node.
constexpr std::string_view FourNodes = "R\n\tA\n\t\tB\n\tC\n";

struct TagCase
{
    const char* name;
    std::string tagText;
    std::vector<int> expectedImages;
    bool ok;
    std::string errorPart; // UTF-8 text the error must contain
    std::size_t classesRead;
};

class ApplyTagTextTest : public testing::TestWithParam<TagCase>
{
};

TEST_P(ApplyTagTextTest, SetsClassesUpToTheFirstBadLine)
{
    Tree tree;
    ASSERT_TRUE(catalog::ReadTreeText(FourNodes, tree).ok);
    // Classes of an earlier load must not survive past a bad line.
    for (NodeId node : tree.indexOrder()) {
        tree.setImages(node, 7, 7);
    }
    const auto result = catalog::ApplyTagText(GetParam().tagText, tree);
    EXPECT_EQ(result.ok, GetParam().ok);
    EXPECT_EQ(result.classesRead, GetParam().classesRead);
    EXPECT_EQ(images(tree), GetParam().expectedImages);
    if (GetParam().ok) {
        EXPECT_TRUE(result.errorUtf8.empty());
    } else {
        EXPECT_NE(result.errorUtf8.find(GetParam().errorPart), std::string::npos)
            << result.errorUtf8;
    }
    std::vector<int> expectedSelected = GetParam().expectedImages;
    std::replace(expectedSelected.begin(), expectedSelected.end(), 1, 2);
    EXPECT_EQ(selectedImages(tree), expectedSelected);
}

INSTANTIATE_TEST_SUITE_P(
    Lines, ApplyTagTextTest,
    testing::Values(
        TagCase{"Exact", "0\r\n1\r\n4\r\n8\r\n", {0, 1, 4, 8}, true, "", 4},
        TagCase{"CrOnlyLastWithoutEnd", "0\r1\r4\r8", {0, 1, 4, 8}, true, "", 4},
        TagCase{"SurplusLinesIgnored", "0\n1\n4\n8\n9\nnot a number\n", {0, 1, 4, 8}, true, "", 4},
        TagCase{"Short", "0\r\n1\r\n", {0, 1, 0, 0}, false, "只有2行", 2},
        TagCase{"EmptyFile", "", {0, 0, 0, 0}, false, "只有0行", 0},
        TagCase{"Letters", "0\n1\nx\n8\n", {0, 1, 0, 0}, false, "第3行", 2},
        TagCase{"EmptyLine", "0\n\n4\n8\n", {0, 0, 0, 0}, false, "第2行", 1},
        TagCase{"Sign", "0\n+1\n4\n8\n", {0, 0, 0, 0}, false, "第2行", 1},
        TagCase{"TrailingBlank", "0\n1 \n4\n8\n", {0, 0, 0, 0}, false, "第2行", 1},
        TagCase{"TooLargeForInt", "0\n1\n99999999999\n8\n", {0, 1, 0, 0}, false, "第3行", 2}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ApplyTagText, FollowsIndexOrderNotIds)
{
    Tree tree;
    const NodeId root = tree.addChild(catalog::NoNode, "R");
    const NodeId b = tree.addChild(root, "B");
    const NodeId a = tree.addChild(root, "A");
    tree.sortChildren(root, [&](NodeId x, NodeId y) { return tree.text(x) < tree.text(y); });
    ASSERT_FALSE(tree.idsInIndexOrder());
    ASSERT_TRUE(catalog::ApplyTagText("0\n4\n1\n", tree).ok);
    EXPECT_EQ(tree.image(a), 4);
    EXPECT_EQ(tree.image(b), 1);
    EXPECT_EQ(tree.selectedImage(b), 2);
}

// ---- Files of a record

class RecordFilesTest : public testing::Test
{
protected:
    std::string path(std::string_view ext) const { return dir / (name + std::string(ext)); }

    TempDir dir;
    std::string name = gbk("光盘一");
    RecordRef record{dir.path(), name};
};

TEST_F(RecordFilesTest, ApplyTagIconsFindsAnySpelling)
{
    for (const char* ext : {".tag", ".TAG", ".tAg"}) {
        SCOPED_TRACE(ext);
        TempDir own;
        writeFile(own / ("CD" + std::string(ext)), "0\r\n1\r\n4\r\n5\r\n");
        Tree tree;
        catalog::ReadTreeText(FourNodes, tree);
        EXPECT_TRUE(catalog::ApplyTagIcons({own.path(), "CD"}, tree).ok);
        EXPECT_EQ(images(tree), (std::vector<int>{0, 1, 4, 5}));
    }
}

TEST_F(RecordFilesTest, ApplyTagIconsMissingFileGivesClassZeroAndError)
{
    Tree tree;
    catalog::ReadTreeText(FourNodes, tree);
    tree.setImages(1, 1, 2);
    const auto result = catalog::ApplyTagIcons(record, tree);
    EXPECT_FALSE(result.ok);
    EXPECT_NE(result.errorUtf8.find("光盘一.tag"), std::string::npos) << result.errorUtf8;
    EXPECT_EQ(images(tree), (std::vector<int>{0, 0, 0, 0}));
    EXPECT_EQ(selectedImages(tree), (std::vector<int>{0, 0, 0, 0}));
}

TEST_F(RecordFilesTest, ApplyTagIconsErrorNamesFileAndLine)
{
    writeFile(path(".Tag"), "0\r\n1\r\nzz\r\n");
    Tree tree;
    catalog::ReadTreeText(FourNodes, tree);
    const auto result = catalog::ApplyTagIcons(record, tree);
    EXPECT_EQ(result.errorUtf8, "光盘标志文件“光盘一.Tag”第3行不是数字！");
}

struct RebuildCase
{
    const char* name;
    std::string listing;
    std::string expectedTag;
    bool ok;
};

class RebuildTagTest : public testing::TestWithParam<RebuildCase>
{
};

TEST_P(RebuildTagTest, WritesIconsFromTheListing)
{
    TempDir dir;
    writeFile(dir / "CD.Cdr", GetParam().listing);
    const auto load = catalog::RebuildTagFromTree({dir.path(), "CD"});
    EXPECT_EQ(load.ok, GetParam().ok);
    EXPECT_EQ(readFile(dir / "CD.tag"), GetParam().expectedTag);
}

INSTANTIATE_TEST_SUITE_P(
    Listings, RebuildTagTest,
    testing::Values(
        RebuildCase{"Full",
                    "E:\\\r\n\tDIR\r\n\t\tREADME.TXT\r\n\tDISK1.ZIP\r\n\tEMPTY\r\n\tsetup.exe\r\n",
                    "0\r\n1\r\n4\r\n5\r\n8\r\n3\r\n", true},
        // A folder named like an archive is a folder once it has children.
        RebuildCase{"ArchiveNamedFolder", "E:\\\n\tX.ZIP\n\t\ta.txt\n", "0\r\n1\r\n4\r\n", true},
        RebuildCase{"RootOnly", "E:\\\r\n", "0\r\n", true},
        RebuildCase{"BrokenListingKeepsNodesRead", "E:\\\n\tA\n\t\tb.txt\n\t\t\t\tC\n\tD\n",
                    "0\r\n1\r\n4\r\n", false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(RecordFilesTest, RebuildReplacesOtherSpellingAndFindsUpperCaseListing)
{
    writeFile(path(".CDR"), "E:\\\r\n\ta.exe\r\n");
    writeFile(path(".TAG"), "0\r\n9\r\n");
    ASSERT_TRUE(catalog::RebuildTagFromTree(record).ok);
    EXPECT_EQ(readFile(path(".TAG")), "0\r\n3\r\n");
    EXPECT_EQ(folderNames(dir.path()), (std::vector<std::string>{name + ".CDR", name + ".TAG"}));
}

TEST_F(RecordFilesTest, MissingListingThrows)
{
    Tree tree;
    EXPECT_THROW(catalog::LoadRecordTree(record, ".cdr", tree), catalog::FileError);
    EXPECT_THROW(catalog::RebuildTagFromTree(record), catalog::FileError);
    EXPECT_TRUE(folderNames(dir.path()).empty());
}

TEST(TagText, ImagesInIndexOrderGolden)
{
    Tree tree;
    catalog::ReadTreeText(FourNodes, tree);
    ASSERT_TRUE(catalog::ApplyTagText("0\n1\n13\n8\n", tree).ok);
    EXPECT_EQ(catalog::TagText(tree), "0\r\n1\r\n13\r\n8\r\n");
}

// ---- Counts

TEST(CountTreeEntries, SkipsFirstNodeAndCountsFoldersByImage)
{
    Tree tree;
    catalog::ReadTreeText("E:\\\n\tA\n\t\tb\n\tC\n\td\n", tree);
    ASSERT_TRUE(catalog::ApplyTagText("1\n1\n4\n1\n8\n", tree).ok);
    const auto totals = catalog::CountTreeEntries(tree);
    EXPECT_EQ(totals.folders, 2);
    EXPECT_EQ(totals.files, 2);
    EXPECT_EQ(catalog::TotalsText(totals), "总共有2个文件夹,2个文件");
}

TEST(CountTreeEntries, RootOnly)
{
    Tree tree;
    catalog::ReadTreeText("E:\\\r\n", tree);
    EXPECT_EQ(catalog::TotalsText(catalog::CountTreeEntries(tree)), "总共有0个文件夹,0个文件");
}

// ---- LoadRecordTree

TEST_F(RecordFilesTest, LoadRecordTreeAppliesIconsAndCounts)
{
    writeFile(path(".cdr"), "E:\\\r\n\tDIR\r\n\t\ta.txt\r\n\tb.exe\r\n");
    writeFile(path(".Tag"), "0\r\n1\r\n4\r\n3\r\n");
    Tree tree;
    tree.addChild(catalog::NoNode, "stale");
    const auto load = catalog::LoadRecordTree(record, ".cdr", tree);
    EXPECT_TRUE(load.tree.ok);
    EXPECT_TRUE(load.tags.ok);
    EXPECT_EQ(images(tree), (std::vector<int>{0, 1, 4, 3}));
    EXPECT_EQ(load.totals.folders, 1);
    EXPECT_EQ(load.totals.files, 2);
}

TEST_F(RecordFilesTest, LoadRecordTreeBrokenListingShowsNodesRead)
{
    writeFile(path(".Fid"), "E:\\\n\tDIR\n\t\t\tX\n");
    writeFile(path(".Tag"), "0\n1\n4\n");
    Tree tree;
    const auto load = catalog::LoadRecordTree(record, ".FID", tree);
    EXPECT_EQ(load.tree.errorUtf8, "Invalid level (3) for item \"X\"");
    EXPECT_TRUE(load.tags.ok);
    EXPECT_EQ(images(tree), (std::vector<int>{0, 1}));
    EXPECT_EQ(load.totals.folders, 1);
}

// ---- .mx

TEST_F(RecordFilesTest, DescriptionMissingIsEmptyAndWriteCreatesMx)
{
    writeFile(path(".Cdr"), "E:\\\r\n");
    EXPECT_EQ(catalog::ReadDescription(record), "");
    const std::string text = gbk("第一行\r\n第二行");
    catalog::WriteDescription(record, text);
    EXPECT_EQ(readFile(path(".Mx")), text);
    EXPECT_EQ(catalog::ReadDescription(record), text);
    EXPECT_EQ(folderNames(dir.path()), (std::vector<std::string>{name + ".Cdr", name + ".Mx"}));
}

// A CD renamed, moved or deleted by another command meanwhile: a description, a note or
// information written to its old name fails, and leaves no orphan file behind.
TEST_F(RecordFilesTest, WritesToACdThatIsGoneFailAndLeaveNothing)
{
    EXPECT_THROW(catalog::WriteDescription(record, "x"), catalog::FileError);
    EXPECT_THROW(catalog::UpdateNodeNotes(record, [](catalog::NodeNotes& notes) { notes.set("A\\", "x"); }),
                 catalog::FileError);
    EXPECT_THROW(catalog::WriteCDInfo(record, catalog::TCDInfo()), catalog::FileError);
    EXPECT_TRUE(folderNames(dir.path()).empty());
}

// ---- .fmx

struct LookUpCase
{
    const char* name;
    std::string fileText;
    std::string path;
    const char* expected; // nullptr: not described
};

class NodeNotesLookUp : public testing::TestWithParam<LookUpCase>
{
};

TEST_P(NodeNotesLookUp, WalksAllLines)
{
    const auto notes = catalog::NodeNotes::parse(GetParam().fileText);
    const std::string* found = notes.lookUp(GetParam().path);
    if (GetParam().expected == nullptr) {
        EXPECT_EQ(found, nullptr) << *found;
    } else {
        ASSERT_NE(found, nullptr);
        EXPECT_EQ(*found, GetParam().expected);
    }
}

// DOCS\'s description reads like the path of another described node.
const std::string NotesFile = "DOCS\\\r\nsetup\\readme.txt\\\r\nSETUP\\\r\nsetup files\r\n"
                              "SETUP\\README.TXT\\\r\nread me\r\n\r\nthe disc\r\n";

INSTANTIATE_TEST_SUITE_P(
    Keys, NodeNotesLookUp,
    testing::Values(LookUpCase{"Exact", NotesFile, "DOCS\\", "setup\\readme.txt\\"},
                    LookUpCase{"CaseIgnored", NotesFile, "setup\\", "setup files"},
                    LookUpCase{"ValueLineTakenForKey", NotesFile, "SETUP\\README.TXT\\", "SETUP\\"},
                    LookUpCase{"RootKeyIsEmptyLine", NotesFile, "", "the disc"},
                    LookUpCase{"NotFound", NotesFile, "OTHER\\", nullptr},
                    LookUpCase{"MatchOnLastLineIsNotDescribed", "A\\\r\nB\\\r\n", "B\\", nullptr},
                    LookUpCase{"EmptyFile", "", "", nullptr}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(NodeNotes, SetReplacesOrAppends)
{
    auto notes = catalog::NodeNotes::parse("setup\\\r\nold\r\n");
    notes.set("SETUP\\", "  new one");
    notes.set("", "root");
    notes.set("A\\", "line1\r\nline2\nline3");
    EXPECT_EQ(notes.text(), "setup\\\r\n  new one\r\n\r\nroot\r\nA\\\r\nline1 line2 line3\r\n");
    ASSERT_NE(notes.lookUp("A\\"), nullptr);
    EXPECT_EQ(*notes.lookUp("A\\"), "line1 line2 line3");
}

TEST(NodeNotes, SetCompletesKeyWithoutValue)
{
    auto notes = catalog::NodeNotes::parse("A\\\r\nB\\\r\n");
    notes.set("B\\", "desc");
    EXPECT_EQ(notes.text(), "A\\\r\nB\\\r\ndesc\r\n");
    ASSERT_NE(notes.lookUp("b\\"), nullptr);
    EXPECT_EQ(*notes.lookUp("b\\"), "desc");
}

TEST_F(RecordFilesTest, NodeNotesReadWriteAtomically)
{
    EXPECT_TRUE(catalog::NodeNotes::read(record).lines().empty());
    auto notes = catalog::NodeNotes::read(record);
    notes.set(gbk("中文\\"), gbk("描述"));
    notes.write(record);
    EXPECT_EQ(readFile(path(".FMx")), gbk("中文\\\r\n描述\r\n"));
    notes.set("", "root");
    notes.write(record);
    // Rewritten in place: one file, no temporary left behind.
    EXPECT_EQ(folderNames(dir.path()), (std::vector<std::string>{name + ".FMx"}));
    const auto again = catalog::NodeNotes::read(record);
    EXPECT_EQ(again.lines(), notes.lines());
}

TEST_F(RecordFilesTest, NodeNotesWriteKeepsExistingSpelling)
{
    writeFile(path(".fmx"), "K\\\nv\n");
    auto notes = catalog::NodeNotes::read(record);
    notes.set("k\\", "w");
    notes.write(record);
    EXPECT_EQ(folderNames(dir.path()), (std::vector<std::string>{name + ".fmx"}));
    EXPECT_EQ(readFile(path(".fmx")), "K\\\r\nw\r\n");
}

} // namespace

// Two writers at once, each reading, changing and writing the .fmx: the lock of the box
// folder makes every change survive.
TEST_F(RecordFilesTest, ConcurrentNoteUpdatesKeepEveryNote)
{
    writeFile(path(".Cdr"), "E:\\\r\n");
    auto writer = [&](int first) {
        for (int i = first; i < 200; i += 2) {
            catalog::UpdateNodeNotes(record, [&](catalog::NodeNotes& notes) {
                notes.set("F" + std::to_string(i) + "\\", "note");
            });
        }
    };
    std::thread even(writer, 0);
    std::thread odd(writer, 1);
    even.join();
    odd.join();
    const auto notes = catalog::NodeNotes::read(record);
    EXPECT_EQ(notes.lines().size(), 400u);
    for (int i = 0; i < 200; ++i) {
        EXPECT_NE(notes.lookUp("F" + std::to_string(i) + "\\"), nullptr) << i;
    }
}

TEST(NodeNotes, PairsRoundTripAndKeepOneLineEach)
{
    const auto notes = catalog::NodeNotes::fromPairs({{"A\\", "one\r\ntwo"}, {"", "root"}});
    EXPECT_EQ(notes.text(), "A\\\r\none two\r\n\r\nroot\r\n");
    EXPECT_EQ(notes.pairs(), (std::vector<std::pair<std::string, std::string>>{
                                 {"A\\", "one two"}, {"", "root"}}));
}
