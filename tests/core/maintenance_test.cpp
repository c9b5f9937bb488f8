#include "maintenance/maintenance.h"

#include "catalog/record_set.h"
#include "catalog/library.h"
#include "catalog/text.h"
#include "tests/support/temp_library.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <stdexcept>
#include <string>

#include <unistd.h>

namespace {

using testing_support::exists;
using testing_support::gbk;
using testing_support::makeFolders;
using testing_support::readFile;
using testing_support::snapshot;
using testing_support::TempDir;
using testing_support::writeFile;

class Maintenance : public ::testing::Test
{
protected:
    std::string root() const { return dir / "Orlendy/"; }
    std::string source() const { return dir / "elsewhere/Orlendy/"; }
    TempDir dir;
};

// ---- Import ------------------------------------------------------------------------------

TEST_F(Maintenance, ImportMergesBoxesReplacesRecordsAndCarriesOnlyRecordFiles)
{
    const std::string box = gbk("软件光盘");
    writeFile(root() + box + "/a.Cdr", "old a");
    writeFile(root() + box + "/b.Cdr", "kept b");
    writeFile(source() + box + "/a.CDR", "new a"); // another spelling replaces the old one
    writeFile(source() + box + "/c.cdr", "new c");
    writeFile(source() + box + "/cover.jpg", "picture");
    writeFile(source() + "loose.Cdr", "in the source itself");
    writeFile(source() + "Vellumark.exe", "program");
    writeFile(source() + catalog::ResultsFolderName() + "/cat/x.tgt", "pointer");

    const auto counts = maintenance::ImportRecords(root(), source());

    EXPECT_EQ(counts.filesCopied, 4);
    EXPECT_EQ(counts.filesNotCopied, 0);
    EXPECT_EQ(counts.cdsCopied, 3); // a, c and loose; a found CD's pointer is no CD
    EXPECT_EQ(readFile(root() + box + "/a.CDR"), "new a");
    EXPECT_FALSE(exists(root() + box + "/a.Cdr"));
    EXPECT_EQ(readFile(root() + box + "/b.Cdr"), "kept b");
    EXPECT_EQ(readFile(root() + box + "/c.cdr"), "new c");
    EXPECT_EQ(readFile(root() + "loose.Cdr"), "in the source itself");
    EXPECT_EQ(readFile(root() + catalog::ResultsFolderName() + "/cat/x.tgt"), "pointer");
    EXPECT_FALSE(exists(root() + box + "/cover.jpg"));
    EXPECT_FALSE(exists(root() + "Vellumark.exe"));
}

TEST_F(Maintenance, ImportRefusesTheLibraryItsInsideAndEveryFolderAboveIt)
{
    makeFolders(root() + "box/inner");
    makeFolders(source());
    for (const std::string& refused : {root(), root() + "box/", root() + "box/inner", dir.path(),
                                      std::string("/")}) {
        EXPECT_TRUE(maintenance::ImportRefused(root(), refused)) << refused;
    }
    EXPECT_FALSE(maintenance::ImportRefused(root(), source()));
    EXPECT_FALSE(maintenance::ImportRefused(root(), dir / "elsewhere/"));
    writeFile(dir / "x.cdr", "would be read while written");
    EXPECT_THROW(maintenance::ImportRecords(root(), dir.path()), std::invalid_argument);
    EXPECT_EQ(snapshot(root()), "box/\nbox/inner/\n");
}

TEST_F(Maintenance, ImportConvertsATreeOfUtf8NamesToGbk)
{
    makeFolders(root());
    writeFile(source() + "软件光盘/办公软件.cdr", "listing, GBK inside");
    writeFile(source() + "软件光盘/办公软件.tag", "0\r\n");
    writeFile(source() + "ÿ查找结果/类别/光盘.tgt", "pointer");

    const auto counts = maintenance::ImportRecords(root(), source());

    EXPECT_EQ(counts.filesCopied, 3);
    EXPECT_EQ(counts.cdsCopied, 1); // its .cdr and .tag: one CD
    EXPECT_EQ(readFile(root() + gbk("软件光盘/办公软件") + ".cdr"), "listing, GBK inside");
    EXPECT_TRUE(exists(root() + gbk("软件光盘/办公软件") + ".tag"));
    EXPECT_TRUE(exists(root() + catalog::ResultsFolderName() + "/" + gbk("类别/光盘") + ".tgt"));
}

TEST_F(Maintenance, ImportJudgesEachNameAndSkipsNamesThatAreNotGbk)
{
    makeFolders(root());
    const std::string boxGbk = gbk("游戏");
    writeFile(source() + boxGbk + "/a.cdr", "GBK box");
    writeFile(source() + "音乐/b.cdr", "UTF-8 box beside a GBK one");
    writeFile(source() + "broken\x81/c.cdr", "not GBK");
    writeFile(source() + "d\x81\x7F.cdr", "not GBK either");

    const auto counts = maintenance::ImportRecords(root(), source());

    EXPECT_EQ(counts.filesCopied, 2);
    EXPECT_EQ(counts.filesNotCopied, 2);
    EXPECT_EQ(counts.cdsCopied, 2);
    ASSERT_EQ(counts.skippedUtf8.size(), 2u);
    EXPECT_TRUE(exists(root() + boxGbk + "/a.cdr"));
    EXPECT_TRUE(exists(root() + gbk("音乐") + "/b.cdr"));
    EXPECT_FALSE(exists(root() + "broken\x81"));
    EXPECT_FALSE(exists(root() + "d\x81\x7F.cdr"));
}

// Names a scan would never write (a line break, a backslash, a leading blank) get the
// scanner's "?": rename would refuse them and the CLI could not address them.
TEST_F(Maintenance, ImportWritesNamesByTheScannersRules)
{
    makeFolders(root());
    writeFile(source() + "a\\b/c\rd.cdr", "box with a backslash");
    writeFile(source() + " lead/line\nfeed.cdr", "leading blank");
    writeFile(source() + "\t\x81\x5C.cdr", "TAB, then the trail byte 5C of a character");

    const auto counts = maintenance::ImportRecords(root(), source());

    EXPECT_EQ(counts.filesCopied, 3);
    EXPECT_EQ(snapshot(root()), "?lead/\n?lead/line?feed.cdr=leading blank\n"
                                "?\x81\x5C.cdr=TAB, then the trail byte 5C of a character\n"
                                "a?b/\na?b/c?d.cdr=box with a backslash\n");
}

// A GBK library whose only Chinese names are also valid UTF-8 (猫 is C3 A8) merges into
// the library's own boxes; a UTF-8 tree with one name GBK cannot hold loses only that one.
TEST_F(Maintenance, ImportTakesEachNameByItsOwnEvidence)
{
    makeFolders(root() + gbk("猫"));
    writeFile(source() + gbk("猫") + "/a.cdr", "GBK that reads as UTF-8");
    writeFile(source() + "游戏光盘/b.cdr", "UTF-8");
    writeFile(source() + "emoji\xF0\x9F\x98\x80/c.cdr", "no GBK for it");

    const auto counts = maintenance::ImportRecords(root(), source());

    EXPECT_EQ(counts.filesCopied, 2);
    EXPECT_EQ(counts.filesNotCopied, 1);
    EXPECT_EQ(snapshot(root()), gbk("猫") + "/\n" + gbk("猫") + "/a.cdr=GBK that reads as UTF-8\n" +
                                    gbk("游戏光盘") + "/\n" + gbk("游戏光盘") + "/b.cdr=UTF-8\n");
}

// A record imported over one of its name replaces it whole: no description, notes or
// information of the old CD stay beside the new files. A name that differs only in case is
// that record too, as on the file systems libraries come from.
TEST_F(Maintenance, ImportReplacesTheRecordOfItsNameWhole)
{
    writeFile(root() + "box/cd.Cdr", "old");
    writeFile(root() + "box/cd.FMx", "old notes");
    writeFile(root() + "box/TOOLS.cdr", "old tools");
    writeFile(root() + "box/TOOLS.Ifn", "old info");
    writeFile(source() + "box/cd.cdr", "new");
    writeFile(source() + "box/Tools.Cdr", "new tools");

    const auto counts = maintenance::ImportRecords(root(), source());

    EXPECT_EQ(counts.filesCopied, 2);
    EXPECT_EQ(snapshot(root()), "box/\nbox/Tools.Cdr=new tools\nbox/cd.cdr=new\n");
}

// Neither an import nor a backup follows a link to a folder: a link back into the library
// or out to the system is named and left out, and a backup folder that is a link into the
// library is refused.
TEST_F(Maintenance, LinksToFoldersAreNeverFollowed)
{
    writeFile(root() + "box/cd.Cdr", "library");
    writeFile(source() + "box/new.Cdr", "new");
    ASSERT_EQ(::symlink(root().c_str(), (source() + "liblink").c_str()), 0);
    ASSERT_EQ(::symlink("/etc", (source() + "box/etc").c_str()), 0);

    const auto counts = maintenance::ImportRecords(root(), source());

    EXPECT_EQ(counts.filesCopied, 1);
    EXPECT_EQ(counts.skippedUtf8.size(), 2u);
    EXPECT_EQ(snapshot(root()), "box/\nbox/cd.Cdr=library\nbox/new.Cdr=new\n");

    const std::string stick = dir / "stick/";
    makeFolders(stick);
    ASSERT_EQ(::symlink((root() + "box").c_str(), (stick + "Orlendy").c_str()), 0);
    EXPECT_TRUE(maintenance::BackupRefused(root(), stick));
    EXPECT_THROW(maintenance::BackupLibrary(root(), stick), std::invalid_argument);
}

// ---- Backup ------------------------------------------------------------------------------

// A target as Linux mounts FAT, exFAT and NTFS sticks: names that are not UTF-8 are
// refused with EINVAL. One file may be made to fail as a full stick would.
class RefusingTarget : public maintenance::BackupTarget
{
public:
    int makeFolder(const std::string& folder) override
    {
        return catalog::isValidUtf8(folder) ? BackupTarget::makeFolder(folder) : refusal;
    }
    int probe(const std::string& folder, const std::string& name) override
    {
        ++probes;
        return catalog::isValidUtf8(folder + name) ? BackupTarget::probe(folder, name) : refusal;
    }
    off_t copyFile(const std::string& from, int toFd, const std::string& to) override
    {
        if (!catalog::isValidUtf8(to) || (!failing.empty() && to.ends_with(failing))) {
            return -1;
        }
        return BackupTarget::copyFile(from, toFd, to);
    }
    int probes = 0;
    std::string failing;
    int refusal = EINVAL; // what the file system answers to a name that is not UTF-8
};

void writeSampleLibrary(const std::string& root)
{
    writeFile(root + gbk("软件光盘/办公") + ".Cdr", "listing\r\n");
    writeFile(root + gbk("软件光盘/办公") + ".tag", "0\r\n");
    writeFile(root + gbk("软件光盘/子盒/游戏") + ".Ifn", std::string(192, '\0'));
    makeFolders(root + gbk("空盒"));
    writeFile(root + "loose.cdr", "root record");
    writeFile(root + catalog::ResultsFolderName() + "/" + gbk("类别/光盘") + ".tgt", "ptr");
    writeFile(root + catalog::ResultsFolderName() + "/" + gbk("类别") + ".fin", "about");
}

TEST_F(Maintenance, BackupTwiceKeepsTheSecondRunAndWhatWasDeletedBetween)
{
    writeSampleLibrary(root());
    writeFile(root() + "notes.txt", "not a record");
    const std::string target = dir / "stick/";
    makeFolders(target);

    auto counts = maintenance::BackupLibrary(root(), target);
    EXPECT_FALSE(counts.namesInUtf8);
    EXPECT_EQ(counts.filesCopied, 6);
    std::filesystem::remove(root() + "loose.cdr");
    writeFile(root() + gbk("软件光盘/办公") + ".Cdr", "changed\r\n");
    counts = maintenance::BackupLibrary(root(), target);

    EXPECT_EQ(counts.filesCopied, 5);
    const std::string backup = maintenance::BackupFolder(target);
    EXPECT_EQ(backup, target + "Orlendy/");
    EXPECT_EQ(readFile(backup + gbk("软件光盘/办公") + ".Cdr"), "changed\r\n");
    EXPECT_EQ(readFile(backup + "loose.cdr"), "root record");
    EXPECT_TRUE(exists(backup + gbk("空盒")));
    EXPECT_FALSE(exists(backup + "notes.txt"));
    int entries = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(target)) {
        ++entries;
    }
    EXPECT_EQ(entries, 1);
}

