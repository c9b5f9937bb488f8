// vellumark-cli with paths that try to leave the library, text it cannot store, special
// files where records should be, and two commands writing one library at once.

#include "tests/support/cli_library.h"

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <thread>

using testing_support::CliRun;
using testing_support::gbk;
using testing_support::makeFolders;
using testing_support::readFile;
using testing_support::TempDir;
using testing_support::writeFile;

namespace {

const std::string Results = "\xFF" + gbk("查找结果");

class CliSafetyTest : public testing_support::CliLibraryTest
{
protected:
    void SetUp() override
    {
        addCd("软件/工具盘", "E:\\\r\n\tSETUP.EXE\r\n");
        // A library beside this one, which no path given to it may reach.
        writeFile(m_outside / "x.Cdr", "E:\\\r\n\tSECRET.TXT\r\n");
        writeFile(m_outside / "x.tag", "0\r\n8\r\n");
    }

    void addCd(const std::string& relativeUtf8, const std::string& listing)
    {
        const std::string base = m_library / gbk(relativeUtf8);
        writeFile(base + ".Cdr", listing);
        writeFile(base + ".tag", "0\r\n8\r\n");
    }

    // The path from the library to the folder beside it, in the CLI's separators.
    std::string outsideFrom(const char* separator) const
    {
        const std::string name = m_outside.path().substr(0, m_outside.path().size() - 1);
        return std::string("..") + separator + name.substr(name.rfind('/') + 1);
    }

    // A folder beside the library whose name begins with the library's own ("lib" and
    // "lib2"): a test of lying inside by name alone would let it in.
    class Sibling
    {
    public:
        explicit Sibling(const std::string& library)
            : m_path(library.substr(0, library.size() - 1) + "2/")
        {
            makeFolders(m_path);
        }
        ~Sibling() { std::filesystem::remove_all(m_path); }
        Sibling(const Sibling&) = delete;
        Sibling& operator=(const Sibling&) = delete;
        const std::string& path() const { return m_path; }
        std::string operator/(const std::string& relative) const { return m_path + relative; }

    private:
        std::string m_path;
    };

    Sibling m_outside{m_library.path()};
};

struct EscapeCase
{
    const char* label;
    std::vector<std::string> args; // "@" is replaced by the path to the outside folder
    const char* separator;
};

class CliPathEscape : public CliSafetyTest, public ::testing::WithParamInterface<EscapeCase>
{
};

} // namespace

TEST_P(CliPathEscape, IsRefusedAndWritesNothing)
{
    std::vector<std::string> args = GetParam().args;
    for (std::string& arg : args) {
        if (const auto at = arg.find('@'); at != std::string::npos) {
            arg.replace(at, 1, outsideFrom(GetParam().separator));
        }
    }
    const auto before = allFiles();
    const auto outsideBefore = readFile(m_outside / "x.Cdr");
    const CliRun run = cli(args);
    EXPECT_EQ(run.status, 1) << run.out;
    EXPECT_EQ(run.out, "");
    EXPECT_FALSE(run.err.empty());
    EXPECT_EQ(run.out.find("SECRET"), std::string::npos);
    EXPECT_EQ(allFiles(), before);
    EXPECT_EQ(readFile(m_outside / "x.Cdr"), outsideBefore);
    EXPECT_FALSE(testing_support::exists(m_outside / "x.Mx"));
    EXPECT_FALSE(testing_support::exists(m_outside / "x.FMx"));
}

INSTANTIATE_TEST_SUITE_P(
    Paths, CliPathEscape,
    ::testing::Values(
        EscapeCase{"describeSet", {"describe", "@\\x", "--set", "text"}, "\\"},
        EscapeCase{"note", {"note", "@/x", "", "text"}, "/"},
        EscapeCase{"show", {"show", "@/x"}, "/"},
        EscapeCase{"info", {"info", "软件\\..\\@\\x"}, "\\"},
        EscapeCase{"list", {"list", "../.."}, "/"}, EscapeCase{"counts", {"counts", "@"}, "/"},
        EscapeCase{"dot", {"list", "软件/./"}, "/"},
        EscapeCase{"emptyName", {"show", "软件//工具盘"}, "/"},
        EscapeCase{"mkboxDot", {"mkbox", "."}, "/"},
        EscapeCase{"mkboxDotDot", {"mkbox", "软件/.."}, "/"},
        EscapeCase{"searchScope", {"search", "--text", "SECRET", "--scope", "Orlendy\\@\\x"}, "\\"},
        EscapeCase{"moveCd", {"move", "@/x", "--to", "软件"}, "/"},
        EscapeCase{"moveTo", {"move", "软件/工具盘", "--to", "@"}, "/"},
        EscapeCase{"copyBox", {"copy", "@/", "--to", "软件"}, "/"},
        EscapeCase{"copyDotDot", {"copy", "软件/../", "--to", "软件"}, "/"},
        EscapeCase{"rename", {"rename", "@\\x", "y"}, "\\"},
        EscapeCase{"renameAway", {"rename", "软件/工具盘", "../y"}, "/"},
        EscapeCase{"delete", {"delete", "@/x"}, "/"},
        EscapeCase{"deleteBox", {"delete", "@/"}, "/"},
        EscapeCase{"deleteRoot", {"delete", "/"}, "/"},
        EscapeCase{"renameNode", {"rename-node", "@/x", "SECRET.TXT", "y"}, "/"},
        EscapeCase{"deleteNode", {"delete-node", "@/x", "SECRET.TXT"}, "/"}),
    [](const auto& info) { return std::string(info.param.label); });

