#include "mediaframe.h"

#include "mediadecoder.h"
#include "moviefailure.h"

#include <algorithm>
#include <cmath>
#include <exception>
#include <limits>

bool TakeMovieFrame(const std::string& path, std::int32_t& frame, Picture& out, std::string& error,
                    std::string* message)
{
    // A movie that cannot be opened stands at frame 0; one that opens keeps the clamped
    // position even when that frame then fails to decode, as the dialog's slider would.
    std::int32_t taken = 0;
    try {
        MediaDecoder decoder;
        decoder.open(path);
        // The frame slider runs from the first frame to the last.
        const std::int64_t top = std::min<std::int64_t>(decoder.frameCount() - 1,
                                                        std::numeric_limits<std::int32_t>::max());
        const std::int64_t position = std::clamp<std::int64_t>(frame, 0, top);
        taken = static_cast<std::int32_t>(position);
        const double timePerFrame =
            static_cast<double>(decoder.duration()) / static_cast<double>(decoder.frameCount());
        const auto target =
            static_cast<std::int64_t>(std::nearbyint(static_cast<double>(position) * timePerFrame));
        Picture picture;
        decoder.decodeAt(target, picture);
        out = std::move(picture);
        frame = taken;
        return true;
    } catch (const std::exception& e) {
        error = e.what();
        if (message)
            *message = MovieFailureMessage(path, e);
        frame = taken;
        return false;
    }
}
