#pragma once

#include <string>
#include <vector>

// The machine's printers: whether there is one, and lines of text printed as one job.
namespace platform {

class Printing
{
public:
    virtual ~Printing() = default;

    // True when at least one printer is installed.
    virtual bool hasPrinter() const = 0;
    // Prints the lines (UTF-8, without line ends) on the printer as one job with that
    // name. Throws std::runtime_error when the job cannot be made.
    virtual void printLines(const std::string& jobNameUtf8,
                            const std::vector<std::string>& linesUtf8) = 0;
};

} // namespace platform
