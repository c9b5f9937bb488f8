#include "organize/organize.h"

#include "catalog/library.h"
#include "catalog/record_set.h"
#include "catalog/text.h"
#include "organize/system_calls.h"
#include "tests/core/organize_fixture.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace {

using organize_testing::inodeOf;
using organize_testing::OrganizeTest;
using organize_testing::RecordFiles;
using testing_support::exists;
using testing_support::gbk;
using testing_support::makeFolders;
using testing_support::readFile;
using testing_support::writeFile;

constexpr int Box = catalog::ListItem::Box;
constexpr int Cd = catalog::ListItem::CdRecord;

// Every rename fails as it does between two file systems.
organize::ScopedSystemCalls acrossFileSystems()
{
    return organize::ScopedSystemCalls(
        [](const std::string&, const std::string&) {
            errno = EXDEV;
            return -1;
        },
        {});
}

// Answers every overwrite question and notes it.
struct Answers
{
    bool yes = false;
    std::vector<std::string> asked;
    organize::OverwriteQuestion question()
    {
        return [this](const std::string& text) {
            asked.push_back(text);
            return yes;
        };
    }
};

struct MessageCase
{
    std::string text;
    std::string expected;
};

TEST(OrganizeMessages, AreByteExact)
{
    const std::vector<MessageCase> cases{
        {organize::InsideOrParentMessage(), "不能移动/复制给 父项目或自己或自己的子项目!"},
        {organize::BoxNameTakenMessage(gbk("软件光盘"), gbk("游戏")),
         "目标类别 \"软件光盘 \"下\r\r已含有与源类别 \"游戏 \" 同名的类别！"},
        {organize::OverwriteCdQuestion(gbk("Orlendy"), gbk("工具盘")),
         "目标光盘盒 \"Orlendy \"下\r已含有与源光盘 \"工具盘 \" 同名的光盘！\r\r是否要覆盖？"},
        {organize::OverwriteFoundCdQuestion(gbk("音乐"), gbk("工具盘")),
         "目标光盘下 \"音乐 \"下\r已含有与源光盘 \"工具盘 \" 同名的光盘！\r\r是否要覆盖？"},
        {organize::BoxExistsInTreeMessage(gbk("游戏")), "光盘盒 \"游戏\" 已存在！"},
        {organize::BoxExistsInListMessage(gbk("游戏")), "光盘盒 游戏 已存在！"},
        {organize::CdExistsMessage(gbk("工具盘")), "光盘 \"工具盘 \"已存在！"},
    };
    for (const auto& [text, expected] : cases) {
        EXPECT_EQ(text, expected);
    }
}

// ---- Boxes ----

struct BoxRefusal
{
    const char* source;
    const char* target;
};

class BoxRefusals : public OrganizeTest, public ::testing::WithParamInterface<BoxRefusal>
{
};

TEST_P(BoxRefusals, AreRefusedWithM1BeforeAnythingIsTouched)
{
    writeRecord("A\\B\\", "盘", {{".cdr", "tree"}});
    makeBox("XA");
    // A link inside the library that leads into A: judged by where it leads.
    ASSERT_EQ(::symlink(folder("A\\B\\").c_str(), (root() + "L").c_str()), 0);
    const std::string before = library();
    for (const bool copy : {false, true}) {
        const organize::MoveOutcome outcome =
            organize::MoveCopyBox(root(), gbk(GetParam().source), copy, gbk(GetParam().target));
        EXPECT_FALSE(outcome.done);
        EXPECT_EQ(outcome.refusalsUtf8,
                  std::vector<std::string>{organize::InsideOrParentMessage()});
    }
    EXPECT_EQ(library(), before);
}

INSTANTIATE_TEST_SUITE_P(Targets, BoxRefusals,
                         ::testing::Values(BoxRefusal{"A\\", "A\\"}, BoxRefusal{"A\\", "A\\B\\"},
                                           BoxRefusal{"A\\", ""}, BoxRefusal{"A\\B\\", "A\\"},
                                           BoxRefusal{"A\\", "L\\"}, BoxRefusal{"", "XA\\"}));

