#include "output/output.h"

#include "catalog/box_tree.h"
#include "catalog/disk.h"
#include "catalog/library.h"
#include "tests/support/temp_library.h"

#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <string>
#include <vector>

namespace {

using output::Style;
using testing_support::exists;
using testing_support::gbk;
using testing_support::makeFolders;
using testing_support::readFile;
using testing_support::snapshot;
using testing_support::TempDir;
using testing_support::writeFile;

const std::string Ideographic4 = "\xA1\xA1\xA1\xA1\xA1\xA1\xA1\xA1";

// ---- The drawn lines and the documents -------------------------------------------------

TEST(DrawTreeLines, LevelsBecomeIndentsAndBranches)
{
    const std::string listing =
        "E:\\\r\n\tTools\r\n\t\ta.exe\r\n\t\t\t" + gbk("说明.txt") + "\r\n\tB\r\n";
    EXPECT_EQ(
        output::DrawTreeLines(listing, Style::Text),
        (std::vector<std::string>{"E:\\", "|-------Tools", "|        |-------a.exe",
                                  "|        |        |-------" + gbk("说明.txt"), "|-------B"}));
    EXPECT_EQ(
        output::DrawTreeLines(listing, Style::Html),
        (std::vector<std::string>{
            "E:\\", "|-------Tools", "|" + Ideographic4 + "|-------a.exe",
            "|" + Ideographic4 + "|" + Ideographic4 + "|-------" + gbk("说明.txt"), "|-------B"}));
}

TEST(DrawTreeLines, DeepLevelsAreDrawnInFull)
{
    for (const std::size_t level : {1u, 32u, 33u, 34u, 40u}) {
        std::string expected;
        for (std::size_t i = 1; i < level; ++i) {
            expected += "|        ";
        }
        const std::string listing = "E:\\\n" + std::string(level, '\t') + "x";
        EXPECT_EQ(output::DrawTreeLines(listing, Style::Text).back(), expected + "|-------x")
            << level;
        EXPECT_EQ(output::TreeTextDocument(listing), "E:\\\r\n" + expected + "|-------x\r\n");
    }
}

TEST(DrawTreeLines, LinesWithoutOrInsideTabsFollowTheRedrawingRule)
{
    // The root keeps its tabs; a later line without a tab gets the branch at its end; a
    // tab after text still counts as one indent, in front of the line.
    EXPECT_EQ(
        output::DrawTreeLines("\tE:\\\nloose\n\ta\tb\n\n", Style::Text),
        (std::vector<std::string>{"\tE:\\", "loose|-------", "|        a|-------b", "|-------"}));
    EXPECT_TRUE(output::DrawTreeLines("", Style::Text).empty());
}

TEST(TreeTextDocument, DrawnLinesEachEndInCrLfWhateverTheListingsLineEnds)
{
    const std::string drawn = "E:\\\r\n|-------A\r\n|        |-------B\r\n";
    for (const char* listing :
         {"E:\\\r\n\tA\r\n\t\tB\r\n", "E:\\\n\tA\n\t\tB", "E:\\\r\tA\r\t\tB\r"}) {
        EXPECT_EQ(output::TreeTextDocument(listing), drawn);
    }
    EXPECT_EQ(output::TreeTextDocument("E:\\\r\n"), "E:\\\r\n");
    EXPECT_EQ(output::TreeTextDocument(""), "");
}

TEST(TreeHtmlDocument, FrameOfARootOnlyTree)
{
    const std::string name = gbk("工具盘");
    EXPECT_EQ(output::TreeHtmlDocument("E:\\\r\n", name),
              "<HTML>\r\n<HEAD>\r\n"
              "<META http-equiv=\"Content-Type\" content=\"text/html; charset=gbk\">\r\n"
              "<TITLE>" +
                  name + "</TITLE>\r\n</HEAD>\r\n<BODY>\r\n" + gbk("<center><font size=5>光盘 ") +
                  name + gbk(" 的结构</font></center>") +
                  "\r\n<BR><BR>\r\nE:\\<BR>\r\n</BODY>\r\n</HTML>\r\n");
}

TEST(TreeHtmlDocument, NodesUseIdeographicIndentsAndAreEscaped)
{
    const std::string document =
        output::TreeHtmlDocument("E:\\\r\n\t<script>\r\n\t\tTom & \"Jerry\".txt\r\n", "a&b<c>");
    EXPECT_NE(document.find("<TITLE>a&amp;b&lt;c&gt;</TITLE>\r\n"), std::string::npos);
    EXPECT_NE(document.find(gbk("光盘 ") + "a&amp;b&lt;c&gt;" + gbk(" 的结构")), std::string::npos);
    EXPECT_NE(
        document.find("<BR><BR>\r\nE:\\<BR>\r\n|-------&lt;script&gt;<BR>\r\n|" + Ideographic4 +
                      "|-------Tom &amp; &quot;Jerry&quot;.txt<BR>\r\n</BODY>\r\n</HTML>\r\n"),
        std::string::npos)
        << document;
    EXPECT_EQ(document.find("<script>"), std::string::npos);
}

TEST(CdNameOfListing, FileNameWithoutItsLastFourCharacters)
{
    EXPECT_EQ(output::CdNameOfListing("/lib/" + gbk("软件/工具盘.CDR")), gbk("工具盘"));
    EXPECT_EQ(output::CdNameOfListing("/lib/a.b.Fid"), "a.b");
    EXPECT_EQ(output::CdNameOfListing("/lib/abc"), "");
}

// ---- Names of output files -------------------------------------------------------------

TEST(WithOutputExtension, AppendsUnlessTheExtensionIsAlreadyThere)
{
    const struct
    {
        const char* chosen;
        Style style;
        const char* written;
    } cases[] = {
        {"/home/u/list.doc", Style::Text, "/home/u/list.doc.txt"},
        {"/home/u/LIST.TXT", Style::Text, "/home/u/LIST.TXT"},
        {"/home/u/list.tXt", Style::Text, "/home/u/list.tXt"},
        {"/home/u/list", Style::Text, "/home/u/list.txt"},
        {"/home/u.txt/list", Style::Text, "/home/u.txt/list.txt"},
        {"/home/u/list.htm", Style::Text, "/home/u/list.htm.txt"},
        {"/home/u/page.HTM", Style::Html, "/home/u/page.HTM"},
        {"/home/u/page.html", Style::Html, "/home/u/page.html.Htm"},
        {"/home/u/page.txt", Style::Html, "/home/u/page.txt.Htm"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(output::WithOutputExtension(c.chosen, c.style), c.written) << c.chosen;
    }
}

TEST(UniqueOutputName, CountsUpPastNamesTakenInAnyCase)
{
    const TempDir out;
    EXPECT_EQ(output::UniqueOutputName(out.path(), "Backup", Style::Text), out / "Backup");
    writeFile(out / "backup.TXT", "");
    writeFile(out / "BACKUP(2).txt", "");
    makeFolders(out / "Backup(3).Txt/");
    EXPECT_EQ(output::UniqueOutputName(out.path(), "Backup", Style::Text), out / "Backup(4)");
    // Each type has its own extension; "(2)" is the first repeat.
    writeFile(out / "Backup.Htm", "");
    EXPECT_EQ(output::UniqueOutputName(out.path(), "Backup", Style::Html), out / "Backup(2)");
    // The name is the CD's GBK name in UTF-8, and ASCII letters fold.
    writeFile(out / "光盘a.txt", "");
    EXPECT_EQ(output::UniqueOutputName(out.path(), gbk("光盘A"), Style::Text),
              out / "光盘A(2)");
}

// ---- Writing one CD ----------------------------------------------------------------------

TEST(WriteTree, WritesTheDocumentsOfAListingFile)
{
    const TempDir dir;
    writeFile(dir / gbk("工具盘.CDR"), "E:\\\n\tA\n");
    output::WriteTreeText(dir / gbk("工具盘.CDR"), dir / "out.doc");
    EXPECT_EQ(readFile(dir / "out.doc"), "E:\\\r\n|-------A\r\n");
    output::WriteTreeHtml(dir / gbk("工具盘.CDR"), dir / "out.Htm");
    EXPECT_EQ(readFile(dir / "out.Htm"), output::TreeHtmlDocument("E:\\\n\tA\n", gbk("工具盘")));
}

TEST(WriteTree, AListingThatIsNoRegularFileIsAnErrorAndWritesNothing)
{
    const TempDir dir;
    ASSERT_EQ(::mkfifo((dir / "pipe.cdr").c_str(), 0600), 0);
    makeFolders(dir / "folder.cdr/");
    EXPECT_THROW(output::WriteTreeText(dir / "pipe.cdr", dir / "a.txt"), catalog::FileError);
    EXPECT_THROW(output::WriteTreeHtml(dir / "folder.cdr", dir / "a.htm"), catalog::FileError);
    EXPECT_EQ(snapshot(dir.path()), "folder.cdr/\npipe.cdr|\n");
}

TEST(WriteTree, ARecordIsNeverOverwrittenByItsOwnDocument)
{
    const TempDir dir;
    writeFile(dir / "a.cdr", "E:\\\r\n\tA\r\n");
    EXPECT_THROW(output::WriteTreeText(dir / "a.cdr", dir / "./a.cdr"), catalog::FileError);
    EXPECT_EQ(snapshot(dir.path()), "a.cdr=E:\\\r\n\tA\r\n\n");
}

// Files may grow to `bytes` at most while it lives: a longer write fails with EFBIG, as
// on a full disk, and is not answered by a signal.
class FileSizeLimit
{
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        ::getrlimit(RLIMIT_FSIZE, &m_saved);
        m_handler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit = m_saved;
        limit.rlim_cur = bytes;
        ::setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit()
    {
        ::setrlimit(RLIMIT_FSIZE, &m_saved);
        std::signal(SIGXFSZ, m_handler);
    }

private:
    rlimit m_saved{};
    void (*m_handler)(int) = nullptr;
};

TEST(WriteTree, AFailedWriteLeavesTheOldFileAndNoPartialOne)
{
    const TempDir dir;
    std::string listing = "E:\\\r\n";
    for (int i = 0; i < 2000; ++i) {
        listing += "\t\t\tfile" + std::to_string(i) + ".txt\r\n";
    }
    writeFile(dir / "big.cdr", listing);
    writeFile(dir / "list.txt", "the old output");
    try {
        const FileSizeLimit limit(16 * 1024);
        output::WriteTreeText(dir / "big.cdr", dir / "list.txt");
        ADD_FAILURE() << "the write went through";
    } catch (const catalog::FileError& error) {
        EXPECT_EQ(error.errorNumber(), EFBIG);
    }
    EXPECT_EQ(snapshot(dir.path()), "big.cdr=" + listing + "\nlist.txt=the old output\n");
}

// ---- Batch output ------------------------------------------------------------------------

class BatchTest : public ::testing::Test
{
protected:
    void addCd(const std::string& pathUtf8, const std::string& listing)
    {
        writeFile(m_lib / gbk(pathUtf8), listing);
    }

    output::BatchResult run(output::BatchType type = output::BatchType::Text)
    {
        output::BatchHooks hooks = m_hooks;
        hooks.starting = [this](const std::string& name) { m_events.push_back("start " + name); };
        hooks.written = [this](const std::string& listing, const std::string& out) {
            m_events.push_back("wrote " + listing.substr(m_lib.path().size()) + " -> " +
                               (out.empty() ? "" : out.substr(m_out.path().size())));
        };
        hooks.failed = [this](const std::string& listing, const std::string&) {
            m_events.push_back("failed " + listing.substr(m_lib.path().size()));
        };
        hooks.advanced = [this] { m_events.push_back("advanced"); };
        return output::OutputBoxTree(m_lib.path(), m_out.path(), type, hooks);
    }

    TempDir m_lib;
    TempDir m_out;
    output::BatchHooks m_hooks;
    std::vector<std::string> m_events;
};

TEST_F(BatchTest, CdsOfAllSubBoxesLandSideBySideUnderUniqueNames)
{
    addCd("A/Backup.Cdr", "E:\\\r\n\tfrom A\r\n");
    addCd("A/Backup.tag", "0\r\n4\r\n");
    addCd("B/inner/backup.cdr", "F:\\\r\n\tfrom B\r\n");
    addCd("B/notes.txt", "not a record");
    addCd("BACKUP.CDR", "G:\\\r\n");
    writeFile(m_out / "Backup(3).txt", "was here before");

    const output::BatchResult result = run();

    EXPECT_EQ(result.written, 3);
    EXPECT_TRUE(result.failed.empty());
    EXPECT_FALSE(result.aborted);
    // Name order: A/, B/ and then BACKUP.CDR of the box itself.
    EXPECT_EQ(m_events, (std::vector<std::string>{
                            "start Backup", "wrote A/Backup.Cdr -> Backup.Txt", "advanced",
                            "start backup", "wrote B/inner/backup.cdr -> backup(2).Txt", "advanced",
                            "start BACKUP", "wrote BACKUP.CDR -> BACKUP(4).Txt", "advanced"}));
    EXPECT_EQ(snapshot(m_out.path()), "BACKUP(4).Txt=G:\\\r\n\nBackup(3).txt=was here before\n"
                                      "Backup.Txt=E:\\\r\n|-------from A\r\n\n"
                                      "backup(2).Txt=F:\\\r\n|-------from B\r\n\n");
}

TEST_F(BatchTest, TheSearchResultsFolderYieldsNothingAndTheCountMatches)
{
    const std::string results = catalog::ResultsFolderName();
    addCd("A/one.Cdr", "E:\\\r\n");
    writeFile(m_lib / results + "/" + gbk("包含 x/one.Tgt"), "A\\one.Cdr\r\n");
    writeFile(m_lib / results + "/" + gbk("包含 x/two.Fid"), "E:\\\r\n");
    writeFile(m_lib / results + "/stray.cdr", "E:\\\r\n");
    writeFile(m_lib / "back\\slash/hidden.cdr", "E:\\\r\n");

    const output::BatchResult result = run();

    EXPECT_EQ(result.written, 1);
    EXPECT_EQ(snapshot(m_out.path()), "one.Txt=E:\\\r\n\n");
    // The progress maximum is the count of what the walk visits.
    EXPECT_EQ(catalog::CountBoxEntries(m_lib.path(), catalog::CountMode::Records, true).records,
              result.written);
}

TEST_F(BatchTest, AnAbortStopsBeforeTheNextEntry)
{
    for (int i = 0; i < 10; ++i) {
        addCd("box/cd" + std::to_string(i) + ".Cdr", "E:\\\r\n");
        addCd("box/cd" + std::to_string(i) + ".tag", "0\r\n");
    }
    int asked = 0;
    m_hooks.aborted = [&] {
        ++asked;
        return std::count(m_events.begin(), m_events.end(), "advanced") == 3;
    };

    const output::BatchResult result = run();

    EXPECT_TRUE(result.aborted);
    EXPECT_EQ(result.written, 3);
    EXPECT_EQ(snapshot(m_out.path()), "cd0.Txt=E:\\\r\n\ncd1.Txt=E:\\\r\n\ncd2.Txt=E:\\\r\n\n");
    // Asked before the box, then before cd0.Cdr, cd0.tag, ... and cd2.tag.
    EXPECT_EQ(asked, 7);
}

TEST_F(BatchTest, ABrokenListingIsReportedAndTheWalkGoesOn)
{
    addCd("box/a.Cdr", "E:\\\r\n");
    ASSERT_EQ(::mkfifo((m_lib / "box/b.cdr").c_str(), 0600), 0);
    ASSERT_EQ(::symlink("nowhere.Cdr", (m_lib / "box/c.CDR").c_str()), 0);
    addCd("box/d.Cdr", "E:\\\r\n\td\r\n");
    std::vector<std::string> errors;
    output::BatchHooks hooks;
    hooks.failed = [&](const std::string&, const std::string& error) { errors.push_back(error); };

    const output::BatchResult result =
        output::OutputBoxTree(m_lib.path(), m_out.path(), output::BatchType::Text, hooks);

    EXPECT_EQ(result.written, 2);
    EXPECT_EQ(result.failed, (std::vector<std::string>{"b", "c"}));
    ASSERT_EQ(errors.size(), 2u);
    EXPECT_NE(errors[0].find("b.cdr: "), std::string::npos) << errors[0];
    EXPECT_NE(errors[1].find("c.CDR: "), std::string::npos) << errors[1];
    EXPECT_EQ(snapshot(m_out.path()), "a.Txt=E:\\\r\n\nd.Txt=E:\\\r\n|-------d\r\n\n");
}

TEST_F(BatchTest, AFileTooBigToWriteFailsAloneAndLeavesNoPartialFile)
{
    std::string big = "E:\\\r\n";
    for (int i = 0; i < 2000; ++i) {
        big += "\t\tfile" + std::to_string(i) + ".txt\r\n";
    }
    addCd("a.Cdr", big);
    addCd("b.Cdr", "E:\\\r\n");
    output::BatchResult result;
    {
        const FileSizeLimit limit(16 * 1024);
        result = run();
    }
    EXPECT_EQ(result.written, 1);
    EXPECT_EQ(result.failed, (std::vector<std::string>{"a"}));
    EXPECT_EQ(snapshot(m_out.path()), "b.Txt=E:\\\r\n\n");
}

TEST_F(BatchTest, AnOutputFolderThatIsGoneEndsTheWalk)
{
    addCd("a.Cdr", "E:\\\r\n");
    addCd("b.Cdr", "E:\\\r\n");
    addCd("c.Cdr", "E:\\\r\n");
    const std::string out = m_out / "gone/";
    makeFolders(out);
    output::BatchHooks hooks;
    int started = 0;
    hooks.starting = [&](const std::string&) {
        if (++started == 2) {
            ::unlink((out + "a.Txt").c_str());
            ::rmdir(out.c_str());
        }
    };
    EXPECT_THROW(output::OutputBoxTree(m_lib.path(), out, output::BatchType::Text, hooks),
                 catalog::FileError);
    EXPECT_EQ(started, 2);
}

TEST_F(BatchTest, ThePrinterTypePrintsEachListingAndReportsAFailedJob)
{
    addCd("A/one.Cdr", "E:\\\r\n");
    addCd("B/two.Cdr", "E:\\\r\n");
    std::vector<std::string> printed;
    m_hooks.print = [&](const std::string& listing, const std::string& name) {
        if (name == "one") {
            throw catalog::FileError("the job was refused");
        }
        printed.push_back(listing.substr(m_lib.path().size()) + " " + name);
    };
    const output::BatchResult result = run(output::BatchType::Printer);
    EXPECT_EQ(printed, (std::vector<std::string>{"B/two.Cdr two"}));
    EXPECT_EQ(m_events, (std::vector<std::string>{"start one", "failed A/one.Cdr", "advanced",
                                                  "start two", "wrote B/two.Cdr -> ", "advanced"}));
    EXPECT_EQ(result.failed, (std::vector<std::string>{"one"}));
    EXPECT_EQ(snapshot(m_out.path()), "");
}

} // namespace
