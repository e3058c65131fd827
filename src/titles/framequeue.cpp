#include "framequeue.h"

namespace {

// Enough to ride out an expensive picture on either side, small enough to hold little.
constexpr std::size_t kQueueFrames = 6;

} // namespace

EncoderThread::EncoderThread(Encode encode) : m_encode(std::move(encode))
{
    m_thread = std::thread([this] { work(); });
}

EncoderThread::~EncoderThread()
{
    {
        std::lock_guard<std::mutex> hold(m_lock);
        m_stop = true;
    }
    m_changed.notify_all();
    m_thread.join();
}

void EncoderThread::push(FramePtr frame)
{
    std::unique_lock<std::mutex> hold(m_lock);
    m_changed.wait(hold, [&] { return m_queue.size() < kQueueFrames || m_failure || m_done; });
    rethrow();
    m_queue.push_back(std::move(frame));
    m_changed.notify_all();
}

void EncoderThread::finish()
{
    push(nullptr);
    std::unique_lock<std::mutex> hold(m_lock);
    m_changed.wait(hold, [&] { return m_done; });
    rethrow();
}

void EncoderThread::rethrow()
{
    if (m_failure)
        std::rethrow_exception(m_failure);
}

void EncoderThread::work()
{
    for (;;) {
        FramePtr frame;
        {
            std::unique_lock<std::mutex> hold(m_lock);
            m_changed.wait(hold, [&] { return m_stop || !m_queue.empty(); });
            if (m_stop)
                break;
            frame = std::move(m_queue.front());
            m_queue.pop_front();
            m_changed.notify_all();
        }
        const bool last = !frame;
        try {
            m_encode(frame.get());
        } catch (...) {
            std::lock_guard<std::mutex> hold(m_lock);
            m_failure = std::current_exception();
            break;
        }
        if (last)
            break;
    }
    std::lock_guard<std::mutex> hold(m_lock);
    m_done = true;
    m_changed.notify_all();
}
