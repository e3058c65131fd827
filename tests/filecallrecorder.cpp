#include "filecallrecorder.h"

#include <atomic>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <dlfcn.h>
#include <filesystem>
#include <mutex>
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
    record({"fsync", pathOf(fd), {}});
    return next(fd);
}

extern "C" int fdatasync(int fd)
{
    static const auto next = real<int (*)(int)>("fdatasync");
    record({"fsync", pathOf(fd), {}});
    return next(fd);
}

// An unnamed temporary file gets its name by linking /proc/self/fd/N: record the file the
// descriptor stands for, so that its earlier fsync counts for the new name.
extern "C" int linkat(int fromDir, const char* from, int toDir, const char* to, int flags)
{
    static const auto next = real<int (*)(int, const char*, int, const char*, int)>("linkat");
    std::string source = from;
    if (source.starts_with("/proc/self/fd/"))
        source = pathOf(std::atoi(from + 14));
    record({"link", source, to});
    return next(fromDir, from, toDir, to, flags);
}

extern "C" int rename(const char* from, const char* to)
{
    static const auto next = real<int (*)(const char*, const char*)>("rename");
    record({"rename", from, to});
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
        // A name linked to a flushed descriptor's file is flushed too.
        bool flushed = false;
        for (std::size_t j = 0; j < i; ++j) {
            if (calls[j].name != "fsync")
                continue;
            flushed = flushed || calls[j].path == r.path;
            for (std::size_t k = j + 1; k < i; ++k)
                flushed = flushed || (calls[k].name == "link" && calls[k].path == calls[j].path &&
                                      std::filesystem::weakly_canonical(calls[k].to) == r.path);
        }
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
