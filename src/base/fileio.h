#pragma once

#include "failure.h"

#include <cstdint>
#include <string>

// A file that could not be written or read. what() is the fixed message followed by
// ": " and the reason where one is known ("Cannot create file /x/menu.tavrel: No space
// left on device"); reason() is that reason alone, possibly empty.
class FileError : public Failure {
public:
    FileError(const std::string& message, const std::string& reason, int systemError = 0);
    static FileError FromErrno(const std::string& message, int error);
    const std::string& reason() const { return detail(); }
};

// Owns a file descriptor and closes it once.
class UniqueFd {
public:
    UniqueFd() = default;
    explicit UniqueFd(int fd) : m_fd(fd) {}
    ~UniqueFd() { reset(); }
    UniqueFd(UniqueFd&& other) noexcept : m_fd(other.release()) {}
    UniqueFd& operator=(UniqueFd&& other) noexcept
    {
        if (this != &other)
            reset(other.release());
        return *this;
    }
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;

    int get() const { return m_fd; }
    explicit operator bool() const { return m_fd >= 0; }
    int release()
    {
        const int fd = m_fd;
        m_fd = -1;
        return fd;
    }
    void reset(int fd = -1);

private:
    int m_fd = -1;
};

// Opens `path` for reading, without waiting on a FIFO or device: only a regular file is
// accepted (symbolic links followed), and it is then read in blocking mode. `size`, when
// given, receives the file's size. Throws FileError "Cannot open file PATH" with the
// system's reason, or "not a regular file".
UniqueFd OpenRegularFile(const std::string& path, std::uint64_t* size = nullptr);

// Reads a whole regular file (see OpenRegularFile); throws FileError "Cannot open file
// ..." when it cannot be opened or read or is larger than `maxBytes`.
std::string ReadWholeFile(const std::string& path, std::uint64_t maxBytes);

// Whether `path` names an existing regular file (symbolic links followed).
bool IsRegularFile(const std::string& path);

// The part of a path after its last "/" or "\" (project files from Windows keep "\").
std::string FileNameOf(const std::string& path);

// The folder part of a path: "." for a bare name, "/" for a file in the root.
std::string FolderOf(const std::string& path);
