// The line and CSV catalogues: the ";" report, the VVV export and plain lists of paths.

#include "migrate/input.h"
#include "migrate/readers.h"

#include "catalog/text.h"

#include <csv.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <memory>

namespace migrate {
namespace {

// No record of these files runs to more than a few kilobytes; a longer one is hostile or
// not such a file, and holding it would cost memory without bound.
constexpr std::size_t MaxLine = 4 << 20;

std::string lineTooLong(std::size_t line)
{
    return "第 " + std::to_string(line) + " 行超过 4MB, 不是这种格式的文件";
}

bool beginsWithBom(std::string_view text)
{
    return text.starts_with("\xEF\xBB\xBF");
}

// Lines of the file without their ends (CR, LF or CR LF), a byte order mark taken off.
class LineReader
{
public:
    explicit LineReader(Input& input) : m_input(input) {}

    bool next(std::string& line)
    {
        for (;;) {
            const std::size_t end = m_buffer.find('\n', m_scanned);
            if (end != std::string::npos) {
                take(line, end, end + 1);
                return true;
            }
            m_scanned = m_buffer.size();
            if (m_buffer.size() - m_start > MaxLine) {
                throw ReadError{lineTooLong(m_number + 1)};
            }
            if (m_ended) {
                if (m_start == m_buffer.size()) {
                    return false;
                }
                take(line, m_buffer.size(), m_buffer.size());
                return true;
            }
            fill();
        }
    }

    std::size_t number() const { return m_number; }

private:
    void fill()
    {
        m_buffer.erase(0, m_start);
        m_scanned -= m_start;
        m_start = 0;
        const std::size_t size = m_buffer.size();
        m_buffer.resize(size + Chunk);
        const std::size_t got = m_input.read(m_buffer.data() + size, Chunk);
        m_buffer.resize(size + got);
        m_ended = got == 0;
    }

    void take(std::string& line, std::size_t end, std::size_t next)
    {
        line.assign(m_buffer, m_start, end - m_start);
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        if (m_number == 0 && beginsWithBom(line)) {
            line.erase(0, 3);
        }
        ++m_number;
        m_start = next;
        m_scanned = next;
    }

    static constexpr std::size_t Chunk = 256 * 1024;
    Input& m_input;
    std::string m_buffer;
    std::size_t m_start = 0;
    std::size_t m_scanned = 0;
    std::size_t m_number = 0;
    bool m_ended = false;
};

std::vector<std::string_view> splitFields(std::string_view record, char separator)
{
    std::vector<std::string_view> fields;
    std::size_t start = 0;
    for (;;) {
        const std::size_t end = record.find(separator, start);
        fields.push_back(record.substr(start, end == std::string_view::npos ? end : end - start));
        if (end == std::string_view::npos) {
            return fields;
        }
        start = end + 1;
    }
}

std::string decoded(std::string_view field)
{
    return decodeText(catalog::trimBlanks(field));
}

// ---- The ";" report ------------------------------------------------------------------------

constexpr std::string_view ClassicHeader = "File, Folder or Disk;";

class ClassicCsv
{
public:
    ClassicCsv(const DiscSink& sink, ReadNotes& notes) : m_discs(sink), m_notes(notes) {}

    void read(Input& input)
    {
        LineReader lines(input);
        std::string line;
        std::string record;
        std::size_t first = 0;
        while (lines.next(line)) {
            if (lines.number() == 1 && line.starts_with(ClassicHeader)) {
                continue;
            }
            if (record.empty()) {
                first = lines.number();
            } else {
                record += "\r\n"; // a description of several lines
            }
            record += line;
            if (record.size() > MaxLine) {
                throw ReadError{lineTooLong(first)};
            }
            // A record ends with ";": a line without one goes on in the next line.
            if (!record.empty() && record.back() == ';') {
                row(record, first);
                record.clear();
            }
        }
        if (!catalog::trimBlanks(record).empty()) {
            row(record, first);
        }
        m_discs.finish();
    }

private:
    enum Field {
        Name,
        Ext,
        Size,
        Date,
        Location,
        MediaType,
        Folder,
        Category,
        Desc,
        DiskNum,
        Time,
        Crc,
        Tag,
        DiskLocation,
        Count
    };

