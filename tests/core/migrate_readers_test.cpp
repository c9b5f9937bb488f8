// The readers of other programs' catalogues, on sample files written by hand from the
// formats' descriptions: trees, descriptions and information per disc, and bad input.

#include "migrate/input.h"
#include "migrate/readers.h"
#include "tests/support/mutator.h"
#include "tests/support/temp_library.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <chrono>
#include <cstdio>
#include <optional>

using testing_support::gbk;
using testing_support::TempDir;
using testing_support::writeFile;

namespace {

using migrate::Format;

struct Outcome
{
    std::string discs; // every disc read, as dump() writes it
    migrate::ReadNotes notes;
    std::optional<std::string> error;
    std::size_t nodes = 0;
};

void dumpNode(const migrate::Node& node, const std::string& path, std::string& out)
{
    for (const auto& [name, child] : node.children) {
        const std::string own = path + "\\" + name;
        out += "  " + own + (child.folder ? "\\" : "");
        out += child.descriptionUtf8.empty() ? "\n" : " : " + child.descriptionUtf8 + "\n";
        dumpNode(child, own, out);
    }
}

std::string dump(const migrate::Disc& disc)
{
    std::string out = "[";
    for (const auto& box : disc.boxesUtf8) {
        out += box + "\\";
    }
    out += disc.nameUtf8 + "]";
    out += disc.descriptionUtf8.empty() ? "\n" : " " + disc.descriptionUtf8 + "\n";
    const migrate::DiscInfo& info = disc.info;
    if (!info.empty()) {
        out += "  #" + info.numberUtf8 + " @" + info.locationUtf8 + " owner=" + info.ownerUtf8 +
               " kind=" + info.kindUtf8;
        if (info.catalogued) {
            const auto& d = *info.catalogued;
            char text[40];
            std::snprintf(text, sizeof text, " %04d-%02d-%02d %02d:%02d:%02d", d.year, d.month,
                          d.day, d.hour, d.minute, d.second);
            out += text;
        }
        out += "\n";
    }
    dumpNode(disc.root, "", out);
    return out;
}

Outcome readBytes(const std::string& bytes, std::optional<Format> format = std::nullopt,
                  const std::string& fileName = "catalogue")
{
    TempDir dir;
    const std::string path = dir / fileName;
    writeFile(path, bytes);
    Outcome outcome;
    try {
        migrate::Input input(path);
        const Format read = format ? *format : migrate::DetectFormat(input, fileName);
        migrate::ReadCatalogue(
            input, read, "列表盘",
            [&](migrate::Disc& disc) {
                outcome.discs += dump(disc);
                outcome.nodes += disc.nodes();
                return true;
            },
            outcome.notes);
    } catch (const migrate::ReadError& error) {
        outcome.error = error.messageUtf8;
    }
    return outcome;
}

// The gzip stream of text and then fill repeated fillCount times, made without holding
// what it unpacks to.
std::string gzipped(const std::string& text, const std::string& fill = "", int fillCount = 0)
{
    z_stream stream = {};
    deflateInit2(&stream, 1, Z_DEFLATED, 16 + 15, 8, Z_DEFAULT_STRATEGY);
    std::string out;
    const auto pack = [&](const std::string& bytes, int flush) {
        stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(bytes.data()));
        stream.avail_in = static_cast<uInt>(bytes.size());
        do {
            char chunk[1 << 16];
            stream.next_out = reinterpret_cast<Bytef*>(chunk);
            stream.avail_out = sizeof chunk;
            deflate(&stream, flush);
            out.append(chunk, sizeof chunk - stream.avail_out);
        } while (stream.avail_out == 0);
    };
    pack(text, Z_NO_FLUSH);
    for (int i = 0; i < fillCount; ++i) {
        pack(fill, Z_NO_FLUSH);
    }
    pack("", Z_FINISH);
    deflateEnd(&stream);
    return out;
}

// ---- Samples, one per format, written from the formats' descriptions ----------------------

