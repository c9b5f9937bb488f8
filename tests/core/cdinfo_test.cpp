#include "catalog/cdinfo.h"

#include "tests/support/temp_library.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace {

using catalog::CDInfoRead;
using catalog::DateTimeParts;
using catalog::TCDInfo;
using testing_support::gbk;
using testing_support::readFile;
using testing_support::TempDir;
using testing_support::writeFile;

// Length byte and text of one field, written into a zeroed record by hand.
void putField(std::string& record, std::size_t offset, std::string_view text)
{
    record[offset] = static_cast<char>(text.size());
    record.replace(offset + 1, text.size(), text);
}

TCDInfo fullInfo()
{
    TCDInfo info;
    info.cdno = "CD-0001";
    info.cdowner = gbk("张三");
    info.cdtime = 43831.5; // 2020-01-01 12:00
    info.cdbuyaddr = gbk("北京中关村");
    info.cdmoney = "681574400";
    info.cdstyle = gbk("一般光盘");
    info.cdzl = gbk("一般");
    info.cdstat = gbk("保存中");
    info.cdxz = gbk("重要");
    info.cdother = gbk("第二张光盘的备份");
    return info;
}

std::string expectedFullBytes()
{
    std::string record(192, '\0');
    putField(record, 0, "CD-0001");
    putField(record, 21, gbk("张三"));
    // 43831.5 as a little-endian IEEE 754 double.
    record.replace(48, 8, std::string("\x00\x00\x00\x00\xf0\x66\xe5\x40", 8));
    putField(record, 56, gbk("北京中关村"));
    putField(record, 77, "681574400");
    putField(record, 98, gbk("一般光盘"));
    putField(record, 111, gbk("一般"));
    putField(record, 124, gbk("保存中"));
    putField(record, 137, gbk("重要"));
    putField(record, 150, gbk("第二张光盘的备份"));
    return record;
}

std::string asString(const std::array<char, catalog::CDInfoSize>& bytes)
{
    return std::string(bytes.data(), bytes.size());
}

TEST(CDInfo, EncodeGoldenBytes)
{
    const std::string actual = asString(catalog::EncodeCDInfo(fullInfo()));
    const std::string expected = expectedFullBytes();
    ASSERT_EQ(actual.size(), 192u);
    for (std::size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(static_cast<unsigned char>(actual[i]), static_cast<unsigned char>(expected[i]))
            << "offset " << i;
    }
}

TEST(CDInfo, DecodeGoldenBytes)
{
    const auto decoded = catalog::DecodeCDInfo(expectedFullBytes());
    ASSERT_TRUE(decoded.has_value());
    EXPECT_EQ(*decoded, fullInfo());
}

TEST(CDInfo, DecodeIgnoresUnusedBytesAndExtraLength)
{
    std::string record = expectedFullBytes();
    record[20] = 'X';  // unused byte of cdno
    record[45] = 'Y';  // padding
    record[191] = 'Z'; // final padding
    record += "trailing";
    const auto decoded = catalog::DecodeCDInfo(record);
    ASSERT_TRUE(decoded.has_value());
    EXPECT_EQ(*decoded, fullInfo());
}

TEST(CDInfo, DecodeShortIsNothing)
{
    EXPECT_FALSE(catalog::DecodeCDInfo(expectedFullBytes().substr(0, 191)).has_value());
    EXPECT_FALSE(catalog::DecodeCDInfo("").has_value());
}

TEST(CDInfo, DecodeClampsLengthToCapacity)
{
    std::string record(192, '\0');
    record[0] = static_cast<char>(255); // cdno claims more than its 20 bytes
    record.replace(1, 20, std::string(20, 'a'));
    record[21] = 1; // cdowner
    record[22] = 'b';
    record[150] = static_cast<char>(200); // cdother would run past the record
    record.replace(151, 41, std::string(41, 'c'));
    const auto decoded = catalog::DecodeCDInfo(record);
    ASSERT_TRUE(decoded.has_value());
    EXPECT_EQ(decoded->cdno, std::string(20, 'a'));
    EXPECT_EQ(decoded->cdowner, "b");
    EXPECT_EQ(decoded->cdother, std::string(40, 'c'));
}

struct CutCase
{
    const char* name;
    std::string TCDInfo::*member;
    std::size_t offset;
    std::string value;
    std::string stored;
};

class CDInfoCut : public testing::TestWithParam<CutCase>
{
};

TEST_P(CDInfoCut, LongValueCutAtCharacterBoundary)
{
    TCDInfo info;
    info.*GetParam().member = GetParam().value;
    const std::string bytes = asString(catalog::EncodeCDInfo(info));
    std::string expected(192, '\0');
    putField(expected, GetParam().offset, GetParam().stored);
    EXPECT_EQ(bytes, expected);
    EXPECT_EQ((*catalog::DecodeCDInfo(bytes)).*GetParam().member, GetParam().stored);
}

INSTANTIATE_TEST_SUITE_P(
    Fields, CDInfoCut,
    testing::Values(CutCase{"AsciiCutToTwenty", &TCDInfo::cdno, 0, std::string(25, '1'),
                            std::string(20, '1')},
                    CutCase{"ExactCapacityKept", &TCDInfo::cdmoney, 77, std::string(20, '9'),
                            std::string(20, '9')},
                    // 1 + 2 * 10 = 21 bytes: the tenth character would straddle the limit.
                    CutCase{"DoubleByteNotSplit", &TCDInfo::cdowner, 21,
                            "A" + gbk("一二三四五六七八九十"), "A" + gbk("一二三四五六七八九")},
                    CutCase{"TwelveByteField", &TCDInfo::cdstyle, 98, "x" + gbk("光盘光盘光盘"),
                            "x" + gbk("光盘光盘光")},
                    CutCase{"OtherNotesGbkOdd", &TCDInfo::cdother, 150,
                            "z" + gbk("一二三四五六七八九十一二三四五六七八九十"),
                            "z" + gbk("一二三四五六七八九十一二三四五六七八九")}),
    [](const auto& info) { return std::string(info.param.name); });