TEST_F(Maintenance, BackupRefusesTheLibraryItsInsideAndItsParentButNotFurtherUp)
{
    writeSampleLibrary(root());
    EXPECT_TRUE(maintenance::BackupRefused(root(), root()));
    EXPECT_TRUE(maintenance::BackupRefused(root(), root() + gbk("软件光盘")));
    EXPECT_TRUE(maintenance::BackupRefused(root(), dir.path()));
    EXPECT_THROW(maintenance::BackupLibrary(root(), dir.path()), std::invalid_argument);

    // Further up the backup folder is another folder than the library.
    TempDir outer;
    const std::string nested = outer / "home/Orlendy/";
    writeSampleLibrary(nested);
    EXPECT_FALSE(maintenance::BackupRefused(nested, outer.path()));
    const auto counts = maintenance::BackupLibrary(nested, outer.path());
    EXPECT_EQ(counts.filesCopied, 6);
    EXPECT_EQ(snapshot(outer / "Orlendy/"), snapshot(nested));
}

TEST_F(Maintenance, BackupHoldingTheLibraryInItsOwnFolderIsRefused)
{
    // Library at T/Orlendy/inner/: a backup into T would write into the library's tree.
    const std::string inner = dir / "t/Orlendy/inner/";
    writeSampleLibrary(inner);
    EXPECT_TRUE(maintenance::BackupRefused(inner, dir / "t/"));
}

