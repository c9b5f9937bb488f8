// The scanner over real folders and ISO images made at run time: exact record bytes,
// the filtered scan's options, names GBK cannot hold, abort and unreadable folders.

#include "scan/scanner.h"

#include "catalog/text.h"
#include "platform/linux/folder_disc_source.h"
#include "platform/linux/iso_disc_source.h"
#include "tests/core/disc_trees.h"
#include "tests/support/cli_runner.h"
#include "tests/support/temp_library.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
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

class IsoHiddenTest : public ::testing::TestWithParam<bool>
{
};

// The hidden flag of an image's directory records marks entries, so that a filtered scan
// leaves them out unless the hidden attribute is chosen.
TEST_P(IsoHiddenTest, TheImagesHiddenFlagMarksEntries)
{
    if (!testing_support::ProgramOnPath("genisoimage")) {
        GTEST_SKIP() << "genisoimage is not installed";
    }
    TempDir source;
    TempDir work;
    writeFile(source / "visible.txt", "v");
    writeFile(source / "secret.txt", "s");
    writeFile(source / "中文目录/隐藏.txt", "x");
    writeFile(source / "中文目录/公开.txt", "x");
    writeFile(source / "藏/inner.txt", "x");
    std::vector<std::string> args{"-quiet", "-input-charset", "utf-8", "-J"};
    if (GetParam()) {
        args.push_back("-R");
    }
    args.insert(args.end(), {"-hidden", "secret.txt", "-hidden", "隐藏.txt", "-hidden", "藏", "-o",
                             work / "disc.iso", source.path()});
    ASSERT_EQ(testing_support::RunProgram("genisoimage", args).status, 0);
    const auto disc = IsoDiscSource::open(work / "disc.iso");
    ASSERT_NE(disc, nullptr);

    const auto hiddenNames = [&disc](const std::string& folder) {
        std::vector<DiscEntry> entries;
        EXPECT_TRUE(disc->list(folder, entries));
        std::vector<std::string> names;
        for (const DiscEntry& entry : entries) {
            if (entry.hidden) {
                names.push_back(entry.nameUtf8);
            }
        }
        return names;
    };
    EXPECT_EQ(hiddenNames(""), (std::vector<std::string>{"secret.txt", "藏"}));
    EXPECT_EQ(hiddenNames("中文目录"), (std::vector<std::string>{"隐藏.txt"}));

    Progress progress;
    scan::ScanListing normal = scan::StartListing('E');
    scan::ScanFolderFiltered(*disc, "", "E:\\", normal, 1, {}, progress);
    EXPECT_EQ(normal.lines,
              (std::vector<std::string>{"E:\\", gbk("\t中文目录"), gbk("\t\t公开.txt"), gbk("\t藏"),
                                        "\t\tinner.txt", "\tvisible.txt"}));
    scan::ScanListing hidden = scan::StartListing('E');
    scan::ScanFolderFiltered(*disc, "", "E:\\", hidden, 1, {-1, "*.*", scan::AttrHidden}, progress);
    EXPECT_EQ(hidden.lines, (std::vector<std::string>{"E:\\", gbk("\t中文目录"),
                                                      gbk("\t\t隐藏.txt"), "\tsecret.txt"}));
}

INSTANTIATE_TEST_SUITE_P(Images, IsoHiddenTest, ::testing::Values(false, true),
                         [](const auto& info) {
                             return std::string(info.param ? "JolietRockRidge" : "JolietOnly");
                         });

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

struct NameCase
{
    const char* label;
    std::string nameOnDisc; // UTF-8, or raw GBK bytes
    bool folder;
    std::string recorded; // GBK
    int renamed;
};

class RecordNameTest : public ::testing::TestWithParam<NameCase>
{
};

// Names that would break the tree text or the node paths are written with "?".
TEST_P(RecordNameTest, WritesWhatTheRecordCanHold)
{
    TempDir disc;
    const NameCase& param = GetParam();
    if (param.folder) {
        makeFolders(disc / param.nameOnDisc);
    } else {
        writeFile(disc / param.nameOnDisc, "x");
    }
    FolderDiscSource source(disc.path());
    scan::ScanListing listing = scan::StartListing('E');
    Progress progress;
    scan::ScanFolder(source, "", "E:\\", listing, 1, progress);

    EXPECT_EQ(listing.lines, (std::vector<std::string>{"E:\\", "\t" + param.recorded}));
    EXPECT_EQ(listing.icons[1] == "1", param.folder);
    EXPECT_EQ(listing.renamed, param.renamed);
}

