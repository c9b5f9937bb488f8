#include "migrate/catalogue.h"

#include "catalog/text.h"

#include <algorithm>
#include <charconv>

namespace migrate {
namespace {

bool breaksName(char c)
{
    return c == '/' || (static_cast<unsigned char>(c) < 0x20 && c != '\t');
}

} // namespace

bool DiscInfo::empty() const
{
    return numberUtf8.empty() && ownerUtf8.empty() && locationUtf8.empty() && kindUtf8.empty() &&
           !catalogued;
}

Node* Disc::add(const std::vector<std::string>& pathUtf8, bool folder)
{
    if (pathUtf8.empty() || pathUtf8.size() > MaxDepth) {
        return nullptr;
    }
    Node* node = &root;
    for (std::size_t i = 0; i < pathUtf8.size(); ++i) {
        const bool last = i + 1 == pathUtf8.size();
        const std::string& name = pathUtf8[i];
        const bool clean = std::none_of(name.begin(), name.end(), breaksName);
        // Most names are clean and most folders are there already: no copy to look one up.
        auto [child, made] =
            clean ? node->children.try_emplace(name) : node->children.try_emplace(cleanName(name));
        if (made) {
            ++m_nodes;
            child->second.folder = !last || folder;
        } else if (!last || folder) {
            child->second.folder = true;
        }
        node = &child->second;
    }
    return node;
}

std::string cleanName(std::string_view nameUtf8)
{
    std::string name(nameUtf8);
    std::replace_if(name.begin(), name.end(), breaksName, '?');
    return name;
}

std::string decodeText(std::string_view bytes)
{
    return catalog::isValidUtf8(bytes) ? std::string(bytes) : catalog::gbkToUtf8(bytes);
}

namespace {

// Reads digits at text[i...]; -1 when there are none.
int number(std::string_view text, std::size_t& i)
{
    int value = -1;
    const auto* begin = text.data() + i;
    const auto result = std::from_chars(begin, text.data() + text.size(), value);
    if (result.ec != std::errc() || result.ptr - begin > 4) {
        return -1;
    }
    i += static_cast<std::size_t>(result.ptr - begin);
    return value;
}

bool separator(std::string_view text, std::size_t& i)
{
    if (i < text.size() && (text[i] == '-' || text[i] == '/' || text[i] == '.')) {
        ++i;
        return true;
    }
    return false;
}

bool validDate(const catalog::DateTimeParts& parts)
{
    static constexpr int lengths[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return parts.year >= 1900 && parts.year <= 9999 && parts.month >= 1 && parts.month <= 12 &&
           parts.day >= 1 && parts.day <= lengths[parts.month - 1] && parts.hour <= 23 &&
           parts.minute <= 59 && parts.second <= 59;
}

} // namespace

std::optional<catalog::DateTimeParts> parseDate(std::string_view text)
{
    text = catalog::trimBlanks(text);
    std::size_t i = 0;
    const int a = number(text, i);
    if (!separator(text, i)) {
        return std::nullopt;
    }
    const int b = number(text, i);
    if (!separator(text, i)) {
        return std::nullopt;
    }
    const int c = number(text, i);
    if (a < 0 || b < 0 || c < 0) {
        return std::nullopt;
    }
    // Year first, else day first: the order of every locale but the American one.
    catalog::DateTimeParts parts = a > 31 ? catalog::DateTimeParts{a, b, c, 0, 0, 0}
                                          : catalog::DateTimeParts{c, b, a, 0, 0, 0};
    while (i < text.size() && (text[i] == ' ' || text[i] == 'T')) {
        ++i;
    }
    int* const fields[] = {&parts.hour, &parts.minute, &parts.second};
    for (std::size_t f = 0; f < 3 && i < text.size(); ++f) {
        if (f > 0 && text[i++] != ':') {
            break;
        }
        const int value = number(text, i);
        if (value < 0) {
            break;
        }
        *fields[f] = value;
    }
    if (!validDate(parts)) {
        return std::nullopt;
    }
    return parts;
}

std::vector<std::string> splitPath(std::string_view path)
{
    std::vector<std::string> names;
    std::size_t start = 0;
    while (start <= path.size()) {
        std::size_t end = path.find_first_of("\\/", start);
        if (end == std::string_view::npos) {
            end = path.size();
        }
        const std::string_view piece = path.substr(start, end - start);
        if (!piece.empty() && piece != "." && piece != "..") {
            names.emplace_back(piece);
        }
        start = end + 1;
    }
    return names;
}

Disc& DiscStream::start(std::string nameUtf8)
{
    finish();
    m_disc = Disc();
    m_disc.nameUtf8 = std::move(nameUtf8);
    m_open = true;
    return m_disc;
}

void DiscStream::finish()
{
    if (!m_open) {
        return;
    }
    m_open = false;
    if (!m_sink(m_disc)) {
        throw ReadStopped{};
    }
}

void AddItem(Disc& disc, const std::vector<std::string>& pathUtf8, bool folder,
             const std::string& descriptionUtf8, ReadNotes& notes)
{
    Node* node = disc.add(pathUtf8, folder);
    if (node == nullptr) {
        if (!pathUtf8.empty()) {
            notes.problemsUtf8.push_back(disc.nameUtf8 + ": 路径超过 " + std::to_string(MaxDepth) +
                                         " 层, 已略去: " + pathUtf8.back());
        }
        return;
    }
    if (!descriptionUtf8.empty()) {
        node->descriptionUtf8 = descriptionUtf8;
    }
}

std::string JoinExtension(std::string name, std::string_view ext)
{
    if (ext.empty()) {
        return name;
    }
    const std::string dotted = ext.front() == '.' ? std::string(ext) : "." + std::string(ext);
    const bool hasIt =
        name.size() >= dotted.size() &&
        catalog::equalsNoCase(std::string_view(name).substr(name.size() - dotted.size()), dotted);
    return hasIt ? name : name + dotted;
}

} // namespace migrate