const std::string ReportXml = R"(<?xml version="1.0" encoding="UTF-8"?>
<REPORT Title="我的光盘">
<ITEM ItemType="Disk"><NAME>软件一</NAME><DISK_NUM>12</DISK_NUM><DISK_LOCATION>书架三</DISK_LOCATION>
 <DATE>2003-05-14</DATE><TIME>10:22:05</TIME><DESCRIPTION><![CDATA[第一行
第二行 <b>&amp;</b>]]></DESCRIPTION></ITEM>
<ITEM ItemType="Folder"><NAME>I386</NAME><PATH>\</PATH><DISK_NAME>软件一</DISK_NAME></ITEM>
<ITEM ItemType="Folder"><NAME>LANG</NAME><PATH>\I386\</PATH><DESC>语言 &amp; 字体</DESC></ITEM>
<ITEM ItemType="File"><NAME>SETUP</NAME><EXT>EXE</EXT><SIZE>1234</SIZE><PATH>\</PATH>
 <DISK_NAME>软件一</DISK_NAME><DESCRIPTION><![CDATA[安装]]></DESCRIPTION><CRC>0F0F</CRC></ITEM>
<ITEM ItemType="File"><NAME>CHS</NAME><EXT>.TXT</EXT><PATH>\I386\LANG\</PATH></ITEM>
<ITEM ItemType="Disk"><NAME>游戏</NAME><EXT></EXT></ITEM>
<ITEM ItemType="File"><NAME>RUN.BAT</NAME><EXT>BAT</EXT><PATH>\</PATH></ITEM>
</REPORT>
)";

const std::string ReportXmlDiscs = "[软件一] 第一行\n第二行 <b>&amp;</b>\n"
                                   "  #12 @书架三 owner= kind= 2003-05-14 10:22:05\n"
                                   "  \\I386\\\n"
                                   "  \\I386\\LANG\\ : 语言 & 字体\n"
                                   "  \\I386\\LANG\\CHS.TXT\n"
                                   "  \\SETUP.EXE : 安装\n"
                                   "[游戏]\n"
                                   "  \\RUN.BAT\n";

const std::string ClassicCsvUtf8 =
    "File, Folder or Disk;Ext;Item Size;Item Date;Location;Media Type;Folder;Category;"
    "Description;Disk #;Item Time;CRC;Tag;Disk Location;\r\n"
    "工具盘;;;2004-01-02;工具盘;CD-ROM;;;光盘说明\r\n"
    "第二行;7;10:00:00;;;柜子;\r\n"
    "TOOLS;;;;工具盘;CD-ROM;\\;;;7;;;;柜子;\r\n"
    "A;TXT;12;2004-01-01;工具盘;CD-ROM;\\TOOLS\\;;说明;7;;;;柜子;\r\n"
    "B;;0;;工具盘;CD-ROM;\\TOOLS\\SUB\\;;;7;;;;柜子;\r\n"
    "X;DAT;5;;音乐盘;CD-ROM;\\;;;8;;;;;\r\n";

const std::string ClassicCsvDiscs = "[工具盘] 光盘说明\r\n第二行\n"
                                    "  #7 @柜子 owner= kind=CD-ROM 2004-01-02 10:00:00\n"
                                    "  \\TOOLS\\\n"
                                    "  \\TOOLS\\A.TXT : 说明\n"
                                    "  \\TOOLS\\SUB\\\n"
                                    "  \\TOOLS\\SUB\\B\n"
                                    "[音乐盘]\n"
                                    "  #8 @ owner= kind=CD-ROM\n"
                                    "  \\X.DAT\n";

std::string vvv(char separator)
{
    std::string text = "Volume,Path,Name,Size,Ext,Last modified,Description\r\n"
                       "\"备份\\盘一\",\"/I386/LANG\",\"x.txt\",12,\"txt\",\"2004-1-2\","
                       "\"说\"\"明\"\"\"\r\n"
                       "\"备份\\盘一\",\"/\",\"readme\",3,\"\",,\"两行\r\n说明\"\r\n"
                       "盘二,/,y.doc,,doc,,\r\n"
                       "盘二,/A,,,,,空文件夹\r\n";
    for (char& c : text) {
        c = c == ',' ? separator : c;
    }
    return text;
}

const std::string VvvDiscs = "[备份\\盘一]\n"
                             "  \\I386\\\n"
                             "  \\I386\\LANG\\\n"
                             "  \\I386\\LANG\\x.txt : 说\"明\"\n"
                             "  \\readme : 两行\r\n说明\n"
                             "[盘二]\n"
                             "  \\A\\ : 空文件夹\n"
                             "  \\y.doc\n";

