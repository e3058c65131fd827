#include "mediaerror.h"

extern "C" {
#include <libavutil/error.h>
}

#include <cstdint>
#include <cstdio>

namespace {

std::string withCode(const std::string& text, int code)
{
    char suffix[24];
    std::snprintf(suffix, sizeof suffix, " ($%x).",
                  static_cast<unsigned>(static_cast<std::uint32_t>(code)));
    return text + suffix;
}

} // namespace

std::string MediaErrorText(int code)
{
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    if (av_strerror(code, text, sizeof text) < 0 && text[0] == '\0')
        std::snprintf(text, sizeof text, "Error number %d occurred", code);
    return withCode(text, code);
}

namespace {

// FFmpeg's codes for system errors are the negated errno; its own tags are far below.
int systemErrorOf(int code)
{
    return code < 0 && code > -4096 ? -code : 0;
}

} // namespace

MediaError::MediaError(int code)
    : Failure(MediaErrorText(code), {}, systemErrorOf(code)), m_code(code)
{
}

MediaError::MediaError(int code, const std::string& text)
    : Failure(withCode(text, code), {}, systemErrorOf(code)), m_code(code)
{
}
