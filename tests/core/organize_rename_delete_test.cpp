#include "organize/organize.h"

#include "catalog/library.h"
#include "catalog/record_files.h"
#include "catalog/text.h"
#include "catalog/tree_text.h"
#include "organize/system_calls.h"
#include "tests/core/organize_fixture.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

namespace {

using organize::RenameResult;
using organize_testing::inodeOf;
using organize_testing::OrganizeTest;
using organize_testing::trashFiles;
using testing_support::exists;
using testing_support::gbk;
using testing_support::readFile;
using testing_support::snapshot;
using testing_support::writeFile;

// The file system of the library has no trash, or its trash refuses.
organize::ScopedSystemCalls trashAnswering(organize::TrashResult result)
{
    return organize::ScopedSystemCalls({}, [result](const std::string&) {
        return organize::Trashing{result, "no trash here"};
    });
}

// ---- Renaming boxes and CDs ----

struct RenameCase
{
    std::string newName; // GBK
    RenameResult expected;
};

class BoxRenames : public OrganizeTest, public ::testing::WithParamInterface<RenameCase>
{
};

TEST_P(BoxRenames, AnswerWithoutTouchingAnything)
{
    writeRecord("Games\\", "盘", {{".cdr", "x"}});
    makeBox("MUSIC");
    const std::string before = library();
    EXPECT_EQ(organize::RenameBox(root(), "Games\\", GetParam().newName), GetParam().expected);
    EXPECT_EQ(library(), before);
}

INSTANTIATE_TEST_SUITE_P(
    Names, BoxRenames,
    ::testing::Values(
        RenameCase{"games", RenameResult::Unchanged}, RenameCase{"  ", RenameResult::Unchanged},
        RenameCase{"Music", RenameResult::Exists}, RenameCase{"a:b", RenameResult::Refused},
        RenameCase{"a/b", RenameResult::Refused}, RenameCase{"a\\b", RenameResult::Refused},
        RenameCase{"..", RenameResult::Refused}, RenameCase{"line\nbreak", RenameResult::Refused},
        RenameCase{catalog::ResultsFolderName(), RenameResult::Refused}));

TEST_F(OrganizeTest, BoxRenameIsARenameOfTheFolder)
{
    writeRecord("A\\Games\\", "盘", {{".cdr", "x"}});
    writeFile(folder("A\\Games\\") + "notes.txt", "mine");
    const unsigned long inode = inodeOf(folder("A\\Games\\"));

    EXPECT_EQ(organize::RenameBox(root(), "A\\Games\\", gbk("游戏 ")), RenameResult::Renamed);

    EXPECT_EQ(inodeOf(folder("A\\游戏 \\")), inode);
    EXPECT_EQ(library(), "A/\nA/游戏 /\nA/游戏 /notes.txt=mine\nA/游戏 /盘.cdr=x\n");
    EXPECT_EQ(organize::RenameBox(root(), "", "x"), RenameResult::Refused);
}

TEST_F(OrganizeTest, CdRenameCarriesEveryFileOfTheRecordOnly)
{
    writeRecord("A\\", "old", {{".CDR", "tree"}, {".tag", "icons"}, {".Ifn", "info"}});
    writeRecord("A\\", "older", {{".cdr", "another CD"}});
    // What a killed scan left under the new name goes: the record is replaced whole.
    writeRecord("A\\", "new", {{".tag", "leftover"}});

    EXPECT_EQ(organize::RenameCd(root(), "A\\", "old", "new"), RenameResult::Renamed);

    EXPECT_EQ(library(), "A/\nA/new.Cdr=tree\nA/new.Ifn=info\nA/new.Tag=icons\n"
                         "A/older.cdr=another CD\n");
}

TEST_F(OrganizeTest, CdRenameRefusals)
{
    writeRecord("A\\", "cd", {{".cdr", "tree"}});
    writeRecord("A\\", "Taken", {{".MX", "about"}});
    const std::string before = library();
    const std::vector<RenameCase> cases{
        {"CD", RenameResult::Unchanged}, {"", RenameResult::Unchanged},
        {"tAKEN", RenameResult::Exists}, {"a?", RenameResult::Refused},
        {".", RenameResult::Refused},    {"tab\there", RenameResult::Refused},
    };
    for (const auto& [name, expected] : cases) {
        EXPECT_EQ(organize::RenameCd(root(), "A\\", "cd", name), expected) << name;
    }
    EXPECT_EQ(library(), before);
    EXPECT_THROW(organize::RenameCd(root(), "A\\", "missing", "x"), catalog::FileError);
}

// ---- Deleting ----

TEST_F(OrganizeTest, DeletedBoxGoesToTheTrashWhole)
{
    writeRecord("A\\trash me\\", "盘", {{".cdr", "tree"}});
    writeFile(folder("A\\trash me\\") + "notes.txt", "mine");

    const organize::DeleteOutcome outcome = organize::DeleteBox(root(), "A\\trash me\\");

    EXPECT_TRUE(outcome.trashed);
    EXPECT_EQ(library(), "A/\n");
    EXPECT_EQ(catalog::gbkToUtf8(snapshot(trashFiles() + "trash me/")),
              "notes.txt=mine\n盘.cdr=tree\n");
}

TEST_F(OrganizeTest, BoxIsDeletedWhereThereIsNoTrashAndKeptWhenTheTrashFails)
{
    writeRecord("A\\B\\", "盘", {{".cdr", "tree"}});
    {
        const auto failing = trashAnswering(organize::TrashResult::Failed);
        EXPECT_THROW(organize::DeleteBox(root(), "A\\"), catalog::FileError);
        EXPECT_TRUE(exists(folder("A\\B\\") + gbk("盘") + ".cdr"));
    }
    const auto noTrash = trashAnswering(organize::TrashResult::NotSupported);
    const organize::DeleteOutcome outcome = organize::DeleteBox(root(), "A\\");
    EXPECT_FALSE(outcome.trashed);
    EXPECT_EQ(library(), "");
    EXPECT_THROW(organize::DeleteBox(root(), ""), catalog::FileError);
}

TEST_F(OrganizeTest, SearchResultsAreDeletedNotTrashed)
{
    const std::string category = catalog::ResultsFolderName() + "\\cat\\";
    writeFile(root() + catalog::ResultsFolderName() + "/cat/hit.Tgt", "x.Cdr\r\n");
    const organize::DeleteOutcome outcome = organize::DeleteBox(root(), category);
    EXPECT_FALSE(outcome.trashed);
    EXPECT_FALSE(exists(root() + catalog::ResultsFolderName() + "/cat"));
    EXPECT_FALSE(exists(trashFiles() + "cat"));
}

TEST_F(OrganizeTest, ListItemsAreDeletedEachByItsKind)
{
    writeRecord("A\\", "cd1", {{".CDR", "1"}, {".cdr", "1 again"}, {".Tag", "t"}, {".mx", "m"}});
    writeRecord("A\\", "cd2", {{".Cdr", "2"}, {".FMX", "notes"}});
    writeRecord("A\\", "cd3", {{".cdr", "3"}});
    writeRecord("A\\", "kept", {{".cdr", "kept"}});
    writeRecord("A\\sub\\", "deep", {{".cdr", "deep"}});

    const organize::DeleteOutcome outcome =
        organize::DeleteItems(root(), "A\\",
                              {{"cd1", catalog::ListItem::CdRecord},
                               {"cd2", catalog::ListItem::CdRecord},
                               {"sub", catalog::ListItem::Box},
                               {"cd3", catalog::ListItem::CdRecord}});

    EXPECT_TRUE(outcome.trashed);
    EXPECT_EQ(outcome.filesNotDeleted, 0);
    EXPECT_EQ(library(), "A/\nA/kept.cdr=kept\n");
    for (const char* name : {"cd1.CDR", "cd1.cdr", "cd1.Tag", "cd1.mx", "cd2.Cdr", "cd2.FMX",
                             "cd3.cdr", "sub/deep.cdr"}) {
        EXPECT_TRUE(exists(trashFiles() + name)) << name;
    }
}

TEST_F(OrganizeTest, SearchEntriesAreDeletedAndTheirCdStays)
{
    writeRecord("A\\", "cd", {{".cdr", "tree"}, {".mx", "about"}});
    const std::string category = catalog::ResultsFolderName() + "\\cat\\";
    const std::string categoryFolder = root() + catalog::ResultsFolderName() + "/cat/";
    writeFile(categoryFolder + "cd.Tgt", "A\\cd.cdr\r\n");
    for (const char* ext : {".FID", ".Tag", ".mx", ".FMX", ".ifn"}) {
        writeFile(categoryFolder + "found" + ext, ext);
    }
    writeFile(categoryFolder + "found.Tgt", "another entry");
    writeFile(categoryFolder + "cat.Fin", "about the search");
    const auto noTrashNeeded = trashAnswering(organize::TrashResult::Failed);

    const organize::DeleteOutcome outcome = organize::DeleteItems(
        root(), category,
        {{"cd", catalog::ListItem::FoundCd}, {"found", catalog::ListItem::FoundFolder}});

    EXPECT_EQ(outcome.filesNotDeleted, 0);
    EXPECT_FALSE(outcome.trashed);
    EXPECT_EQ(snapshot(categoryFolder), "cat.Fin=about the search\nfound.Tgt=another entry\n");
    EXPECT_EQ(snapshot(folder("A\\")), "cd.cdr=tree\ncd.mx=about\n");
}

TEST_F(OrganizeTest, CdFilesTheTrashRefusesAreCounted)
{
    writeRecord("A\\", "cd", {{".cdr", "tree"}, {".mx", "about"}});
    const auto failing = trashAnswering(organize::TrashResult::Failed);
    const organize::DeleteOutcome outcome =
        organize::DeleteItems(root(), "A\\", {{"cd", catalog::ListItem::CdRecord}});
    EXPECT_EQ(outcome.filesNotDeleted, 2);
    EXPECT_EQ(library(), "A/\nA/cd.cdr=tree\nA/cd.mx=about\n");
}

// ---- Nodes of a record ----

class NodeEdits : public OrganizeTest
{
protected:
    void SetUp() override
    {
        writeRecord("A\\", "cd",
                    {{".cdr", "E:\\\r\n\tSETUP\r\n\t\tREADME.TXT\r\n\t\tDATA\r\n\t\t\tA.BIN\r\n"
                              "\tsetup2\r\n"},
                     {".TAG", "0\r\n1\r\n4\r\n1\r\n8\r\n1\r\n"}});
        load();
    }
    void load()
    {
        tree.clear();
        catalog::LoadRecordTree(record(), ".Cdr", tree);
    }
    catalog::RecordRef record() const { return {folder("A\\"), "cd"}; }
    catalog::NodeId node(const std::string& path) const
    {
        return catalog::FindNodeByPath(tree, path);
    }
    std::string file(const char* ext) const { return readFile(folder("A\\") + "cd" + ext); }
    void writeNotes(const std::string& text) const { writeFile(folder("A\\") + "cd.fmx", text); }

