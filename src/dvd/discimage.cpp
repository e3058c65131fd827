#include "discimage.h"

#include "base/atomicfile.h"
#include "base/childprocess.h"
#include "base/failure.h"
#include "base/signalcleanup.h"
#include "discfolder.h"
#include "discjudge.h"
#include "makedvd.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <sys/mman.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

// What stands between a started tool and an image: its start, its end and its status.
void judgeRun(const ChildResult& child, const std::string& failed)
{
    if (child.cancelled)
        throw DvdCancelled();
    if (!child.started)
        throw Failure(failed, "genisoimage was not found (install the genisoimage package)");
    if (child.timedOut)
        throw Failure(failed, "genisoimage did not finish in time");
    if (child.outputTooLarge)
        throw Failure(failed, "genisoimage wrote more than it announced");
    if (child.outputError != 0)
        throw Failure::FromErrno(failed, child.outputError);
    if (child.exitStatus != 0)
        throw Failure(failed, child.exitStatus < 0
                                  ? "genisoimage was stopped by a signal"
                                  : "genisoimage failed: " + ToolComplaint(child.errorOutput));
}

// The image's size in bytes as genisoimage works it out before writing anything.
std::uint64_t announcedBytes(ChildRequest request, const std::string& failed)
{
    request.args.insert(request.args.begin(), "-print-size");
    const UniqueFd out(::memfd_create("print-size", MFD_CLOEXEC));
    if (!out)
        throw Failure::FromErrno(failed, errno);
    request.outputFd = out.get();
    request.maxOutputBytes = 4096;
    judgeRun(RunChild(request), failed);
    char text[64] = {};
    const ssize_t n = ::pread(out.get(), text, sizeof text - 1, 0);
    char* end = nullptr;
    const unsigned long long sectors = n > 0 ? std::strtoull(text, &end, 10) : 0;
    if (sectors == 0 || end == text || sectors > (1ull << 32))
        throw Failure(failed, "genisoimage announced no size");
    return sectors * 2048;
}

// Images an earlier version left under `.NAME.XXXXXX` when it was killed: ours by name.
void removeStaleTemporaries(const fs::path& target)
{
    std::string prefix = ".";
    prefix += target.filename().string();
    prefix += '.';
    std::error_code ec;
    for (const fs::directory_entry& entry : fs::directory_iterator(target.parent_path(), ec)) {
        const std::string name = entry.path().filename().string();
        if (name.size() == prefix.size() + 6 && name.starts_with(prefix) &&
            std::all_of(name.begin() + static_cast<long>(prefix.size()), name.end(),
                        [](char c) { return std::isalnum(static_cast<unsigned char>(c)); }) &&
            entry.is_regular_file(ec) && !entry.is_symlink(ec))
            fs::remove(entry.path(), ec);
    }
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
    // Refuses a target that is no regular file and writes through a symbolic link.
    AtomicFile image(isoFile, false);
    removeStaleTemporaries(fs::absolute(isoFile));

    ChildRequest request;
    request.program = "genisoimage";
    request.args = {"-dvd-video",      "-udf",
                    "-quiet",          "-V",
                    DiscLabel(label),  "-m",
                    kDiscFolderMarker, "-m",
                    ".tavrel-work-*",  fs::absolute(discDir).string()};
    request.timeoutMs = timeoutMs;
    request.cancelled = cancelled;
    const std::uint64_t bytes = announcedBytes(request, failed);
    // Written to its standard output: the image has no name until it is judged whole.
    request.outputFd = image.fd();
    request.maxOutputBytes = bytes;
    judgeRun(RunChild(request), failed);
    JudgeDiscImage(image.fd(), bytes, failed);
    image.commit();
}
