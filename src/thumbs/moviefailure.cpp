#include "moviefailure.h"

#include "base/fileio.h"
#include "mediaerror.h"

extern "C" {
#include <libavutil/error.h>
}

#include <cerrno>
#include <filesystem>
#include <new>
#include <string_view>

namespace {

// FFmpeg's own words for the failures that have no plainer name; its code means nothing
// to a user.
std::string ffmpegWords(int code)
{
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    if (av_strerror(code, text, sizeof text) < 0 || text[0] == '\0' ||
        std::string_view(text).starts_with("Error number"))
        return "it is damaged or uses something FFmpeg cannot read";
    std::string words = text;
    if (words.size() > 1 && words[0] >= 'A' && words[0] <= 'Z' && words[1] >= 'a' &&
        words[1] <= 'z')
        words[0] = static_cast<char>(words[0] - 'A' + 'a');
    return "FFmpeg cannot read it (" + words + ")";
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
    case AVERROR(EIO):
        return "the file cannot be read (a disk or network error)";
    case AVERROR_PATCHWELCOME:
        return "it uses a feature FFmpeg cannot decode";
    default:
        return ffmpegWords(code);
    }
}

std::string MovieFailureMessage(const std::string& path, const std::exception& error)
{
    std::string reason = MovieFailureReason(error);
    const auto* media = dynamic_cast<const MediaError*>(&error);
    std::error_code ec;
    if (media && (media->code() == AVERROR_INVALIDDATA || media->code() == AVERROR_EOF) &&
        std::filesystem::file_size(path, ec) == 0 && !ec)
        reason = "the file is empty";
    return "Cannot open movie " + FileNameOf(path) + ": " + reason + ".";
}
