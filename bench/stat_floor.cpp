// The least time any check of a library's files by their times and sizes can take here:
// fstatat of every listing and description (.cdr, .mx, .fmx) beside its open folder, on
// one thread and on two, and of the listings alone on two, the best of five rounds, the
// files' names gathered beforehand.
//   stat_floor LIBRARY

#include "catalog/record_set.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

namespace {

struct FileInFolder
{
    int folderFd;
    std::string name;
};

std::vector<FileInFolder> recordTexts(const std::filesystem::path& library)
{
    std::vector<FileInFolder> files;
    std::string openFolder;
    int folderFd = -1;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(library)) {
        const auto kind = catalog::RecordKindOf(entry.path().filename().native());
        if (!entry.is_regular_file() ||
            (kind != catalog::RecordKind::Cdr && kind != catalog::RecordKind::Mx &&
             kind != catalog::RecordKind::Fmx)) {
            continue;
        }
        if (entry.path().parent_path().native() != openFolder) {
            openFolder = entry.path().parent_path().native();
            folderFd = ::open(openFolder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        }
        files.push_back({folderFd, entry.path().filename().native()});
    }
    return files;
}

void statAll(const FileInFolder* first, const FileInFolder* end)
{
    struct stat info = {};
    for (; first != end; ++first) {
        ::fstatat(first->folderFd, first->name.c_str(), &info, AT_SYMLINK_NOFOLLOW);
    }
}

double bestOfFive(const std::vector<FileInFolder>& files, std::size_t threads)
{
    double best = 1e9;
    for (int round = 0; round < 5; ++round) {
        const auto started = std::chrono::steady_clock::now();
        std::vector<std::thread> others;
        const std::size_t share = files.size() / threads;
        for (std::size_t t = 1; t < threads; ++t) {
            others.emplace_back(statAll, files.data() + t * share,
                                t + 1 == threads ? files.data() + files.size()
                                                 : files.data() + (t + 1) * share);
        }
        statAll(files.data(), files.data() + share);
        for (auto& other : others) {
            other.join();
        }
        best = std::min(best, std::chrono::duration<double, std::milli>(
                                  std::chrono::steady_clock::now() - started)
                                  .count());
    }
    return best;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: stat_floor LIBRARY\n");
        return 2;
    }
    const auto files = recordTexts(argv[1]);
    std::vector<FileInFolder> listings;
    std::copy_if(files.begin(), files.end(), std::back_inserter(listings), [](const auto& file) {
        return catalog::RecordKindOf(file.name) == catalog::RecordKind::Cdr;
    });
    std::printf("%zu files: %.1f ms on one thread, %.1f ms on two; the %zu listings that a "
                "content search checks: %.1f ms on two\n",
                files.size(), bestOfFive(files, 1), bestOfFive(files, 2), listings.size(),
                bestOfFive(listings, 2));
    return 0;
}
