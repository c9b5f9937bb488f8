#include "tests/support/temp_library.h"

#include "catalog/text.h"

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <stdexcept>

namespace testing_support {

TempDir::TempDir()
{
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base && *base ? base : "/tmp") + "/vellumark-test-XXXXXX";
    if (::mkdtemp(pattern.data()) == nullptr) {
        throw std::runtime_error("cannot create a temporary folder");
    }
    m_path = pattern + "/";
}

TempDir::~TempDir()
{
    std::error_code ignored;
    // Tests make folders unreadable on purpose; give the permissions back first.
    for (auto it = std::filesystem::recursive_directory_iterator(
             m_path, std::filesystem::directory_options::skip_permission_denied, ignored);
         it != std::filesystem::recursive_directory_iterator(); it.increment(ignored)) {
        if (it->is_directory(ignored)) {
            std::filesystem::permissions(it->path(), std::filesystem::perms::owner_all,
                                         std::filesystem::perm_options::add, ignored);
        }
    }
    std::filesystem::remove_all(m_path, ignored);
}

std::string gbk(std::string_view utf8)
{
    return catalog::utf8ToGbk(utf8);
}

void makeFolders(const std::string& path)
{
    std::filesystem::create_directories(path);
}

void writeFile(const std::string& path, std::string_view bytes)
{
    const auto slash = path.rfind('/');
    if (slash != std::string::npos) {
        makeFolders(path.substr(0, slash));
    }
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out) {
        throw std::runtime_error("cannot write " + path);
    }
}

std::string readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        throw std::runtime_error("cannot read " + path);
    }
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

bool exists(const std::string& path)
{
    std::error_code ignored;
    return std::filesystem::exists(path, ignored);
}

void makeOlder(const std::string& path, int seconds)
{
    const auto when = std::filesystem::last_write_time(path) - std::chrono::seconds(seconds);
    std::filesystem::last_write_time(path, when);
}

std::string snapshot(const std::string& folder)
{
    const std::string prefix = folder.ends_with('/') ? folder : folder + "/";
    std::map<std::string, std::string> entries;
    std::error_code error;
    for (std::filesystem::recursive_directory_iterator it(folder, error), end; it != end;
         it.increment(error)) {
        // Below folder by name: links on the way are not resolved.
        const std::string relative = it->path().string().substr(prefix.size());
        if (it->is_symlink()) {
            entries[relative] = " -> " + std::filesystem::read_symlink(it->path()).string();
        } else if (it->is_directory()) {
            entries[relative] = "/";
        } else if (it->is_fifo()) {
            entries[relative] = "|";
        } else {
            entries[relative] = "=" + readFile(it->path().string());
        }
    }
    std::string text;
    for (const auto& [path, what] : entries) {
        text += path + what + "\n";
    }
    return text;
}

} // namespace testing_support
