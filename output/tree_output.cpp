#include "output/output.h"

#include "catalog/disk.h"
#include "catalog/text.h"
#include "output/documents.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace output {
namespace {

constexpr std::string_view Branch = "|-------";
constexpr std::string_view TextIndent = "|        ";
// "|" and four ideographic spaces (U+3000, GBK A1 A1).
constexpr std::string_view HtmlIndent = "|\xA1\xA1\xA1\xA1\xA1\xA1\xA1\xA1";
constexpr std::string_view LineEnd = "\r\n";
constexpr std::string_view HtmlLineEnd = "<BR>\r\n";

// A document built into a buffer that its caller keeps: the buffer's size is the room to
// write in, grown when needed and, once grown, reused from document to document without
// being cleared again.
class DocumentWriter
{
public:
    explicit DocumentWriter(std::string& buffer) : m_buffer(buffer) {}

    void room(std::size_t bytes)
    {
        if (m_buffer.size() - m_used < bytes) {
            m_buffer.resize(std::max(m_buffer.size() * 2, m_used + bytes + 4096));
        }
    }
    void put(std::string_view bytes)
    {
        room(bytes.size());
        std::memcpy(m_buffer.data() + m_used, bytes.data(), bytes.size());
        m_used += bytes.size();
    }
    std::size_t size() const { return m_used; }

private:
    std::string& m_buffer;
    std::size_t m_used = 0;
};

// Node texts are copied as they are, or escaped for HTML. None of & < > " is ever the
// trail byte of a GBK character (trail bytes run from 0x40), so bytes are safe to test.
struct Plain
{
    static void put(DocumentWriter& out, std::string_view text) { out.put(text); }
};

struct Escaped
{
    static void put(DocumentWriter& out, std::string_view text)
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
            out.put(text.substr(start, i - start));
            out.put(entity);
            start = i + 1;
        }
        out.put(text.substr(start));
    }
};

// The connectors in front of a node's text: for k levels, k - 1 indent strings and the
// branch. Kept as one string of many indents and the branch, whose tail is the prefix of
// any depth up to that many levels.
class Connectors
{
public:
    explicit Connectors(std::string_view indent) : m_indent(indent)
    {
        for (std::size_t i = 0; i < Depths; ++i) {
            m_all.append(indent);
        }
        m_all.append(Branch);
    }

    void put(DocumentWriter& out, std::size_t indents) const
    {
        if (indents <= Depths) {
            out.put(std::string_view(m_all).substr((Depths - indents) * m_indent.size()));
            return;
        }
        for (std::size_t i = 0; i < indents; ++i) {
            out.put(m_indent);
        }
        out.put(Branch);
    }

    std::string_view indent() const { return m_indent; }

private:
    static constexpr std::size_t Depths = 32;
    std::string_view m_indent;
    std::string m_all;
};

const Connectors& connectorsOf(Style style)
{
    static const Connectors text(TextIndent);
    static const Connectors html(HtmlIndent);
    return style == Style::Html ? html : text;
}

// Puts a line after the root, redrawn: the part before its last tab is the indentation,
// the rest the node's text; the line becomes the indentation, the branch and the text,
// and every tab left in it is taken out and answered by an indent string in front. A line
// without a tab gets the branch at its end.
template <class Text>
void putDrawn(DocumentWriter& out, std::string_view line, const Connectors& connectors)
{
    std::size_t leading = 0;
    while (leading < line.size() && line[leading] == '\t') {
        ++leading;
    }
    const std::string_view rest = line.substr(leading);
    if (rest.find('\t') == std::string_view::npos) {
        if (leading == 0) {
            Text::put(out, line);
            out.put(Branch);
        } else {
            // The usual line: nothing but tabs before the node's text.
            connectors.put(out, leading - 1);
            Text::put(out, rest);
        }
        return;
    }
    const std::size_t lastTab = line.rfind('\t');
    const std::string_view indentation = line.substr(0, lastTab);
    const auto tabs =
        static_cast<std::size_t>(std::count(indentation.begin(), indentation.end(), '\t'));
    for (std::size_t i = 0; i < tabs; ++i) {
        out.put(connectors.indent());
    }
    std::size_t start = 0;
    for (std::size_t tab = indentation.find('\t'); tab != std::string_view::npos;
         tab = indentation.find('\t', start)) {
        Text::put(out, indentation.substr(start, tab - start));
        start = tab + 1;
    }
    Text::put(out, indentation.substr(start));
    out.put(Branch);
    Text::put(out, line.substr(lastTab + 1));
}

template <class Text>
void putDocumentLines(std::string_view listing, Style style, std::string_view lineEnd,
                      DocumentWriter& out)
{
    const Connectors& connectors = connectorsOf(style);
    // A first guess of the room the drawn lines take; the writer grows past it if need be.
    out.room(listing.size() * 4);
    catalog::LineScanner lines(listing);
    std::string_view line;
    if (!lines.next(line)) {
        return;
    }
    Text::put(out, line);
    out.put(lineEnd);
    while (lines.next(line)) {
        putDrawn<Text>(out, line, connectors);
        out.put(lineEnd);
    }
}

