#include "platform/linux/iso_volume.h"
#include "platform/linux/linux_drives.h"

#include "tests/core/disc_trees.h"
#include "tests/support/cli_runner.h"
#include "tests/support/fake_settings_store.h"
#include "tests/support/temp_library.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <map>
#include <stdexcept>

namespace {

using platform::DriveInfo;
using platform::DriveKind;
using platform::linux_edition::CleanVolumeLabel;
using platform::linux_edition::DrivesKey;
using platform::linux_edition::LinuxDrives;
using platform::linux_edition::MapVirtualDrive;
using platform::linux_edition::ReadIsoVolume;
using platform::linux_edition::UnmapVirtualDrive;
using testing_support::FakeSettingsStore;
using testing_support::gbk;
using testing_support::TempDir;
using testing_support::writeFile;

// An ISO 9660 image with Joliet and Rock Ridge names, made by genisoimage.
bool makeImage(const std::string& sourceFolder, const std::string& labelUtf8,
               const std::string& imagePath)
{
    const auto run = testing_support::RunProgram("genisoimage",
                                                 {"-quiet", "-input-charset", "utf-8", "-J", "-R",
                                                  "-V", labelUtf8, "-o", imagePath, sourceFolder});
    return run.status == 0;
}

// dir/disc.iso from a small tree in dir/src; "" when genisoimage failed.
std::string makeSampleImage(const TempDir& dir, const std::string& labelUtf8)
{
    writeFile(dir / "src/readme.txt", "hello");
    writeFile(dir / "src/目录/data.bin", std::string(70000, 'd'));
    const std::string image = dir / "disc.iso";
    return makeImage(dir / "src", labelUtf8, image) ? image : std::string();
}

#define SKIP_WITHOUT_GENISOIMAGE()                                                                 \
    if (!testing_support::ProgramOnPath("genisoimage")) {                                          \
        GTEST_SKIP() << "genisoimage is not installed";                                            \
    }

std::map<char, DriveInfo> byLetter(const std::vector<DriveInfo>& drives)
{
    std::map<char, DriveInfo> table;
    for (const auto& drive : drives) {
        table[drive.letter] = drive;
    }
    return table;
}

TEST(LinuxDrives, OpticalDrivesTakeTheFreeLettersFromD)
{
    // Whatever udev finds on this machine (nothing in a container): optical drives on
    // device nodes, in letter order from D on, around the mapped letters.
    TempDir folder;
    FakeSettingsStore settings;
    settings.writeString(DrivesKey, "E", folder.path());
    const LinuxDrives drives(settings);
    const auto table = drives.cdromDrives();
    char expected = 'D';
    for (const auto& drive : table) {
        if (drive.letter == 'E') {
            EXPECT_EQ(drive.kind, DriveKind::Folder);
            continue;
        }
        if (expected == 'E') {
            ++expected;
        }
        EXPECT_EQ(drive.letter, expected++);
        EXPECT_EQ(drive.kind, DriveKind::Optical);
        EXPECT_TRUE(drive.source.starts_with("/dev/")) << drive.source;
    }
}

TEST(LinuxDrives, MappedLettersMakeVirtualDrivesOfTheirKind)
{
    TempDir dir;
    writeFile(dir / "image.iso", std::string(40000, 'x'));
    writeFile(dir / "disc/a.txt", "a");
    FakeSettingsStore settings;
    settings.writeString(DrivesKey, "x", dir / "disc");
    settings.writeString(DrivesKey, "Y", dir / "image.iso");
    settings.writeString(DrivesKey, "V", dir / "gone.iso");
    settings.writeString(DrivesKey, "W", dir / "gone");
    settings.writeString(DrivesKey, "U", "");
    settings.writeString("software\\Vellumark", "T", dir / "disc");
    const LinuxDrives drives(settings);

    const auto table = byLetter(drives.cdromDrives());
    const std::map<char, std::pair<DriveKind, std::string>> expected{
        {'V', {DriveKind::Image, dir / "gone.iso"}},
        {'W', {DriveKind::Folder, dir / "gone"}},
        {'X', {DriveKind::Folder, dir / "disc"}},
        {'Y', {DriveKind::Image, dir / "image.iso"}},
    };
    for (const auto& [letter, kindAndSource] : expected) {
        ASSERT_EQ(table.count(letter), 1u) << letter;
        EXPECT_EQ(table.at(letter).kind, kindAndSource.first) << letter;
        EXPECT_EQ(table.at(letter).source, kindAndSource.second) << letter;
        EXPECT_TRUE(drives.isCdromDrive(letter)) << letter;
    }
    for (const char letter : {'T', 'U', 'Z', '1'}) {
        EXPECT_FALSE(drives.isCdromDrive(letter)) << letter;
    }
    EXPECT_TRUE(drives.isCdromDrive('x'));
}

TEST(LinuxDrives, FolderDiscCountsItsRegularFilesOnce)
{
    TempDir dir;
    const std::string disc = dir / gbk("光盘一");
    writeFile(disc + "/a.bin", std::string(1000, 'a'));
    writeFile(disc + "/sub/b.bin", std::string(234, 'b'));
    writeFile(disc + "/sub/deeper/.hidden", std::string(10, 'c'));
    writeFile(dir / "outside.bin", std::string(5000, 'o'));
    // Links are not followed: neither the loop back up nor the file outside counts.
    ASSERT_EQ(::symlink(disc.c_str(), (disc + "/sub/loop").c_str()), 0);
    ASSERT_EQ(::symlink((dir / "outside.bin").c_str(), (disc + "/link.bin").c_str()), 0);
    FakeSettingsStore settings;
    settings.writeString(DrivesKey, "G", disc);
    const LinuxDrives drives(settings);

    EXPECT_TRUE(drives.discPresent('G'));
    EXPECT_EQ(drives.discTotalSize('G'), 1244u);
    // The folder's own name, here GBK bytes, comes back as UTF-8.
    EXPECT_EQ(drives.volumeLabel('G'), "光盘一");
    EXPECT_EQ(drives.mountPoint('G'), disc + "/");
}

TEST(LinuxDrives, FolderDiscSizeReachesBeyondPathMaxAndSkipsSpecialFiles)
{
    TempDir dir;
    const int levels = 200;
    const disc_trees::DeepChain chain(dir.path(), levels, std::string(24, 'd'));
    ASSERT_EQ(::mkfifo((dir / "pipe").c_str(), 0644), 0);
    FakeSettingsStore settings;
    settings.writeString(DrivesKey, "G", dir.path());
    const LinuxDrives drives(settings);
    // Every level holds one "f.txt" of three bytes.
    EXPECT_EQ(drives.discTotalSize('G'), 3u * (levels + 1));
}

TEST(LinuxDrives, MissingMappingOrFileThatIsNoImageHoldsNoDisc)
{
    TempDir dir;
    writeFile(dir / "big.iso", std::string(100000, '\x01'));
    writeFile(dir / "small.iso", "CD001");
    FakeSettingsStore settings;
    settings.writeString(DrivesKey, "G", dir / "gone");
    settings.writeString(DrivesKey, "H", dir / "gone.iso");
    settings.writeString(DrivesKey, "I", dir / "big.iso");
    settings.writeString(DrivesKey, "J", dir / "small.iso");
    const LinuxDrives drives(settings);
    for (const char letter : {'G', 'H', 'I', 'J', 'Q'}) {
        EXPECT_EQ(drives.isCdromDrive(letter), letter != 'Q') << letter;
        EXPECT_FALSE(drives.discPresent(letter)) << letter;
        EXPECT_EQ(drives.discTotalSize(letter), std::nullopt) << letter;
        EXPECT_EQ(drives.volumeLabel(letter), "") << letter;
        EXPECT_EQ(drives.mountPoint(letter), std::nullopt) << letter;
    }
}

struct ImageCase
{
    const char* name;
    const char* label;
    const char* expectedLabel;
};

class ImageDriveTest : public ::testing::TestWithParam<ImageCase>
{
};

TEST_P(ImageDriveTest, ReadsLabelAndSizeFromTheVolumeDescriptor)
{
    SKIP_WITHOUT_GENISOIMAGE();
    TempDir dir;
    const std::string image = makeSampleImage(dir, GetParam().label);
    ASSERT_FALSE(image.empty());
    FakeSettingsStore settings;
    settings.writeString(DrivesKey, "J", image);
    const LinuxDrives drives(settings);

    EXPECT_TRUE(drives.discPresent('J'));
    // genisoimage writes exactly the volume space, so the file size is the disc size.
    EXPECT_EQ(drives.discTotalSize('J'), std::filesystem::file_size(image));
    EXPECT_EQ(drives.volumeLabel('J'), GetParam().expectedLabel);
    EXPECT_EQ(drives.mountPoint('J'), std::nullopt);
    ASSERT_TRUE(ReadIsoVolume(image).has_value());
    EXPECT_EQ(ReadIsoVolume(image)->volumeId, GetParam().expectedLabel);
}

INSTANTIATE_TEST_SUITE_P(Labels, ImageDriveTest,
                         ::testing::Values(ImageCase{"Plain", "TOOLS_2024", "TOOLS_2024"},
                                           ImageCase{"EdgeBlanks", "  MY DISC   ", "MY DISC"},
                                           ImageCase{"Chinese", "中文卷标", "中文卷标"},
                                           ImageCase{"Empty", "", ""}),
                         [](const auto& info) { return std::string(info.param.name); });

// Ways an image made by genisoimage is damaged; each takes the image's bytes.
struct DamageCase
{
    const char* name;
    void (*damage)(std::string& bytes);
    const char* problemStart;
};

class DamagedImageTest : public ::testing::TestWithParam<DamageCase>
{
};

// An image that cannot be read is a drive without a disc everywhere, and says why.
TEST_P(DamagedImageTest, IsNoDiscAndTellsWhatIsDamaged)
{
    SKIP_WITHOUT_GENISOIMAGE();
    TempDir dir;
    const std::string image = makeSampleImage(dir, "DAMAGED");
    ASSERT_FALSE(image.empty());
    std::string bytes = testing_support::readFile(image);
    GetParam().damage(bytes);
    writeFile(image, bytes);
    FakeSettingsStore settings;
    settings.writeString(DrivesKey, "J", image);
    const LinuxDrives drives(settings);

    EXPECT_TRUE(drives.isCdromDrive('J'));
    EXPECT_FALSE(drives.discPresent('J'));
    EXPECT_EQ(drives.discTotalSize('J'), std::nullopt);
    EXPECT_EQ(drives.volumeLabel('J'), "");
    EXPECT_EQ(drives.openDisc('J'), nullptr);
    EXPECT_TRUE(drives.discProblem('J').starts_with(GetParam().problemStart))
        << drives.discProblem('J');
}

// Block 16 on holds the volume descriptors; the root record sits at byte 156 of each.
void moveRootsOutOfTheVolume(std::string& bytes)
{
    for (std::size_t block = 16; (block + 1) * 2048 <= bytes.size(); ++block) {
        const std::size_t at = block * 2048;
        const auto type = static_cast<unsigned char>(bytes[at]);
        if (type == 255) {
            break;
        }
        if (type == 1 || type == 2) {
            const std::string farAway("\xF0\xFF\xFF\x00\x00\xFF\xFF\xF0", 8); // both byte orders
            bytes.replace(at + 156 + 2, farAway.size(), farAway);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Damage, DamagedImageTest,
    ::testing::Values(
        DamageCase{"CutInTheMiddle", [](std::string& bytes) { bytes.resize(bytes.size() / 2); },
                   "映像文件不完整: 卷大小为 "},
        DamageCase{"CutAfterTheDescriptors", [](std::string& bytes) { bytes.resize(19 * 2048); },
                   "映像文件不完整"},
        DamageCase{"CutBeforeTheDescriptors", [](std::string& bytes) { bytes.resize(10 * 2048); },
                   "不是 ISO 9660 光盘映像"},
        DamageCase{"RootOutsideTheVolume", moveRootsOutOfTheVolume, "根目录无法读取"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(LinuxDrives, AnIntactOrMissingImageHasNoProblem)
{
    SKIP_WITHOUT_GENISOIMAGE();
    TempDir dir;
    writeFile(dir / "src/readme.txt", "hello");
    ASSERT_TRUE(makeImage(dir / "src", "FINE", dir / "disc.iso"));
    FakeSettingsStore settings;
    settings.writeString(DrivesKey, "J", dir / "disc.iso");
    settings.writeString(DrivesKey, "K", dir / "gone.iso");
    settings.writeString(DrivesKey, "L", dir / "src");
    const LinuxDrives drives(settings);
    EXPECT_TRUE(drives.discPresent('J'));
    for (const char letter : {'J', 'K', 'L'}) {
        EXPECT_EQ(drives.discProblem(letter), "") << letter;
    }
}

struct LabelCase
{
    const char* name;
    std::string raw;
    std::string expected;
};

class CleanVolumeLabelTest : public ::testing::TestWithParam<LabelCase>
{
};

TEST_P(CleanVolumeLabelTest, Cleans)
{
    EXPECT_EQ(CleanVolumeLabel(GetParam().raw), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Labels, CleanVolumeLabelTest,
                         ::testing::Values(LabelCase{"Blanks", " \tDATA 01  ", "DATA 01"},
                                           LabelCase{"OnlyBlanks", "   ", ""},
                                           LabelCase{"UpToNul", std::string("AB\0CD", 5), "AB"},
                                           LabelCase{"Utf8Kept", "软件 ", "软件"},
                                           LabelCase{"GbkRead", gbk("软件光盘"), "软件光盘"}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(MapVirtualDrive, StoresAbsolutePathsUnderUpperCaseLetters)
{
    FakeSettingsStore settings;
    MapVirtualDrive(settings, 'g', "/srv/discs/../images/a.iso");
    EXPECT_EQ(settings.readString(DrivesKey, "G"), "/srv/images/a.iso");
    MapVirtualDrive(settings, 'H', "relative");
    EXPECT_EQ(settings.readString(DrivesKey, "H"),
              (std::filesystem::current_path() / "relative").string());

    UnmapVirtualDrive(settings, 'G');
    EXPECT_EQ(settings.readString(DrivesKey, "G"), std::nullopt);
    EXPECT_EQ(settings.readString(DrivesKey, "H").has_value(), true);

    for (const char letter : {'1', '@', '[', ':'}) {
        EXPECT_THROW(MapVirtualDrive(settings, letter, "/tmp"), std::invalid_argument) << letter;
        EXPECT_THROW(UnmapVirtualDrive(settings, letter), std::invalid_argument) << letter;
    }
    EXPECT_THROW(MapVirtualDrive(settings, 'K', ""), std::invalid_argument);
}

} // namespace
