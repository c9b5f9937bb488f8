#include "catalog/record_set.h"
#include "catalog/library.h"

#include "catalog/disk.h"
#include "tests/support/fake_settings_store.h"
#include "tests/support/temp_library.h"

#include <gtest/gtest.h>

#include <unistd.h>

using namespace catalog;
using testing_support::FakeSettingsStore;
using testing_support::gbk;
using testing_support::TempDir;
using testing_support::writeFile;

namespace {

std::vector<std::string> namesIn(const std::string& folder)
{
    std::vector<DirEntry> entries;
    ListFolder(folder, entries);
    std::vector<std::string> names;
    for (const auto& entry : entries) {
        names.push_back(entry.name);
    }
    return names;
}

} // namespace

TEST(LibraryRoot, AMissingRootIsCreatedWithTheSixBoxesInExactBytes)
{
    TempDir dir;
    FakeSettingsStore settings;
    const std::string root = ResolveLibraryRoot(settings, dir / "Orlendy/");
    EXPECT_EQ(root, dir / "Orlendy/");
    std::vector<std::string> expected{
        "\xC8\xED\xBC\xFE\xB9\xE2\xC5\xCC", // 软件光盘
        "\xD3\xCE\xCF\xB7\xB9\xE2\xC5\xCC", // 游戏光盘
        "\xD2\xF4\xC0\xD6\xB9\xE2\xC5\xCC", // 音乐光盘
        "\xC6\xE4\xCB\xFC\xB9\xE2\xC5\xCC", // 其它光盘
        "\xB3\xC2\xC4\xEA\xBE\xC9\xC5\xCC", // 陈年旧盘
        "\xD6\xD8\xD2\xAA\xB9\xE2\xC5\xCC", // 重要光盘
    };
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(namesIn(root), expected);
}

TEST(LibraryRoot, TheStoredFolderIsUsedOnlyWhenItExistsAndEndsInASeparator)
{
    TempDir dir;
    testing_support::makeFolders(dir / "mine");
    testing_support::makeFolders(dir / ".hidden");
    const std::string fallback = dir / "Orlendy/";
    struct Case
    {
        std::string stored;
        std::string expected;
    } cases[] = {
        {dir / "mine/", dir / "mine/"}, {dir / "mine", fallback}, {dir / "missing/", fallback},
        {dir / ".hidden/", fallback},   {"", fallback},
    };
    for (const auto& c : cases) {
        FakeSettingsStore settings;
        settings.writeString("\\software\\Vellumark", "光盘存放在", c.stored);
        EXPECT_EQ(ResolveLibraryRoot(settings, fallback), c.expected) << c.stored;
    }
    EXPECT_TRUE(namesIn(dir / "mine/").empty()) << "an existing library is never filled";
}

TEST(LibraryRoot, TheDefaultRootIsCreatedWithItsParentsAndAFailureIsReported)
{
    TempDir dir;
    FakeSettingsStore settings;
    EXPECT_EQ(ResolveLibraryRoot(settings, dir / "data/Vellumark/Orlendy/"),
              dir / "data/Vellumark/Orlendy/");
    EXPECT_EQ(namesIn(dir / "data/Vellumark/Orlendy/").size(), 6u);

    testing_support::writeFile(dir / "file", "");
    EXPECT_THROW(ResolveLibraryRoot(settings, dir / "file/Orlendy/"), FileError);
}

TEST(Folders, ExistsIgnoresHiddenEntriesAndCountsPlainFiles)
{
    TempDir dir;
    testing_support::writeFile(dir / "plain", "");
    testing_support::makeFolders(dir / ".hidden");
    testing_support::makeFolders(dir / "box");
    EXPECT_TRUE(FolderExists(dir / "box/"));
    EXPECT_TRUE(FolderExists(dir / "plain/"));
    EXPECT_FALSE(FolderExists(dir / ".hidden/"));
    EXPECT_FALSE(FolderExists(dir / "none/"));

    EXPECT_TRUE(FolderIsEmpty(dir / "box/"));
    EXPECT_TRUE(FolderIsEmpty(dir / "none/"));
    EXPECT_FALSE(FolderIsEmpty(dir.path()));
}

TEST(Names, ForbiddenCharactersRefuseBlankNamesDrop)
{
    for (const char c : std::string("\\/*?:\"><|")) {
        EXPECT_EQ(CheckName(std::string("a") + c + "b"), NameCheck::Refused) << c;
    }
    EXPECT_EQ(CheckName("   "), NameCheck::Dropped);
    EXPECT_EQ(CheckName(""), NameCheck::Dropped);
    EXPECT_EQ(CheckName(" disc 1 "), NameCheck::Accepted);
    EXPECT_EQ(CheckName(gbk("光盘.old")), NameCheck::Accepted);
    // A double-byte character whose trail byte is the code of '\' or '|' is no separator.
    EXPECT_EQ(CheckName("\x81\x5C\x81\x7C"), NameCheck::Accepted);
}

