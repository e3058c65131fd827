#include "movieinput.h"

#include "base/fileio.h"
#include "mediaerror.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <mutex>
#include <new>
#include <string_view>

void WorkBudget::start(int budgetMs, const std::atomic<bool>* stop)
{
    deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(budgetMs);
    abort = stop;
}

void WorkBudget::unlimited(const std::atomic<bool>* stop)
{
    deadline = std::chrono::steady_clock::time_point::max();
    abort = stop;
    readLimit = kUnlimited;
}

int WorkBudget::remainingMs() const
{
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    return static_cast<int>(std::clamp<std::int64_t>(left.count(), 0, INT32_MAX));
}

void WorkBudget::check() const
{
    if (!aborted() && expired())
        throw MediaError(AVERROR_EXIT, "The movie took too long to open or seek");
}

std::int64_t SeekFileDescriptor(int fd, std::int64_t offset, int whence)
{
    if (whence & AVSEEK_SIZE) {
        struct stat st {};
        return ::fstat(fd, &st) == 0 ? static_cast<std::int64_t>(st.st_size) : AVERROR(errno);
    }
    const off_t at = ::lseek(fd, static_cast<off_t>(offset), whence & ~AVSEEK_FORCE);
    return at < 0 ? AVERROR(errno) : static_cast<std::int64_t>(at);
}

namespace {

constexpr std::int64_t kHeaderProbeBytes = 2 * 1024 * 1024;
constexpr std::int64_t kHeaderProbeSeconds = 2;

// Every file FFmpeg opens is a regular file opened here, read through our own I/O
// context: no protocol, no device, no FIFO.
struct PlainFile {
    int fd;
    AVIOInterruptCB interrupt; // FFmpeg asks it only of its own protocols: we ask it here
};

int interruptCallback(void* opaque);

int readPlain(void* opaque, std::uint8_t* buf, int size)
{
    const auto* file = static_cast<PlainFile*>(opaque);
    if (file->interrupt.callback && file->interrupt.callback(file->interrupt.opaque))
        return AVERROR_EXIT;
    WorkBudget* budget = file->interrupt.callback == interruptCallback
                             ? static_cast<WorkBudget*>(file->interrupt.opaque)
                             : nullptr;
    if (budget && budget->bytesRead > budget->readLimit)
        return AVERROR_INVALIDDATA;
    const int fd = file->fd;
    for (;;) {
        const ssize_t n = ::read(fd, buf, static_cast<std::size_t>(size));
        if (n > 0) {
            if (budget)
                budget->bytesRead += n;
            return static_cast<int>(n);
        }
        if (n == 0)
            return AVERROR_EOF;
        if (errno != EINTR)
            return AVERROR(errno);
    }
}

std::int64_t seekPlain(void* opaque, std::int64_t offset, int whence)
{
    return SeekFileDescriptor(static_cast<PlainFile*>(opaque)->fd, offset, whence);
}

int closePlainFile(AVFormatContext*, AVIOContext* pb)
{
    if (!pb)
        return 0;
    auto* file = static_cast<PlainFile*>(pb->opaque);
    if (file) {
        ::close(file->fd);
        delete file;
    }
    av_freep(&pb->buffer);
    avio_context_free(&pb);
    return 0;
}

int openPlainFile(AVFormatContext* s, AVIOContext** pb, const char* url, int flags, AVDictionary**)
{
    *pb = nullptr;
    const char* protocol = avio_find_protocol_name(url);
    if ((flags & AVIO_FLAG_WRITE) || !protocol || std::strcmp(protocol, "file") != 0)
        return AVERROR(EPERM);
    std::string_view path(url);
    if (path.starts_with("file:"))
        path.remove_prefix(5);
    const std::string name(path);
    int fd = -1;
    try {
        fd = OpenRegularFile(name).release();
    } catch (const FileError& e) {
        return AVERROR(e.systemError() != 0 && e.systemError() != EISDIR ? e.systemError() : EPERM);
    }
    constexpr int kBufferBytes = 64 * 1024;
    auto* buffer = static_cast<unsigned char*>(av_malloc(kBufferBytes));
    auto* file = new (std::nothrow) PlainFile{fd, s ? s->interrupt_callback : AVIOInterruptCB{}};
    AVIOContext* ctx = buffer && file ? avio_alloc_context(buffer, kBufferBytes, 0, file, readPlain,
                                                           nullptr, seekPlain)
                                      : nullptr;
    if (!ctx) {
        av_free(buffer);
        delete file;
        ::close(fd);
        return AVERROR(ENOMEM);
    }
    *pb = ctx;
    return 0;
}

// Formats that open other files or streams by name: playlists and concatenation.
bool isRefusedFormat(const AVInputFormat* format)
{
    static constexpr std::string_view kRefused[] = {
        "hls", "applehttp", "concat", "dash", "webm_dash_manifest", "imf", "sdp", "rtsp", "rtp",
    };
    std::string_view names(format->name);
    while (!names.empty()) {
        const std::size_t comma = names.find(',');
        const std::string_view name = names.substr(0, comma);
        for (std::string_view refused : kRefused)
            if (name == refused)
                return true;
        names = comma == std::string_view::npos ? std::string_view() : names.substr(comma + 1);
    }
    return false;
}

int interruptCallback(void* opaque)
{
    const auto* budget = static_cast<const WorkBudget*>(opaque);
    return budget->aborted() || budget->expired() ? 1 : 0;
}

// Opens a movie: only a regular file, only plain files for anything it names, and no
// playlist or concatenation format; every step within `budget`.
} // namespace

