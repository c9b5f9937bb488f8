// Random libraries, with unusual spellings of the extensions and records whose names
// differ only in case, and random sequences of move, copy, import, rename and delete run
// through vellumark-cli; after each step the library must be what a model of it says
// (box -> record name -> content): no record lost or duplicated, each whole, a replaced
// record replaced whole, an overwrite replacing one record only. VELLUMARK_PROPERTY_SEED,
// VELLUMARK_PROPERTY_SEQUENCES, VELLUMARK_PROPERTY_STEPS and VELLUMARK_PROPERTY_SECONDS
// (a time bound) change the run.

#include "catalog/text.h"
#include "tests/core/record_state.h"
#include "tests/support/cli_runner.h"
#include "tests/support/temp_library.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <set>

using testing_support::gbk;
using testing_support::IsWhole;
using testing_support::ReadRecords;
using testing_support::RecordContent;
using testing_support::RecordOnDisk;
using testing_support::RunProgram;
using testing_support::TempDir;
using testing_support::WriteRecord;

namespace {

unsigned long environmentNumber(const char* name, unsigned long fallback)
{
    const char* value = std::getenv(name);
    return value != nullptr && *value != '\0' ? std::strtoul(value, nullptr, 10) : fallback;
}

bool sameNoCase(std::string_view a, std::string_view b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               const auto lower = [](char c) {
                   return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
               };
               return lower(x) == lower(y);
           });
}

// Box (as typed, UTF-8) -> record name (UTF-8) -> content.
using Box = std::map<std::string, RecordContent>;
using Model = std::map<std::string, Box>;

// The last box is not in the library at first: an import makes it.
const std::vector<std::string> BoxNames{"A", "B", "光盘盒", "New"};
// Few names, so that targets are often taken, several of them by case twins.
const std::vector<std::string> RecordNames{"Tools", "TOOLS", "tools", "Game", "GAME",
                                           "工具", "游戏", "Disc 1"};
const std::vector<std::string> Kinds{".CDR", ".TAG", ".MX", ".FMX", ".IFN"};

class Generator
{
public:
    explicit Generator(unsigned long seed) : m_random(static_cast<std::mt19937::result_type>(seed)) {}

    std::size_t below(std::size_t n) { return std::uniform_int_distribution<std::size_t>(0, n - 1)(m_random); }
    bool chance(double p) { return std::bernoulli_distribution(p)(m_random); }

    // A record seen nowhere else: a listing always, each other file or not.
    RecordContent record()
    {
        const std::string id = std::to_string(++m_records);
        RecordContent content{{".CDR", "E:\\\r\n\tR" + id + ".TXT\r\n"}};
        for (std::size_t k = 1; k < Kinds.size(); ++k) {
            if (chance(0.6)) {
                content[Kinds[k]] = Kinds[k] + " " + id + "\r\n";
            }
        }
        return content;
    }

    // Each kind spelled as this program writes it, in capitals, in small letters or mixed.
    std::map<std::string, std::string> spellings()
    {
        static const std::map<std::string, std::string> written{
            {".CDR", ".Cdr"}, {".TAG", ".tag"}, {".MX", ".Mx"}, {".FMX", ".FMx"}, {".IFN", ".Ifn"}};
        std::map<std::string, std::string> chosen;
        for (const auto& kind : Kinds) {
            std::string spelling = kind;
            switch (below(4)) {
            case 0:
                spelling = written.at(kind);
                break;
            case 1:
                break;
            default:
                for (char& c : spelling) {
                    if (c != '.' && chance(0.5)) {
                        c = static_cast<char>(c - 'A' + 'a');
                    }
                }
            }
            chosen[kind] = spelling;
        }
        return chosen;
    }

    template <typename T>
    const T& pick(const std::vector<T>& from) { return from[below(from.size())]; }

private:
    std::mt19937 m_random;
    int m_records = 0;
};

std::vector<std::string> namesOf(const Box& box)
{
    std::vector<std::string> names;
    for (const auto& [name, content] : box) {
        names.push_back(name);
    }
    return names;
}

