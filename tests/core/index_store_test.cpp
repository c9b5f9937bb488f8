#include "catalog/disk.h"
#include "catalog/record_set.h"
#include "search/engine.h"
#include "search/index_build.h"
#include "search/index_filter.h"
#include "search/index_keeper.h"
#include "search/index_store.h"

#include "tests/support/temp_library.h"

#include <gtest/gtest.h>

#include <fcntl.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <random>

using namespace search;
using testing_support::gbk;
using testing_support::readFile;
using testing_support::TempDir;
using testing_support::writeFile;

class IndexStore : public ::testing::Test
{
protected:
    void addCd(const std::string& relativeUtf8, const std::string& listingUtf8,
               const std::string& descriptionUtf8 = "")
    {
        const std::string base = m_lib / gbk(relativeUtf8);
        writeFile(base + ".Cdr", gbk(listingUtf8));
        writeFile(base + ".tag", "0\r\n");
        if (!descriptionUtf8.empty()) {
            writeFile(base + ".Mx", gbk(descriptionUtf8));
        }
    }

    std::vector<RecordNumber> candidates(const SearchIndex& index, IndexedText text,
                                         const std::string& termUtf8)
    {
        std::vector<RecordNumber> all;
        for (std::size_t s = 0; s < index.segments().size(); ++s) {
            std::vector<RecordNumber> numbers;
            EXPECT_TRUE(index.segments()[s].recordsWithAll(text, false, *TermGrams(gbk(termUtf8)),
                                                           numbers));
            all.insert(all.end(), numbers.begin(), numbers.end());
        }
        return all;
    }

    std::string folder() const { return IndexFolderOf(m_cache.path(), m_lib.path()); }

    TempDir m_lib;
    TempDir m_cache;
};

TEST_F(IndexStore, ARebuildHoldsEveryRecordOfTheLibraryByItsKeyWithItsTexts)
{
    addCd("软件/工具盘", "E:\\\r\n\tSETUP.EXE\r\n", "装机必备");
    addCd("软件/TOOLS", "E:\\\r\n\tREADME\r\n");
    writeFile(m_lib / gbk("软件/孤单.tag"), "0\r\n");        // no listing: no record
    writeFile(m_lib / gbk("软件/没有图标.Cdr"), "E:\\\r\n"); // no .tag: no record

    EXPECT_EQ(SearchIndex::open(folder(), m_lib.path()), nullptr) << "nothing built yet";
    EXPECT_EQ(RebuildIndex(folder(), m_lib.path()), 2u);
    const auto index = SearchIndex::open(folder(), m_lib.path());
    ASSERT_NE(index, nullptr);
    EXPECT_EQ(index->recordCount(), 2u);
    const auto* tools = index->find(gbk("软件\\工具盘.Cdr"));
    ASSERT_NE(tools, nullptr);
    const IndexedRecord record = index->record(*tools);
    EXPECT_EQ(record.stamps[0].name, gbk("工具盘.Cdr"));
    EXPECT_EQ(record.stamps[0].size, 17u);
    EXPECT_EQ(record.stamps[1].name, gbk("工具盘.Mx"));
    EXPECT_EQ(record.stamps[2], FileStamp{}); // no .FMx
    EXPECT_EQ(record.stamps[0].changedNs, -1) << "written just now: read again next time";
    EXPECT_EQ(candidates(*index, IndexedText::Description, "必备"),
              std::vector<RecordNumber>{tools->number});
    EXPECT_EQ(candidates(*index, IndexedText::Content, "setup"),
              std::vector<RecordNumber>{tools->number});
    EXPECT_EQ(index->find(gbk("软件\\没有图标.Cdr")), nullptr);
}