// ---- Files

TEST(CDInfoFile, WriteThenReadAndSpellings)
{
    TempDir dir;
    const catalog::RecordRef record{dir.path(), gbk("光盘一")};
    writeFile(dir / (gbk("光盘一") + ".Cdr"), "E:\\\r\n");
    EXPECT_EQ(catalog::ReadCDInfo(record).status, CDInfoRead::Status::Missing);

    catalog::WriteCDInfo(record, fullInfo());
    EXPECT_EQ(readFile(dir / (gbk("光盘一") + ".Ifn")), expectedFullBytes());
    const auto read = catalog::ReadCDInfo(record);
    EXPECT_EQ(read.status, CDInfoRead::Status::Ok);
    EXPECT_EQ(read.info, fullInfo());

    std::vector<catalog::DirEntry> entries;
    catalog::ListFolder(dir.path(), entries);
    ASSERT_EQ(entries.size(), 2u); // the listing and the .Ifn: no temporary file left behind
}

TEST(CDInfoFile, FoundAndReplacedInAnyCase)
{
    for (const char* ext : {".ifn", ".IFN", ".iFn"}) {
        SCOPED_TRACE(ext);
        TempDir dir;
        writeFile(dir / ("CD" + std::string(ext)), expectedFullBytes());
        writeFile(dir / "CD.Cdr", "E:\\\r\n");
        const catalog::RecordRef record{dir.path(), "CD"};
        EXPECT_EQ(catalog::ReadCDInfo(record).status, CDInfoRead::Status::Ok);
        catalog::WriteCDInfo(record, TCDInfo());
        EXPECT_EQ(readFile(dir / ("CD" + std::string(ext))), std::string(192, '\0'));
        std::vector<catalog::DirEntry> entries;
        catalog::ListFolder(dir.path(), entries);
        EXPECT_EQ(entries.size(), 2u);
    }
}

TEST(CDInfoFile, ShortFileReported)
{
    TempDir dir;
    writeFile(dir / "CD.Ifn", expectedFullBytes().substr(0, 100));
    const auto read = catalog::ReadCDInfo({dir.path(), "CD"});
    EXPECT_EQ(read.status, CDInfoRead::Status::Short);
}

// ---- Day numbers

struct DayCase
{
    DateTimeParts parts;
    double days;
};

class DayNumber : public testing::TestWithParam<DayCase>
{
};

TEST_P(DayNumber, BothWays)
{
    const auto& [parts, days] = GetParam();
    EXPECT_DOUBLE_EQ(catalog::ToDayNumber(parts), days);
    const DateTimeParts back = catalog::FromDayNumber(days);
    EXPECT_EQ(back.year, parts.year);
    EXPECT_EQ(back.month, parts.month);
    EXPECT_EQ(back.day, parts.day);
    EXPECT_EQ(back.hour, parts.hour);
    EXPECT_EQ(back.minute, parts.minute);
    EXPECT_EQ(back.second, parts.second);
}

INSTANTIATE_TEST_SUITE_P(Calendar, DayNumber,
                         testing::Values(DayCase{{1899, 12, 30, 0, 0, 0}, 0.0},
                                         DayCase{{1900, 1, 1, 0, 0, 0}, 2.0},
                                         DayCase{{1900, 3, 1, 0, 0, 0}, 61.0},
                                         DayCase{{2000, 2, 29, 18, 0, 0}, 36585.75},
                                         DayCase{{2020, 1, 1, 12, 0, 0}, 43831.5},
                                         // Before day 0 the fraction is still the time of day.
                                         DayCase{{1899, 12, 29, 6, 0, 0}, -1.25},
                                         DayCase{{1, 1, 1, 0, 0, 0}, -693593.0},
                                         DayCase{{9999, 12, 31, 0, 0, 0}, 2958465.0}));

TEST(DayNumberRounding, NearestSecond)
{
    const auto at = [](double days) { return catalog::FromDayNumber(days); };
    EXPECT_EQ(at(43831.5 + 0.4 / 86400).second, 0);
    EXPECT_EQ(at(43831.5 + 0.6 / 86400).second, 1);
    EXPECT_EQ(at(43831.5 - 0.4 / 86400).hour, 12);
    // A time that rounds up to midnight belongs to the next day.
    const auto midnight = at(43831.0 - 0.2 / 86400);
    EXPECT_EQ(midnight.day, 1);
    EXPECT_EQ(midnight.hour, 0);
    const auto negative = at(-1.0 - 86399.7 / 86400);
    EXPECT_EQ(negative.day, 30); // 1899-12-29 23:59:59.7
    EXPECT_EQ(negative.month, 12);
    EXPECT_EQ(negative.hour, 0);
    EXPECT_EQ(negative.second, 0);
}

TEST(DayNumberRounding, DamagedValuesStayInCalendar)
{
    for (double damaged : {std::numeric_limits<double>::quiet_NaN(),
                           std::numeric_limits<double>::infinity(), 1e300, -1e300}) {
        const auto parts = catalog::FromDayNumber(damaged);
        EXPECT_GE(parts.year, 1);
        EXPECT_LE(parts.year, 9999);
        EXPECT_GE(parts.month, 1);
        EXPECT_LE(parts.month, 12);
    }
}

} // namespace
