#include "fileio.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

FileError::FileError(const std::string& message, const std::string& reason, int systemError)
    : Failure(message, reason, systemError)
{
}

FileError FileError::FromErrno(const std::string& message, int error)
{
    return FileError(message, error != 0 ? std::strerror(error) : std::string(), error);
}

void UniqueFd::reset(int fd)
{
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = fd;
}

UniqueFd OpenRegularFile(const std::string& path, std::uint64_t* size)
{
    const std::string failure = "Cannot open file " + path;
    // Without blocking: opening a FIFO for reading would wait for a writer.
    UniqueFd fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
    if (!fd)
        throw FileError::FromErrno(failure, errno);
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0)
        throw FileError::FromErrno(failure, errno);
    if (S_ISDIR(st.st_mode))
        throw FileError::FromErrno(failure, EISDIR);
    if (!S_ISREG(st.st_mode))
        throw FileError(failure, "not a regular file");
    const int flags = ::fcntl(fd.get(), F_GETFL);
    if (flags < 0 || ::fcntl(fd.get(), F_SETFL, flags & ~O_NONBLOCK) != 0)
        throw FileError::FromErrno(failure, errno);
    if (size)
        *size = static_cast<std::uint64_t>(st.st_size);
    return fd;
}

std::string ReadWholeFile(const std::string& path, std::uint64_t maxBytes)
{
    const std::string failure = "Cannot open file " + path;
    std::uint64_t size = 0;
    const UniqueFd fd = OpenRegularFile(path, &size);
    if (size > maxBytes)
        throw FileError::FromErrno(failure, EFBIG);
    std::string out;
    out.reserve(static_cast<std::size_t>(size));
    char buf[65536];
    for (;;) {
        const ssize_t n = ::read(fd.get(), buf, sizeof buf);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            throw FileError::FromErrno(failure, errno);
        }
        if (n == 0)
            return out;
        // The file may grow while it is read.
        if (out.size() + static_cast<std::size_t>(n) > maxBytes)
            throw FileError::FromErrno(failure, EFBIG);
        out.append(buf, static_cast<std::size_t>(n));
    }
}

bool IsRegularFile(const std::string& path)
{
    struct stat st {};
    return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

std::string FileNameOf(const std::string& path)
{
    const std::size_t cut = path.find_last_of("/\\");
    return cut == std::string::npos ? path : path.substr(cut + 1);
}

std::string FolderOf(const std::string& path)
{
    const auto slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    if (slash == 0)
        return "/";
    return path.substr(0, slash);
}
