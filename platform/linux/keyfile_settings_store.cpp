#include "platform/linux/keyfile_settings_store.h"

#include "catalog/disk.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <glib.h>
#include <memory>
#include <stdexcept>
#include <string>
#include <sys/file.h>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>
#include <utility>
#include <vector>

namespace platform::linux_edition {
namespace {

struct KeyFileFree
{
    void operator()(GKeyFile* file) const { g_key_file_free(file); }
};
struct GFree
{
    void operator()(gchar* text) const { g_free(text); }
};
struct StrvFree
{
    void operator()(gchar** list) const { g_strfreev(list); }
};
using KeyFilePtr = std::unique_ptr<GKeyFile, KeyFileFree>;
using GText = std::unique_ptr<gchar, GFree>;
using GTextList = std::unique_ptr<gchar*, StrvFree>;

class Descriptor
{
public:
    explicit Descriptor(int fd = -1) : m_fd(fd) {}
    ~Descriptor()
    {
        if (m_fd >= 0) {
            ::close(m_fd);
        }
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return m_fd; }
    // Closes now, so that a failing close (delayed write error) can be reported.
    int close() { return ::close(std::exchange(m_fd, -1)); }

private:
    int m_fd;
};

constexpr std::string_view kIntegerPrefix = "dword:";
// Marks a string whose text would otherwise read back as an integer or lose this very
// prefix: passwords and paths are free text.
constexpr std::string_view kStringMarker = "sz:";

[[noreturn]] void fail(const std::string& what, const std::string& path, int errorNumber)
{
    throw std::runtime_error(what + " " + path + ": " + std::strerror(errorNumber));
}

std::string_view sectionOf(std::string_view key)
{
    if (!key.empty() && key.front() == '\\') {
        key.remove_prefix(1);
    }
    return key;
}

bool equalsIgnoringAsciiCase(std::string_view a, std::string_view b)
{
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (g_ascii_tolower(a[i]) != g_ascii_tolower(b[i])) {
            return false;
        }
    }
    return true;
}

bool isUtf8(std::string_view text)
{
    // Also refuses NUL, which GLib's C strings would cut the text at.
    return g_utf8_validate(text.data(), static_cast<gssize>(text.size()), nullptr);
}

bool hasControlCharacter(std::string_view text)
{
    for (const char c : text) {
        if (g_ascii_iscntrl(c)) {
            return true;
        }
    }
    return false;
}

bool isStorableSection(std::string_view section)
{
    return !section.empty() && isUtf8(section) && !hasControlCharacter(section) &&
           section.find_first_of("[]") == std::string_view::npos;
}

// What the INI syntax would misread on the next load: "=" and brackets split the line,
// edge blanks are trimmed, "#" starts a comment. "Encoding" is a reserved key of the
// format; a value other than UTF-8 there would make the whole file unloadable.
bool isStorableName(std::string_view name)
{
    return !name.empty() && isUtf8(name) && !hasControlCharacter(name) &&
           name.find_first_of("=[]") == std::string_view::npos && name.front() != ' ' &&
           name.front() != '#' && name.back() != ' ' && !equalsIgnoringAsciiCase(name, "Encoding");
}

bool isIntegerForm(std::string_view text)
{
    if (text.substr(0, kIntegerPrefix.size()) != kIntegerPrefix) {
        return false;
    }
    const std::string_view digits = text.substr(kIntegerPrefix.size());
    if (digits.empty() || digits.size() > 8) {
        return false;
    }
    for (const char c : digits) {
        if (!g_ascii_isxdigit(c)) {
            return false;
        }
    }
    return true;
}

// Plain decimal digits, as a person writes a number by hand; within 32 bits.
std::optional<std::uint32_t> parseDecimal(std::string_view text)
{
    if (text.empty() || text.size() > 10) {
        return std::nullopt;
    }
    std::uint64_t value = 0;
    for (const char c : text) {
        if (!g_ascii_isdigit(c)) {
            return std::nullopt;
        }
        value = value * 10 + static_cast<std::uint64_t>(c - '0');
    }
    if (value > 0xFFFFFFFFu) {
        return std::nullopt;
    }
    return static_cast<std::uint32_t>(value);
}

std::optional<std::int32_t> parseInteger(std::string_view text)
{
    if (const auto decimal = parseDecimal(text)) {
        return static_cast<std::int32_t>(*decimal);
    }
    if (!isIntegerForm(text)) {
        return std::nullopt;
    }
    std::uint32_t value = 0;
    for (const char c : text.substr(kIntegerPrefix.size())) {
        value = value << 4 | static_cast<std::uint32_t>(g_ascii_xdigit_value(c));
    }
    return static_cast<std::int32_t>(value);
}

std::string formatInteger(std::int32_t value)
{
    char text[32];
    std::snprintf(text, sizeof text, "dword:%08x", static_cast<unsigned>(value));
    return text;
}

std::string encodeString(std::string_view value)
{
    if (parseInteger(value) || value.substr(0, kStringMarker.size()) == kStringMarker) {
        return std::string(kStringMarker) + std::string(value);
    }
    return std::string(value);
}

std::string folderOf(const std::string& path)
{
    const auto slash = path.rfind('/');
    if (slash == std::string::npos) {
        return ".";
    }
    return slash == 0 ? "/" : path.substr(0, slash);
}

enum class FileState { Missing, Unreadable, Malformed, Loaded };

struct LoadedFile
{
    FileState state = FileState::Missing;
    int errorNumber = 0;
    KeyFilePtr keys;
};

bool readWholeFile(const std::string& path, std::string& content)
{
    // A FIFO or a device in its place is unreadable, never waited on.
    Descriptor fd(catalog::OpenRegularFile(AT_FDCWD, path.c_str()));
    if (fd.get() < 0) {
        return false;
    }
    char buffer[16384];
    for (;;) {
        const ssize_t got = ::read(fd.get(), buffer, sizeof buffer);
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        if (got == 0) {
            return true;
        }
        content.append(buffer, static_cast<std::size_t>(got));
    }
}

LoadedFile loadFile(const std::string& path)
{
    LoadedFile result;
    std::string content;
    if (!readWholeFile(path, content)) {
        result.errorNumber = errno;
        result.state = errno == ENOENT ? FileState::Missing : FileState::Unreadable;
        return result;
    }
    // A file saved by a Windows editor may start with a byte order mark.
    std::string_view data = content;
    if (data.substr(0, 3) == "\xEF\xBB\xBF") {
        data.remove_prefix(3);
    }
    if (!isUtf8(data)) {
        result.state = FileState::Malformed;
        return result;
    }
    KeyFilePtr keys(g_key_file_new());
    // Comments and keys with a locale suffix are kept, so that a rewrite loses nothing.
    const auto flags =
        static_cast<GKeyFileFlags>(G_KEY_FILE_KEEP_COMMENTS | G_KEY_FILE_KEEP_TRANSLATIONS);
    GError* error = nullptr;
    if (!g_key_file_load_from_data(keys.get(), data.data(), data.size(), flags, &error)) {
        g_clear_error(&error);
        result.state = FileState::Malformed;
        return result;
    }
    result.state = FileState::Loaded;
    result.keys = std::move(keys);
    return result;
}

// The spellings the file uses for a section, in file order: matched without regard to
// ASCII case or a leading backslash (the user docs write the key with one).
std::vector<std::string> findGroups(GKeyFile* keys, std::string_view section)
{
    std::vector<std::string> found;
    GTextList groups(g_key_file_get_groups(keys, nullptr));
    for (gchar** group = groups.get(); *group != nullptr; ++group) {
        if (equalsIgnoringAsciiCase(sectionOf(*group), section)) {
            found.emplace_back(*group);
        }
    }
    return found;
}

// Every spelling of the value name in the group, first one first.
std::vector<std::string> findKeys(GKeyFile* keys, const std::string& group, std::string_view name)
{
    std::vector<std::string> found;
    GTextList names(g_key_file_get_keys(keys, group.c_str(), nullptr, nullptr));
    if (!names) {
        return found;
    }
    for (gchar** key = names.get(); *key != nullptr; ++key) {
        if (equalsIgnoringAsciiCase(*key, name)) {
            found.emplace_back(*key);
        }
    }
    return found;
}

// The text of a value, unescaped, or nothing when it is missing or cannot be decoded.
std::optional<std::string> readStored(const std::string& path, std::string_view key,
                                      std::string_view name)
{
    const LoadedFile file = loadFile(path);
    if (file.state != FileState::Loaded) {
        return std::nullopt;
    }
    for (const auto& group : findGroups(file.keys.get(), sectionOf(key))) {
        const auto names = findKeys(file.keys.get(), group, name);
        if (names.empty()) {
            continue;
        }
        GText text(
            g_key_file_get_string(file.keys.get(), group.c_str(), names.front().c_str(), nullptr));
        if (!text) {
            return std::nullopt;
        }
        return std::string(text.get());
    }
    return std::nullopt;
}

// Sets a value where the file holds it already, else in the first spelling of its section;
// a new section or value takes the caller's spelling.
void setValue(GKeyFile* keys, std::string_view section, std::string_view name,
              const std::string& stored)
{
    const auto groups = findGroups(keys, section);
    std::string group = groups.empty() ? std::string(section) : groups.front();
    std::vector<std::string> names;
    for (const auto& candidate : groups) {
        names = findKeys(keys, candidate, name);
        if (!names.empty()) {
            group = candidate;
            break;
        }
    }
    const std::string keyName = names.empty() ? std::string(name) : names.front();
    // A hand-edited file may hold the name twice in different case; one value remains.
    for (std::size_t i = 1; i < names.size(); ++i) {
        g_key_file_remove_key(keys, group.c_str(), names[i].c_str(), nullptr);
    }
    g_key_file_set_string(keys, group.c_str(), keyName.c_str(), stored.c_str());
}

// Removes every spelling of the value; false when there was none.
bool removeValue(GKeyFile* keys, std::string_view section, std::string_view name)
{
    bool removed = false;
    for (const auto& group : findGroups(keys, section)) {
        for (const auto& found : findKeys(keys, group, name)) {
            g_key_file_remove_key(keys, group.c_str(), found.c_str(), nullptr);
            removed = true;
        }
    }
    return removed;
}

void makeFolders(const std::string& folder)
{
    struct stat info = {};
    if (::stat(folder.c_str(), &info) == 0) {
        if (!S_ISDIR(info.st_mode)) {
            fail("cannot create the settings folder", folder, ENOTDIR);
        }
        return;
    }
    if (errno != ENOENT) {
        fail("cannot create the settings folder", folder, errno);
    }
    const std::string parent = folderOf(folder);
    if (parent != folder && parent != ".") {
        makeFolders(parent);
    }
    if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) {
        fail("cannot create the settings folder", folder, errno);
    }
}

