#include "catalog/record_set.h"

#include "catalog/disk.h"
#include "tests/support/temp_library.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

namespace {

using catalog::RecordKind;
using testing_support::readFile;
using testing_support::snapshot;
using testing_support::TempDir;
using testing_support::writeFile;

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

INSTANTIATE_TEST_SUITE_P(
    Tags, Spellings,
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

} // namespace
