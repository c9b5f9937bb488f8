#include "catalog/record_files.h"

#include "catalog/text.h"
#include "catalog/tree_text.h"

#include <cerrno>
#include <climits>
#include <utility>

namespace catalog {
namespace {

struct ExtensionClass
{
    std::string_view extension;
    int iconClass;
};

constexpr ExtensionClass ExtensionClasses[] = {
    {".EXE", 3},  {".TXT", 4},  {".ZIP", 5},  {".RAR", 5},   {".CAB", 5},  {".BMP", 6},
    {".JPG", 6},  {".GIF", 6},  {".ICO", 6},  {".WAV", 7},   {".MID", 7},  {".MP3", 7},
    {".MPG", 9},  {".AVI", 9},  {".RM", 9},   {".REG", 10},  {".FON", 11}, {".TTF", 11},
    {".HLP", 12}, {".CHM", 12}, {".HTM", 13}, {".HTML", 13}, {".RTF", 14}, {".WRI", 14},
    {".DOC", 14}, {".WPS", 14},
};

void setClass(Tree& tree, NodeId node, int iconClass)
{
    // A folder shows as an open folder while selected.
    tree.setImages(node, iconClass,
                   iconClass == IconClass::Folder ? IconClass::OpenFolder : iconClass);
}

// Calls visit(node) for every live node in index order.
template <typename Visit> void forEachInIndexOrder(const Tree& tree, Visit&& visit)
{
    if (tree.idsInIndexOrder()) {
        const auto count = static_cast<NodeId>(tree.size());
        for (NodeId node = 0; node < count; ++node) {
            visit(node);
        }
        return;
    }
    for (NodeId node : tree.indexOrder()) {
        visit(node);
    }
}

// Digits only, no sign, no blanks, and within int.
bool parseClass(std::string_view line, int& value)
{
    if (line.empty()) {
        return false;
    }
    long long parsed = 0;
    for (char c : line) {
        if (c < '0' || c > '9') {
            return false;
        }
        parsed = parsed * 10 + (c - '0');
        if (parsed > INT_MAX) {
            return false;
        }
    }
    value = static_cast<int>(parsed);
    return true;
}

// fileLabelUtf8 names the file in the message; empty when the text came from elsewhere.
TagApply applyTags(std::string_view tagText, Tree& tree, const std::string& fileLabelUtf8)
{
    IconClassReader classes(tagText);
    forEachInIndexOrder(tree, [&](NodeId node) { setClass(tree, node, classes.next()); });
    TagApply result;
    result.classesRead = classes.classesRead();
    const auto lines = static_cast<long long>(classes.classesRead());
    if (classes.stop() == IconClassReader::Stop::Short) {
        result.ok = false;
        result.errorUtf8 = "光盘标志文件" + fileLabelUtf8 + "只有" + decimal(lines) +
                           "行，少于光盘的" + decimal(static_cast<long long>(tree.size())) +
                           "个节点！";
    } else if (classes.stop() == IconClassReader::Stop::NotNumber) {
        result.ok = false;
        result.errorUtf8 =
            "光盘标志文件" + fileLabelUtf8 + "第" + decimal(lines + 1) + "行不是数字！";
    }
    return result;
}

std::string quotedName(std::string_view nameGbk)
{
    return "“" + gbkToUtf8(nameGbk) + "”";
}

std::string fileName(const std::string& path)
{
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string requireRecordFile(const RecordRef& record, std::string_view ext)
{
    std::string path = FindRecordFile(record.folder, record.name, ext);
    if (path.empty()) {
        throwFileError(record.folder + record.name + std::string(ext), ENOENT);
    }
    return path;
}

// A description is one line of the file: a line break inside it would shift every pair
// after it, so it is stored as a blank.
std::string singleLine(std::string_view text)
{
    std::string line;
    line.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' || text[i] == '\n') {
            if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
                ++i;
            }
            line += ' ';
        } else {
            line += text[i];
        }
    }
    return line;
}

} // namespace

int IconClassOf(std::string_view nameGbk)
{
    const std::string extension = UpperExtension(nameGbk);
    for (const auto& entry : ExtensionClasses) {
        if (entry.extension == extension) {
            return entry.iconClass;
        }
    }
    return IconClass::OtherFile;
}

int IconClassReader::next()
{
    std::string_view line;
    int iconClass = 0;
    if (m_stop != Stop::None) {
        return IconClass::Root;
    }
    if (!m_lines.next(line)) {
        m_stop = Stop::Short;
    } else if (!parseClass(line, iconClass)) {
        m_stop = Stop::NotNumber;
    } else {
        ++m_read;
        return iconClass;
    }
    return IconClass::Root;
}

TagApply ApplyTagText(std::string_view tagText, Tree& tree)
{
    return applyTags(tagText, tree, {});
}

TagApply ApplyTagIcons(const RecordRef& record, Tree& tree)
{
    const std::string path = FindRecordFile(record.folder, record.name, catalog::RecordKind::Tag);
    if (path.empty()) {
        forEachInIndexOrder(tree, [&](NodeId node) { setClass(tree, node, IconClass::Root); });
        TagApply missing;
        if (!tree.empty()) {
            missing.ok = false;
            missing.errorUtf8 =
                "光盘标志文件" + quotedName(record.name + std::string(RecordExt::Tag)) + "丢失！";
        }
        return missing;
    }
    return applyTags(ReadWholeFile(path), tree, quotedName(fileName(path)));
}