std::string cdcatXml(std::string_view gbkName)
{
    return R"(<?xml version="1.0" encoding="UTF-8"?>
<!DOCTYPE HyperCDCatalogFile>
<catalog name="我的目录" owner="me" comment="">
 <datafile version="2.1"/>
 <media name="电影" number="3" owner="张三" type="DVD" time="2005-03-12 14:33:21">
  <comment>电影盘</comment>
  <borrow>李四</borrow>
  <directory name="DIR" time="2005-03-12 14:33:21">
   <comment>目录说明</comment>
   <file name="a.avi" size="12 MB" time="2005-03-12 14:33:21">
    <comment>好看</comment><mp3tag artist="x" title="y"/><category>电影</category>
    <content><![CDATA[<file name="not-a-file"/>]]></content>
   </file>
   <directory name="empty" time="2005-03-12 14:33:21"/>
  </directory>
  <file name=")" +
           std::string(gbkName) + R"(" size="1 byte" time="2005-03-12 14:33:21"/>
 </media>
 <media name="空盘" number="4" type="CD" time="2005-13-40 00:00:00"/>
</catalog>
)";
}

const std::string CdcatDiscs = "[电影] 电影盘\n"
                               "  #3 @ owner=张三 kind=DVD 2005-03-12 14:33:21\n"
                               "  \\DIR\\ : 目录说明\n"
                               "  \\DIR\\a.avi : 好看\n"
                               "  \\DIR\\empty\\\n"
                               "  \\中文名\n"
                               "[空盘]\n"
                               "  #4 @ owner= kind=CD\n";

struct FormatCase
{
    const char* label;
    std::string bytes;
    std::string fileName;
    Format detected;
    std::string discs;
    bool sizesOrDates;
};

class ReaderSamples : public ::testing::TestWithParam<FormatCase>
{
};

TEST_P(ReaderSamples, ReadToTheExpectedDiscs)
{
    const FormatCase& sample = GetParam();
    TempDir dir;
    writeFile(dir / sample.fileName, sample.bytes);
    migrate::Input input(dir / sample.fileName);
    EXPECT_EQ(migrate::DetectFormat(input, sample.fileName), sample.detected);

    const Outcome outcome = readBytes(sample.bytes, std::nullopt, sample.fileName);
    EXPECT_FALSE(outcome.error) << *outcome.error;
    EXPECT_EQ(outcome.discs, sample.discs);
    EXPECT_EQ(outcome.notes.sizesOrDates, sample.sizesOrDates);
}

INSTANTIATE_TEST_SUITE_P(
    Formats, ReaderSamples,
    ::testing::Values(
        FormatCase{"ReportXml", ReportXml, "r.xml", Format::WhereIsItXml, ReportXmlDiscs, true},
        // Without Disk items the discs come from DISK_NAME.
        FormatCase{"ReportXmlByDiskName",
                   "<REPORT><ITEM ItemType=\"File\"><NAME>a</NAME><DISK_NAME>甲</DISK_NAME>"
                   "<PATH>\\x\\</PATH></ITEM><ITEM ItemType=\"File\"><NAME>b</NAME>"
                   "<DISK_NAME>乙</DISK_NAME></ITEM></REPORT>",
                   "r.xml", Format::WhereIsItXml, "[甲]\n  \\x\\\n  \\x\\a\n[乙]\n  \\b\n", false},
        FormatCase{"ClassicCsvUtf8", ClassicCsvUtf8, "r.csv", Format::WhereIsItCsv, ClassicCsvDiscs,
                   true},
        FormatCase{"ClassicCsvGbk", gbk(ClassicCsvUtf8), "r.csv", Format::WhereIsItCsv,
                   ClassicCsvDiscs, true},
        FormatCase{"VvvComma", vvv(','), "v.csv", Format::Vvv, VvvDiscs, true},
        FormatCase{"VvvTab", vvv('\t'), "v.txt", Format::Vvv, VvvDiscs, true},
        FormatCase{"VvvPipe", "\xEF\xBB\xBF" + vvv('|'), "v.txt", Format::Vvv, VvvDiscs, true},
        FormatCase{"Cdcat", gzipped(cdcatXml(gbk("中文名"))), "m.hcf", Format::Cdcat, CdcatDiscs,
                   true},
        FormatCase{"CdcatUtf8Names", gzipped(cdcatXml("中文名")), "m.hcf", Format::Cdcat,
                   CdcatDiscs, true},
        FormatCase{"ListOfFind", "/media/cd\n/media/cd/a\n/media/cd/a/b.txt\n/media/cd/c.txt\n",
                   "l.txt", Format::List, "[列表盘]\n  \\a\\\n  \\a\\b.txt\n  \\c.txt\n", false},
        FormatCase{"ListOfDir", gbk("E:\\工具\r\nE:\\工具\\说明.TXT\r\nE:\\setup.exe\r\n"), "l.txt",
                   Format::List, "[列表盘]\n  \\setup.exe\n  \\工具\\\n  \\工具\\说明.TXT\n",
                   false},
        FormatCase{"ListOfChecksums",
                   "d41d8cd98f00b204e9800998ecf8427e  ./a/x.iso\n"
                   "d41d8cd98f00b204e9800998ecf8427e *b.bin\n"
                   "MD5 (c d.txt) = d41d8cd98f00b204e9800998ecf8427e\n",
                   "l.md5", Format::List,
                   "[列表盘]\n  \\a\\\n  \\a\\x.iso\n  \\b.bin\n  \\c d.txt\n", false}),
    [](const ::testing::TestParamInfo<FormatCase>& info) { return info.param.label; });

