// vellumark-cli killed at a random moment of a move, copy, import, backup, delete, icon
// rebuild or import of another program's catalogue: after the next command every CD is whole in
// exactly one place, and no temporary file is left. VELLUMARK_CRASH_RUNS sets the runs per command,
// VELLUMARK_CRASH_SEED the seed (printed, so that a failing run can be repeated).

#include "catalog/text.h"
#include "tests/core/record_state.h"
#include "tests/support/cli_runner.h"
#include "tests/support/temp_library.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/inotify.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <random>

using testing_support::gbk;
using testing_support::IsWhole;
using testing_support::ReadRecords;
using testing_support::RecordContent;
using testing_support::RecordOnDisk;
using testing_support::RunProgram;
using testing_support::TempDir;
using testing_support::TemporaryFilesBelow;
using testing_support::WriteRecord;

namespace {

using Environment = std::vector<std::pair<std::string, std::string>>;

unsigned long environmentNumber(const char* name, unsigned long fallback)
{
    const char* value = std::getenv(name);
    return value != nullptr && *value != '\0' ? std::strtoul(value, nullptr, 10) : fallback;
}

// ---- The library ----

struct Box
{
    std::string pathUtf8; // as typed on the command line
    std::string folder;   // below the library root, GBK, ending in "/"
};

struct Cd
{
    std::size_t box;
    std::string nameUtf8;
    RecordContent content;
};

const std::vector<std::map<std::string, std::string>> Spellings{
    {{".CDR", ".Cdr"}, {".TAG", ".Tag"}, {".MX", ".Mx"}, {".FMX", ".FMx"}, {".IFN", ".Ifn"}},
    {},
    {{".CDR", ".cdr"}, {".TAG", ".tag"}, {".MX", ".mx"}, {".FMX", ".fmx"}, {".IFN", ".ifn"}},
    {{".CDR", ".cDR"}, {".TAG", ".TaG"}, {".MX", ".mX"}, {".FMX", ".fMX"}, {".IFN", ".iFn"}},
};

// A listing of about `nodes` nodes with its icon file all zeros, so that a rebuild rewrites
// it; the other files carry the version so that an old and a new record differ.
RecordContent makeCd(int id, int version, int nodes)
{
    const std::string tag = std::to_string(id) + "v" + std::to_string(version);
    RecordContent cd;
    std::string listing = "E:\\\r\n";
    std::string icons = "0\r\n";
    static const char* const extensions[] = {".TXT", ".EXE", ".JPG", ".DOC", ".MP3"};
    for (int n = 1; n < nodes; ++n) {
        listing += n % 10 == 1 ? "\tDIR" + std::to_string(n) + "_" + tag + "\r\n"
                               : "\t\tF" + std::to_string(n) + extensions[n % 5] + "\r\n";
        icons += "0\r\n";
    }
    cd[".CDR"] = listing;
    cd[".TAG"] = icons;
    cd[".MX"] = gbk("说明 ") + tag + "\r\n";
    cd[".FMX"] = "E:\\DIR1_" + tag + "\r\n" + gbk("备注") + "\r\n";
    cd[".IFN"] = "[CD]\r\ncdno=" + tag + "\r\n";
    return cd;
}

const std::vector<Box>& boxes()
{
    static const std::vector<Box> all{{"源盒", gbk("源盒/")},
                                      {"目标盒", gbk("目标盒/")},
                                      {"Other", "Other/"},
                                      {"杂项/子盒", gbk("杂项/子盒/")}};
    return all;
}

constexpr std::size_t Source = 0;
constexpr std::size_t Target = 1;

// 30 CDs: twelve in the source box, six in the target box of which four share a name
// with source CDs, six in each of the others.
std::vector<Cd> libraryCds(int version)
{
    std::vector<Cd> cds;
    int id = 0;
    const auto add = [&](std::size_t box, const std::string& nameUtf8) {
        cds.push_back({box, nameUtf8, makeCd(id, version + (box == Target ? 10 : 0), 300)});
        ++id;
    };
    for (int i = 0; i < 12; ++i) {
        add(Source, "光盘" + std::to_string(10 + i));
    }
    for (int i = 8; i < 12; ++i) {
        add(Target, "光盘" + std::to_string(10 + i));
    }
    add(Target, "Target-A");
    add(Target, "Target-B");
    for (int i = 0; i < 6; ++i) {
        add(2, "Disc " + std::to_string(i));
        add(3, "子光盘" + std::to_string(i));
    }
    return cds;
}

void writeCds(const std::string& root, const std::vector<Cd>& cds, std::size_t spellingShift)
{
    for (std::size_t i = 0; i < cds.size(); ++i) {
        const Cd& cd = cds[i];
        WriteRecord(root + boxes()[cd.box].folder, gbk(cd.nameUtf8), cd.content,
                    Spellings[(i + spellingShift) % Spellings.size()]);
    }
}

// ---- Running and killing the program ----

pid_t start(const std::vector<std::string>& args, const Environment& environment)
{
    const pid_t child = ::fork();
    if (child == 0) {
        for (const auto& [name, value] : environment) {
            ::setenv(name.c_str(), value.c_str(), 1);
        }
        const int null = ::open("/dev/null", O_RDWR);
        ::dup2(null, 1);
        ::dup2(null, 2);
        std::vector<char*> argv{const_cast<char*>(VELLUMARK_CLI)};
        for (const auto& arg : args) {
            argv.push_back(const_cast<char*>(arg.c_str()));
        }
        argv.push_back(nullptr);
        ::execv(VELLUMARK_CLI, argv.data());
        ::_exit(127);
    }
    return child;
}

// True when the program was still running and the signal ended it.
bool killAfter(pid_t child, std::chrono::microseconds delay)
{
    const timespec wait{static_cast<time_t>(delay.count() / 1000000),
                        static_cast<long>(delay.count() % 1000000) * 1000};
    ::clock_nanosleep(CLOCK_MONOTONIC, 0, &wait, nullptr);
    ::kill(child, SIGKILL);
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL;
}

// Start-up takes far longer than the work of a small command: the kill is timed from the
// first change in the folders the command writes, so that it lands in the work.
class ChangeWatch
{
public:
    explicit ChangeWatch(const std::vector<std::string>& folders)
        : m_fd(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC))
    {
        for (const auto& folder : folders) {
            ::inotify_add_watch(m_fd, folder.c_str(),
                                IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO | IN_MODIFY);
        }
    }
    ~ChangeWatch() { ::close(m_fd); }
    ChangeWatch(const ChangeWatch&) = delete;
    ChangeWatch& operator=(const ChangeWatch&) = delete;

