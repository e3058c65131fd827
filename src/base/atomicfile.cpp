#include "atomicfile.h"

#include "signalcleanup.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace {

std::atomic<bool> g_unnamedTemporaryFiles{true};

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
        current = link.starts_with('/') ? link : FolderOf(current) + "/" + link;
    }
    throw FileError::FromErrno("Cannot create file " + path, ELOOP);
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
// may; set-user-ID and set-group-ID are never passed on. An owner the process may not
// give is no failure, nor a mode a file system cannot hold (FAT); any other error is.
bool keepOwnership(int fd, const struct stat& old)
{
    if (::fchown(fd, old.st_uid, old.st_gid) != 0)
        (void)::fchown(fd, static_cast<uid_t>(-1), old.st_gid);
    return ::fchmod(fd, old.st_mode & 01777 & ~mode_t(S_ISUID | S_ISGID)) == 0 || errno == EPERM ||
           errno == EOPNOTSUPP;
}

} // namespace

AtomicFile::AtomicFile(const std::string& path, bool flushToDisk)
    : m_path(path), m_flush(flushToDisk)
{
    if (path.empty())
        throw FileError("Cannot create file ", {});
    m_target = followLinks(path);
    m_exists = ::stat(m_target.c_str(), &m_old) == 0;
    if (m_exists && S_ISDIR(m_old.st_mode))
        fail(EISDIR);
    if (m_exists && !S_ISREG(m_old.st_mode))
        throw FileError("Cannot create file " + path, "not a regular file");
    m_folder = FolderOf(m_target);
    // open() applies the umask to a new file's mode itself, without touching the
    // process-wide umask that other threads rely on.
    if (g_unnamedTemporaryFiles.load(std::memory_order_relaxed))
        m_fd.reset(::open(m_folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0666));
    m_unnamed = bool(m_fd);
    if (!m_unnamed)
        openNamed();
    if (m_exists && !keepOwnership(m_fd.get(), m_old))
        fail(errno);
}

AtomicFile::~AtomicFile()
{
    if (!m_name.empty())
        ::unlink(m_name.c_str());
}

void AtomicFile::fail(int error) const
{
    throw FileError::FromErrno("Cannot create file " + m_path, error);
}

// Tries fresh names beside the target until `make` takes one (true) or fails for another
// reason than the name being taken.
template <typename Make> void AtomicFile::claimName(Make make)
{
    for (int attempt = 0; attempt < 100; ++attempt) {
        m_name = randomName(m_folder);
        m_guard = std::make_unique<TemporaryFileGuard>(m_name);
        if (make())
            return;
        const int error = errno;
        m_guard.reset();
        m_name.clear();
        if (error != EEXIST)
            fail(error);
    }
    fail(EEXIST);
}

void AtomicFile::openNamed()
{
    claimName([this] {
        m_fd.reset(::open(m_name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
        return bool(m_fd);
    });
}

void AtomicFile::write(std::span<const std::uint8_t> bytes)
{
    const std::uint8_t* data = bytes.data();
    std::size_t size = bytes.size();
    while (size > 0) {
        const ssize_t n = ::write(m_fd.get(), data, size);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            fail(errno);
        }
        data += n;
        size -= static_cast<std::size_t>(n);
    }
}

// The complete file gets a name only now; a kill before this leaves nothing.
void AtomicFile::linkUnnamed()
{
    char self[64];
    std::snprintf(self, sizeof self, "/proc/self/fd/%d", m_fd.get());
    claimName(
        [&] { return ::linkat(AT_FDCWD, self, AT_FDCWD, m_name.c_str(), AT_SYMLINK_FOLLOW) == 0; });
}

void AtomicFile::commit()
{
    if (!m_fd)
        fail(EBADF);
    if (m_flush && ::fsync(m_fd.get()) != 0)
        fail(errno);
    if (m_unnamed)
        linkUnnamed();
    if (::close(m_fd.release()) != 0)
        fail(errno);
    if (::rename(m_name.c_str(), m_target.c_str()) != 0)
        fail(errno);
    m_name.clear();
    m_guard.reset();
    if (!m_flush)
        return;
    // Make the rename itself durable; the file is complete either way.
    const UniqueFd dir(::open(m_folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir)
        (void)::fsync(dir.get());
}

void WriteFileAtomically(const std::string& path, std::span<const std::uint8_t> bytes)
{
    AtomicFile file(path);
    file.write(bytes);
    file.commit();
}

void UseUnnamedTemporaryFiles(bool use)
{
    g_unnamedTemporaryFiles.store(use, std::memory_order_relaxed);
}
