#pragma once

#include <string>
#include <utility>
#include <vector>

namespace testing_support {

struct CliRun
{
    int status = -1; // exit status; -1 when killed by a signal, 127 when it could not start
    std::string out;
    std::string err;
};

// Runs a program (found on PATH when the name has no "/") as a child process with the
// given extra environment, waits for it and returns what it wrote.
CliRun RunProgram(const std::string& program, std::vector<std::string> args,
                  const std::vector<std::pair<std::string, std::string>>& environment = {});

// True when the program can be found on PATH.
bool ProgramOnPath(const std::string& name);

} // namespace testing_support
