#include "platform/linux/keyfile_settings_store.h"
#include "platform/linux/system_clock.h"
#include "platform/linux/xdg_documents_folder.h"
#include "platform/linux/xdg_paths.h"
#include "tests/support/fake_settings_store.h"
#include "tests/support/mutator.h"
#include "tests/support/temp_library.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using platform::linux_edition::KeyFileSettingsStore;
using namespace testing_support;

constexpr const char* kKey = "\\software\\Vellumark";

int modeOf(const std::string& path)
{
    struct stat info = {};
    EXPECT_EQ(::stat(path.c_str(), &info), 0) << path;
    return static_cast<int>(info.st_mode & 07777);
}

std::size_t count(const std::string& text, const std::string& part)
{
    std::size_t n = 0;
    for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) {
        ++n;
    }
    return n;
}

// Sets or clears an environment variable for one test.
class ScopedEnv
{
public:
    ScopedEnv(const char* name, const char* value) : m_name(name)
    {
        if (const char* old = std::getenv(name)) {
            m_old = old;
        }
        value ? ::setenv(name, value, 1) : ::unsetenv(name);
    }
    ~ScopedEnv() { m_old ? ::setenv(m_name, m_old->c_str(), 1) : ::unsetenv(m_name); }

private:
    const char* m_name;
    std::optional<std::string> m_old;
};

class SettingsFile : public ::testing::Test
{
protected:
    TempDir dir;
    std::string path = dir / "config/Vellumark/registry.ini";
    KeyFileSettingsStore store{path};
};

struct StringCase
{
    const char* label;
    std::string name;
    std::string value;
};

class StringRoundTrip : public SettingsFile, public ::testing::WithParamInterface<StringCase>
{
};

TEST_P(StringRoundTrip, ReadsBackExactlyAndNotAsInteger)
{
    store.writeString(kKey, GetParam().name, GetParam().value);
    const KeyFileSettingsStore other(path);
    EXPECT_EQ(other.readString(kKey, GetParam().name), GetParam().value);
    EXPECT_EQ(other.readInteger(kKey, GetParam().name), std::nullopt);
}

INSTANTIATE_TEST_SUITE_P(
    Values, StringRoundTrip,
    ::testing::Values(StringCase{"chinese", "光盘存放在", "/home/用户/光盘库/"},
                      StringCase{"backslashes", "对光盘镜象操作时警示", "C:\\光盘\\a/b\\"},
                      StringCase{"newline", "note", "first\nsecond\r\nthird\tend"},
                      StringCase{"edgeBlanks", "password", "  p;a#s=s[x] "},
                      StringCase{"empty", "empty", ""},
                      StringCase{"looksLikeInteger", "pin", "dword:00000001"},
                      StringCase{"digitsOnly", "pin", "1234"},
                      StringCase{"markerPrefix", "tag", "sz:dword:1"}),
    [](const auto& info) { return std::string(info.param.label); });

struct IntegerCase
{
    const char* label;
    std::int32_t value;
    const char* stored;
};

class IntegerRoundTrip : public SettingsFile, public ::testing::WithParamInterface<IntegerCase>
{
};

TEST_P(IntegerRoundTrip, StoredAsRegistryDword)
{
    store.writeInteger(kKey, "光盘数", GetParam().value);
    EXPECT_EQ(KeyFileSettingsStore(path).readInteger(kKey, "光盘数"), GetParam().value);
    EXPECT_EQ(store.readString(kKey, "光盘数"), std::nullopt);
    EXPECT_EQ(store.readString(kKey, "光盘数", "fallback"), "fallback");
    EXPECT_NE(readFile(path).find(std::string("光盘数=") + GetParam().stored + "\n"),
              std::string::npos)
        << readFile(path);
}

INSTANTIATE_TEST_SUITE_P(Values, IntegerRoundTrip,
                         ::testing::Values(IntegerCase{"zero", 0, "dword:00000000"},
                                           IntegerCase{"one", 1, "dword:00000001"},
                                           IntegerCase{"minusOne", -1, "dword:ffffffff"},
                                           IntegerCase{"max", INT32_MAX, "dword:7fffffff"},
                                           IntegerCase{"min", INT32_MIN, "dword:80000000"}),
                         [](const auto& info) { return std::string(info.param.label); });