INSTANTIATE_TEST_SUITE_P(
    Names, RecordNameTest,
    ::testing::Values(NameCase{"Backslash", "back\\slash.txt", false, "back?slash.txt", 1},
                      NameCase{"BackslashInChinese", "中\\文.txt", false, gbk("中?文.txt"), 1},
                      // 0x81 0x5C is one GBK character whose trail byte is a backslash.
                      NameCase{"RawGbkTrailByteStays", "\x81\x5C.txt", false, "\x81\x5C.txt", 0},
                      NameCase{"RawGbkWithBackslash", "\x81\x5C\\x.txt", false, "\x81\x5C?x.txt",
                               1},
                      NameCase{"LeadingBlankFolder", " 前导目录", true, gbk("?前导目录"), 1},
                      NameCase{"EachLeadingBlank", "  two.txt", false, "??two.txt", 1},
                      NameCase{"LeadingTabAndBlank", "\t lead.txt", false, "??lead.txt", 1},
                      NameCase{"OnlyBlanks", "   ", true, "???", 1},
                      NameCase{"InnerAndTrailingBlanksStay", "a b  ", false, "a b  ", 0},
                      NameCase{"FullWidthSpaceStays", "　全角.txt", false, gbk("　全角.txt"), 0}),
    [](const auto& info) { return std::string(info.param.label); });

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
    writeFile(disc / "Z/z.txt", "x");
    std::filesystem::create_directory_symlink("..", disc / "A/up");
    std::filesystem::create_directory_symlink(".", disc / "A/self");
    std::filesystem::create_directory_symlink("/", disc / "A/host");
    std::filesystem::create_directory_symlink("Z", disc / "B");
    std::filesystem::create_directory_symlink("A", disc / "toA");
    FolderDiscSource source(disc.path());

    // B reaches Z before Z itself comes up: followed once, and the real folder is still
    // entered. toA comes after A was entered: a file.
    scan::ScanListing listing = scan::StartListing('E');
    Progress progress;
    scan::ScanFolder(source, "", "E:\\", listing, 1, progress);
    const std::vector<std::string> expected{"E:\\",     "\tA",       "\t\thost", "\t\tinside.txt",
                                            "\t\tself", "\t\tup",    "\tB",      "\t\tz.txt",
                                            "\tZ",      "\t\tz.txt", "\ttoA"};
    EXPECT_EQ(listing.lines, expected);
    EXPECT_EQ(listing.icons,
              (std::vector<std::string>{"0", "1", "8", "4", "8", "8", "1", "4", "1", "4", "8"}));

    // Every walk starts anew: the same source gives the same listing again.
    scan::ScanListing again = scan::StartListing('E');
    scan::ScanFolder(source, "", "E:\\", again, 1, progress);
    EXPECT_EQ(again.lines, expected);
}

TEST(FolderDiscSourceTest, PathsLongerThanPathMaxAreScannedCompletely)
{
    TempDir disc;
    const std::string name(24, 'd');
    const int levels = 200; // 5,000 bytes of path, and more folders than are kept open
    const disc_trees::DeepChain chain(disc.path(), levels, name);
    ASSERT_GT(chain.relative(levels).size(), std::size_t{PATH_MAX});
    FolderDiscSource source(disc.path());
    // On a second thread, so that closing folders late on a deep walk is covered too.
    source.countRegularBytes(FolderDiscSource::SizingThread::Always);

    scan::ScanListing listing = scan::StartListing('E');
    Progress progress;
    scan::ScanFolder(source, "", "E:\\", listing, 1, progress);
    EXPECT_EQ(source.regularBytesCounted(), 3u * (levels + 1));

    std::vector<std::string> expected{"E:\\"};
    for (int level = 0; level < levels; ++level) {
        expected.push_back(std::string(static_cast<std::size_t>(level) + 1, '\t') + name);
    }
    for (int level = levels; level >= 0; --level) {
        const std::string tabs(static_cast<std::size_t>(level) + 1, '\t');
        expected.push_back(tabs + "z");
        expected.push_back(tabs + "f.txt");
    }
    EXPECT_EQ(listing.lines, expected);

    std::string content;
    EXPECT_TRUE(source.readFile(chain.relative(levels) + "/f.txt", content));
    EXPECT_EQ(content, "xyz");
}

// Thirty levels, each folder holding two links to the next level's folder: 2^30 paths
// without a loop. Each folder is gone into once through the links, and once as itself.
TEST(FolderDiscSourceTest, LinksFanningOutAreFollowedOncePerFolder)
{
    TempDir disc;
    const int levels = 30;
    const auto level = [](int index) { return "L" + std::to_string(100 + index); };
    for (int index = 0; index < levels; ++index) {
        writeFile(disc / ("levels/" + level(index) + "/f"), "x");
        if (index + 1 < levels) {
            for (const char* link : {"a", "b"}) {
                std::filesystem::create_directory_symlink(
                    "../" + level(index + 1), disc / ("levels/" + level(index) + "/" + link));
            }
        }
    }
    FolderDiscSource source(disc.path());
    ::alarm(20); // an endless walk ends the test run instead of hanging it
    const auto start = std::chrono::steady_clock::now();
    scan::ScanListing listing = scan::StartListing('E');
    Progress progress;
    scan::ScanFolder(source, "", "E:\\", listing, 1, progress);
    const auto took = std::chrono::steady_clock::now() - start;
    ::alarm(0);

    EXPECT_LT(took, std::chrono::seconds(2));
    int followed = 0;
    int folderLines = 0;
    for (std::size_t i = 1; i < listing.lines.size(); ++i) {
        const bool folder = listing.icons[i] == "1";
        folderLines += folder ? 1 : 0;
        const std::string name = listing.lines[i].substr(listing.lines[i].rfind('\t') + 1);
        followed += folder && name == "a" ? 1 : 0;
        EXPECT_FALSE(folder && name == "b") << "line " << i;
    }
    EXPECT_EQ(followed, levels - 1);               // one chain of links, L101 .. L129
    EXPECT_EQ(folderLines, 1 + levels + followed); // "levels", the real folders, the chain
}

