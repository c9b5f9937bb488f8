#pragma once

// A library and a home folder of the test's own, and vellumark-cli run against them.
// The including test target defines VELLUMARK_CLI, the program's path.

#include "tests/support/cli_runner.h"
#include "tests/support/temp_library.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

namespace testing_support {

class CliLibraryTest : public ::testing::Test
{
protected:
    // Settings, the default library and the trash live in the test's home folder.
    CliRun cli(std::vector<std::string> args) const
    {
        args.insert(args.begin(), {"--library", m_library.path()});
        return RunProgram(VELLUMARK_CLI, std::move(args), environment());
    }

    std::vector<std::pair<std::string, std::string>> environment() const
    {
        // HOME too: the desktop's trash is found through it, and must be the test's own.
        return {{"XDG_CONFIG_HOME", m_home / "config"},
                {"XDG_DATA_HOME", m_home / "data"},
                {"HOME", m_home.path()}};
    }

    // Every path below the library and the home folder, sorted: what a refused command
    // must leave as it was.
    std::vector<std::string> allFiles() const
    {
        std::vector<std::string> files;
        for (const std::string& top : {m_library.path(), m_home.path()}) {
            for (const auto& entry : std::filesystem::recursive_directory_iterator(top)) {
                files.push_back(entry.path().string() + ":" +
                                (entry.is_regular_file() ? readFile(entry.path().string()) : ""));
            }
        }
        std::sort(files.begin(), files.end());
        return files;
    }

    TempDir m_home;
    TempDir m_library;
};

} // namespace testing_support
