// vellumark-cli writing CD trees out, run as a whole process against libraries written
// byte by byte.

#include "catalog/text.h"
#include "tests/support/cli_library.h"

#include <sys/stat.h>
#include <unistd.h>

using testing_support::CliRun;
using testing_support::exists;
using testing_support::gbk;
using testing_support::makeFolders;
using testing_support::readFile;
using testing_support::snapshot;
using testing_support::TempDir;
using testing_support::writeFile;

namespace {

const std::string Results = "\xFF" + gbk("查找结果");
const std::string Listing = "E:\\\r\n\tTools\r\n\t\ta.exe\r\n";
const std::string Drawn = "E:\\\r\n|-------Tools\r\n|        |-------a.exe\r\n";

std::string htmlOf(const std::string& nameUtf8, const std::string& lines)
{
    return "<HTML>\r\n<HEAD>\r\n"
           "<META http-equiv=\"Content-Type\" content=\"text/html; charset=gbk\">\r\n<TITLE>" +
           gbk(nameUtf8) + "</TITLE>\r\n</HEAD>\r\n<BODY>\r\n" +
           gbk("<center><font size=5>光盘 " + nameUtf8 + " 的结构</font></center>\r\n") +
           "<BR><BR>\r\n" + lines + "</BODY>\r\n</HTML>\r\n";
}

class CliOutputTest : public testing_support::CliLibraryTest
{
protected:
    void addFile(const std::string& pathUtf8, const std::string& bytes)
    {
        writeFile(m_library / gbk(pathUtf8), bytes);
    }
    // The output folder: names in UTF-8, contents in GBK.
    std::string output() const { return snapshot(m_out.path()); }

