#include "catalog/disk.h"
#include "catalog/key_table.h"
#include "catalog/record_set.h"

#include "tests/support/temp_library.h"

#include <gtest/gtest.h>

#include <array>
#include <random>

#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fcntl.h>
#include <sys/wait.h>

using namespace catalog;
using testing_support::gbk;
using testing_support::TempDir;
using testing_support::writeFile;

TEST(Disk, LinesEndWithCrLfOrCrLfAndTheLastMayHaveNone)
{
    EXPECT_EQ(SplitLines("a\r\nb\rc\nd"), (std::vector<std::string_view>{"a", "b", "c", "d"}));
    EXPECT_EQ(SplitLines("a\r\n\r\n"), (std::vector<std::string_view>{"a", ""}));
    EXPECT_EQ(SplitLines("\n\n"), (std::vector<std::string_view>{"", ""}));
    EXPECT_TRUE(SplitLines("").empty());
    EXPECT_EQ(JoinLines({"E:\\", "\tSETUP"}), "E:\\\r\n\tSETUP\r\n");
    // Long texts: every line break at every place in a block of bytes read together.
    std::mt19937 random(20261209);
    for (int round = 0; round < 2000; ++round) {
        std::string text;
        std::vector<std::string_view> expected;
        std::vector<std::pair<std::size_t, std::size_t>> lines; // where, how long
        for (const std::size_t length = random() % 100; text.size() < length;) {
            const std::size_t at = text.size();
            text.append(1 + random() % 24, 'x'); // not empty: a CR and an LF after it are one end
            lines.emplace_back(at, text.size() - at);
            text += std::array<const char*, 3>{"\r\n", "\r", "\n"}[random() % 3];
        }
        for (const auto& [at, length] : lines) {
            expected.emplace_back(text.data() + at, length);
        }
        ASSERT_EQ(SplitLines(text), expected) << testing::PrintToString(text);
    }
}

TEST(Disk, RecordFilesAreFoundWhateverTheCaseOfTheirExtension)
{
    TempDir dir;
    const std::string name = gbk("工具盘");
    for (const char* ext : {".cDr", ".TAG", ".mx"}) {
        writeFile(dir / (name + ext), "x");
    }
    EXPECT_EQ(FindRecordFile(dir.path(), name, ".Cdr"), dir / (name + ".cDr"));
    EXPECT_EQ(FindRecordFile(dir.path(), name, ".tag"), dir / (name + ".TAG"));
    EXPECT_EQ(FindRecordFile(dir.path(), name, ".Mx"), dir / (name + ".mx"));
    EXPECT_EQ(FindRecordFile(dir.path(), name, ".Ifn"), "");
    // The base name is matched exactly.
    EXPECT_EQ(FindRecordFile(dir.path(), "X" + name, ".Cdr"), "");
}

// A table made for no keys grows as keys come, and keeps the first value of each key.
TEST(Disk, AKeyTableFindsEveryKeyItWasGivenAndNoOther)
{
    std::vector<std::string> keys;
    for (int i = 0; i < 5000; ++i) {
        keys.push_back(std::to_string(i * 7919 % 100000));
    }
    keys.push_back(""); // an empty name is a key like any other
    catalog::KeyTable<std::size_t> table;
    for (std::size_t i = 0; i < keys.size(); ++i) {
        ASSERT_TRUE(table.tryEmplace(keys[i], i).second) << keys[i];
    }
    const auto [value, added] = table.tryEmplace(keys[10], 99999);
    EXPECT_FALSE(added);
    EXPECT_EQ(*value, 10u);
    EXPECT_EQ(table.size(), keys.size());
    for (std::size_t i = 0; i < keys.size(); ++i) {
        ASSERT_NE(table.find(keys[i]), nullptr) << keys[i];
        EXPECT_EQ(*table.find(keys[i]), i);
    }
    EXPECT_EQ(table.find("100001"), nullptr);
    EXPECT_EQ(table.find("x"), nullptr);
}

// Walks that take a folder's record files from its one listing take the file a reader of
// one record finds, whichever spellings lie side by side.
TEST(Disk, ListedRecordsTakeTheFileFindRecordFileFinds)
{
    TempDir dir;
    std::mt19937 random(3);
    const std::vector<std::string> spellings{".Cdr", ".cdr", ".CDR", ".cDr", ".tag", ".Tag",
                                             ".TAG", ".Mx",  ".mx",  ".MX",  ".FMx", ".fmx",
                                             ".FMX", ".Ifn", ".ifn", ".IFN"};
    for (int base = 0; base < 40; ++base) {
        for (const auto& ext : spellings) {
            if (random() % 3 == 0) {
                writeFile(dir / (std::to_string(base) + ext), "x");
            }
        }
    }
    std::vector<DirEntry> entries;
    ListFolder(dir.path(), entries);
    const ListedRecords listed(entries);
    for (int base = 0; base < 40; ++base) {
        for (const auto kind :
             {RecordKind::Cdr, RecordKind::Tag, RecordKind::Mx, RecordKind::Fmx, RecordKind::Ifn}) {
            const DirEntry* file = listed.file(std::to_string(base), kind);
            EXPECT_EQ(file == nullptr ? "" : dir / file->name,
                      FindRecordFile(dir.path(), std::to_string(base), kind))
                << base << " " << static_cast<int>(kind);
        }
    }
}

