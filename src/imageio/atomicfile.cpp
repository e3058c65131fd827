#include "atomicfile.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

std::string folderOf(const std::string& path)
{
    const auto slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    if (slash == 0)
        return "/";
    return path.substr(0, slash);
}

bool writeAll(int fd, const std::uint8_t* data, std::size_t size)
{
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

} // namespace

void WriteFileAtomically(const std::string& path, std::span<const std::uint8_t> bytes)
{
    if (path.empty())
        throw std::runtime_error("Empty file name");
    // Replace what a symbolic link points to, not the link itself.
    std::string target = path;
    struct stat st {};
    if (::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
        if (char* real = ::realpath(path.c_str(), nullptr)) {
            target = real;
            std::free(real);
        }
    }
    const bool exists = ::stat(target.c_str(), &st) == 0;
    const std::string folder = folderOf(target);

    // open() applies the umask to a new file's mode itself, without touching the
    // process-wide umask that other threads rely on.
    std::string name;
    int fd = -1;
    static std::atomic<unsigned> counter{0};
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        const unsigned long salt =
            static_cast<unsigned long>(::getpid()) * 1000003ul ^
            static_cast<unsigned long>(
                std::chrono::steady_clock::now().time_since_epoch().count()) ^
            (static_cast<unsigned long>(counter.fetch_add(1)) << 20);
        char suffix[32];
        std::snprintf(suffix, sizeof suffix, "%08lx", salt & 0xFFFFFFFFul);
        name = folder + "/.tavrel-" + suffix;
        fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST)
            break;
    }
    if (fd < 0)
        throw std::runtime_error("Cannot create file " + path);

    bool ok = writeAll(fd, bytes.data(), bytes.size());
    // A replaced file keeps its permissions.
    ok = ok && (!exists || ::fchmod(fd, st.st_mode & 07777) == 0);
    ok = ok && ::fsync(fd) == 0;
    ok = (::close(fd) == 0) && ok;
    ok = ok && ::rename(name.c_str(), target.c_str()) == 0;
    if (!ok) {
        ::unlink(name.c_str());
        throw std::runtime_error("Cannot create file " + path);
    }
    // Make the rename itself durable; the file is complete either way.
    const int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
}

std::string ReadWholeFile(const std::string& path, std::uint64_t maxBytes)
{
    const std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "rb"),
                                                               &std::fclose);
    if (!file)
        throw std::runtime_error("Cannot open file " + path);
    std::string out;
    char buf[65536];
    for (;;) {
        const std::size_t n = std::fread(buf, 1, sizeof buf, file.get());
        if (n > 0) {
            if (out.size() + n > maxBytes)
                throw std::runtime_error("File too large: " + path);
            out.append(buf, n);
        }
        if (n < sizeof buf) {
            if (std::ferror(file.get()) != 0)
                throw std::runtime_error("Cannot read file " + path);
            return out;
        }
    }
}

bool IsRegularFile(const std::string& path)
{
    struct stat st {};
    return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}