TEST(ReaderFormats, NamedFormatsAndTheirNames)
{
    for (const Format format :
         {Format::WhereIsItXml, Format::WhereIsItCsv, Format::Vvv, Format::Cdcat, Format::List}) {
        EXPECT_EQ(migrate::FormatNamed(migrate::FormatName(format)), format);
    }
    EXPECT_FALSE(migrate::FormatNamed("csv"));
}

// ---- Bad input -----------------------------------------------------------------------------

struct BadCase
{
    const char* label;
    std::string bytes;
    std::string fileName;
    std::string errorPart; // "" when the reading ends without an error
    // Discs handed over before the end: the disc being read when it came is dropped.
    std::size_t discs;
};

class BadInput : public ::testing::TestWithParam<BadCase>
{
};

std::string nested(std::size_t levels)
{
    std::string text = "<catalog><media name=\"m\">";
    for (std::size_t i = 0; i < levels; ++i) {
        text += "<directory name=\"d\">";
    }
    return text;
}

TEST_P(BadInput, EndsWithAClearMessageKeepingWhatIsWhole)
{
    const BadCase& bad = GetParam();
    const auto started = std::chrono::steady_clock::now();
    const Outcome outcome = readBytes(bad.bytes, std::nullopt, bad.fileName);
    if (bad.errorPart.empty()) {
        EXPECT_FALSE(outcome.error) << *outcome.error;
    } else {
        ASSERT_TRUE(outcome.error);
        EXPECT_NE(outcome.error->find(bad.errorPart), std::string::npos) << *outcome.error;
    }
    EXPECT_EQ(static_cast<std::size_t>(std::count(outcome.discs.begin(), outcome.discs.end(), '[')),
              bad.discs)
        << outcome.discs;
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(20));
}

const std::string Bomb = R"(<?xml version="1.0"?>
<!DOCTYPE REPORT [<!ENTITY a "aaaaaaaaaa"><!ENTITY b "&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;">
<!ENTITY c "&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;"><!ENTITY d "&c;&c;&c;&c;&c;&c;&c;&c;&c;&c;">]>
<REPORT><ITEM ItemType="Disk"><NAME>&d;</NAME></ITEM></REPORT>)";

const std::string External = R"(<?xml version="1.0"?>
<!DOCTYPE REPORT [<!ENTITY x SYSTEM "file:///etc/passwd">]>
<REPORT><ITEM ItemType="Disk"><NAME>&x;</NAME></ITEM></REPORT>)";

std::string gzipBomb()
{
    return gzipped("<catalog><media name=\"m\"><comment>", std::string(1 << 20, 'a'), 200);
}