TEST_F(SettingsFile, HandWrittenIntegersAreDwordOrPlainDecimal)
{
    writeFile(path, "[software\\Vellumark]\na=dword:A\nb=dword:\nc=dword:123456789\n"
                    "d=DWORD:1\ne=dword:1g\nf=12\ng=0\nh=-1\ni=4294967296\n");
    EXPECT_EQ(store.readInteger(kKey, "a"), 10);
    EXPECT_EQ(store.readInteger(kKey, "f"), 12);
    EXPECT_EQ(store.readInteger(kKey, "g", 7), 0);
    for (const char* name : {"b", "c", "d", "e", "h", "i"}) {
        EXPECT_EQ(store.readInteger(kKey, name), std::nullopt) << name;
        EXPECT_EQ(store.readInteger(kKey, name, 7), 7) << name;
        EXPECT_TRUE(store.readString(kKey, name).has_value()) << name;
    }
}

TEST_F(SettingsFile, KeyPathsAndNamesIgnoreAsciiCaseAndKeepFirstSpelling)
{
    store.writeString(kKey, "光盘存放在Dir", "/a/");
    EXPECT_EQ(store.readString("\\SOFTWARE\\vellumark", "光盘存放在dir"), "/a/");
    EXPECT_EQ(store.readString("software\\VELLUMARK", "光盘存放在DIR"), "/a/");

    store.writeString("SOFTWARE\\VELLUMARK", "光盘存放在DIR", "/b/");
    EXPECT_EQ(store.readString(kKey, "光盘存放在Dir"), "/b/");
    const std::string text = readFile(path);
    EXPECT_EQ(count(text, "[software\\Vellumark]\n"), 1u) << text;
    EXPECT_EQ(count(text, "光盘存放在Dir=/b/\n"), 1u) << text;
    EXPECT_EQ(count(text, "光盘存放在"), 1u) << text;
}

// The user docs write the key with its leading backslash; a file edited by hand that way
// holds the same settings, and a write keeps to its section.
class HandWrittenSection : public SettingsFile, public ::testing::WithParamInterface<std::string>
{
};

TEST_P(HandWrittenSection, ReadsAndRewritesTheSameSection)
{
    writeFile(path, "[" + GetParam() + "]\nFlag=dword:00000001\n光盘存放在=/lib/\n");
    for (const char* key : {kKey, "software\\Vellumark", "\\SOFTWARE\\VELLUMARK"}) {
        EXPECT_EQ(store.readInteger(key, "flag"), 1) << key;
        EXPECT_EQ(store.readString(key, "光盘存放在"), "/lib/") << key;
    }
    store.writeInteger(kKey, "flag", 2);
    store.deleteValue("software\\Vellumark", "光盘存放在");
    const std::string text = readFile(path);
    EXPECT_EQ(count(text, "["), 1u) << text;
    EXPECT_EQ(count(text, "[" + GetParam() + "]\n"), 1u) << text;
    EXPECT_EQ(store.readInteger(kKey, "flag"), 2);
    EXPECT_EQ(store.readString(kKey, "光盘存放在"), std::nullopt);
}

INSTANTIATE_TEST_SUITE_P(Spellings, HandWrittenSection,
                         ::testing::Values("\\software\\Vellumark", "\\SOFTWARE\\vellumark",
                                           "software\\Vellumark"));

TEST_F(SettingsFile, ABatchIsOneWriteOfAllItsChangesOrOfNone)
{
    using platform::SettingsChange;
    store.writeString(kKey, "old", "gone soon");
    store.writeInteger(kKey, "n", 1);
    const std::string before = readFile(path);
    // A refused change anywhere in the batch leaves every value as it was.
    for (std::size_t at = 0; at < 3; ++at) {
        std::vector<SettingsChange> batch{SettingsChange::integer(kKey, "n", 2),
                                          SettingsChange::removal(kKey, "old"),
                                          SettingsChange::text(kKey, "new", "x")};
        batch.insert(batch.begin() + static_cast<long>(at), SettingsChange::text(kKey, "a=b", "v"));
        EXPECT_THROW(store.write(batch), std::runtime_error) << at;
        EXPECT_EQ(readFile(path), before) << at;
    }
    FakeSettingsStore fake;
    const std::vector<SettingsChange> batch{
        SettingsChange::integer(kKey, "n", 2),
        SettingsChange::removal("software\\VELLUMARK", "OLD"),
        SettingsChange::text(kKey, "new", "x"),
        SettingsChange::text("\\software\\Vellumark\\state", "n", "s"),
        SettingsChange::integer(kKey, "new", 3)};
    for (platform::SettingsStore* target : {static_cast<platform::SettingsStore*>(&store),
                                            static_cast<platform::SettingsStore*>(&fake)}) {
        target->write(batch);
        EXPECT_EQ(target->readInteger(kKey, "n"), 2);
        EXPECT_EQ(target->readString(kKey, "old"), std::nullopt);
        EXPECT_EQ(target->readInteger(kKey, "new"), 3); // later changes win
        EXPECT_EQ(target->readString("software\\Vellumark\\state", "N"), "s");
    }
    EXPECT_EQ(fake.rewrites(), 1u);
}

