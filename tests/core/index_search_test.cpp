#include "catalog/disk.h"
#include "catalog/library.h"
#include "search/engine.h"
#include "search/index_build.h"
#include "search/index_store.h"
#include "search/record_walk.h"

#include "tests/support/temp_library.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <random>

using namespace search;
using testing_support::gbk;
using testing_support::snapshot;
using testing_support::TempDir;
using testing_support::writeFile;

namespace {

class Quiet : public SearchProgress
{
public:
    void status(const std::string&) override {}
    void caption(const std::string&) override {}
    void found(const std::string&) override {}
    bool aborted() override { return false; }
};

const std::string Pieces[] = {"a",  "B",  "x",  "readme", "SETUP", ".",  " ",  "1",  "软",
                              "件", "光", "盘", "长",     "城",    "乗", "衆", "丂", "文档"};

std::string randomText(std::mt19937& random, std::size_t pieces)
{
    std::string text;
    for (std::size_t n = 1 + random() % pieces; n > 0; --n) {
        text += gbk(Pieces[random() % std::size(Pieces)]);
    }
    return text;
}

std::string randomListing(std::mt19937& random)
{
    std::string listing = "E:\\\r\n";
    int depth = 1;
    for (std::size_t n = random() % 10; n > 0; --n) {
        listing += std::string(depth, '\t') + randomText(random, 3) + "\r\n";
        depth = 1 + random() % std::min(depth + 1, 3);
    }
    return listing;
}

// A record with some of its companions, most in one of three boxes, the rest in boxes
// beside and below them, more than a walk reads ahead; names may be case twins.
void writeRecord(std::mt19937& random, const std::string& library, int i)
{
    static const char* crowded[] = {"", "box/", "box/inner/"};
    static const char* sparse[] = {"b/", "c/",     "d/",           "e/",
                                   "f/", "box/g/", "box/inner/h/", "box/inner/h/i/"};
    const char* box = random() % 3 != 0 ? crowded[random() % 3] : sparse[random() % 8];
    const std::string base = library + box + (i % 7 == 0 ? std::string("Twin") : gbk("光盘")) +
                             std::to_string(i % 7 == 0 ? i % 2 : i);
    const std::string cdr = random() % 5 == 0 ? ".CDR" : ".Cdr";
    writeFile(base + (i % 14 == 0 ? ".cdr" : cdr), randomListing(random));
    writeFile(base + ".tag", "0\r\n");
    if (random() % 3 != 0) {
        writeFile(base + ".Mx", randomText(random, 4));
    }
    if (random() % 3 == 0) {
        writeFile(base + ".FMx", "E:\\A\r\n" + randomText(random, 3) + "\r\nE:\\B\r\n" +
                                     randomText(random, 3) + "\r\n");
    }
}

SearchRequest randomRequest(std::mt19937& random)
{
    SearchRequest request;
    std::string text = randomText(random, 2);
    if (random() % 3 == 0) {
        text += "\\" + randomText(random, 2);
    }
    if (random() % 4 == 0) { // a term that starts a name one level down
        text += "\\\t" + randomText(random, 2);
    }
    request.text.searchTextGbk = text;
    request.text.termsGbk = SplitTerms(text);
    request.text.content = random() % 2 == 0;
    request.text.name = random() % 4 == 0;
    request.text.description = random() % 2 == 0;
    request.text.internal = random() % 3 == 0;
    if (!request.text.name && !request.text.description && !request.text.internal) {
        request.text.content = true;
    }
    request.text.onlyNodes = request.text.content && !request.text.name &&
                             !request.text.description && !request.text.internal &&
                             random() % 3 == 0;
    request.text.pinyin = random() % 3 == 0;
    request.scope.push_back({"Orlendy", ScopeKind::Library});
    return request;
}

} // namespace

