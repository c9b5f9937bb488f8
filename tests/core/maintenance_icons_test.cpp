#include "maintenance/maintenance.h"

#include "catalog/library.h"
#include "catalog/disk.h"
#include "catalog/record_set.h"
#include "tests/support/temp_library.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <string>
#include <vector>

#include <unistd.h>

namespace {

using testing_support::exists;
using testing_support::gbk;
using testing_support::readFile;
using testing_support::TempDir;
using testing_support::writeFile;

class IconRebuild : public ::testing::Test
{
protected:
    std::string box() const { return dir / "Orlendy/box/"; }
    TempDir dir;
};

TEST_F(IconRebuild, OldTagKeepsFoldersAndGivesFilesTheClassOfTheirExtension)
{
    // An empty folder stays a folder; the .JPG whose old class was wrong becomes 6.
    writeFile(box() + "cd.Cdr", "CD\r\n\tEMPTY\r\n\tPHOTO.JPG\r\n\tDIR\r\n\t\tA.ZIP\r\n");
    writeFile(box() + "cd.Tag", "0\r\n1\r\n8\r\n1\r\n1\r\n");

    EXPECT_EQ(maintenance::RebuildTagFromOldTag(box() + "cd.Cdr"),
              maintenance::RebuildStatus::Rebuilt);
    EXPECT_EQ(readFile(box() + "cd.Tag"), "0\r\n1\r\n6\r\n1\r\n1\r\n");
}

TEST_F(IconRebuild, WithoutOldTagAnEmptyFolderBecomesAFile)
{
    writeFile(box() + "cd.cdr", "CD\r\n\tDISK1.ZIP\r\n\tDIR\r\n\t\tREADME\r\n");
    writeFile(box() + "root.cdr", "ROOT ONLY\r\n");

    const auto counts = maintenance::RebuildIconsUnder(box());

    EXPECT_EQ(counts.rebuilt, 2);
    EXPECT_TRUE(counts.skippedUtf8.empty());
    EXPECT_EQ(readFile(box() + "cd.tag"), "0\r\n5\r\n1\r\n8\r\n");
    EXPECT_EQ(readFile(box() + "root.tag"), "0\r\n");
}

// Every record is rebuilt once, the one named ".cdr" (an empty caption) too; where two
// spellings of its icon file stand side by side, the one the window reads is written and
// the other goes; a linked box leads out of the library and is left alone.
TEST_F(IconRebuild, EveryRecordOnceInTheSpellingReadersTakeAndNeverOutsideTheLibrary)
{
    TempDir outside;
    writeFile(box() + ".cdr", "E:\\\r\n\tA.TXT\r\n");
    writeFile(box() + "d.Cdr", "E:\\\r\n\tDIR\r\n");
    writeFile(box() + "d.tag", "0\r\n1\r\n");
    writeFile(box() + "d.TAG", "0\r\n8\r\n");
    writeFile(outside / "x.Cdr", "E:\\\r\n");
    writeFile(outside / "x.tag", "not ours");
    ASSERT_EQ(::symlink(outside.path().c_str(), (box() + "linked").c_str()), 0);

    const auto counts = maintenance::RebuildIconsUnder(box());

    EXPECT_EQ(counts.rebuilt, 2);
    EXPECT_TRUE(counts.skippedUtf8.empty());
    EXPECT_EQ(readFile(box() + ".tag"), "0\r\n4\r\n");
    EXPECT_EQ(readFile(box() + "d.tag"), "0\r\n1\r\n");
    EXPECT_FALSE(exists(box() + "d.TAG"));
    EXPECT_EQ(catalog::FindRecordFile(box(), "d", ".TAG"), box() + "d.tag");
    EXPECT_EQ(readFile(outside / "x.tag"), "not ours");
}

// ".Cdr" alone is the record of an empty caption: its own old icon file is the one read
// and written, by the single rebuild and by the walk, and no sibling's.
TEST_F(IconRebuild, ABareCdrIsTheRecordOfAnEmptyCaption)
{
    writeFile(box() + ".Cdr", "E:\\\r\n\tDIR\r\n\tPHOTO.JPG\r\n");
    writeFile(box() + ".TAG", "0\r\n1\r\n8\r\n");
    writeFile(box() + "x.Cdr", "E:\\\r\n\tA.TXT\r\n");
    writeFile(box() + "x.tag", "0\r\n8\r\n");

    EXPECT_EQ(maintenance::RebuildTagFromOldTag(box() + ".Cdr"),
              maintenance::RebuildStatus::Rebuilt);
    EXPECT_EQ(readFile(box() + ".TAG"), "0\r\n1\r\n6\r\n");
    EXPECT_EQ(readFile(box() + "x.tag"), "0\r\n8\r\n");

    writeFile(box() + ".TAG", "0\r\n8\r\n8\r\n"); // DIR is a file now
    std::vector<std::string> started;
    maintenance::RebuildHooks hooks;
    hooks.starting = [&started](const std::string& nameGbk) { started.push_back(nameGbk); };
    const auto counts = maintenance::RebuildIconsUnder(box(), hooks);

    EXPECT_EQ(counts.rebuilt, 2);
    EXPECT_TRUE(counts.skippedUtf8.empty());
    std::sort(started.begin(), started.end());
    EXPECT_EQ(started, (std::vector<std::string>{"", "x"}));
    EXPECT_EQ(readFile(box() + ".TAG"), "0\r\n8\r\n6\r\n");
    EXPECT_FALSE(exists(box() + ".tag"));
    EXPECT_EQ(readFile(box() + "x.tag"), "0\r\n4\r\n");
}

// Where the old file has no number for a node (it is short, or a line is not a number
// from there on, or there is no old file), the node is what its tree says: a folder when
// it has children, a file of its extension's class otherwise.
struct OldTagCase
{
    const char* name;
    const char* oldTag; // nullptr: no old file
    const char* expected;
};

class IconRebuildOldTag : public IconRebuild, public testing::WithParamInterface<OldTagCase>
{
};

TEST_P(IconRebuildOldTag, NodesWithoutAnOldNumberFollowTheTree)
{
    // An empty folder EMPTY, a folder DIR with a file, then the file B.TXT and the empty E.
    writeFile(box() + "cd.cdr", "CD\r\n\tEMPTY\r\n\tDIR\r\n\t\tC.ZIP\r\n\tB.TXT\r\n\tE\r\n");
    if (GetParam().oldTag != nullptr) {
        writeFile(box() + "cd.tag", GetParam().oldTag);
    }

    const auto counts = maintenance::RebuildIconsUnder(box());

    EXPECT_EQ(counts.rebuilt, 1);
    EXPECT_TRUE(counts.skippedUtf8.empty());
    EXPECT_EQ(readFile(box() + "cd.tag"), GetParam().expected);
    EXPECT_EQ(maintenance::RebuildDoneMessage(counts), "重建图标索引完成！");
}

INSTANTIATE_TEST_SUITE_P(
    Lines, IconRebuildOldTag,
    testing::Values(
        OldTagCase{"whole", "0\r\n1\r\n8\r\n8\r\n8\r\n1\r\n", "0\r\n1\r\n8\r\n5\r\n4\r\n1\r\n"},
        OldTagCase{"short", "0\r\n1\r\n", "0\r\n1\r\n1\r\n5\r\n4\r\n8\r\n"},
        OldTagCase{"word", "0\r\n1\r\nx\r\n1\r\n1\r\n1\r\n", "0\r\n1\r\n1\r\n5\r\n4\r\n8\r\n"},
        OldTagCase{"empty", "", "0\r\n8\r\n1\r\n5\r\n4\r\n8\r\n"},
        OldTagCase{"none", nullptr, "0\r\n8\r\n1\r\n5\r\n4\r\n8\r\n"}),
    [](const auto& info) { return std::string(info.param.name); });

// Only a listing that cannot be read is left alone; the report names it with the reader's
// own reason.
TEST_F(IconRebuild, BrokenListingsAreSkippedAndReportedWithTheirReason)
{
    writeFile(box() + "good.cdr", "CD\r\n\tA.JPG\r\n");
    writeFile(box() + "good.tag", "0\r\n8\r\n");
    writeFile(box() + "broken.cdr", "CD\r\n\t\t\tTOO DEEP\r\n");
    writeFile(box() + "broken.tag", "0\r\n1\r\n");
    writeFile(box() + "short.cdr", "CD\r\n\tA\r\n\tB\r\n");
    writeFile(box() + "short.tag", "0\r\n1\r\n");
    writeFile(dir / "Orlendy/" + catalog::ResultsFolderName() + "/cat/x.tgt", "walked, no record");

    const auto counts = maintenance::RebuildIconsUnder(dir / "Orlendy/");

    EXPECT_EQ(counts.rebuilt, 2);
    EXPECT_FALSE(counts.aborted);
    const std::string reason =
        catalog::DisplayPath(box() + "broken.cdr") + ": Invalid level (3) for item \"TOO DEEP\"";
    EXPECT_EQ(counts.skippedUtf8, std::vector<std::string>{reason});
    EXPECT_EQ(readFile(box() + "good.tag"), "0\r\n6\r\n");
    EXPECT_EQ(readFile(box() + "broken.tag"), "0\r\n1\r\n");
    EXPECT_EQ(readFile(box() + "short.tag"), "0\r\n1\r\n8\r\n");
    EXPECT_EQ(maintenance::RebuildDoneMessage(counts),
              "重建图标索引完成！\r1张光盘无法重建，已跳过。");
    EXPECT_EQ(maintenance::RebuildReport(counts),
              "重建图标索引完成！\r1张光盘无法重建，已跳过。\r\r" + reason);
    EXPECT_EQ(maintenance::RebuildDoneMessage({}), "重建图标索引完成！");
    EXPECT_EQ(maintenance::RebuildReport({}), "重建图标索引完成！");
}

TEST(IconRebuildReport, ListsTheFirstSkippedRecordsOnly)
{
    maintenance::RebuildCounts counts;
    for (std::size_t i = 0; i <= maintenance::SkippedRecordsShown; ++i) {
        counts.skippedUtf8.push_back("r" + std::to_string(i));
    }
    const std::string report = maintenance::RebuildReport(counts);
    EXPECT_NE(report.find("\rr19\r……"), std::string::npos) << report;
    EXPECT_EQ(report.find("r20"), std::string::npos) << report;
}

// The records of a box are rebuilt side by side, so which two are done is not fixed.
TEST_F(IconRebuild, AbortStopsTheWalkAndKeepsWhatWasRebuilt)
{
    const std::string inner = box() + gbk("子盒/");
    for (const char* name : {"a", "b", "c"}) {
        writeFile(inner + name + ".cdr", "CD\r\n\tX.TXT\r\n");
    }
    int started = 0;
    int advanced = 0;
    maintenance::RebuildHooks hooks;
    hooks.starting = [&](const std::string&) { ++started; };
    hooks.advanced = [&] { ++advanced; };
    hooks.aborted = [&] { return started == 2; };

    const auto counts = maintenance::RebuildIconsUnder(box(), hooks);

    EXPECT_TRUE(counts.aborted);
    EXPECT_EQ(counts.rebuilt, 2);
    EXPECT_EQ(advanced, 2);
    int tags = 0;
    for (const char* name : {"a", "b", "c"}) {
        tags += exists(inner + name + ".tag") ? 1 : 0;
    }
    EXPECT_EQ(tags, 2);
}

// Up to SkippedRecordsShown reasons are listed whole; only more than that end in "……".
TEST(IconRebuildReport, EllipsisOnlyWhenReasonsAreLeftOut)
{
    for (const std::size_t skipped : {std::size_t{1}, maintenance::SkippedRecordsShown,
                                      maintenance::SkippedRecordsShown + 1}) {
        maintenance::RebuildCounts counts;
        for (std::size_t i = 0; i < skipped; ++i) {
            counts.skippedUtf8.push_back("r" + std::to_string(i));
        }
        const std::string report = maintenance::RebuildReport(counts);
        EXPECT_EQ(report.ends_with("\r……"), skipped > maintenance::SkippedRecordsShown) << skipped;
        std::size_t listed = 0;
        for (auto at = report.find("\rr"); at != std::string::npos; at = report.find("\rr", at + 1)) {
            ++listed;
        }
        EXPECT_EQ(listed, std::min(skipped, maintenance::SkippedRecordsShown)) << report;
    }
}

// A new icon file that could not be put in place changes nothing: the record keeps every
// file it had, the other spelling of its icon file included.
TEST_F(IconRebuild, AFailedReplacementKeepsTheOldIconFiles)
{
    writeFile(box() + "cd.Cdr", "CD\r\n\tA.ZIP\r\n");
    writeFile(box() + "cd.Tag", "0\r\n8\r\n");
    writeFile(box() + "cd.TAG", "0\r\n9\r\n");
    maintenance::RebuildCounts counts;
    {
        const catalog::ScopedDiskCalls failing({}, {}, [](const std::string& from, const std::string& to) {
            if (catalog::IsRecordFileName(to.substr(to.rfind('/') + 1))) {
                errno = EIO;
                return -1;
            }
            return ::rename(from.c_str(), to.c_str());
        });
        counts = maintenance::RebuildIconsUnder(box());
    }
    EXPECT_EQ(counts.rebuilt, 0);
    EXPECT_EQ(counts.skippedUtf8.size(), 1u);
    EXPECT_EQ(testing_support::snapshot(box()), "cd.Cdr=CD\r\n\tA.ZIP\r\n\ncd.TAG=0\r\n9\r\n\ncd.Tag=0\r\n8\r\n\n");
}

} // namespace
