#pragma once

// How every movie is opened: only regular files, read through our own I/O (no protocol,
// device or FIFO), no format that opens other files or streams by name, and every step
// within a time budget. Shared by the thumbnail decoder and the title encoder.

extern "C" {
#include <libavformat/avformat.h>
}

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <string>

// FFmpeg's seek callback on a plain file descriptor (AVSEEK_SIZE asks for the size).
std::int64_t SeekFileDescriptor(int fd, std::int64_t offset, int whence);

// The time budget of one open, seek or encode, and the request to give up; FFmpeg asks
// through its interrupt callback, our own loops directly.
struct WorkBudget {
    static constexpr std::int64_t kUnlimited = INT64_MAX;
    // What opening a movie and finding its first picture may read: real movies need a few
    // megabytes; garbage after a header is otherwise searched byte by byte to its end.
    static constexpr std::int64_t kHeaderReadLimit = 32 * 1024 * 1024;

    std::chrono::steady_clock::time_point deadline = std::chrono::steady_clock::time_point::max();
    const std::atomic<bool>* abort = nullptr;
    // Bytes the inputs under this budget may read before they fail as damaged.
    std::int64_t readLimit = kUnlimited;
    std::int64_t bytesRead = 0;

    void start(int budgetMs, const std::atomic<bool>* stop = nullptr);
    // No deadline, only the request to give up (a whole title's encode).
    void unlimited(const std::atomic<bool>* stop);
    bool aborted() const { return abort && abort->load(std::memory_order_relaxed); }
    int remainingMs() const;
    bool expired() const { return std::chrono::steady_clock::now() > deadline; }
    // Throws MediaError when the time is up (a hostile file, not the user's request).
    void check() const;
};

struct FormatCloser {
    void operator()(AVFormatContext* p) const;
};
using FormatPtr = std::unique_ptr<AVFormatContext, FormatCloser>;

// Opens `path` and reads its stream information within `budget`, which must outlive the
// result (its interrupt callback points there). Throws MediaError.
FormatPtr OpenMovieInput(const std::string& path, WorkBudget& budget);

// Movies that turn out to be garbage share one allowance of waiting per run, so that a
// table full of them cannot stall a batch for minutes: once failed opens have used it
// up, each later open gets a short budget. `wantedMs` is the budget an open would have.
int OpenBudgetMs(int wantedMs);
void NoteFailedOpen(std::chrono::steady_clock::duration spent);

// FFmpeg's chatter on standard error silenced once for the whole program: failures reach
// callers as exceptions instead.
void QuietFFmpeg();