    TempDir m_out;
};

TEST_F(CliOutputTest, ExportWritesARecordToTheFileAsNamed)
{
    addFile("软件/工具盘.Cdr", Listing);

    const CliRun text = cli({"export", "软件/工具盘", "--text", m_out / "list.doc"});
    EXPECT_EQ(text.status, 0) << text.err;
    EXPECT_EQ(text.out, "");
    const CliRun html = cli({"export", "--html", "软件\\工具盘", m_out / "page"});
    EXPECT_EQ(html.status, 0) << html.err;

    EXPECT_EQ(snapshot(m_out.path()),
              "list.doc=" + Drawn + "\npage=" +
                  htmlOf("工具盘", "E:\\<BR>\r\n|-------Tools<BR>\r\n|" +
                                       std::string("\xA1\xA1\xA1\xA1\xA1\xA1\xA1\xA1") +
                                       "|-------a.exe<BR>\r\n") +
                  "\n");
}

// A file already there is the user's: replaced only with --yes, in any place among the
// arguments.
TEST_F(CliOutputTest, ExportReplacesAnExistingFileOnlyWhenTold)
{
    addFile("软件/工具盘.Cdr", Listing);
    struct Case
    {
        std::vector<std::string> options;
        int status;
        bool replaced;
    };
    for (const Case& c : {Case{{"--text"}, 1, false}, Case{{"--yes", "--text"}, 0, true},
                          Case{{"--html", "--yes"}, 0, true}}) {
        writeFile(m_out / "list", "mine");
        std::vector<std::string> args{"export", "软件/工具盘"};
        args.insert(args.end(), c.options.begin(), c.options.end());
        args.push_back(m_out / "list");
        const CliRun run = cli(args);
        EXPECT_EQ(run.status, c.status) << c.options[0] << run.err;
        EXPECT_EQ(readFile(m_out / "list") != "mine", c.replaced) << c.options[0];
        if (!c.replaced) {
            EXPECT_NE(run.err.find("--yes"), std::string::npos) << run.err;
        }
    }
}

TEST_F(CliOutputTest, ExportOfSearchEntriesUsesTheirListings)
{
    addFile("软件/工具盘.CDR", Listing);
    // A found folder's own pruned listing; a found CD's pointer, followed to the record
    // whatever the spelling of its extension.
    writeFile(m_library / Results + "/" + gbk("包含 a/工具盘(2).FID"), "E:\\\n\tTools\n");
    writeFile(m_library / Results + "/" + gbk("包含 a/工具盘.Tgt"), gbk("软件\\工具盘.Cdr\r\n"));

    const CliRun folder =
        cli({"export", "查找结果/包含 a/工具盘(2)", "--html", m_out / "folder.htm"});
    const CliRun cd = cli({"export", "查找结果/包含 a/工具盘", "--text", m_out / "cd.txt"});

    EXPECT_EQ(folder.status, 0) << folder.err;
    EXPECT_EQ(cd.status, 0) << cd.err;
    EXPECT_EQ(readFile(m_out / "folder.htm"),
              htmlOf("工具盘(2)", "E:\\<BR>\r\n|-------Tools<BR>\r\n"));
    EXPECT_EQ(readFile(m_out / "cd.txt"), Drawn);
}

TEST_F(CliOutputTest, ExportRefusesWhatIsNotARecordOfTheLibrary)
{
    addFile("软件/工具盘.Cdr", Listing);
    const TempDir outside;
    writeFile(outside / "secret.Cdr", "E:\\\r\n\tsecret\r\n");
    ASSERT_EQ(::symlink(outside.path().c_str(), (m_library / "link").c_str()), 0);
    writeFile(m_library / Results + "/cat/out.Tgt", "..\\..\\secret.Cdr\r\n");

    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"export", "../secret", "--text", m_out / "a"},
          {"export", "link/secret", "--text", m_out / "a"},
          {"export", "查找结果/cat/out", "--text", m_out / "a"},
          {"export", "软件/nothing", "--text", m_out / "a"},
          {"export", "软件/工具盘", m_out / "a"},
          {"export", "软件/工具盘", "--text", "--html", m_out / "a"}}) {
        const CliRun run = cli(args);
        EXPECT_EQ(run.status, 1) << args[1];
        EXPECT_NE(run.err, "") << args[1];
    }
    EXPECT_EQ(output(), "");

    // The folder of the file must exist: the file system's error, and nothing written.
    const CliRun missing = cli({"export", "软件/工具盘", "--text", m_out / "no/a.txt"});
    EXPECT_EQ(missing.status, 1);
    EXPECT_NE(missing.err.find("No such file or directory"), std::string::npos) << missing.err;
    EXPECT_EQ(output(), "");
}

TEST_F(CliOutputTest, ExportBoxWritesEveryCdUnderUniqueNames)
{
    addFile("软件/A/Backup.Cdr", "E:\\\r\n\tA\r\n");
    addFile("软件/B/backup.CDR", "E:\\\r\n\tB\r\n");
    addFile("软件/B/工具盘.cdr", Listing);
    addFile("音乐/other.Cdr", "E:\\\r\n");

    const CliRun run = cli({"export-box", "软件", m_out.path(), "--text"});

    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.err, ""); // no progress bar on a pipe
    EXPECT_EQ(run.out, "软件\\A\\Backup\tBackup.Txt\n软件\\B\\backup\tbackup(2).Txt\n"
                       "软件\\B\\工具盘\t工具盘.Txt\n");
    EXPECT_EQ(output(), "Backup.Txt=E:\\\r\n|-------A\r\n\nbackup(2).Txt=E:\\\r\n|-------B\r\n\n"
                        "工具盘.Txt=" +
                            Drawn + "\n");

    // Again, as HTML beside them: the HTML names are counted on their own.
    const CliRun html = cli({"export-box", "软件/B/", m_out.path(), "--html"});
    EXPECT_EQ(html.status, 0) << html.err;
    EXPECT_EQ(html.out, "软件\\B\\backup\tbackup.Htm\n软件\\B\\工具盘\t工具盘.Htm\n");
}

