#include "organize/box_paths.h"

#include "catalog/disk.h"
#include "catalog/library.h"

#include <cerrno>

namespace organize {

std::vector<std::string> BoxNames(std::string_view boxPathGbk)
{
    auto names = catalog::SplitRelativePath(boxPathGbk);
    if (!names) {
        catalog::throwFileError(std::string(boxPathGbk), EINVAL);
    }
    return std::move(*names);
}

std::string BoxFolder(const std::string& root, std::string_view boxPathGbk)
{
    std::string folder = root;
    for (const auto& name : BoxNames(boxPathGbk)) {
        folder = catalog::ChildPath(folder, name);
    }
    if (!catalog::IsFolder(folder) || !catalog::LiesInside(root, folder)) {
        catalog::throwFileError(folder, ENOENT);
    }
    return folder;
}

std::string ParentBoxPath(std::string_view boxPathGbk)
{
    const std::vector<std::string> names = BoxNames(boxPathGbk);
    std::string parent;
    for (std::size_t i = 0; i + 1 < names.size(); ++i) {
        parent += names[i];
        parent += '\\';
    }
    return parent;
}

std::string BoxText(std::string_view boxPathGbk)
{
    const std::vector<std::string> names = BoxNames(boxPathGbk);
    return names.empty() ? std::string(catalog::LibraryRootCaption) : names.back();
}

bool IsItemName(std::string_view captionGbk)
{
    const auto names = catalog::SplitRelativePath(captionGbk);
    return names && names->size() == 1 && names->front() == captionGbk;
}

} // namespace organize
