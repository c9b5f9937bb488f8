#pragma once

#include <string>

namespace platform {
class Printing;
}

// Printing a CD's tree: the drawn lines of its listing as one print job.
namespace output {

// "光盘 " + CD name + " 的结构" (UTF-8).
std::string PrintJobName(const std::string& cdNameGbk);

// Reads the listing (a regular file), draws its lines with the text indent and prints
// them as one job named after the CD. Throws catalog::FileError when the listing cannot
// be read, std::runtime_error when the printer fails.
void PrintListing(platform::Printing& printing, const std::string& listingPath);

} // namespace output
