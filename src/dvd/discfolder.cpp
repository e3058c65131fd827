#include "discfolder.h"

#include "base/failure.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <stdlib.h>
#include <string_view>
#include <sys/file.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

constexpr std::string_view kWorkPrefix = ".tavrel-work-";
constexpr std::string_view kMarkerText = "This folder holds a DVD made by tavrel, which "
                                         "replaces VIDEO_TS and AUDIO_TS here when it makes "
                                         "the disc again.\n";

bool isOurs(const fs::path& dir)
{
    std::error_code ec;
    return fs::is_regular_file(dir / kDiscFolderMarker, ec);
}

bool isEmpty(const fs::path& dir)
{
    std::error_code ec;
    return fs::directory_iterator(dir, ec) == fs::directory_iterator();
}

void writeMarker(const fs::path& dir)
{
    const std::string path = (dir / kDiscFolderMarker).string();
    const int fd =
        ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0644);
    if (fd < 0)
        throw Failure::FromErrno("Cannot create file " + path, errno);
    const ssize_t written = ::write(fd, kMarkerText.data(), kMarkerText.size());
    const int error = errno;
    ::close(fd);
    if (written != static_cast<ssize_t>(kMarkerText.size()))
        throw Failure::FromErrno("Cannot create file " + path, written < 0 ? error : ENOSPC);
}

// Work folders a killed run left behind; they are ours by name inside our folder.
void removeStaleWork(const fs::path& dir)
{
    std::error_code ec;
    for (const fs::directory_entry& entry : fs::directory_iterator(dir, ec))
        if (entry.path().filename().string().starts_with(kWorkPrefix) && entry.is_directory(ec) &&
            !entry.is_symlink(ec))
            fs::remove_all(entry.path(), ec);
}

// Swaps two paths in one step where the kernel can, so there is never a moment without
// a disc; else the old one moves aside first.
void exchange(const fs::path& from, const fs::path& to, const fs::path& aside)
{
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_EXCHANGE) == 0) {
        std::error_code ec;
        fs::rename(from, aside, ec);
        return;
    }
    std::error_code ec;
    fs::rename(to, aside, ec);
    if (ec && ec != std::errc::no_such_file_or_directory)
        throw Failure("Cannot replace " + to.string(), ec.message(), ec.value());
    fs::rename(from, to, ec);
    if (ec)
        throw Failure("Cannot move the disc into " + to.string(), ec.message(), ec.value());
}

} // namespace

DiscFolder::DiscFolder(const std::string& dir)
    : m_dir(fs::absolute(dir).lexically_normal().string())
{
    const fs::path path(m_dir);
    std::error_code ec;
    if (fs::exists(fs::symlink_status(path, ec)) && !fs::is_directory(path, ec))
        throw Failure("Cannot make the disc in " + m_dir, "it is not a folder");
    m_madeFolder = fs::create_directories(path, ec);
    if (ec)
        throw Failure("Cannot create the folder " + m_dir, ec.message(), ec.value());
    if (!isOurs(path)) {
        if (!isEmpty(path))
            throw Failure("Cannot make the disc in " + m_dir,
                          "the folder is not empty and holds no disc made by tavrel; choose a "
                          "new or empty folder (nothing in it was changed)");
        writeMarker(path);
        m_madeMarker = true;
    }
    // One run at a time: the lock goes with the descriptor when the run ends in any way.
    m_lock = ::open((path / kDiscFolderMarker).c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (m_lock < 0)
        throw Failure::FromErrno("Cannot open " + (path / kDiscFolderMarker).string(), errno);
    if (::flock(m_lock, LOCK_EX | LOCK_NB) != 0) {
        ::close(m_lock);
        throw Failure("Cannot make the disc in " + m_dir,
                      "another tavrel is making a disc in this folder");
    }
    try {
        removeStaleWork(path);
        std::string pattern = (path / (std::string(kWorkPrefix) + "XXXXXX")).string();
        if (!::mkdtemp(pattern.data()))
            throw Failure::FromErrno("Cannot create a work folder in " + m_dir, errno);
        m_work = pattern;
        fs::create_directory(authorDir(), ec);
        if (ec)
            throw Failure("Cannot create a work folder in " + m_dir, ec.message(), ec.value());
    } catch (...) {
        if (!m_work.empty())
            fs::remove_all(m_work, ec);
        ::close(m_lock);
        throw;
    }
}

DiscFolder::~DiscFolder()
{
    std::error_code ec;
    fs::remove_all(m_work, ec);
    if (m_madeMarker && !m_published) {
        // Removed while still locked, so no other run takes the folder in between.
        fs::remove(fs::path(m_dir) / kDiscFolderMarker, ec);
        if (m_madeFolder)
            ::rmdir(m_dir.c_str()); // only when nothing else came into it meanwhile
    }
    ::close(m_lock);
}

void DiscFolder::publish()
{
    const fs::path dir(m_dir);
    const fs::path work(m_work);
    std::error_code ec;
    if (!fs::is_directory(fs::path(authorDir()) / "VIDEO_TS", ec))
        throw Failure("Cannot move the disc into " + m_dir, "dvdauthor wrote no VIDEO_TS");
    // Some players look for AUDIO_TS even on a video disc.
    fs::create_directory(fs::path(authorDir()) / "AUDIO_TS", ec);
    m_published = true; // from here the folder holds our disc, whole or in part: keep the marker
    exchange(fs::path(authorDir()) / "AUDIO_TS", dir / "AUDIO_TS", work / "old-AUDIO_TS");
    exchange(fs::path(authorDir()) / "VIDEO_TS", dir / "VIDEO_TS", work / "old-VIDEO_TS");
    // The titles and the old disc go now, before an image is made of the folder.
    fs::remove_all(work, ec);
}
