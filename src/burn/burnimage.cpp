#include "burnimage.h"

#include "base/failure.h"
#include "xorrisorun.h"

#include <array>
#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr std::uint64_t kBlock = 2048;
constexpr int kProbeTimeoutMs = 120'000; // a drive may spin up and read the disc first

std::string gigabytes(std::uint64_t bytes)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.2f GB", static_cast<double>(bytes) / 1e9);
    return text;
}

bool has(const std::string& line, const char* text)
{
    return line.find(text) != std::string::npos;
}

struct FileCloser {
    int fd;
    ~FileCloser()
    {
        if (fd >= 0)
            ::close(fd);
    }
};

// The image's size, after making sure it is a regular file that holds an ISO 9660 volume.
std::uint64_t checkImage(const std::string& image)
{
    const std::string failed = "Cannot burn " + image;
    const FileCloser file{::open(image.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK)};
    if (file.fd < 0)
        throw Failure::FromErrno(failed, errno);
    struct stat st {};
    if (::fstat(file.fd, &st) != 0)
        throw Failure::FromErrno(failed, errno);
    if (!S_ISREG(st.st_mode))
        throw Failure(failed, "it is not a file");
    std::array<char, 5> magic{};
    // The primary volume descriptor starts at sector 16 with "\1CD001".
    if (::pread(file.fd, magic.data(), magic.size(), 16 * kBlock + 1) != 5 ||
        std::memcmp(magic.data(), "CD001", 5) != 0 || st.st_size % kBlock != 0)
        throw Failure(failed, "it is not a disc image");
    return static_cast<std::uint64_t>(st.st_size);
}

std::function<bool(const std::vector<std::string>&)> stopWhenCancelled(BurnProgress& progress)
{
    return [&progress](const std::vector<std::string>&) { return progress.cancelled(); };
}

void throwIfUnusable(const BurnRequest& request, const XorrisoRun& run, const std::string& failed)
{
    if (run.cancelled)
        throw BurnCancelled();
    if (!run.started)
        throw Failure(failed, request.tool + " was not found (install the xorriso package)");
    if (run.timedOut)
        throw Failure(failed, request.tool + " did not finish in time");
    for (const std::string& line : run.lines)
        if (has(line, "Cannot acquire drive") || has(line, "not found") ||
            has(line, "Neither stdio-path nor its directory exist"))
            throw Failure(failed, "there is no DVD writer at " + request.device);
    if (run.exitStatus != 0)
        throw Failure(failed, request.tool + " failed: " + XorrisoComplaint(run));
}

// "xorriso : UPDATE :   16 of   60 MB written ..." -> 16/60.
bool readWritten(const std::string& line, double& done)
{
    const std::size_t at = line.find("UPDATE :");
    if (at == std::string::npos)
        return false;
    unsigned long long written = 0;
    unsigned long long total = 0;
    if (std::sscanf(line.c_str() + at + 8, "%llu of %llu MB written", &written, &total) != 2 ||
        total == 0)
        return false;
    done = std::min(1.0, static_cast<double>(written) / static_cast<double>(total));
    return true;
}

void writeImage(const BurnRequest& request, BurnProgress& progress)
{
    const std::string failed = "Cannot burn the disc in " + request.device;
    std::vector<std::string> args = {"-as", "cdrecord", "-v", "dev=" + request.device};
    if (request.speed > 0)
        args.push_back("speed=" + std::to_string(request.speed));
    // No -eject: the disc is read back next.
    args.insert(args.end(), {"-dao", request.image});
    progress.stage("Writing the disc in " + request.device);
    const XorrisoRun run =
        RunXorriso(request.tool, args, request.timeoutMs, [&](const std::vector<std::string>& l) {
            double done = 0;
            for (auto it = l.rbegin(); it != l.rend(); ++it)
                if (readWritten(*it, done)) {
                    progress.fraction(done);
                    break;
                }
            return progress.cancelled();
        });
    throwIfUnusable(request, run, failed);
    bool completed = false;
    for (const std::string& line : run.lines)
        completed = completed || has(line, "completed successfully");
    if (!completed)
        throw Failure(failed,
                      request.tool + " did not report a finished disc: " + XorrisoComplaint(run));
}