TEST(Names, RefusalMessagesPerOperation)
{
    EXPECT_EQ(NameRefusalMessage(NameUse::BoxInTree), "光盘盒的名称不能含有下列字符\r\\/*?:\"><|");
    EXPECT_EQ(NameRefusalMessage(NameUse::BoxInList), "光盘盒不能含有下列字符\r\\/*?:\"><|");
    EXPECT_EQ(NameRefusalMessage(NameUse::Cd), "光盘名称不能含有下列字符\r\\/*?:\"><|");
    EXPECT_EQ(NameRefusalMessage(NameUse::TreeNode), "文件或文件夹名称不能包含\r\\/*?:\"><|");
}

TEST(Names, LibraryPathsTurnBackslashesIntoSeparators)
{
    EXPECT_EQ(LibraryPath("/lib/", gbk("软件光盘\\游戏\\")), "/lib/" + gbk("软件光盘/游戏/"));
    EXPECT_EQ(LibraryPath("/lib/", "\x81\x5C\\"), "/lib/\x81\x5C/");
    EXPECT_EQ(ChildPath("/lib/", "box"), "/lib/box/");
}

TEST(Boxes, ANewBoxIsRefusedWhenItsNameIsTakenInAnyLetterCase)
{
    TempDir dir;
    testing_support::makeFolders(dir / "Games");
    testing_support::makeFolders(dir / ".hidden");
    EXPECT_EQ(CreateBox(dir.path(), "GAMES"), NewBox::Exists);
    EXPECT_EQ(CreateBox(dir.path(), "a/b"), NewBox::Refused);
    EXPECT_EQ(CreateBox(dir.path(), "  "), NewBox::Dropped);
    EXPECT_EQ(CreateBox(dir.path(), ".HIDDEN"), NewBox::Exists) << "hidden folders clash too";
    EXPECT_EQ(CreateBox(dir.path(), ".new"), NewBox::Created);
    EXPECT_EQ(CreateBox(dir.path(), ".new"), NewBox::Exists);
    EXPECT_EQ(CreateBox(dir.path(), "."), NewBox::Refused);
    EXPECT_EQ(CreateBox(dir.path(), ".."), NewBox::Refused);
    EXPECT_EQ(CreateBox(dir.path(), gbk(" 新盒 ")), NewBox::Created);
    EXPECT_TRUE(testing_support::exists(dir / (gbk(" 新盒 ") + "/")));
    EXPECT_EQ(BoxExistsMessage(gbk("游戏")), "已存在光盘盒: 游戏");
}

TEST(Names, RelativePathsSplitIntoSafeNamesOnly)
{
    using Names = std::vector<std::string>;
    EXPECT_EQ(SplitRelativePath(""), Names{});
    EXPECT_EQ(SplitRelativePath(gbk("软件光盘\\游戏\\")), (Names{gbk("软件光盘"), gbk("游戏")}));
    EXPECT_EQ(SplitRelativePath(gbk("软件光盘\\工具盘")), (Names{gbk("软件光盘"), gbk("工具盘")}));
    // A double-byte character whose trail byte is the code of '\\' is no separator.
    EXPECT_EQ(SplitRelativePath("\x81\x5C\\x"), (Names{"\x81\x5C", "x"}));
    for (const std::string& bad :
         {std::string(".."), std::string("a\\..\\b"), std::string(".\\a"), std::string("a\\\\b"),
          std::string("\\a"), std::string("a/b"), std::string("a\\\\"), std::string("a\0b", 3)}) {
        EXPECT_FALSE(SplitRelativePath(bad).has_value()) << bad;
    }
}

TEST(Folders, LiesInsideFollowsSymbolicLinks)
{
    TempDir root;
    TempDir outside;
    testing_support::makeFolders(root / "box/inner");
    ASSERT_EQ(::symlink(outside.path().c_str(), (root / "out").c_str()), 0);
    ASSERT_EQ(::symlink((root / "box").c_str(), (root / "alias").c_str()), 0);
    EXPECT_TRUE(LiesInside(root.path(), root.path()));
    EXPECT_TRUE(LiesInside(root.path(), root / "box/inner/"));
    EXPECT_TRUE(LiesInside(root.path(), root / "alias/inner"));
    EXPECT_FALSE(LiesInside(root.path(), root / "out/"));
    EXPECT_FALSE(LiesInside(root.path(), root / "box/../../"));
    // A folder yet to be made lies where it will be made.
    EXPECT_TRUE(LiesInside(root.path(), root / "missing/new"));
    EXPECT_FALSE(LiesInside(root.path(), root / "out/missing/"));
}