TEST_F(IndexStore, ANewerSegmentSpeaksForItsRecordsAndAnyDamageUnreadsTheIndex)
{
    addCd("A/一", "E:\\\r\n\tOLD\r\n");
    addCd("A/二", "E:\\\r\n\tTWO\r\n");
    RebuildIndex(folder(), m_lib.path());
    const std::size_t built = SearchIndex::open(folder(), m_lib.path())->segments().size();
    {
        IndexUpdate update(folder(), m_lib.path());
        SegmentWriter writer;
        writer.add({gbk("A\\一.Cdr"), {}}, {std::vector<std::string_view>{"E:\\\r\n\tNEW\r\n"}});
        update.add(writer);
        update.commit(false);
    }
    auto index = SearchIndex::open(folder(), m_lib.path());
    ASSERT_NE(index, nullptr);
    ASSERT_EQ(index->segments().size(), built + 1);
    EXPECT_EQ(index->recordCount(), 2u);
    EXPECT_EQ(index->find(gbk("A\\一.Cdr"))->segment, built);
    EXPECT_LT(index->find(gbk("A\\二.Cdr"))->segment, built);

    // Another library's index in the same place, a rebuild's segment named after an
    // update's (each of its records would be taken for its newest), or a damaged segment:
    // no index at all.
    TempDir other;
    EXPECT_EQ(SearchIndex::open(folder(), other.path()), nullptr);
    const std::string manifest = readFile(folder() + "manifest");
    const auto update = manifest.find("\nupdate ") + 1;
    const auto updateLine = manifest.substr(update, manifest.find('\n', update) + 1 - update);
    std::string misordered = manifest;
    misordered.erase(update, updateLine.size());
    misordered.insert(misordered.find("\nsegment ") + 1, updateLine);
    writeFile(folder() + "manifest", misordered);
    EXPECT_EQ(SearchIndex::open(folder(), m_lib.path()), nullptr);
    writeFile(folder() + "manifest", manifest);
    ASSERT_NE(SearchIndex::open(folder(), m_lib.path()), nullptr);
    std::vector<catalog::DirEntry> entries;
    catalog::ListFolder(folder(), entries);
    for (const auto& entry : entries) {
        if (entry.name.ends_with(".vmx")) {
            std::string bytes = readFile(folder() + entry.name);
            bytes[bytes.size() / 2] ^= 1;
            writeFile(folder() + entry.name, bytes);
            break;
        }
    }
    EXPECT_EQ(SearchIndex::open(folder(), m_lib.path()), nullptr);

    // A rebuild replaces it whole and leaves no file of the old one. Its two threads may
    // each write a segment, so the files are counted against the segments it lists.
    RebuildIndex(folder(), m_lib.path());
    index = SearchIndex::open(folder(), m_lib.path());
    ASSERT_NE(index, nullptr);
    EXPECT_EQ(index->recordCount(), 2u);
    std::size_t entriesHeld = 0;
    for (const auto& segment : index->segments()) {
        entriesHeld += segment.size();
    }
    EXPECT_EQ(entriesHeld, 2u) << "no entry of the old index is carried over";
    catalog::ListFolder(folder(), entries);
    EXPECT_EQ(static_cast<std::size_t>(
                  std::count_if(entries.begin(), entries.end(),
                                [](const auto& e) { return e.name.ends_with(".vmx"); })),
              index->segments().size());
}

TEST_F(IndexStore, AWalkFindsEachRecordsNewestEntryInWhateverOrderItComes)
{
    const std::vector<std::string> names = {gbk("一"), gbk("二"), gbk("三")};
    // All three by a rebuild or by an update, then 二 anew by an update.
    for (const bool rebuilt : {true, false}) {
        std::filesystem::remove_all(folder());
        for (const std::size_t first : {0, 1}) {
            IndexUpdate update(folder(), m_lib.path());
            SegmentWriter writer;
            for (std::size_t i = first; i < names.size() - first; ++i) {
                writer.add({"A\\" + names[i] + ".Cdr", {}},
                           {std::vector<std::string_view>{"E:\\"}});
            }
            update.add(writer);
            update.commit(rebuilt && first == 0);
        }
        const auto index = SearchIndex::open(folder(), m_lib.path());
        ASSERT_NE(index, nullptr);
        EXPECT_EQ(index->recordCount(), 3u);
        EXPECT_EQ(index->find("A\\" + names[1] + ".Cdr")->segment, 1u);
        EntryFinder finder(*index);
        for (const auto& order : {std::vector<int>{0, 1, 2}, {2, 1, 0}, {0, 0, 1, 1, 2}}) {
            for (const int i : order) {
                const auto found = finder.find("A\\" + names[i], names[i] + ".Cdr");
                const auto* expected = index->find("A\\" + names[i] + ".Cdr");
                ASSERT_TRUE(found.has_value());
                EXPECT_EQ(found->segment, expected->segment) << rebuilt << i;
                EXPECT_EQ(found->number, expected->number) << rebuilt << i;
            }
        }
        EXPECT_FALSE(finder.find("A\\" + gbk("四"), gbk("四.Cdr")).has_value());
    }
}