TEST_F(CliSafetyTest, ASymbolicLinkOutOfTheLibraryIsNoBox)
{
    ASSERT_EQ(::symlink(m_outside.path().c_str(), (m_library / "link").c_str()), 0);
    const auto before = allFiles();
    for (const std::vector<std::string>& args : {std::vector<std::string>{"list", "link"},
                                                 {"show", "link/x"},
                                                 {"describe", "link/x", "--set", "text"},
                                                 {"mkbox", "link/new"},
                                                 {"search", "--text", "SECRET", "--scope", "link"},
                                                 {"move", "link/x", "--to", "软件"},
                                                 {"copy", "软件/工具盘", "--to", "link"},
                                                 {"delete", "link/"},
                                                 {"delete", "link/x"}}) {
        const CliRun run = cli(args);
        EXPECT_EQ(run.status, 1) << args[0];
        EXPECT_EQ(run.out.find("SECRET"), std::string::npos) << args[0];
    }
    EXPECT_EQ(allFiles(), before);
    EXPECT_FALSE(testing_support::exists(m_outside / "x.Mx"));
    EXPECT_FALSE(testing_support::exists(m_outside / "new"));
}

TEST_F(CliSafetyTest, TextGbkCannotHoldIsRefusedInsteadOfSavedAsQuestionMarks)
{
    const auto before = allFiles();
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"describe", "软件/工具盘", "--set", "emoji 😀"},
          {"note", "软件/工具盘", "SETUP.EXE", "😀"},
          {"mkbox", "软件/😀"}}) {
        const CliRun run = cli(args);
        EXPECT_EQ(run.status, 1) << args[0];
        EXPECT_NE(run.err.find("GBK"), std::string::npos) << run.err;
    }
    EXPECT_EQ(allFiles(), before);
}

TEST_F(CliSafetyTest, AFoundCdEntryStandsForTheCdItPointsTo)
{
    writeFile(m_library / gbk("软件/工具盘.Mx"), gbk("工具\r\n"));
    writeFile(m_library / gbk("软件/工具盘.FMx"), "SETUP.EXE\\\r\nsetup\r\n");
    writeFile(m_library / (Results + gbk("/包含 setup/工具盘.Tgt")), gbk("软件\\工具盘.Cdr\r\n"));
    const std::string entry = "查找结果/包含 setup/工具盘";
    const CliRun show = cli({"show", entry});
    EXPECT_EQ(show.status, 0) << show.err;
    EXPECT_NE(show.out.find("SETUP.EXE"), std::string::npos);
    EXPECT_EQ(cli({"describe", entry}).out, "工具\n");
    EXPECT_EQ(cli({"notes", entry}).out, "SETUP.EXE\\\tsetup\n");
    EXPECT_EQ(cli({"info", entry}).status, 0);

    // Edits go to the catalogued CD, as in the window.
    ASSERT_EQ(cli({"describe", entry, "--set", "新"}).status, 0);
    EXPECT_EQ(readFile(m_library / gbk("软件/工具盘.Mx")), gbk("新\r\n"));

    // A pointer that leads out of the library is a missing CD, not a way out.
    writeFile(m_library / (Results + gbk("/包含 setup/外.Tgt")), outsideFrom("\\") + "\\x.Cdr\r\n");
    const CliRun escape = cli({"show", "查找结果/包含 setup/外"});
    EXPECT_EQ(escape.status, 1);
    EXPECT_EQ(escape.out, "");
}

