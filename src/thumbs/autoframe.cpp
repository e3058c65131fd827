#include "autoframe.h"

#include "mediadecoder.h"
#include "mediaerror.h"

extern "C" {
#include <libavutil/error.h>
}

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <functional>
#include <limits>
#include <set>
#include <vector>

namespace {

constexpr int kSamples = 24;
// An exact pass over the sample positions runs when keyframes alone gave too few
// different frames, for as many decoded pixels as this allows: about 150 full-HD
// pictures, well under a second on a quiet machine. Counted in pictures rather than
// time, so that a busy machine chooses the same frame, only later.
constexpr int kFewCandidates = 8;
constexpr double kExactPassPixels = 300e6;
constexpr int kGreySide = 128; // longer side of the grey copy

constexpr double kBlackBelow = 28;
constexpr double kWhiteAbove = 240;
constexpr double kFlatBelow = 12;
constexpr double kBlurredBelow = 2.0;

// Box-averaged luma at most kGreySide pixels across. A side shorter than the box (a
// frame far wider than tall) gets one box cut to the picture.
std::vector<float> greyCopy(const Picture& frame, int& w, int& h)
{
    const int side = std::max(frame.width(), frame.height());
    const int factor = std::max(1, (side + kGreySide - 1) / kGreySide);
    w = std::max(1, frame.width() / factor);
    h = std::max(1, frame.height() / factor);
    const int boxWidth = std::min(factor, frame.width());
    const int boxHeight = std::min(factor, frame.height());
    std::vector<float> grey(static_cast<std::size_t>(w) * static_cast<std::size_t>(h));
    const float cell = static_cast<float>(boxWidth * boxHeight);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            unsigned sum = 0;
            for (int dy = 0; dy < boxHeight; ++dy) {
                const std::uint8_t* p = frame.pixel(x * factor, y * factor + dy);
                for (int dx = 0; dx < boxWidth; ++dx, p += 3)
                    sum += 77u * p[0] + 150u * p[1] + 29u * p[2];
            }
            grey[static_cast<std::size_t>(y) * static_cast<std::size_t>(w) +
                 static_cast<std::size_t>(x)] = static_cast<float>(sum) / 256.0f / cell;
        }
    }
    return grey;
}

struct Candidate {
    std::int64_t frame = 0;
    Picture picture;
    FrameLook look;
};

bool better(const FrameLook& a, const FrameLook& b)
{
    if (a.acceptable != b.acceptable)
        return a.acceptable;
    return a.score > b.score;
}

} // namespace

FrameLook MeasureFrameLook(const Picture& frame)
{
    FrameLook look;
    if (frame.isEmpty())
        return look;
    int w = 0, h = 0;
    const std::vector<float> grey = greyCopy(frame, w, h);
    double sum = 0, squares = 0;
    for (float v : grey) {
        sum += v;
        squares += static_cast<double>(v) * v;
    }
    const double n = static_cast<double>(grey.size());
    look.brightness = sum / n;
    look.spread = std::sqrt(std::max(0.0, squares / n - look.brightness * look.brightness));
    if (w >= 3 && h >= 3) {
        double laplace = 0;
        for (int y = 1; y + 1 < h; ++y) {
            const float* row =
                grey.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(w);
            for (int x = 1; x + 1 < w; ++x)
                laplace += std::abs(4 * row[x] - row[x - 1] - row[x + 1] - row[x - w] - row[x + w]);
        }
        look.sharpness = laplace / (static_cast<double>(w - 2) * (h - 2));
    }
    look.acceptable = look.brightness >= kBlackBelow && look.brightness <= kWhiteAbove &&
                      look.spread >= kFlatBelow && look.sharpness >= kBlurredBelow;
    // Contrast and detail count alike; a frame far from mid-grey loses a little.
    const double exposure = 1.0 - std::abs(look.brightness - 128.0) / 256.0;
    look.score = (look.spread + 2.0 * look.sharpness) * exposure;
    return look;
}

