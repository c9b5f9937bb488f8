#include "output/output.h"

#include "catalog/disk.h"
#include "catalog/text.h"
#include "output/documents.h"

#include <algorithm>

namespace output {
namespace {

constexpr std::string_view Branch = "|-------";
constexpr std::string_view TextIndent = "|        ";
// "|" and four ideographic spaces (U+3000, GBK A1 A1).
constexpr std::string_view HtmlIndent = "|\xA1\xA1\xA1\xA1\xA1\xA1\xA1\xA1";
constexpr std::string_view LineEnd = "\r\n";
constexpr std::string_view HtmlLineEnd = "<BR>\r\n";

std::string_view indentOf(Style style)
{
    return style == Style::Html ? HtmlIndent : TextIndent;
}

// Node texts are copied as they are, or escaped for HTML. None of & < > " is ever the
// trail byte of a GBK character (trail bytes run from 0x40), so bytes are safe to test.
struct Plain
{
    static void append(std::string& out, std::string_view text) { out.append(text); }
};

struct Escaped
{
    static void append(std::string& out, std::string_view text)
    {
        std::size_t start = 0;
        for (std::size_t i = 0; i < text.size(); ++i) {
            std::string_view entity;
            switch (text[i]) {
            case '&':
                entity = "&amp;";
                break;
            case '<':
                entity = "&lt;";
                break;
            case '>':
                entity = "&gt;";
                break;
            case '"':
                entity = "&quot;";
                break;
            default:
                continue;
            }
            out.append(text.substr(start, i - start));
            out.append(entity);
            start = i + 1;
        }
        out.append(text.substr(start));
    }
};

// Appends a line after the root, redrawn: the part before its last tab is the
// indentation, the rest the node's text; the line becomes the indentation, the branch and
// the text, and every tab left in it is taken out and answered by an indent string in
// front. A line without a tab gets the branch at its end.
template <class Text>
void appendDrawn(std::string& out, std::string_view line, std::string_view indent)
{
    const std::size_t lastTab = line.rfind('\t');
    if (lastTab == std::string_view::npos) {
        Text::append(out, line);
        out.append(Branch);
        return;
    }
    const std::string_view indentation = line.substr(0, lastTab);
    std::size_t leading = 0;
    while (leading < indentation.size() && indentation[leading] == '\t') {
        ++leading;
    }
    if (leading == indentation.size()) {
        // The usual line: nothing but tabs before the node's text.
        for (std::size_t i = 0; i < leading; ++i) {
            out.append(indent);
        }
    } else {
        const auto tabs =
            static_cast<std::size_t>(std::count(indentation.begin(), indentation.end(), '\t'));
        for (std::size_t i = 0; i < tabs; ++i) {
            out.append(indent);
        }
        std::size_t start = 0;
        for (std::size_t tab = indentation.find('\t'); tab != std::string_view::npos;
             tab = indentation.find('\t', start)) {
            Text::append(out, indentation.substr(start, tab - start));
            start = tab + 1;
        }
        Text::append(out, indentation.substr(start));
    }
    out.append(Branch);
    Text::append(out, line.substr(lastTab + 1));
}

// Room for the drawn lines of a listing: every tab may become an indent string and every
// line gains the branch and its end, so the buffer is allocated once (escaping aside).
std::size_t drawnSizeBound(std::string_view listing, std::string_view indent, std::size_t perLine)
{
    const auto tabs = static_cast<std::size_t>(std::count(listing.begin(), listing.end(), '\t'));
    const auto ends = static_cast<std::size_t>(std::count(listing.begin(), listing.end(), '\n')) +
                      static_cast<std::size_t>(std::count(listing.begin(), listing.end(), '\r'));
    return listing.size() + tabs * indent.size() + (ends + 1) * (Branch.size() + perLine);
}

template <class Text>
void appendDocumentLines(std::string_view listing, std::string_view indent,
                         std::string_view lineEnd, std::string& out)
{
    catalog::LineScanner lines(listing);
    std::string_view line;
    if (!lines.next(line)) {
        return;
    }
    Text::append(out, line);
    out.append(lineEnd);
    while (lines.next(line)) {
        appendDrawn<Text>(out, line, indent);
        out.append(lineEnd);
    }
}

std::string fileNameOf(const std::string& path)
{
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

void writeDocument(const std::string& listingPath, const std::string& outputPath,
                   void (*build)(const std::string& listingPath, std::string_view listing,
                                 std::string& out))
{
    const std::string listing = catalog::ReadWholeFile(listingPath);
    std::string document;
    build(listingPath, listing, document);
    catalog::WriteFileAtomically(outputPath, document);
}

} // namespace

namespace detail {

void BuildTreeText(std::string_view listingGbk, std::string& out)
{
    out.clear();
    out.reserve(drawnSizeBound(listingGbk, TextIndent, LineEnd.size()));
    appendDocumentLines<Plain>(listingGbk, TextIndent, LineEnd, out);
}

void BuildTreeHtml(std::string_view listingGbk, std::string_view cdNameGbk, std::string& out)
{
    static const std::string titleBefore = catalog::utf8ToGbk("<center><font size=5>光盘 ");
    static const std::string titleAfter = catalog::utf8ToGbk(" 的结构</font></center>\r\n");
    out.clear();
    out.reserve(drawnSizeBound(listingGbk, HtmlIndent, HtmlLineEnd.size()) + 256 +
                2 * cdNameGbk.size());
    out.append("<HTML>\r\n<HEAD>\r\n");
    // Declared, so that a browser shows the Chinese text right whatever its own locale.
    out.append("<META http-equiv=\"Content-Type\" content=\"text/html; charset=gbk\">\r\n");
    out.append("<TITLE>");
    Escaped::append(out, cdNameGbk);
    out.append("</TITLE>\r\n</HEAD>\r\n<BODY>\r\n");
    out.append(titleBefore);
    Escaped::append(out, cdNameGbk);
    out.append(titleAfter);
    out.append("<BR><BR>\r\n");
    appendDocumentLines<Escaped>(listingGbk, HtmlIndent, HtmlLineEnd, out);
    out.append("</BODY>\r\n</HTML>\r\n");
}

TakenNames::TakenNames(const std::string& folder)
{
    std::vector<catalog::DirEntry> entries;
    catalog::ListFolder(folder, entries);
    m_upperNames.reserve(entries.size() * 2);
    for (const auto& entry : entries) {
        m_upperNames.insert(catalog::upperAscii(entry.name));
    }
}

std::string TakenNames::firstFree(std::string_view cdNameGbk, Style style, int& counter) const
{
    const std::string_view ext = style == Style::Html ? ".HTM" : ".TXT";
    const std::string upperName = catalog::upperAscii(cdNameGbk);
    std::string candidate = upperName;
    candidate += ext;
    if (counter < 2 && m_upperNames.count(candidate) == 0) {
        counter = 1;
        return std::string(cdNameGbk);
    }
    // The counter and the extension are ASCII: the upper-cased candidate is built directly.
    for (counter = std::max(counter + 1, 2);; ++counter) {
        candidate = upperName;
        candidate += '(';
        candidate += std::to_string(counter);
        candidate += ')';
        candidate += ext;
        if (m_upperNames.count(candidate) == 0) {
            return std::string(cdNameGbk) + "(" + std::to_string(counter) + ")";
        }
    }
}

std::string TakenNames::unique(std::string_view cdNameGbk, Style style) const
{
    int counter = 0;
    return firstFree(cdNameGbk, style, counter);
}

std::string TakenNames::claim(std::string_view cdNameGbk, Style style)
{
    std::string key = catalog::upperAscii(cdNameGbk);
    key += style == Style::Html ? '\x01' : '\x00';
    const auto last = m_lastCounter.find(key);
    int counter = last == m_lastCounter.end() ? 0 : last->second;
    std::string name = firstFree(cdNameGbk, style, counter);
    m_lastCounter[key] = counter;
    m_upperNames.insert(catalog::upperAscii(name) + (style == Style::Html ? ".HTM" : ".TXT"));
    return name;
}

} // namespace detail

std::vector<std::string> DrawTreeLines(std::string_view listingGbk, Style style)
{
    std::vector<std::string> drawn;
    catalog::LineScanner lines(listingGbk);
    std::string_view line;
    if (!lines.next(line)) {
        return drawn;
    }
    drawn.emplace_back(line);
    const std::string_view indent = indentOf(style);
    while (lines.next(line)) {
        std::string& out = drawn.emplace_back();
        appendDrawn<Plain>(out, line, indent);
    }
    return drawn;
}

std::string TreeTextDocument(std::string_view listingGbk)
{
    std::string document;
    detail::BuildTreeText(listingGbk, document);
    return document;
}

std::string TreeHtmlDocument(std::string_view listingGbk, std::string_view cdNameGbk)
{
    std::string document;
    detail::BuildTreeHtml(listingGbk, cdNameGbk, document);
    return document;
}

std::string CdNameOfListing(const std::string& listingPath)
{
    const std::string name = fileNameOf(listingPath);
    return name.size() < 4 ? std::string() : name.substr(0, name.size() - 4);
}

void WriteTreeText(const std::string& listingPath, const std::string& outputPath)
{
    writeDocument(listingPath, outputPath,
                  [](const std::string&, std::string_view listing, std::string& out) {
                      detail::BuildTreeText(listing, out);
                  });
}

void WriteTreeHtml(const std::string& listingPath, const std::string& outputPath)
{
    writeDocument(listingPath, outputPath,
                  [](const std::string& path, std::string_view listing, std::string& out) {
                      detail::BuildTreeHtml(listing, CdNameOfListing(path), out);
                  });
}

std::string WithOutputExtension(const std::string& chosenPath, Style style)
{
    const std::string name = fileNameOf(chosenPath);
    const auto dot = name.rfind('.');
    const std::string upperExt =
        dot == std::string::npos ? std::string() : catalog::upperAscii(name.substr(dot));
    if (style == Style::Html) {
        return upperExt == ".HTM" ? chosenPath : chosenPath + ".Htm";
    }
    return upperExt == ".TXT" ? chosenPath : chosenPath + ".txt";
}

std::string UniqueOutputName(const std::string& outputFolder, std::string_view cdNameGbk,
                             Style style)
{
    return outputFolder + detail::TakenNames(outputFolder).unique(cdNameGbk, style);
}

} // namespace output
