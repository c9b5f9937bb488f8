#include "migrate/xml.h"

#include "migrate/catalogue.h"
#include "migrate/input.h"

#include <expat.h>

#include <algorithm>
#include <memory>
#include <vector>

namespace migrate {
namespace {

// Expat reads the file as ISO-8859-1 and hands out UTF-8: each character below U+0100 is
// one byte of the file. A character reference above that stays UTF-8.
void appendBytes(std::string& into, std::string_view utf8)
{
    const auto high = std::find_if(utf8.begin(), utf8.end(),
                                   [](char c) { return static_cast<unsigned char>(c) >= 0x80; });
    into.append(utf8.begin(), high); // mostly all of it
    utf8.remove_prefix(static_cast<std::size_t>(high - utf8.begin()));
    for (std::size_t i = 0; i < utf8.size(); ++i) {
        const auto c = static_cast<unsigned char>(utf8[i]);
        if ((c == 0xC2 || c == 0xC3) && i + 1 < utf8.size()) {
            into += static_cast<char>(((c & 0x03) << 6) |
                                      (static_cast<unsigned char>(utf8[i + 1]) & 0x3F));
            ++i;
        } else {
            into += static_cast<char>(c);
        }
    }
}

bool beginsWithUtf16Mark(const std::string& head)
{
    return head.size() >= 2 &&
           ((head[0] == '\xFF' && head[1] == '\xFE') || (head[0] == '\xFE' && head[1] == '\xFF'));
}

} // namespace

struct XmlReader::Callbacks
{
    static XmlReader& self(void* data) { return *static_cast<XmlReader*>(data); }

    // A handler's exception (a sink that stops, a file that cannot be written) must not
    // unwind through the parser: it stops the parse and is thrown again after it.
    template <typename Handler> static void guarded(void* data, Handler handler)
    {
        XmlReader& reader = self(data);
        if (reader.m_error) {
            return;
        }
        try {
            handler(reader);
        } catch (...) {
            reader.m_error = std::current_exception();
            XML_StopParser(static_cast<XML_Parser>(reader.m_parser), XML_FALSE);
        }
    }

    static void start(void* data, const XML_Char* name, const XML_Char** attrs)
    {
        guarded(data, [&](XmlReader& reader) { started(reader, name, attrs); });
    }

    static void started(XmlReader& reader, const XML_Char* name, const XML_Char** attrs)
    {
        if (++reader.m_depth > MaxNesting) {
            reader.fail("XML 元素嵌套超过 " + std::to_string(MaxNesting) + " 层");
            return;
        }
        reader.m_name.clear();
        appendBytes(reader.m_name, name);
        if (!reader.m_latin1 || *attrs == nullptr) { // most elements have no attributes
            reader.start(reader.m_latin1 ? std::string_view(reader.m_name) : name, attrs);
            return;
        }
        std::vector<std::string> values;
        for (const XML_Char** a = attrs; *a != nullptr; ++a) {
            std::string& value = values.emplace_back();
            appendBytes(value, *a);
        }
        std::vector<const char*> pointers;
        for (const std::string& value : values) {
            pointers.push_back(value.c_str());
        }
        pointers.push_back(nullptr);
        reader.start(reader.m_name, pointers.data());
    }

    static void end(void* data, const XML_Char* name)
    {
        guarded(data, [&](XmlReader& reader) { ended(reader, name); });
    }

    static void ended(XmlReader& reader, const XML_Char* name)
    {
        --reader.m_depth;
        reader.m_name.clear();
        appendBytes(reader.m_name, name);
        reader.end(reader.m_name);
    }

    static void text(void* data, const XML_Char* chars, int length)
    {
        guarded(data, [&](XmlReader& reader) { textRead(reader, chars, length); });
    }

    static void textRead(XmlReader& reader, const XML_Char* chars, int length)
    {
        if (!reader.collecting()) {
            return;
        }
        const std::string_view utf8(chars, static_cast<std::size_t>(length));
        if (!reader.m_latin1) {
            reader.text(utf8);
            return;
        }
        reader.m_text.clear();
        appendBytes(reader.m_text, utf8);
        reader.text(reader.m_text);
    }

    static void entity(void* data, const XML_Char*, int, const XML_Char*, int, const XML_Char*,
                       const XML_Char*, const XML_Char*, const XML_Char*)
    {
        self(data).fail("文件中含有实体声明 (DOCTYPE ENTITY), 为安全起见不予读取");
    }
};

void XmlReader::collect(std::string& into, std::string_view text)
{
    if (into.size() + text.size() > MaxText) {
        m_textCut = true;
        text = text.substr(0, MaxText - std::min(MaxText, into.size()));
    }
    into += text;
}

std::string XmlReader::attribute(const char** attrs, std::string_view name)
{
    for (const char** a = attrs; *a != nullptr; a += 2) {
        if (name == *a) {
            return a[1];
        }
    }
    return {};
}

void XmlReader::fail(std::string messageUtf8)
{
    if (m_failure.empty()) {
        m_failure = std::move(messageUtf8);
    }
    XML_StopParser(static_cast<XML_Parser>(m_parser), XML_FALSE);
}

void XmlReader::parse(Input& input)
{
    m_latin1 = !beginsWithUtf16Mark(input.head());
    const std::unique_ptr<XML_ParserStruct, void (*)(XML_Parser)> parser(
        XML_ParserCreate(m_latin1 ? "ISO-8859-1" : nullptr), XML_ParserFree);
    m_parser = parser.get();
    XML_SetUserData(parser.get(), this);
    XML_SetElementHandler(parser.get(), Callbacks::start, Callbacks::end);
    XML_SetCharacterDataHandler(parser.get(), Callbacks::text);
    XML_SetEntityDeclHandler(parser.get(), Callbacks::entity);
    XML_SetParamEntityParsing(parser.get(), XML_PARAM_ENTITY_PARSING_NEVER);
    constexpr std::size_t Chunk = 256 * 1024;
    for (;;) {
        void* buffer = XML_GetBuffer(parser.get(), Chunk);
        if (buffer == nullptr) {
            throw ReadError{"内存不足"};
        }
        const std::size_t got = input.read(static_cast<char*>(buffer), Chunk);
        const XML_Status status = XML_ParseBuffer(parser.get(), static_cast<int>(got), got == 0);
        if (m_error) {
            std::rethrow_exception(m_error);
        }
        if (status != XML_STATUS_OK) {
            const auto line = std::to_string(XML_GetCurrentLineNumber(parser.get()));
            throw ReadError{"第 " + line + " 行: " +
                            (m_failure.empty() ? std::string("XML 格式错误: ") +
                                                     XML_ErrorString(XML_GetErrorCode(parser.get()))
                                               : m_failure)};
        }
        if (got == 0) {
            return;
        }
    }
}

} // namespace migrate