// Eight threads share the records in runs; one that cannot write its segment fails the
// whole rebuild, which leaves the index there was rather than one without that segment.
TEST_F(IndexStore, ARebuildThatCannotWriteThrowsAndKeepsTheIndexThereWas)
{
    for (int i = 0; i < 100; ++i) {
        addCd("盒/" + std::to_string(i), "E:\\\r\n\tFILE" + std::to_string(i) + "\r\n");
    }
    ASSERT_EQ(RebuildIndex(folder(), m_lib.path()), 100u);
    const auto segmentFiles = [&] {
        std::vector<catalog::DirEntry> entries;
        catalog::ListFolder(folder(), entries);
        return std::count_if(entries.begin(), entries.end(),
                             [](const auto& e) { return e.name.ends_with(".vmx"); });
    };
    const auto before = segmentFiles();
    addCd("盒/新", "E:\\\r\n");
    {
        // The first segment written fails; the others, and the manifest, could be written.
        std::atomic<int> flushes{0};
        const catalog::ScopedDiskCalls diskFull(
            [&](int fd) { return flushes++ == 0 ? (errno = ENOSPC, -1) : ::fsync(fd); }, {}, {});
        EXPECT_THROW(RebuildIndex(folder(), m_lib.path()), catalog::FileError);
    }
    EXPECT_EQ(segmentFiles(), before) << "no segment of the failed rebuild is left";
    const auto index = SearchIndex::open(folder(), m_lib.path());
    ASSERT_NE(index, nullptr);
    EXPECT_EQ(index->recordCount(), 100u);
    EXPECT_EQ(index->find(gbk("盒\\新.Cdr")), nullptr);
}

TEST_F(IndexStore, AStampSeesEveryChangeAndNeverTrustsOneMadeJustNow)
{
    const std::string path = m_lib / "x.Cdr";
    writeFile(path, "E:\\\r\n");
    const FileStamp racy = StampFile(AT_FDCWD, path);
    EXPECT_EQ(racy.name, "x.Cdr");
    EXPECT_FALSE(racy.matches(StampFile(AT_FDCWD, path))) << "read again next time";

    const FileStamp seen = StampFile(AT_FDCWD, path, 0);
    EXPECT_TRUE(seen.matches(StampFile(AT_FDCWD, path, 0)));
    writeFile(path, "E:\\\r\n"); // the same bytes written again: a change all the same
    EXPECT_FALSE(seen.matches(StampFile(AT_FDCWD, path, 0)));
    EXPECT_TRUE(FileStamp{}.matches(StampFile(AT_FDCWD, m_lib / "nothing", 0)));
    EXPECT_FALSE(seen.matches(StampFile(AT_FDCWD, m_lib / "nothing", 0)));
}

// A listing that is a link to a file is read through the link, so its stamp is the file's:
// an unchanged file is trusted, and a change of it is seen.
TEST_F(IndexStore, AListingReadThroughALinkIsStampedAsTheFileItReads)
{
    TempDir outside;
    writeFile(outside / "t.Cdr", gbk("E:\\\r\n\tONE\r\n"));
    writeFile(m_lib / gbk("盒/甲.tag"), "0\r\n");
    const std::string link = m_lib / gbk("盒/甲.Cdr");
    ASSERT_EQ(::symlink((outside / "t.Cdr").c_str(), link.c_str()), 0);
    ::sleep(2); // older than the stamps' window
    ASSERT_EQ(RebuildIndex(folder(), m_lib.path()), 1u);
    const auto index = SearchIndex::open(folder(), m_lib.path());
    ASSERT_NE(index, nullptr);
    const FileStamp indexed = index->record(*index->find(gbk("盒\\甲.Cdr"))).stamps[0];
    EXPECT_TRUE(indexed.matches(StampFile(AT_FDCWD, link)));
    writeFile(outside / "t.Cdr", gbk("E:\\\r\n\tTWO\r\n"));
    EXPECT_FALSE(indexed.matches(StampFile(AT_FDCWD, link, 0)));
}

