// vellumark-cli moving, copying, renaming, deleting and clearing, run as a whole process
// against libraries written byte by byte.

#include "catalog/library.h"
#include "catalog/text.h"
#include "tests/support/cli_library.h"

#include <filesystem>

#include <algorithm>

using testing_support::CliRun;
using testing_support::exists;
using testing_support::gbk;
using testing_support::makeFolders;
using testing_support::readFile;
using testing_support::snapshot;
using testing_support::writeFile;

namespace {

const std::string Results = "\xFF" + gbk("查找结果");

class CliOrganizeTest : public testing_support::CliLibraryTest
{
protected:
    void addCd(const std::string& recordUtf8, const std::string& listing = "E:\\\r\n\tA.TXT\r\n")
    {
        writeFile(m_library / gbk(recordUtf8) + ".Cdr", listing);
        writeFile(m_library / gbk(recordUtf8) + ".tag", "0\r\n4\r\n");
    }
    void addBox(const std::string& boxUtf8) { makeFolders(m_library / gbk(boxUtf8)); }
    void addPointer(const std::string& entryUtf8, const std::string& lineUtf8)
    {
        writeFile(m_library / Results + "/" + gbk(entryUtf8) + ".Tgt", gbk(lineUtf8) + "\r\n");
    }
    // The library, names in UTF-8.
    std::string library() const { return catalog::gbkToUtf8(snapshot(m_library.path())); }
    std::string trash() const { return m_home / "data/Trash/files/"; }
};

TEST_F(CliOrganizeTest, RefusedItemsAreReportedAndTheOthersDone)
{
    addCd("A/cd");
    addBox("A/sub");
    addBox("游戏");
    addBox("软件光盘/游戏");
    addCd("X/x");

    const CliRun run = cli({"move", "A/", "A/cd", "游戏/", "X/", "--to", "A/sub"});

    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "不能移动/复制给 父项目或自己或自己的子项目!\n");
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(library(), "A/\nA/sub/\nA/sub/X/\nA/sub/X/x.Cdr=E:\\\r\n\tA.TXT\r\n\n"
                         "A/sub/X/x.tag=0\r\n4\r\n\nA/sub/cd.Cdr=E:\\\r\n\tA.TXT\r\n\n"
                         "A/sub/cd.Tag=0\r\n4\r\n\nA/sub/游戏/\n软件光盘/\n软件光盘/游戏/\n");

    const CliRun clash = cli({"copy", "A/sub/游戏/", "--to", "软件光盘"});
    EXPECT_EQ(clash.status, 1);
    EXPECT_EQ(clash.err, "目标类别 \"软件光盘 \"下\n\n已含有与源类别 \"游戏 \" 同名的类别！\n");
}

TEST_F(CliOrganizeTest, OverwriteIsDeclinedUnlessYesIsGiven)
{
    addCd("A/cd", "new\r\n");
    addCd("B/cd", "old\r\n");
    writeFile(m_library / "B/cd.Ifn", "old information");
    const std::string question =
        "目标光盘盒 \"B \"下\n已含有与源光盘 \"cd \" 同名的光盘！\n\n是否要覆盖？";

    const CliRun no = cli({"copy", "A/cd", "--to", "B"});
    EXPECT_EQ(no.status, 0);
    EXPECT_EQ(no.err, question + " 否\n");
    EXPECT_EQ(readFile(m_library / "B/cd.Cdr"), "old\r\n");

    const CliRun yes = cli({"move", "A/cd", "--to", "B", "--yes"});
    EXPECT_EQ(yes.status, 0);
    EXPECT_EQ(yes.err, question + " 是\n");
    EXPECT_EQ(library(), "A/\nB/\nB/cd.Cdr=new\r\n\nB/cd.Tag=0\r\n4\r\n\n");
}

TEST_F(CliOrganizeTest, FoundCdsAreCopiedUpToOneThatLivesInTheTarget)
{
    addCd("软件/一");
    addCd("目标/二");
    addCd("音乐/三");
    addPointer("包含 x/一", "软件\\一.Cdr");
    addPointer("包含 x/二", "目标\\二.Cdr");
    addPointer("包含 x/三", "音乐\\三.cdr");

    // Even a move copies them; the entries and the CDs stay.
    const CliRun run = cli(
        {"move", "查找结果/包含 x/一", "查找结果/包含 x/二", "查找结果/包含 x/三", "--to", "目标"});

    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(catalog::gbkToUtf8(snapshot(m_library / gbk("目标/"))),
              "二.Cdr=E:\\\r\n\tA.TXT\r\n\n二.tag=0\r\n4\r\n\n三.Cdr=E:\\\r\n\tA.TXT\r\n\n"
              "三.Tag=0\r\n4\r\n\n");
    EXPECT_TRUE(exists(m_library / gbk("软件/一.Cdr")));
    EXPECT_TRUE(exists(m_library / Results + "/" + gbk("包含 x/三.Tgt")));
}