TEST_F(CliSafetyTest, ALibraryRootThatIsAPlainFileIsAnError)
{
    const std::string file = m_home / "not-a-folder";
    writeFile(file, "x");
    const CliRun run =
        testing_support::RunProgram(VELLUMARK_CLI, {"--library", file, "boxes"}, environment());
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, "");

    // The same through the settings: a stored root naming a file.
    writeFile(m_home / "config/Vellumark/registry.ini",
              "[software\\Vellumark]\n光盘存放在=" + file + "/\n");
    const CliRun stored = testing_support::RunProgram(VELLUMARK_CLI, {"boxes"}, environment());
    EXPECT_EQ(stored.status, 1);
    EXPECT_EQ(stored.out, "");
    EXPECT_NE(stored.err.find("not-a-folder"), std::string::npos) << stored.err;
}

// A FIFO opened for reading waits for a writer for ever; every record file is opened
// without blocking and refused when it is not a regular file.
TEST_F(CliSafetyTest, AFifoNamedLikeARecordFileIsAnErrorNotAHang)
{
    ASSERT_EQ(::mkfifo((m_library / gbk("软件/工具盘.Mx")).c_str(), 0644), 0);
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"describe", "软件/工具盘"},
          {"search", "--text", "x", "--desc"}}) {
        std::vector<std::string> timed = {"-k",          "2",         "10",
                                          VELLUMARK_CLI, "--library", m_library.path()};
        timed.insert(timed.end(), args.begin(), args.end());
        const CliRun run = testing_support::RunProgram("timeout", timed, environment());
        EXPECT_EQ(run.status, 1) << args[0] << ": 124 is a hang";
        EXPECT_NE(run.err.find("工具盘.Mx"), std::string::npos) << run.err;
    }
}

// Two processes on one library: each read-change-write holds the lock of its box.
TEST_F(CliSafetyTest, TwoWritersKeepEachOthersNotes)
{
    std::string listing = "E:\\\r\n";
    std::string icons = "0\r\n";
    for (int i = 0; i < 60; ++i) {
        listing += "\tF" + std::to_string(i) + "\r\n";
        icons += "8\r\n";
    }
    writeFile(m_library / gbk("软件/多.Cdr"), listing);
    writeFile(m_library / gbk("软件/多.tag"), icons);
    auto writer = [&](int first) {
        for (int i = first; i < 60; i += 2) {
            cli({"note", "软件/多", "F" + std::to_string(i), "note " + std::to_string(i)});
        }
    };
    std::thread even(writer, 0);
    std::thread odd(writer, 1);
    even.join();
    odd.join();
    const std::string notes = cli({"notes", "软件/多"}).out;
    for (int i = 0; i < 60; ++i) {
        EXPECT_NE(notes.find("F" + std::to_string(i) + "\\\tnote " + std::to_string(i) + "\n"),
                  std::string::npos)
            << i;
    }
}

TEST_F(CliSafetyTest, TwoEqualSearchesAtOnceBothSucceed)
{
    for (int round = 0; round < 8; ++round) {
        CliRun first;
        CliRun second;
        std::thread other([&] { second = cli({"search", "--text", "setup"}); });
        first = cli({"search", "--text", "setup"});
        other.join();
        EXPECT_EQ(first.status, 0) << first.err;
        EXPECT_EQ(second.status, 0) << second.err;
        EXPECT_EQ(first.out, "找到 1 个相关光盘\n包含 setup\n");
        EXPECT_EQ(second.out, first.out);
    }
    EXPECT_EQ(readFile(m_library / (Results + gbk("/包含 setup/工具盘.Tgt"))),
              gbk("软件\\工具盘.Cdr\r\n"));
}

TEST_F(CliSafetyTest, TwoScansToOneNameAtOnceMakeOneRecord)
{
    TempDir disc;
    for (int i = 0; i < 200; ++i) {
        writeFile(disc / ("D" + std::to_string(i % 10) + "/f" + std::to_string(i) + ".txt"), "x");
    }
    ASSERT_EQ(cli({"map", "E", disc.path()}).status, 0);
    for (int round = 0; round < 6; ++round) {
        const std::string name = "盘" + std::to_string(round);
        CliRun first;
        CliRun second;
        const std::vector<std::string> scan = {"scan", "--drive", "E", "--box",
                                               "软件", "--name",  name};
        std::thread other([&] { second = cli(scan); });
        first = cli(scan);
        other.join();
        EXPECT_EQ((first.status == 0) + (second.status == 0), 1)
            << first.err << " / " << second.err;
        EXPECT_NE((first.status == 0 ? second : first).err.find("已有光盘"), std::string::npos);
    }
}
