#pragma once

#include <cstddef>
#include <exception>
#include <string>
#include <string_view>

namespace migrate {

class Input;

// A streaming XML reader over expat for catalogue files. Entity declarations are refused
// (no entity is ever expanded, none read from outside), nesting is bounded, and the text
// of the document reaches the handlers as the file's own bytes: files that declare UTF-8
// and hold GBK names are common, so the parser reads bytes and decodeText judges them.
class XmlReader
{
public:
    virtual ~XmlReader() = default;
    // Reads the whole input. Throws ReadError (with the line) for a document that is not
    // well-formed, declares entities, nests too deep or ends early.
    void parse(Input& input);
    // Some text was longer than MaxText and was cut.
    bool textCut() const { return m_textCut; }

protected:
    // Element names and attribute values as bytes; attrs as name, value, ..., nullptr.
    virtual void start(std::string_view name, const char** attrs) = 0;
    virtual void end(std::string_view name) = 0;
    // Called for text only while collecting() is true.
    virtual bool collecting() const = 0;
    // Appends text to `into`, cut at MaxText bytes (the cut is reported once).
    void collect(std::string& into, std::string_view text);
    virtual void text(std::string_view bytes) = 0;
    // The value of an attribute (bytes), "" when absent.
    static std::string attribute(const char** attrs, std::string_view name);
    // Ends the parse with this message after the current handler returns.
    void fail(std::string messageUtf8);

    static constexpr std::size_t MaxText = 1 << 20;
    static constexpr int MaxNesting = 300;

private:
    struct Callbacks;
    void* m_parser = nullptr;
    std::string m_failure;
    std::exception_ptr m_error; // thrown by a handler; carried past the C parser
    int m_depth = 0;
    bool m_textCut = false;
    bool m_latin1 = true;
    std::string m_name; // reused for element names
    std::string m_text; // and for text
};

} // namespace migrate