// Through a temporary file in the same folder, flushed and renamed over the target: a
// crash or a full disk leaves the old file or the new one, never a truncated one.
void replaceFile(const std::string& path, int folderFd, std::string_view content)
{
    const std::string folder = folderOf(path) + "/";
    catalog::RemoveStaleTemporaryFiles(folder);
    try {
        catalog::TemporaryFile temporary(folder, path);
        // The file holds passwords: readable by its owner only, whatever the umask.
        if (::fchmod(temporary.fd(), 0600) != 0) {
            throw std::system_error(errno, std::generic_category());
        }
        temporary.write(content);
        if (::fsync(temporary.fd()) != 0) {
            throw std::system_error(errno, std::generic_category());
        }
        temporary.renameTo(path);
    } catch (const std::system_error& error) {
        fail("cannot write the settings file", path, error.code().value());
    } catch (const catalog::FileError& error) {
        throw std::runtime_error(std::string("cannot write the settings file ") + error.what());
    }
    if (folderFd >= 0) {
        ::fsync(folderFd); // the rename itself; failure here changes nothing for readers
    }
}

// Read, change, write back, under a lock on the folder so that the window and the
// command-line tool writing at the same moment do not drop each other's values.
template <typename Change>
void updateFile(const std::string& path, bool createWhenMissing, Change change)
{
    const std::string folder = folderOf(path);
    if (createWhenMissing) {
        makeFolders(folder);
    }
    Descriptor folderFd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (folderFd.get() >= 0) {
        // Advisory and best effort: some network file systems refuse it.
        while (::flock(folderFd.get(), LOCK_EX) != 0 && errno == EINTR) {
        }
    } else if (createWhenMissing) {
        fail("cannot open the settings folder", folder, errno);
    }

    LoadedFile file = loadFile(path);
    switch (file.state) {
    case FileState::Loaded:
        break;
    case FileState::Missing:
        if (!createWhenMissing) {
            return;
        }
        file.keys.reset(g_key_file_new());
        break;
    case FileState::Unreadable:
        // Replacing a file we cannot read would throw its values away unseen.
        fail("cannot read the settings file", path, file.errorNumber);
    case FileState::Malformed:
        if (!createWhenMissing) {
            return; // nothing in it can be deleted
        }
        // Keep the damaged file for its owner to look at instead of writing over it.
        if (::rename(path.c_str(), (path + ".bad").c_str()) != 0) {
            fail("cannot set aside the damaged settings file", path, errno);
        }
        file.keys.reset(g_key_file_new());
        break;
    }

    if (!change(file.keys.get())) {
        return;
    }
    gsize length = 0;
    GText content(g_key_file_to_data(file.keys.get(), &length, nullptr));
    replaceFile(path, folderFd.get(), std::string_view(content.get(), length));
}

} // namespace

