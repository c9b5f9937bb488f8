#include "output/print_listing.h"

#include "catalog/disk.h"
#include "catalog/text.h"
#include "output/output.h"
#include "platform/printing.h"

#include <vector>

namespace output {

std::string PrintJobName(const std::string& cdNameGbk)
{
    return "光盘 " + catalog::gbkToUtf8(cdNameGbk) + " 的结构";
}

void PrintListing(platform::Printing& printing, const std::string& listingPath)
{
    const std::vector<std::string> drawn =
        DrawTreeLines(catalog::ReadWholeFile(listingPath), Style::Text);
    std::vector<std::string> lines;
    lines.reserve(drawn.size());
    for (const std::string& line : drawn) {
        lines.push_back(catalog::gbkToUtf8(line));
    }
    printing.printLines(PrintJobName(CdNameOfListing(listingPath)), lines);
}

} // namespace output
