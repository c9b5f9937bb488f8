#pragma once

#include "platform/settings_store.h"

#include <string>

namespace platform::linux_edition {

// The settings as one INI file. A section is a key path without its leading backslash
// ("[software\Vellumark]"; a section written with one by hand is the same key); an
// integer is stored as "dword:" and eight hex digits, a string as its text. Every call
// reads the file again, so two processes sharing it see each other's writes; every write
// replaces the whole file atomically, mode 0600.
class KeyFileSettingsStore : public platform::SettingsStore
{
public:
    explicit KeyFileSettingsStore(std::string filePath);

    using platform::SettingsStore::readInteger;
    using platform::SettingsStore::readString;

    // An unreadable or malformed file reads as empty: the defaults apply.
    std::optional<std::string> readString(std::string_view key,
                                          std::string_view name) const override;
    std::optional<std::int32_t> readInteger(std::string_view key,
                                            std::string_view name) const override;

    // A file that cannot be parsed is renamed to "<file>.bad" before a fresh one is
    // written. Names the file format cannot hold ("=", "[", "]", control characters,
    // edge blanks, a leading "#") and text that is not UTF-8 are refused with
    // std::runtime_error, as are failures of the file system.
    void writeString(std::string_view key, std::string_view name, std::string_view value) override;
    void writeInteger(std::string_view key, std::string_view name, std::int32_t value) override;
    void deleteValue(std::string_view key, std::string_view name) override;
    // One read under the lock and one replace of the file for all the changes.
    void write(const std::vector<platform::SettingsChange>& changes) override;

    const std::string& filePath() const { return m_filePath; }

private:
    std::string m_filePath;
};

} // namespace platform::linux_edition
