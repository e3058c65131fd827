#pragma once

#include "base/failure.h"

#include <cerrno>
#include <string>

// A failure of the media component. The text is FFmpeg's description of the code
// followed by " ($code)." with the code in hexadecimal as an unsigned 32-bit value;
// systemError() is the errno an AVERROR(errno) code stands for, else 0.
class MediaError : public Failure {
public:
    explicit MediaError(int code);
    // Our own failure (a time budget): `text` followed by " ($code).".
    MediaError(int code, const std::string& text);
    int code() const { return m_code; }

private:
    int m_code;
};

// The text a MediaError for `code` carries, e.g. "Invalid data found when processing
// input ($bebbb1b7)."
std::string MediaErrorText(int code);

// FFmpeg's results as failures: a null object means memory ran out, a negative code is a
// MediaError.
template <typename T> T* MediaChecked(T* p)
{
    if (!p)
        throw MediaError(-ENOMEM); // AVERROR(ENOMEM)
    return p;
}

inline void MediaCheck(int r)
{
    if (r < 0)
        throw MediaError(r);
}
