#pragma once

#include "platform/shell.h"

#include <string>
#include <vector>

namespace testing_support {

// Records the paths asked to be opened and answers with a set result.
class FakeShell : public platform::Shell
{
public:
    platform::OpenResult open(const std::string& nativePath) override
    {
        m_opened.push_back(nativePath);
        return m_result;
    }
    void answer(platform::OpenResult result) { m_result = result; }
    const std::vector<std::string>& opened() const { return m_opened; }

private:
    platform::OpenResult m_result = platform::OpenResult::Opened;
    std::vector<std::string> m_opened;
};

} // namespace testing_support