TEST_F(Maintenance, BackupToATargetRefusingGbkNamesWritesUtf8AndImportsBackByteForByte)
{
    writeSampleLibrary(root());
    const std::string target = dir / "stick/";
    makeFolders(target);
    RefusingTarget stick;

    const auto counts = maintenance::BackupLibrary(root(), target, stick);

    EXPECT_TRUE(counts.namesInUtf8);
    EXPECT_EQ(stick.probes, 1);
    EXPECT_EQ(counts.filesCopied, 6);
    EXPECT_EQ(counts.filesNotCopied, 0);
    const std::string backup = maintenance::BackupFolder(target);
    EXPECT_EQ(readFile(backup + "软件光盘/办公.Cdr"), "listing\r\n");
    EXPECT_TRUE(exists(backup + "空盒"));

    const std::string restored = dir / "restored/Orlendy/";
    makeFolders(restored);
    const auto imported = maintenance::ImportRecords(restored, backup);
    EXPECT_EQ(imported.filesCopied, 6);
    EXPECT_EQ(snapshot(restored), snapshot(root()));
}

// Some file systems answer EILSEQ rather than EINVAL; the results folder keeps its 0xFF as
// U+00FF, so that an import knows it again.
TEST_F(Maintenance, BackupToATargetAnsweringEilseqWritesUtf8NamesExactly)
{
    writeSampleLibrary(root());
    const std::string target = dir / "stick/";
    makeFolders(target);
    RefusingTarget stick;
    stick.refusal = EILSEQ;

    const auto counts = maintenance::BackupLibrary(root(), target, stick);

    EXPECT_TRUE(counts.namesInUtf8);
    EXPECT_EQ(counts.filesNotCopied, 0);
    EXPECT_EQ(snapshot(maintenance::BackupFolder(target)),
              "loose.cdr=root record\n"
              "ÿ查找结果/\nÿ查找结果/类别/\nÿ查找结果/类别.fin=about\nÿ查找结果/类别/光盘.tgt=ptr\n"
              "空盒/\n"
              "软件光盘/\n软件光盘/办公.Cdr=listing\r\n\n软件光盘/办公.tag=0\r\n\n"
              "软件光盘/子盒/\n软件光盘/子盒/游戏.Ifn=" +
                  std::string(192, '\0') + "\n");
}

TEST_F(Maintenance, BackupCountsEveryFileThatWasNotCopied)
{
    writeSampleLibrary(root());
    const std::string target = dir / "stick/";
    makeFolders(target);
    RefusingTarget stick;
    stick.failing = "loose.cdr";

    const auto counts = maintenance::BackupLibrary(root(), target, stick);

    EXPECT_EQ(counts.filesCopied, 5);
    EXPECT_EQ(counts.filesNotCopied, 1);
    EXPECT_EQ(counts.cdsCopied, 1); // 办公 arrived, loose did not
    EXPECT_FALSE(exists(maintenance::BackupFolder(target) + "loose.cdr"));
}

TEST_F(Maintenance, ProgressCountsEveryRecordFileOnce)
{
    writeSampleLibrary(root());
    makeFolders(dir / "stick");
    long long total = -1;
    long long steps = 0;
    maintenance::CopyHooks hooks;
    hooks.counted = [&](long long count) { total = count; };
    hooks.advanced = [&] { ++steps; };
    maintenance::BackupLibrary(root(), dir / "stick/", hooks);
    EXPECT_EQ(total, 6);
    EXPECT_EQ(steps, 6);
}

} // namespace
