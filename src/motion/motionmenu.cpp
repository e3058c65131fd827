#include "motionmenu.h"

#include "framecompose.h"
#include "menusound.h"
#include "motionmux.h"
#include "spanreader.h"

#include "base/atomicfile.h"
#include "base/failure.h"
#include "base/fileio.h"
#include "thumbs/mediaerror.h"
#include "thumbs/moviefailure.h"
#include "thumbs/movieinput.h"
#include "titles/framequeue.h"

#include <algorithm>
#include <chrono>
#include <memory>
#include <optional>
#include <thread>

namespace {

const char* const kText = "Cannot make the motion menu";
// More thumbnails than ten pages' worth is a caller's mistake, not a menu.
constexpr std::size_t kMaxThumbnails = 100;

struct Area {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
};

// The part of a thumbnail's area on even pixels, as 4:2:0 pictures need.
Area evenArea(const MotionThumbnail& t, const DiscFormat& format)
{
    if (t.width <= 0 || t.height <= 0 || t.x < 0 || t.y < 0 || t.x > format.width - t.width ||
        t.y > format.height - t.height)
        throw Failure(kText, "the area of " + FileNameOf(t.movie) + " is not inside the frame");
    Area a;
    a.x = (t.x + 1) / 2 * 2;
    a.y = (t.y + 1) / 2 * 2;
    a.width = (t.x + t.width) / 2 * 2 - a.x;
    a.height = (t.y + t.height) / 2 * 2 - a.y;
    if (a.width < 2 || a.height < 2)
        throw Failure(kText, "the area of " + FileNameOf(t.movie) + " is too small");
    return a;
}

void checkRequest(const MotionMenuRequest& r)
{
    const DiscFormat& f = r.format;
    if (f.width != 720 || (f.height != 576 && f.height != 480))
        throw Failure(kText, "DVD menus are 720 x 576 or 720 x 480");
    if (r.still.width() != f.width || r.still.height() != f.height)
        throw Failure(kText, "the picture is not the frame's size");
    if (r.seconds < kMotionMinSeconds || r.seconds > kMotionMaxSeconds)
        throw Failure(kText, "the length must be " + std::to_string(kMotionMinSeconds) + " to " +
                                 std::to_string(kMotionMaxSeconds) + " seconds");
    if (r.thumbnails.size() > kMaxThumbnails)
        throw Failure(kText, "it has too many thumbnails");
    if (!r.backgroundMovie.empty() &&
        r.foreground.size() != static_cast<std::size_t>(f.width) * f.height)
        throw Failure(kText, "the background mask is not the frame's size");
    if (r.timeLimitSeconds <= 0)
        throw Failure(kText, "the time limit must be positive");
}

struct Moving {
    std::string movie;
    Area area;
    std::unique_ptr<SpanReader> reader;
    FramePtr first; // where the loop returns to
};

// Every movie starts decoding at once, each on its own thread.
std::vector<Moving> startReaders(const MotionMenuRequest& r, AVRational rate, int frames,
                                 std::chrono::steady_clock::time_point deadline)
{
    std::vector<Moving> moving;
    const std::size_t count = r.thumbnails.size() + (r.backgroundMovie.empty() ? 0 : 1);
    // Two threads each at least: a decoder waiting for its reference pictures then
    // leaves its share of the processor to its other thread.
    const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
    const int threads =
        static_cast<int>(std::max<std::size_t>(2, cores / std::max<std::size_t>(count, 1)));
    auto start = [&](const MotionThumbnail& t, Area area, bool stretch) {
        SpanReader::Settings s{.movie = t.movie,
                               .startSeconds = std::max(0.0, t.startSeconds),
                               .startFrame = t.startFrame,
                               .rate = rate,
                               .frames = frames,
                               .areaWidth = area.width,
                               .areaHeight = area.height,
                               .stretch = stretch,
                               .decoderThreads = threads,
                               .deadline = deadline};
        moving.push_back({t.movie, area, std::make_unique<SpanReader>(std::move(s)), nullptr});
    };
    if (!r.backgroundMovie.empty())
        start({.movie = r.backgroundMovie}, Area{0, 0, r.format.width, r.format.height}, true);
    for (const MotionThumbnail& t : r.thumbnails)
        start(t, evenArea(t, r.format), false);
    return moving;
}

[[noreturn]] void throwMovieFailure(const std::string& movie, const std::exception& e)
{
    const auto* media = dynamic_cast<const MediaError*>(&e);
    const auto* failure = dynamic_cast<const Failure*>(&e);
    throw Failure(std::string(kText) + " from " + FileNameOf(movie),
                  media || !failure ? MovieFailureReason(e) : failure->detail());
}

// The next picture of a movie, mixed toward its first over the loop's last frames.
FramePtr nextPicture(Moving& m, int slot, int frames, int fadeFrames)
{
    FramePtr picture;
    try {
        picture = m.reader->next();
    } catch (const std::exception& e) {
        throwMovieFailure(m.movie, e);
    }
    if (slot == 0) {
        m.first.reset(av_frame_clone(picture.get()));
        if (!m.first)
            throw std::bad_alloc();
    }
    const int left = frames - slot;
    if (left > fadeFrames)
        return picture;
    FramePtr mixed = NewYuvPicture(picture->width, picture->height);
    PlacePicture(picture.get(), mixed.get(), 0, 0, m.first.get(),
                 256 * (fadeFrames + 1 - left) / (fadeFrames + 1));
    return mixed;
}

} // namespace

void EncodeMotionMenu(const MotionMenuRequest& request, const std::string& path)
{
    checkRequest(request);
    QuietFFmpeg();
    const DiscFormat& format = request.format;
    const AVRational rate = format.pal() ? AVRational{25, 1} : AVRational{30000, 1001};
    const int frames =
        static_cast<int>(av_rescale_q(request.seconds, AVRational{1, 1}, av_inv_q(rate)));
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::seconds(request.timeLimitSeconds);
    const FramePtr still = StillToYuv(request.still);
    std::optional<AlphaPlanes> foreground;
    if (!request.backgroundMovie.empty())
        foreground.emplace(request.foreground, format.width, format.height);
    // The sound first: music that cannot be read fails before any movie is decoded.
    MenuSound sound(request.music, request.seconds, deadline);
    std::vector<Moving> moving = startReaders(request, rate, frames, deadline);

    AtomicFile file(path);
    MotionMux mux(format, rate, sound, file);
    const int fadeFrames = static_cast<int>(av_q2d(rate) / 2);
    for (int slot = 0; slot < frames; ++slot) {
        FramePtr frame = mux.newPicture();
        std::size_t i = 0;
        if (foreground) {
            const FramePtr back = nextPicture(moving[i++], slot, frames, fadeFrames);
            foreground->blend(still.get(), back.get(), frame.get());
        } else {
            PlacePicture(still.get(), frame.get(), 0, 0);
        }
        for (; i < moving.size(); ++i) {
            Moving& m = moving[i];
            const FramePtr picture = nextPicture(m, slot, frames, fadeFrames);
            PlacePicture(picture.get(), frame.get(), m.area.x + m.reader->left(),
                         m.area.y + m.reader->top());
        }
        frame->pts = slot;
        mux.push(std::move(frame));
    }
    moving.clear();
    mux.finish(frames);
    file.commit();
}
