#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace platform {

// One value write of a batch: a string, an integer, or (neither) the value's removal.
struct SettingsChange
{
    std::string key;
    std::string name;
    std::variant<std::monostate, std::string, std::int32_t> value;

    static SettingsChange text(std::string_view key, std::string_view name, std::string_view value)
    {
        return {std::string(key), std::string(name), std::string(value)};
    }
    static SettingsChange integer(std::string_view key, std::string_view name, std::int32_t value)
    {
        return {std::string(key), std::string(name), value};
    }
    static SettingsChange removal(std::string_view key, std::string_view name)
    {
        return {std::string(key), std::string(name), std::monostate{}};
    }
};

// The settings store that stands in for the machine-wide registry. Keys are key paths
// as the program writes them ("\software\Vellumark", "software\Vellumark\state"; a
// leading backslash does not matter), value names and string values are UTF-8. Key
// paths and value names are matched without regard to ASCII case. Values are typed:
// reading an integer from a string value, or the reverse, finds nothing.
class SettingsStore
{
public:
    virtual ~SettingsStore() = default;

    virtual std::optional<std::string> readString(std::string_view key,
                                                  std::string_view name) const = 0;
    virtual std::optional<std::int32_t> readInteger(std::string_view key,
                                                    std::string_view name) const = 0;
    // Writers create the key when missing. A failure to write throws std::runtime_error.
    virtual void writeString(std::string_view key, std::string_view name,
                             std::string_view value) = 0;
    virtual void writeInteger(std::string_view key, std::string_view name, std::int32_t value) = 0;
    virtual void deleteValue(std::string_view key, std::string_view name) = 0;
    // Applies the changes in their order as one write: all of them or, when one cannot be
    // stored or the write fails (std::runtime_error), none. Several values that belong
    // together (one OK of a dialog) go this way, so a crash never leaves half of them.
    virtual void write(const std::vector<SettingsChange>& changes) = 0;

    // Built-in defaults for missing or unreadable values.
    std::string readString(std::string_view key, std::string_view name,
                           std::string_view fallback) const
    {
        return readString(key, name).value_or(std::string(fallback));
    }
    std::int32_t readInteger(std::string_view key, std::string_view name,
                             std::int32_t fallback) const
    {
        return readInteger(key, name).value_or(fallback);
    }
};

} // namespace platform