std::vector<std::string> IconListFromTree(const Tree& tree)
{
    std::vector<std::string> icons;
    icons.reserve(tree.size());
    forEachInIndexOrder(tree, [&](NodeId node) {
        if (icons.empty()) {
            icons.emplace_back("0");
        } else if (!tree.children(node).empty()) {
            icons.emplace_back("1");
        } else {
            icons.push_back(decimal(IconClassOf(tree.text(node))));
        }
    });
    return icons;
}

TreeLoad RebuildTagFromTree(const RecordRef& record)
{
    const FolderLock lock(record.folder);
    Tree hidden;
    // A broken listing still gets the icons of the nodes that could be read.
    const TreeLoad load = ReadTreeFile(requireRecordFile(record, RecordExt::Cdr), hidden);
    WriteRecordFile(record.folder, record.name, RecordExt::Tag,
                    JoinLines(IconListFromTree(hidden)));
    return load;
}

std::string TagText(const Tree& tree)
{
    std::string text;
    text.reserve(tree.size() * 3);
    forEachInIndexOrder(tree, [&](NodeId node) {
        text += decimal(tree.image(node));
        text += "\r\n";
    });
    return text;
}

EntryTotals CountTreeEntries(const Tree& tree)
{
    EntryTotals totals;
    bool first = true;
    forEachInIndexOrder(tree, [&](NodeId node) {
        if (first) {
            first = false;
        } else if (tree.image(node) == IconClass::Folder) {
            ++totals.folders;
        } else {
            ++totals.files;
        }
    });
    return totals;
}

std::string TotalsText(const EntryTotals& totals)
{
    return "总共有" + decimal(totals.folders) + "个文件夹," + decimal(totals.files) + "个文件";
}

RecordLoad LoadRecordTree(const RecordRef& record, std::string_view listingExt, Tree& tree)
{
    RecordLoad load;
    load.tree = ReadTreeFile(requireRecordFile(record, listingExt), tree);
    // The nodes read before an invalid level are shown with their icons all the same.
    load.tags = ApplyTagIcons(record, tree);
    load.totals = CountTreeEntries(tree);
    return load;
}

std::string ReadDescription(const RecordRef& record)
{
    const std::string path = FindRecordFile(record.folder, record.name, RecordExt::Mx);
    return path.empty() ? std::string() : ReadWholeFile(path);
}

void WriteDescription(const RecordRef& record, std::string_view textGbk)
{
    const FolderLock lock(record.folder);
    RequireRecord(record.folder, record.name);
    WriteRecordFile(record.folder, record.name, RecordExt::Mx, textGbk);
}

NodeNotes NodeNotes::parse(std::string_view fileText)
{
    NodeNotes notes;
    const std::vector<std::string_view> lines = SplitLines(fileText);
    notes.m_lines.assign(lines.begin(), lines.end());
    return notes;
}

NodeNotes NodeNotes::read(const RecordRef& record)
{
    const std::string path = FindRecordFile(record.folder, record.name, RecordExt::Fmx);
    return path.empty() ? NodeNotes() : parse(ReadWholeFile(path));
}

std::size_t NodeNotes::findKey(std::string_view nodePath) const
{
    // Values take part in the walk as well: the first equal line is the key.
    const std::string wanted = upperAscii(nodePath);
    for (std::size_t i = 0; i < m_lines.size(); ++i) {
        if (m_lines[i].size() == wanted.size() && upperAscii(m_lines[i]) == wanted) {
            return i;
        }
    }
    return m_lines.size();
}

const std::string* NodeNotes::lookUp(std::string_view nodePath) const
{
    // A match on the last line is a key whose value is missing: not described.
    const std::size_t key = findKey(nodePath);
    return key + 1 < m_lines.size() ? &m_lines[key + 1] : nullptr;
}

void NodeNotes::set(std::string_view nodePath, std::string_view description)
{
    std::string value = singleLine(description);
    const std::size_t key = findKey(nodePath);
    if (key + 1 < m_lines.size()) {
        m_lines[key + 1] = std::move(value);
    } else if (key < m_lines.size()) {
        // A key without its value on the last line: completing the pair keeps the
        // look-up, which stops at that line, finding the new value.
        m_lines.push_back(std::move(value));
    } else {
        m_lines.push_back(singleLine(nodePath));
        m_lines.push_back(std::move(value));
    }
}

std::string NodeNotes::text() const
{
    return JoinLines(m_lines);
}

void NodeNotes::write(const RecordRef& record) const
{
    WriteRecordFile(record.folder, record.name, RecordExt::Fmx, text());
}

NodeNotes NodeNotes::fromPairs(const std::vector<std::pair<std::string, std::string>>& pairs)
{
    NodeNotes notes;
    for (const auto& [key, description] : pairs) {
        notes.m_lines.push_back(singleLine(key));
        notes.m_lines.push_back(singleLine(description));
    }
    return notes;
}

std::vector<std::pair<std::string, std::string>> NodeNotes::pairs() const
{
    std::vector<std::pair<std::string, std::string>> result;
    for (std::size_t i = 1; i < m_lines.size(); i += 2) {
        result.emplace_back(m_lines[i - 1], m_lines[i]);
    }
    return result;
}

NodeNotes UpdateNodeNotes(const RecordRef& record, const std::function<void(NodeNotes&)>& change)
{
    const FolderLock lock(record.folder);
    // A rename, move or deletion of the CD may have come first: never write to its old name.
    RequireRecord(record.folder, record.name);
    NodeNotes notes = NodeNotes::read(record);
    change(notes);
    notes.write(record);
    return notes;
}

} // namespace catalog
