// The scanner over real folders and ISO images made at run time: exact record bytes,
// the filtered scan's options, names GBK cannot hold, abort and unreadable folders.

#include "scan/scanner.h"

#include "catalog/text.h"
#include "platform/linux/folder_disc_source.h"
#include "platform/linux/iso_disc_source.h"
#include "tests/support/cli_runner.h"
#include "tests/support/temp_library.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

namespace {

using platform::DiscEntry;
using platform::linux_edition::FolderDiscSource;
using platform::linux_edition::IsoDiscSource;
using testing_support::gbk;
using testing_support::makeFolders;
using testing_support::readFile;
using testing_support::TempDir;
using testing_support::writeFile;

class Progress : public scan::ScanProgress
{
public:
    explicit Progress(int abortAfter = -1) : m_abortAfter(abortAfter) {}
    void showPath(const std::string& pathGbk) override { shown.push_back(pathGbk); }
    bool aborted() override { return m_abortAfter >= 0 && calls++ >= m_abortAfter; }

    int calls = 0;
    std::vector<std::string> shown;

private:
    int m_abortAfter;
};

// The disc of the scanner's own worked example.
void makeExampleDisc(const std::string& root)
{
    writeFile(root + "A/B/b.jpg", "jpg");
    writeFile(root + "A/a.txt", "a");
    writeFile(root + "setup.exe", "exe!");
    writeFile(root + "readme.txt", "read me");
}

const std::string ExampleCdr = "E:\\\r\n\tA\r\n\t\tB\r\n\t\t\tb.jpg\r\n\t\ta.txt\r\n"
                               "\treadme.txt\r\n\tsetup.exe\r\n";
const std::string ExampleTag = "0\r\n1\r\n1\r\n6\r\n4\r\n4\r\n3\r\n";

enum class Source { Folder, IsoJolietRockRidge, IsoJolietOnly };

std::string sourceName(const ::testing::TestParamInfo<Source>& info)
{
    switch (info.param) {
    case Source::Folder:
        return "Folder";
    case Source::IsoJolietRockRidge:
        return "IsoJolietRockRidge";
    case Source::IsoJolietOnly:
        break;
    }
    return "IsoJolietOnly";
}

class ScanSourceTest : public ::testing::TestWithParam<Source>
{
protected:
    void SetUp() override
    {
        if (GetParam() != Source::Folder && !testing_support::ProgramOnPath("genisoimage")) {
            GTEST_SKIP() << "genisoimage is not installed";
        }
    }

    // The disc as the parameter's kind of source.
    std::unique_ptr<platform::DiscSource> open()
    {
        if (GetParam() == Source::Folder) {
            return std::make_unique<FolderDiscSource>(m_disc.path());
        }
        std::vector<std::string> args{"-quiet", "-input-charset", "utf-8", "-J"};
        if (GetParam() == Source::IsoJolietRockRidge) {
            args.push_back("-R");
        }
        args.insert(args.end(), {"-o", m_work / "disc.iso", m_disc.path()});
        EXPECT_EQ(testing_support::RunProgram("genisoimage", args).status, 0);
        return IsoDiscSource::open(m_work / "disc.iso");
    }

