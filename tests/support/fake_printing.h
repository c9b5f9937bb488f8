#pragma once

#include "platform/printing.h"

#include <stdexcept>
#include <string>
#include <vector>

namespace testing_support {

// A printer that keeps every job; with no printer installed, or failing on request.
class FakePrinting : public platform::Printing
{
public:
    struct Job
    {
        std::string name;
        std::vector<std::string> lines;
    };

    bool hasPrinter() const override { return m_hasPrinter; }
    void printLines(const std::string& jobNameUtf8,
                    const std::vector<std::string>& linesUtf8) override
    {
        if (!m_failure.empty()) {
            throw std::runtime_error(m_failure);
        }
        m_jobs.push_back({jobNameUtf8, linesUtf8});
    }

    void setHasPrinter(bool has) { m_hasPrinter = has; }
    // Every job from now on fails with this text ("" prints again).
    void failWith(std::string text) { m_failure = std::move(text); }
    const std::vector<Job>& jobs() const { return m_jobs; }

private:
    bool m_hasPrinter = true;
    std::string m_failure;
    std::vector<Job> m_jobs;
};

} // namespace testing_support