TEST_F(SettingsFile, DeleteRemovesEveryCaseVariantAndNeverCreatesTheFile)
{
    store.deleteValue(kKey, "missing");
    EXPECT_FALSE(exists(path));

    writeFile(path, "# kept\n[software\\Vellumark]\nFlag=dword:00000001\nflag=x\nother=y\n");
    store.deleteValue("SOFTWARE\\vellumark", "FLAG");
    EXPECT_EQ(store.readString(kKey, "flag"), std::nullopt);
    EXPECT_EQ(store.readInteger(kKey, "flag"), std::nullopt);
    EXPECT_EQ(store.readString(kKey, "other"), "y");
    EXPECT_NE(readFile(path).find("# kept"), std::string::npos);
}

TEST_F(SettingsFile, FileShowsNamesVerbatimAndIsPrivate)
{
    store.writeString(kKey, "光盘存放在", "/光盘/");
    store.writeInteger("software\\Vellumark\\state", "对光盘镜象操作时警示", 1);
    const std::string text = readFile(path);
    EXPECT_NE(text.find("[software\\Vellumark]\n光盘存放在=/光盘/\n"), std::string::npos) << text;
    EXPECT_NE(text.find("[software\\Vellumark\\state]\n对光盘镜象操作时警示=dword:00000001\n"),
              std::string::npos)
        << text;
    EXPECT_EQ(modeOf(path), 0600);
    EXPECT_EQ(
        modeOf(dir / "config/Vellumark"), 0700 & ~[] {
            const mode_t mask = ::umask(0);
            ::umask(mask);
            return static_cast<int>(mask);
        }());
}

TEST_F(SettingsFile, RewriteMakesAnOpenFilePrivateAndKeepsItsContent)
{
    writeFile(path, "\xEF\xBB\xBF# hand-made\r\n[Software\\Vellumark]\r\nOld=text\r\n");
    ASSERT_EQ(::chmod(path.c_str(), 0644), 0);
    store.writeInteger(kKey, "New", 5);
    EXPECT_EQ(modeOf(path), 0600);
    EXPECT_EQ(store.readString(kKey, "old"), "text");
    EXPECT_EQ(store.readInteger(kKey, "new"), 5);
    EXPECT_NE(readFile(path).find("# hand-made"), std::string::npos);
    EXPECT_FALSE(exists(path + ".bad"));
}

TEST_F(SettingsFile, TwoStoresOnOneFileSeeEachOthersWrites)
{
    KeyFileSettingsStore window(path);
    KeyFileSettingsStore tool(path);
    window.writeInteger(kKey, "a", 1);
    EXPECT_EQ(tool.readInteger(kKey, "a"), 1);
    tool.writeString(kKey, "b", "from the tool");
    window.writeInteger(kKey, "a", 2);
    EXPECT_EQ(tool.readString(kKey, "b"), "from the tool");
    EXPECT_EQ(tool.readInteger(kKey, "a"), 2);
}

class DamagedFile : public SettingsFile, public ::testing::WithParamInterface<std::string>
{
};

TEST_P(DamagedFile, ReadsDefaultsAndAWriteKeepsItAside)
{
    writeFile(path, GetParam());
    EXPECT_EQ(store.readString(kKey, "a"), std::nullopt);
    EXPECT_EQ(store.readInteger(kKey, "a", 42), 42);
    store.deleteValue(kKey, "a");
    EXPECT_EQ(readFile(path), GetParam());

    store.writeInteger(kKey, "b", 3);
    EXPECT_EQ(readFile(path + ".bad"), GetParam());
    EXPECT_EQ(store.readInteger(kKey, "b"), 3);
    EXPECT_EQ(modeOf(path), 0600);
}

INSTANTIATE_TEST_SUITE_P(
    Contents, DamagedFile,
    ::testing::Values(std::string("just some words\n"),
                      std::string("[unterminated\na=dword:00000001\n"),
                      std::string("[software\\Vellumark]\na=\xB9\xE2\xC5\xCC\n"),
                      std::string("[software\\Vellumark]\na=x\0y\n", 27)));

struct RefusedCase
{
    std::string key;
    std::string name;
    std::string value;
};

class RefusedWrite : public SettingsFile, public ::testing::WithParamInterface<RefusedCase>
{
};