    TempDir m_disc;
    TempDir m_work;
};

TEST_P(ScanSourceTest, ExampleDiscGivesTheExactListingAndIcons)
{
    makeExampleDisc(m_disc.path());
    const auto disc = open();
    ASSERT_NE(disc, nullptr);
    Progress progress;
    const scan::ScanRun run =
        scan::RunScan(*disc, 'e', std::nullopt, {m_work.path(), gbk("光盘")}, progress);

    EXPECT_EQ(run.ending, scan::ScanEnding::Saved);
    EXPECT_EQ(readFile(m_work / gbk("光盘.Cdr")), ExampleCdr);
    EXPECT_EQ(readFile(m_work / gbk("光盘.tag")), ExampleTag);
    EXPECT_EQ(run.totals.folders, 2);
    EXPECT_EQ(run.totals.files, 4);
    EXPECT_EQ(run.readmeUtf8, "readme.txt");
    EXPECT_EQ(progress.shown.front(), "E:\\A\\");
    EXPECT_EQ(progress.shown.back(), "E:\\setup.exe");
}

TEST_P(ScanSourceTest, ChineseNamesAreLongNamesInGbk)
{
    writeFile(m_disc / "中文目录名称/软件说明书.txt", "说明");
    writeFile(m_disc / "中文目录名称/子目录/图片.jpg", "j");
    const auto disc = open();
    ASSERT_NE(disc, nullptr);
    scan::ScanListing listing = scan::StartListing('F');
    Progress progress;
    scan::ScanFolder(*disc, "", "F:\\", listing, 1, progress);

    const std::vector<std::string> expected{"F:\\", gbk("\t中文目录名称"), gbk("\t\t子目录"),
                                            gbk("\t\t\t图片.jpg"), gbk("\t\t软件说明书.txt")};
    EXPECT_EQ(listing.lines, expected);
    EXPECT_EQ(listing.renamed, 0);
    std::string content;
    EXPECT_TRUE(disc->readFile("中文目录名称/软件说明书.txt", content));
    EXPECT_EQ(content, "说明");
}

INSTANTIATE_TEST_SUITE_P(Sources, ScanSourceTest,
                         ::testing::Values(Source::Folder, Source::IsoJolietRockRidge,
                                           Source::IsoJolietOnly),
                         sourceName);

TEST(IsoDiscSourceTest, AFileThatIsNotAnImageIsNoDisc)
{
    TempDir dir;
    writeFile(dir / "notes.iso", std::string(70000, 'x'));
    EXPECT_EQ(IsoDiscSource::open(dir / "notes.iso"), nullptr);
    EXPECT_EQ(IsoDiscSource::open(dir / "missing.iso"), nullptr);
}

struct FilterCase
{
    const char* label;
    scan::ScanOptions options;
    std::vector<std::string> lines; // UTF-8, after the root line
};

class FilteredScanTest : public ::testing::TestWithParam<FilterCase>
{
};

TEST_P(FilteredScanTest, ListsWhatTheOptionsAsk)
{
    TempDir disc;
    writeFile(disc / "setup.EXE", "x");
    writeFile(disc / "readme.txt", "x");
    writeFile(disc / ".hidden.txt", "x");
    writeFile(disc / "ro.txt", "x");
    ::chmod((disc / "ro.txt").c_str(), 0444);
    writeFile(disc / "X/Y/Z/tool.exe", "x");
    writeFile(disc / "docs/B.txt", "x");
    writeFile(disc / "docs/a.txt", "x");
    makeFolders(disc / "empty");
    FolderDiscSource source(disc.path());

    scan::ScanListing listing = scan::StartListing('E');
    Progress progress;
    scan::ScanFolderFiltered(source, "", "E:\\", listing, 1, GetParam().options, progress);

    std::vector<std::string> expected{"E:\\"};
    for (const auto& line : GetParam().lines) {
        expected.push_back(gbk(line));
    }
    EXPECT_EQ(listing.lines, expected);
    ASSERT_EQ(listing.icons.size(), listing.lines.size());
}

INSTANTIATE_TEST_SUITE_P(
    Options, FilteredScanTest,
    ::testing::Values(
        FilterCase{"OneExeThreeFoldersDown",
                   {-1, "*.EXE;", scan::AttrNormal},
                   {"\tX", "\t\tY", "\t\t\tZ", "\t\t\t\ttool.exe", "\tsetup.EXE"}},
        FilterCase{"NormalDropsHiddenAndEmptyFoldersSortsWithoutCase",
                   {-1, "*.*", scan::AttrNormal},
                   {"\tX", "\t\tY", "\t\t\tZ", "\t\t\t\ttool.exe", "\tdocs", "\t\ta.txt",
                    "\t\tB.txt", "\treadme.txt", "\tro.txt", "\tsetup.EXE"}},
        FilterCase{"DepthOneListsRootFoldersByNameOnly",
                   {1, "*.*", scan::AttrNormal},
                   {"\tX", "\tdocs", "\tempty", "\treadme.txt", "\tro.txt", "\tsetup.EXE"}},
        FilterCase{"DepthTwoStopsInsideTheSecondLevel",
                   {2, "*.TXT;", scan::AttrNormal},
                   {"\tX", "\t\tY", "\tdocs", "\t\ta.txt", "\t\tB.txt", "\tempty", "\treadme.txt",
                    "\tro.txt"}},
        FilterCase{"HiddenOnly", {-1, "*.*", scan::AttrHidden}, {"\t.hidden.txt"}},
        FilterCase{"ReadOnlyOnly", {-1, "*.*", scan::AttrReadOnly}, {"\tro.txt"}},
        FilterCase{"FileMatchingTwoMasksIsListedOnce",
                   {-1, "*.txt;r*;", scan::AttrNormal},
                   {"\tdocs", "\t\ta.txt", "\t\tB.txt", "\treadme.txt", "\tro.txt"}},
        FilterCase{"EmptyMaskPiecesMatchNothing", {-1, ";;", scan::AttrNormal}, {}}),
    [](const auto& info) { return std::string(info.param.label); });

struct MaskCase
{
    const char* name;
    const char* mask;
    bool matches;
};

class MaskTest : public ::testing::TestWithParam<MaskCase>
{
};

TEST_P(MaskTest, WildcardsIgnoreAsciiCase)
{
    EXPECT_EQ(scan::MatchesMask(GetParam().name, GetParam().mask), GetParam().matches)
        << GetParam().name << " ~ " << GetParam().mask;
}

INSTANTIATE_TEST_SUITE_P(
    Masks, MaskTest,
    ::testing::Values(MaskCase{"setup.exe", "*.EXE", true}, MaskCase{"SETUP.EXE", "*.exe", true},
                      MaskCase{"setup.exe.bak", "*.EXE", false}, MaskCase{"README", "*.*", true},
                      MaskCase{"README", "*.", true}, MaskCase{"a.b", "*.", false},
                      MaskCase{"x.tar.gz", "*.gz", true}, MaskCase{"说明.txt", "??.TXT", true},
                      MaskCase{"说明.txt", "?.txt", false}, MaskCase{"abcabd", "*ab?", true},
                      MaskCase{"ab", "a?c", false}, MaskCase{"中文", "*文", true}));

TEST(ScannerNamesTest, UnrepresentableNamesBecomeQuestionMarksAndAreCounted)
{
    TempDir disc;
    writeFile(disc / "😀.txt", "x");
    writeFile(disc / "한국.doc", "x");
    writeFile(disc / "tab\there.txt", "x");
    writeFile(disc / "fine.txt", "x");
    // Names of a disc mounted without its Unicode names: GBK bytes, kept as they are.
    writeFile(disc / gbk("旧盘.txt"), "x");
    FolderDiscSource source(disc.path());

    scan::ScanListing listing = scan::StartListing('E');
    Progress progress;
    scan::ScanFolder(source, "", "E:\\", listing, 1, progress);

    // In the order of the names' bytes on the disc.
    const std::vector<std::string> expected{
        "E:\\", "\tfine.txt", "\ttab?here.txt", gbk("\t旧盘.txt"), "\t??.doc", "\t?.txt"};
    EXPECT_EQ(listing.lines, expected);
    EXPECT_EQ(listing.renamed, 3);

    // Only names that are written count: a pruned folder's does not.
    writeFile(disc / "😀/notes.doc", "x");
    scan::ScanListing filtered = scan::StartListing('E');
    scan::ScanFolderFiltered(source, "", "E:\\", filtered, 1, {-1, "*.txt;", scan::AttrNormal},
                             progress);
    EXPECT_EQ(filtered.lines.size(), 5U);
    EXPECT_EQ(filtered.renamed, 2);
}

class AbortTest : public ::testing::TestWithParam<std::pair<int, std::vector<std::string>>>
{
};

// Calls to aborted() that answer no before the yes; the scan stops at once on every level.
TEST_P(AbortTest, StopsAtTheNextFolderEntryOnEveryLevel)
{
    TempDir disc;
    makeExampleDisc(disc.path());
    FolderDiscSource source(disc.path());
    for (const bool filtered : {false, true}) {
        scan::ScanListing listing = scan::StartListing('E');
        Progress progress(GetParam().first);
        if (filtered) {
            scan::ScanFolderFiltered(source, "", "E:\\", listing, 1, {}, progress);
        } else {
            scan::ScanFolder(source, "", "E:\\", listing, 1, progress);
        }
        EXPECT_TRUE(listing.aborted);
        EXPECT_EQ(progress.calls, GetParam().first + 1);
        EXPECT_EQ(listing.lines, GetParam().second) << "filtered " << filtered;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Points, AbortTest,
    ::testing::Values(std::make_pair(0, std::vector<std::string>{"E:\\"}),
                      std::make_pair(1, std::vector<std::string>{"E:\\", "\tA"}),
                      std::make_pair(2, std::vector<std::string>{"E:\\", "\tA", "\t\tB"})));

TEST(RunScanTest, AbortedRunWritesNothing)
{
    TempDir disc;
    TempDir box;
    makeExampleDisc(disc.path());
    FolderDiscSource source(disc.path());
    Progress progress(3);
    const auto run = scan::RunScan(source, 'E', std::nullopt, {box.path(), "cd"}, progress);
    EXPECT_EQ(run.ending, scan::ScanEnding::Aborted);
    EXPECT_TRUE(std::filesystem::is_empty(box.path()));
}

TEST(RunScanTest, NothingFoundWritesNothing)
{
    TempDir disc;
    TempDir box;
    FolderDiscSource source(disc.path());
    Progress progress;
    EXPECT_EQ(scan::RunScan(source, 'E', std::nullopt, {box.path(), "cd"}, progress).ending,
              scan::ScanEnding::NothingMatched);
    makeExampleDisc(disc.path());
    EXPECT_EQ(scan::RunScan(source, 'E', scan::ScanOptions{-1, "*.zip;", scan::AttrNormal},
                            {box.path(), "cd"}, progress)
                  .ending,
              scan::ScanEnding::NothingMatched);
    EXPECT_TRUE(std::filesystem::is_empty(box.path()));
}

// The name is checked again under the box's lock when the record is saved: another
// writer may have taken it while the disc was read.
TEST(RunScanTest, ANameTakenMeanwhileInAnySpellingIsLeftAlone)
{
    TempDir disc;
    makeExampleDisc(disc.path());
    FolderDiscSource source(disc.path());
    for (const char* taken : {"cd.CDR", "CD.fmx", "Cd.ifn"}) {
        TempDir box;
        writeFile(box / taken, "old");
        Progress progress;
        EXPECT_EQ(scan::RunScan(source, 'E', std::nullopt, {box.path(), "cd"}, progress).ending,
                  scan::ScanEnding::NameTaken)
            << taken;
        EXPECT_EQ(readFile(box / taken), "old");
        EXPECT_EQ(std::distance(std::filesystem::directory_iterator(box.path()),
                                std::filesystem::directory_iterator()),
                  1)
            << taken;
    }
}

TEST(RunScanTest, AnIconListLeftByAKilledScanIsReplaced)
{
    TempDir disc;
    TempDir box;
    makeExampleDisc(disc.path());
    writeFile(box / "cd.TAG", "0\r\n");
    FolderDiscSource source(disc.path());
    Progress progress;
    ASSERT_EQ(scan::RunScan(source, 'E', std::nullopt, {box.path(), "cd"}, progress).ending,
              scan::ScanEnding::Saved);
    EXPECT_EQ(readFile(box / "cd.TAG"), ExampleTag);
    EXPECT_EQ(readFile(box / "cd.Cdr"), ExampleCdr);
}

TEST(RunScanTest, TheListingIsWrittenOnlyAfterItsIcons)
{
    TempDir disc;
    TempDir box;
    makeExampleDisc(disc.path());
    makeFolders(box / "cd.tag"); // the icons cannot be written
    FolderDiscSource source(disc.path());
    Progress progress;
    EXPECT_THROW(scan::RunScan(source, 'E', std::nullopt, {box.path(), "cd"}, progress),
                 catalog::FileError);
    EXPECT_FALSE(testing_support::exists(box / "cd.Cdr")) << "a listing without icons";
}

// Lists like the folder, except one folder that cannot be read.
class BrokenFolderSource : public platform::DiscSource
{
public:
    BrokenFolderSource(const std::string& root, std::string broken)
        : m_folder(root), m_broken(std::move(broken))
    {}
    bool list(const std::string& relative, std::vector<DiscEntry>& entries) override
    {
        return relative == m_broken ? (entries.clear(), false) : m_folder.list(relative, entries);
    }
    bool readFile(const std::string& relative, std::string& content) override
    {
        return m_folder.readFile(relative, content);
    }

private:
    FolderDiscSource m_folder;
    std::string m_broken;
};

TEST(UnreadableFolderTest, StaysEmptyInTheStandardScanAndIsPrunedWhenFiltered)
{
    TempDir disc;
    makeExampleDisc(disc.path());
    BrokenFolderSource source(disc.path(), "A");
    Progress progress;

    scan::ScanListing standard = scan::StartListing('E');
    scan::ScanFolder(source, "", "E:\\", standard, 1, progress);
    EXPECT_EQ(standard.lines,
              (std::vector<std::string>{"E:\\", "\tA", "\treadme.txt", "\tsetup.exe"}));
    EXPECT_EQ(standard.icons, (std::vector<std::string>{"0", "1", "4", "3"}));

    scan::ScanListing filtered = scan::StartListing('E');
    scan::ScanFolderFiltered(source, "", "E:\\", filtered, 1, {}, progress);
    EXPECT_EQ(filtered.lines, (std::vector<std::string>{"E:\\", "\treadme.txt", "\tsetup.exe"}));
}

TEST(FolderDiscSourceTest, ReadsAttributesFromModeBitsAndCannotListAClosedFolder)
{
    TempDir disc;
    writeFile(disc / "ro.txt", "x");
    writeFile(disc / ".profile", "x");
    makeFolders(disc / "closed");
    ::chmod((disc / "ro.txt").c_str(), 0444);
    FolderDiscSource source(disc.path());
    std::vector<DiscEntry> entries;
    ASSERT_TRUE(source.list("", entries));
    ASSERT_EQ(entries.size(), 3U);
    EXPECT_TRUE(entries[0].hidden && !entries[0].readOnly); // .profile
    EXPECT_TRUE(entries[1].isFolder);                       // closed
    EXPECT_TRUE(entries[2].readOnly && !entries[2].hidden); // ro.txt

    ::chmod((disc / "closed").c_str(), 0);
    if (::geteuid() != 0) { // root reads every folder
        EXPECT_FALSE(source.list("closed", entries));
        EXPECT_TRUE(entries.empty());
    }
    EXPECT_FALSE(source.list("../", entries));
}

TEST(FolderDiscSourceTest, LinksLeavingTheDiscOrLoopingAreListedAsFiles)
{
    TempDir disc;
    writeFile(disc / "A/inside.txt", "x");
    std::filesystem::create_directory_symlink("..", disc / "A/up");
    std::filesystem::create_directory_symlink(".", disc / "A/self");
    std::filesystem::create_directory_symlink("/", disc / "A/host");
    std::filesystem::create_directory_symlink("A", disc / "toA");
    FolderDiscSource source(disc.path());

    scan::ScanListing listing = scan::StartListing('E');
    Progress progress;
    scan::ScanFolder(source, "", "E:\\", listing, 1, progress);
    const std::vector<std::string> expected{
        "E:\\",  "\tA",      "\t\thost",       "\t\tinside.txt", "\t\tself", "\t\tup",
        "\ttoA", "\t\thost", "\t\tinside.txt", "\t\tself",       "\t\tup"};
    EXPECT_EQ(listing.lines, expected);
}

struct ReadmeCase
{
    std::vector<const char*> files;
    const char* found;
};

class ReadmeTest : public ::testing::TestWithParam<ReadmeCase>
{
};

TEST_P(ReadmeTest, FirstTextFileWithAReadmeName)
{
    TempDir disc;
    for (const char* name : GetParam().files) {
        writeFile(disc / name, "x");
    }
    makeFolders(disc / "README.TXT"); // a folder is never the read-me
    FolderDiscSource source(disc.path());
    EXPECT_EQ(scan::FindReadmeFile(source), GetParam().found);
}

INSTANTIATE_TEST_SUITE_P(Names, ReadmeTest,
                         ::testing::Values(ReadmeCase{{"ReadMe.TXT", "setup.exe"}, "ReadMe.TXT"},
                                           ReadmeCase{{"软件说明.txt", "zz.txt"}, "软件说明.txt"},
                                           ReadmeCase{{"读我.TxT"}, "读我.TxT"},
                                           ReadmeCase{{"简介.doc", "readme"}, ""},
                                           ReadmeCase{{"a简介.txt", "b说明.txt"}, "a简介.txt"},
                                           ReadmeCase{{"readme.txt.bak", "notes.txt"}, ""}));

} // namespace