    catalog::Tree tree;
};

TEST_F(NodeEdits, DeletingABranchRewritesListingIconsAndDropsItsDescriptions)
{
    writeNotes("SETUP\\DATA\\\r\ndata folder\r\n\r\nthe disc\r\nsetup\\data\\a.bin\\\r\n"
               "a file\r\nSETUP\\README.TXT\\\r\nread me\r\nSETUP\\DATAX\\\r\nnot inside\r\n");

    EXPECT_EQ(organize::DeleteNode(record(), tree, node("SETUP\\DATA\\")),
              organize::NodeEditResult::Done);

    EXPECT_EQ(file(".cdr"), "E:\\\r\n\tSETUP\r\n\t\tREADME.TXT\r\n\tsetup2\r\n");
    EXPECT_EQ(file(".TAG"), "0\r\n1\r\n4\r\n1\r\n");
    EXPECT_EQ(file(".fmx"), "\r\nthe disc\r\nSETUP\\README.TXT\\\r\nread me\r\n"
                            "SETUP\\DATAX\\\r\nnot inside\r\n");
}

TEST_F(NodeEdits, TheRootIsNeverDeletedAndNoDescriptionsAreMadeUp)
{
    EXPECT_EQ(organize::DeleteNode(record(), tree, tree.first()),
              organize::NodeEditResult::Refused);
    EXPECT_EQ(organize::DeleteNode(record(), tree, node("setup2\\")),
              organize::NodeEditResult::Done);
    EXPECT_FALSE(exists(folder("A\\") + "cd.fmx"));
    EXPECT_FALSE(exists(folder("A\\") + "cd.FMx"));
}

TEST_F(NodeEdits, RenamedBranchKeepsItsDescriptions)
{
    writeNotes("setup\\\r\nsetup folder\r\nSETUP\\DATA\\A.BIN\\\r\na file\r\n"
               "SETUP2\\\r\nother\r\n");

    EXPECT_EQ(organize::RenameNode(record(), tree, node("SETUP\\"), gbk("安装")),
              organize::NodeEditResult::Done);

    EXPECT_EQ(file(".cdr"), gbk("E:\\\r\n\t安装\r\n\t\tREADME.TXT\r\n\t\tDATA\r\n\t\t\tA.BIN\r\n"
                                "\tsetup2\r\n"));
    EXPECT_EQ(file(".TAG"), "0\r\n1\r\n4\r\n1\r\n8\r\n1\r\n");
    EXPECT_EQ(file(".fmx"), gbk("安装\\\r\nsetup folder\r\n安装\\DATA\\A.BIN\\\r\na file\r\n"
                                "SETUP2\\\r\nother\r\n"));
}

TEST_F(NodeEdits, RenameAnswers)
{
    const std::string before = file(".cdr");
    const std::vector<std::pair<std::string, organize::NodeEditResult>> cases{
        {"setup", organize::NodeEditResult::Unchanged},
        {"  ", organize::NodeEditResult::Unchanged},
        {"a*b", organize::NodeEditResult::Refused},
        {" leading", organize::NodeEditResult::Refused},
        {"tab\tinside", organize::NodeEditResult::Refused},
    };
    for (const auto& [name, expected] : cases) {
        EXPECT_EQ(organize::RenameNode(record(), tree, node("SETUP\\"), name), expected) << name;
    }
    for (const char* letter : {"b", "e", "", "1"}) {
        EXPECT_EQ(organize::RenameNode(record(), tree, tree.first(), letter),
                  organize::NodeEditResult::Unchanged)
            << letter;
    }
    EXPECT_EQ(file(".cdr"), before);
    EXPECT_EQ(organize::RenameNode(record(), tree, tree.first(), "fd"),
              organize::NodeEditResult::Done);
    EXPECT_EQ(file(".cdr").substr(0, 5), "F:\\\r\n");
}

TEST(NodeNames, ARefusalSaysWhatIsWrong)
{
    using catalog::NameCheck;
    const std::string forbidden = catalog::NameRefusalMessage(catalog::NameUse::TreeNode);
    const std::string control = "文件或文件夹名称不能包含控制字符(如换行、制表符)";
    const std::vector<std::tuple<std::string, NameCheck, std::string>> cases{
        {"a*b", NameCheck::Refused, forbidden},
        {" leading", NameCheck::Refused, "文件或文件夹名称不能以空格开头"},
        {"tab\tinside", NameCheck::Refused, control},
        {"\x1b[2Jname", NameCheck::Refused, control},
        {"line\nbreak", NameCheck::Refused, control},
        {" \t ", NameCheck::Dropped, ""},
        {"trailing ", NameCheck::Accepted, ""},
        {gbk("乗|"), NameCheck::Refused, forbidden},
        {gbk("乗"), NameCheck::Accepted, ""},
    };
    for (const auto& [name, check, refusal] : cases) {
        const organize::NodeNameCheck result = organize::CheckNodeName(name);
        EXPECT_EQ(result.check, check) << name;
        EXPECT_EQ(result.refusal, refusal) << name;
    }
}

TEST_F(NodeEdits, SiblingStillNamedLikeTheRenamedNodeKeepsItsDescriptions)
{
    writeRecord("A\\", "cd", {{".cdr", "E:\\\r\n\tDOC\r\n\tdoc\r\n"}, {".TAG", "0\r\n8\r\n8\r\n"}});
    writeNotes("DOC\\\r\nshared\r\n");
    load();
    EXPECT_EQ(organize::RenameNode(record(), tree, tree.children(tree.first())[1], "NEW"),
              organize::NodeEditResult::Done);
    EXPECT_EQ(file(".fmx"), "NEW\\\r\nshared\r\nDOC\\\r\nshared\r\n");
    EXPECT_EQ(organize::DeleteNode(record(), tree, node("NEW\\")), organize::NodeEditResult::Done);
    EXPECT_EQ(file(".fmx"), "DOC\\\r\nshared\r\n");
}

} // namespace