TEST_F(CliOrganizeTest, AFoundCdWhoseCdMovedAwayIsAFailureAsInShow)
{
    addCd("软件/一");
    addBox("目标");
    addPointer("包含 x/一", "软件\\一.Cdr");
    std::filesystem::rename(m_library / gbk("软件"), m_library / gbk("别处"));

    const CliRun copy = cli({"copy", "查找结果/包含 x/一", "--to", "目标"});
    const CliRun show = cli({"show", "查找结果/包含 x/一"});

    EXPECT_EQ(copy.status, 1);
    EXPECT_EQ(copy.err, "查找结果指向的文件 一 不存在！\n");
    EXPECT_EQ(show.status, 1);
    EXPECT_EQ(show.err.substr(0, 28), copy.err.substr(0, 28)) << show.err;
    EXPECT_EQ(snapshot(m_library / gbk("目标/")), "");
}

TEST_F(CliOrganizeTest, AMistypedPathChangesNothing)
{
    addCd("A/cd");
    addBox("B");
    addBox("C");
    makeFolders(m_library / Results + "/cat");
    writeFile(m_library / Results + "/cat/f.Fid", "E:\\\r\n");
    const auto before = allFiles();
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"move", "A/cd", "A/nothing", "--to", "B"},
          {"copy", "A/cd", "--to", "nothing"},
          {"copy", "A/cd", "--to", "查找结果"},
          {"move", "C/", "--to", "查找结果/cat"},
          {"move", "查找结果/cat/", "--to", "B"},
          {"copy", "查找结果/cat/f", "--to", "B"},
          {"move", "A/cd"},
          {"rename", "查找结果/cat/", "x"},
          {"rename", "A/nothing", "x"},
          {"delete", "A/cd", "A/nothing"}}) {
        const CliRun run = cli(args);
        EXPECT_EQ(run.status, 1) << args[0] << " " << args[1];
        EXPECT_FALSE(run.err.empty());
    }
    EXPECT_EQ(allFiles(), before);
}

TEST_F(CliOrganizeTest, RenameBoxesAndCds)
{
    addCd("A/cd");
    addBox("A/Games");
    addBox("A/Music");
    addCd("A/taken");
    struct Case
    {
        std::vector<std::string> args;
        int status;
        std::string err;
    };
    const std::vector<Case> cases{
        {{"rename", "A/Games/", "music"}, 1, "光盘盒 \"music\" 已存在！\n"},
        {{"rename", "A/Games/", "a|b"}, 1, "光盘盒的名称不能含有下列字符\n\\/*?:\"><|\n"},
        {{"rename", "A/cd", "TAKEN"}, 1, "光盘 \"TAKEN \"已存在！\n"},
        {{"rename", "A/cd", "a:b"}, 1, "光盘名称不能含有下列字符\n\\/*?:\"><|\n"},
        {{"rename", "A/Games/", "GAMES"}, 0, ""},
        {{"rename", "A/Games/", "游戏"}, 0, ""},
        {{"rename", "A/cd", "光盘"}, 0, ""},
    };
    for (const auto& [args, status, err] : cases) {
        const CliRun run = cli(args);
        EXPECT_EQ(run.status, status) << args[1] << " " << args[2];
        EXPECT_EQ(run.err, err);
    }
    EXPECT_EQ(library(), "A/\nA/Music/\nA/taken.Cdr=E:\\\r\n\tA.TXT\r\n\nA/taken.tag=0\r\n4\r\n\n"
                         "A/光盘.Cdr=E:\\\r\n\tA.TXT\r\n\nA/光盘.Tag=0\r\n4\r\n\nA/游戏/\n");
}