// The capacity of a folder drive, gathered by the standard scan's walk: the regular files of
// each folder once, none through a link.
class CountingTest : public ::testing::TestWithParam<FolderDiscSource::SizingThread>
{
};

TEST_P(CountingTest, TheStandardScanCountsTheFolderSizeOnItsWay)
{
    TempDir disc;
    TempDir outside;
    writeFile(disc / "A/a.bin", std::string(1000, 'a'));
    writeFile(disc / "A/B/b.bin", std::string(234, 'b'));
    writeFile(disc / ".hidden", std::string(10, 'h'));
    writeFile(disc / "Z/z.bin", std::string(7, 'z'));
    writeFile(outside / "big.bin", std::string(5000, 'o'));
    std::filesystem::create_directory_symlink("Z", disc / "0first"); // followed before Z
    std::filesystem::create_directory_symlink("A", disc / "toA");
    std::filesystem::create_directory_symlink(outside.path(), disc / "out");
    std::filesystem::create_symlink(outside / "big.bin", disc / "big.bin");
    ASSERT_EQ(::mkfifo((disc / "pipe").c_str(), 0644), 0);

    FolderDiscSource source(disc.path());
    source.countRegularBytes(GetParam());
    scan::ScanListing listing = scan::StartListing('E');
    Progress progress;
    scan::ScanFolder(source, "", "E:\\", listing, 1, progress);
    EXPECT_EQ(source.regularBytesCounted(), 1251u);
    EXPECT_EQ(FolderDiscSource(disc.path()).regularFileBytes(), 1251u);
}

INSTANTIATE_TEST_SUITE_P(Threads, CountingTest,
                         ::testing::Values(FolderDiscSource::SizingThread::Never,
                                           FolderDiscSource::SizingThread::Always),
                         [](const auto& info) {
                             return std::string(info.param == FolderDiscSource::SizingThread::Never
                                                    ? "OnTheWalksThread"
                                                    : "OnASecondThread");
                         });

struct SpecialReadmeCase
{
    const char* label;
    void (*make)(const std::string& disc);
    const char* proposed; // FindReadmeFile's answer
};

class SpecialFileTest : public ::testing::TestWithParam<SpecialReadmeCase>
{
};

// A FIFO named README.TXT must not block the read-me look-up; links and special files are
// listed but never read.
TEST_P(SpecialFileTest, OnlyRegularFilesAreProposedAndRead)
{
    TempDir disc;
    TempDir outside;
    writeFile(outside / "secret.txt", "host");
    writeFile(disc / "说明.txt", "disc");
    GetParam().make(disc.path());
    FolderDiscSource source(disc.path());
    ::alarm(20);

    EXPECT_EQ(scan::FindReadmeFile(source), GetParam().proposed);
    std::string content;
    EXPECT_FALSE(source.readFile("README.TXT", content));
    EXPECT_EQ(content, "");
    EXPECT_TRUE(source.readFile("说明.txt", content));
    EXPECT_EQ(content, "disc");

    scan::ScanListing listing = scan::StartListing('E');
    Progress progress;
    scan::ScanFolder(source, "", "E:\\", listing, 1, progress);
    EXPECT_EQ(listing.lines, (std::vector<std::string>{"E:\\", "\tREADME.TXT", gbk("\t说明.txt")}));
    ::alarm(0);
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, SpecialFileTest,
    ::testing::Values(SpecialReadmeCase{"Fifo",
                                        [](const std::string& disc) {
                                            ASSERT_EQ(::mkfifo((disc + "README.TXT").c_str(), 0644),
                                                      0);
                                        },
                                        "说明.txt"},
                      SpecialReadmeCase{"LinkOutOfTheDisc",
                                        [](const std::string& disc) {
                                            std::filesystem::create_symlink("/etc/hostname",
                                                                            disc + "README.TXT");
                                        },
                                        "说明.txt"},
                      SpecialReadmeCase{"DanglingLink",
                                        [](const std::string& disc) {
                                            std::filesystem::create_symlink("nowhere",
                                                                            disc + "README.TXT");
                                        },
                                        "说明.txt"}),
    [](const auto& info) { return std::string(info.param.label); });

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
