#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// Posting lists of the search index: the ascending record numbers of one segment that
// hold a gram. A list is kept as the smaller of two forms: a bitmap over every record of
// the segment (for grams most records hold), or gaps between the numbers as base-128
// varints (for the rest).
namespace search {

using RecordNumber = std::uint32_t;

// Appends the list's bytes to out. numbers ascend and are below recordCount.
void EncodePostings(const std::vector<RecordNumber>& numbers, RecordNumber recordCount,
                    std::string& out);

// Reads a list back; false (and numbers emptied) when the bytes are no list of numbers
// below recordCount: damaged bytes never read past their end nor give a number out of range.
bool DecodePostings(std::string_view bytes, RecordNumber recordCount,
                    std::vector<RecordNumber>& numbers);

// The numbers in both (both ascending), into a.
void IntersectInto(std::vector<RecordNumber>& a, const std::vector<RecordNumber>& b);

} // namespace search