TEST_P(RefusedWrite, ThrowsAndLeavesTheFileAlone)
{
    store.writeString(kKey, "keep", "me");
    const std::string before = readFile(path);
    EXPECT_THROW(store.writeString(GetParam().key, GetParam().name, GetParam().value),
                 std::runtime_error);
    EXPECT_EQ(readFile(path), before);
    EXPECT_EQ(store.readString(kKey, "keep"), "me");
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RefusedWrite,
    ::testing::Values(RefusedCase{kKey, "a=b", "v"}, RefusedCase{kKey, "a[1]", "v"},
                      RefusedCase{kKey, "", "v"}, RefusedCase{kKey, " lead", "v"},
                      RefusedCase{kKey, "trail ", "v"}, RefusedCase{kKey, "#note", "v"},
                      RefusedCase{kKey, "two\nlines", "v"}, RefusedCase{kKey, "encoding", "v"},
                      RefusedCase{kKey, "\xB9\xE2\xC5\xCC", "v"}, RefusedCase{"\\", "a", "v"},
                      RefusedCase{"a[b]", "a", "v"}, RefusedCase{kKey, "a", "\xB9\xE2"},
                      RefusedCase{kKey, "a", std::string("x\0y", 3)}));

TEST_F(SettingsFile, FailuresThrowWithPathAndSystemMessage)
{
    makeFolders(path); // a folder where the file should be
    EXPECT_EQ(store.readString(kKey, "a"), std::nullopt);
    try {
        store.writeInteger(kKey, "a", 1);
        FAIL() << "no error";
    } catch (const std::runtime_error& error) {
        EXPECT_NE(std::string(error.what()).find(path), std::string::npos) << error.what();
        EXPECT_NE(std::string(error.what()).find(std::strerror(EISDIR)), std::string::npos)
            << error.what();
    }
}

TEST_F(SettingsFile, UnwritableFolderThrowsAndUnreadableFileIsNotReplaced)
{
    if (::geteuid() == 0) {
        GTEST_SKIP() << "permissions do not bind root";
    }
    store.writeInteger(kKey, "a", 1);
    const std::string folder = dir / "config/Vellumark";
    ASSERT_EQ(::chmod(folder.c_str(), 0500), 0);
    EXPECT_THROW(store.writeInteger(kKey, "a", 2), std::runtime_error);
    ASSERT_EQ(::chmod(folder.c_str(), 0700), 0);
    EXPECT_EQ(store.readInteger(kKey, "a"), 1);

    ASSERT_EQ(::chmod(path.c_str(), 0), 0);
    EXPECT_EQ(store.readInteger(kKey, "a"), std::nullopt);
    EXPECT_THROW(store.writeInteger(kKey, "b", 2), std::runtime_error);
    ASSERT_EQ(::chmod(path.c_str(), 0600), 0);
    EXPECT_EQ(store.readInteger(kKey, "a"), 1);
    EXPECT_FALSE(exists(path + ".bad"));
}

// The fake stands in for this store in the other tests: both must answer alike.
TEST_F(SettingsFile, FakeAnswersLikeTheRealStore)
{
    enum class Op { WriteText, WriteNumber, Delete };
    struct Step
    {
        Op op;
        const char* key;
        const char* name;
        const char* text;
        std::int32_t number;
    };
    const Step steps[] = {
        {Op::WriteText, "\\software\\Vellumark", "光盘存放在", "/x/", 0},
        {Op::WriteNumber, "software\\vellumark", "Count", nullptr, -5},
        {Op::WriteText, "\\SOFTWARE\\Vellumark", "count", "now text", 0},
        {Op::WriteText, "software\\Vellumark\\state", "pin", "dword:00000002", 0},
        {Op::WriteNumber, "\\software\\Vellumark\\State", "PIN", nullptr, 7},
        {Op::Delete, "\\software\\VELLUMARK", "光盘存放在", nullptr, 0},
        {Op::Delete, "\\software\\nothing", "none", nullptr, 0},
    };
    const std::pair<const char*, const char*> probes[] = {
        {"\\software\\Vellumark", "光盘存放在"},    {"\\software\\Vellumark", "COUNT"},
        {"software\\Vellumark\\STATE", "pin"},      {"\\software\\Vellumark\\state", "Pin"},
        {"\\software\\Vellumark", "never written"}, {"software", "count"},
    };
    FakeSettingsStore fake;
    for (std::size_t i = 0; i < std::size(steps); ++i) {
        for (platform::SettingsStore* target : {static_cast<platform::SettingsStore*>(&fake),
                                                static_cast<platform::SettingsStore*>(&store)}) {
            const Step& s = steps[i];
            switch (s.op) {
            case Op::WriteText:
                target->writeString(s.key, s.name, s.text);
                break;
            case Op::WriteNumber:
                target->writeInteger(s.key, s.name, s.number);
                break;
            case Op::Delete:
                target->deleteValue(s.key, s.name);
                break;
            }
        }
        for (const auto& [key, name] : probes) {
            EXPECT_EQ(store.readString(key, name), fake.readString(key, name))
                << "after step " << i << ": " << key << " " << name;
            EXPECT_EQ(store.readInteger(key, name), fake.readInteger(key, name))
                << "after step " << i << ": " << key << " " << name;
        }
    }
}