TEST_F(OrganizeTest, BoxNamedLikeTheSourceAtTheTargetIsRefusedWithM2)
{
    writeRecord("游戏\\", "盘", {{".cdr", "tree"}});
    makeBox("软件光盘\\游戏");
    makeBox("音乐\\games");
    makeBox("GAMES");
    const std::string before = library();

    organize::MoveOutcome outcome =
        organize::MoveCopyBox(root(), gbk("游戏\\"), false, gbk("软件光盘\\"));
    EXPECT_EQ(outcome.refusalsUtf8,
              std::vector<std::string>{
                  "目标类别 \"软件光盘 \"下\r\r已含有与源类别 \"游戏 \" 同名的类别！"});
    // Names clash without regard to ASCII case.
    outcome = organize::MoveCopyBox(root(), "GAMES\\", true, gbk("音乐\\"));
    EXPECT_EQ(outcome.refusalsUtf8.size(), 1U);
    EXPECT_EQ(library(), before);
}

TEST_F(OrganizeTest, BoxMoveOnOneFileSystemIsARenameThatKeepsEveryFile)
{
    writeRecord("A\\", "盘", {{".Cdr", "tree"}, {".tag", "0\r\n"}});
    writeFile(folder("A\\") + "notes.txt", "mine");
    makeBox("A\\empty");
    makeBox("XA");
    const unsigned long inode = inodeOf(folder("A\\"));

    const organize::MoveOutcome outcome = organize::MoveCopyBox(root(), "A\\", false, "XA\\");

    EXPECT_TRUE(outcome.done);
    EXPECT_EQ(outcome.boxPathsGbk, std::vector<std::string>{"A\\"});
    EXPECT_EQ(outcome.namesGbk, std::vector<std::string>{"A"});
    EXPECT_EQ(inodeOf(folder("XA\\A\\")), inode);
    EXPECT_EQ(library(), "XA/\nXA/A/\nXA/A/empty/\nXA/A/notes.txt=mine\nXA/A/盘.Cdr=tree\n"
                         "XA/A/盘.tag=0\r\n\n");
}

TEST_F(OrganizeTest, BoxCopyCarriesRecordFilesAndEmptyBoxesOnly)
{
    writeRecord("A\\", "盘", {{".Cdr", "tree"}, {".FMX", "notes"}});
    writeFile(folder("A\\") + "notes.txt", "mine");
    makeBox("A\\empty");
    makeBox("B\\A2");

    const organize::MoveOutcome outcome = organize::MoveCopyBox(root(), "A\\", true, "B\\A2\\");

    EXPECT_TRUE(outcome.done);
    EXPECT_EQ(library(), "A/\nA/empty/\nA/notes.txt=mine\nA/盘.Cdr=tree\nA/盘.FMX=notes\n"
                         "B/\nB/A2/\nB/A2/A/\nB/A2/A/empty/\nB/A2/A/盘.Cdr=tree\n"
                         "B/A2/A/盘.FMX=notes\n");
}

TEST_F(OrganizeTest, BoxMoveAcrossFileSystemsDeletesOnlyWhatArrivedWhole)
{
    writeRecord("A\\", "盘", {{".cdr", "tree"}, {".Mx", "about"}});
    writeFile(folder("A\\") + "notes.txt", "mine");
    // A FIFO named like a record file cannot be copied: it stays, and so does its box.
    ASSERT_EQ(::mkfifo((folder("A\\") + "pipe.cdr").c_str(), 0600), 0);
    makeBox("B");
    const auto across = acrossFileSystems();

    const organize::MoveOutcome outcome = organize::MoveCopyBox(root(), "A\\", false, "B\\");

    EXPECT_TRUE(outcome.done);
    EXPECT_EQ(outcome.filesNotCopied, 1);
    EXPECT_EQ(outcome.filesNotDeleted, 0);
    EXPECT_EQ(library(), "A/\nA/notes.txt=mine\nA/pipe.cdr|\nB/\nB/A/\nB/A/盘.Mx=about\n"
                         "B/A/盘.cdr=tree\n");
}

// A box goes into a sibling whose name begins with its own: AB does not lie inside A.
TEST_F(OrganizeTest, BoxGoesIntoASiblingNamedLikeItsBeginning)
{
    for (const bool copy : {true, false}) {
        writeRecord("A\\", "盘", {{".Cdr", "tree"}});
        makeBox("AB");
        const organize::MoveOutcome outcome = organize::MoveCopyBox(root(), "A\\", copy, "AB\\");
        EXPECT_TRUE(outcome.refusalsUtf8.empty()) << copy;
        EXPECT_TRUE(outcome.done) << copy;
        EXPECT_EQ(readFile(folder("AB\\A\\") + gbk("盘") + ".Cdr"), "tree") << copy;
        EXPECT_EQ(exists(folder("A\\")), copy);
        std::filesystem::remove_all(folder("AB\\"));
    }
}

