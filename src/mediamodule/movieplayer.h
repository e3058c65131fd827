#pragma once

#include "base/picture.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>

// A paused movie, for a program that reaches FFmpeg through the media module. It
// behaves as MediaPlayer (thumbs/mediaplayer.h) does; open() throws what that throws,
// which MediaFunctions::movieFailureMessage puts into words.
class MoviePlayer {
public:
    virtual ~MoviePlayer() = default;
    virtual void open(const std::string& path) = 0;
    virtual bool isOpen() const = 0;
    virtual int videoWidth() const = 0;
    virtual int videoHeight() const = 0;
    virtual std::int64_t frameCount() const = 0;
    virtual std::int64_t duration() const = 0; // 100 ns units
    virtual void pause() = 0;
    virtual void seek(std::int64_t time) = 0;
    virtual bool takeFrame(Picture& out, std::int64_t* frameNumber = nullptr,
                           std::int64_t* time = nullptr) const = 0;
    virtual std::uint64_t frameSerial() const = 0;
    virtual bool waitForFrame(std::chrono::milliseconds timeout) = 0;
    virtual void setFrameReadyCallback(std::function<void()> callback) = 0;
};
