#include "migrate/input.h"

#include "migrate/catalogue.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>

namespace migrate {
namespace {

constexpr std::size_t HeadSize = 64 * 1024;
// Catalogue XML packs ten to twenty times; a stream that unpacks to more than a hundred
// times its size and more than this is a bomb, not a catalogue.
constexpr unsigned long long UnpackRatio = 100;
constexpr unsigned long long UnpackFloor = 64ULL << 20;

} // namespace

Input::Input(const std::string& path)
{
    struct stat info = {};
    m_fd.reset(catalog::OpenRegularFile(AT_FDCWD, path.c_str(), &info));
    if (m_fd.get() < 0) {
        throw ReadError{"无法打开文件 " + path + ": " + std::strerror(errno)};
    }
    unsigned char magic[2] = {};
    if (::pread(m_fd.get(), magic, 2, 0) == 2 && magic[0] == 0x1F && magic[1] == 0x8B) {
        const int fd = ::dup(m_fd.get());
        m_gzip.reset(fd < 0 ? nullptr : ::gzdopen(fd, "rb"));
        if (m_gzip == nullptr) {
            if (fd >= 0) {
                ::close(fd);
            }
            throw ReadError{"无法打开文件 " + path};
        }
        ::gzbuffer(m_gzip.get(), 256 * 1024);
        m_unpackLimit = static_cast<unsigned long long>(info.st_size) * UnpackRatio + UnpackFloor;
    }
    m_head.resize(HeadSize);
    std::size_t got = 0;
    while (got < HeadSize) {
        const std::size_t n = readRaw(m_head.data() + got, HeadSize - got);
        if (n == 0) {
            break;
        }
        got += n;
    }
    m_head.resize(got);
}

std::size_t Input::read(char* buffer, std::size_t size)
{
    if (m_headRead < m_head.size()) {
        const std::size_t n = std::min(size, m_head.size() - m_headRead);
        std::memcpy(buffer, m_head.data() + m_headRead, n);
        m_headRead += n;
        return n;
    }
    return readRaw(buffer, size);
}

std::size_t Input::readRaw(char* buffer, std::size_t size)
{
    size = std::min<std::size_t>(size, INT_MAX);
    if (m_gzip == nullptr) {
        for (;;) {
            const ssize_t n = ::read(m_fd.get(), buffer, size);
            if (n >= 0) {
                return static_cast<std::size_t>(n);
            }
            if (errno != EINTR) {
                throw ReadError{std::string("读取文件出错: ") + std::strerror(errno)};
            }
        }
    }
    const int n = ::gzread(m_gzip.get(), buffer, static_cast<unsigned>(size));
    int code = Z_OK;
    const char* const problem = ::gzerror(m_gzip.get(), &code);
    // A stream cut short ends like a whole one, but leaves Z_BUF_ERROR behind.
    if (n < 0 || (n == 0 && code != Z_OK)) {
        throw ReadError{std::string("gzip 数据已损坏或不完整: ") + problem};
    }
    m_unpacked += static_cast<unsigned long long>(n);
    if (m_unpacked > m_unpackLimit) {
        throw ReadError{"gzip 数据解压后过大, 不是正常的目录文件"};
    }
    return static_cast<std::size_t>(n);
}

} // namespace migrate
