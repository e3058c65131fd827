#include "picturereadreason.h"

#include "base/fileio.h"

#include "codecs/codectypes.h"

#include <new>
#include <stdexcept>

namespace {

// The reader's detail without its "PNG: " style prefix, which the message already says.
std::string detailOf(const std::string& text)
{
    const std::size_t colon = text.find(": ");
    if (colon != std::string::npos && colon <= 5)
        return text.substr(colon + 2);
    return text;
}

bool mentionsSize(const std::string& text)
{
    return text.find("too large") != std::string::npos ||
           text.find("too many pixels") != std::string::npos ||
           text.find("out of range") != std::string::npos;
}

} // namespace

std::string PictureFailureReason(const std::exception& error)
{
    if (dynamic_cast<const std::bad_alloc*>(&error))
        return "there is not enough memory for it";
    if (dynamic_cast<const std::length_error*>(&error))
        return "the picture is too large";
    const std::string text = error.what();
    if (dynamic_cast<const CodecError*>(&error)) {
        const std::string detail = detailOf(text);
        if (mentionsSize(detail) && detail.find("chunk") == std::string::npos)
            return "the picture is too large (" + detail + ")";
        return "the file is damaged (" + detail + ")";
    }
    if (text.starts_with("File too large"))
        return "the file is too large";
    if (text.starts_with("Cannot open file"))
        return "the file cannot be opened";
    if (text.starts_with("Cannot read file"))
        return "the file cannot be read";
    return text;
}

std::string PictureFailureMessage(const std::string& path, const std::string& reason)
{
    return "Cannot read picture " + FileNameOf(path) + ": " + reason + ".";
}
