#include "mediaerror.h"

extern "C" {
#include <libavutil/error.h>
}

#include <cstdint>
#include <cstdio>

std::string MediaErrorText(int code)
{
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    if (av_strerror(code, text, sizeof text) < 0 && text[0] == '\0')
        std::snprintf(text, sizeof text, "Error number %d occurred", code);
    char suffix[24];
    std::snprintf(suffix, sizeof suffix, " ($%x).",
                  static_cast<unsigned>(static_cast<std::uint32_t>(code)));
    return std::string(text) + suffix;
}

MediaError::MediaError(int code) : std::runtime_error(MediaErrorText(code)), m_code(code) {}