namespace {

// Two edits made from trees loaded before either: each is made on what the files hold
// when its lock is taken, so neither is lost and listing and icons stay line for line.
TEST_F(NodeEdits, EditsFromTreesLoadedBeforeAnotherEditAllArrive)
{
    catalog::Tree stale;
    catalog::LoadRecordTree(record(), ".Cdr", stale);

    EXPECT_EQ(organize::DeleteNode(record(), tree, node("SETUP\\DATA\\")),
              organize::NodeEditResult::Done);
    EXPECT_EQ(organize::RenameNode(record(), stale, catalog::FindNodeByPath(stale, "setup2\\"),
                                   "SETUP3"),
              organize::NodeEditResult::Reloaded);
    EXPECT_EQ(file(".cdr"), "E:\\\r\n\tSETUP\r\n\t\tREADME.TXT\r\n\tSETUP3\r\n");
    EXPECT_EQ(file(".TAG"), "0\r\n1\r\n4\r\n1\r\n");
    // The stale tree now shows what the files hold.
    EXPECT_EQ(catalog::WriteTreeText(stale), file(".cdr"));

    // A node another edit deleted is no longer there to edit.
    load();
    catalog::Tree older = tree;
    EXPECT_EQ(organize::DeleteNode(record(), tree, node("SETUP\\README.TXT\\")),
              organize::NodeEditResult::Done);
    EXPECT_EQ(organize::RenameNode(record(), older,
                                   catalog::FindNodeByPath(older, "SETUP\\README.TXT\\"), "X"),
              organize::NodeEditResult::Unchanged);
    EXPECT_EQ(file(".cdr"), "E:\\\r\n\tSETUP\r\n\tSETUP3\r\n");
}

} // namespace
