#pragma once

// How every movie is opened: only regular files, read through our own I/O (no protocol,
// device or FIFO), no format that opens other files or streams by name, and every step
// within a time budget. Shared by the thumbnail decoder and the title encoder.

extern "C" {
#include <libavformat/avformat.h>
}

#include <atomic>
#include <chrono>
#include <memory>
#include <string>

// The time budget of one open, seek or encode, and the request to give up; FFmpeg asks
// through its interrupt callback, our own loops directly.
struct WorkBudget {
    std::chrono::steady_clock::time_point deadline = std::chrono::steady_clock::time_point::max();
    const std::atomic<bool>* abort = nullptr;

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

// FFmpeg's chatter on standard error silenced once for the whole program: failures reach
// callers as exceptions instead.
void QuietFFmpeg();
