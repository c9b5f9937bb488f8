#pragma once

#include "catalog/disk.h"

#include <zlib.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>

// The byte layout the search index's files share: integers little-endian as this machine
// keeps them, texts with their length before them, a CRC-32 over what a file holds.
namespace search::index_bytes {

inline std::uint32_t checksum(std::string_view bytes)
{
    return static_cast<std::uint32_t>(
        ::crc32(0, reinterpret_cast<const Bytef*>(bytes.data()), static_cast<uInt>(bytes.size())));
}

// Bytes kept alive by whatever holds them: a string read whole, or a file mapped.
struct HeldBytes
{
    std::shared_ptr<const void> owner;
    std::string_view bytes;
};

inline HeldBytes holdString(std::string bytes)
{
    auto owner = std::make_shared<const std::string>(std::move(bytes));
    const std::string_view view(*owner);
    return {std::move(owner), view};
}

// Throws catalog::FileError when the file cannot be read.
inline HeldBytes mapFile(const std::string& path)
{
    auto owner = std::make_shared<const catalog::MappedFile>(path);
    const std::string_view view = owner->bytes();
    return {std::move(owner), view};
}

template <class Integer> inline void put(std::string& out, Integer value)
{
    char bytes[sizeof value];
    std::memcpy(bytes, &value, sizeof value); // little-endian machines only, as Debian's amd64
    out.append(bytes, sizeof value);
}

inline void putText(std::string& out, std::string_view text)
{
    put<std::uint32_t>(out, static_cast<std::uint32_t>(text.size()));
    out.append(text);
}

// Reads fixed fields off a byte range; once a read fails every later one fails too.
class Reader
{
public:
    explicit Reader(std::string_view bytes) : m_bytes(bytes) {}

    template <class Integer> Integer get()
    {
        Integer value{};
        if (m_ok && m_bytes.size() - m_at >= sizeof value) {
            std::memcpy(&value, m_bytes.data() + m_at, sizeof value);
            m_at += sizeof value;
        } else {
            m_ok = false;
        }
        return value;
    }

    std::string text() { return std::string(view()); }

    // A text without copying it: valid as long as the bytes read are.
    std::string_view view()
    {
        const auto length = get<std::uint32_t>();
        if (!m_ok || m_bytes.size() - m_at < length) {
            m_ok = false;
            return {};
        }
        const std::string_view value = m_bytes.substr(m_at, length);
        m_at += length;
        return value;
    }

    void skip(std::size_t length)
    {
        if (m_ok && m_bytes.size() - m_at >= length) {
            m_at += length;
        } else {
            m_ok = false;
        }
    }
    std::size_t at() const { return m_at; }

    bool ok() const { return m_ok; }
    bool atEnd() const { return m_at == m_bytes.size(); }

private:
    std::string_view m_bytes;
    std::size_t m_at = 0;
    bool m_ok = true;
};

} // namespace search::index_bytes
