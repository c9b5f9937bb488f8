#include "catalog/record_set.h"

#include "catalog/disk.h"
#include "catalog/record_journal.h"
#include "catalog/text.h"
#include "tests/support/temp_library.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

namespace {

using catalog::RecordKind;
using testing_support::readFile;
using testing_support::snapshot;
using testing_support::TempDir;
using testing_support::writeFile;

// Every short name over bytes near the letters' cases (and a dot, a lead byte) gets the
// kind its extension after the last dot names, ASCII case ignored.
TEST(RecordKinds, EveryShortNameGetsTheKindItsLastExtensionNames)
{
    const std::string alphabet = std::string(".cCdDrRmMxXfF@`{[\x01") + '\xC3';
    const auto expected = [](const std::string& name) -> std::optional<RecordKind> {
        const std::size_t dot = name.rfind('.');
        if (dot == std::string::npos) {
            return std::nullopt;
        }
        const std::string ext = catalog::upperAscii(name.substr(dot));
        for (const auto kind :
             {RecordKind::Cdr, RecordKind::Tag, RecordKind::Mx, RecordKind::Fmx, RecordKind::Ifn,
              RecordKind::Fid, RecordKind::Tgt, RecordKind::Fin}) {
            if (ext == catalog::UpperExt(kind)) {
                return kind;
            }
        }
        return std::nullopt;
    };
    std::string name;
    std::size_t checked = 0;
    const std::function<void()> grow = [&] {
        ASSERT_EQ(catalog::RecordKindOf(name), expected(name)) << name;
        ++checked;
        if (name.size() == 4) {
            return;
        }
        for (const char c : alphabet) {
            name.push_back(c);
            grow();
            name.pop_back();
        }
    };
    grow();
    // Each extension with any one byte in place of any one of its letters.
    for (const auto kind : {RecordKind::Cdr, RecordKind::Tag, RecordKind::Mx, RecordKind::Fmx,
                            RecordKind::Ifn, RecordKind::Fid, RecordKind::Tgt, RecordKind::Fin}) {
        const std::string ext(catalog::UpperExt(kind));
        for (std::size_t at = 1; at < ext.size(); ++at) {
            for (int byte = 1; byte < 256; ++byte) {
                name = "a" + ext;
                name[at + 1] = static_cast<char>(byte);
                ASSERT_EQ(catalog::RecordKindOf(name), expected(name)) << name;
                ++checked;
            }
        }
    }
    EXPECT_GT(checked, 100'000U);
}

struct SpellingCase
{
    std::vector<const char*> present; // files of record "d" in the folder
    const char* found;                // what every reader and writer takes
};

class Spellings : public ::testing::TestWithParam<SpellingCase>
{
};

// One fixed order whatever spelling the caller names: the one written first, then
// capitals, then small letters, then the rest by bytes.
TEST_P(Spellings, EveryCallerFindsTheSameFileAndAWriteKeepsOnlyIt)
{
    TempDir dir;
    for (const char* name : GetParam().present) {
        writeFile(dir / name, name);
    }
    for (const char* asked : {".tag", ".TAG", ".Tag", ".tAG"}) {
        EXPECT_EQ(catalog::FindRecordFile(dir.path(), "d", asked), dir / GetParam().found) << asked;
    }
    catalog::WriteRecordFile(dir.path(), "d", ".TAG", "new");
    EXPECT_EQ(snapshot(dir.path()), std::string(GetParam().found) + "=new\n");
}

INSTANTIATE_TEST_SUITE_P(Tags, Spellings,
                         ::testing::Values(SpellingCase{{"d.TAG", "d.tag"}, "d.tag"},
                                           SpellingCase{{"d.TAG", "d.Tag"}, "d.Tag"},
                                           SpellingCase{{"d.tag", "d.tAg", "d.TAG"}, "d.tag"},
                                           SpellingCase{{"d.taG", "d.tAg"}, "d.tAg"},
                                           SpellingCase{{"d.tag"}, "d.tag"}));

// The name test: a record of exactly the name, else the first by bytes of those named like
// it; a lone .tag (a killed scan's leftover) leaves a name free.
TEST(RecordNames, TheOneRecordANameTestFinds)
{
    TempDir dir;
    writeFile(dir / "Tools.Cdr", "1");
    writeFile(dir / "TOOLS.Mx", "2");
    writeFile(dir / "lone.tag", "0");
    catalog::RecordFolder folder(dir.path());
    EXPECT_EQ(folder.recordNamed("Tools"), "Tools");
    EXPECT_EQ(folder.recordNamed("TOOLS"), "TOOLS");
    EXPECT_EQ(folder.recordNamed("tools"), "TOOLS");
    EXPECT_EQ(folder.recordNamed("lone"), std::nullopt);
    EXPECT_TRUE(catalog::RecordNameTaken(dir.path(), "tOOLS"));
    EXPECT_FALSE(catalog::RecordNameTaken(dir.path(), "LONE"));
}

// Every write of a record passes one place that an index observes.
TEST(RecordObserver, HearsOfEveryWriteReplacementAndRemoval)
{
    struct Heard : catalog::RecordObserver
    {
        void recordChanged(const std::string&, std::string_view name) override
        {
            names.emplace_back(name);
        }
        std::vector<std::string> names;
    } heard;
    catalog::SetRecordObserver(&heard);
    TempDir dir;
    TempDir other;
    catalog::WriteRecordFile(dir.path(), "a", ".Cdr", "E:\\\r\n");
    writeFile(other / "b.cdr", "E:\\\r\n");
    catalog::RecordTransfer transfer(dir.path(), catalog::Carry::Copy);
    ASSERT_TRUE(transfer.add(other.path(), {{"b.cdr", "b.Cdr"}}, "b", {}));
    EXPECT_EQ(transfer.commit(), 0);
    catalog::RecordFolder folder(dir.path());
    catalog::RecordRemoval removal(folder);
    removal.add("a", catalog::CdRecordKinds());
    EXPECT_EQ(removal.commit(), 0);
    catalog::SetRecordObserver(nullptr);
    EXPECT_EQ(heard.names, (std::vector<std::string>{"a", "b", "a"}));
    EXPECT_EQ(snapshot(dir.path()), "b.Cdr=E:\\\r\n\n");
}

// ---- A flush before every replacing rename

// Temporary files renamed onto record files, and whether each was on the disk first: it
// was flushed on its own, or its file system was.
class RenameLog
{
public:
    RenameLog()
        : m_calls(
              [this](int fd) {
                  struct stat info = {};
                  if (::fstat(fd, &info) == 0) {
                      m_flushed.push_back(info.st_ino);
                  }
                  return ::fsync(fd);
              },
              [this](int fd) {
                  m_allFlushed = true;
                  return ::syncfs(fd);
              },
              [this](const std::string& from, const std::string& to) {
                  struct stat info = {};
                  if (catalog::IsTemporaryFileName(nameOf(from)) &&
                      catalog::IsRecordFileName(nameOf(to)) && ::lstat(from.c_str(), &info) == 0) {
                      ++renames;
                      const bool flushed =
                          m_allFlushed || std::find(m_flushed.begin(), m_flushed.end(),
                                                    info.st_ino) != m_flushed.end();
                      unflushed += flushed ? 0 : 1;
                  }
                  return ::rename(from.c_str(), to.c_str());
              })
    {}

    int renames = 0;
    int unflushed = 0;

private:
    static std::string nameOf(const std::string& path) { return path.substr(path.rfind('/') + 1); }

    std::vector<ino_t> m_flushed;
    bool m_allFlushed = false;
    catalog::ScopedDiskCalls m_calls;
};

struct ReplaceCase
{
    const char* name;
    std::function<void(const TempDir& target, const TempDir& source)> replace;
};

class FlushBeforeReplacing : public ::testing::TestWithParam<ReplaceCase>
{
};

// A crash after the rename must find the new content, never an empty file in its place.
TEST_P(FlushBeforeReplacing, EveryFileIsOnTheDiskBeforeItTakesAnothersPlace)
{
    TempDir target;
    TempDir source;
    writeFile(source / "b.cdr", "new");
    for (const char* old : {"a.tag", "b.tag", "b.Cdr", "c.CDR"}) {
        writeFile(target / old, "old");
    }
    RenameLog log;
    GetParam().replace(target, source);
    EXPECT_GT(log.renames, 0);
    EXPECT_EQ(log.unflushed, 0);
}

INSTANTIATE_TEST_SUITE_P(
    Writers, FlushBeforeReplacing,
    ::testing::Values(
        ReplaceCase{"RecordFile",
                    [](const TempDir& target, const TempDir&) {
                        catalog::WriteRecordFile(target.path(), "a", ".tag", "new");
                        EXPECT_EQ(readFile(target / "a.tag"), "new");
                    }},
        ReplaceCase{"Batch",
                    [](const TempDir& target, const TempDir&) {
                        catalog::BatchWrite batch;
                        batch.add(0, target / "a.tag", "new");
                        batch.add(1, target / "b.tag", "new");
                        EXPECT_TRUE(batch.commit().empty());
                        EXPECT_EQ(readFile(target / "b.tag"), "new");
                    }},
        ReplaceCase{
            "CopyOverARecord",
            [](const TempDir& target, const TempDir& source) {
                catalog::RecordTransfer transfer(target.path(), catalog::Carry::Copy);
                ASSERT_TRUE(transfer.add(source.path(), {{"b.cdr", "b.Cdr"}}, "b", {"b.Cdr"}));
                EXPECT_EQ(transfer.commit(), 0);
                EXPECT_EQ(readFile(target / "b.Cdr"), "new");
            }},
        ReplaceCase{
            "CopyOverAnotherSpelling",
            [](const TempDir& target, const TempDir& source) {
                catalog::RecordTransfer transfer(target.path(), catalog::Carry::Copy);
                ASSERT_TRUE(transfer.add(source.path(), {{"b.cdr", "c.Cdr"}}, "c", {"c.CDR"}));
                EXPECT_EQ(transfer.commit(), 0);
                EXPECT_EQ(readFile(target / "c.Cdr"), "new");
                EXPECT_FALSE(testing_support::exists(target / "c.CDR"));
            }}),
    [](const auto& info) { return std::string(info.param.name); });

// A copy onto the same record leaves its files as they are, nothing renamed; a byte, the
// permissions or another spelling of one of its files make it a replacement of the whole.
TEST(RecordTransferCopy, ReplacesARecordOnlyWhereItDiffers)
{
    struct Case
    {
        const char* name;
        const char* tag;
        mode_t mode;
        bool otherSpelling;
        bool kept;
    };
    for (const Case& c :
         {Case{"same", "0\r\n", 0644, false, true}, Case{"a byte", "1\r\n", 0644, false, false},
          Case{"permissions", "0\r\n", 0600, false, false},
          Case{"another spelling", "0\r\n", 0644, true, false}}) {
        TempDir target;
        TempDir source;
        const auto put = [](const std::string& path, const char* bytes, mode_t mode) {
            writeFile(path, bytes);
            ASSERT_EQ(::chmod(path.c_str(), mode), 0);
        };
        put(source / "b.Cdr", "E:\\\r\n", 0644);
        put(source / "b.tag", "0\r\n", 0644);
        put(target / "b.Cdr", "E:\\\r\n", 0644);
        put(target / "b.tag", c.tag, c.mode);
        std::vector<std::string> replaced{"b.Cdr", "b.tag"};
        if (c.otherSpelling) {
            put(target / "b.TAG", "0\r\n", 0644);
            replaced.push_back("b.TAG");
        }
        struct stat before = {};
        ASSERT_EQ(::stat((target / "b.Cdr").c_str(), &before), 0);
        RenameLog log;
        catalog::RecordTransfer transfer(target.path(), catalog::Carry::Copy);
        ASSERT_TRUE(
            transfer.add(source.path(), {{"b.Cdr", "b.Cdr"}, {"b.tag", "b.tag"}}, "b", replaced));
        EXPECT_EQ(transfer.commit(), 0);
        struct stat after = {};
        ASSERT_EQ(::stat((target / "b.Cdr").c_str(), &after), 0);
        EXPECT_EQ(after.st_ino == before.st_ino, c.kept) << c.name;
        EXPECT_EQ(log.renames == 0, c.kept) << c.name;
        EXPECT_EQ(readFile(target / "b.tag"), "0\r\n") << c.name;
        EXPECT_FALSE(testing_support::exists(target / "b.TAG")) << c.name;
        const auto files = std::distance(std::filesystem::directory_iterator(target.path()),
                                         std::filesystem::directory_iterator());
        EXPECT_EQ(files, 2) << c.name; // nothing left beside the record
    }
}

// ---- Listing, finding and carrying

// Another writer's file added within the second of the last listing: only the fraction
// of the folder's time tells.
TEST(RecordFolderListing, SeesAFileAddedWithinTheSameSecond)
{
    TempDir dir;
    writeFile(dir / "a.Cdr", "1");
    catalog::RecordFolder folder(dir.path());
    ASSERT_EQ(folder.files("a", RecordKind::Cdr, false).size(), 1u);
    struct stat listed = {};
    ASSERT_EQ(::stat(dir.path().c_str(), &listed), 0);
    writeFile(dir / "b.Cdr", "2");
    const timespec sameSecond[2] = {
        listed.st_atim, {listed.st_mtim.tv_sec, (listed.st_mtim.tv_nsec + 1) % 1000000000}};
    ASSERT_EQ(::utimensat(AT_FDCWD, dir.path().c_str(), sameSecond, 0), 0);
    EXPECT_EQ(folder.files("b", RecordKind::Cdr, false), std::vector<std::string>{"b.Cdr"});
    EXPECT_TRUE(folder.recordTaken("B"));
}

// A folder named like a record file is no record file, whatever spelling is asked.
TEST(RecordFolderListing, AFolderNamedLikeARecordIsNeverFound)
{
    TempDir dir;
    testing_support::makeFolders(dir / "d.Cdr");
    testing_support::makeFolders(dir / "e.Tag");
    writeFile(dir / "e.TAG", "tags");
    EXPECT_EQ(catalog::FindRecordFile(dir.path(), "d", RecordKind::Cdr), "");
    EXPECT_EQ(catalog::FindRecordFile(dir.path(), "e", RecordKind::Tag), dir / "e.TAG");
    EXPECT_FALSE(catalog::RecordNameTaken(dir.path(), "d"));
}

// Case twins of a base: the one spelled as asked comes first, then the others by bytes.
TEST(RecordFolderListing, AnyCaseBaseListsTheExactBaseFirst)
{
    TempDir dir;
    for (const char* name : {"ABC.cdr", "Abc.CDR", "abc.CDR", "abc.Cdr"}) {
        writeFile(dir / name, name);
    }
    catalog::RecordFolder folder(dir.path());
    EXPECT_EQ(folder.files("abc", RecordKind::Cdr, true),
              (std::vector<std::string>{"abc.Cdr", "abc.CDR", "ABC.cdr", "Abc.CDR"}));
    EXPECT_EQ(folder.files("ABC", RecordKind::Cdr, true),
              (std::vector<std::string>{"ABC.cdr", "Abc.CDR", "abc.Cdr", "abc.CDR"}));
}

// Renames onto record files fail with an I/O error; every other call goes through.
class FailingRecordRenames
{
public:
    FailingRecordRenames()
        : m_calls({}, {}, [](const std::string& from, const std::string& to) {
              if (catalog::IsRecordFileName(to.substr(to.rfind('/') + 1))) {
                  errno = EIO;
                  return -1;
              }
              return ::rename(from.c_str(), to.c_str());
          })
    {}

private:
    catalog::ScopedDiskCalls m_calls;
};

// A copy that could not be put in place leaves neither a part of it nor a staged copy: a
// replacement whose renames fail keeps the old record, a new record whose listing cannot be
// copied leaves nothing, one whose companion cannot be leaves the record without it.
TEST(RecordTransferFailure, LeavesNothingHalfMadeBehind)
{
    TempDir source;
    writeFile(source / "b.cdr", "new");
    writeFile(source / "b.mx", "notes");
    const auto failOn = [](std::string failing) {
        return [failing](const std::string& from, int toFd, const std::string& to) -> off_t {
            if (to.ends_with(failing)) {
                (void)!::write(toFd, "part", 4);
                errno = ENOSPC;
                return -1;
            }
            return catalog::CopyRegularFile(from, toFd);
        };
    };
    const std::vector<catalog::RecordTransfer::File> files{{"b.cdr", "b.Cdr"}, {"b.mx", "b.Mx"}};
    {
        TempDir target;
        writeFile(target / "b.Cdr", "old");
        const FailingRecordRenames failing;
        catalog::RecordTransfer transfer(target.path(), catalog::Carry::Copy);
        ASSERT_TRUE(transfer.add(source.path(), files, "b", {}));
        EXPECT_EQ(transfer.commit(), 2);
        EXPECT_EQ(snapshot(target.path()), "b.Cdr=old\n");
    }
    for (const auto& [failing, left, failures] :
         {std::tuple{".Cdr", "", 2}, std::tuple{".Mx", "b.Cdr=new\n", 1}}) {
        TempDir target;
        catalog::RecordTransfer transfer(target.path(), catalog::Carry::Copy, failOn(failing));
        ASSERT_TRUE(transfer.add(source.path(), files, "b", {}));
        EXPECT_EQ(transfer.commit(), failures) << failing;
        EXPECT_EQ(transfer.recordsNotCarried(), failures == 2 ? 1 : 0) << failing;
        EXPECT_EQ(snapshot(target.path()), left) << failing;
    }
    EXPECT_EQ(snapshot(source.path()), "b.cdr=new\nb.mx=notes\n");
}

// Each record's files that could not be removed are counted, for every record of the batch.
TEST(RecordRemovalFailure, CountsTheFilesOfEveryRecordThatStay)
{
    TempDir dir;
    for (const char* name : {"a.Cdr", "a.Mx", "b.Cdr", "c.Cdr"}) {
        writeFile(dir / name, name);
    }
    catalog::RecordFolder folder(dir.path());
    catalog::RecordRemoval removal(folder);
    for (const char* base : {"a", "b", "c"}) {
        removal.add(base, catalog::CdRecordKinds());
    }
    // Turned into folders after they were listed: an unlink cannot take them.
    for (const char* name : {"a.Mx", "b.Cdr"}) {
        ASSERT_EQ(::unlink((dir / name).c_str()), 0);
        testing_support::makeFolders(dir / name);
    }
    EXPECT_EQ(removal.commit(), 2);
    EXPECT_EQ(snapshot(dir.path()), "a.Mx/\nb.Cdr/\n");
}

// ---- The unit of changes and its note

struct JournalCase
{
    const char* name;
    std::vector<const char*> present; // files made before the unit
    std::function<void(catalog::RecordJournal&, const TempDir&)> steps;
    int failures;
    const char* after; // snapshot of the folder once committed
};

class JournalSteps : public ::testing::TestWithParam<JournalCase>
{
};

TEST_P(JournalSteps, MakeEachStepAndCountWhatFailed)
{
    TempDir dir;
    for (const char* name : GetParam().present) {
        writeFile(dir / name, name);
    }
    // A folder named "vanishing" is removed by another process just before a step fills it.
    const catalog::ScopedDiskCalls calls(
        {}, {}, [&](const std::string& from, const std::string& to) {
            if (to.starts_with(dir / "vanishing/") && !to.ends_with(catalog::JournalName)) {
                std::filesystem::remove_all(dir / "vanishing");
            }
            return ::rename(from.c_str(), to.c_str());
        });
    catalog::RecordJournal journal(dir.path());
    GetParam().steps(journal, dir);
    EXPECT_EQ(journal.commit(), GetParam().failures);
    EXPECT_EQ(snapshot(dir.path()), GetParam().after);
}

INSTANTIATE_TEST_SUITE_P(
    Units, JournalSteps,
    ::testing::Values(JournalCase{"RenameAndRemove",
                                  {"a.Cdr", "b.Cdr"},
                                  [](catalog::RecordJournal& j, const TempDir& d) {
                                      j.rename(d / "a.Cdr", d / "c.Cdr");
                                      j.remove(d / "b.Cdr");
                                  },
                                  0,
                                  "c.Cdr=a.Cdr\n"},
                      // Made before a crash: a replay finds the source gone and its target there.
                      JournalCase{"RenameOfASourceGone",
                                  {"c.Cdr"},
                                  [](catalog::RecordJournal& j, const TempDir& d) {
                                      j.rename(d / "a.Cdr", d / "c.Cdr");
                                  },
                                  0,
                                  "c.Cdr=c.Cdr\n"},
                      JournalCase{"RenameIntoAFolderGone",
                                  {"a.Cdr", "vanishing/b.Cdr"},
                                  [](catalog::RecordJournal& j, const TempDir& d) {
                                      j.rename(d / "a.Cdr", d / "vanishing/a.Cdr");
                                  },
                                  1,
                                  "a.Cdr=a.Cdr\n"},
                      JournalCase{"RemovalWhoseCopyArrived",
                                  {"a.Cdr", "copy.Cdr"},
                                  [](catalog::RecordJournal& j, const TempDir& d) {
                                      j.remove(d / "a.Cdr", d / "copy.Cdr");
                                  },
                                  0,
                                  "copy.Cdr=copy.Cdr\n"},
                      JournalCase{"RemovalWhoseCopyNeverArrived",
                                  {"a.Cdr"},
                                  [](catalog::RecordJournal& j, const TempDir& d) {
                                      j.remove(d / "a.Cdr", d / "copy.Cdr");
                                  },
                                  0,
                                  "a.Cdr=a.Cdr\n"}),
    [](const auto& info) { return std::string(info.param.name); });

// The note of a unit reaches the disk before its first step when the unit asks for it.
TEST(JournalFlush, TheNoteIsOnTheDiskBeforeTheFirstStep)
{
    const std::string note = catalog::JournalName;
    for (const auto flush :
         {catalog::RecordJournal::Flush::Note, catalog::RecordJournal::Flush::FileSystem,
          catalog::RecordJournal::Flush::None}) {
        TempDir dir;
        writeFile(dir / "a.Cdr", "a");
        int fileFlushes = 0;
        int systemFlushes = 0;
        int flushesBeforeFirstStep = -1;
        {
            const catalog::ScopedDiskCalls calls(
                [&](int fd) { return ++fileFlushes, ::fsync(fd); },
                [&](int fd) { return ++systemFlushes, ::syncfs(fd); },
                [&](const std::string& from, const std::string& to) {
                    if (!to.ends_with(note) && flushesBeforeFirstStep < 0) {
                        flushesBeforeFirstStep = fileFlushes + systemFlushes;
                    }
                    return ::rename(from.c_str(), to.c_str());
                });
            catalog::RecordJournal journal(dir.path());
            journal.rename(dir / "a.Cdr", dir / "b.Cdr");
            EXPECT_EQ(journal.commit({}, flush), 0);
        }
        const int wanted = flush == catalog::RecordJournal::Flush::None ? 0 : 1;
        EXPECT_EQ(fileFlushes, flush == catalog::RecordJournal::Flush::Note ? 1 : 0);
        EXPECT_EQ(systemFlushes, flush == catalog::RecordJournal::Flush::FileSystem ? 1 : 0);
        EXPECT_EQ(flushesBeforeFirstStep, wanted);
        EXPECT_EQ(snapshot(dir.path()), "b.Cdr=a\n");
    }
}

std::string journalNote(std::string_view mark, const std::vector<std::string>& fields)
{
    std::string note(mark);
    note += '\0';
    for (const auto& field : fields) {
        note += field;
        note += '\0';
    }
    return note + "END";
}

// A note left by a writer killed part way: the next lock of the folder finishes the unit,
// and drops the pointers to it in the other folders it touched, not a pointer to another unit.
TEST(JournalRecovery, TheNextLockFinishesAUnitCutShort)
{
    TempDir home;
    TempDir other;
    TempDir stranger;
    const std::string note = home / catalog::JournalName;
    writeFile(home / ".vellumark-tmp-1-abcdef", "new");
    writeFile(home / "a.Cdr", "old");
    writeFile(home / "a.Mx", "old notes");
    writeFile(home / "x.Cdr", "x");
    writeFile(other / "b.Cdr", "moved away");
    writeFile(stranger / "c.Cdr", "moved away");
    writeFile(note, journalNote("VELLUMARK-UNIT 1",
                                {"U", home / "a.Mx", "", "R", home / ".vellumark-tmp-1-abcdef",
                                 home / "a.Cdr", "U", other / "b.Cdr", home / "a.Cdr", "U",
                                 stranger / "c.Cdr", home / "x.Cdr"}));
    writeFile(other / catalog::JournalName, journalNote("VELLUMARK-POINTER 1", {note}));
    // Written since by a unit of its own, which its writer still finishes.
    const std::string elsewhere =
        journalNote("VELLUMARK-POINTER 1", {"/nowhere/.vellumark-intent"});
    writeFile(stranger / catalog::JournalName, elsewhere);
    {
        const catalog::FolderLock lock(home.path());
    }
    EXPECT_EQ(snapshot(home.path()), "a.Cdr=new\nx.Cdr=x\n");
    EXPECT_EQ(snapshot(other.path()), "");
    EXPECT_EQ(readFile(stranger / catalog::JournalName), elsewhere);
    EXPECT_FALSE(testing_support::exists(stranger / "c.Cdr"));
}

} // namespace
