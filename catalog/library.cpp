#include "catalog/library.h"

#include "catalog/disk.h"
#include "catalog/record_set.h"
#include "catalog/text.h"
#include "platform/settings_store.h"

#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <cerrno>
#include <cstdlib>

namespace catalog {
namespace {

std::string specialName(std::string_view utf8)
{
    return std::string(1, '\xFF') + utf8ToGbk(utf8);
}

void createFolder(const std::string& folder)
{
    std::string path = folder;
    if (path.size() > 1 && path.back() == '/') {
        path.pop_back();
    }
    if (::mkdir(path.c_str(), 0777) != 0 && errno != EEXIST) {
        throwFileError(path, errno);
    }
}

std::string withoutSlash(const std::string& folder)
{
    return folder.size() > 1 && folder.back() == '/' ? folder.substr(0, folder.size() - 1) : folder;
}

void createParentFolders(const std::string& folder)
{
    for (auto slash = folder.find('/', 1); slash != std::string::npos && slash + 1 < folder.size();
         slash = folder.find('/', slash + 1)) {
        createFolder(folder.substr(0, slash + 1));
    }
}

std::size_t joinedLength(const std::vector<std::string>& names)
{
    std::size_t length = names.empty() ? 0 : names.size() - 1;
    for (const auto& name : names) {
        length += name.size();
    }
    return length;
}

} // namespace

const std::string& ResultsFolderName()
{
    static const std::string name = specialName("查找结果");
    return name;
}

const std::string& LocalDrivesName()
{
    static const std::string name = specialName("本地光驱");
    return name;
}

const std::vector<std::string>& DefaultBoxNames()
{
    static const std::vector<std::string> names = [] {
        std::vector<std::string> gbkNames;
        for (const char* utf8 :
             {"软件光盘", "游戏光盘", "音乐光盘", "其它光盘", "陈年旧盘", "重要光盘"}) {
            gbkNames.push_back(utf8ToGbk(utf8));
        }
        return gbkNames;
    }();
    return names;
}

std::string_view DisplayCaption(std::string_view gbk)
{
    if (!gbk.empty() && static_cast<unsigned char>(gbk.front()) == 0xFF) {
        gbk.remove_prefix(1);
    }
    return gbk;
}

std::string ResolveLibraryRoot(const platform::SettingsStore& settings,
                               const std::string& defaultRoot)
{
    std::string root = defaultRoot;
    const std::string stored = settings.readString(SoftwareKey, LibraryRootValue, "");
    // Only a folder path written with its closing separator is taken.
    if (!stored.empty() && stored.back() == '/' && FolderExists(stored)) {
        root = stored;
    }
    if (!FolderExists(root)) {
        // The default root lies in the user's data folder, which may not exist yet.
        if (root == defaultRoot) {
            createParentFolders(root);
        }
        CreateLibrary(root);
    }
    if (!IsFolder(root)) {
        throwFileError(root, ENOTDIR); // a plain file where the library should be
    }
    return root;
}

void CreateLibrary(const std::string& root)
{
    createFolder(root);
    for (const auto& box : DefaultBoxNames()) {
        createFolder(ChildPath(root, box));
    }
}

bool FolderExists(const std::string& path)
{
    if (path.size() < 2) {
        return path == "/";
    }
    const std::string entry = path.substr(0, path.size() - 1);
    const auto slash = entry.rfind('/');
    const std::string_view name = slash == std::string::npos
                                      ? std::string_view(entry)
                                      : std::string_view(entry).substr(slash + 1);
    if (!name.empty() && name.front() == '.') {
        return false;
    }
    return PathExists(entry);
}

bool FolderIsEmpty(const std::string& path)
{
    std::vector<DirEntry> entries;
    return ListFolder(path, entries) == Listing::Unreadable || entries.empty();
}

bool NameTaken(const std::string& folder, std::string_view nameGbk)
{
    std::vector<DirEntry> entries;
    ListFolder(folder, entries);
    return std::any_of(entries.begin(), entries.end(),
                       [&](const DirEntry& entry) { return equalsNoCase(entry.name, nameGbk); });
}

NewBox CreateBox(const std::string& parentFolder, const std::string& nameGbk)
{
    switch (CheckName(nameGbk)) {
    case NameCheck::Dropped:
        return NewBox::Dropped;
    case NameCheck::Refused:
        return NewBox::Refused;
    case NameCheck::Accepted:
        break;
    }
    const FolderLock lock(parentFolder);
    if (NameTaken(parentFolder, nameGbk)) {
        return NewBox::Exists;
    }
    const std::string folder = withoutSlash(ChildPath(parentFolder, nameGbk));
    if (::mkdir(folder.c_str(), 0777) != 0) {
        throwFileError(folder, errno);
    }
    return NewBox::Created;
}


std::string BoxExistsMessage(const std::string& nameGbk)
{
    return "已存在光盘盒: " + gbkToUtf8(nameGbk);
}

std::string LibraryPath(const std::string& root, std::string_view relativeGbk)
{
    std::string path = root;
    for (std::size_t i = 0; i < relativeGbk.size();) {
        const std::size_t length = gbkCharLength(relativeGbk, i);
        if (length == 1 && relativeGbk[i] == '\\') {
            path += '/';
        } else {
            path += relativeGbk.substr(i, length);
        }
        i += length;
    }
    return path;
}

bool IsSafeName(std::string_view nameGbk)
{
    return !nameGbk.empty() && nameGbk != "." && nameGbk != ".." &&
           nameGbk.find('/') == std::string_view::npos &&
           nameGbk.find('\0') == std::string_view::npos;
}

std::optional<std::vector<std::string>> SplitRelativePath(std::string_view relativeGbk)
{
    std::vector<std::string> names;
    std::size_t start = 0;
    for (std::size_t i = 0; i < relativeGbk.size(); i += gbkCharLength(relativeGbk, i)) {
        if (gbkCharLength(relativeGbk, i) == 1 && relativeGbk[i] == '\\') {
            names.emplace_back(relativeGbk.substr(start, i - start));
            start = i + 1;
        }
    }
    // A box path ends in a backslash; a record path ends in its name.
    if (start < relativeGbk.size()) {
        names.emplace_back(relativeGbk.substr(start));
    }
    if (!std::all_of(names.begin(), names.end(), IsSafeName)) {
        return std::nullopt;
    }
    return names;
}

std::string ResolvedPath(const std::string& path)
{
    // What does not exist yet is taken as written below what does, resolved.
    std::error_code error;
    const std::filesystem::path resolved = std::filesystem::weakly_canonical(
        std::filesystem::absolute(withoutSlash(path), error), error);
    if (error) {
        return {};
    }
    std::string text = resolved.lexically_normal().string();
    while (text.size() > 1 && text.back() == '/') {
        text.pop_back();
    }
    return text;
}

bool LiesInside(const std::string& root, const std::string& path)
{
    const std::string realRoot = ResolvedPath(root);
    const std::string realPath = ResolvedPath(path);
    if (realRoot.empty() || realPath.empty()) {
        return false;
    }
    return realPath == realRoot || realRoot == "/" ||
           (realPath.starts_with(realRoot) && realPath[realRoot.size()] == '/');
}

std::optional<RecordRef> PointerTarget(const std::string& libraryRoot,
                                       std::string_view pointerTextGbk)
{
    const auto lines = SplitLines(pointerTextGbk);
    if (lines.empty() || lines.front().size() < 4) {
        return std::nullopt;
    }
    const std::string_view relative = lines.front().substr(0, lines.front().size() - 4);
    const auto names = SplitRelativePath(relative);
    // A closing backslash would make the record's box pass for the record.
    if (!names || names->empty() || relative.size() != joinedLength(*names)) {
        return std::nullopt;
    }
    std::string folder = libraryRoot;
    for (std::size_t i = 0; i + 1 < names->size(); ++i) {
        folder = ChildPath(folder, (*names)[i]);
    }
    RecordRef record{folder, names->back()};
    if (!LiesInside(libraryRoot, folder) || FindRecordFile(folder, record.name, RecordKind::Cdr).empty()) {
        return std::nullopt;
    }
    return record;
}

std::string PointerTargetGoneMessage(const std::string& entryUtf8)
{
    return "查找结果指向的文件 " + entryUtf8 + " 不存在！";
}

std::string ChildPath(const std::string& folder, std::string_view nameGbk)
{
    std::string path = folder;
    path += nameGbk;
    path += '/';
    return path;
}

NameCheck CheckName(std::string_view nameGbk)
{
    if (trimBlanks(nameGbk).empty()) {
        return NameCheck::Dropped;
    }
    // Bytes below 0x80 are never the trail of a forbidden character, but a trail byte can
    // be '\\' or '|' (GBK trail bytes run from 0x40): test single-byte characters only.
    if (!IsSafeName(nameGbk)) {
        return NameCheck::Refused;
    }
    for (std::size_t i = 0; i < nameGbk.size(); i += gbkCharLength(nameGbk, i)) {
        if (gbkCharLength(nameGbk, i) == 1 &&
            std::string_view("\\/*?:\"><|").find(nameGbk[i]) != std::string_view::npos) {
            return NameCheck::Refused;
        }
    }
    return NameCheck::Accepted;
}

bool ReplaceNameBreakers(std::string& nameGbk)
{
    // Walks by GBK characters, since a trail byte may be 0x5C.
    bool changed = false;
    bool leading = true;
    for (std::size_t i = 0; i < nameGbk.size(); i += gbkCharLength(nameGbk, i)) {
        char& c = nameGbk[i];
        leading = leading && (c == ' ' || c == '\t');
        const bool breaks = c == '\t' || c == '\r' || c == '\n' || c == '\\' || leading;
        if (gbkCharLength(nameGbk, i) == 1 && breaks) {
            c = '?';
            changed = true;
        }
    }
    return changed;
}

const std::string& NameRefusalMessage(NameUse use)
{
    static const std::string boxInTree = "光盘盒的名称不能含有下列字符\r\\/*?:\"><|";
    static const std::string boxInList = "光盘盒不能含有下列字符\r\\/*?:\"><|";
    static const std::string cd = "光盘名称不能含有下列字符\r\\/*?:\"><|";
    static const std::string treeNode = "文件或文件夹名称不能包含\r\\/*?:\"><|";
    switch (use) {
    case NameUse::BoxInTree:
        return boxInTree;
    case NameUse::BoxInList:
        return boxInList;
    case NameUse::Cd:
        return cd;
    case NameUse::TreeNode:
        break;
    }
    return treeNode;
}

} // namespace catalog