INSTANTIATE_TEST_SUITE_P(
    Hostile, BadInput,
    ::testing::Values(
        BadCase{"TruncatedReport",
                ReportXml.substr(0, ReportXml.find("<ITEM ItemType=\"File\"><NAME>RUN")), "r.xml",
                "XML", 1},
        BadCase{"EntityBomb", Bomb, "r.xml", "实体", 0},
        BadCase{"ExternalEntity", External, "r.xml", "实体", 0},
        BadCase{"UndefinedEntity",
                "<REPORT><ITEM ItemType=\"Disk\"><NAME>&x;</NAME></ITEM></REPORT>", "r.xml", "XML",
                0},
        BadCase{"DeepNesting", nested(1000000), "m.xml", "嵌套", 0},
        BadCase{"NotXmlAtAll", "<REPORT><ITEM \x01></REPORT>", "r.xml", "XML", 0},
        BadCase{"HugeCsvLine", ClassicCsvUtf8 + "a;" + std::string(5 << 20, 'x'), "r.csv", "4MB",
                1},
        BadCase{"HugeVvvField", vvv(',') + "V,/,\"" + std::string(5 << 20, 'x'), "v.csv", "4MB", 1},
        BadCase{"HugeListLine", std::string(5 << 20, 'x'), "l.txt", "4MB", 0},
        BadCase{"GzipBomb", gzipBomb(), "m.hcf", "过大", 0},
        BadCase{"TruncatedGzip", gzipped(cdcatXml("x")).substr(0, 200), "m.hcf", "gzip", 0},
        BadCase{"EncryptedCdcat", "ENCRYPTED\x01\x02\x03", "m.hcf", "加密", 0},
        BadCase{"BinaryJunk", std::string("\x00\x01\x02junk", 7), "x.bin", "二进制", 0}),
    [](const ::testing::TestParamInfo<BadCase>& info) { return info.param.label; });

TEST(BadInputNotes, RowsThatCannotBeReadAreReportedAndTheRestImported)
{
    const Outcome classic =
        readBytes(ClassicCsvUtf8 + "only;three;fields;\r\n", Format::WhereIsItCsv);
    EXPECT_EQ(classic.discs, ClassicCsvDiscs);
    ASSERT_EQ(classic.notes.problemsUtf8.size(), 1u);
    EXPECT_EQ(classic.notes.problemsUtf8[0], "第 8 行的栏目不足 14 个, 已略去");

    const Outcome orphan = readBytes("<REPORT><ITEM ItemType=\"File\"><NAME>a</NAME></ITEM>"
                                     "<ITEM ItemType=\"Tape\"><NAME>b</NAME></ITEM></REPORT>");
    EXPECT_EQ(orphan.discs, "");
    EXPECT_EQ(orphan.notes.problemsUtf8,
              (std::vector<std::string>{"不属于任何光盘的项目已略去: a",
                                        "未知的项目种类 \"Tape\", 已略去: b"}));

    std::string deep = "E:\\";
    for (int i = 0; i < 300; ++i) {
        deep += "d\\";
    }
    const Outcome tooDeep = readBytes(deep + "f.txt\r\nE:\\ok.txt\r\n", Format::List);
    EXPECT_EQ(tooDeep.discs, "[列表盘]\n  \\ok.txt\n");
    EXPECT_EQ(tooDeep.notes.problemsUtf8,
              std::vector<std::string>{"列表盘: 路径超过 256 层, 已略去: f.txt"});
}

// ---- Fuzzing -------------------------------------------------------------------------------

// Damaged copies of each sample, seeded and bounded in time: every reading ends, with
// discs or a message, and never holds more nodes than the file has bytes.
TEST(ReaderFuzz, DamagedSamplesEndCleanly)
{
    const std::vector<std::pair<std::string, std::string>> samples = {
        {ReportXml, "r.xml"},
        {gbk(ClassicCsvUtf8), "r.csv"},
        {vvv(','), "v.csv"},
        {cdcatXml(gbk("中文名")), "m.xml"},
        {gzipped(cdcatXml("x")), "m.hcf"},
        {"/m/cd\n/m/cd/a\n/m/cd/a/b\n", "l.txt"}};
    testing_support::Mutator mutator(20261208);
    for (const auto& [sample, name] : samples) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(1);
        int runs = 0;
        while (std::chrono::steady_clock::now() < deadline && runs < 3000) {
            const std::string damaged = mutator.mutate(sample);
            const auto format = static_cast<Format>(runs % 5);
            const Outcome outcome =
                readBytes(damaged, runs % 2 == 0 ? std::optional(format) : std::nullopt, name);
            ASSERT_LE(outcome.nodes, damaged.size()) << name << " run " << runs;
            ++runs;
        }
        EXPECT_GT(runs, 50) << name;
    }
}

} // namespace