    // False when nothing changed within the time.
    bool wait(std::chrono::milliseconds timeout)
    {
        pollfd watched{m_fd, POLLIN, 0};
        return ::poll(&watched, 1, static_cast<int>(timeout.count())) > 0;
    }

private:
    int m_fd;
};

// ---- What may be found afterwards ----

struct Place
{
    std::string folder; // native, ending in "/"
    std::string nameGbk;
};

// The places one CD may lie in, and the states allowed together: per state, per place,
// the whole content or nothing. The last state is the one a complete run leaves.
struct CdExpectation
{
    std::vector<Place> places;
    std::vector<std::vector<std::optional<RecordContent>>> allowed;
};

struct Operation
{
    std::string name;
    std::vector<std::string> args;
    std::vector<CdExpectation> expected;
    std::vector<std::vector<std::string>> followUps; // commands run after the kill
    std::vector<std::string> watched;                // folders the command writes first
};

struct Figures
{
    int runs = 0;
    int killed = 0;
    int split = 0;
    int runsWithSplit = 0;
    int leftovers = 0;
    std::chrono::microseconds fullRun{0};
    std::chrono::microseconds work{0}; // from the first change to the end
};

class CliCrashTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_template = m_work / "template/";
        writeCds(m_template, libraryCds(0), 0);
        m_importTemplate = m_work / "import-template/";
        m_importCds = libraryCds(1);
        m_importCds.erase(std::remove_if(m_importCds.begin(), m_importCds.end(),
                                         [](const Cd& cd) { return cd.box > Target; }),
                          m_importCds.end());
        writeCds(m_importTemplate, m_importCds, 1);
        writeCatalogue();
        // The icon files a complete rebuild writes.
        const std::string rebuilt = m_work / "rebuilt/";
        std::filesystem::copy(m_template, rebuilt, std::filesystem::copy_options::recursive);
        RunProgram(VELLUMARK_CLI, {"--library", rebuilt, "rebuild-icons"}, environment());
        for (const Cd& cd : libraryCds(0)) {
            RecordContent content;
            auto records = ReadRecords(rebuilt + boxes()[cd.box].folder);
            for (const auto& [kind, files] : records[gbk(cd.nameUtf8)]) {
                content[kind] = files.empty() ? std::string() : files.front();
            }
            m_rebuilt.push_back(content);
        }
    }

    // A CSV table of 144 discs for the target box, three batches of the import: two named as
    // CDs there, one as a CD there in another case, the rest new; and the records a complete
    // import makes of them.
    void writeCatalogue()
    {
        std::vector<std::string> discs;
        for (int i = 0; i < 144; ++i) {
            discs.push_back(i == 20    ? "光盘18"
                            : i == 70  ? "光盘19"
                            : i == 120 ? "target-a"
                                       : "新光盘" + std::to_string(i));
        }
        std::string csv = "Volume,Path,Name,Size,Ext,Last modified,Description\r\n";
        for (const auto& disc : discs) {
            csv += "\"" + disc + "\",\"/\",\"\",,\"\",,\"导入的 " + disc + "\"\r\n";
            for (int n = 0; n < 20; ++n) {
                csv += "\"" + disc + "\",\"/目录" + std::to_string(n / 5) + "\",\"文件" +
                       std::to_string(n) + ".txt\",,\"txt\",,\"\"\r\n";
            }
        }
        testing_support::writeFile(m_work / "catalogue.csv", csv);
        const std::string imported = m_work / "imported/";
        std::filesystem::copy(m_template, imported, std::filesystem::copy_options::recursive);
        RunProgram(VELLUMARK_CLI,
                   {"--library", imported, "import-catalog", m_work / "catalogue.csv", "--box",
                    boxes()[Target].pathUtf8, "--yes"},
                   environment());
        auto records = ReadRecords(imported + boxes()[Target].folder);
        for (const auto& disc : discs) {
            RecordContent content;
            for (const auto& [kind, files] : records[gbk(disc)]) {
                content[kind] = files.empty() ? std::string() : files.front();
            }
            ASSERT_EQ(content.size(), 3u) << disc; // listing, icons, description
            m_catalogued.emplace_back(gbk(disc), content);
        }
    }

    Environment environment() const
    {
        return {{"XDG_CONFIG_HOME", m_work / "home/config"},
                {"XDG_DATA_HOME", m_work / "home/data"},
                {"HOME", m_work / "home"}};
    }

    std::string library() const { return m_work / "lib/"; }
    std::string backup() const { return m_work / "backup/"; }
    std::string importSource() const { return m_work / "import/"; }

    // A fresh library for one run, and the operation to kill in it.
    Operation prepare(int kind, std::mt19937& random)
    {
        std::error_code ignored;
        for (const auto& folder : {library(), backup(), importSource(), m_work / "home/"}) {
            std::filesystem::remove_all(folder, ignored);
        }
        std::filesystem::copy(m_template, library(), std::filesystem::copy_options::recursive);
        std::filesystem::create_directories(backup());
        // Without a home folder there is no trash, and a delete changes nothing.
        std::filesystem::create_directories(m_work / "home/data");
        std::filesystem::copy(m_importTemplate, importSource(),
                              std::filesystem::copy_options::recursive);

        const std::vector<Cd> cds = libraryCds(0);
        Operation op;
        const auto place = [&](const Cd& cd, std::size_t box) {
            return Place{library() + boxes()[box].folder, gbk(cd.nameUtf8)};
        };
        // Every CD of the library, untouched unless the operation says otherwise.
        for (const Cd& cd : cds) {
            op.expected.push_back({{place(cd, cd.box)}, {{cd.content}}});
        }
        const auto pick = [&](std::size_t from, std::size_t to, std::size_t least) {
            std::vector<std::size_t> chosen;
            for (std::size_t i = from; i < to; ++i) {
                chosen.push_back(i);
            }
            std::shuffle(chosen.begin(), chosen.end(), random);
            chosen.resize(std::uniform_int_distribution<std::size_t>(least, chosen.size())(random));
            return chosen;
        };
        const auto cdPath = [&](const Cd& cd) {
            return boxes()[cd.box].pathUtf8 + "/" + cd.nameUtf8;
        };
        const std::string lib = library();
        op.followUps = {{"--library", lib, "list", boxes()[Source].pathUtf8},
                        {"--library", lib, "list", boxes()[Target].pathUtf8}};
        for (const auto& box : boxes()) {
            op.watched.push_back(lib + box.folder);
        }
        op.watched.push_back(backup());

        switch (kind) {
        case 0: { // several CDs at once, one file system: none of them is in the target yet
            op.name = "move";
            op.args = {"--library", lib, "move"};
            for (const std::size_t i : pick(0, 8, 4)) {
                op.args.push_back(cdPath(cds[i]));
                op.expected[i].places.push_back(place(cds[i], Target));
                op.expected[i].allowed = {{cds[i].content, std::nullopt},
                                          {std::nullopt, cds[i].content}};
            }
            op.args.insert(op.args.end(), {"--to", boxes()[Target].pathUtf8});
            break;
        }
        case 1: { // some of them replace a CD of the target
            op.name = "copy";
            op.args = {"--library", lib, "copy"};
            for (const std::size_t i : pick(0, 12, 4)) {
                op.args.push_back(cdPath(cds[i]));
                std::optional<RecordContent> old;
                for (auto& other : op.expected) {
                    if (other.places.front().folder == place(cds[i], Target).folder &&
                        other.places.front().nameGbk == gbk(cds[i].nameUtf8)) {
                        old = other.allowed.front().front();
                        other.allowed.push_back({cds[i].content});
                    }
                }
                if (!old) {
                    op.expected.push_back(
                        {{place(cds[i], Target)}, {{std::nullopt}, {cds[i].content}}});
                }
            }
            op.args.insert(op.args.end(), {"--to", boxes()[Target].pathUtf8, "--yes"});
            break;
        }
        case 2: { // every CD of the source tree is in the library already
            op.name = "import";
            op.args = {"--library", lib, "import", importSource()};
            for (const Cd& cd : m_importCds) {
                for (auto& existing : op.expected) {
                    if (existing.places.front().folder == place(cd, cd.box).folder &&
                        existing.places.front().nameGbk == gbk(cd.nameUtf8)) {
                        existing.allowed.push_back({cd.content});
                    }
                }
            }
            break;
        }
        case 3: {
            op.name = "backup";
            op.args = {"--library", lib, "backup", backup()};
            for (const Cd& cd : cds) {
                op.expected.push_back(
                    {{{backup() + "Orlendy/" + boxes()[cd.box].folder, gbk(cd.nameUtf8)}},
                     {{std::nullopt}, {cd.content}}});
            }
            op.followUps.push_back(
                {"--library", backup() + "Orlendy", "list", boxes()[Source].pathUtf8});
            break;
        }
        case 4: {
            op.name = "delete";
            op.args = {"--library", lib, "delete"};
            std::vector<std::size_t> chosen = pick(0, 12, 6);
            for (const std::size_t i : pick(18, 30, 0)) {
                chosen.push_back(i);
            }
            for (const std::size_t i : chosen) {
                op.args.push_back(cdPath(cds[i]));
                op.expected[i].allowed.push_back({std::nullopt});
            }
            op.followUps.push_back({"--library", lib, "list", boxes()[2].pathUtf8});
            op.followUps.push_back({"--library", lib, "list", boxes()[3].pathUtf8});
            break;
        }
        case 6: { // CDs replaced, one by a name in another case, and one added
            op.name = "import-catalog";
            op.args = {"--library",      lib,
                       "import-catalog", m_work / "catalogue.csv",
                       "--box",          boxes()[Target].pathUtf8,
                       "--yes"};
            const std::string target = library() + boxes()[Target].folder;
            for (const auto& [nameGbk, content] : m_catalogued) {
                const auto old =
                    std::find_if(op.expected.begin(), op.expected.end(), [&](const auto& cd) {
                        return cd.places.front().folder == target &&
                               catalog::upperAscii(cd.places.front().nameGbk) ==
                                   catalog::upperAscii(nameGbk);
                    });
                if (old == op.expected.end()) {
                    op.expected.push_back({{{target, nameGbk}}, {{std::nullopt}, {content}}});
                } else if (old->places.front().nameGbk == nameGbk) {
                    old->allowed.push_back({content});
                } else {
                    old->places.push_back({target, nameGbk});
                    old->allowed = {{old->allowed.front().front(), std::nullopt},
                                    {std::nullopt, content}};
                }
            }
            break;
        }
        default: {
            op.name = "rebuild-icons";
            op.args = {"--library", lib, "rebuild-icons"};
            for (std::size_t i = 0; i < cds.size(); ++i) {
                op.expected[i].allowed.push_back({m_rebuilt[i]});
            }
            break;
        }
        }
        return op;
    }

    // CDs found in none of their allowed states (after a complete run: not in the last).
    int splitCds(const Operation& op, std::string& firstProblem, bool complete = false) const
    {
        std::map<std::string, std::map<std::string, RecordOnDisk>> folders;
        int split = 0;
        for (const auto& cd : op.expected) {
            std::vector<const RecordOnDisk*> found;
            static const RecordOnDisk nothing;
            for (const auto& place : cd.places) {
                if (!folders.contains(place.folder)) {
                    folders[place.folder] = ReadRecords(place.folder);
                }
                const auto& records = folders[place.folder];
                const auto it = records.find(place.nameGbk);
                found.push_back(it == records.end() ? &nothing : &it->second);
            }
            const auto from = complete ? cd.allowed.end() - 1 : cd.allowed.begin();
            const bool fits = std::any_of(from, cd.allowed.end(), [&](const auto& state) {
                for (std::size_t p = 0; p < cd.places.size(); ++p) {
                    if (state[p] ? !IsWhole(*found[p], *state[p]) : !found[p]->empty()) {
                        return false;
                    }
                }
                return true;
            });
            if (!fits) {
                ++split;
                if (firstProblem.empty()) {
                    for (std::size_t p = 0; p < cd.places.size(); ++p) {
                        firstProblem +=
                            catalog::gbkToUtf8(cd.places[p].folder + cd.places[p].nameGbk) + ": " +
                            std::to_string(found[p]->size()) + " kinds; ";
                    }
                }
            }
        }
        return split;
    }

    TempDir m_work;
    std::string m_template;
    std::string m_importTemplate;
    std::vector<Cd> m_importCds;
    std::vector<RecordContent> m_rebuilt;
    std::vector<std::pair<std::string, RecordContent>> m_catalogued; // name, content
};