// A name could move the cursor or split a line of the output: its control characters are
// printed visibly, by boxes and list as by export-box.
TEST_F(CliOutputTest, NamesArePrintedWithTheirControlCharactersVisible)
{
    const std::string box = "\x1b[2J盒";
    addFile(box + "/c\nd\x7F.Cdr", "E:\\\r\n");

    struct Case
    {
        std::vector<std::string> args;
        std::string out;
    };
    for (const auto& [args, out] :
         std::vector<Case>{{{"boxes"}, "Orlendy\n  \\x1b[2J盒\n"},
                           {{"list", box}, "cd\tc\\nd\\x7f\n"},
                           {{"export-box", box, m_out.path(), "--text"},
                            "\\x1b[2J盒\\c\\nd\\x7f\tc\\nd\\x7f.Txt\n"}}) {
        const CliRun run = cli(args);
        EXPECT_EQ(run.status, 0) << run.err;
        EXPECT_EQ(run.out, out) << args[0];
    }
}

TEST_F(CliOutputTest, ExportBoxReportsBrokenListingsAtTheEnd)
{
    addFile("a.Cdr", "E:\\\r\n");
    makeFolders(m_library / "box/");
    ASSERT_EQ(::mkfifo((m_library / "box/pipe.cdr").c_str(), 0600), 0);
    addFile("z.Cdr", "E:\\\r\n");

    const CliRun run = cli({"export-box", "", m_out.path(), "--text"});

    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, "a\ta.Txt\nz\tz.Txt\n");
    EXPECT_EQ(run.err.rfind("以下 1 张光盘未能输出:\nbox\\pipe: ", 0), 0u) << run.err;
    EXPECT_NE(run.err.find("pipe.cdr: 不是普通文件"), std::string::npos) << run.err;
    EXPECT_EQ(output(), "a.Txt=E:\\\r\n\nz.Txt=E:\\\r\n\n");
}

TEST_F(CliOutputTest, ExportBoxRefusesAMissingFolderAndABoxOutsideTheLibrary)
{
    addFile("a.Cdr", "E:\\\r\n");
    const TempDir outside;
    writeFile(outside / "secret.Cdr", "E:\\\r\n");
    ASSERT_EQ(::symlink(outside.path().c_str(), (m_library / "link").c_str()), 0);

    const CliRun missing = cli({"export-box", "", m_out / "missing", "--text"});
    EXPECT_EQ(missing.status, 1);
    EXPECT_EQ(missing.err, "指定的目标文件夹不存在！\n");

    const CliRun escaping = cli({"export-box", "..", m_out.path(), "--text"});
    EXPECT_EQ(escaping.status, 1);
    const CliRun linked = cli({"export-box", "link", m_out.path(), "--text"});
    EXPECT_EQ(linked.status, 1);
    EXPECT_EQ(linked.err, "找不到光盘盒: link\n");
    EXPECT_EQ(output(), "");
}

} // namespace

namespace {

TEST_F(CliOutputTest, PrintSaysWhatStopsIt)
{
    addFile("软件/工具盘.Cdr", Listing);

    const CliRun missing = cli({"print", "软件/没有这张"});
    EXPECT_EQ(missing.status, 1);
    EXPECT_NE(missing.err.find("找不到光盘: 软件/没有这张"), std::string::npos) << missing.err;

    // The printing program stands beside the CLI where the windows were built.
    const std::string cliPath = VELLUMARK_CLI;
    const bool withWindows =
        ::access((cliPath.substr(0, cliPath.rfind('/') + 1) + "vellumark-print").c_str(), X_OK) == 0;
    const CliRun noPrinter = cli({"print", "软件/工具盘", "--printer", "没有这台"});
    EXPECT_EQ(noPrinter.status, 1);
    EXPECT_NE(noPrinter.err.find(withWindows ? "没有打印机 没有这台" : "没有找到 vellumark-print"),
              std::string::npos)
        << noPrinter.err;
    EXPECT_EQ(cli({"print", "软件/工具盘", "--printer"}).status, 1);
}

} // namespace