std::vector<std::string> twinsOf(const Box& box, const std::string& name)
{
    std::vector<std::string> twins;
    for (const auto& [other, content] : box) {
        if (sameNoCase(other, name)) {
            twins.push_back(other);
        }
    }
    return twins;
}

// Up to `most` names of box, no two of them twins.
std::vector<std::string> pickNames(Generator& g, const Box& box, std::size_t most)
{
    std::vector<std::string> names = namesOf(box);
    std::vector<std::string> chosen;
    const std::size_t wanted = 1 + g.below(most);
    while (!names.empty() && chosen.size() < wanted) {
        const std::size_t i = g.below(names.size());
        if (std::none_of(chosen.begin(), chosen.end(),
                         [&](const std::string& c) { return sameNoCase(c, names[i]); })) {
            chosen.push_back(names[i]);
        }
        names.erase(names.begin() + static_cast<long>(i));
    }
    return chosen;
}

using Library = std::map<std::string, std::map<std::string, RecordOnDisk>>;

struct Issue
{
    std::string rule;
    std::string detail;
};

class CliPropertyTest : public ::testing::Test
{
protected:
    std::vector<std::pair<std::string, std::string>> environment() const
    {
        return {{"XDG_CONFIG_HOME", m_work / "home/config"},
                {"XDG_DATA_HOME", m_work / "home/data"},
                {"HOME", m_work / "home"}};
    }
    std::string library() const { return m_work / "lib/"; }
    std::string folder(const std::string& root, const std::string& box) const
    {
        return root + gbk(box) + "/";
    }

    // Runs a step; what it said on standard error goes with the step into the report.
    void cli(std::vector<std::string> args)
    {
        args.insert(args.begin(), {"--library", library()});
        const testing_support::CliRun run = RunProgram(VELLUMARK_CLI, std::move(args), environment());
        m_said = run.err;
        std::replace(m_said.begin(), m_said.end(), '\n', ' ');
    }

    void write(const std::string& root, const Model& model, Generator& g) const
    {
        for (const auto& [box, records] : model) {
            std::filesystem::create_directories(folder(root, box));
            for (const auto& [name, content] : records) {
                WriteRecord(folder(root, box), gbk(name), content, g.spellings());
            }
        }
    }

    // The whole library written again as the model has it, so that one fault found does
    // not hide the next.
    void restore(const Model& model, Generator& g) const
    {
        std::filesystem::remove_all(library());
        std::filesystem::create_directories(library());
        write(library(), model, g);
    }

    Library read() const
    {
        Library found;
        for (const auto& box : BoxNames) {
            for (auto& [name, files] : ReadRecords(folder(library(), box))) {
                found[box][catalog::gbkToUtf8(name)] = std::move(files);
            }
        }
        return found;
    }

    // Where the library and the model part, each told by the rule it breaks.
    static std::vector<Issue> compare(const Model& model, const Library& found,
                                      const std::set<std::string>& replacedNames)
    {
        std::vector<Issue> issues;
        static const Box emptyBox;
        static const std::map<std::string, RecordOnDisk> nothing;
        for (const auto& boxName : BoxNames) {
            const auto m = model.find(boxName);
            const Box& expected = m == model.end() ? emptyBox : m->second;
            const auto f = found.find(boxName);
            const auto& actual = f == found.end() ? nothing : f->second;
            for (const auto& [name, content] : expected) {
                const auto it = actual.find(name);
                const std::string where = boxName + "/" + name;
                if (it == actual.end() || !it->second.contains(".CDR")) {
                    issues.push_back({std::any_of(replacedNames.begin(), replacedNames.end(),
                                                  [&](const std::string& replaced) {
                                                      return sameNoCase(name, replaced);
                                                  })
                                          ? "an overwrite replaced a case twin it did not name"
                                          : "no record lost",
                                      where + " is missing"});
                    continue;
                }
                for (const auto& [kind, files] : it->second) {
                    if (files.size() > 1) {
                        issues.push_back({"no two spellings of one file", where + kind});
                    } else if (!content.contains(kind)) {
                        issues.push_back({"a replaced record is replaced whole (no stale file)",
                                          where + kind + " left from the record it replaced"});
                    }
                }
                for (const auto& [kind, bytes] : content) {
                    const auto file = it->second.find(kind);
                    if (file == it->second.end() ||
                        std::find(file->second.begin(), file->second.end(), bytes) ==
                            file->second.end()) {
                        issues.push_back({"every record read back whole",
                                          where + kind + (file == it->second.end()
                                                              ? " is missing"
                                                              : " holds other bytes")});
                    }
                }
            }
            for (const auto& [name, files] : actual) {
                if (expected.contains(name)) {
                    continue;
                }
                issues.push_back(
                    files.contains(".CDR")
                        ? Issue{"no record duplicated or made up", boxName + "/" + name}
                        : Issue{"a replaced record is replaced whole (no stale file)",
                                boxName + "/" + name + ": files without a listing"});
            }
        }
        return issues;
    }

