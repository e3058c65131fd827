#pragma once

#include "thumbs/ffmpegptr.h"

#include <condition_variable>
#include <deque>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>

// Runs an encoder on a thread of its own, fed through a short queue, so that decoding
// and scaling the next pictures overlaps encoding the last ones. Pictures are handed
// over by reference, never copied.
class EncoderThread {
public:
    using Encode = std::function<void(const AVFrame*)>; // nullptr: flush

    explicit EncoderThread(Encode encode);
    ~EncoderThread(); // stops the thread without waiting for the queue
    EncoderThread(const EncoderThread&) = delete;
    EncoderThread& operator=(const EncoderThread&) = delete;

    // Waits while the queue is full. Rethrows what the encoder threw.
    void push(FramePtr frame);
    // Flushes the encoder and waits for it. Rethrows what the encoder threw.
    void finish();

private:
    void work();
    void rethrow();

    Encode m_encode;
    std::mutex m_lock;
    std::condition_variable m_changed;
    std::deque<FramePtr> m_queue; // a null frame: the end
    std::exception_ptr m_failure;
    bool m_stop = false;
    bool m_done = false;
    std::thread m_thread;
};
