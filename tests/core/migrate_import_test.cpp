// Discs written as CD records through the scanner's rules and the record store, and the
// CSV table of a box read back into the same records.

#include "catalog/cdinfo.h"
#include "catalog/disk.h"
#include "catalog/record_set.h"
#include "catalog/text.h"
#include "migrate/export_csv.h"
#include "migrate/import.h"
#include "migrate/input.h"
#include "migrate/readers.h"
#include "search/record_walk.h"
#include "tests/support/temp_library.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <map>

using testing_support::exists;
using testing_support::gbk;
using testing_support::makeFolders;
using testing_support::readFile;
using testing_support::snapshot;
using testing_support::TempDir;
using testing_support::writeFile;

namespace {

constexpr double Now = 46000.5; // 2025-12-09 12:00

migrate::Disc sampleDisc()
{
    migrate::Disc disc;
    disc.nameUtf8 = "软件一";
    disc.descriptionUtf8 = "第一行\n第二行";
    migrate::ReadNotes notes;
    migrate::AddItem(disc, {"I386", "LANG"}, true, "语言", notes);
    migrate::AddItem(disc, {"I386", "a\\b.TXT"}, false, "", notes);
    migrate::AddItem(disc, {"I386", " lead.jpg"}, false, "", notes);
    migrate::AddItem(disc, {"SETUP.EXE"}, false, "安装\r\n程序", notes);
    migrate::AddItem(disc, {"笑😀.txt"}, false, "表情", notes);
    migrate::AddItem(disc, {"empty"}, true, "", notes);
    return disc;
}

class RecordedChanges : public catalog::RecordObserver
{
public:
    RecordedChanges() { catalog::SetRecordObserver(this); }
    ~RecordedChanges() override { catalog::SetRecordObserver(nullptr); }
    void recordChanged(const std::string& folder, std::string_view nameGbk) override
    {
        seen.push_back(folder + std::string(nameGbk));
    }
    std::vector<std::string> seen;
};

class ImportTest : public ::testing::Test
{
protected:
    migrate::ImportTarget target(std::function<bool(const std::string&)> answer = {})
    {
        migrate::ImportTarget target;
        target.boxFolder = m_library / gbk("软件光盘") + "/";
        target.boxTextGbk = gbk("软件光盘");
        target.now = Now;
        target.overwrite = [this, answer](const std::string& question) {
            m_questions.push_back(question);
            return answer && answer(question);
        };
        return target;
    }

    std::string record(std::string_view nameAndExt) const
    {
        return readFile(m_library / gbk("软件光盘/") + gbk(nameAndExt));
    }

    void SetUp() override { makeFolders(m_library / gbk("软件光盘")); }

