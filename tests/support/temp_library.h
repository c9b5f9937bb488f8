#pragma once

#include <string>
#include <string_view>

namespace testing_support {

// A fresh folder under $TMPDIR, removed with everything in it when the object goes.
class TempDir
{
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    // Native path ending in "/".
    const std::string& path() const { return m_path; }
    // path() + relative (GBK names are fine).
    std::string operator/(std::string_view relative) const
    {
        return m_path + std::string(relative);
    }

private:
    std::string m_path;
};

// GBK bytes of a UTF-8 literal.
std::string gbk(std::string_view utf8);

// Writes bytes to a file, creating the missing folders on its way.
void writeFile(const std::string& path, std::string_view bytes);
void makeFolders(const std::string& path);
std::string readFile(const std::string& path);
bool exists(const std::string& path);
// Everything below folder, links not followed: "name/" for a folder, "name -> target"
// for a link, "name|" for a FIFO, "name=content" for a file. Sorted by path bytes.
std::string snapshot(const std::string& folder);
// Sets the file's times that many seconds into the past.
void makeOlder(const std::string& path, int seconds);

} // namespace testing_support