    // A record arriving as `name` in box where it replaces the record of that name, else
    // one of its case twins (keeping either name), else, where allowed (import), joins
    // them. Which twin went is read from the library.
    static void arrive(Model& model, const Library& found, const std::string& box,
                       const std::string& name, const RecordContent& content, bool mayJoin)
    {
        Box& records = model[box];
        const std::vector<std::string> twins = twinsOf(records, name);
        if (records.contains(name) || twins.empty()) {
            records[name] = content;
            return;
        }
        const auto f = found.find(box);
        const auto whole = [&](const std::string& n, const RecordContent& c) {
            if (f == found.end()) {
                return false;
            }
            const auto it = f->second.find(n);
            return it != f->second.end() && IsWhole(it->second, c);
        };
        for (const auto& twin : twins) {
            if (whole(name, content) && !f->second.contains(twin)) {
                records.erase(twin);
                records[name] = content;
                return;
            }
            if (whole(twin, content)) {
                records[twin] = content;
                return;
            }
        }
        if (mayJoin && whole(name, content)) {
            records[name] = content;
            return;
        }
        records.erase(twins.front());
        records[name] = content;
    }

    // One random step: runs it, and gives the model it should leave and what it was.
    std::string step(Generator& g, Model& model, std::set<std::string>& replacedNames)
    {
        std::vector<std::string> filled;
        for (const auto& [box, records] : model) {
            if (!records.empty()) {
                filled.push_back(box);
            }
        }
        // With every box empty only an import has something to do.
        const std::size_t kind = filled.empty() ? 9 : g.below(10);
        const bool yes = g.chance(0.6);
        if (kind < 5) { // move or copy
            const bool copy = kind >= 3;
            const std::string from = g.pick(filled);
            std::string to = g.pick(BoxNames);
            while (to == from || to == BoxNames.back()) {
                to = g.pick(BoxNames);
            }
            const std::vector<std::string> names = pickNames(g, model[from], 3);
            std::vector<std::string> args{copy ? "copy" : "move"};
            for (const auto& name : names) {
                args.push_back(from + "/" + name);
            }
            args.insert(args.end(), {"--to", to});
            if (yes) {
                args.push_back("--yes");
            }
            std::filesystem::create_directories(folder(library(), to));
            cli(args);
            const Library found = read();
            for (const auto& name : names) {
                const RecordContent content = model[from][name];
                if (!twinsOf(model[to], name).empty()) {
                    if (!yes) {
                        continue;
                    }
                    replacedNames.insert(name);
                }
                arrive(model, found, to, name, content, false);
                if (!copy) {
                    model[from].erase(name);
                }
            }
            std::string text;
            for (const auto& arg : args) {
                text += arg + " ";
            }
            return text;
        }
        if (kind < 7) { // rename
            const std::string box = g.pick(filled);
            const std::string name = g.pick(namesOf(model[box]));
            std::string newName = g.pick(RecordNames);
            if (newName == name) {
                newName += " 2";
            }
            cli({"rename", box + "/" + name, newName});
            Box& records = model[box];
            const auto found = read()[box];
            const bool caseOnly = sameNoCase(name, newName);
            const bool renamed = found.contains(newName) && !found.contains(name);
            if (twinsOf(records, newName).empty() || (caseOnly && renamed)) {
                records[newName] = records[name];
                records.erase(name);
            }
            return "rename " + box + "/" + name + " " + newName;
        }
        if (kind < 8) { // delete
            const std::string box = g.pick(filled);
            std::vector<std::string> args{"delete"};
            for (const auto& name : pickNames(g, model[box], 3)) {
                args.push_back(box + "/" + name);
                model[box].erase(name);
            }
            cli(args);
            std::string text;
            for (const auto& arg : args) {
                text += arg + " ";
            }
            return text;
        }
        // import of a tree of a box or two, some records named like those of the library
        const TempDir source;
        Model incoming;
        const std::size_t boxes = 1 + g.below(2);
        for (std::size_t b = 0; b < boxes; ++b) {
            Box& records = incoming[g.pick(BoxNames)];
            for (std::size_t r = 1 + g.below(3); r > 0; --r) {
                const std::string name = g.pick(RecordNames);
                if (twinsOf(records, name).empty()) {
                    records[name] = g.record();
                }
            }
        }
        write(source.path(), incoming, g);
        cli({"import", source.path()});
        const Library found = read();
        std::string text = "import";
        for (const auto& [box, records] : incoming) {
            for (const auto& [name, content] : records) {
                if (!twinsOf(model[box], name).empty()) {
                    replacedNames.insert(name);
                }
                arrive(model, found, box, name, content, true);
                text += " " + box + "/" + name;
            }
        }
        return text;
    }