TEST_F(CliOrganizeTest, NodeEditsRewriteTheRecordAndItsDescriptions)
{
    addCd("A/cd", "E:\\\r\n\tSETUP\r\n\t\tREADME.TXT\r\n\tDATA\r\n");
    writeFile(m_library / "A/cd.tag", "0\r\n1\r\n4\r\n1\r\n");
    writeFile(m_library / "A/cd.FMx", "SETUP\\README.TXT\\\r\nread me\r\nDATA\\\r\ndata\r\n");
    writeFile(m_library / Results + "/cat/f.Fid", "E:\\\r\n\tSETUP\r\n");

    EXPECT_EQ(cli({"rename-node", "A/cd", "SETUP", "安装"}).status, 0);
    EXPECT_EQ(cli({"delete-node", "A/cd", "DATA"}).status, 0);

    EXPECT_EQ(readFile(m_library / "A/cd.Cdr"), gbk("E:\\\r\n\t安装\r\n\t\tREADME.TXT\r\n"));
    EXPECT_EQ(readFile(m_library / "A/cd.tag"), "0\r\n1\r\n4\r\n");
    EXPECT_EQ(readFile(m_library / "A/cd.FMx"), gbk("安装\\README.TXT\\\r\nread me\r\n"));

    const auto before = allFiles();
    struct Case
    {
        std::vector<std::string> args;
        std::string err;
    };
    for (const auto& [args, err] : std::vector<Case>{
             {{"delete-node", "A/cd", ""}, "根不能删除!\n"},
             {{"delete-node", "查找结果/cat/f", "SETUP"}, "查找结果的内容不允许删除!\n"},
             {{"rename-node", "查找结果/cat/f", "SETUP", "x"}, "查找结果的内容不允许重命名!\n"},
             {{"rename-node", "A/cd", "安装", "a?"}, "文件或文件夹名称不能包含\n\\/*?:\"><|\n"},
             {{"rename-node", "A/cd", "安装", " a"}, "文件或文件夹名称不能以空格开头\n"},
             {{"rename-node", "A/cd", "NOTHING", "x"}, "光盘中找不到: NOTHING\n"}}) {
        const CliRun run = cli(args);
        EXPECT_EQ(run.status, 1) << args[0];
        EXPECT_EQ(run.err, err);
    }
    EXPECT_EQ(allFiles(), before);
}

TEST_F(CliOrganizeTest, DeleteTrashesBoxesAndCdsAndDeletesSearchEntries)
{
    addCd("A/cd");
    addCd("A/sub/deep");
    addCd("B/kept");
    addPointer("cat/kept", "B\\kept.Cdr");
    addPointer("cat/other", "B\\kept.Cdr");
    addPointer("old/x", "B\\kept.Cdr");

    const CliRun run = cli({"delete", "A/cd", "A/sub/", "查找结果/cat/kept", "查找结果/old/"});

    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(catalog::gbkToUtf8(snapshot(m_library.path())),
              "A/\nB/\nB/kept.Cdr=E:\\\r\n\tA.TXT\r\n\nB/kept.tag=0\r\n4\r\n\n" +
                  catalog::gbkToUtf8(Results) + "/\n" + catalog::gbkToUtf8(Results) + "/cat/\n" +
                  catalog::gbkToUtf8(Results) + "/cat/other.Tgt=B\\kept.Cdr\r\n\n");
    EXPECT_EQ(snapshot(trash()), "cd.Cdr=E:\\\r\n\tA.TXT\r\n\ncd.tag=0\r\n4\r\n\nsub/\n"
                                 "sub/deep.Cdr=E:\\\r\n\tA.TXT\r\n\nsub/deep.tag=0\r\n4\r\n\n");
}

TEST_F(CliOrganizeTest, CleanRemovesEmptyBoxesAndSaysHowMany)
{
    addBox("A/only an empty box");
    addBox("B/C");
    addCd("B/cd");
    writeFile(m_library / "D/notes.txt", "not a record");

    const CliRun run = cli({"clean"});

    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "删除了 3 个空文件夹\n");
    EXPECT_EQ(library(), "B/\nB/cd.Cdr=E:\\\r\n\tA.TXT\r\n\nB/cd.tag=0\r\n4\r\n\nD/\n"
                         "D/notes.txt=not a record\n");
}

TEST_F(CliOrganizeTest, CleanOfALibraryOfEmptyBoxesKeepsTheLibraryFolder)
{
    for (const char* box : {"软件光盘", "旧", "其它"}) {
        addBox(box);
    }
    const CliRun run = cli({"clean"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "删除了 3 个空文件夹\n");
    EXPECT_TRUE(catalog::FolderExists(m_library.path()));
    EXPECT_EQ(snapshot(m_library.path()), "");
}

} // namespace
