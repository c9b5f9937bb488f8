#include "search/index_postings.h"

#include <algorithm>

namespace search {
namespace {

enum Form : char { Gaps = 'G', Bitmap = 'B' };

std::size_t bitmapBytes(RecordNumber recordCount)
{
    return (recordCount + 7) / 8;
}

void putVarint(std::uint32_t value, std::string& out)
{
    while (value >= 0x80) {
        out.push_back(static_cast<char>(value | 0x80));
        value >>= 7;
    }
    out.push_back(static_cast<char>(value));
}

bool getVarint(std::string_view bytes, std::size_t& at, std::uint32_t& value)
{
    value = 0;
    for (int shift = 0; shift < 35; shift += 7) {
        if (at >= bytes.size()) {
            return false;
        }
        const auto byte = static_cast<unsigned char>(bytes[at++]);
        value |= static_cast<std::uint32_t>(byte & 0x7F) << shift;
        if ((byte & 0x80) == 0) {
            return shift < 28 || byte < 0x10; // no bits beyond 32
        }
    }
    return false;
}

} // namespace

void EncodePostings(const std::vector<RecordNumber>& numbers, RecordNumber recordCount,
                    std::string& out)
{
    std::string gaps(1, Gaps);
    RecordNumber previous = 0;
    for (std::size_t i = 0; i < numbers.size(); ++i) {
        putVarint(i == 0 ? numbers[i] : numbers[i] - previous - 1, gaps);
        previous = numbers[i];
    }
    if (gaps.size() <= 1 + bitmapBytes(recordCount)) {
        out += gaps;
        return;
    }
    const std::size_t start = out.size();
    out.push_back(Bitmap);
    out.append(bitmapBytes(recordCount), '\0');
    for (const RecordNumber n : numbers) {
        out[start + 1 + n / 8] = static_cast<char>(out[start + 1 + n / 8] | (1 << (n % 8)));
    }
}

bool DecodePostings(std::string_view bytes, RecordNumber recordCount,
                    std::vector<RecordNumber>& numbers)
{
    numbers.clear();
    if (bytes.empty()) {
        return false;
    }
    const std::string_view body = bytes.substr(1);
    if (bytes.front() == Bitmap) {
        if (body.size() != bitmapBytes(recordCount)) {
            return false;
        }
        for (std::size_t i = 0; i < body.size(); ++i) {
            for (auto bits = static_cast<unsigned char>(body[i]); bits != 0; bits &= bits - 1) {
                numbers.push_back(static_cast<RecordNumber>(i * 8 + __builtin_ctz(bits)));
            }
        }
        if (!numbers.empty() && numbers.back() >= recordCount) {
            numbers.clear();
            return false;
        }
        return true;
    }
    if (bytes.front() != Gaps) {
        return false;
    }
    std::uint64_t next = 0; // the smallest number the next gap can give
    for (std::size_t at = 0; at < body.size();) {
        std::uint32_t gap = 0;
        if (!getVarint(body, at, gap) || next + gap >= recordCount) {
            numbers.clear();
            return false;
        }
        numbers.push_back(static_cast<RecordNumber>(next + gap));
        next = next + gap + 1;
    }
    return true;
}

void IntersectInto(std::vector<RecordNumber>& a, const std::vector<RecordNumber>& b)
{
    auto kept = a.begin();
    auto other = b.begin();
    for (auto it = a.begin(); it != a.end() && other != b.end(); ++it) {
        other = std::lower_bound(other, b.end(), *it);
        if (other != b.end() && *other == *it) {
            *kept++ = *it;
        }
    }
    a.erase(kept, a.end());
}

} // namespace search
