// Choosing a new place for the library and copying it there.

#include "catalog/disk.h"
#include "settings/relocation.h"
#include "tests/support/temp_library.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace settings;
using testing_support::exists;
using testing_support::gbk;
using testing_support::readFile;
using testing_support::TempDir;
using testing_support::writeFile;

namespace {

std::optional<std::uint64_t> plenty(const std::string&)
{
    return 1u << 20;
}

} // namespace

TEST(Relocation, LocationInsideTheLibraryIsRefused)
{
    TempDir temp;
    const std::string root = temp / "Orlendy/";
    testing_support::makeFolders(root + gbk("电影") + "/");
    // The library itself, one of its boxes, and a link that leads into it.
    std::filesystem::create_directory_symlink(root + gbk("电影"), temp / "link");
    for (const std::string& folder : {root, root + gbk("电影"), temp / "link/"}) {
        const NewLocation chosen =
            ChooseLibraryLocation(folder, temp / "elsewhere/Orlendy/", root, plenty);
        EXPECT_EQ(chosen.choice, LocationChoice::InsideLibrary) << folder;
    }
    EXPECT_THROW(RelocateLibrary(root, root + gbk("电影") + "/Orlendy/"),
                 organize::TargetInsideSource);
    EXPECT_FALSE(exists(root + gbk("电影") + "/Orlendy"));

    // A sibling whose name merely begins like the library's is not inside it.
    testing_support::makeFolders(temp / "Orlendy2/");
    EXPECT_EQ(ChooseLibraryLocation(temp / "Orlendy2", root, root, plenty).choice,
              LocationChoice::Accepted);
}

TEST(Relocation, ChoosingAFolder)
{
    TempDir temp;
    const std::string root = temp / "lib/Orlendy/";
    testing_support::makeFolders(root);
    testing_support::makeFolders(temp / "new/");

    NewLocation chosen = ChooseLibraryLocation(temp / "new", root, root, plenty);
    EXPECT_EQ(chosen.choice, LocationChoice::Accepted);
    EXPECT_EQ(chosen.root, temp / "new/Orlendy/");

    // The folder already shown, and the library's own parent: nothing moves.
    EXPECT_EQ(ChooseLibraryLocation(temp / "new/", temp / "new/", root, plenty).choice,
              LocationChoice::Unchanged);
    chosen = ChooseLibraryLocation(temp / "lib", temp / "new/Orlendy/", root, plenty);
    EXPECT_EQ(chosen.choice, LocationChoice::Accepted);
    EXPECT_EQ(chosen.root, root);

    // A full disk, or one whose free space cannot be asked.
    const auto full = [](const std::string&) { return std::optional<std::uint64_t>(0); };
    const auto unknown = [](const std::string&) { return std::optional<std::uint64_t>(); };
    EXPECT_EQ(ChooseLibraryLocation(temp / "new", root, root, full).choice, LocationChoice::NoSpace);
    EXPECT_EQ(ChooseLibraryLocation(temp / "new", root, root, unknown).choice,
              LocationChoice::NoSpace);
    // statvfs answers for a real folder and not for a missing one.
    EXPECT_TRUE(FreeBytes(temp.path()).has_value());
    EXPECT_FALSE(FreeBytes(temp / "missing/").has_value());
}

TEST(Relocation, CopiesRecordFilesAndLeavesTheOldLibrary)
{
    TempDir temp;
    const std::string root = temp / "Orlendy/";
    const std::string box = gbk("软件") + "/";
    writeFile(root + box + "Disc.cdr", "E:\\\r\n");
    writeFile(root + box + "Disc.TAG", "x");
    writeFile(root + box + "notes.txt", "not a record");
    testing_support::makeFolders(temp / "new/");

    const std::string newRoot = temp / "new/Orlendy/";
    const organize::TreeTransfer transfer = RelocateLibrary(root, newRoot);
    EXPECT_EQ(transfer.filesNotCopied, 0);
    EXPECT_EQ(readFile(newRoot + box + "Disc.cdr"), "E:\\\r\n");
    EXPECT_TRUE(exists(newRoot + box + "Disc.TAG"));
    EXPECT_FALSE(exists(newRoot + box + "notes.txt"));
    EXPECT_EQ(readFile(root + box + "Disc.cdr"), "E:\\\r\n");
    EXPECT_TRUE(exists(root + box + "notes.txt"));

    // A folder that vanished after it was chosen: the copy fails with the error.
    EXPECT_THROW(RelocateLibrary(root, temp / "gone/Orlendy/"), catalog::FileError);
}

// Only boxes and records make a library: a folder that is missing, empty or holds other
// files takes the library without merging.
TEST(Relocation, HoldsLibraryFindsBoxesAndRecords)
{
    TempDir temp;
    const std::string root = temp / "Orlendy/";
    EXPECT_FALSE(HoldsLibrary(root));
    testing_support::makeFolders(root);
    EXPECT_FALSE(HoldsLibrary(root));
    writeFile(root + "readme.txt", "not a record");
    std::filesystem::create_directory_symlink(temp.path(), root + "link");
    EXPECT_FALSE(HoldsLibrary(root));
    writeFile(root + "loose.CDR", "E:\\\r\n");
    EXPECT_TRUE(HoldsLibrary(root));
    std::filesystem::remove(root + "loose.CDR");
    testing_support::makeFolders(root + gbk("电影"));
    EXPECT_TRUE(HoldsLibrary(root));
}
