#pragma once

#include <optional>
#include <string>

namespace platform {
class Drives;
}

// Recognising a catalogued disc by its capacity.
namespace catalog {

// The last record (full path of its .cdr, walking the library depth-first in listing
// order, the search results folder included) whose information record holds exactly
// sizeText as capacity; "" when none. Throws FileError for an .ifn shorter than 192 bytes.
std::string FindRecordBySize(const std::string& libraryRoot, const std::string& sizeText);

// "-1" when the drive holds no disc, else FindRecordBySize with the disc's total size.
std::string IdentifyDiscInDrive(const platform::Drives& drives, char letter,
                                const std::string& libraryRoot);

} // namespace catalog
