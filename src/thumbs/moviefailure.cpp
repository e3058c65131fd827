#include "moviefailure.h"

#include "base/fileio.h"
#include "mediaerror.h"

extern "C" {
#include <libavutil/error.h>
}

#include <cerrno>
#include <new>

namespace {

// FFmpeg's own words and code, for the failures that have no plainer name.
std::string ffmpegDetail(int code)
{
    std::string text = MediaErrorText(code);
    if (text.ends_with('.'))
        text.pop_back();
    return text;
}

} // namespace

std::string MovieFailureReason(const std::exception& error)
{
    if (dynamic_cast<const std::bad_alloc*>(&error))
        return "there is not enough memory for it";
    const auto* media = dynamic_cast<const MediaError*>(&error);
    if (!media)
        return error.what();
    const int code = media->code();
    switch (code) {
    case AVERROR_STREAM_NOT_FOUND:
        return "it has no video track";
    case AVERROR(ENOENT):
        return "the file does not exist";
    case AVERROR(EACCES):
    case AVERROR(EPERM):
        return "you may not read the file";
    case AVERROR(EISDIR):
        return "it is a folder, not a file";
    case AVERROR(ENOMEM):
        return "there is not enough memory for it";
    case AVERROR_DECODER_NOT_FOUND:
        return "its video format is not supported";
    case AVERROR_DEMUXER_NOT_FOUND:
        return "it is not a movie file FFmpeg knows";
    case AVERROR_INVALIDDATA:
        return "the file is damaged or not a movie FFmpeg can read";
    case AVERROR_EOF:
        return "the file ends before its first picture";
    case AVERROR_EXIT:
        return "it took too long to read (a damaged file?)";
    default:
        return "FFmpeg cannot read it (" + ffmpegDetail(code) + ")";
    }
}

std::string MovieFailureMessage(const std::string& path, const std::exception& error)
{
    return "Cannot open movie " + FileNameOf(path) + ": " + MovieFailureReason(error) + ".";
}
