#include "xorrisorun.h"

#include "base/childprocess.h"
#include "base/failure.h"
#include "base/signalcleanup.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr std::uint64_t kMaxMessages = 16 << 20; // a runaway tool is stopped

std::vector<std::string> readLines(int fd)
{
    std::vector<std::string> lines;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || st.st_size <= 0)
        return lines;
    std::string text(static_cast<std::size_t>(st.st_size), '\0');
    const ssize_t got = ::pread(fd, text.data(), text.size(), 0);
    text.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
    for (std::size_t start = 0; start < text.size();) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos)
            break; // a line still being written
        std::string line = text.substr(start, end - start);
        // Packets look like "I:1: text"; the channel says nothing a user needs.
        if (line.size() >= 5 && line[1] == ':' && line[3] == ':' && line[4] == ' ')
            line.erase(0, 5);
        lines.push_back(std::move(line));
        start = end + 1;
    }
    return lines;
}

} // namespace

XorrisoRun RunXorriso(const std::string& tool, const std::vector<std::string>& args, int timeoutMs,
                      const std::function<bool(const std::vector<std::string>&)>& watch)
{
    std::string pattern = (std::filesystem::temp_directory_path() / "tavrel-burn-XXXXXX").string();
    const int fd = ::mkstemp(pattern.data());
    if (fd < 0)
        throw Failure::FromErrno("Cannot run " + tool, errno);
    ::unlink(pattern.c_str()); // only the descriptor is needed
    ChildRequest request;
    request.program = tool;
    request.args = {"-pkt_output", "on"};
    request.args.insert(request.args.end(), args.begin(), args.end());
    request.outputFd = fd;
    request.maxOutputBytes = kMaxMessages;
    request.timeoutMs = timeoutMs;
    request.cancelled = [&] { return watch && watch(readLines(fd)); };
    const ChildResult child = RunChild(request);
    XorrisoRun run;
    run.started = child.started;
    run.exitStatus = child.exitStatus;
    run.cancelled = child.cancelled;
    run.timedOut = child.timedOut;
    run.lines = readLines(fd);
    ::close(fd);
    return run;
}

std::string XorrisoComplaint(const XorrisoRun& run)
{
    std::string complaint;
    for (const std::string& line : run.lines)
        for (const char* severity : {": FAILURE : ", ": SORRY : "})
            if (const std::size_t at = line.find(severity); at != std::string::npos) {
                complaint += (complaint.empty() ? "" : "; ") +
                             line.substr(at + std::char_traits<char>::length(severity));
                break;
            }
    if (complaint.empty())
        for (std::size_t i = run.lines.size() > 3 ? run.lines.size() - 3 : 0; i < run.lines.size();
             ++i)
            if (!run.lines[i].empty())
                complaint += (complaint.empty() ? "" : "; ") + run.lines[i];
    return complaint.size() > 600 ? complaint.substr(0, 600) + "..." : complaint;
}