    void row(const std::string& record, std::size_t line)
    {
        const std::vector<std::string_view> f = splitFields(record, ';');
        if (f.size() < Count) {
            m_notes.problemsUtf8.push_back("第 " + std::to_string(line) + " 行的栏目不足 " +
                                           std::to_string(Count) + " 个, 已略去");
            return;
        }
        const std::string name = JoinExtension(decoded(f[Name]), decoded(f[Ext]));
        const std::string location = decoded(f[Location]);
        const std::string folder = decoded(f[Folder]);
        const bool disk = splitPath(folder).empty() && name == location;
        if (m_discs.current() == nullptr || m_discs.current()->nameUtf8 != location) {
            m_discs.start(location);
        }
        Disc& disc = *m_discs.current();
        DiscInfo& info = disc.info;
        for (auto [field, value] :
             {std::pair{&info.numberUtf8, DiskNum}, std::pair{&info.locationUtf8, DiskLocation},
              std::pair{&info.kindUtf8, MediaType}}) {
            if (field->empty()) {
                *field = decoded(f[value]);
            }
        }
        const std::string description = decodeText(f[Desc]);
        if (disk) {
            disc.descriptionUtf8 = description;
            info.catalogued = parseDate(std::string(f[Date]) + " " + std::string(f[Time]));
            return;
        }
        if (!f[Size].empty() || !f[Date].empty() || !f[Time].empty()) {
            m_notes.sizesOrDates = true;
        }
        const std::string_view size = catalog::trimBlanks(f[Size]);
        std::vector<std::string> path = splitPath(folder);
        path.push_back(name);
        AddItem(disc, path, size.empty() || size.front() == '<', description, m_notes);
    }

    DiscStream m_discs;
    ReadNotes& m_notes;
};

// ---- The VVV export ------------------------------------------------------------------------

char detectSeparator(std::string_view head)
{
    std::array<std::size_t, 3> counts = {};
    static constexpr std::array<char, 3> separators = {',', '\t', '|'};
    bool quoted = false;
    for (const char c : head.substr(0, head.find('\n'))) {
        if (c == '"') {
            quoted = !quoted;
        }
        for (std::size_t i = 0; i < separators.size(); ++i) {
            counts[i] += !quoted && c == separators[i];
        }
    }
    const auto most = std::max_element(counts.begin(), counts.end());
    return separators[static_cast<std::size_t>(most - counts.begin())];
}

class VvvCsv
{
public:
    VvvCsv(const DiscSink& sink, ReadNotes& notes) : m_discs(sink), m_notes(notes) {}

    void read(Input& input)
    {
        csv_parser parser;
        if (csv_init(&parser, CSV_APPEND_NULL) != 0) {
            throw ReadError{"内存不足"};
        }
        const std::unique_ptr<csv_parser, void (*)(csv_parser*)> owner(&parser, csv_free);
        csv_set_delim(&parser, static_cast<unsigned char>(detectSeparator(input.head())));
        // The parser grows a field's buffer by this much at a time (128 bytes by default,
        // which makes a long field cost a copy per 128 bytes).
        csv_set_blk_size(&parser, 64 * 1024);
        std::string buffer(256 * 1024, '\0');
        for (;;) {
            const std::size_t got = input.read(buffer.data(), buffer.size());
            if (got == 0) {
                break;
            }
            std::size_t done = 0;
            while (done < got) {
                // Small steps, so that no field grows far beyond the bound unseen.
                const std::size_t step = std::min<std::size_t>(got - done, 64 * 1024);
                if (csv_parse(&parser, buffer.data() + done, step, field, row, this) != step) {
                    throw ReadError{std::string("CSV 格式错误: ") +
                                    csv_strerror(csv_error(&parser))};
                }
                done += step;
                if (parser.entry_pos > MaxLine) {
                    throw ReadError{lineTooLong(m_rows + 1)};
                }
            }
            rethrow();
        }
        csv_fini(&parser, field, row, this);
        rethrow();
        m_discs.finish();
    }

private:
    enum Column { Volume, Path, Name, Size, Ext, Modified, Desc };

    static void field(void* data, std::size_t size, void* self)
    {
        auto& reader = *static_cast<VvvCsv*>(self);
        std::string_view text(static_cast<const char*>(data), data == nullptr ? 0 : size);
        if (reader.m_fields.empty() && reader.m_rows == 0 && beginsWithBom(text)) {
            text.remove_prefix(3);
        }
        reader.m_fields.emplace_back(text);
    }

    static void row(int, void* self)
    {
        auto& reader = *static_cast<VvvCsv*>(self);
        if (reader.m_error) {
            return;
        }
        // The sink may say stop, and a C parser must not be unwound through.
        try {
            reader.take();
        } catch (...) {
            reader.m_error = std::current_exception();
        }
        reader.m_fields.clear();
    }

    void rethrow()
    {
        if (m_error) {
            std::rethrow_exception(m_error);
        }
    }

    std::string column(Column c) const
    {
        return c < static_cast<int>(m_fields.size()) ? decoded(m_fields[c]) : std::string();
    }

