#include "tests/core/record_state.h"

#include "tests/support/temp_library.h"

#include <array>
#include <filesystem>

namespace testing_support {

std::string RecordKind(const std::string& fileName, std::string* base)
{
    // ".FMX" before ".MX": the longer ending wins.
    static const std::array<std::string, 5> kinds{".CDR", ".TAG", ".FMX", ".MX", ".IFN"};
    for (const auto& kind : kinds) {
        if (fileName.size() <= kind.size()) {
            continue;
        }
        std::string ending = fileName.substr(fileName.size() - kind.size());
        for (char& c : ending) {
            if (c >= 'a' && c <= 'z') {
                c = static_cast<char>(c - 'a' + 'A');
            }
        }
        if (ending == kind) {
            if (base != nullptr) {
                *base = fileName.substr(0, fileName.size() - kind.size());
            }
            return kind;
        }
    }
    return {};
}

std::map<std::string, RecordOnDisk> ReadRecords(const std::string& folder)
{
    std::map<std::string, RecordOnDisk> records;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
        if (!entry.is_regular_file()) {
            continue;
        }
        const std::string name = entry.path().filename().string();
        std::string base;
        const std::string kind = RecordKind(name, &base);
        if (!kind.empty() && !name.starts_with(".vellumark-")) {
            records[base][kind].push_back(readFile(entry.path().string()));
        }
    }
    return records;
}

bool IsWhole(const RecordOnDisk& files, const RecordContent& content)
{
    if (files.size() != content.size()) {
        return false;
    }
    for (const auto& [kind, bytes] : content) {
        const auto found = files.find(kind);
        if (found == files.end() || found->second.size() != 1 || found->second.front() != bytes) {
            return false;
        }
    }
    return true;
}

void WriteRecord(const std::string& folder, const std::string& nameGbk,
                 const RecordContent& content, const std::map<std::string, std::string>& spellings)
{
    for (const auto& [kind, bytes] : content) {
        const auto spelling = spellings.find(kind);
        writeFile(folder + nameGbk + (spelling != spellings.end() ? spelling->second : kind), bytes);
    }
}

std::vector<std::string> TemporaryFilesBelow(const std::string& folder)
{
    std::vector<std::string> found;
    std::error_code error;
    if (!std::filesystem::exists(folder, error)) {
        return found;
    }
    for (auto it = std::filesystem::recursive_directory_iterator(folder, error);
         it != std::filesystem::recursive_directory_iterator(); it.increment(error)) {
        if (it->path().filename().string().starts_with(".vellumark-")) {
            found.push_back(it->path().string());
        }
    }
    return found;
}

} // namespace testing_support