KeyFileSettingsStore::KeyFileSettingsStore(std::string filePath) : m_filePath(std::move(filePath))
{}

std::optional<std::string> KeyFileSettingsStore::readString(std::string_view key,
                                                            std::string_view name) const
{
    auto text = readStored(m_filePath, key, name);
    if (!text || isIntegerForm(*text)) {
        return std::nullopt;
    }
    if (text->starts_with(kStringMarker)) {
        text->erase(0, kStringMarker.size());
    }
    return text;
}

std::optional<std::int32_t> KeyFileSettingsStore::readInteger(std::string_view key,
                                                              std::string_view name) const
{
    const auto text = readStored(m_filePath, key, name);
    return text ? parseInteger(*text) : std::nullopt;
}

void KeyFileSettingsStore::writeString(std::string_view key, std::string_view name,
                                       std::string_view value)
{
    write({platform::SettingsChange::text(key, name, value)});
}

void KeyFileSettingsStore::writeInteger(std::string_view key, std::string_view name,
                                        std::int32_t value)
{
    write({platform::SettingsChange::integer(key, name, value)});
}

void KeyFileSettingsStore::deleteValue(std::string_view key, std::string_view name)
{
    write({platform::SettingsChange::removal(key, name)});
}

void KeyFileSettingsStore::write(const std::vector<platform::SettingsChange>& changes)
{
    struct Prepared
    {
        std::string_view section;
        std::string_view name;
        std::optional<std::string> stored; // nothing: remove the value
    };
    // Every change is checked before the file is touched: one refused leaves all undone.
    std::vector<Prepared> prepared;
    bool writesValues = false;
    for (const auto& change : changes) {
        Prepared step{sectionOf(change.key), change.name, std::nullopt};
        if (std::holds_alternative<std::monostate>(change.value)) {
            prepared.push_back(step);
            continue;
        }
        if (!isStorableSection(step.section)) {
            throw std::runtime_error("cannot write the settings file " + m_filePath +
                                     ": the key path cannot be stored: " + change.key);
        }
        if (!isStorableName(step.name)) {
            throw std::runtime_error("cannot write the settings file " + m_filePath +
                                     ": the value name cannot be stored: " + change.name);
        }
        if (const auto* text = std::get_if<std::string>(&change.value)) {
            if (!isUtf8(*text)) {
                throw std::runtime_error("cannot write the settings file " + m_filePath +
                                         ": the value of " + change.name + " is not UTF-8 text");
            }
            step.stored = encodeString(*text);
        } else {
            step.stored = formatInteger(std::get<std::int32_t>(change.value));
        }
        writesValues = true;
        prepared.push_back(std::move(step));
    }
    if (prepared.empty()) {
        return;
    }
    // Removals alone never create the file.
    updateFile(m_filePath, writesValues, [&](GKeyFile* keys) {
        bool changed = false;
        for (const auto& step : prepared) {
            if (step.stored) {
                setValue(keys, step.section, step.name, *step.stored);
                changed = true;
            } else {
                changed = removeValue(keys, step.section, step.name) || changed;
            }
        }
        return changed;
    });
}

} // namespace platform::linux_edition
