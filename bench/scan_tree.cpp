// The standard scan of a folder and the writing of its .Cdr and .tag, as one process: the
// scanner's own share of `vellumark-cli scan`, without the drive table and the capacity.
//   scan_tree DISC_FOLDER RECORD_FOLDER NAME

#include "platform/linux/folder_disc_source.h"
#include "scan/scanner.h"

#include "catalog/disk.h"
#include "catalog/text.h"

#include <iostream>

namespace {

class NoProgress : public scan::ScanProgress
{
public:
    void showPath(const std::string&) override {}
    bool showsPaths() const override { return false; }
    bool aborted() override { return false; }
};

} // namespace

int main(int argc, char** argv)
{
    if (argc != 4) {
        std::cerr << "usage: scan_tree DISC_FOLDER RECORD_FOLDER NAME\n";
        return 2;
    }
    try {
        platform::linux_edition::FolderDiscSource disc(catalog::WithSlash(argv[1]));
        NoProgress progress;
        const scan::ScanRun run = scan::RunScan(
            disc, 'E', std::nullopt, {catalog::WithSlash(argv[2]), catalog::utf8ToGbk(argv[3])}, progress);
        return run.ending == scan::ScanEnding::Saved ? 0 : 1;
    } catch (const std::exception& error) {
        std::cerr << error.what() << '\n';
        return 1;
    }
}