// The index may only spare reads: over random libraries, searches and edits made through
// the index's refresh and behind its back, the indexed search writes what the scan writes.
TEST(IndexedSearch, GivesTheScansResultsByteForByte)
{
    std::mt19937 random(20261208);
    TempDir library;
    TempDir cache;
    const std::string index = IndexFolderOf(cache.path(), library.path());
    // Enough records in each box that both walking threads stamp them.
    constexpr int Records = 200;
    for (int i = 0; i < Records; ++i) {
        writeRecord(random, library.path(), i);
    }
    for (const char* box : {"", "box/", "box/inner/"}) {
        std::vector<catalog::DirEntry> entries;
        catalog::ListFolder(library / box, entries);
        ASSERT_GE(std::count_if(entries.begin(), entries.end(),
                                [](const auto& entry) { return entry.name.ends_with(".tag"); }),
                  32)
            << box;
    }
    ::sleep(2); // older than the stamps' window: trusted from now on
    RebuildIndex(index, library.path());
    Quiet quiet;
    int passedOver = 0;
    for (int round = 0; round < 80; ++round) {
        SearchRequest request = randomRequest(random);
        const SearchOutcome scanned = RunSearch(library.path(), request, quiet);
        const std::string scan = snapshot(library.path());

        const auto opened = SearchIndex::open(index, library.path());
        ASSERT_NE(opened, nullptr);
        request.index = opened.get();
        const SearchOutcome indexed = RunSearch(library.path(), request, quiet);
        ASSERT_EQ(indexed.hits, scanned.hits) << "round " << round;
        ASSERT_EQ(indexed.categoryGbk, scanned.categoryGbk);
        ASSERT_EQ(snapshot(library.path()), scan) << "round " << round;
        passedOver += indexed.filesPassedOver;

        switch (round % 4) {
        case 0: // a record changed behind the index's back, maybe to the same size
            writeRecord(random, library.path(), static_cast<int>(random() % Records));
            break;
        case 1: // a new record
            writeRecord(random, library.path(), Records + round);
            break;
        case 2: // what the searches read again goes into the index
            RefreshIndex(index, library.path(), indexed.staleRecords);
            break;
        default:
            break;
        }
    }
    EXPECT_GT(passedOver, 2000) << "the index spared reads";
}

// A walk that stamps reads boxes ahead of their turn: it must visit what a plain walk
// visits, in the same order, each record with its own stamps taken, and stop where asked.
TEST(StampingWalk, VisitsWhatAPlainWalkVisitsEachStampedAndStopsWhenAborted)
{
    TempDir library;
    for (const char* box : {"", "a/", "b/", "c/", "d/", "e/", "f/", "a/x/", "a/x/y/", "f/z/"}) {
        for (int i = 0; i < 5; ++i) {
            const std::string base = library.path() + box + "cd" + std::to_string(i);
            writeFile(base + ".Cdr", "E:\\\r\n\tfile" + std::string(i + 1, 'x') + "\r\n");
            writeFile(base + ".tag", "0\r\n3\r\n");
        }
    }
    struct Visits : RecordWalk
    {
        explicit Visits(bool stamping, std::size_t stopAfter = -1) : stopAfter(stopAfter)
        {
            if (stamping) {
                stampFiles({true, false, false});
            }
        }
        void visit(const std::string& relative, const RecordFiles& files,
                   const std::string&) override
        {
            visited.push_back(relative);
            unstamped +=
                files.stamped[0] && files.stamps[0] == StampFile(files.folderFd, files.cdr) ? 0 : 1;
        }
        bool aborted() override { return visited.size() >= stopAfter; }
        const std::size_t stopAfter;
        std::vector<std::string> visited;
        int unstamped = 0;
    };
    Visits plain(false);
    plain.walkBox(library.path(), "");
    ASSERT_EQ(plain.visited.size(), 50U);
    EXPECT_EQ(plain.unstamped, 50);

    Visits stamping(true);
    stamping.walkBox(library.path(), "");
    EXPECT_EQ(stamping.visited, plain.visited);
    EXPECT_EQ(stamping.unstamped, 0);

    Visits stopped(true, 23);
    stopped.walkBox(library.path(), "");
    EXPECT_EQ(stopped.visited,
              std::vector<std::string>(plain.visited.begin(), plain.visited.begin() + 23));
}