std::string fileNameOf(const std::string& path)
{
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

void writeDocument(const std::string& listingPath, const std::string& outputPath,
                   std::size_t (*build)(const std::string& listingPath, std::string_view listing,
                                        std::string& buffer))
{
    // A document written over its own listing would leave the record without its tree.
    struct stat source = {};
    struct stat target = {};
    if (::lstat(listingPath.c_str(), &source) == 0 && ::lstat(outputPath.c_str(), &target) == 0 &&
        source.st_dev == target.st_dev && source.st_ino == target.st_ino) {
        throw catalog::FileError(
            catalog::DisplayPath(outputPath) + ": 不能覆盖光盘自己的目录树文件", EINVAL);
    }
    const std::string listing = catalog::ReadWholeFile(listingPath);
    std::string buffer;
    const std::size_t size = build(listingPath, listing, buffer);
    catalog::WriteFileAtomically(outputPath, std::string_view(buffer.data(), size));
}

} // namespace

namespace detail {

std::size_t BuildTreeText(std::string_view listingGbk, std::string& buffer)
{
    DocumentWriter out(buffer);
    putDocumentLines<Plain>(listingGbk, Style::Text, LineEnd, out);
    return out.size();
}

std::size_t BuildTreeHtml(std::string_view listingGbk, std::string_view cdNameGbk,
                          std::string& buffer)
{
    static const std::string titleBefore = catalog::utf8ToGbk("<center><font size=5>光盘 ");
    static const std::string titleAfter = catalog::utf8ToGbk(" 的结构</font></center>\r\n");
    DocumentWriter out(buffer);
    out.put("<HTML>\r\n<HEAD>\r\n");
    // Declared, so that a browser shows the Chinese text right whatever its own locale.
    out.put("<META http-equiv=\"Content-Type\" content=\"text/html; charset=gbk\">\r\n");
    out.put("<TITLE>");
    Escaped::put(out, cdNameGbk);
    out.put("</TITLE>\r\n</HEAD>\r\n<BODY>\r\n");
    out.put(titleBefore);
    Escaped::put(out, cdNameGbk);
    out.put(titleAfter);
    out.put("<BR><BR>\r\n");
    putDocumentLines<Escaped>(listingGbk, Style::Html, HtmlLineEnd, out);
    out.put("</BODY>\r\n</HTML>\r\n");
    return out.size();
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

std::string TakenNames::firstFree(std::string_view name, Style style, int& counter) const
{
    const std::string_view ext = style == Style::Html ? ".HTM" : ".TXT";
    const std::string upperName = catalog::upperAscii(name);
    std::string candidate = upperName;
    candidate += ext;
    if (counter < 2 && m_upperNames.count(candidate) == 0) {
        counter = 1;
        return std::string(name);
    }
    // The counter and the extension are ASCII: the upper-cased candidate is built directly.
    for (counter = std::max(counter + 1, 2);; ++counter) {
        candidate = upperName;
        candidate += '(';
        candidate += std::to_string(counter);
        candidate += ')';
        candidate += ext;
        if (m_upperNames.count(candidate) == 0) {
            return std::string(name) + "(" + std::to_string(counter) + ")";
        }
    }
}

std::string TakenNames::unique(std::string_view name, Style style) const
{
    int counter = 0;
    return firstFree(name, style, counter);
}

std::string TakenNames::claim(std::string_view name, Style style)
{
    std::string key = catalog::upperAscii(name);
    key += style == Style::Html ? '\x01' : '\x00';
    const auto last = m_lastCounter.find(key);
    int counter = last == m_lastCounter.end() ? 0 : last->second;
    std::string free = firstFree(name, style, counter);
    m_lastCounter[key] = counter;
    m_upperNames.insert(catalog::upperAscii(free) + (style == Style::Html ? ".HTM" : ".TXT"));
    return free;
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
    const Connectors& connectors = connectorsOf(style);
    while (lines.next(line)) {
        std::string& buffer = drawn.emplace_back();
        DocumentWriter out(buffer);
        putDrawn<Plain>(out, line, connectors);
        buffer.resize(out.size());
    }
    return drawn;
}

std::string TreeTextDocument(std::string_view listingGbk)
{
    std::string document;
    document.resize(detail::BuildTreeText(listingGbk, document));
    return document;
}

std::string TreeHtmlDocument(std::string_view listingGbk, std::string_view cdNameGbk)
{
    std::string document;
    document.resize(detail::BuildTreeHtml(listingGbk, cdNameGbk, document));
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
                  [](const std::string&, std::string_view listing, std::string& buffer) {
                      return detail::BuildTreeText(listing, buffer);
                  });
}

void WriteTreeHtml(const std::string& listingPath, const std::string& outputPath)
{
    writeDocument(listingPath, outputPath,
                  [](const std::string& path, std::string_view listing, std::string& buffer) {
                      return detail::BuildTreeHtml(listing, CdNameOfListing(path), buffer);
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
    return outputFolder +
           detail::TakenNames(outputFolder).unique(catalog::gbkToUtf8(cdNameGbk), style);
}

} // namespace output
