#pragma once

// A library of the test's own for the organizing routines, and a trash of its own: GIO
// finds the home trash through HOME and XDG_DATA_HOME, which it reads once per process, so
// both point into a temporary folder before the first test runs.

#include "tests/support/temp_library.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace organize_testing {

// $XDG_DATA_HOME/Trash/files/ of the test process.
std::string trashFiles();

// Extension (as spelled on disk) and content of one file of a record.
using RecordFiles = std::vector<std::pair<std::string, std::string>>;

class OrganizeTest : public ::testing::Test
{
protected:
    const std::string& root() const { return m_lib.path(); }
    // The native folder of a box path written in UTF-8 with backslashes.
    std::string folder(const std::string& boxPathUtf8) const;
    void makeBox(const std::string& boxPathUtf8) const;
    // Writes the files of a record named nameUtf8 into the box.
    void writeRecord(const std::string& boxPathUtf8, const std::string& nameUtf8,
                     const RecordFiles& files) const;
    // Everything in the library (see testing_support::snapshot), names shown in UTF-8.
    std::string library() const;

    testing_support::TempDir m_lib;
};

// Inode of a path, to tell a rename from a copy.
unsigned long inodeOf(const std::string& path);

} // namespace organize_testing