    TempDir m_library;
    std::vector<std::string> m_questions;
    std::vector<std::string> m_problems;
};

TEST_F(ImportTest, ADiscBecomesARecordAsAScanWouldWriteIt)
{
    RecordedChanges changes;
    migrate::Disc disc = sampleDisc();
    disc.info.numberUtf8 = "A-12";
    disc.info.locationUtf8 = "书架三第二层";
    disc.info.ownerUtf8 = "张三";
    disc.info.kindUtf8 = "DVD";
    disc.info.catalogued = catalog::DateTimeParts{2003, 5, 14, 10, 22, 5};
    migrate::ImportTarget into = target();
    into.letter = 'F';
    migrate::Importer importer(into);

    const migrate::DiscResult result = importer.add(disc, m_problems);
    importer.finish();

    EXPECT_EQ(result.outcome, migrate::DiscOutcome::Written);
    EXPECT_EQ(result.totals.folders, 3);
    EXPECT_EQ(result.totals.files, 4);
    // Sub-folders first, each with its subtree, then files; names in byte order.
    EXPECT_EQ(record("软件一.Cdr"), gbk("F:\\\r\n\tI386\r\n\t\tLANG\r\n\t\t?lead.jpg\r\n"
                                        "\t\ta?b.TXT\r\n\tempty\r\n\tSETUP.EXE\r\n\t笑?.txt\r\n"));
    EXPECT_EQ(record("软件一.tag"), "0\r\n1\r\n1\r\n6\r\n4\r\n1\r\n3\r\n4\r\n");
    EXPECT_EQ(record("软件一.Mx"), gbk("第一行\r\n第二行\r\n"));
    EXPECT_EQ(record("软件一.FMx"),
              gbk("I386\\LANG\\\r\n语言\r\nSETUP.EXE\\\r\n安装 程序\r\n笑?.txt\\\r\n表情\r\n"));
    const auto info = catalog::DecodeCDInfo(record("软件一.Ifn"));
    ASSERT_TRUE(info);
    EXPECT_EQ(info->cdno, "A-12");
    EXPECT_EQ(info->cdother, gbk("书架三第二层"));
    EXPECT_EQ(info->cdowner, gbk("张三"));
    EXPECT_EQ(info->cdstyle, "DVD");
    EXPECT_EQ(info->cdstat, gbk("保存中"));
    EXPECT_DOUBLE_EQ(info->cdtime, catalog::ToDayNumber({2003, 5, 14, 10, 22, 5}));
    EXPECT_EQ(m_problems, (std::vector<std::string>{
                              "软件一: 名称含有 GBK 无法保存的字符, 已改为 ?: I386\\ lead.jpg",
                              "软件一: 名称含有 GBK 无法保存的字符, 已改为 ?: I386\\a\\b.TXT",
                              "软件一: 名称含有 GBK 无法保存的字符, 已改为 ?: 笑😀.txt"}));
    EXPECT_FALSE(changes.seen.empty());
    EXPECT_TRUE(std::all_of(changes.seen.begin(), changes.seen.end(), [&](const std::string& s) {
        return s == m_library / gbk("软件光盘/软件一");
    }));
    EXPECT_TRUE(m_questions.empty());
}

TEST_F(ImportTest, ADiscWithoutInformationGetsNoIfnAndTheDefaultDrive)
{
    migrate::Disc disc;
    disc.nameUtf8 = "空";
    migrate::Importer(target()).add(disc, m_problems);
    EXPECT_EQ(record("空.Cdr"), "E:\\\r\n");
    EXPECT_EQ(record("空.Mx"), "");
    EXPECT_FALSE(exists(m_library / gbk("软件光盘/空.Ifn")));
    EXPECT_FALSE(exists(m_library / gbk("软件光盘/空.FMx")));
}

TEST_F(ImportTest, ASameNamedCdIsKeptOnNoAndReplacedWholeOnYes)
{
    writeFile(m_library / gbk("软件光盘/软件一.cdr"), "E:\\\r\n\tOLD\r\n");
    writeFile(m_library / gbk("软件光盘/软件一.fmx"), "OLD\\\r\nold\r\n");
    writeFile(m_library / gbk("软件光盘/软件一.IFN"), std::string(192, '\0'));
    const std::string before = snapshot(m_library.path());
    migrate::Disc disc;
    disc.nameUtf8 = "软件一";
    migrate::ReadNotes notes;
    migrate::AddItem(disc, {"NEW"}, false, "", notes);

    EXPECT_EQ(migrate::Importer(target()).add(disc, m_problems).outcome,
              migrate::DiscOutcome::Kept);
    EXPECT_EQ(snapshot(m_library.path()), before);
    ASSERT_EQ(m_questions.size(), 1u);
    EXPECT_EQ(m_questions[0], "目标光盘盒 \"软件光盘 \"下\r已含有与源光盘 \"软件一 \" "
                              "同名的光盘！\r\r是否要覆盖？");

    const auto yes = [](const std::string&) { return true; };
    EXPECT_EQ(migrate::Importer(target(yes)).add(disc, m_problems).outcome,
              migrate::DiscOutcome::Replaced);
    EXPECT_EQ(snapshot(m_library.path()),
              gbk("软件光盘/\n软件光盘/软件一.Mx=\n软件光盘/软件一.cdr=E:\\\r\n\tNEW\r\n\n"
                  "软件光盘/软件一.tag=0\r\n8\r\n\n"));
}

TEST_F(ImportTest, ANameTakenInAnotherCaseIsReplacedUnderTheNewName)
{
    writeFile(m_library / gbk("软件光盘/cd.Cdr"), "E:\\\r\n");
    writeFile(m_library / gbk("软件光盘/cd.Mx"), "old");
    RecordedChanges changes;
    migrate::Disc disc;
    disc.nameUtf8 = "CD";
    EXPECT_EQ(migrate::Importer(target([](const std::string&) { return true; }))
                  .add(disc, m_problems)
                  .outcome,
              migrate::DiscOutcome::Replaced);
    EXPECT_EQ(snapshot(m_library.path()),
              gbk("软件光盘/\n软件光盘/CD.Cdr=E:\\\r\n\n软件光盘/CD.Mx=\n软件光盘/CD.tag=0\r\n\n"));
    // The index hears of both names: the old one is gone.
    const std::string box = m_library / gbk("软件光盘/");
    EXPECT_EQ(changes.seen, (std::vector<std::string>{box + "CD", box + "cd"}));
}

struct OldCd
{
    const char* disc;
    std::vector<std::pair<const char*, const char*>> files; // name in the box, content
};

class ImportKilled : public ::testing::TestWithParam<OldCd>
{
protected:
    // Every file of the box, its name upper-cased: a record whole whatever its spellings.
    static std::string filesOf(const std::string& box)
    {
        std::multimap<std::string, std::string> files;
        std::vector<catalog::DirEntry> entries;
        catalog::ListFolder(box, entries);
        for (const auto& entry : entries) {
            files.emplace(catalog::upperAscii(entry.name), readFile(box + entry.name));
        }
        std::string text;
        for (const auto& [name, content] : files) {
            text += name + "=" + content + "\n";
        }
        return text;
    }