struct XdgCase
{
    const char* label;
    const char* configHome; // nullptr: unset
    const char* dataHome;
    const char* expectedConfig;
    const char* expectedLibrary;
};

class XdgPaths : public ::testing::TestWithParam<XdgCase>
{
};

TEST_P(XdgPaths, HonourAbsoluteVariablesOnly)
{
    const ScopedEnv home("HOME", "/home/测试");
    const ScopedEnv config("XDG_CONFIG_HOME", GetParam().configHome);
    const ScopedEnv data("XDG_DATA_HOME", GetParam().dataHome);
    namespace xdg = platform::linux_edition;
    EXPECT_EQ(xdg::configFolder(), GetParam().expectedConfig);
    EXPECT_EQ(xdg::settingsFile(), std::string(GetParam().expectedConfig) + "registry.ini");
    EXPECT_EQ(xdg::defaultLibraryRoot(), GetParam().expectedLibrary);
}

INSTANTIATE_TEST_SUITE_P(
    Environments, XdgPaths,
    ::testing::Values(XdgCase{"unset", nullptr, nullptr, "/home/测试/.config/Vellumark/",
                              "/home/测试/.local/share/Vellumark/Orlendy/"},
                      XdgCase{"absolute", "/tmp/cfg", "/tmp/data/", "/tmp/cfg/Vellumark/",
                              "/tmp/data/Vellumark/Orlendy/"},
                      XdgCase{"relative", "cfg", "./data", "/home/测试/.config/Vellumark/",
                              "/home/测试/.local/share/Vellumark/Orlendy/"},
                      XdgCase{"empty", "", "", "/home/测试/.config/Vellumark/",
                              "/home/测试/.local/share/Vellumark/Orlendy/"}),
    [](const auto& info) { return std::string(info.param.label); });

TEST(XdgDocumentsFolder, FollowsUserDirsAndEndsInSlash)
{
    // GLib reads user-dirs.dirs once per process: set it up before the first call.
    TempDir temp;
    const std::string home = temp / "home";
    writeFile(home + "/.config/user-dirs.dirs", "XDG_DOCUMENTS_DIR=\"$HOME/文档\"\n");
    const ScopedEnv homeVar("HOME", home.c_str());
    const ScopedEnv config("XDG_CONFIG_HOME", nullptr);
    EXPECT_EQ(platform::linux_edition::XdgDocumentsFolder().path(), home + "/文档/");
}

TEST(SystemClock, GivesTheLocalTimeOfNow)
{
    const platform::LocalDateTime now = platform::linux_edition::SystemClock().now();
    std::tm fields{};
    fields.tm_year = now.year - 1900;
    fields.tm_mon = now.month - 1;
    fields.tm_mday = now.day;
    fields.tm_hour = now.hour;
    fields.tm_min = now.minute;
    fields.tm_sec = now.second;
    fields.tm_isdst = -1;
    EXPECT_LE(std::abs(std::difftime(std::mktime(&fields), std::time(nullptr))), 2.0);
    EXPECT_GE(now.millisecond, 0);
    EXPECT_LT(now.millisecond, 1000);
}

} // namespace

// A settings file damaged by hand or by a crash of another program: values read or fall
// back to their defaults, and the next write works.
TEST_F(SettingsFile, DamagedFilesReadAsDefaultsAndTakeTheNextWrite)
{
    const std::string sample =
        "[software\\Vellumark]\n光盘存放在=/home/用户/光盘库/\n退出时保存窗口布局=dword:00000001\n"
        "[software\\Vellumark\\drives]\nE=/media/cd\n";
    testing_support::Mutator mutator(7);
    for (int round = 0; round < 300; ++round) {
        writeFile(path, mutator.mutate(sample));
        // Reading must neither crash nor throw, whatever the file holds.
        store.readString(kKey, "光盘存放在");
        store.readInteger(kKey, "退出时保存窗口布局");
        store.writeInteger(kKey, "计数", round);
        ASSERT_EQ(store.readInteger(kKey, "计数"), round) << round;
    }
}
