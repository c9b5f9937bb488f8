#include "tests/support/cli_runner.h"

#include "tests/support/temp_library.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <string_view>

namespace testing_support {

CliRun RunProgram(const std::string& program, std::vector<std::string> args,
                  const std::vector<std::pair<std::string, std::string>>& environment)
{
    // Files rather than pipes: the child can write any amount without waiting for us.
    const TempDir capture;
    const std::string outPath = capture / "out";
    const std::string errPath = capture / "err";
    const pid_t child = ::fork();
    if (child == 0) {
        for (const auto& [name, value] : environment) {
            ::setenv(name.c_str(), value.c_str(), 1);
        }
        const int out = ::open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        const int err = ::open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        ::dup2(out, 1);
        ::dup2(err, 2);
        std::vector<char*> argv{const_cast<char*>(program.c_str())};
        for (auto& arg : args) {
            argv.push_back(arg.data());
        }
        argv.push_back(nullptr);
        ::execvp(program.c_str(), argv.data());
        ::_exit(127);
    }
    CliRun run;
    if (child < 0) {
        return run;
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    run.out = exists(outPath) ? readFile(outPath) : std::string();
    run.err = exists(errPath) ? readFile(errPath) : std::string();
    return run;
}

bool ProgramOnPath(const std::string& name)
{
    const char* path = std::getenv("PATH");
    std::string_view folders = path != nullptr ? path : "/usr/bin:/bin";
    while (!folders.empty()) {
        const auto colon = folders.find(':');
        const std::string folder(folders.substr(0, colon));
        if (!folder.empty() && ::access((folder + "/" + name).c_str(), X_OK) == 0) {
            return true;
        }
        folders = colon == std::string_view::npos ? std::string_view() : folders.substr(colon + 1);
    }
    return false;
}

} // namespace testing_support
