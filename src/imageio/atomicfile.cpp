#include "atomicfile.h"

#include "tempfileguard.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace {

thread_local std::string t_lastSaveError;
std::atomic<bool> g_unnamedTemporaryFiles{true};

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

// The file a path finally names, following symbolic links also to a target that does
// not exist yet. Throws FileError for a loop.
std::string followLinks(const std::string& path)
{
    std::string current = path;
    for (int hop = 0; hop < 40; ++hop) {
        struct stat st {};
        if (::lstat(current.c_str(), &st) != 0 || !S_ISLNK(st.st_mode))
            return current;
        std::string link(PATH_MAX, '\0');
        const ssize_t n = ::readlink(current.c_str(), link.data(), link.size());
        if (n < 0 || static_cast<std::size_t>(n) >= link.size())
            return current;
        link.resize(static_cast<std::size_t>(n));
        current = link.starts_with('/') ? link : folderOf(current) + "/" + link;
    }
    throw FileError("Cannot create file " + path, std::strerror(ELOOP));
}

std::string randomName(const std::string& folder)
{
    static std::atomic<unsigned> counter{0};
    const unsigned long salt =
        static_cast<unsigned long>(::getpid()) * 1000003ul ^
        static_cast<unsigned long>(std::chrono::steady_clock::now().time_since_epoch().count()) ^
        (static_cast<unsigned long>(counter.fetch_add(1)) << 20);
    char suffix[32];
    std::snprintf(suffix, sizeof suffix, "%08lx", salt & 0xFFFFFFFFul);
    return folder + "/.tavrel-" + suffix;
}

// Gives the new file the old one's owner, group and permission bits where the process
// may; set-user-ID and set-group-ID are never passed on.
void keepOwnership(int fd, const struct stat& old)
{
    if (::fchown(fd, old.st_uid, old.st_gid) != 0)
        (void)::fchown(fd, static_cast<uid_t>(-1), old.st_gid);
    (void)::fchmod(fd, old.st_mode & 01777 & ~mode_t(S_ISUID | S_ISGID));
}

} // namespace

FileError::FileError(const std::string& message, const std::string& reason, int systemError)
    : Failure(message, reason, systemError)
{
}

void WriteFileAtomically(const std::string& path, std::span<const std::uint8_t> bytes)
{
    const std::string failure = "Cannot create file " + path;
    if (path.empty())
        throw FileError(failure, {});
    const std::string target = followLinks(path);
    struct stat old {};
    const bool exists = ::stat(target.c_str(), &old) == 0;
    if (exists && !S_ISREG(old.st_mode))
        throw FileError(failure,
                        S_ISDIR(old.st_mode) ? std::strerror(EISDIR) : "not a regular file");
    const std::string folder = folderOf(target);

    // open() applies the umask to a new file's mode itself, without touching the
    // process-wide umask that other threads rely on.
    int fd = g_unnamedTemporaryFiles.load(std::memory_order_relaxed)
                 ? ::open(folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666)
                 : -1;
    const bool unnamed = fd >= 0;
    std::string name;
    std::unique_ptr<TemporaryFileGuard> guard;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        name = randomName(folder);
        guard = std::make_unique<TemporaryFileGuard>(name);
        fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0) {
            guard.reset();
            if (errno != EEXIST)
                break;
        }
    }
    if (fd < 0)
        throw FileError(failure, std::strerror(errno));

    bool ok = writeAll(fd, bytes.data(), bytes.size());
    if (ok && exists)
        keepOwnership(fd, old);
    ok = ok && ::fsync(fd) == 0;
    int error = ok ? 0 : errno;
    if (ok && unnamed) {
        // The complete file gets a name only now; a kill before this leaves nothing.
        char self[64];
        std::snprintf(self, sizeof self, "/proc/self/fd/%d", fd);
        for (int attempt = 0; attempt < 100; ++attempt) {
            name = randomName(folder);
            guard = std::make_unique<TemporaryFileGuard>(name);
            if (::linkat(AT_FDCWD, self, AT_FDCWD, name.c_str(), AT_SYMLINK_FOLLOW) == 0)
                break;
            error = errno;
            guard.reset();
            name.clear();
            if (error != EEXIST)
                break;
        }
        ok = !name.empty();
    }
    if (::close(fd) != 0 && ok) {
        ok = false;
        error = errno;
    }
    if (ok && ::rename(name.c_str(), target.c_str()) != 0) {
        ok = false;
        error = errno;
    }
    if (!ok) {
        if (!name.empty())
            ::unlink(name.c_str());
        throw FileError(failure, error ? std::strerror(error) : std::string());
    }
    guard.reset();
    // Make the rename itself durable; the file is complete either way.
    const int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
}

void UseUnnamedTemporaryFiles(bool use)
{
    g_unnamedTemporaryFiles.store(use, std::memory_order_relaxed);
}

std::string ReadWholeFile(const std::string& path, std::uint64_t maxBytes)
{
    const std::string failure = "Cannot open file " + path;
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0)
        throw FileError(failure, std::strerror(errno));
    struct Closer {
        int fd;
        ~Closer() { ::close(fd); }
    } closer{fd};
    struct stat st {};
    if (::fstat(fd, &st) != 0)
        throw FileError(failure, std::strerror(errno));
    if (!S_ISREG(st.st_mode))
        throw FileError(failure,
                        S_ISDIR(st.st_mode) ? std::strerror(EISDIR) : "not a regular file");
    if (static_cast<std::uint64_t>(st.st_size) > maxBytes)
        throw FileError(failure, std::strerror(EFBIG));
    std::string out;
    out.reserve(static_cast<std::size_t>(st.st_size));
    char buf[65536];
    for (;;) {
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            throw FileError(failure, std::strerror(errno));
        }
        if (n == 0)
            return out;
        if (out.size() + static_cast<std::size_t>(n) > maxBytes)
            throw FileError(failure, std::strerror(EFBIG));
        out.append(buf, static_cast<std::size_t>(n));
    }
}

bool IsRegularFile(const std::string& path)
{
    struct stat st {};
    return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

std::string LastSaveError()
{
    return t_lastSaveError;
}

void SetLastSaveError(const std::string& reason)
{
    t_lastSaveError = reason;
}