TEST(Disk, AWriterKeepsTheExistingSpellingAndCreatesTheGivenOne)
{
    TempDir dir;
    writeFile(dir / "disc.CDR", "old");
    WriteRecordFile(dir.path(), "disc", ".Cdr", "new");
    WriteRecordFile(dir.path(), "disc", ".Mx", "text");
    EXPECT_EQ(testing_support::readFile(dir / "disc.CDR"), "new");
    EXPECT_FALSE(testing_support::exists(dir / "disc.Cdr"));
    EXPECT_EQ(testing_support::readFile(dir / "disc.Mx"), "text");
}

TEST(Disk, AtomicWriteReplacesWholeKeepsModeAndLeavesNoTemporaryFile)
{
    TempDir dir;
    const std::string path = dir / "a.Ifn";
    writeFile(path, std::string(500, 'x'));
    ::chmod(path.c_str(), 0640);
    WriteFileAtomically(path, "short");
    EXPECT_EQ(testing_support::readFile(path), "short");
    struct stat info = {};
    ASSERT_EQ(::stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0640u);
    std::vector<DirEntry> entries;
    ListFolder(dir.path(), entries);
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].name, "a.Ifn");
}

// Nothing changes before commit; then every file is in place whole, with the mode of
// the file it replaced, except the one whose target cannot be replaced.
TEST(Disk, BatchWritePutsItsFilesInPlaceOnlyAtCommit)
{
    TempDir dir;
    writeFile(dir / "a.tag", "old a");
    ::chmod((dir / "a.tag").c_str(), 0640);
    writeFile(dir / "blocked.tag/inside", "a folder where a file should go");
    BatchWrite batch;
    batch.add(0, dir / "a.tag", "new a");
    batch.add(1, dir / "b.tag", "new b");
    batch.add(2, dir / "blocked.tag", "never");
    EXPECT_EQ(testing_support::readFile(dir / "a.tag"), "old a");
    EXPECT_FALSE(testing_support::exists(dir / "b.tag"));

    const auto failures = batch.commit();

    ASSERT_EQ(failures.size(), 1u);
    EXPECT_EQ(failures[0].slot, 2u);
    EXPECT_NE(failures[0].message.find("blocked.tag"), std::string::npos) << failures[0].message;
    EXPECT_EQ(testing_support::readFile(dir / "a.tag"), "new a");
    EXPECT_EQ(testing_support::readFile(dir / "b.tag"), "new b");
    struct stat info = {};
    ASSERT_EQ(::stat((dir / "a.tag").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0640u);
    std::vector<DirEntry> entries;
    ListFolder(dir.path(), entries);
    EXPECT_EQ(entries.size(), 3u); // no temporary file is left
    EXPECT_TRUE(batch.commit().empty());
}

TEST(Disk, FailuresCarryThePathAndTheSystemMessage)
{
    TempDir dir;
    const std::string missing = dir / (gbk("光盘") + "/x.Cdr");
    try {
        ReadWholeFile(missing);
        FAIL() << "no error for a missing file";
    } catch (const FileError& error) {
        EXPECT_NE(std::string(error.what()).find("光盘/x.Cdr"), std::string::npos) << error.what();
        EXPECT_NE(std::string(error.what()).find("No such file"), std::string::npos);
    }
    EXPECT_THROW(WriteFileAtomically(missing, "x"), FileError);
}

TEST(Disk, ErrorPathsShowTheSpecialNamesWithoutTheirFirstByte)
{
    EXPECT_EQ(DisplayPath("/lib/\xFF" + gbk("查找结果") + "/" + gbk("类") + "/a.Fin"),
              "/lib/查找结果/类/a.Fin");
}

TEST(Disk, ListingIsSortedAndTellsFoldersFromFiles)
{
    TempDir dir;
    writeFile(dir / "b/inner", "");
    writeFile(dir / ".hidden", "");
    writeFile(dir / "a.Cdr", "");
    std::vector<DirEntry> entries;
    ASSERT_EQ(ListFolder(dir.path(), entries), Listing::Ok);
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_EQ(entries[0].name, ".hidden");
    EXPECT_EQ(entries[1].name, "a.Cdr");
    EXPECT_FALSE(entries[1].isFolder);
    EXPECT_TRUE(entries[2].isFolder);
    EXPECT_EQ(ListFolder(dir / "none/", entries), Listing::Unreadable);
    EXPECT_TRUE(entries.empty());
}

// A FIFO opened for reading waits for a writer; a device may block or never end.
TEST(Disk, OnlyRegularFilesAreReadAndNothingWaits)
{
    TempDir dir;
    ASSERT_EQ(::mkfifo((dir / "c.Mx").c_str(), 0644), 0);
    try {
        ReadWholeFile(dir / "c.Mx");
        FAIL() << "a FIFO was read";
    } catch (const FileError& error) {
        EXPECT_NE(std::string(error.what()).find("c.Mx"), std::string::npos) << error.what();
    }
    EXPECT_THROW(ReadWholeFile("/dev/zero"), FileError);
    EXPECT_THROW(ReadWholeFile(dir.path()), FileError);
    EXPECT_LT(OpenRegularFile(AT_FDCWD, (dir / "c.Mx").c_str()), 0);
    EXPECT_EQ(errno, EINVAL);
}

// What a killed writer leaves goes at the next write into a library folder: at once when
// the process named in it has ended, after a minute otherwise; what a living one is
// writing stays, however old. Names this version does not make are never touched, and a
// plain atomic write (an export into a user's folder) sweeps nothing.
TEST(Disk, TemporaryFilesOfWritersThatAreGoneAreRemoved)
{
    TempDir dir;
    const pid_t child = ::fork();
    if (child == 0) {
        ::_exit(0);
    }
    ASSERT_GT(child, 0);
    ::waitpid(child, nullptr, 0);
    const std::string killed = ".vellumark-tmp-" + std::to_string(child) + "-k1ll3d";
    const std::string living = ".vellumark-tmp-" + std::to_string(::getpid()) + "-l1v1ng";
    writeFile(dir / ".vellumark-tmp-dead01", "partial");
    writeFile(dir / killed, "partial, just now");
    writeFile(dir / living, "this process, unlocked, just now");
    writeFile(dir / ".vellumark-AbC123", "a user's file");
    writeFile(dir / "registry.ini.tmp-Q1w2E3", "settings");
    writeFile(dir / ".vellumark-tmp-young1", "just made");
    writeFile(dir / ".vellumark-tmp-alive1", "being written");
    writeFile(dir / ".vellumark-notes1", "a user's notes");
    for (const char* name :
         {".vellumark-tmp-dead01", ".vellumark-AbC123", "registry.ini.tmp-Q1w2E3",
          ".vellumark-tmp-alive1", ".vellumark-notes1"}) {
        testing_support::makeOlder(dir / name, 3600);
    }
    const FileDescriptor writer(::open((dir / ".vellumark-tmp-alive1").c_str(), O_RDONLY));
    ASSERT_EQ(::flock(writer.get(), LOCK_EX), 0);
    const auto names = [&] {
        std::vector<DirEntry> entries;
        ListFolder(dir.path(), entries);
        std::vector<std::string> listed;
        for (const auto& entry : entries) {
            listed.push_back(entry.name);
        }
        return listed;
    };
    const std::vector<std::string> before = names();

    WriteFileAtomically(dir / "b.txt", "an export");
    std::vector<std::string> expected = before;
    expected.push_back("b.txt");
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(names(), expected);

    WriteFileAtomically(dir / "a.Mx", "text", {.sweepStale = true});
    expected = {".vellumark-AbC123",
                ".vellumark-notes1",
                ".vellumark-tmp-alive1",
                ".vellumark-tmp-young1",
                living,
                "a.Mx",
                "b.txt",
                "registry.ini.tmp-Q1w2E3"};
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(names(), expected);
}

TEST(Disk, AFolderLockIsHeldUntilItGoes)
{
    TempDir dir;
    const FileDescriptor other(::open(dir.path().c_str(), O_RDONLY | O_DIRECTORY));
    {
        const FolderLock lock(dir.path());
        EXPECT_NE(::flock(other.get(), LOCK_EX | LOCK_NB), 0);
    }
    EXPECT_EQ(::flock(other.get(), LOCK_EX | LOCK_NB), 0);
    EXPECT_THROW(FolderLock(dir / "missing/"), FileError);
}

// Only the writer's lock guards a slow write past the minute's grace: a sweep leaves it.
TEST(Disk, ASweepNeverTakesATemporaryFileStillBeingWritten)
{
    TempDir dir;
    TemporaryFile writing(dir.path(), dir / "a.Mx");
    writing.write("half of it");
    testing_support::makeOlder(writing.path(), 3600);
    RemoveStaleTemporaryFiles(dir.path());
    ASSERT_TRUE(testing_support::exists(writing.path()));
    writing.write(", the rest");
    writing.renameTo(dir / "a.Mx");
    EXPECT_EQ(testing_support::readFile(dir / "a.Mx"), "half of it, the rest");
}
