#pragma once

#include "platform/disc_source.h"

#include <memory>

namespace platform::linux_edition {

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
