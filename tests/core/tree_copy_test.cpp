#include "organize/tree_copy.h"

#include "catalog/disk.h"
#include "catalog/library.h"
#include "catalog/record_set.h"
#include "organize/parallel.h"
#include "tests/support/temp_library.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <numeric>
#include <optional>
#include <string>

namespace {

namespace fs = std::filesystem;
using testing_support::exists;
using testing_support::gbk;
using testing_support::makeFolders;
using testing_support::readFile;
using testing_support::snapshot;
using testing_support::TempDir;
using testing_support::writeFile;

class TreeCopy : public ::testing::Test
{
protected:
    std::string source() const { return dir / "src/"; }
    std::string target() const { return dir / "dst/"; }
    TempDir dir;
};

struct NameCase
{
    const char* name;
    bool record;
};

class RecordNames : public ::testing::TestWithParam<NameCase>
{
};

TEST_P(RecordNames, OnlyRecordFilesAreCopied)
{
    TempDir dir;
    writeFile(dir / "src/" + GetParam().name, "bytes");
    EXPECT_EQ(catalog::IsRecordFileName(GetParam().name), GetParam().record);
    organize::CopyRecordTree(dir / "src/", dir / "dst/");
    EXPECT_EQ(exists(dir / "dst/" + GetParam().name), GetParam().record);
}

INSTANTIATE_TEST_SUITE_P(
    Extensions, RecordNames,
    ::testing::Values(NameCase{"a.CDR", true}, NameCase{"a.cdr", true}, NameCase{"a.Cdr", true},
                      NameCase{"a.mx", true}, NameCase{"a.Tag", true}, NameCase{"a.TGT", true},
                      NameCase{"a.fid", true}, NameCase{"a.FMx", true}, NameCase{"a.fin", true},
                      NameCase{"a.Ifn", true}, NameCase{".cdr", true}, NameCase{"a.txt", false},
                      NameCase{"cdr", false}, NameCase{"a.cdr.bak", false},
                      NameCase{"a.cdrx", false}, NameCase{"a.", false}, NameCase{"a", false}));

TEST_F(TreeCopy, CopiesRecordsFoldersAndResultsButNothingElse)
{
    const std::string box = gbk("软件光盘");
    writeFile(source() + box + "/" + gbk("办公") + ".Cdr", "tree\r\n");
    writeFile(source() + box + "/" + gbk("办公") + ".tag", "3\r\n");
    writeFile(source() + box + "/notes.txt", "not a record");
    writeFile(source() + box + "/.hidden.Mx", "hidden");
    makeFolders(source() + box + "/empty/deeper");
    makeFolders(source() + ".hidden-box");
    writeFile(source() + catalog::ResultsFolderName() + "/cat/x.tgt", "pointer");
    writeFile(source() + catalog::ResultsFolderName() + "/cat.fin", "about");

    organize::CopyRecordTree(source(), target());

    const std::string expected = ".hidden-box/\n"
                                 "\xC8\xED\xBC\xFE\xB9\xE2\xC5\xCC/\n"
                                 "\xC8\xED\xBC\xFE\xB9\xE2\xC5\xCC/.hidden.Mx=hidden\n"
                                 "\xC8\xED\xBC\xFE\xB9\xE2\xC5\xCC/empty/\n"
                                 "\xC8\xED\xBC\xFE\xB9\xE2\xC5\xCC/empty/deeper/\n"
                                 "\xC8\xED\xBC\xFE\xB9\xE2\xC5\xCC/\xB0\xEC\xB9\xAB.Cdr=tree\r\n\n"
                                 "\xC8\xED\xBC\xFE\xB9\xE2\xC5\xCC/\xB0\xEC\xB9\xAB.tag=3\r\n\n"
                                 "\xFF\xB2\xE9\xD5\xD2\xBD\xE1\xB9\xFB/\n"
                                 "\xFF\xB2\xE9\xD5\xD2\xBD\xE1\xB9\xFB/cat/\n"
                                 "\xFF\xB2\xE9\xD5\xD2\xBD\xE1\xB9\xFB/cat.fin=about\n"
                                 "\xFF\xB2\xE9\xD5\xD2\xBD\xE1\xB9\xFB/cat/x.tgt=pointer\n";
    EXPECT_EQ(snapshot(target()), expected);
    // The source is left as it was.
    EXPECT_TRUE(exists(source() + box + "/notes.txt"));
}

TEST_F(TreeCopy, OverwritesSameNamesAndKeepsOtherTargetFiles)
{
    writeFile(source() + "a.cdr", "new");
    writeFile(source() + "sub/b.mx", "new b");
    writeFile(target() + "a.cdr", "old, longer than the new one");
    writeFile(target() + "z.ifn", "kept");
    writeFile(target() + "sub/c.txt", "kept too");

    organize::CopyRecordTree(source(), target());

    EXPECT_EQ(snapshot(target()),
              "a.cdr=new\nsub/\nsub/b.mx=new b\nsub/c.txt=kept too\nz.ifn=kept\n");
}

TEST_F(TreeCopy, OtherSpellingOfTheExtensionIsReplaced)
{
    writeFile(source() + "a.CDR", "source");
    writeFile(source() + "b.cdr", "b");
    writeFile(target() + "a.cdr", "old");
    writeFile(target() + "a.Cdr", "older");
    writeFile(target() + "a.cdr.bak", "not a spelling");
    writeFile(target() + "A.cdr", "another base name");

    organize::CopyRecordTree(source(), target());

    EXPECT_EQ(snapshot(target()),
              "A.cdr=another base name\na.CDR=source\na.cdr.bak=not a spelling\nb.cdr=b\n");
}

TEST_F(TreeCopy, MissingSourceGivesAnEmptyTarget)
{
    organize::CopyRecordTree(dir / "nothing/", target());
    EXPECT_TRUE(catalog::IsFolder(target()));
    EXPECT_EQ(snapshot(target()), "");
}

TEST_F(TreeCopy, TargetWithoutParentOrTakenByAFileFails)
{
    writeFile(source() + "a.cdr", "x");
    EXPECT_THROW(organize::CopyRecordTree(source(), dir / "no/such/"), catalog::FileError);
    EXPECT_FALSE(exists(dir / "no"));
    writeFile(dir / "file", "plain");
    EXPECT_THROW(organize::CopyRecordTree(source(), dir / "file/"), catalog::FileError);
    EXPECT_EQ(readFile(dir / "file"), "plain");
}

// A folder that cannot be listed is named and counted, and the rest of the tree still
// arrives. Permissions do not stop root: the copy then runs as nobody.
TEST_F(TreeCopy, UnlistableSourceFolderIsNamedAndTheRestIsCopied)
{
    writeFile(source() + "a.cdr", "x");
    writeFile(source() + "locked/b.cdr", "y");
    writeFile(source() + "later/c.cdr", "z");
    ASSERT_EQ(::chmod((source() + "locked").c_str(), 0), 0);
    for (const std::string& folder : {dir.path(), source(), source() + "later/"}) {
        ASSERT_EQ(::chmod(folder.c_str(), 0777), 0);
    }
    for (const char* file : {"a.cdr", "later/c.cdr"}) {
        ASSERT_EQ(::chmod((source() + file).c_str(), 0644), 0);
    }
    const pid_t child = ::fork();
    if (child == 0) {
        if (::geteuid() == 0 && ::setuid(65534) != 0) {
            ::_exit(2);
        }
        const auto copied = organize::CopyRecordTree(source(), target());
        const bool named = copied.skippedUtf8.size() == 1 &&
                           copied.skippedUtf8.front().find("locked") != std::string::npos;
        ::_exit(named && copied.filesCopied == 2 ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    EXPECT_EQ(readFile(target() + "a.cdr"), "x");
    EXPECT_EQ(readFile(target() + "later/c.cdr"), "z");
}

TEST_F(TreeCopy, FileThatCannotBeCopiedIsSkipped)
{
    writeFile(source() + "a.cdr", "a");
    writeFile(source() + "c.cdr", "c");
    // A FIFO with a record's name: opening it for reading must neither block nor stop the copy.
    ASSERT_EQ(::mkfifo((source() + "b.cdr").c_str(), 0600), 0);
    writeFile(target() + "b.cdr", "good old copy");

    organize::CopyRecordTree(source(), target());

    EXPECT_EQ(snapshot(target()), "a.cdr=a\nb.cdr=good old copy\nc.cdr=c\n");
}

TEST_F(TreeCopy, LinkBackIntoTheSourceDoesNotLoop)
{
    writeFile(source() + "box/a.cdr", "a");
    ASSERT_EQ(::symlink(source().c_str(), (source() + "box/loop").c_str()), 0);
    const auto copied = organize::CopyRecordTree(source(), target());
    // A link to a folder is never followed, and the copy says so.
    EXPECT_EQ(snapshot(target()), "box/\nbox/a.cdr=a\n");
    ASSERT_EQ(copied.skippedUtf8.size(), 1U);
    EXPECT_NE(copied.skippedUtf8.front().find("loop"), std::string::npos);
}

class TargetInside : public ::testing::TestWithParam<std::pair<const char*, const char*>>
{
};

TEST_P(TargetInside, RefusedBeforeAnythingChanges)
{
    TempDir dir;
    writeFile(dir / "src/a.cdr", "a");
    makeFolders(dir / "src/sub");
    ASSERT_EQ(::symlink((dir / "src/sub").c_str(), (dir / "link").c_str()), 0);
    const std::string before = snapshot(dir.path());
    const std::string source = dir / GetParam().first;
    const std::string target = dir / GetParam().second;

    EXPECT_THROW(organize::CopyRecordTree(source, target), organize::TargetInsideSource);
    EXPECT_THROW(organize::MoveRecordTree(source, target), organize::TargetInsideSource);
    EXPECT_EQ(snapshot(dir.path()), before);
}

INSTANTIATE_TEST_SUITE_P(
    Pairs, TargetInside,
    ::testing::Values(std::make_pair("src/", "src/"), std::make_pair("src/", "src/new/"),
                      std::make_pair("src/", "src/sub/"), std::make_pair("src/", "src/sub/new/"),
                      std::make_pair("src/", "src/../src/new/"),
                      std::make_pair("src/", "link/new/"), std::make_pair("src/sub/", "link/")));

TEST_F(TreeCopy, SiblingWithTheSameNamePrefixIsNotInside)
{
    writeFile(source() + "a.cdr", "a");
    organize::CopyRecordTree(source(), dir / "src2/");
    EXPECT_EQ(snapshot(dir / "src2/"), "a.cdr=a\n");
}

TEST_F(TreeCopy, DeleteRemovesEverythingHiddenIncluded)
{
    const std::string folder = dir / ".hidden box/";
    writeFile(folder + ".hidden", "h");
    writeFile(folder + "a.cdr", "a");
    writeFile(folder + "notes.txt", "n");
    writeFile(folder + gbk("子盒") + "/.x/y.tag", "y");
    makeFolders(folder + "empty");
    organize::DeleteFolderTree(folder);
    EXPECT_EQ(snapshot(dir.path()), "");
    EXPECT_NO_THROW(organize::DeleteFolderTree(folder));
    EXPECT_NO_THROW(organize::DeleteFolderTree(folder + "deeper/"));
}

TEST_F(TreeCopy, DeleteRemovesLinksWithoutFollowingThem)
{
    writeFile(dir / "outside/keep.cdr", "mine");
    writeFile(dir / "box/a.cdr", "a");
    ASSERT_EQ(::symlink((dir / "outside").c_str(), (dir / "box/to-folder").c_str()), 0);
    ASSERT_EQ(::symlink((dir / "outside/keep.cdr").c_str(), (dir / "box/to-file.cdr").c_str()), 0);
    ASSERT_EQ(::symlink((dir / "outside").c_str(), (dir / "linked-box").c_str()), 0);

    organize::DeleteFolderTree(dir / "box/");
    organize::DeleteFolderTree(dir / "linked-box/");

    EXPECT_EQ(snapshot(dir.path()), "outside/\noutside/keep.cdr=mine\n");
}

TEST_F(TreeCopy, MoveToANewPlaceKeepsEveryFile)
{
    writeFile(source() + "a.cdr", "a");
    writeFile(source() + "notes.txt", "n");
    writeFile(source() + "sub/.hidden", "h");
    makeFolders(source() + "empty");
    const std::string before = snapshot(source());

    organize::MoveRecordTree(source(), target());

    EXPECT_FALSE(exists(source()));
    EXPECT_EQ(snapshot(target()), before);
}

TEST_F(TreeCopy, MoveIntoAnExistingFolderLeavesOnlyWhatWasNotCopied)
{
    writeFile(source() + "a.Cdr", "a");
    writeFile(source() + "keep.txt", "k");
    writeFile(source() + "sub/b.tag", "b");
    writeFile(source() + "other/c.ifn", "c");
    writeFile(source() + "other/d.log", "d");
    makeFolders(source() + "empty/deeper");
    ASSERT_EQ(::mkfifo((source() + "sub/fifo.cdr").c_str(), 0600), 0);
    writeFile(target() + "x.cdr", "x");
    writeFile(target() + "a.CDR", "older spelling");

    organize::MoveRecordTree(source(), target());

    EXPECT_EQ(snapshot(target()), "a.Cdr=a\nempty/\nempty/deeper/\nother/\nother/c.ifn=c\n"
                                  "sub/\nsub/b.tag=b\nx.cdr=x\n");
    // The FIFO could not be copied, so it and its folder stay.
    EXPECT_EQ(snapshot(source()), "keep.txt=k\nother/\nother/d.log=d\nsub/\nsub/fifo.cdr|\n");
}

TEST_F(TreeCopy, MoveOntoALinkBackToTheSourceNeverDeletesTheOnlyCopy)
{
    // dst/box leads back to src/box: copying there copies each file onto itself.
    writeFile(source() + "box/a.cdr", "only copy");
    makeFolders(target());
    ASSERT_EQ(::symlink((source() + "box").c_str(), (target() + "box").c_str()), 0);
    organize::MoveRecordTree(source(), target());
    EXPECT_EQ(readFile(source() + "box/a.cdr"), "only copy");
}

// A folder on another file system than TMPDIR, removed at the end.
class OtherFileSystem
{
public:
    OtherFileSystem()
    {
        std::string pattern = "/dev/shm/vellumark-test-XXXXXX";
        if (::mkdtemp(pattern.data()) != nullptr) {
            m_path = pattern + "/";
        }
    }
    ~OtherFileSystem()
    {
        if (!m_path.empty()) {
            std::error_code ignored;
            fs::remove_all(m_path, ignored);
        }
    }
    const std::string& path() const { return m_path; }

private:
    std::string m_path;
};

TEST_F(TreeCopy, MoveAcrossFileSystemsCopiesThenDeletesOnlyCopiedFiles)
{
    OtherFileSystem other;
    struct stat here = {};
    struct stat there = {};
    if (other.path().empty() || ::stat(dir.path().c_str(), &here) != 0 ||
        ::stat(other.path().c_str(), &there) != 0 || here.st_dev == there.st_dev) {
        GTEST_SKIP() << "no second file system";
    }
    writeFile(source() + "a.cdr", "a");
    writeFile(source() + "sub/b.fmx", "b");
    writeFile(source() + "sub/keep.txt", "k");

    organize::MoveRecordTree(source(), other.path() + "moved/");

    EXPECT_EQ(snapshot(other.path() + "moved/"), "a.cdr=a\nsub/\nsub/b.fmx=b\n");
    EXPECT_EQ(snapshot(source()), "sub/\nsub/keep.txt=k\n");
}

TEST(ParallelWork, EveryItemOnceAndAFailureThrownAfterTheOthers)
{
    for (const std::size_t count : {0U, 1U, 2U, 7U, 500U}) {
        std::vector<std::atomic<int>> calls(count);
        organize::ForEachInParallel(count, [&](std::size_t item) { ++calls[item]; });
        EXPECT_TRUE(std::all_of(calls.begin(), calls.end(), [](const auto& c) { return c == 1; }))
            << count;
    }
    std::vector<std::atomic<int>> calls(500);
    EXPECT_THROW(organize::ForEachInParallel(calls.size(),
                                             [&](std::size_t item) {
                                                 ++calls[item];
                                                 if (item == 3) {
                                                     throw catalog::FileError("item 3");
                                                 }
                                             }),
                 catalog::FileError);
    EXPECT_EQ(calls[3], 1);
    EXPECT_TRUE(std::all_of(calls.begin(), calls.end(), [](const auto& c) { return c <= 1; }));
}

TEST(ParallelWork, InOrderUsesEachItemInTurnFromItsSlotNeverMoreThanAWindowAhead)
{
    for (const std::size_t count : {0U, 1U, 3U, 500U}) {
        for (const std::size_t window : {1U, 2U, 8U}) {
            std::vector<std::size_t> slots(window, count);
            std::atomic<std::size_t> inUse{0};
            std::atomic<bool> aheadOfWindow{false};
            std::vector<std::size_t> used;
            organize::ForEachInOrder(
                count, window,
                [&](std::size_t item, std::size_t slot) {
                    aheadOfWindow = aheadOfWindow || item >= inUse + window;
                    slots[slot] = item;
                },
                [&](std::size_t item, std::size_t slot) {
                    used.push_back(slots[slot]);
                    inUse = item + 1;
                });
            std::vector<std::size_t> expected(count);
            std::iota(expected.begin(), expected.end(), 0);
            EXPECT_EQ(used, expected) << count << " in " << window;
            EXPECT_FALSE(aheadOfWindow) << count << " in " << window;
        }
    }
    const auto failAt = [](std::size_t at) {
        return [at](std::size_t item, std::size_t) {
            if (item == at) {
                throw catalog::FileError("item");
            }
        };
    };
    const auto nothing = [](std::size_t, std::size_t) {};
    EXPECT_THROW(organize::ForEachInOrder(500, 4, failAt(70), nothing), catalog::FileError);
    std::size_t usedAfterFailure = 0;
    EXPECT_THROW(organize::ForEachInOrder(500, 4, nothing,
                                          [&](std::size_t item, std::size_t slot) {
                                              failAt(70)(item, slot);
                                              usedAfterFailure += item > 70;
                                          }),
                 catalog::FileError);
    EXPECT_EQ(usedAfterFailure, 0U);
}

TEST_F(TreeCopy, DeletingABoxOfManyFoldersLeavesNothing)
{
    for (int box = 0; box < 40; ++box) {
        for (int cd = 0; cd < 5; ++cd) {
            writeFile(source() + std::to_string(box) + "/sub/" + std::to_string(cd) + ".cdr", "x");
        }
    }
    writeFile(source() + "top.cdr", "x");
    organize::DeleteFolderTree(source());
    EXPECT_FALSE(exists(source()));
}

struct CountCase
{
    const char* name;
    std::vector<const char*> files; // below the source
    bool copiesFail;                // every copy of a file fails
    long long copied, notCopied, cds;
};

class CopyCounts : public ::testing::TestWithParam<CountCase>
{
};

// What a copy reports: files put in place, files not, and the CDs that arrived whole. A
// search result's files are no CD; a batch that failed counts none of its CDs.
TEST_P(CopyCounts, TellFilesAndWholeCdsApart)
{
    TempDir dir;
    for (const char* name : GetParam().files) {
        writeFile(dir / "src/" + name, name);
    }
    organize::TreeCopyOptions options;
    if (GetParam().copiesFail) {
        options.copyFile = [](const std::string&, int, const std::string&) -> off_t {
            errno = EIO;
            return -1;
        };
    }
    const auto counts = organize::CopyRecordTree(dir / "src/", dir / "dst/", options);
    EXPECT_EQ(counts.filesCopied, GetParam().copied);
    EXPECT_EQ(counts.filesNotCopied, GetParam().notCopied);
    EXPECT_EQ(counts.cdsCopied, GetParam().cds);
}

INSTANTIATE_TEST_SUITE_P(
    Trees, CopyCounts,
    ::testing::Values(
        CountCase{"CdsAndAResult", {"a.cdr", "a.tag", "b.Cdr", "r.fid", "r.tag"}, false, 5, 0, 2},
        CountCase{"ResultsOnly", {"box/r.fid", "box/r.tag", "box/p.Tgt"}, false, 3, 0, 0},
        CountCase{"FailedCopies", {"a.cdr", "a.tag", "box/b.Cdr"}, true, 0, 3, 0},
        // Case twins are one record of a library: the second is left out.
        CountCase{"CaseTwins", {"Disc.cdr", "DISC.cdr", "disc.Mx"}, false, 1, 2, 1}),
    [](const auto& info) { return std::string(info.param.name); });

// A link to a folder is never followed, neither by a copy nor by its count of files.
TEST_F(TreeCopy, RecordFilesBelowCountsNoFileTwice)
{
    writeFile(source() + "box/a.cdr", "a");
    writeFile(source() + "box/a.tag", "a");
    writeFile(source() + "b.Mx", "b");
    writeFile(source() + "notes.txt", "not a record");
    ASSERT_EQ(::symlink((source() + "box").c_str(), (source() + "again").c_str()), 0);
    EXPECT_EQ(organize::RecordFilesBelow(source()), 3);
}

// A source that is a link to a folder: the tree behind it is not the library's to empty,
// and the link itself goes with the move.
TEST_F(TreeCopy, MoveOfALinkedSourceTakesTheLinkOnly)
{
    writeFile(dir / "real/a.cdr", "a");
    writeFile(dir / "real/notes.txt", "kept");
    ASSERT_EQ(::symlink((dir / "real").c_str(), (dir / "src").c_str()), 0);
    makeFolders(target()); // a folder already there: the move is a copy and a removal

    const auto moved = organize::MoveRecordTree(source(), target());

    EXPECT_EQ(moved.filesCopied, 1);
    EXPECT_EQ(snapshot(dir.path()),
              "dst/\ndst/a.cdr=a\nreal/\nreal/a.cdr=a\nreal/notes.txt=kept\n");
}

} // namespace
