#include "titleoutput.h"

#include "base/failure.h"
#include "thumbs/movieinput.h"

extern "C" {
#include <libavutil/error.h>
#include <libavutil/mem.h>
}

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <random>

namespace {

constexpr int kBufferBytes = 256 * 1024;

std::string folderOf(const std::string& path)
{
    const std::string parent = std::filesystem::path(path).parent_path().string();
    return parent.empty() ? "." : parent;
}

std::string temporaryName(const std::string& path)
{
    static thread_local std::mt19937 random(std::random_device{}());
    char suffix[16];
    std::snprintf(suffix, sizeof suffix, "%08x", static_cast<unsigned>(random()));
    return folderOf(path) + "/.tavrel-title-" + suffix;
}

} // namespace

TitleOutput::TitleOutput(const std::string& path) : m_path(path)
{
    m_fd = ::open(folderOf(path).c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
    if (m_fd < 0 && (errno == EOPNOTSUPP || errno == EISDIR || errno == EINVAL)) {
        // A file system without unnamed files: a hidden name, removed unless committed.
        for (int attempt = 0; attempt < 16 && m_fd < 0; ++attempt) {
            m_named = temporaryName(path);
            m_fd = ::open(m_named.c_str(), O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC, 0666);
            if (m_fd < 0 && errno != EEXIST)
                break;
        }
    }
    if (m_fd < 0)
        throw Failure::FromErrno("Cannot create file " + path, errno);
    auto* buffer = static_cast<unsigned char*>(av_malloc(kBufferBytes));
    m_io = buffer ? avio_alloc_context(buffer, kBufferBytes, 1, this, nullptr, writePacket, seek)
                  : nullptr;
    if (!m_io) {
        av_free(buffer);
        ::close(m_fd);
        if (!m_named.empty())
            ::unlink(m_named.c_str());
        throw Failure::FromErrno("Cannot create file " + path, ENOMEM);
    }
}

TitleOutput::~TitleOutput()
{
    if (m_io) {
        av_freep(&m_io->buffer);
        avio_context_free(&m_io);
    }
    if (m_fd >= 0)
        ::close(m_fd);
    if (!m_named.empty()) // not committed
        ::unlink(m_named.c_str());
}

int TitleOutput::writePacket(void* opaque, std::uint8_t* buf, int size)
{
    auto* self = static_cast<TitleOutput*>(opaque);
    while (size > 0) {
        const ssize_t n = ::write(self->m_fd, buf, static_cast<std::size_t>(size));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            if (!self->m_error)
                self->m_error = n < 0 ? errno : ENOSPC;
            return AVERROR(self->m_error);
        }
        buf += n;
        size -= static_cast<int>(n);
    }
    return 0;
}

std::int64_t TitleOutput::seek(void* opaque, std::int64_t offset, int whence)
{
    return SeekFileDescriptor(static_cast<TitleOutput*>(opaque)->m_fd, offset, whence);
}

void TitleOutput::commit()
{
    const std::string what = "Cannot write file " + m_path;
    avio_flush(m_io);
    if (m_error || m_io->error < 0)
        throw Failure::FromErrno(what, m_error ? m_error : EIO);
    // Not synced: a title lives only until its disc is authored, every run writes it anew,
    // and a sync would hold each title up for the disk as a plain copy is not. A file
    // system that reports write errors late (NFS) reports them at close, checked below.
    if (m_named.empty()) {
        // An unnamed file gets a hidden name first: link cannot replace an old title.
        char self[64];
        std::snprintf(self, sizeof self, "/proc/self/fd/%d", m_fd);
        for (int attempt = 0; attempt < 16 && m_named.empty(); ++attempt) {
            const std::string name = temporaryName(m_path);
            if (::linkat(AT_FDCWD, self, AT_FDCWD, name.c_str(), AT_SYMLINK_FOLLOW) == 0)
                m_named = name;
            else if (errno != EEXIST)
                throw Failure::FromErrno(what, errno);
        }
        if (m_named.empty())
            throw Failure::FromErrno(what, EEXIST);
    }
    const int fd = m_fd;
    m_fd = -1; // closed once, even when closing fails; the destructor removes m_named
    if (::close(fd) != 0 && errno != EINTR)
        throw Failure::FromErrno(what, errno);
    if (::rename(m_named.c_str(), m_path.c_str()) != 0)
        throw Failure::FromErrno(what, errno);
    m_named.clear();
}
