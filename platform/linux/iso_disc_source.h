#pragma once

#include "platform/disc_source.h"
#include "platform/linux/iso_volume.h"

#include <memory>
#include <optional>

namespace platform::linux_edition {

// Whether an image file holds a readable disc.
struct IsoImageCheck
{
    std::optional<IsoVolume> volume; // set when the image reads
    std::string problemUtf8;         // what is damaged when it does not; "" for a missing file
};

// The one presence test of an image: its volume descriptor reads, the volume ends within
// the file, and the reader of the scan reads its root folder.
IsoImageCheck CheckIsoImage(const std::string& imagePath);

// An ISO 9660 image read without mounting: the whole folder tree is read once with
// libarchive (Rock Ridge or Joliet names), then listed from memory.
class IsoDiscSource : public DiscSource
{
public:
    // nullptr when the file is not a readable ISO 9660 image.
    static std::unique_ptr<IsoDiscSource> open(const std::string& imagePath);
    ~IsoDiscSource() override;

    bool list(const std::string& relativeUtf8, std::vector<DiscEntry>& entries) override;
    bool readFile(const std::string& relativeUtf8, std::string& content) override;

private:
    struct Tree;
    explicit IsoDiscSource(std::string imagePath, std::unique_ptr<Tree> tree);

    std::string m_imagePath;
    std::unique_ptr<Tree> m_tree;
};

} // namespace platform::linux_edition
