#pragma once

#include "platform/settings_store.h"

#include <map>
#include <string>
#include <variant>

namespace testing_support {

// Settings kept in memory, matched like the real store: key paths without their leading
// backslash and value names, both ignoring ASCII case.
class FakeSettingsStore : public platform::SettingsStore
{
public:
    using platform::SettingsStore::readInteger;
    using platform::SettingsStore::readString;

    std::optional<std::string> readString(std::string_view key,
                                          std::string_view name) const override
    {
        const auto it = m_values.find(slot(key, name));
        if (it == m_values.end() || !std::holds_alternative<std::string>(it->second)) {
            return std::nullopt;
        }
        return std::get<std::string>(it->second);
    }
    std::optional<std::int32_t> readInteger(std::string_view key,
                                            std::string_view name) const override
    {
        const auto it = m_values.find(slot(key, name));
        if (it == m_values.end() || !std::holds_alternative<std::int32_t>(it->second)) {
            return std::nullopt;
        }
        return std::get<std::int32_t>(it->second);
    }
    void writeString(std::string_view key, std::string_view name, std::string_view value) override
    {
        ++m_rewrites;
        m_values[slot(key, name)] = std::string(value);
    }
    void writeInteger(std::string_view key, std::string_view name, std::int32_t value) override
    {
        ++m_rewrites;
        m_values[slot(key, name)] = value;
    }
    void deleteValue(std::string_view key, std::string_view name) override
    {
        ++m_rewrites;
        m_values.erase(slot(key, name));
    }

    void write(const std::vector<platform::SettingsChange>& changes) override
    {
        ++m_rewrites;
        for (const auto& change : changes) {
            if (const auto* text = std::get_if<std::string>(&change.value)) {
                m_values[slot(change.key, change.name)] = *text;
            } else if (const auto* number = std::get_if<std::int32_t>(&change.value)) {
                m_values[slot(change.key, change.name)] = *number;
            } else {
                m_values.erase(slot(change.key, change.name));
            }
        }
    }

    // How often the real store would have replaced its file.
    std::size_t rewrites() const { return m_rewrites; }

private:
    static std::string slot(std::string_view key, std::string_view name)
    {
        if (!key.empty() && key.front() == '\\') {
            key.remove_prefix(1);
        }
        std::string folded = std::string(key) + '\n' + std::string(name);
        for (char& c : folded) {
            if (c >= 'a' && c <= 'z') {
                c = static_cast<char>(c - 'a' + 'A');
            }
        }
        return folded;
    }

    std::map<std::string, std::variant<std::string, std::int32_t>> m_values;
    std::size_t m_rewrites = 0;
};

} // namespace testing_support
