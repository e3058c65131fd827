#include "discimage.h"

#include "base/childprocess.h"
#include "base/failure.h"
#include "base/signalcleanup.h"
#include "discfolder.h"
#include "makedvd.h"

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

// The last lines of a tool's messages: enough to say what went wrong.
std::string tail(const std::string& messages)
{
    constexpr std::size_t kShown = 800;
    return messages.size() <= kShown ? messages : "..." + messages.substr(messages.size() - kShown);
}

} // namespace

std::string DiscLabel(const std::string& text)
{
    std::string label;
    for (const char c : text) {
        if (label.size() == 32)
            break;
        if (c >= 'a' && c <= 'z')
            label += static_cast<char>(c - 'a' + 'A');
        else if ((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'))
            label += c;
        else if (!label.empty() && label.back() != '_')
            label += '_';
    }
    while (!label.empty() && label.back() == '_')
        label.pop_back();
    return label.empty() ? "DVD" : label;
}

void MakeDiscImage(const std::string& discDir, const std::string& isoFile, const std::string& label,
                   int timeoutMs, const std::function<bool()>& cancelled)
{
    const std::string failed = "Cannot make the disc image " + isoFile;
    fs::path target = fs::absolute(isoFile);
    std::string name = target.filename().string();
    name.insert(0, 1, '.');
    name += ".XXXXXX";
    std::string pattern = (target.parent_path() / name).string();
    const int fd = ::mkstemp(pattern.data());
    if (fd < 0)
        throw Failure::FromErrno(failed, errno);
    ::close(fd);
    const TemporaryFileGuard guard(pattern);
    const auto removeTemp = [&pattern] { ::unlink(pattern.c_str()); };

    ChildRequest request;
    request.program = "genisoimage";
    request.args = {"-dvd-video",     "-udf", "-quiet",          "-V",
                    DiscLabel(label), "-m",   kDiscFolderMarker, "-m",
                    ".tavrel-work-*", "-o",   pattern,           fs::absolute(discDir).string()};
    request.timeoutMs = timeoutMs;
    request.cancelled = cancelled;
    const ChildResult child = RunChild(request);
    if (child.cancelled) {
        removeTemp();
        throw DvdCancelled();
    }
    if (!child.started) {
        removeTemp();
        throw Failure(failed, "genisoimage was not found (install the genisoimage package)");
    }
    if (child.timedOut || child.exitStatus != 0) {
        removeTemp();
        throw Failure(failed, child.timedOut ? "genisoimage did not finish in time"
                              : child.exitStatus < 0
                                  ? "genisoimage was stopped by a signal"
                                  : "genisoimage failed: " + tail(child.errorOutput));
    }
    // The image gets the mode any new file would get, not mkstemp's 0600.
    const mode_t mask = ::umask(0);
    ::umask(mask);
    ::chmod(pattern.c_str(), 0666 & ~mask);
    if (std::rename(pattern.c_str(), target.c_str()) != 0) {
        const int error = errno;
        removeTemp();
        throw Failure::FromErrno(failed, error);
    }
}
