#include "mediaplayer.h"

MediaPlayer::MediaPlayer() = default;

MediaPlayer::~MediaPlayer()
{
    release();
}

void MediaPlayer::open(const std::string& path, const MediaLimits& limits)
{
    release();
    m_decoder.open(path, limits);
    {
        std::lock_guard lock(m_mutex);
        m_stop = false;
        m_hasRequest = false;
        m_requestTime = m_position = 0;
        m_requestSerial = m_servedSerial = 0;
        m_servedOk = false;
        m_frameSerial = 0;
        m_frame.clear();
    }
    m_abort = false;
    m_open = true;
    m_worker = std::thread([this] { run(); });
}

void MediaPlayer::release()
{
    if (m_worker.joinable()) {
        {
            std::lock_guard lock(m_mutex);
            m_stop = true;
        }
        m_abort = true;
        m_wake.notify_all();
        m_worker.join();
    }
    m_decoder.close();
    m_open = false;
    std::lock_guard lock(m_mutex);
    m_frame.clear();
    m_hasRequest = false;
    m_servedSerial = m_requestSerial;
    m_servedOk = false;
    m_served.notify_all();
}

void MediaPlayer::pause()
{
    std::int64_t position;
    {
        std::lock_guard lock(m_mutex);
        position = m_position;
    }
    seek(position);
}

void MediaPlayer::seek(std::int64_t time)
{
    if (!m_open)
        return;
    {
        std::lock_guard lock(m_mutex);
        m_position = time;
        m_requestTime = time;
        ++m_requestSerial;
        m_hasRequest = true;
    }
    m_wake.notify_one();
}

bool MediaPlayer::takeFrame(Picture& out, std::int64_t* frameNumber, std::int64_t* time) const
{
    std::lock_guard lock(m_mutex);
    if (m_frameSerial == 0 || m_frame.isEmpty())
        return false;
    out = m_frame;
    if (frameNumber)
        *frameNumber = m_frameNumber;
    if (time)
        *time = m_frameTime;
    return true;
}

std::uint64_t MediaPlayer::frameSerial() const
{
    std::lock_guard lock(m_mutex);
    return m_frameSerial;
}

bool MediaPlayer::waitForFrame(std::chrono::milliseconds timeout)
{
    std::unique_lock lock(m_mutex);
    if (m_requestSerial == 0)
        return false;
    const bool served = m_served.wait_for(
        lock, timeout, [this] { return !m_hasRequest && m_servedSerial == m_requestSerial; });
    return served && m_servedOk;
}

void MediaPlayer::setFrameReadyCallback(std::function<void()> callback)
{
    std::lock_guard lock(m_callbackMutex);
    m_frameReady = std::move(callback);
}

void MediaPlayer::run()
{
    Picture work;
    for (;;) {
        std::int64_t target;
        std::uint64_t serial;
        {
            std::unique_lock lock(m_mutex);
            m_wake.wait(lock, [this] { return m_stop || m_hasRequest; });
            if (m_stop)
                return;
            target = m_requestTime;
            serial = m_requestSerial;
            m_hasRequest = false;
        }

        bool ok = false;
        std::int64_t number = 0;
        try {
            if (!m_decoder.decodeAt(target, work, &number, &m_abort))
                return; // aborted: the player is being released
            ok = true;
        } catch (...) {
            // Nothing may leave the thread: that would end the program. The frame on show
            // stays, and waitForFrame reports the failure.
        }

        if (ok) {
            {
                std::lock_guard lock(m_mutex);
                std::swap(m_frame, work);
                m_frameNumber = number;
                m_frameTime = target;
                ++m_frameSerial;
            }
            // Before the waiters wake, so that they see its effects.
            std::lock_guard lock(m_callbackMutex);
            if (m_frameReady) {
                try {
                    m_frameReady();
                } catch (...) {
                    // The frame is delivered all the same; the listener's failure is its own.
                }
            }
        }
        {
            std::lock_guard lock(m_mutex);
            m_servedSerial = serial;
            m_servedOk = ok;
        }
        m_served.notify_all();
    }
}
