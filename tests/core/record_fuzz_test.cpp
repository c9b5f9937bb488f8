// Damaged record files of every format, thousands of them, through the readers: nothing
// may crash, read past its data or hang, and what a reader accepts must write back and
// read again the same. Seeds are fixed, so a failure repeats; the sanitizer build runs
// these too.

#include "catalog/cdinfo.h"
#include "catalog/record_files.h"
#include "catalog/tree_text.h"
#include "tests/support/mutator.h"
#include "tests/support/temp_library.h"

#include <gtest/gtest.h>

using testing_support::gbk;
using testing_support::Mutator;
using testing_support::TempDir;
using testing_support::writeFile;

namespace {

constexpr int Rounds = 20000;

const std::string& sampleListing()
{
    static const std::string listing =
        gbk("E:\\\r\n\tSETUP\r\n\t\tDATA\r\n\t\t\t读我.TXT\r\n\t\tSETUP.EXE\r\n\t空目录\r\n"
            "\tREADME.TXT\r\n");
    return listing;
}

const std::string SampleTag = "0\r\n1\r\n1\r\n4\r\n3\r\n1\r\n4\r\n";

// The shape of a tree: depth and text of every node in index order.
std::vector<std::pair<int, std::string>> shapeOf(const catalog::Tree& tree)
{
    std::vector<std::pair<int, std::string>> shape;
    for (const catalog::NodeId node : tree.indexOrder()) {
        shape.emplace_back(tree.depth(node), tree.text(node));
    }
    return shape;
}

} // namespace

TEST(RecordFuzz, TreeTextReadsWhatItCanAndWritesItBackUnchanged)
{
    Mutator mutator(1);
    for (int round = 0; round < Rounds; ++round) {
        const std::string text = mutator.mutate(sampleListing());
        catalog::Tree tree;
        catalog::ReadTreeText(text, tree);
        EXPECT_LE(tree.size(), catalog::SplitLines(text).size() + 1);
        for (const catalog::NodeId node : tree.indexOrder()) {
            const catalog::NodeId parent = tree.parent(node);
            ASSERT_TRUE(parent == catalog::NoNode || tree.depth(parent) + 1 == tree.depth(node));
        }
        // Names that begin with a blank, or hold a line break, do not survive a write;
        // every other tree reads back node for node.
        catalog::Tree again;
        const catalog::TreeLoad reread = catalog::ReadTreeText(catalog::WriteTreeText(tree), again);
        bool plainNames = true;
        for (const catalog::NodeId node : tree.indexOrder()) {
            const std::string& name = tree.text(node);
            plainNames = plainNames && (name.empty() || (name.front() != ' ' && name.front() != '\t')) &&
                         name.find_first_of("\r\n") == std::string::npos;
        }
        if (plainNames) {
            ASSERT_TRUE(reread.ok) << round;
            ASSERT_EQ(shapeOf(again), shapeOf(tree)) << round;
        }
    }
}

TEST(RecordFuzz, IconListsStopAtTheirFirstBadLine)
{
    catalog::Tree tree;
    catalog::ReadTreeText(sampleListing(), tree);
    Mutator mutator(2);
    for (int round = 0; round < Rounds; ++round) {
        const std::string tag = mutator.mutate(SampleTag);
        const catalog::TagApply applied = catalog::ApplyTagText(tag, tree);
        const auto lines = catalog::SplitLines(tag);
        if (applied.ok) {
            ASSERT_GE(lines.size(), tree.size()) << round;
        } else {
            ASSERT_FALSE(applied.errorUtf8.empty()) << round;
        }
    }
}

TEST(RecordFuzz, NodeNotesLookUpAndSetOnAnyText)
{
    const std::string sample = gbk("SETUP\\\r\n安装程序\r\nSETUP\\DATA\\\r\n数据\r\n\r\n根\r\n");
    Mutator mutator(3);
    for (int round = 0; round < Rounds; ++round) {
        catalog::NodeNotes notes = catalog::NodeNotes::parse(mutator.mutate(sample));
        for (const char* path : {"SETUP\\", "setup\\data\\", "", "MISSING\\"}) {
            const std::string* found = notes.lookUp(path);
            if (found != nullptr) {
                ASSERT_GE(notes.lines().size(), 2u);
            }
        }
        notes.set("NEW\\", gbk("新\r\n描述"));
        ASSERT_NE(notes.lookUp("new\\"), nullptr) << round;
        ASSERT_EQ(catalog::NodeNotes::parse(notes.text()).lines(), notes.lines()) << round;
    }
}

TEST(RecordFuzz, InformationRecordsDecodeToWhatTheyEncode)
{
    catalog::TCDInfo info;
    info.cdno = "A-1";
    info.cdowner = gbk("张三");
    info.cdtime = 45000.5;
    info.cdmoney = "650000000";
    info.cdother = gbk("其它说明");
    const auto encoded = catalog::EncodeCDInfo(info);
    const std::string sample(encoded.data(), encoded.size());
    Mutator mutator(4);
    for (int round = 0; round < Rounds; ++round) {
        const auto decoded = catalog::DecodeCDInfo(mutator.mutate(sample));
        if (!decoded) {
            continue;
        }
        const auto bytes = catalog::EncodeCDInfo(*decoded);
        const auto again = catalog::DecodeCDInfo(std::string_view(bytes.data(), bytes.size()));
        ASSERT_TRUE(again.has_value());
        const auto bytesAgain = catalog::EncodeCDInfo(*again);
        ASSERT_EQ(bytes, bytesAgain) << round;
        // A damaged date is shown, not trusted: any double must turn into some date.
        const catalog::DateTimeParts parts = catalog::FromDayNumber(decoded->cdtime);
        ASSERT_TRUE(parts.month >= 1 && parts.month <= 12 && parts.day >= 1 && parts.day <= 31)
            << round << ": " << decoded->cdtime;
    }
}

TEST(RecordFuzz, RecordsOnDiskLoadOrReportTheirError)
{
    TempDir box;
    const catalog::RecordRef record{box.path(), "cd"};
    Mutator mutator(5);
    for (int round = 0; round < 50; ++round) { // each round writes and flushes files
        writeFile(box / "cd.Cdr", mutator.mutate(sampleListing()));
        writeFile(box / "cd.tag", mutator.mutate(SampleTag));
        catalog::Tree tree;
        const catalog::RecordLoad load = catalog::LoadRecordTree(record, ".Cdr", tree);
        const catalog::EntryTotals totals = catalog::CountTreeEntries(tree);
        ASSERT_EQ(totals.folders + totals.files + (tree.empty() ? 0 : 1),
                  static_cast<long long>(tree.size()));
        ASSERT_TRUE(load.tree.ok || !load.tree.errorUtf8.empty());
        catalog::RebuildTagFromTree(record);
    }
}