// A name that begins with another's is not inside it: the library "lib" beside "lib2",
// the box "A" beside "AB", also reached through links.
struct InsideCase
{
    const char* folder;
    const char* path;
    bool inside;
};

void PrintTo(const InsideCase& param, std::ostream* out)
{
    *out << param.folder << " holding " << param.path;
}

class LiesInsideByName : public testing::TestWithParam<InsideCase>
{
};

TEST_P(LiesInsideByName, NeedsASeparatorAfterTheFolder)
{
    TempDir top;
    testing_support::makeFolders(top / "lib/A/inner");
    testing_support::makeFolders(top / "lib/AB");
    testing_support::makeFolders(top / "lib2/box");
    ASSERT_EQ(::symlink((top / "lib2/box").c_str(), (top / "lib/evil").c_str()), 0);
    ASSERT_EQ(::symlink((top / "lib/AB").c_str(), (top / "lib/A/toAB").c_str()), 0);
    EXPECT_EQ(LiesInside(top / GetParam().folder, top / GetParam().path), GetParam().inside)
        << GetParam().folder << " " << GetParam().path;
}

INSTANTIATE_TEST_SUITE_P(
    Siblings, LiesInsideByName,
    testing::Values(InsideCase{"lib/", "lib2/box/", false}, InsideCase{"lib", "lib2", false},
                    InsideCase{"lib/", "lib/evil/", false},
                    InsideCase{"lib/", "lib/evil/new", false},
                    InsideCase{"lib/", "lib2/new/", false}, InsideCase{"lib/A/", "lib/AB/", false},
                    InsideCase{"lib/A", "lib/AB/new", false},
                    InsideCase{"lib/A/", "lib/A/toAB/", false},
                    InsideCase{"lib/A/", "lib/A/", true}, InsideCase{"lib/A/", "lib/A/inner", true},
                    InsideCase{"lib/", "lib/AB/", true}));

TEST(Records, ANameIsTakenByAnyFileOfARecordInAnyCase)
{
    TempDir dir;
    writeFile(dir / "Tools.IFN", "x");
    writeFile(dir / "other.txt", "x");
    writeFile(dir / "killed.tag", "0\r\n");
    testing_support::makeFolders(dir / "box.cdr");
    EXPECT_TRUE(RecordNameTaken(dir.path(), "tools"));
    EXPECT_TRUE(RecordNameTaken(dir.path(), "TOOLS"));
    EXPECT_FALSE(RecordNameTaken(dir.path(), "other"));
    EXPECT_FALSE(RecordNameTaken(dir.path(), "box"));
    EXPECT_FALSE(RecordNameTaken(dir.path(), "tool"));
    EXPECT_FALSE(RecordNameTaken(dir.path(), "killed"));
}

TEST(Names, BreakersOfTheTreeTextBecomeQuestionMarks)
{
    const std::vector<std::pair<std::string, std::string>> cases{
        {"plain name", "plain name"},
        {"  two leading", "??two leading"},
        {" \tmixed lead, inner blank\tand tab", "??mixed lead, inner blank?and tab"},
        {"a\\b\rc\nd", "a?b?c?d"},
        {"\x81\x5C trail", "\x81\x5C trail"}, // the trail byte of 乗 is no backslash
    };
    for (const auto& [name, expected] : cases) {
        std::string replaced = name;
        EXPECT_EQ(ReplaceNameBreakers(replaced), name != expected) << name;
        EXPECT_EQ(replaced, expected) << name;
    }
}

// A closing backslash would make a box pass for a record named like it in its parent.
TEST(Records, APointerWithAClosingBackslashLeadsNowhere)
{
    TempDir lib;
    writeFile(lib / gbk("盒/盘.Cdr"), "E:\\\r\n");
    writeFile(lib / gbk("盒/盘/内.Cdr"), "E:\\\r\n");
    EXPECT_TRUE(PointerTarget(lib.path(), gbk("盒\\盘.Cdr\r\n")).has_value());
    EXPECT_TRUE(PointerTarget(lib.path(), gbk("盒\\盘\\内.Cdr\r\n")).has_value());
    EXPECT_FALSE(PointerTarget(lib.path(), gbk("盒\\盘\\.Cdr\r\n")).has_value());
}
