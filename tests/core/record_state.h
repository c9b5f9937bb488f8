#pragma once

// CD records as they lie on disk, read back for the tests that drive whole commands:
// the files of a box grouped by record name and kind, whatever the extension's spelling.

#include <map>
#include <string>
#include <vector>

namespace testing_support {

// Kind (".CDR", ".TAG", ".MX", ".FMX", ".IFN") -> contents of each file of that kind; more
// than one entry means two spellings of one file side by side.
using RecordOnDisk = std::map<std::string, std::vector<std::string>>;
// Kind -> bytes: one whole record as it should be.
using RecordContent = std::map<std::string, std::string>;

// The record files of folder (native path ending in "/") by exact base name.
std::map<std::string, RecordOnDisk> ReadRecords(const std::string& folder);

// The kind of a record file name ("" when it is none) and its base name.
std::string RecordKind(const std::string& fileName, std::string* base = nullptr);

// True when the files on disk are exactly that content: every kind once, nothing more.
bool IsWhole(const RecordOnDisk& files, const RecordContent& content);

// Writes content as record name in folder, each kind with the spelling at the same key
// of spellings (the kind itself where none is given).
void WriteRecord(const std::string& folder, const std::string& nameGbk,
                 const RecordContent& content,
                 const std::map<std::string, std::string>& spellings = {});

// Paths below folder whose name begins ".vellumark-": what a killed writer left behind.
std::vector<std::string> TemporaryFilesBelow(const std::string& folder);

} // namespace testing_support
