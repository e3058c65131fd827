#include "autoframe.h"

#include "mediadecoder.h"
#include "mediaerror.h"

extern "C" {
#include <libavutil/error.h>
}

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <set>
#include <vector>

namespace {

constexpr int kSamples = 24;
// An exact pass over the sample positions runs when keyframes alone gave too few
// different frames, for as long as this allows.
constexpr int kFewCandidates = 8;
constexpr auto kExactPassBudget = std::chrono::milliseconds(1500);
constexpr int kGreySide = 128; // longer side of the grey copy

constexpr double kBlackBelow = 28;
constexpr double kWhiteAbove = 240;
constexpr double kFlatBelow = 12;
constexpr double kBlurredBelow = 2.0;

// Box-averaged luma at most kGreySide pixels across.
std::vector<float> greyCopy(const Picture& frame, int& w, int& h)
{
    const int side = std::max(frame.width(), frame.height());
    const int factor = std::max(1, (side + kGreySide - 1) / kGreySide);
    w = std::max(1, frame.width() / factor);
    h = std::max(1, frame.height() / factor);
    std::vector<float> grey(static_cast<std::size_t>(w) * static_cast<std::size_t>(h));
    const float cell = static_cast<float>(factor * factor);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            unsigned sum = 0;
            for (int dy = 0; dy < factor; ++dy) {
                const std::uint8_t* p = frame.pixel(x * factor, y * factor + dy);
                for (int dx = 0; dx < factor; ++dx, p += 3)
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

AutoFrame ChooseMovieFrame(const std::string& path)
{
    MediaDecoder decoder;
    decoder.open(path);
    const std::int64_t count = decoder.frameCount();
    const double timePerFrame =
        static_cast<double>(decoder.duration()) / static_cast<double>(count);
    // Positions are those of the thumbnail dialog's slider, 0..last frame.
    const std::int64_t top =
        std::min<std::int64_t>(count - 1, std::numeric_limits<std::int32_t>::max());
    const double first = static_cast<double>(top) * 0.05;
    const double last = static_cast<double>(top) * 0.95;

    std::vector<std::int64_t> positions;
    for (int i = 0; i < kSamples; ++i) {
        const auto p =
            static_cast<std::int64_t>(std::floor(first + (last - first) * (i + 0.5) / kSamples));
        if (positions.empty() || positions.back() != p)
            positions.push_back(std::clamp<std::int64_t>(p, 0, top));
    }

    Candidate best;
    bool haveBest = false;
    std::set<std::int64_t> seen;
    auto consider = [&](std::int64_t number, Picture& picture) {
        if (!seen.insert(number).second)
            return;
        const FrameLook look = MeasureFrameLook(picture);
        if (!haveBest || better(look, best.look)) {
            best.frame = number;
            best.picture = std::move(picture);
            best.look = look;
            haveBest = true;
        }
    };
    auto timeOf = [&](std::int64_t position) {
        return static_cast<std::int64_t>(
            std::nearbyint(static_cast<double>(position) * timePerFrame));
    };

    for (std::int64_t position : positions) {
        Picture picture;
        std::int64_t number = 0;
        try {
            if (decoder.decodeKeyFrameNear(timeOf(position), picture, &number))
                consider(number, picture);
        } catch (const MediaError&) {
            // A damaged stretch: the other samples still count.
        }
    }
    if (seen.size() < kFewCandidates) {
        const auto deadline = std::chrono::steady_clock::now() + kExactPassBudget;
        for (std::int64_t position : positions) {
            if (std::chrono::steady_clock::now() > deadline)
                break;
            Picture picture;
            std::int64_t number = 0;
            try {
                if (decoder.decodeAt(timeOf(position), picture, &number))
                    consider(number, picture);
            } catch (const MediaError&) {
            }
        }
    }
    if (!haveBest)
        throw MediaError(AVERROR_INVALIDDATA);

    AutoFrame result;
    result.frame = static_cast<std::int32_t>(std::min<std::int64_t>(best.frame, top));
    result.picture = std::move(best.picture);
    result.look = best.look;
    return result;
}