// A box moved away between being chosen and being read: nothing arrives, and saying so
// keeps a copy of nothing from passing for a copy of the box.
TEST_F(OrganizeTest, BoxGoneWhenReadIsAFailureAndLeavesNothingAtTheTarget)
{
    writeRecord("A\\", "盘", {{".Cdr", "tree"}});
    makeBox("C");
    makeBox("Elsewhere");
    // The move's rename finds the box gone: another command took it first.
    const organize::ScopedSystemCalls raced(
        [this](const std::string& from, const std::string&) {
            std::filesystem::rename(from, folder("Elsewhere\\") + "A");
            errno = ENOENT;
            return -1;
        },
        {});

    const organize::MoveOutcome outcome = organize::MoveCopyBox(root(), "A\\", false, "C\\");

    EXPECT_FALSE(outcome.done);
    EXPECT_EQ(outcome.refusalsUtf8, std::vector<std::string>{organize::BoxGoneMessage("A\\")});
    EXPECT_EQ(organize::BoxGoneMessage(gbk("软件\\游戏\\")), "光盘盒 软件\\游戏 不存在！");
    EXPECT_EQ(library(), "C/\nElsewhere/\nElsewhere/A/\nElsewhere/A/盘.Cdr=tree\n");
}

// ---- CDs ----

TEST_F(OrganizeTest, CdMoveRenamesEachFileAndSpellsTheExtensionsOnce)
{
    writeRecord("A\\", "盘", {{".cdr", "tree"}, {".Tag", "0\r\n"}, {".MX", "about"}});
    writeRecord("A\\", "other", {{".cdr", "stays"}});
    makeBox("B");
    const unsigned long inode = inodeOf(folder("A\\") + gbk("盘") + ".cdr");
    Answers answers;

    const organize::MoveOutcome outcome =
        organize::MoveCopyItems(root(), "A\\", {{gbk("盘"), Cd}}, false, "B\\", answers.question());

    EXPECT_TRUE(outcome.done);
    EXPECT_TRUE(answers.asked.empty());
    EXPECT_EQ(outcome.namesGbk, std::vector<std::string>{gbk("盘")});
    EXPECT_EQ(inodeOf(folder("B\\") + gbk("盘") + ".Cdr"), inode);
    EXPECT_EQ(library(), "A/\nA/other.cdr=stays\nB/\nB/盘.Cdr=tree\nB/盘.Mx=about\n"
                         "B/盘.Tag=0\r\n\n");
}

struct Overwrite
{
    bool copy;
    bool yes;
    const char* expected;
};

class OverwriteAnswers : public OrganizeTest, public ::testing::WithParamInterface<Overwrite>
{
};