    TempDir m_work;
    std::string m_said;
};

TEST_F(CliPropertyTest, StepsKeepEveryRecordWholeAndSingle)
{
    const unsigned long seed =
        environmentNumber("VELLUMARK_PROPERTY_SEED", std::random_device()());
    const unsigned long sequences = environmentNumber("VELLUMARK_PROPERTY_SEQUENCES", 50);
    const unsigned long steps = environmentNumber("VELLUMARK_PROPERTY_STEPS", 20);
    const auto budget = std::chrono::seconds(environmentNumber("VELLUMARK_PROPERTY_SECONDS", 15));
    std::printf("property test: seed %lu (VELLUMARK_PROPERTY_SEED), %lu sequences of %lu steps\n",
                seed, sequences, steps);
    const auto began = std::chrono::steady_clock::now();

    std::map<std::string, std::pair<int, std::string>> broken; // rule -> count, first case
    unsigned long ran = 0;
    unsigned long stepsRan = 0;
    for (; ran < sequences && std::chrono::steady_clock::now() - began < budget; ++ran) {
        Generator g(seed * 1000 + ran);
        Model model;
        for (std::size_t b = 0; b + 1 < BoxNames.size(); ++b) {
            Box& records = model[BoxNames[b]];
            for (std::size_t r = g.below(5); r > 0; --r) {
                records[g.pick(RecordNames)] = g.record();
            }
        }
        restore(model, g);
        // Without a home folder there is no trash, and a delete changes nothing.
        std::filesystem::create_directories(m_work / "home/data");
        std::string history;
        for (unsigned long s = 0; s < steps; ++s, ++stepsRan) {
            std::set<std::string> replacedNames;
            const std::string what = step(g, model, replacedNames);
            history += "\n    " + what + (m_said.empty() ? "" : "  [" + m_said + "]");
            const std::vector<Issue> issues = compare(model, read(), replacedNames);
            std::set<std::string> rules;
            for (const auto& issue : issues) {
                if (!rules.insert(issue.rule).second) {
                    continue;
                }
                auto& [count, example] = broken[issue.rule];
                if (count++ == 0) {
                    example = "seed " + std::to_string(seed) + " sequence " + std::to_string(ran) +
                              " step " + std::to_string(s) + ": " + issue.detail + history;
                }
            }
            if (!issues.empty()) {
                restore(model, g);
            }
        }
    }
    std::printf("%lu sequences, %lu steps in %.1f s\n", ran, stepsRan,
                std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count());
    for (const auto& [rule, found] : broken) {
        ADD_FAILURE() << "broken " << found.first << " times: " << rule << "\n  first: "
                      << found.second;
    }
}

} // namespace
