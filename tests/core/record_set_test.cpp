#include "catalog/record_set.h"

#include "catalog/disk.h"
#include "tests/support/temp_library.h"

#include <gtest/gtest.h>

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

} // namespace