TEST_P(OverwriteAnswers, ReplaceTheRecordWholeOrLeaveBothAlone)
{
    // The source has no .fmx and no .ifn; the old target record has both, in other
    // spellings, and its listing spelled twice.
    writeRecord("A\\", "X", {{".cdr", "new tree"}, {".Tag", "new icons"}, {".mx", "new about"}});
    writeRecord("B\\", "X",
                {{".CDR", "old tree"},
                 {".cdr", "old tree 2"},
                 {".mx", "old about"},
                 {".fmx", "old notes"},
                 {".IFN", "old info"}});
    writeRecord("B\\", "x", {{".Ifn", "old info, other case"}});
    Answers answers;
    answers.yes = GetParam().yes;

    const organize::MoveOutcome outcome = organize::MoveCopyItems(
        root(), "A\\", {{"X", Cd}}, GetParam().copy, "B\\", answers.question());

    EXPECT_EQ(answers.asked, std::vector<std::string>{organize::OverwriteCdQuestion("B", "X")});
    EXPECT_EQ(outcome.done, GetParam().yes);
    EXPECT_EQ(library(), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    YesAndNo, OverwriteAnswers,
    ::testing::Values(
        // Only the record the question names is replaced: its case twin x stays.
        Overwrite{false, true,
                  "A/\nB/\nB/X.Cdr=new tree\nB/X.Mx=new about\nB/X.Tag=new icons\n"
                  "B/x.Ifn=old info, other case\n"},
        Overwrite{true, true,
                  "A/\nA/X.Tag=new icons\nA/X.cdr=new tree\nA/X.mx=new about\nB/\n"
                  "B/X.Cdr=new tree\nB/X.Mx=new about\nB/X.Tag=new icons\n"
                  "B/x.Ifn=old info, other case\n"},
        Overwrite{false, false,
                  "A/\nA/X.Tag=new icons\nA/X.cdr=new tree\nA/X.mx=new about\nB/\n"
                  "B/X.CDR=old tree\nB/X.IFN=old info\nB/X.cdr=old tree 2\nB/X.fmx=old notes\n"
                  "B/X.mx=old about\nB/x.Ifn=old info, other case\n"}));

TEST_F(OrganizeTest, ItemsAreVisitedLastToFirstAndRefusalsSkipOnlyTheirItem)
{
    writeRecord("A\\", "c1", {{".cdr", "1"}});
    writeRecord("A\\", "c2", {{".cdr", "2"}});
    writeRecord("A\\sub\\", "deep", {{".cdr", "d"}});
    writeRecord("B\\", "c1", {{".cdr", "old 1"}});
    writeRecord("B\\", "c2", {{".cdr", "old 2"}});
    makeBox("B\\sub2");
    makeBox("A\\sub2");
    Answers answers;
    answers.yes = true;
    const std::vector<organize::ListItemRef> items{{"c1", Cd}, {"sub", Box}, {"sub2", Box},
                                                   {"c2", Cd}, {"gone", Cd}, {"../x", Cd}};

    const organize::MoveOutcome outcome =
        organize::MoveCopyItems(root(), "A\\", items, false, "B\\", answers.question());

    EXPECT_EQ(answers.asked, (std::vector<std::string>{organize::OverwriteCdQuestion("B", "c2"),
                                                       organize::OverwriteCdQuestion("B", "c1")}));
    EXPECT_EQ(outcome.namesGbk, (std::vector<std::string>{"gone", "c2", "sub", "c1"}));
    EXPECT_EQ(outcome.boxPathsGbk, std::vector<std::string>{"A\\sub\\"});
    EXPECT_EQ(outcome.refusalsUtf8,
              std::vector<std::string>{organize::BoxNameTakenMessage("B", "sub2")});
    EXPECT_EQ(library(), "A/\nA/sub2/\nB/\nB/c1.Cdr=1\nB/c2.Cdr=2\nB/sub/\nB/sub/deep.cdr=d\n"
                         "B/sub2/\n");
}

TEST_F(OrganizeTest, BoxItemWhoseTargetLiesInsideItIsRefusedWithM1)
{
    makeBox("A\\sub\\inner");
    writeRecord("A\\", "c", {{".cdr", "c"}});
    const organize::MoveOutcome outcome = organize::MoveCopyItems(
        root(), "A\\", {{"c", Cd}, {"sub", Box}}, true, "A\\sub\\inner\\", {});
    EXPECT_EQ(outcome.refusalsUtf8, std::vector<std::string>{organize::InsideOrParentMessage()});
    EXPECT_TRUE(exists(folder("A\\sub\\inner\\") + "c.Cdr"));
    EXPECT_FALSE(exists(folder("A\\sub\\inner\\sub")));
}

TEST_F(OrganizeTest, CdDroppedOnItsOwnBoxOrAnEntryOfASearchDoesNothing)
{
    writeRecord("A\\", "c", {{".cdr", "c"}});
    writeRecord("A\\", "f", {{".Fid", "found"}});
    ASSERT_EQ(::symlink(folder("A\\").c_str(), (root() + "sameA").c_str()), 0);
    const std::string before = library();
    Answers answers;
    for (const char* target : {"A\\", "sameA\\"}) {
        const organize::MoveOutcome outcome = organize::MoveCopyItems(
            root(), "A\\", {{"c", Cd}, {"f", catalog::ListItem::FoundFolder}}, false, target,
            answers.question());
        EXPECT_FALSE(outcome.done);
    }
    EXPECT_TRUE(answers.asked.empty());
    EXPECT_EQ(library(), before);
}

TEST_F(OrganizeTest, CdMoveAcrossFileSystemsKeepsWhatCouldNotBeCopied)
{
    writeRecord("A\\", "c", {{".cdr", "c"}, {".mx", "about"}, {".ifn", "info"}});
    writeRecord("A\\", "d", {{".tag", "no listing"}});
    writeRecord("A\\", "e", {{".cdr", "e"}, {".mx", "stays with its listing"}});
    // Folders where copies would go make those copies fail.
    makeBox("B\\c.Ifn");
    makeBox("B\\e.Cdr");
    const auto across = acrossFileSystems();

    const organize::MoveOutcome outcome =
        organize::MoveCopyItems(root(), "A\\", {{"c", Cd}, {"d", Cd}, {"e", Cd}}, false, "B\\", {});

    EXPECT_EQ(outcome.filesNotCopied, 2);
    EXPECT_EQ(outcome.filesNotDeleted, 0);
    EXPECT_EQ(library(), "A/\nA/c.ifn=info\nA/d.tag=no listing\nA/e.cdr=e\n"
                         "A/e.mx=stays with its listing\nB/\nB/c.Cdr=c\nB/c.Ifn/\nB/c.Mx=about\n"
                         "B/e.Cdr/\n");
}

// ---- File modes ----

struct ModeCase
{
    const char* name;
    bool copy;
    bool acrossFileSystems;
    bool box; // the box A carried whole, else its CD
};

class FileModes : public OrganizeTest, public ::testing::WithParamInterface<ModeCase>
{
};

// Each record file keeps its own permissions wherever it goes: a copy is no more open, and
// no more closed, than its source.
TEST_P(FileModes, AreKeptByCopiesAndMoves)
{
    const std::vector<std::pair<std::string, mode_t>> files{
        {".Cdr", 0644}, {".tag", 0640}, {".Mx", 0600}, {".Ifn", 0664}};
    RecordFiles record;
    for (const auto& [ext, mode] : files) {
        record.push_back({ext, "content"});
    }
    writeRecord("A\\", "盘", record);
    for (const auto& [ext, mode] : files) {
        ASSERT_EQ(::chmod((folder("A\\") + gbk("盘") + ext).c_str(), mode), 0);
    }
    makeBox("B");
    std::optional<organize::ScopedSystemCalls> across;
    if (GetParam().acrossFileSystems) {
        across.emplace(
            [](const std::string&, const std::string&) {
                errno = EXDEV;
                return -1;
            },
            organize::ScopedSystemCalls::Trash{});
    }

    const organize::MoveOutcome outcome =
        GetParam().box
            ? organize::MoveCopyBox(root(), "A\\", GetParam().copy, "B\\")
            : organize::MoveCopyItems(root(), "A\\", {{gbk("盘"), Cd}}, GetParam().copy, "B\\", {});

    ASSERT_TRUE(outcome.done);
    const std::string arrived = folder(GetParam().box ? "B\\A\\" : "B\\");
    for (const auto& [ext, mode] : files) {
        const std::string path = catalog::FindRecordFile(arrived, gbk("盘"), ext);
        struct stat info = {};
        ASSERT_EQ(::stat(path.c_str(), &info), 0) << ext;
        EXPECT_EQ(info.st_mode & 07777, mode) << ext;
    }
}

INSTANTIATE_TEST_SUITE_P(Carries, FileModes,
                         ::testing::Values(ModeCase{"CdCopy", true, false, false},
                                           ModeCase{"CdMove", false, false, false},
                                           ModeCase{"BoxCopy", true, false, true},
                                           ModeCase{"BoxMoveAcross", false, true, true}),
                         [](const auto& info) { return std::string(info.param.name); });

// ---- Found CDs ----

class FoundCds : public OrganizeTest
{
protected:
    void SetUp() override
    {
        writeRecord("软件\\", "工具盘", {{".Cdr", "tools"}, {".tag", "0"}});
        writeRecord("音乐\\", "工具盘", {{".cdr", "music tools"}});
        writeRecord("目标\\", "在此", {{".Cdr", "here"}});
        pointer("工具盘", "软件\\工具盘.Cdr\r\n");
        pointer("在此", "目标\\在此.Cdr\r\n");
        pointer("工具盘(2)", "音乐\\工具盘.cdr\r\n");
    }
    void pointer(const std::string& captionUtf8, const std::string& lineUtf8) const
    {
        writeFile(category() + gbk(captionUtf8) + ".Tgt", gbk(lineUtf8));
    }
    std::string category() const
    {
        return root() + catalog::ResultsFolderName() + "/" + gbk("包含 盘") + "/";
    }
    std::string categoryPath() const
    {
        return catalog::ResultsFolderName() + "\\" + gbk("包含 盘") + "\\";
    }
};

TEST_F(FoundCds, OnlyTheCdsAfterOneThatLivesInTheTargetAreCopied)
{
    Answers answers;
    const organize::MoveOutcome outcome = organize::CopyFoundCDs(
        root(), categoryPath(), {gbk("工具盘"), gbk("在此"), gbk("工具盘(2)")}, gbk("目标\\"),
        answers.question());

    EXPECT_TRUE(outcome.done);
    EXPECT_EQ(outcome.namesGbk, (std::vector<std::string>{gbk("工具盘(2)"), gbk("在此")}));
    // The copy is named after the entry: 工具盘 and 工具盘(2) are two CDs. The entries stay.
    EXPECT_EQ(readFile(folder("目标\\") + gbk("工具盘(2)") + ".Cdr"), "music tools");
    EXPECT_FALSE(exists(folder("目标\\") + gbk("工具盘") + ".Cdr"));
    EXPECT_TRUE(exists(folder("软件\\") + gbk("工具盘") + ".Cdr"));
    EXPECT_TRUE(exists(category() + gbk("工具盘(2)") + ".Tgt"));
}

TEST_F(FoundCds, SameNamedCdAtTheTargetAsksM4)
{
    for (const bool yes : {false, true}) {
        writeRecord("目标\\", "工具盘", {{".Cdr", "old"}, {".Ifn", "old info"}});
        Answers answers;
        answers.yes = yes;
        organize::CopyFoundCDs(root(), categoryPath(), {gbk("工具盘")}, gbk("目标\\"),
                               answers.question());
        EXPECT_EQ(answers.asked, std::vector<std::string>{organize::OverwriteFoundCdQuestion(
                                     gbk("目标"), gbk("工具盘"))});
        const std::string base = folder("目标\\") + gbk("工具盘");
        EXPECT_EQ(readFile(base + ".Cdr"), yes ? "tools" : "old");
        EXPECT_EQ(exists(base + ".Ifn"), !yes);
        EXPECT_EQ(exists(base + ".Tag"), yes);
    }
}

TEST_F(FoundCds, PointerOutsideTheLibraryIsSkippedAndAMissingOneEndsTheCopy)
{
    pointer("逃", "..\\outside.cdr\r\n");
    makeBox("空");
    const organize::MoveOutcome outcome =
        organize::CopyFoundCDs(root(), categoryPath(), {gbk("逃")}, gbk("空\\"), {});
    EXPECT_FALSE(outcome.done);
    EXPECT_EQ(testing_support::snapshot(folder("空\\")), "");

    // Visited last to first: the third is copied before the missing pointer stops the rest.
    EXPECT_THROW(organize::CopyFoundCDs(root(), categoryPath(),
                                        {gbk("在此"), gbk("没有"), gbk("工具盘")}, gbk("空\\"), {}),
                 catalog::FileError);
    EXPECT_TRUE(exists(folder("空\\") + gbk("工具盘") + ".Cdr"));
    EXPECT_FALSE(exists(folder("空\\") + gbk("在此") + ".Cdr"));
}

TEST_F(FoundCds, AnEntryWhoseCdIsGoneIsAFailureThatNamesIt)
{
    std::filesystem::rename(folder("软件\\"), folder("") + "moved");
    makeBox("空");
    const organize::MoveOutcome outcome = organize::CopyFoundCDs(
        root(), categoryPath(), {gbk("工具盘"), gbk("工具盘(2)")}, gbk("空\\"), {});
    EXPECT_EQ(outcome.refusalsUtf8, std::vector<std::string>{"查找结果指向的文件 工具盘 不存在！"});
    EXPECT_TRUE(outcome.done);
    EXPECT_EQ(readFile(folder("空\\") + gbk("工具盘(2)") + ".Cdr"), "music tools");
    EXPECT_FALSE(exists(folder("空\\") + gbk("工具盘") + ".Cdr"));
}

// The target's record named like the CD in another letter case is the same CD: a yes
// replaces it whole, in every one of its files.
TEST_F(OrganizeTest, ACaseTwinAtTheTargetIsReplacedWhole)
{
    writeRecord("A\\", "Disc", {{".cdr", "new tree"}});
    writeRecord("B\\", "DISC", {{".Cdr", "old tree"}, {".Mx", "old about"}, {".Tag", "old icons"}});
    Answers answers;
    answers.yes = true;

    const organize::MoveOutcome outcome =
        organize::MoveCopyItems(root(), "A\\", {{"Disc", Cd}}, true, "B\\", answers.question());

    EXPECT_EQ(answers.asked, std::vector<std::string>{organize::OverwriteCdQuestion("B", "Disc")});
    EXPECT_TRUE(outcome.done);
    EXPECT_EQ(library(), "A/\nA/Disc.cdr=new tree\nB/\nB/Disc.Cdr=new tree\n");
}

} // namespace
