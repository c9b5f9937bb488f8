#include "catalog/identify.h"

#include "catalog/cdinfo.h"
#include "catalog/disk.h"
#include "catalog/library.h"
#include "tests/support/fake_drives.h"
#include "tests/support/temp_library.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <vector>

namespace {

using testing_support::FakeDrives;
using testing_support::gbk;
using testing_support::TempDir;
using testing_support::writeFile;

// A record of the test library: "@" at the front stands for the search results folder.
struct Record
{
    const char* cdrUtf8;
    const char* ifnExt; // nullptr: the record has no information file
    const char* cdmoney;
};

struct WalkCase
{
    const char* name;
    std::vector<Record> records;
    const char* sizeText;
    const char* expectedUtf8; // relative to the root; "" for no match
};

std::string nativeRelative(const std::string& relativeUtf8)
{
    if (!relativeUtf8.empty() && relativeUtf8[0] == '@') {
        return catalog::ResultsFolderName() + gbk(relativeUtf8.substr(1));
    }
    return gbk(relativeUtf8);
}

void writeRecord(const TempDir& root, const Record& record)
{
    const std::string cdr = root / nativeRelative(record.cdrUtf8);
    writeFile(cdr, "E:\\\r\n");
    if (record.ifnExt != nullptr) {
        catalog::TCDInfo info;
        info.cdmoney = record.cdmoney;
        const auto bytes = catalog::EncodeCDInfo(info);
        writeFile(cdr.substr(0, cdr.size() - 4) + record.ifnExt,
                  std::string_view(bytes.data(), bytes.size()));
    }
}

class FindRecordBySizeTest : public ::testing::TestWithParam<WalkCase>
{
};

TEST_P(FindRecordBySizeTest, FindsTheLastMatchOfTheWalk)
{
    TempDir root;
    for (const auto& record : GetParam().records) {
        writeRecord(root, record);
    }
    const std::string expected = GetParam().expectedUtf8;
    EXPECT_EQ(catalog::FindRecordBySize(root.path(), GetParam().sizeText),
              expected.empty() ? std::string() : root / nativeRelative(expected));
}

const WalkCase kWalkCases[] = {
    {"NoRecordMatches", {{"软件光盘/工具盘.Cdr", ".Ifn", "650000000"}}, "700000000", ""},
    {"CapacityIsComparedByteForByte",
     {{"软件光盘/a.Cdr", ".Ifn", "0700"}, {"软件光盘/b.Cdr", ".Ifn", "700 "}},
     "700",
     ""},
    {"LaterBoxReplacesEarlierMatch",
     {{"软件光盘/工具盘.Cdr", ".Ifn", "681574400"}, {"音乐光盘/老歌.Cdr", ".Ifn", "681574400"}},
     "681574400",
     "音乐光盘/老歌.Cdr"},
    {"ResultsFolderIsWalkedLast",
     {{"软件光盘/工具盘.Cdr", ".Ifn", "681574400"}, {"@/星际/旧盘.cdr", ".ifn", "681574400"}},
     "681574400",
     "@/星际/旧盘.cdr"},
    {"MatchEndsTheWalkOfItsOwnFolder",
     {{"软件光盘/a.Cdr", ".Ifn", "1000"},
      {"软件光盘/b.Cdr", ".Ifn", "1000"},
      {"软件光盘/z盒/c.Cdr", ".Ifn", "1000"}},
     "1000",
     "软件光盘/a.Cdr"},
    {"MatchInFolderReplacesMatchInEarlierSubFolder",
     {{"软件光盘/0盒/c.Cdr", ".Ifn", "1000"}, {"软件光盘/a.Cdr", ".Ifn", "1000"}},
     "1000",
     "软件光盘/a.Cdr"},
    {"ExtensionsInAnyCase",
     {{"软件光盘/a.CDR", ".IFN", "1000"}, {"软件光盘/b.cdr", ".iFn", "2000"}},
     "2000",
     "软件光盘/b.cdr"},
    {"RecordWithoutInformationIsSkipped",
     {{"软件光盘/a.Cdr", ".Ifn", "1000"}, {"软件光盘/b.Cdr", nullptr, "1000"}},
     "1000",
     "软件光盘/a.Cdr"},
    {"OnlyCdrFilesAreChecked",
     {{"软件光盘/a.Cdr", ".Ifn", "1000"}, {"软件光盘/b.Cdx", ".Ifn", "1000"}},
     "1000",
     "软件光盘/a.Cdr"},
};

INSTANTIATE_TEST_SUITE_P(Walks, FindRecordBySizeTest, ::testing::ValuesIn(kWalkCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(FindRecordBySize, ShortInformationFileEndsTheWalkWithAnError)
{
    TempDir root;
    writeFile(root / gbk("软件光盘/a.Cdr"), "E:\\\r\n");
    writeFile(root / gbk("软件光盘/a.Ifn"), std::string(191, '\0'));
    EXPECT_THROW(catalog::FindRecordBySize(root.path(), "1000"), catalog::FileError);
}

TEST(FindRecordBySize, SymbolicLinkLoopEnds)
{
    TempDir root;
    writeRecord(root, {"软件光盘/a.Cdr", ".Ifn", "1000"});
    ASSERT_EQ(::symlink(root.path().c_str(), (root / gbk("软件光盘/回环")).c_str()), 0);
    EXPECT_EQ(catalog::FindRecordBySize(root.path(), "1000"), root / gbk("软件光盘/a.Cdr"));
}

TEST(IdentifyDiscInDrive, AnswersByTheDiscInTheDrive)
{
    TempDir root;
    writeRecord(root, {"软件光盘/工具盘.Cdr", ".Ifn", "681574400"});
    FakeDrives drives;
    drives.addDrive('E');
    EXPECT_EQ(catalog::IdentifyDiscInDrive(drives, 'E', root.path()), "-1");
    EXPECT_EQ(catalog::IdentifyDiscInDrive(drives, 'F', root.path()), "-1");

    drives.insert('E', {"TOOLS", 681574400, ""});
    EXPECT_EQ(catalog::IdentifyDiscInDrive(drives, 'E', root.path()),
              root / gbk("软件光盘/工具盘.Cdr"));

    drives.insert('E', {"OTHER", 4700000000, ""});
    EXPECT_EQ(catalog::IdentifyDiscInDrive(drives, 'E', root.path()), "");
}

} // namespace