FormatPtr OpenMovieInput(const std::string& path, WorkBudget& budget)
{
    AVFormatContext* raw = avformat_alloc_context();
    if (!raw)
        throw MediaError(AVERROR(ENOMEM));
    raw->interrupt_callback.callback = interruptCallback;
    raw->interrupt_callback.opaque = &budget;
    // Enough for the headers of real movies; beyond it a file is more likely garbage, and
    // FFmpeg's defaults (5 MB, 5 s) spend seconds searching random bytes for streams.
    raw->probesize = kHeaderProbeBytes;
    raw->max_analyze_duration = kHeaderProbeSeconds * AV_TIME_BASE;
    raw->io_open = openPlainFile;
    raw->io_close2 = closePlainFile;
    AVIOContext* pb = nullptr;
    int r = openPlainFile(raw, &pb, path.c_str(), AVIO_FLAG_READ, nullptr);
    const AVInputFormat* format = nullptr;
    if (r >= 0)
        r = av_probe_input_buffer2(pb, &format, path.c_str(), raw, 0, 0);
    if (r >= 0 && isRefusedFormat(format))
        r = AVERROR_DEMUXER_NOT_FOUND;
    if (r < 0) {
        closePlainFile(raw, pb);
        avformat_free_context(raw);
        budget.check();
        throw MediaError(r);
    }
    raw->pb = pb; // our own I/O: avformat_close_input leaves it to FormatCloser
    AVDictionary* options = nullptr;
    av_dict_set(&options, "protocol_whitelist", "file", 0);
    r = avformat_open_input(&raw, path.c_str(), format, &options);
    av_dict_free(&options);
    if (r < 0) {
        closePlainFile(nullptr, pb); // the context is freed by FFmpeg
        budget.check();
        throw MediaError(r);
    }
    FormatPtr fmt(raw);
    r = avformat_find_stream_info(raw, nullptr);
    if (r < 0) {
        budget.check();
        throw MediaError(r);
    }
    return fmt;
}

void FormatCloser::operator()(AVFormatContext* p) const
{
    AVIOContext* pb = p->pb;
    avformat_close_input(&p);
    closePlainFile(nullptr, pb);
}

namespace {

constexpr std::int64_t kRunAllowanceMs = 20'000;
constexpr int kShortBudgetMs = 1'000;
std::atomic<std::int64_t> failedOpenMs{0};

} // namespace

int OpenBudgetMs(int wantedMs)
{
    const std::int64_t left = kRunAllowanceMs - failedOpenMs.load(std::memory_order_relaxed);
    return static_cast<int>(
        std::min<std::int64_t>(wantedMs, std::max<std::int64_t>(left, kShortBudgetMs)));
}

void NoteFailedOpen(std::chrono::steady_clock::duration spent)
{
    failedOpenMs += std::chrono::duration_cast<std::chrono::milliseconds>(spent).count();
}

void QuietFFmpeg()
{
    static std::once_flag quiet;
    std::call_once(quiet, [] { av_log_set_level(AV_LOG_FATAL); });
}
