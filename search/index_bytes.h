#pragma once

#include "catalog/disk.h"

#include <bit>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>

// The byte layout the search index's files share: integers little-endian as this machine
// keeps them, texts with their length before them, a checksum over what a file holds.
namespace search::index_bytes {

// A 64-bit hash folded to 32 bits: two lanes of multiply-and-rotate rounds over eight-byte
// words (xxHash's rounds), then the rest and a final mix. Every search checks megabytes of
// index with it, several times faster than a CRC taken a byte at a time.
inline std::uint32_t checksum(std::string_view bytes)
{
    constexpr std::uint64_t P1 = 0x9E3779B185EBCA87ULL;
    constexpr std::uint64_t P2 = 0xC2B2AE3D27D4EB4FULL;
    constexpr std::uint64_t P3 = 0x165667B19E3779F9ULL;
    const auto round = [](std::uint64_t lane, std::uint64_t word) {
        return std::rotl(lane + word * P2, 31) * P1;
    };
    const auto wordAt = [&bytes](std::size_t at) {
        std::uint64_t word = 0;
        std::memcpy(&word, bytes.data() + at, sizeof word);
        return word;
    };
    std::uint64_t first = P1 + P2;
    std::uint64_t second = P2;
    std::size_t at = 0;
    for (; at + 16 <= bytes.size(); at += 16) {
        first = round(first, wordAt(at));
        second = round(second, wordAt(at + 8));
    }
    std::uint64_t hash = std::rotl(first, 1) + std::rotl(second, 7) + bytes.size();
    for (; at + 8 <= bytes.size(); at += 8) {
        hash = std::rotl(hash ^ round(0, wordAt(at)), 27) * P1 + P3;
    }
    for (; at < bytes.size(); ++at) {
        hash = std::rotl(hash ^ static_cast<unsigned char>(bytes[at]) * P3, 11) * P1;
    }
    hash = (hash ^ hash >> 33) * P2;
    hash = (hash ^ hash >> 29) * P3;
    return static_cast<std::uint32_t>(hash ^ hash >> 32);
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