TEST_F(CliCrashTest, KilledCommandsLeaveEveryCdWholeInOnePlace)
{
    const unsigned long runs = environmentNumber("VELLUMARK_CRASH_RUNS", 4);
    const unsigned long seed = environmentNumber("VELLUMARK_CRASH_SEED", std::random_device()());
    std::printf("crash test: seed %lu (VELLUMARK_CRASH_SEED), %lu runs per command "
                "(VELLUMARK_CRASH_RUNS)\n",
                seed, runs);
    std::mt19937 random(static_cast<std::mt19937::result_type>(seed));
    constexpr int Kinds = 7;
    std::vector<Figures> figures(Kinds);

    // How long each command takes when left alone: the kills land within that time.
    for (int kind = 0; kind < Kinds; ++kind) {
        std::vector<std::chrono::microseconds> times;
        std::vector<std::chrono::microseconds> works;
        for (int i = 0; i < 3; ++i) {
            const Operation op = prepare(kind, random);
            ChangeWatch watch(op.watched);
            const auto began = std::chrono::steady_clock::now();
            const pid_t child = start(op.args, environment());
            watch.wait(std::chrono::seconds(10));
            const auto changed = std::chrono::steady_clock::now();
            int status = 0;
            ::waitpid(child, &status, 0);
            const auto ended = std::chrono::steady_clock::now();
            times.push_back(std::chrono::duration_cast<std::chrono::microseconds>(ended - began));
            works.push_back(std::chrono::duration_cast<std::chrono::microseconds>(ended - changed));
            std::string problem;
            ASSERT_EQ(splitCds(op, problem, true), 0) << op.name << " left alone: " << problem;
        }
        std::sort(times.begin(), times.end());
        std::sort(works.begin(), works.end());
        figures[kind].fullRun = times[1];
        figures[kind].work = works[1];
    }

    std::vector<std::string> problems;
    for (unsigned long run = 0; run < runs * Kinds; ++run) {
        const int kind = static_cast<int>(run % Kinds);
        const Operation op = prepare(kind, random);
        Figures& f = figures[kind];
        // Spread evenly over the orders of magnitude: a move's renames take microseconds.
        const std::chrono::microseconds delay(
            static_cast<long>(std::exp(std::uniform_real_distribution<double>(
                std::log(10.0), std::log(std::max(20.0, double(f.work.count()))))(random))));
        ++f.runs;
        ChangeWatch watch(op.watched);
        const pid_t child = start(op.args, environment());
        watch.wait(2 * std::chrono::duration_cast<std::chrono::milliseconds>(f.fullRun) +
                   std::chrono::milliseconds(100));
        f.killed += killAfter(child, delay) ? 1 : 0;
        for (const auto& followUp : op.followUps) {
            RunProgram(VELLUMARK_CLI, followUp, environment());
        }
        // Loading the box tree lists every box, as the window does at start-up.
        RunProgram(VELLUMARK_CLI, {"--library", library(), "boxes"}, environment());
        if (std::filesystem::exists(backup() + "Orlendy")) {
            RunProgram(VELLUMARK_CLI, {"--library", backup() + "Orlendy", "boxes"}, environment());
        }
        std::string problem;
        const int split = splitCds(op, problem);
        f.split += split;
        f.runsWithSplit += split > 0 ? 1 : 0;
        int leftovers = 0;
        for (const auto& folder : {library(), backup(), importSource()}) {
            leftovers += static_cast<int>(TemporaryFilesBelow(folder).size());
        }
        f.leftovers += leftovers;
        if ((split > 0 || leftovers > 0) && problems.size() < 5) {
            problems.push_back(op.name + " killed " + std::to_string(delay.count()) +
                               " us into its work: " + std::to_string(split) + " CDs split, " +
                               std::to_string(leftovers) + " temporary files; " + problem);
        }
    }

    std::printf("%-14s %8s %8s %5s %7s %10s %10s %10s\n", "command", "alone us", "work us", "runs",
                "killed", "CDs split", "runs split", "leftovers");
    Figures total;
    static const char* const names[Kinds] = {"move",   "copy",          "import",        "backup",
                                             "delete", "rebuild-icons", "import-catalog"};
    for (int kind = 0; kind < Kinds; ++kind) {
        const Figures& f = figures[kind];
        std::printf("%-14s %8ld %8ld %5d %7d %10d %10d %10d\n", names[kind],
                    static_cast<long>(f.fullRun.count()), static_cast<long>(f.work.count()), f.runs,
                    f.killed, f.split, f.runsWithSplit, f.leftovers);
        total.runs += f.runs;
        total.split += f.split;
        total.leftovers += f.leftovers;
    }
    std::printf("total: %d runs, %d CDs split, %d temporary files left\n", total.runs, total.split,
                total.leftovers);
    for (const auto& problem : problems) {
        std::printf("  %s\n", problem.c_str());
    }
    EXPECT_EQ(total.split, 0) << "seed " << seed;
    EXPECT_EQ(total.leftovers, 0) << "seed " << seed;
}

} // namespace
