#include "organize/organize.h"

#include "catalog/box_tree.h"
#include "catalog/library.h"
#include "catalog/text.h"
#include "organize/tree_copy.h"
#include "tests/core/organize_fixture.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <random>
#include <string>
#include <thread>
#include <vector>

namespace {

using organize_testing::OrganizeTest;
using testing_support::exists;
using testing_support::gbk;
using testing_support::makeFolders;
using testing_support::snapshot;
using testing_support::TempDir;
using testing_support::writeFile;

// What the window's refresh does after every pass: a missing root is made again with
// its six default boxes.
std::function<void()> refreshOf(const std::string& root, int* refreshes = nullptr)
{
    return [root, refreshes] {
        if (refreshes != nullptr) {
            ++*refreshes;
        }
        if (!catalog::FolderExists(root)) {
            catalog::CreateLibrary(root);
        }
    };
}

TEST_F(OrganizeTest, OnePassRemovesOnlyWhatWasEmptyWhenItGotThere)
{
    makeBox("A\\only an empty box");
    writeFile(folder("B\\") + "notes.txt", "not a record, but something");
    makeBox(".hidden");
    // A link leads out of the library: the empty folder it leads to is not the pass's.
    const TempDir outside;
    makeBox("C");
    ASSERT_EQ(::symlink(outside.path().c_str(), (folder("C\\") + "link").c_str()), 0);
    makeFolders(root() + catalog::ResultsFolderName() + "/" + gbk("空类别"));

    EXPECT_EQ(organize::RemoveEmptyFolders(root()), 2);
    EXPECT_EQ(library(), ".hidden/\nA/\nB/\nB/notes.txt=not a record, but something\nC/\n"
                         "C/link -> " +
                             outside.path() + "\n" +
                             catalog::gbkToUtf8(catalog::ResultsFolderName()) + "/\n");
    EXPECT_EQ(organize::RemoveEmptyFolders(root()), 2);
    EXPECT_EQ(organize::RemoveEmptyFolders(root()), 0);
    EXPECT_EQ(organize::RemoveEmptyFolders(root() + "missing/"), 0);
}

struct ClearCase
{
    const char* what;
    std::vector<const char*> boxes; // empty boxes, nested with backslashes
    std::vector<const char*> cds;   // record paths
    std::string expected;           // the library afterwards
};

class ClearEmpty : public OrganizeTest, public ::testing::WithParamInterface<ClearCase>
{
};

TEST_P(ClearEmpty, EndsAsTheRoundsOfTwoPassesDo)
{
    for (const char* box : GetParam().boxes) {
        makeBox(box);
    }
    for (const char* cd : GetParam().cds) {
        writeFile(folder(cd) + ".cdr", "tree");
    }
    int refreshes = 0;
    int rootGone = 0;
    const auto refresh = refreshOf(root(), &refreshes);
    organize::ClearEmptyBoxes(root(), [&] {
        rootGone += catalog::FolderExists(root()) ? 0 : 1;
        refresh();
    });
    EXPECT_EQ(library(), GetParam().expected);
    EXPECT_EQ(refreshes % 2, 0);
    // The library itself stays, however empty: the settings name it, and a window that
    // found it gone would turn to the default library.
    EXPECT_EQ(rootGone, 0);
    EXPECT_TRUE(catalog::FolderExists(root()));
}

INSTANTIATE_TEST_SUITE_P(
    Libraries, ClearEmpty,
    ::testing::Values(
        ClearCase{"empty boxes", {"软件光盘", "A", "B"}, {}, ""},
        ClearCase{"empty root", {}, {}, ""}, ClearCase{"two levels", {"A\\B", "C\\D"}, {}, ""},
        ClearCase{"one CD", {"A\\B\\C", "A\\E", "F"}, {"A\\B\\cd"}, "A/\nA/B/\nA/B/cd.cdr=tree\n"}),
    [](const auto& info) { return std::to_string(info.index); });

TEST_F(OrganizeTest, ClearingCountsTheFoldersItRemoved)
{
    makeBox("A\\B\\C");
    makeBox("D");
    writeFile(folder("E\\") + "cd.cdr", "tree");
    EXPECT_EQ(organize::ClearEmptyBoxes(root(), refreshOf(root())), 4);
    EXPECT_EQ(library(), "E/\nE/cd.cdr=tree\n");
}

// A copy makes a box and fills it in one step; clearing beside it must not take the box
// away between the two.
// A copy makes a box and fills it under the locks that clearing also takes: boxes made
// beside a clearing all arrive with their records.
TEST_F(OrganizeTest, BoxesCopiedBesideClearingAllArrive)
{
    constexpr int Boxes = 150;
    TempDir source;
    for (int i = 0; i < Boxes; ++i) {
        writeFile(source / (std::to_string(i) + "/cd.Cdr"), "x");
    }
    std::atomic<bool> done{false};
    std::thread clearer([&] {
        while (!done) {
            organize::ClearEmptyBoxes(root());
        }
    });
    std::string failure;
    try {
        organize::CopyRecordTree(source.path(), root());
    } catch (const catalog::FileError& error) {
        failure = error.what();
    }
    done = true;
    clearer.join();
    ASSERT_EQ(failure, "");
    for (int i = 0; i < Boxes; ++i) {
        EXPECT_TRUE(exists(root() + std::to_string(i) + "/cd.Cdr")) << i;
    }
}

// The rounds as they are stated: two passes, each followed by a refresh, and the node
// count of the box tree the refresh loads; a stop when the counts agree or are those of
// an empty root and a fresh library.
void clearByNodeCounts(const std::string& root)
{
    const auto refresh = refreshOf(root);
    const auto passAndCount = [&] {
        organize::RemoveEmptyFolders(root);
        refresh();
        return static_cast<int>(catalog::LoadLibraryTree(root).size()) + 1;
    };
    for (;;) {
        const int first = passAndCount();
        const int second = passAndCount();
        if (first == second || (first == 2 && second == 8) || (first == 8 && second == 2)) {
            return;
        }
    }
}

// A random library: nested boxes, some with a file, hidden boxes, links, a results
// folder with categories, names holding a backslash.
void writeRandomLibrary(const std::string& root, unsigned seed)
{
    std::mt19937 random(seed);
    const std::vector<std::string> names{"A", "b", ".h", "a\\b", "C", catalog::ResultsFolderName()};
    std::vector<std::string> folders{root};
    if (random() % 2 == 0) {
        folders.push_back(root + catalog::ResultsFolderName() + "/");
    }
    const int count = 1 + static_cast<int>(random() % 12);
    for (int i = 0; i < count; ++i) {
        const std::string& parent = folders[random() % folders.size()];
        const std::string folder = parent + names[random() % names.size()] + "/";
        makeFolders(folder);
        folders.push_back(folder);
        switch (random() % 8) {
        case 0:
            writeFile(folder + "x.cdr", "tree");
            break;
        case 1:
            ::symlink(root.c_str(), (folder + "link").c_str());
            break;
        default:
            break;
        }
    }
}

TEST(ClearRandom, EndsWhereTheNodeCountRoundsEnd)
{
    for (unsigned seed = 1; seed <= 200; ++seed) {
        SCOPED_TRACE(seed);
        TempDir byModel;
        TempDir byCounts;
        writeRandomLibrary(byModel.path(), seed);
        writeRandomLibrary(byCounts.path(), seed);

        organize::ClearEmptyBoxes(byModel.path(), refreshOf(byModel.path()));
        clearByNodeCounts(byCounts.path());

        // The links lead to each library's own root: compare without their targets.
        const auto withoutLinkTargets = [](std::string listing, const std::string& root) {
            for (auto at = listing.find(root); at != std::string::npos; at = listing.find(root)) {
                listing.erase(at, root.size());
            }
            return listing;
        };
        ASSERT_EQ(withoutLinkTargets(snapshot(byModel.path()), byModel.path()),
                  withoutLinkTargets(snapshot(byCounts.path()), byCounts.path()));
    }
}

} // namespace
