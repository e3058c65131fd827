#pragma once

#include "base/picture.h"
#include "mediadecoder.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

// A paused movie that shows the frame at the position it was last sent to. Seeks are
// served by a worker thread: seek() returns at once, and a newer request replaces one
// still waiting, so dragging a slider never queues up work. The movie never plays.
class MediaPlayer {
public:
    MediaPlayer();
    ~MediaPlayer();
    MediaPlayer(const MediaPlayer&) = delete;
    MediaPlayer& operator=(const MediaPlayer&) = delete;

    // Opens the movie (synchronously, on the caller's thread) and starts the worker.
    // Throws MediaError; then nothing is open.
    void open(const std::string& path, const MediaLimits& limits = {});
    // Stops the worker and closes the movie; the last frame is dropped.
    void release();
    bool isOpen() const { return m_open; }

    int videoWidth() const { return m_decoder.videoWidth(); }
    int videoHeight() const { return m_decoder.videoHeight(); }
    std::int64_t frameCount() const { return m_decoder.frameCount(); }
    std::int64_t duration() const { return m_decoder.duration(); } // 100 ns units

    // Shows the frame at the current position (0 after opening).
    void pause();
    // Asks for the frame at `time` (100 ns, absolute). Never blocks on decoding.
    void seek(std::int64_t time);

    // Copies the latest delivered frame into `out`; false (out untouched) when none.
    // `frameNumber` gets its 0-based number, `time` the position it was asked for.
    bool takeFrame(Picture& out, std::int64_t* frameNumber = nullptr,
                   std::int64_t* time = nullptr) const;
    // Grows by one with every delivered frame; 0 before the first.
    std::uint64_t frameSerial() const;
    // Waits until the newest seek has been served, at most `timeout`. True when the
    // frame for it has been delivered (false on timeout, a decoding error or no seek).
    bool waitForFrame(std::chrono::milliseconds timeout);

    // Called on the worker thread after each delivered frame; keep it short, and do
    // not wait in it for the thread that replaces it. Once this returns, the previous
    // callback is neither running nor called again. Exceptions from it are dropped.
    void setFrameReadyCallback(std::function<void()> callback);

private:
    void run();

    MediaDecoder m_decoder;
    bool m_open = false;
    std::thread m_worker;
    std::atomic<bool> m_abort{false};

    mutable std::mutex m_mutex;
    std::condition_variable m_wake;   // a request or the stop
    std::condition_variable m_served; // a request finished
    bool m_stop = false;
    bool m_hasRequest = false;
    std::int64_t m_requestTime = 0;
    std::uint64_t m_requestSerial = 0;
    std::uint64_t m_servedSerial = 0;
    bool m_servedOk = false;
    std::int64_t m_position = 0;

    Picture m_frame;
    std::int64_t m_frameNumber = 0;
    std::int64_t m_frameTime = 0;
    std::uint64_t m_frameSerial = 0;
    // Held while the callback runs, so that replacing it waits for a call in progress.
    std::mutex m_callbackMutex;
    std::function<void()> m_frameReady;
};
