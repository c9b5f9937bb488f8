#pragma once

#include "catalog/disk.h"

#include <zlib.h>

#include <cstddef>
#include <memory>
#include <string>

// A catalogue file read from its start to its end once: plain, or gzip unpacked on the way.
namespace migrate {

class Input
{
public:
    // Throws ReadError when the file cannot be opened or is not a regular file.
    explicit Input(const std::string& path);
    Input(const Input&) = delete;
    Input& operator=(const Input&) = delete;

    // The file begins with the gzip magic.
    bool gzip() const { return m_gzip != nullptr; }
    // The first bytes of the content (unpacked), up to 64 KiB, for telling formats apart.
    const std::string& head() const { return m_head; }
    // Up to size bytes of the content; 0 at its end. Throws ReadError for a damaged or
    // truncated gzip stream and for one that unpacks to far more than such files hold.
    std::size_t read(char* buffer, std::size_t size);

private:
    std::size_t readRaw(char* buffer, std::size_t size);

    struct GzipClose
    {
        void operator()(gzFile file) const { ::gzclose(file); }
    };

    catalog::FileDescriptor m_fd;
    // Closed also when the constructor throws on a damaged stream.
    std::unique_ptr<gzFile_s, GzipClose> m_gzip;
    std::string m_head;
    std::size_t m_headRead = 0;
    unsigned long long m_unpacked = 0;
    unsigned long long m_unpackLimit = 0;
};

} // namespace migrate
