#include "filecallrecorder.h"

#include <atomic>
#include <climits>
#include <cstdio>
#include <dlfcn.h>
#include <filesystem>
#include <mutex>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::atomic<bool> g_recording{false};
std::mutex g_mutex;
std::vector<FileCall> g_calls;

std::string pathOf(int fd)
{
    char link[64];
    std::snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
    char target[PATH_MAX];
    const ssize_t n = ::readlink(link, target, sizeof target - 1);
    return n > 0 ? std::string(target, static_cast<std::size_t>(n)) : std::string();
}

FileCall callOn(const char* name, int fd)
{
    FileCall call{name, pathOf(fd), {}};
    struct stat st {};
    if (::fstat(fd, &st) == 0) {
        call.device = st.st_dev;
        call.inode = st.st_ino;
    }
    return call;
}

void record(FileCall call)
{
    if (!g_recording)
        return;
    const std::lock_guard<std::mutex> lock(g_mutex);
    g_calls.push_back(std::move(call));
}

template <typename F> F real(const char* name)
{
    return reinterpret_cast<F>(::dlsym(RTLD_NEXT, name));
}

std::string folderOf(const std::string& path)
{
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
}

} // namespace

extern "C" int fsync(int fd)
{
    static const auto next = real<int (*)(int)>("fsync");
    record(callOn("fsync", fd));
    return next(fd);
}

extern "C" int fdatasync(int fd)
{
    static const auto next = real<int (*)(int)>("fdatasync");
    record(callOn("fsync", fd));
    return next(fd);
}

extern "C" int rename(const char* from, const char* to)
{
    static const auto next = real<int (*)(const char*, const char*)>("rename");
    FileCall call{"rename", from, to};
    struct stat st {};
    if (g_recording && ::lstat(from, &st) == 0) {
        call.device = st.st_dev;
        call.inode = st.st_ino;
    }
    record(std::move(call));
    return next(from, to);
}

void StartRecordingFileCalls()
{
    const std::lock_guard<std::mutex> lock(g_mutex);
    g_calls.clear();
    g_recording = true;
}

std::vector<FileCall> StopRecordingFileCalls()
{
    g_recording = false;
    const std::lock_guard<std::mutex> lock(g_mutex);
    return std::move(g_calls);
}

std::string CheckFlushedBeforeRename(const std::vector<FileCall>& calls, int& renames)
{
    renames = 0;
    for (std::size_t i = 0; i < calls.size(); ++i) {
        if (calls[i].name != "rename")
            continue;
        ++renames;
        // The descriptor's path is the real one; the names given to rename may hold links.
        FileCall r = calls[i];
        r.path = std::filesystem::weakly_canonical(r.path).string();
        r.to = std::filesystem::weakly_canonical(r.to).string();
        bool flushed = false;
        for (std::size_t j = 0; j < i; ++j)
            flushed = flushed ||
                      (calls[j].name == "fsync" &&
                       (calls[j].path == r.path || (r.inode != 0 && calls[j].inode == r.inode &&
                                                    calls[j].device == r.device)));
        if (!flushed)
            return r.path + " renamed to " + r.to + " without an fsync before";
        bool folderFlushed = false;
        for (std::size_t j = i + 1; j < calls.size(); ++j)
            folderFlushed =
                folderFlushed || (calls[j].name == "fsync" && calls[j].path == folderOf(r.to));
        if (!folderFlushed)
            return "the folder of " + r.to + " not flushed after the rename";
    }
    return {};
}
