#pragma once

#include "thumbs/ffmpegptr.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <exception>
#include <mutex>
#include <string>
#include <thread>

struct AVStream;

// Decodes one movie's span on a thread of its own, from `startSeconds`, as exactly one
// YUV 4:2:0 picture per menu frame, already turned upright and scaled to its place. A
// movie shorter than the span plays again from the start. Only a few pictures wait in
// the queue, so memory stays bounded whatever the length.
class SpanReader {
public:
    struct Settings {
        std::string movie;
        double startSeconds = 0;
        std::int64_t startFrame = -1; // 0 or more: the start as a frame number instead
        AVRational rate{25, 1};
        int frames = 0;       // pictures to deliver
        int areaWidth = 0;    // even
        int areaHeight = 0;   // even
        bool stretch = false; // fill the area instead of keeping the movie's shape
        int decoderThreads = 1;
        std::chrono::steady_clock::time_point deadline;
    };

    explicit SpanReader(Settings settings);
    ~SpanReader(); // stops the thread without waiting for the span
    SpanReader(const SpanReader&) = delete;
    SpanReader& operator=(const SpanReader&) = delete;

    // The next picture; waits for it. Rethrows what the decoding threw.
    FramePtr next();
    // Where the pictures sit inside the area (known once the first picture is out).
    int left() const { return m_left; }
    int top() const { return m_top; }

private:
    struct Movie;
    void work();
    void place(Movie& movie, AVStream* stream);
    void decodeSpan(Movie& movie);
    void arrive(Movie& movie);
    void emit(Movie& movie, int untilSlot);
    FramePtr toArea(Movie& movie, const AVFrame* decoded);
    bool stopping();

    Settings m_settings;
    std::atomic<int> m_left{0};
    std::atomic<int> m_top{0};
    std::mutex m_lock;
    std::condition_variable m_changed;
    std::size_t m_queueLimit;
    std::deque<FramePtr> m_queue;
    std::exception_ptr m_failure;
    int m_slot = 0; // pictures delivered into the queue so far (the thread's own)
    bool m_stop = false;
    std::thread m_thread;
};
