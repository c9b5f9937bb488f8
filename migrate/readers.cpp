#include "migrate/readers.h"

#include "migrate/input.h"

#include "catalog/text.h"

#include <array>
#include <utility>

namespace migrate {
namespace {

constexpr std::array<std::pair<Format, std::string_view>, 5> FormatNames = {{
    {Format::WhereIsItXml, "whereisit-xml"},
    {Format::WhereIsItCsv, "whereisit-csv"},
    {Format::Vvv, "vvv"},
    {Format::Cdcat, "cdcat"},
    {Format::List, "list"},
}};

std::string_view withoutMarkAndBlanks(std::string_view text)
{
    if (text.starts_with("\xEF\xBB\xBF")) {
        text.remove_prefix(3);
    }
    const std::size_t start = text.find_first_not_of(" \t\r\n");
    return start == std::string_view::npos ? std::string_view() : text.substr(start);
}

bool endsWithNoCase(std::string_view text, std::string_view end)
{
    return text.size() >= end.size() &&
           catalog::equalsNoCase(text.substr(text.size() - end.size()), end);
}

const char* const Encrypted = "这个 Cdcat 目录文件已加密 (不是 gzip 文件), 无法导入; "
                              "请在原软件中取消加密后再导出";

std::size_t count(std::string_view text, char c)
{
    return static_cast<std::size_t>(std::count(text.begin(), text.end(), c));
}

Format detectText(std::string_view text)
{
    const std::string_view line = text.substr(0, text.find_first_of("\r\n"));
    if (line.find('\0') != std::string_view::npos) {
        throw ReadError{"文件含有二进制数据, 不是可以导入的目录文件"};
    }
    if (line.starts_with("File, Folder or Disk;") ||
        (count(line, ';') >= 14 && line.ends_with(';'))) {
        return Format::WhereIsItCsv;
    }
    for (const char separator : {',', '\t', '|'}) {
        if (count(line, separator) >= 6) {
            return Format::Vvv;
        }
    }
    return Format::List;
}

} // namespace

std::string_view FormatName(Format format)
{
    for (const auto& [known, name] : FormatNames) {
        if (known == format) {
            return name;
        }
    }
    return {};
}

std::optional<Format> FormatNamed(std::string_view name)
{
    for (const auto& [format, known] : FormatNames) {
        if (known == name) {
            return format;
        }
    }
    return std::nullopt;
}

Format DetectFormat(const Input& input, std::string_view fileName)
{
    const std::string_view text = withoutMarkAndBlanks(input.head());
    if (text.starts_with('<')) {
        if (text.find("<REPORT") != std::string_view::npos) {
            return Format::WhereIsItXml;
        }
        if (text.find("<catalog") != std::string_view::npos) {
            return Format::Cdcat;
        }
        throw ReadError{"不认识这个 XML 文件: 其中既没有 REPORT 也没有 catalog 元素"};
    }
    if (input.gzip()) {
        throw ReadError{"这个 gzip 文件中不是可以导入的目录"};
    }
    if (endsWithNoCase(fileName, ".hcf")) {
        throw ReadError{Encrypted};
    }
    return detectText(text);
}

void ReadCatalogue(Input& input, Format format, const std::string& listDiscUtf8,
                   const DiscSink& sink, ReadNotes& notes)
{
    try {
        switch (format) {
        case Format::WhereIsItXml:
            ReadWhereIsItXml(input, sink, notes);
            break;
        case Format::Cdcat:
            if (!input.gzip() && !withoutMarkAndBlanks(input.head()).starts_with('<')) {
                throw ReadError{Encrypted};
            }
            ReadCdcat(input, sink, notes);
            break;
        case Format::WhereIsItCsv:
            ReadWhereIsItCsv(input, sink, notes);
            break;
        case Format::Vvv:
            ReadVvv(input, sink, notes);
            break;
        case Format::List:
            ReadPathList(input, listDiscUtf8, sink, notes);
            break;
        }
    } catch (const ReadStopped&) {
    }
}

} // namespace migrate
