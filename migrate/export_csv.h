#pragma once

#include <string>
#include <vector>

// Every CD under a box as one CSV table in the column layout of VVV exports, which other
// catalogue programs and spreadsheets read: Volume,Path,Name,Size,Ext,Last modified,
// Description. UTF-8, a header, fields quoted, rows ended by CR LF.
namespace migrate {

struct CsvExport
{
    int cds = 0;
    long long rows = 0;
    // CDs whose listing could not be read, breaks part way (a line deeper than its place)
    // or holds more than one root: nothing of them is written.
    std::vector<std::string> failedUtf8;
};

// Volume is the CD's box path below the library root and its name, joined by "\"; Path
// the folder inside the CD ("/I386/LANG"), Name the whole name and Ext its extension.
// Sizes and dates are empty: records keep none. A file gets a row; a folder gets one
// (with an empty Name and its own path) when it is empty or described; a described CD
// gets one with Path "/". The file is written beside its place and renamed over it.
// Throws catalog::FileError when the output cannot be written.
CsvExport ExportBoxCsv(const std::string& libraryRoot, const std::string& boxFolder,
                       const std::string& outputPath);

} // namespace migrate
