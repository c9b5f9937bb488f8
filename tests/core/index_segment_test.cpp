#include "search/index_segment.h"
#include "search/term_match.h"

#include "tests/support/temp_library.h"

#include <gtest/gtest.h>

#include <random>

using namespace search;
using testing_support::gbk;

namespace {

std::string randomName(std::mt19937& random)
{
    static const std::string pieces[] = {"a",        "B",       "x",       "1",       ".",
                                         " ",        gbk("软"), gbk("件"), gbk("长"), gbk("城"),
                                         "\x81\x5c", "SETUP",   "readme"};
    std::string name;
    for (std::size_t n = 1 + random() % 6; n > 0; --n) {
        name += pieces[random() % std::size(pieces)];
    }
    return name;
}

struct Library
{
    std::vector<std::string> listings, descriptions, notes;
};

Library randomLibrary(std::mt19937& random, int records)
{
    Library library;
    for (int r = 0; r < records; ++r) {
        std::string listing = "E:\\\r\n";
        for (std::size_t n = random() % 12; n > 0; --n) {
            listing += std::string(1 + random() % 3, '\t') + randomName(random) + "\r\n";
        }
        library.listings.push_back(listing);
        library.descriptions.push_back(random() % 3 == 0 ? "" : randomName(random));
        library.notes.push_back(randomName(random));
    }
    return library;
}

std::string segmentOf(const Library& library)
{
    SegmentWriter writer;
    for (std::size_t r = 0; r < library.listings.size(); ++r) {
        IndexedRecord record;
        record.key = "box/" + std::to_string(r) + ".Cdr";
        record.stamps[0] = {"x.Cdr", r, 7, -1, 1'700'000'000'000'000'000};
        record.stamps[2] = {"x.FMx", 3 * r, 9, 5, 6};
        writer.add(record, {std::vector<std::string_view>{library.listings[r]},
                            {library.descriptions[r]},
                            {library.notes[r]}});
    }
    return writer.bytes();
}

} // namespace

TEST(IndexSegment, ARecordWhoseTextHoldsATermIsAlwaysACandidate)
{
    std::mt19937 random(8);
    const Library library = randomLibrary(random, 300);
    const auto segment = Segment::read(segmentOf(library));
    ASSERT_TRUE(segment);
    ASSERT_EQ(segment->size(), 300u);
    EXPECT_EQ(segment->record(5).key, "box/5.Cdr");
    EXPECT_EQ(segment->record(5).stamps[0],
              (FileStamp{"x.Cdr", 5, 7, -1, 1'700'000'000'000'000'000}));
    EXPECT_EQ(segment->record(5).stamps[1], FileStamp{});
    EXPECT_EQ(segment->stamp(299, IndexedText::Internal), (FileStamp{"x.FMx", 897, 9, 5, 6}));

    int found = 0, ruledOut = 0;
    for (int round = 0; round < 300; ++round) {
        const std::string term = randomName(random).substr(0, 1 + random() % 4);
        const auto grams = TermGrams(term);
        if (!grams) {
            continue;
        }
        std::vector<RecordNumber> candidates;
        ASSERT_TRUE(segment->recordsWithAll(IndexedText::Content, false, *grams, candidates));
        const TermMatcher matcher(term);
        for (RecordNumber r = 0; r < 300; ++r) {
            const bool candidate = std::binary_search(candidates.begin(), candidates.end(), r);
            if (matcher.foundIn(library.listings[r])) {
                ++found;
                ASSERT_TRUE(candidate) << testing::PrintToString(term) << " in record " << r;
            } else {
                ruledOut += !candidate;
            }
        }
    }
    EXPECT_GT(found, 1000);
    EXPECT_GT(ruledOut, 10000);

    // Each text has its own grams: the listing's are not the description's.
    std::vector<RecordNumber> candidates;
    ASSERT_TRUE(
        segment->recordsWithAll(IndexedText::Description, false, *TermGrams("E:"), candidates));
    EXPECT_TRUE(candidates.empty());
    ASSERT_TRUE(segment->recordsWithAll(IndexedText::Content, false, *TermGrams("E:"), candidates));
    EXPECT_EQ(candidates.size(), 300u);
}

TEST(IndexSegment, PostingsComeBackAsTheyWentInWhateverTheirDensity)
{
    std::mt19937 random(3);
    for (const RecordNumber count : {1u, 7u, 8u, 9u, 1000u, 70000u}) {
        for (const int percent : {0, 1, 30, 100}) {
            std::vector<RecordNumber> numbers;
            for (RecordNumber n = 0; n < count; ++n) {
                if (static_cast<int>(random() % 100) < percent) {
                    numbers.push_back(n);
                }
            }
            std::string bytes;
            EncodePostings(numbers, count, bytes);
            std::vector<RecordNumber> back;
            ASSERT_TRUE(DecodePostings(bytes, count, back)) << count << " " << percent;
            EXPECT_EQ(back, numbers);
            EXPECT_LE(bytes.size(), 2 + count / 8 + 1) << "a dense list is a bitmap";
            // A list read against fewer records than it names is damaged.
            if (!numbers.empty() && numbers.back() > 0) {
                EXPECT_FALSE(DecodePostings(bytes, numbers.back(), back));
            }
        }
    }
}

TEST(IndexSegment, DamagedBytesAreRefusedOrReadSafelyNeverTrustedBlindly)
{
    std::mt19937 random(11);
    const std::string good = segmentOf(randomLibrary(random, 40));
    ASSERT_TRUE(Segment::read(good));
    int refused = 0;
    for (int round = 0; round < 3000; ++round) {
        std::string bytes = good;
        switch (round % 3) {
        case 0: // flipped bytes
            for (int n = 1 + random() % 4; n > 0; --n) {
                bytes[random() % bytes.size()] ^= static_cast<char>(1 + random() % 255);
            }
            break;
        case 1: // cut short
            bytes.resize(random() % bytes.size());
            break;
        default: // garbage appended or a length field made huge
            if (random() % 2 == 0) {
                bytes += std::string(1 + random() % 50, '\xff');
            } else {
                bytes.replace(8 + random() % 20, 4, "\xff\xff\xff\x7f");
            }
        }
        const auto segment = Segment::read(bytes);
        if (!segment) {
            ++refused;
            continue;
        }
        std::vector<RecordNumber> numbers;
        for (const char* term : {"E:", "ab", "\xc8\xed"}) {
            for (const IndexedText text :
                 {IndexedText::Content, IndexedText::Description, IndexedText::Internal}) {
                if (segment->recordsWithAll(text, false, *TermGrams(term), numbers)) {
                    for (const RecordNumber n : numbers) {
                        ASSERT_LT(n, segment->size());
                    }
                }
            }
        }
    }
    EXPECT_GT(refused, 2900); // nearly every change is seen by a checksum or a bound
}