// Reads the disc back and compares it with the image, byte for byte.
void readBack(const BurnRequest& request, std::uint64_t size, BurnProgress& progress)
{
    const std::string path = BurnedDiscPath(request.device);
    const std::string failed = "The disc in " + request.device + " does not read back as written";
    progress.stage("Reading the disc back");
    const FileCloser disc{::open(path.c_str(), O_RDONLY | O_CLOEXEC)};
    const FileCloser image{::open(request.image.c_str(), O_RDONLY | O_CLOEXEC)};
    if (disc.fd < 0 || image.fd < 0)
        throw Failure::FromErrno(failed, errno);
    std::vector<char> a(1 << 20);
    std::vector<char> b(a.size());
    for (std::uint64_t at = 0; at < size;) {
        if (progress.cancelled())
            throw BurnCancelled();
        const std::size_t want =
            static_cast<std::size_t>(std::min<std::uint64_t>(a.size(), size - at));
        const ssize_t got = ::pread(disc.fd, a.data(), want, static_cast<off_t>(at));
        if (got < 0)
            throw Failure::FromErrno(failed, errno);
        if (got == 0)
            throw Failure(failed, "it ends after " + gigabytes(at));
        const auto n = static_cast<std::size_t>(got);
        if (::pread(image.fd, b.data(), n, static_cast<off_t>(at)) != got ||
            std::memcmp(a.data(), b.data(), n) != 0)
            throw Failure(failed, "it differs from the image near byte " + std::to_string(at));
        at += n;
        progress.fraction(static_cast<double>(at) / static_cast<double>(size));
    }
}

} // namespace

std::string BurnedDiscPath(const std::string& device)
{
    return device.rfind("stdio:", 0) == 0 ? device.substr(6) : device;
}

std::vector<BurnWriter> ListBurnWriters(const std::string& tool)
{
    const XorrisoRun run = RunXorriso(tool, {"-devices"}, kProbeTimeoutMs, {});
    if (!run.started)
        throw Failure("Cannot look for DVD writers",
                      tool + " was not found (install the xorriso package)");
    std::vector<BurnWriter> writers;
    for (const std::string& line : run.lines) {
        // "0  -dev '/dev/sr0' rwrw-- :  'VENDOR  ' 'MODEL'"
        const std::size_t dev = line.find("-dev '");
        if (dev == std::string::npos)
            continue;
        const std::size_t end = line.find('\'', dev + 6);
        if (end == std::string::npos)
            continue;
        BurnWriter writer;
        writer.device = line.substr(dev + 6, end - dev - 6);
        for (std::size_t q = line.find(':', end); q != std::string::npos && q < line.size();) {
            const std::size_t open = line.find('\'', q);
            const std::size_t close = open == std::string::npos ? open : line.find('\'', open + 1);
            if (close == std::string::npos)
                break;
            std::string part = line.substr(open + 1, close - open - 1);
            while (!part.empty() && part.back() == ' ')
                part.pop_back();
            writer.name += (writer.name.empty() ? "" : " ") + part;
            q = close + 1;
        }
        writers.push_back(std::move(writer));
    }
    return writers;
}

BurnMedium ProbeBurnMedium(const BurnRequest& request, BurnProgress& progress)
{
    const XorrisoRun run =
        RunXorriso(request.tool, {"-outdev", request.device, "-tell_media_space"}, kProbeTimeoutMs,
                   stopWhenCancelled(progress));
    throwIfUnusable(request, run, "Cannot burn the disc in " + request.device);
    BurnMedium medium;
    for (const std::string& line : run.lines) {
        unsigned long long blocks = 0;
        if (line.rfind("Media current:", 0) == 0) {
            medium.present = !has(line, "is not present") && !has(line, "no media");
            medium.overwriteable = has(line, "overwriteable");
        } else if (line.rfind("Media status :", 0) == 0) {
            medium.blank = has(line, "is blank");
        } else if (std::sscanf(line.c_str(), "Media space : %llus", &blocks) == 1) {
            medium.freeBytes = blocks * kBlock;
        }
    }
    return medium;
}

void BurnImage(const BurnRequest& request, BurnProgress& progress)
{
    const std::uint64_t size = checkImage(request.image);
    progress.stage("Looking at the disc in " + request.device);
    const BurnMedium medium = ProbeBurnMedium(request, progress);
    const std::string refused = "Cannot burn the disc in " + request.device;
    if (!medium.present)
        throw Failure(refused, "there is no disc in the writer");
    if (!medium.blank && !medium.overwriteable)
        throw Failure(refused, "the disc is not blank; put in a blank DVD or a rewritable one");
    if (medium.freeBytes < size)
        throw Failure(refused, "the disc holds " + gigabytes(medium.freeBytes) +
                                   ", the image needs " + gigabytes(size));
    writeImage(request, progress);
    readBack(request, size, progress);
}
