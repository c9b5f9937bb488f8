#pragma once

#include "migrate/catalogue.h"

#include <optional>
#include <string>
#include <string_view>

// The readers of other programs' catalogue files. Each reads its file once, front to
// back, holding one disc at a time.
namespace migrate {

class Input;

enum class Format { WhereIsItXml, WhereIsItCsv, Vvv, Cdcat, List };

// "whereisit-xml", "whereisit-csv", "vvv", "cdcat", "list".
std::string_view FormatName(Format format);
std::optional<Format> FormatNamed(std::string_view name);

// The format of a file by its first bytes. A catalogue of the Cdcat kind that is neither
// gzip nor XML (an encrypted one) throws ReadError, as does a file that holds NUL bytes
// in its first line and is none of the formats.
Format DetectFormat(const Input& input, std::string_view fileName);

// Reads every disc of the file into sink. listDiscUtf8 names the one disc of a list of
// paths. Throws ReadError when the file cannot be read on; the discs handed over before
// stay handed over, the disc being read is dropped.
void ReadCatalogue(Input& input, Format format, const std::string& listDiscUtf8,
                   const DiscSink& sink, ReadNotes& notes);

// One reader per format (readers_xml.cpp, readers_text.cpp).
void ReadWhereIsItXml(Input& input, const DiscSink& sink, ReadNotes& notes);
void ReadCdcat(Input& input, const DiscSink& sink, ReadNotes& notes);
void ReadWhereIsItCsv(Input& input, const DiscSink& sink, ReadNotes& notes);
void ReadVvv(Input& input, const DiscSink& sink, ReadNotes& notes);
void ReadPathList(Input& input, const std::string& discUtf8, const DiscSink& sink,
                  ReadNotes& notes);

} // namespace migrate