namespace {

// Sample positions between 5 % and 95 % of the movie, in the thumbnail dialog's slider
// units (0..top).
std::vector<std::int64_t> samplePositions(std::int64_t top)
{
    const double first = static_cast<double>(top) * 0.05;
    const double last = static_cast<double>(top) * 0.95;
    std::vector<std::int64_t> positions;
    for (int i = 0; i < kSamples; ++i) {
        const auto p =
            static_cast<std::int64_t>(std::floor(first + (last - first) * (i + 0.5) / kSamples));
        if (positions.empty() || positions.back() != p)
            positions.push_back(std::clamp<std::int64_t>(p, 0, top));
    }
    return positions;
}

class FramePick {
public:
    FramePick(MediaDecoder& decoder, const std::function<void()>& betweenLooks)
        : m_decoder(decoder), m_betweenLooks(betweenLooks),
          m_timePerFrame(static_cast<double>(decoder.duration()) /
                         static_cast<double>(decoder.frameCount()))
    {
    }

    // One look at `position`: the keyframe near it, or the exact frame.
    void look(std::int64_t position, bool exact)
    {
        if (m_betweenLooks)
            m_betweenLooks();
        const auto time = static_cast<std::int64_t>(
            std::nearbyint(static_cast<double>(position) * m_timePerFrame));
        Picture picture;
        std::int64_t number = 0;
        try {
            const bool got = exact ? m_decoder.decodeAt(time, picture, &number)
                                   : m_decoder.decodeKeyFrameNear(time, picture, &number);
            if (got)
                consider(number, picture);
        } catch (const MediaError& e) {
            // A damaged stretch: the other samples still count. A look that ran out of
            // time refuses the movie instead, lest a busy machine choose another frame.
            if (e.code() == AVERROR_EXIT)
                throw;
        }
    }

    std::size_t differentFrames() const { return m_seen.size(); }
    const Candidate* best() const { return m_haveBest ? &m_best : nullptr; }
    Candidate takeBest() { return std::move(m_best); }

private:
    void consider(std::int64_t number, Picture& picture)
    {
        if (!m_seen.insert(number).second)
            return;
        const FrameLook look = MeasureFrameLook(picture);
        if (!m_haveBest || better(look, m_best.look)) {
            m_best.frame = number;
            m_best.picture = std::move(picture);
            m_best.look = look;
            m_haveBest = true;
        }
    }

    MediaDecoder& m_decoder;
    const std::function<void()>& m_betweenLooks;
    double m_timePerFrame;
    Candidate m_best;
    bool m_haveBest = false;
    std::set<std::int64_t> m_seen;
};

} // namespace

AutoFrame ChooseMovieFrame(const std::string& path)
{
    return ChooseMovieFrame(path, {});
}

AutoFrame ChooseMovieFrame(const std::string& path, const std::function<void()>& betweenLooks)
{
    MediaDecoder decoder;
    decoder.open(path);
    const std::int64_t top =
        std::min<std::int64_t>(decoder.frameCount() - 1, std::numeric_limits<std::int32_t>::max());
    const std::vector<std::int64_t> positions = samplePositions(top);
    FramePick pick(decoder, betweenLooks);
    for (std::int64_t position : positions)
        pick.look(position, false);
    if (pick.differentFrames() < kFewCandidates) {
        const double pixels =
            static_cast<double>(decoder.videoWidth()) * static_cast<double>(decoder.videoHeight());
        const std::int64_t budget =
            decoder.picturesDecoded() +
            std::max<std::int64_t>(1, static_cast<std::int64_t>(kExactPassPixels / pixels));
        for (std::int64_t position : positions) {
            if (decoder.picturesDecoded() >= budget)
                break;
            pick.look(position, true);
        }
    }
    if (!pick.best())
        throw MediaError(AVERROR_INVALIDDATA);

    Candidate best = pick.takeBest();
    AutoFrame result;
    result.frame = static_cast<std::int32_t>(std::min<std::int64_t>(best.frame, top));
    result.picture = std::move(best.picture);
    result.look = best.look;
    return result;
}
