#pragma once

#include "platform/settings_store.h"

#include <string>
#include <string_view>
#include <vector>

// The start-up password. "PWD" holds an Argon2id hash of the password with its Latin
// letters in capitals; a value that is not such a hash (typed into the file by hand or
// left by an older version) is taken as the password itself in plain text.
namespace settings {

inline constexpr std::string_view PasswordKey =
    "Software\\Microsoft\\Windows\\CurrentVersion\\explorer\\sysexplor\\Quillon";
inline constexpr std::string_view NeedPasswordValue = "NeedPWD";
inline constexpr std::string_view PasswordValue = "PWD";

struct StoredPassword
{
    bool required = false;
    std::string stored; // a hash, a plain old value, or empty
};

// What the settings hold; a missing or unreadable store or value means no password.
StoredPassword ReadStoredPassword(const platform::SettingsStore& settings);

// Only a to z change; every other byte (UTF-8 Chinese included) stays.
std::string UpperLatin(std::string_view text);

// True for a value that crypto_pwhash_str wrote.
bool IsPasswordHash(std::string_view stored);

// The value to store for a typed password (UTF-8): empty stays empty, anything else
// becomes a salted hash. Throws std::runtime_error when hashing fails (out of memory).
std::string HashPassword(std::string_view typed);

// True when typed opens what is stored: Latin letters compared without regard to case.
bool PasswordMatches(std::string_view stored, std::string_view typed);

// The password fields of the settings dialog: a new password typed twice, or the stored
// one left as it was.
struct PasswordEntry
{
    bool required = false;
    bool keepStored = false; // the fields still show the stored password
    std::string typed;       // UTF-8
    std::string confirm;
};

enum class PasswordRefusal { None, Empty, Mismatch };

// Empty: either field blank after trimming spaces; Mismatch: the two differ. Only a
// required password is checked; a kept one always passes.
PasswordRefusal CheckPasswordEntry(const PasswordEntry& entry);

// The writes of "NeedPWD" and "PWD", for a batch with other settings. A kept plain old
// value is replaced by its hash; the typed text is stored (hashed) also when no password
// is required, as the fields stood. Throws std::runtime_error when hashing fails.
std::vector<platform::SettingsChange> PasswordChanges(const platform::SettingsStore& settings,
                                                      const PasswordEntry& entry);
// Writes PasswordChanges as one write.
void SavePassword(platform::SettingsStore& settings, const PasswordEntry& entry);

} // namespace settings