    void take()
    {
        ++m_rows;
        // The header is in the writer's language: data rows give a folder path from "/".
        if (m_rows == 1 && m_fields.size() > Path && !m_fields[Path].starts_with('/')) {
            return;
        }
        if (m_fields.size() <= Name) {
            if (!(m_fields.size() == 1 && m_fields[0].empty())) {
                m_notes.problemsUtf8.push_back("第 " + std::to_string(m_rows) +
                                               " 条记录的栏目不足 3 个, 已略去");
            }
            return;
        }
        const std::string volume = column(Volume);
        if (m_discs.current() == nullptr || volume != m_volume) {
            m_volume = volume;
            std::vector<std::string> names;
            for (const auto piece : splitFields(volume, '\\')) {
                names.emplace_back(piece);
            }
            Disc& disc = m_discs.start(names.back());
            names.pop_back();
            disc.boxesUtf8 = std::move(names);
        }
        Disc& disc = *m_discs.current();
        if (!column(Size).empty() || !column(Modified).empty()) {
            m_notes.sizesOrDates = true;
        }
        std::vector<std::string> path = splitPath(column(Path));
        const std::string name = column(Name);
        const std::string description = column(Desc);
        // A row without a name stands for the folder of its path: the disc itself for "/".
        if (name.empty()) {
            if (path.empty()) {
                disc.descriptionUtf8 = description;
            } else {
                AddItem(disc, path, true, description, m_notes);
            }
            return;
        }
        path.push_back(JoinExtension(name, column(Ext)));
        AddItem(disc, path, false, description, m_notes);
    }

    DiscStream m_discs;
    ReadNotes& m_notes;
    std::vector<std::string> m_fields;
    std::size_t m_rows = 0;
    std::string m_volume;
    std::exception_ptr m_error;
};

// ---- Lists of paths ------------------------------------------------------------------------

bool isHex(char c)
{
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

// The path of a line as a checksum tool writes it ("HEX  path", "HEX *path",
// "MD5 (path) = HEX"), or the line itself.
std::string_view pathOfLine(std::string_view line)
{
    std::size_t hex = 0;
    while (hex < line.size() && isHex(line[hex])) {
        ++hex;
    }
    if (hex >= 32 && hex + 2 <= line.size() && line[hex] == ' ' &&
        (line[hex + 1] == ' ' || line[hex + 1] == '*')) {
        return line.substr(hex + 2);
    }
    const std::size_t open = line.find(" (");
    const std::size_t close = line.rfind(") = ");
    if (open != std::string_view::npos && close != std::string_view::npos && close > open &&
        open <= 10) {
        return line.substr(open + 2, close - open - 2);
    }
    return line;
}

void readPathList(Input& input, const std::string& discUtf8, const DiscSink& sink, ReadNotes& notes)
{
    DiscStream discs(sink);
    Disc& disc = discs.start(discUtf8);
    LineReader lines(input);
    std::string line;
    // The first line of `find /media/cd` is the folder itself: the disc root.
    std::vector<std::string> root;
    bool rootTaken = false;
    while (lines.next(line)) {
        std::string text = decodeText(pathOfLine(catalog::trimBlanks(line)));
        if (text.size() >= 2 && text[1] == ':' &&
            std::isalpha(static_cast<unsigned char>(text[0]))) {
            text.erase(0, 2); // the drive of `dir /S /B`
        }
        std::vector<std::string> path = splitPath(text);
        if (path.empty()) {
            continue;
        }
        if (lines.number() == 1 && text.front() == '/') {
            root = path;
            continue;
        }
        if (!root.empty() && path.size() > root.size() &&
            std::equal(root.begin(), root.end(), path.begin())) {
            path.erase(path.begin(), path.begin() + static_cast<std::ptrdiff_t>(root.size()));
            rootTaken = true;
        }
        AddItem(disc, path, false, {}, notes);
    }
    // A first line that no other line lies in was an entry like the others.
    if (!rootTaken && !root.empty()) {
        AddItem(disc, root, false, {}, notes);
    }
    discs.finish();
}

} // namespace

void ReadWhereIsItCsv(Input& input, const DiscSink& sink, ReadNotes& notes)
{
    ClassicCsv(sink, notes).read(input);
}

void ReadVvv(Input& input, const DiscSink& sink, ReadNotes& notes)
{
    VvvCsv(sink, notes).read(input);
}

void ReadPathList(Input& input, const std::string& discUtf8, const DiscSink& sink, ReadNotes& notes)
{
    readPathList(input, discUtf8, sink, notes);
}

} // namespace migrate
