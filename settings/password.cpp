#include "settings/password.h"

#include "platform/settings_store.h"

#include <sodium.h>

#include <stdexcept>

namespace settings {

namespace {

void initSodium()
{
    // Safe to call from any thread, any number of times.
    if (sodium_init() < 0) {
        throw std::runtime_error("libsodium cannot be initialised");
    }
}

bool blank(std::string_view text)
{
    return text.find_first_not_of(' ') == std::string_view::npos;
}

} // namespace

StoredPassword ReadStoredPassword(const platform::SettingsStore& settings)
{
    StoredPassword result;
    try {
        result.required = settings.readInteger(PasswordKey, "Needpwd", 0) == 1;
        result.stored = settings.readString(PasswordKey, "pwd", "");
    } catch (const std::exception&) {
        // A damaged store opens the program without a question.
        return {};
    }
    return result;
}

std::string UpperLatin(std::string_view text)
{
    std::string upper(text);
    for (char& c : upper) {
        if (c >= 'a' && c <= 'z') {
            c = static_cast<char>(c - 'a' + 'A');
        }
    }
    return upper;
}

bool IsPasswordHash(std::string_view stored)
{
    return stored.starts_with("$argon2id$") || stored.starts_with("$argon2i$");
}

std::string HashPassword(std::string_view typed)
{
    if (typed.empty()) {
        return {};
    }
    initSodium();
    const std::string upper = UpperLatin(typed);
    char hash[crypto_pwhash_STRBYTES];
    if (crypto_pwhash_str(hash, upper.data(), upper.size(), crypto_pwhash_OPSLIMIT_INTERACTIVE,
                          crypto_pwhash_MEMLIMIT_INTERACTIVE) != 0) {
        throw std::runtime_error("the password cannot be hashed: out of memory");
    }
    return hash;
}

bool PasswordMatches(std::string_view stored, std::string_view typed)
{
    const std::string upper = UpperLatin(typed);
    if (!IsPasswordHash(stored)) {
        return UpperLatin(stored) == upper;
    }
    initSodium();
    // crypto_pwhash_str_verify reads a NUL-terminated string.
    const std::string hash(stored);
    return crypto_pwhash_str_verify(hash.c_str(), upper.data(), upper.size()) == 0;
}

PasswordRefusal CheckPasswordEntry(const PasswordEntry& entry)
{
    if (!entry.required || entry.keepStored) {
        return PasswordRefusal::None;
    }
    if (blank(entry.typed) || blank(entry.confirm)) {
        return PasswordRefusal::Empty;
    }
    if (entry.typed != entry.confirm) {
        return PasswordRefusal::Mismatch;
    }
    return PasswordRefusal::None;
}

std::vector<platform::SettingsChange> PasswordChanges(const platform::SettingsStore& settings,
                                                      const PasswordEntry& entry)
{
    std::string value;
    if (entry.keepStored) {
        value = ReadStoredPassword(settings).stored;
        if (!value.empty() && !IsPasswordHash(value)) {
            value = HashPassword(value);
        }
    } else {
        value = HashPassword(entry.typed);
    }
    return {
        platform::SettingsChange::integer(PasswordKey, NeedPasswordValue, entry.required ? 1 : 0),
        platform::SettingsChange::text(PasswordKey, PasswordValue, value)};
}

void SavePassword(platform::SettingsStore& settings, const PasswordEntry& entry)
{
    // Hash first: a failure leaves both values as they were.
    settings.write(PasswordChanges(settings, entry));
}

} // namespace settings