    // The box with the old CD's files in it, and those files.
    static std::string withOld(const TempDir& root, const OldCd& old)
    {
        makeFolders(root / gbk("软件光盘"));
        for (const auto& [name, content] : old.files) {
            writeFile(root / gbk("软件光盘/") + gbk(name), content);
        }
        return filesOf(root / gbk("软件光盘/"));
    }

    // The disc imported into a box holding the old CD, answering yes, the process ending
    // at its crashAt-th rename (0: never); the library once the next command locked the box.
    static std::string importInto(const TempDir& root, const OldCd& old, int crashAt,
                                  int* renames = nullptr)
    {
        withOld(root, old);
        const std::string box = root / gbk("软件光盘") + "/";
        const pid_t child = ::fork();
        if (child == 0) {
            int count = 0;
            const catalog::ScopedDiskCalls calls(
                {}, {}, [&](const std::string& from, const std::string& to) {
                    if (++count == crashAt) {
                        ::_exit(0);
                    }
                    return ::rename(from.c_str(), to.c_str());
                });
            migrate::ImportTarget into;
            into.boxFolder = box;
            into.overwrite = [](const std::string&) { return true; };
            std::vector<std::string> problems;
            migrate::Disc disc = sampleDisc();
            disc.nameUtf8 = old.disc;
            migrate::Importer(into).add(disc, problems);
            ::_exit(10 + count);
        }
        int status = 0;
        ::waitpid(child, &status, 0);
        if (renames != nullptr) {
            *renames = WIFEXITED(status) ? WEXITSTATUS(status) - 10 : -1;
        }
        const catalog::FolderLock recovered(box);
        catalog::RemoveStaleTemporaryFiles(box);
        return filesOf(box);
    }
};

// Killed at any rename, the import leaves the old CD as it was or the new one whole (its
// other spellings and a case twin gone), never a part of each.
TEST_P(ImportKilled, LeavesTheOldCdOrTheNewOneWhole)
{
    TempDir intoEmpty;
    const std::string whole = importInto(intoEmpty, {GetParam().disc, {}}, 0);
    TempDir before;
    const std::string old = withOld(before, GetParam());
    TempDir complete;
    int renames = 0;
    ASSERT_EQ(importInto(complete, GetParam(), 0, &renames), whole);
    ASSERT_GT(renames, 2);
    int oldKept = 0;
    for (int crashAt = 1; crashAt <= renames; ++crashAt) {
        TempDir root;
        const std::string after = importInto(root, GetParam(), crashAt);
        EXPECT_TRUE(after == old || after == whole) << "killed at rename " << crashAt << ":\n"
                                                    << after;
        oldKept += after == old ? 1 : 0;
    }
    EXPECT_EQ(oldKept, 1); // killed before its note was in place
}

INSTANTIATE_TEST_SUITE_P(Replacements, ImportKilled,
                         ::testing::Values(OldCd{"软件一",
                                                 {{"软件一.cdr", "E:\\\r\n\tOLD\r\n"},
                                                  {"软件一.CDR", "E:\\\r\n"},
                                                  {"软件一.TAG", "0\r\n5\r\n"},
                                                  {"软件一.fmx", "OLD\\\r\nold\r\n"},
                                                  {"软件一.mx", "old"},
                                                  {"软件一.Ifn", "x"}}},
                                           OldCd{"Tools",
                                                 {{"TOOLS.Cdr", "E:\\\r\n"},
                                                  {"TOOLS.tag", "0\r\n"},
                                                  {"TOOLS.Ifn", "x"},
                                                  {"Tools.TAG", "0\r\n"}}}),
                         [](const auto& info) {
                             return info.index == 0 ? "Spellings" : "CaseTwin";
                         });

TEST_F(ImportTest, DiscsThatCannotBeRecordsAreLeftOutAndSaidSo)
{
    migrate::Importer importer(target([](const std::string&) { return true; }));
    migrate::Disc disc;
    for (const std::string name : {"a/b", "a:b", "   ", "笑😀", "..", "tab\there"}) {
        disc.nameUtf8 = name;
        EXPECT_EQ(importer.add(disc, m_problems).outcome, migrate::DiscOutcome::Refused) << name;
    }
    disc.nameUtf8 = "Twice";
    EXPECT_EQ(importer.add(disc, m_problems).outcome, migrate::DiscOutcome::Written);
    disc.nameUtf8 = "TWICE";
    EXPECT_EQ(importer.add(disc, m_problems).outcome, migrate::DiscOutcome::Refused);
    EXPECT_EQ(m_problems.back(), "文件中有同名的光盘, 只导入了第一张: TWICE");
    EXPECT_EQ(m_problems.size(), 7u);
    EXPECT_TRUE(m_questions.empty()); // never merged with the first one
}

TEST_F(ImportTest, ADryRunWritesNothingAndReportsTakenNames)
{
    writeFile(m_library / gbk("软件光盘/软件一.Cdr"), "E:\\\r\n");
    const std::string before = snapshot(m_library.path());
    migrate::ImportTarget into = target();
    into.dryRun = true;
    migrate::Disc disc = sampleDisc();
    disc.boxesUtf8 = {};
    const migrate::DiscResult result = migrate::Importer(into).add(disc, m_problems);
    EXPECT_EQ(result.outcome, migrate::DiscOutcome::Checked);
    EXPECT_EQ(result.totals.files, 4);
    EXPECT_EQ(snapshot(m_library.path()), before);
    EXPECT_EQ(m_problems.back(), "光盘盒中已有同名的光盘: 软件一");
}

// ---- The CSV table and the round trip ------------------------------------------------------

std::vector<std::string> importFile(const std::string& path, const std::string& boxFolder)
{
    migrate::ImportTarget into;
    into.boxFolder = boxFolder;
    into.boxTextGbk = "Orlendy";
    into.now = Now;
    migrate::Importer importer(into);
    migrate::ReadNotes notes;
    migrate::Input input(path);
    migrate::ReadCatalogue(
        input, migrate::DetectFormat(input, path), "",
        [&](migrate::Disc& disc) {
            importer.add(disc, notes.problemsUtf8);
            return true;
        },
        notes);
    importer.finish();
    return notes.problemsUtf8;
}

TEST(CsvExport, ABoxWrittenAsCsvAndReadBackGivesTheSameRecords)
{
    TempDir library;
    TempDir other;
    makeFolders(library / gbk("软件光盘/游戏"));
    {
        migrate::ImportTarget into;
        into.boxFolder = library / gbk("软件光盘/游戏") + "/";
        into.now = Now;
        std::vector<std::string> problems;
        migrate::Importer importer(into);
        migrate::Disc disc = sampleDisc();
        importer.add(disc, problems);
        disc.nameUtf8 = "第二张";
        disc.descriptionUtf8 = "";
        disc.root.children.erase("empty");
        importer.add(disc, problems);
        importer.finish();
    }
    // Quotes after the first eight bytes of a name.
    writeFile(library / "loose.Cdr", "E:\\\r\n\tlong name \"x\" y,z.txt\r\n");
    writeFile(library / "loose.tag", "0\r\n4\r\n");
    writeFile(library / "loose.Mx", "");

    const migrate::CsvExport written =
        migrate::ExportBoxCsv(library.path(), library.path(), other / "all.csv");

    EXPECT_EQ(written.cds, 3);
    EXPECT_TRUE(written.failedUtf8.empty());
    const std::string csv = readFile(other / "all.csv");
    EXPECT_EQ(csv.substr(0, csv.find("\r\n", csv.find("\r\n") + 2) + 2),
              "Volume,Path,Name,Size,Ext,Last modified,Description\r\n"
              "\"loose\",\"/\",\"long name \"\"x\"\" y,z.txt\",,\"txt\",,\"\"\r\n");
    EXPECT_NE(csv.find("\"软件光盘\\游戏\\软件一\",\"/\",\"\",,\"\",,\"第一行\r\n第二行\"\r\n"),
              std::string::npos)
        << csv;
    EXPECT_NE(csv.find("\"软件光盘\\游戏\\软件一\",\"/I386/LANG\",\"\",,\"\",,\"语言\"\r\n"),
              std::string::npos);
    EXPECT_NE(csv.find("\"软件光盘\\游戏\\软件一\",\"/empty\",\"\",,\"\",,\"\"\r\n"),
              std::string::npos);
    EXPECT_EQ(written.rows, 1 + 7 + 5);

    // The permissions of any file written for the user; a table written over one keeps its.
    struct stat info = {};
    ASSERT_EQ(::stat((other / "all.csv").c_str(), &info), 0);
    const mode_t mask = ::umask(0);
    ::umask(mask);
    EXPECT_EQ(info.st_mode & 07777, 0666 & ~mask);
    ASSERT_EQ(::chmod((other / "all.csv").c_str(), 0604), 0);
    migrate::ExportBoxCsv(library.path(), library.path(), other / "all.csv");
    ASSERT_EQ(::stat((other / "all.csv").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0604u);

    TempDir again;
    EXPECT_EQ(importFile(other / "all.csv", again.path()), std::vector<std::string>{});
    EXPECT_EQ(snapshot(again.path()), snapshot(library.path()));

    // A box exported alone names its CDs by their whole box path too.
    migrate::ExportBoxCsv(library.path(), library / gbk("软件光盘") + "/", other / "box.csv");
    EXPECT_EQ(readFile(other / "box.csv").find("\"loose\""), std::string::npos);
    EXPECT_NE(readFile(other / "box.csv").find("\"软件光盘\\游戏\\第二张\""), std::string::npos);
}

// Every kind of name gives its extension, whether it is converted straight into its row,
// holds quotes or needs ICU (which takes a lone 0xFF for U+F8F5).
TEST(CsvExport, NamesOfEveryKindGiveTheirExtension)
{
    TempDir library;
    TempDir other;
    writeFile(library / "cd.Cdr",
              "E:\\\r\n\ta.t\"x\r\n\t\xFFz.b\r\n\t" + gbk("软件.中文") + "\r\n\tnodot\r\n");
    writeFile(library / "cd.tag", "0\r\n4\r\n4\r\n4\r\n4\r\n");
    EXPECT_EQ(migrate::ExportBoxCsv(library.path(), library.path(), other / "all.csv").rows, 4);
    EXPECT_EQ(readFile(other / "all.csv"), "Volume,Path,Name,Size,Ext,Last modified,Description\r\n"
                                           "\"cd\",\"/\",\"a.t\"\"x\",,\"t\"\"x\",,\"\"\r\n"
                                           "\"cd\",\"/\",\"\xEF\xA3\xB5z.b\",,\"b\",,\"\"\r\n"
                                           "\"cd\",\"/\",\"软件.中文\",,\"中文\",,\"\"\r\n"
                                           "\"cd\",\"/\",\"nodot\",,\"\",,\"\"\r\n");
}

struct BrokenListing
{
    const char* name;
    const char* listing;
    const char* fifo; // the file of b that cannot be read
};

class CsvExportBroken : public ::testing::TestWithParam<BrokenListing>
{
};

// A listing read as every reader reads it: one that breaks part way is reported, and none
// of its rows, its description's neither, is written; the CDs around it are whole.
TEST_P(CsvExportBroken, ReportsTheCdAndWritesNoneOfIt)
{
    TempDir library;
    TempDir other;
    for (const char* cd : {"a", "c"}) {
        writeFile(library / cd + ".Cdr", "E:\\\r\n\tok.txt\r\n");
        writeFile(library / cd + ".tag", "0\r\n3\r\n");
    }
    const std::string fifo = GetParam().fifo;
    ASSERT_EQ(fifo.empty() || ::mkfifo((library / fifo).c_str(), 0600) == 0, true);
    for (const auto& [name, text] : {std::pair{"b.Cdr", GetParam().listing},
                                     {"b.tag", "0\r\n1\r\n3\r\n3\r\n"},
                                     {"b.Mx", "described"},
                                     {"b.FMx", "\\ok.txt\r\nnoted\r\n"}}) {
        if (name != fifo) {
            writeFile(library / name, text);
        }
    }

    const migrate::CsvExport written =
        migrate::ExportBoxCsv(library.path(), library.path(), other / "all.csv");

    EXPECT_EQ(written.failedUtf8, std::vector<std::string>{"b"});
    EXPECT_EQ(written.cds, 2);
    EXPECT_EQ(written.rows, 2);
    EXPECT_EQ(readFile(other / "all.csv"), "Volume,Path,Name,Size,Ext,Last modified,Description\r\n"
                                           "\"a\",\"/\",\"ok.txt\",,\"txt\",,\"\"\r\n"
                                           "\"c\",\"/\",\"ok.txt\",,\"txt\",,\"\"\r\n");
}

INSTANTIATE_TEST_SUITE_P(
    Listings, CsvExportBroken,
    ::testing::Values(BrokenListing{"LevelSkipped",
                                    "E:\\\r\n\tDIR\r\n\t\tx.txt\r\n\t\t\t\ty.txt\r\n", ""},
                      BrokenListing{"SecondRoot", "E:\\\r\n\tx.txt\r\nF:\\\r\n\ty.txt\r\n", ""},
                      BrokenListing{"Unreadable", "", "b.Cdr"},
                      BrokenListing{"UnreadableDescription", "E:\\\r\n\tok.txt\r\n", "b.Mx"},
                      BrokenListing{"UnreadableNotes", "E:\\\r\n\tok.txt\r\n", "b.FMx"}),
    [](const auto& info) { return std::string(info.param.name); });

// Rows beyond what the export holds at first: a CD's rows are written whole, and a CD that
// breaks after that many rows takes all of them back.
TEST(CsvExport, ACdOfMoreRowsThanTheBufferHoldsIsWrittenWholeOrNotAtAll)
{
    TempDir library;
    TempDir other;
    constexpr int Files = 150000; // some 6 MB of rows
    std::string listing = "E:\\\r\n";
    std::string tags = "0\r\n";
    std::string rows;
    for (int i = 0; i < Files; ++i) {
        const std::string name = "file" + std::to_string(i) + ".txt";
        listing += "\t" + name + "\r\n";
        tags += "3\r\n";
        rows += "\"a\",\"/\",\"" + name + "\",,\"txt\",,\"\"\r\n";
    }
    writeFile(library / "a.Cdr", listing);
    writeFile(library / "b.Cdr", listing + "\t\t\tskipped.txt\r\n");
    writeFile(library / "c.Cdr", "E:\\\r\n\tok.txt\r\n");
    for (const char* tag : {"a.tag", "b.tag", "c.tag"}) {
        writeFile(library / tag, tags);
    }

    const migrate::CsvExport written =
        migrate::ExportBoxCsv(library.path(), library.path(), other / "all.csv");

    EXPECT_EQ(written.failedUtf8, std::vector<std::string>{"b"});
    EXPECT_EQ(written.rows, Files + 1);
    EXPECT_TRUE(readFile(other / "all.csv") ==
                "Volume,Path,Name,Size,Ext,Last modified,Description\r\n" + rows +
                    "\"c\",\"/\",\"ok.txt\",,\"txt\",,\"\"\r\n");
}

// CDs are turned into rows on several threads, a few ahead of the one written: many CDs in
// nested boxes, some broken, still come out whole, in the order they are walked, the broken
// ones reported in that order.
TEST(CsvExport, ManyCdsComeOutInWalkOrderWithTheBrokenOnesReported)
{
    TempDir library;
    TempDir other;
    // CD number i of each box holds the file fi.txt; every fifth from the fourth breaks.
    const auto isBroken = [](int i) { return i % 5 == 3; };
    for (const char* box : {"", "a/", "a/b/", "c/"}) {
        for (int i = 10; i < 22; ++i) {
            const std::string base = library / box + "cd" + std::to_string(i);
            writeFile(base + ".Cdr", isBroken(i) ? "E:\\\r\n\t\t\tdeep.txt\r\n"
                                                 : "E:\\\r\n\tf" + std::to_string(i) + ".txt\r\n");
            writeFile(base + ".tag", "0\r\n3\r\n");
        }
    }
    struct Visited : search::RecordWalk
    {
        void visit(const std::string& relative, const search::RecordFiles&,
                   const std::string&) override
        {
            cds.push_back(relative);
        }
        bool aborted() override { return false; }
        std::vector<std::string> cds;
    } walk;
    walk.walkBox(library.path(), "");
    ASSERT_EQ(walk.cds.size(), 48U);

    const migrate::CsvExport written =
        migrate::ExportBoxCsv(library.path(), library.path(), other / "all.csv");

    std::string rows;
    std::vector<std::string> broken;
    for (const std::string& volume : walk.cds) {
        const int i = std::stoi(volume.substr(volume.size() - 2));
        if (isBroken(i)) {
            broken.push_back(volume);
        } else {
            rows +=
                "\"" + volume + "\",\"/\",\"f" + std::to_string(i) + ".txt\",,\"txt\",,\"\"\r\n";
        }
    }
    EXPECT_EQ(written.failedUtf8, broken);
    EXPECT_EQ(written.cds, 48 - static_cast<int>(broken.size()));
    EXPECT_TRUE(readFile(other / "all.csv") ==
                "Volume,Path,Name,Size,Ext,Last modified,Description\r\n" + rows);
}

// The export takes for a CD what a search takes: a .cdr with a .tag of its base beside it.
TEST(CsvExport, ExportsTheCdsASearchWalkVisits)
{
    TempDir library;
    TempDir other;
    for (const char* name : {"a.cdr", "a.tag", "b.Cdr", "c.CDR", "c.TAG", "d.cdr", "D.tag", "e.cdr",
                             "f.CDR", "f.cdr", "f.Tag", "box/g.Cdr", "box/g.tag"}) {
        makeFolders(library / "box");
        writeFile(library / name, "E:\\\r\n\tx\r\n");
    }
    makeFolders(library / "e.tag");
    struct Visited : search::RecordWalk
    {
        void visit(const std::string& relative, const search::RecordFiles&,
                   const std::string&) override
        {
            cds.push_back(relative);
        }
        bool aborted() override { return false; }
        std::vector<std::string> cds;
    } walk;
    walk.walkBox(library.path(), "");

    const migrate::CsvExport written =
        migrate::ExportBoxCsv(library.path(), library.path(), other / "all.csv");

    const std::vector<std::string> expected{"a", "box\\g", "c", "f", "f"};
    EXPECT_EQ(walk.cds, expected);
    std::vector<std::string> exported;
    const std::string csv = readFile(other / "all.csv");
    for (const auto line : catalog::SplitLines(csv)) {
        if (line.starts_with('"')) {
            exported.emplace_back(line.substr(1, line.find('"', 1) - 1));
        }
    }
    EXPECT_EQ(exported, expected);
    EXPECT_EQ(written.cds, 5);
}

} // namespace