// The entries kept of a folder stand for it only while its stamp is the one kept: not
// once an entry came or went, never for a folder with a link, and damaged bytes are
// refused without a crash.
TEST_F(IndexStore, KeptFolderEntriesStandOnlyForTheFolderAsItWas)
{
    addCd("盒/甲", "E:\\\r\n\ta\r\n");
    addCd("盒/乙", "E:\\\r\n\tb\r\n");
    addCd("连/丙", "E:\\\r\n\tc\r\n");
    ASSERT_EQ(::symlink("/tmp", (m_lib / gbk("连/外面")).c_str()), 0);
    ::sleep(2); // older than the stamps' window
    RebuildIndex(folder(), m_lib.path());
    const auto stampOf = [](const std::string& path) {
        const catalog::FileDescriptor fd(::open(path.c_str(), O_RDONLY | O_DIRECTORY));
        return StampFolder(fd.get());
    };
    const std::string box = m_lib / gbk("盒/");
    const std::string linked = m_lib / gbk("连/");
    auto index = SearchIndex::open(folder(), m_lib.path());
    ASSERT_NE(index, nullptr);
    const auto described = [](const std::vector<catalog::DirEntry>& entries) {
        std::string text;
        for (const auto& entry : entries) {
            text += entry.name + (entry.isFolder ? "/" : "") + (entry.isRegular ? "" : "?") + " ";
        }
        return text;
    };
    std::vector<catalog::DirEntry> kept, listed;
    ASSERT_TRUE(index->listings().fresh(box, stampOf(box), kept));
    catalog::ListFolder(box, listed);
    EXPECT_EQ(kept.size(), 4u); // two listings, two icon lists
    EXPECT_EQ(described(kept), described(listed));
    EXPECT_FALSE(index->listings().fresh(linked, stampOf(linked), kept));

    writeFile(box + gbk("丁.Cdr"), "E:\\\r\n");
    EXPECT_FALSE(index->listings().fresh(box, stampOf(box), kept));

    const std::string bytes = readFile(folder() + "listings");
    ASSERT_TRUE(FolderListings::read(bytes));
    std::mt19937 random(7);
    int refused = 0;
    for (int round = 0; round < 500; ++round) {
        std::string damaged = bytes;
        if (round % 2 == 0) {
            damaged[random() % damaged.size()] ^= static_cast<char>(1 + random() % 255);
        } else {
            damaged.resize(random() % damaged.size());
        }
        refused += FolderListings::read(damaged) ? 0 : 1;
    }
    EXPECT_EQ(refused, 500);
    writeFile(folder() + "listings", bytes.substr(0, bytes.size() / 2));
    index = SearchIndex::open(folder(), m_lib.path());
    ASSERT_NE(index, nullptr) << "a damaged file of listings costs listings, not the index";
    EXPECT_EQ(index->listings().size(), 0u);
}

TEST_F(IndexStore, TheKeeperBuildsAMissingIndexAndReadsAgainWhatIsWrittenThroughTheStore)
{
    addCd("A/一", "E:\\\r\n\tONE\r\n");
    {
        IndexKeeper keeper(folder(), m_lib.path());
        EXPECT_EQ(keeper.open(), nullptr);
        keeper.buildIfMissing();
        keeper.waitIdle();
        ASSERT_NE(keeper.open(), nullptr);
        EXPECT_EQ(keeper.open()->recordCount(), 1u);

        writeFile(m_lib / gbk("A/二.tag"), "0\r\n");
        catalog::WriteRecordFile(m_lib / gbk("A/"), gbk("二"), catalog::RecordExt::Cdr,
                                 "E:\\\r\n\tTWO\r\n");
        keeper.waitIdle();
        const auto index = keeper.open();
        ASSERT_NE(index, nullptr);
        EXPECT_NE(index->find(gbk("A\\二.Cdr")), nullptr);
        EXPECT_EQ(index->recordCount(), 2u);
    }
    // A damaged index is built anew, as a missing one is.
    for (const auto& entry : std::filesystem::directory_iterator(folder())) {
        if (entry.path().extension() == ".vmx") {
            std::filesystem::resize_file(entry.path(),
                                         std::filesystem::file_size(entry.path()) / 2);
        }
    }
    ASSERT_EQ(SearchIndex::open(folder(), m_lib.path()), nullptr);
    {
        IndexKeeper keeper(folder(), m_lib.path());
        keeper.buildIfMissing();
        keeper.waitIdle();
        ASSERT_NE(keeper.open(), nullptr);
        EXPECT_EQ(keeper.open()->recordCount(), 2u);
    }
    // Going away in the middle of a build leaves no index behind, and does not hang.
    TempDir otherCache;
    for (int i = 0; i < 300; ++i) {
        addCd("B/" + std::to_string(i), "E:\\\r\n\tX\r\n");
    }
    const std::string otherFolder = IndexFolderOf(otherCache.path(), m_lib.path());
    {
        IndexKeeper keeper(otherFolder, m_lib.path());
        keeper.buildIfMissing();
    }
    EXPECT_TRUE(SearchIndex::open(otherFolder, m_lib.path()) == nullptr ||
                SearchIndex::open(otherFolder, m_lib.path())->recordCount() == 301u);
}

