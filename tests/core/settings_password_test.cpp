// The start-up password: how it is stored and how a typed one is checked.

#include "settings/password.h"
#include "tests/support/fake_settings_store.h"

#include <gtest/gtest.h>

#include <stdexcept>

using namespace settings;
using testing_support::FakeSettingsStore;

namespace {

PasswordEntry typed(const std::string& password, bool required = true)
{
    return {required, false, password, password};
}

std::string storedPwd(const FakeSettingsStore& store)
{
    return store.readString(PasswordKey, "pwd", "<missing>");
}

// A settings file that cannot be read at all.
class BrokenStore : public FakeSettingsStore
{
public:
    std::optional<std::string> readString(std::string_view, std::string_view) const override
    {
        throw std::runtime_error("unreadable");
    }
    std::optional<std::int32_t> readInteger(std::string_view, std::string_view) const override
    {
        throw std::runtime_error("unreadable");
    }
};

} // namespace

TEST(Password, SavedAsSaltedHashNeverPlain)
{
    FakeSettingsStore store;
    SavePassword(store, typed("Secret9"));
    const std::string first = storedPwd(store);
    EXPECT_TRUE(IsPasswordHash(first)) << first;
    EXPECT_EQ(first.find("Secret9"), std::string::npos);
    EXPECT_EQ(first.find("SECRET9"), std::string::npos);
    EXPECT_EQ(store.readInteger(PasswordKey, "needpwd", -1), 1);

    // The same password saved again gets another salt.
    SavePassword(store, typed("Secret9"));
    EXPECT_NE(storedPwd(store), first);
}

TEST(Password, LatinLettersIgnoreCaseChineseMustMatchExactly)
{
    const std::string mixed = HashPassword("AbC密码xYz");
    EXPECT_TRUE(PasswordMatches(mixed, "AbC密码xYz"));
    EXPECT_TRUE(PasswordMatches(mixed, "ABC密码XYZ"));
    EXPECT_TRUE(PasswordMatches(mixed, "abc密码xyz"));
    EXPECT_FALSE(PasswordMatches(mixed, "abc密玛xyz"));
    EXPECT_FALSE(PasswordMatches(mixed, "abc密码xy"));
    EXPECT_FALSE(PasswordMatches(mixed, ""));

    const std::string chinese = HashPassword("芝麻开门");
    EXPECT_TRUE(PasswordMatches(chinese, "芝麻开门"));
    EXPECT_FALSE(PasswordMatches(chinese, "芝麻开"));
    // Only a to z change: accented letters and full-width Latin are not folded.
    EXPECT_EQ(UpperLatin("aé ａz中"), "Aé ａZ中");
}

TEST(Password, OldPlainValueComparedAsTextAndHashedAtNextSave)
{
    FakeSettingsStore store;
    store.writeInteger(PasswordKey, "NeedPWD", 1);
    store.writeString(PasswordKey, "PWD", "OldPass");
    const StoredPassword stored = ReadStoredPassword(store);
    ASSERT_TRUE(stored.required);
    EXPECT_TRUE(PasswordMatches(stored.stored, "oldpass"));
    EXPECT_FALSE(PasswordMatches(stored.stored, "oldpas"));

    // The settings dialog saved with the fields untouched.
    SavePassword(store, {true, true, "", ""});
    const std::string upgraded = storedPwd(store);
    EXPECT_TRUE(IsPasswordHash(upgraded)) << upgraded;
    EXPECT_TRUE(PasswordMatches(upgraded, "OLDPASS"));

    // Kept again: the hash stays as it is, not hashed twice.
    SavePassword(store, {true, true, "", ""});
    EXPECT_EQ(storedPwd(store), upgraded);
}

TEST(Password, EmptyMissingAndUnreadable)
{
    // Required with no stored password: an empty entry opens.
    FakeSettingsStore store;
    store.writeInteger(PasswordKey, "NeedPWD", 1);
    StoredPassword stored = ReadStoredPassword(store);
    EXPECT_TRUE(stored.required);
    EXPECT_TRUE(PasswordMatches(stored.stored, ""));
    EXPECT_FALSE(PasswordMatches(stored.stored, "x"));

    // NeedPWD 0 or any number but 1, or of the wrong type: no password.
    for (const std::int32_t need : {0, 2, -1}) {
        store.writeInteger(PasswordKey, "NeedPWD", need);
        EXPECT_FALSE(ReadStoredPassword(store).required) << need;
    }
    store.writeString(PasswordKey, "NeedPWD", "1");
    EXPECT_FALSE(ReadStoredPassword(store).required);

    BrokenStore broken;
    stored = ReadStoredPassword(broken);
    EXPECT_FALSE(stored.required);
    EXPECT_EQ(stored.stored, "");

    // An empty typed password is stored empty, not as the hash of nothing.
    SavePassword(store, typed("", false));
    EXPECT_EQ(storedPwd(store), "");
    EXPECT_EQ(store.readInteger(PasswordKey, "NeedPWD", -1), 0);
}

TEST(Password, EntryRefusals)
{
    EXPECT_EQ(CheckPasswordEntry({true, false, "  ", "  "}), PasswordRefusal::Empty);
    EXPECT_EQ(CheckPasswordEntry({true, false, "abc", ""}), PasswordRefusal::Empty);
    EXPECT_EQ(CheckPasswordEntry({true, false, "abc", "ABC"}), PasswordRefusal::Mismatch);
    EXPECT_EQ(CheckPasswordEntry({true, false, "abc ", "abc"}), PasswordRefusal::Mismatch);
    EXPECT_EQ(CheckPasswordEntry({true, false, " abc", " abc"}), PasswordRefusal::None);
    // Not required, or the stored one kept: nothing to check.
    EXPECT_EQ(CheckPasswordEntry({false, false, "a", "b"}), PasswordRefusal::None);
    EXPECT_EQ(CheckPasswordEntry({true, true, "", ""}), PasswordRefusal::None);
}

TEST(Password, UntickedKeepsTheFieldsAsTheyStood)
{
    FakeSettingsStore store;
    SavePassword(store, typed("First"));
    const std::string hash = storedPwd(store);
    SavePassword(store, {false, true, "", ""});
    EXPECT_EQ(store.readInteger(PasswordKey, "NeedPWD", -1), 0);
    EXPECT_EQ(storedPwd(store), hash);
    EXPECT_FALSE(ReadStoredPassword(store).required);
}