// A folder changed just before the index was built is listed by every search until one
// keeps its entries: the first search that lists it once it is old enough to trust.
TEST_F(IndexStore, ASearchKeepsTheEntriesOfTheFoldersItHadToListForTheNextOne)
{
    addCd("盒/甲", "E:\\\r\n\tONE\r\n");
    RebuildIndex(folder(), m_lib.path());
    const std::string box = m_lib / gbk("盒/");
    const auto keptOfBox = [&](const SearchIndex& index) {
        const catalog::FileDescriptor fd(::open(box.c_str(), O_RDONLY | O_DIRECTORY));
        std::vector<catalog::DirEntry> kept;
        return index.listings().fresh(box, StampFolder(fd.get()), kept) ? kept.size() : 0;
    };
    ASSERT_EQ(keptOfBox(*SearchIndex::open(folder(), m_lib.path())), 0u) << "too recent";

    class Quiet : public SearchProgress
    {
        void status(const std::string&) override {}
        void caption(const std::string&) override {}
        void found(const std::string&) override {}
        bool aborted() override { return false; }
    } quiet;
    IndexKeeper keeper(folder(), m_lib.path());
    const auto search = [&] {
        const auto index = keeper.open();
        SearchRequest request;
        request.text.termsGbk = {"ONE"};
        request.scope.push_back({"Orlendy", ScopeKind::Library});
        request.index = index.get();
        SearchOutcome outcome = RunSearch(m_lib.path(), request, quiet);
        EXPECT_EQ(outcome.hits, 1);
        keeper.refresh(std::move(outcome.staleRecords), std::move(outcome.listedFolders));
        keeper.waitIdle();
    };
    ::sleep(2);
    search();
    EXPECT_EQ(keptOfBox(*keeper.open()), 2u);

    // A folder listed while still too recent to trust writes nothing.
    addCd("盒/乙", "E:\\\r\n\tTWO\r\n");
    const std::string listings = readFile(folder() + "listings");
    search();
    EXPECT_EQ(readFile(folder() + "listings"), listings);
    EXPECT_EQ(keptOfBox(*keeper.open()), 0u);
}

// Each update adds a segment, and a record's older entries stay until the index is built anew:
// an index updated often is built anew before they outnumber its records.
TEST_F(IndexStore, AnIndexUpdatedOftenIsBuiltAnewBeforeItsOldEntriesOutnumberItsRecords)
{
    constexpr std::size_t Cds = 300;
    for (std::size_t i = 0; i < Cds; ++i) {
        addCd("盒/" + std::to_string(i), "E:\\\r\n\tF" + std::to_string(i) + "\r\n");
    }
    RebuildIndex(folder(), m_lib.path());
    bool builtAnew = false;
    std::size_t entriesBefore = Cds;
    for (int round = 0; round < 12; ++round) {
        RefreshFolders(folder(), m_lib.path(), {m_lib / gbk("盒")});
        const auto index = SearchIndex::open(folder(), m_lib.path());
        ASSERT_NE(index, nullptr);
        std::size_t entries = 0;
        for (const auto& segment : index->segments()) {
            entries += segment.size();
        }
        EXPECT_EQ(index->recordCount(), Cds);
        EXPECT_LE(entries, 2 * Cds + 2000) << "round " << round;
        builtAnew = builtAnew || entries < entriesBefore;
        entriesBefore = entries;
    }
    EXPECT_TRUE(builtAnew);
}
