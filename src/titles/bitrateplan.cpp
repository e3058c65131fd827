#include "bitrateplan.h"

#include "base/failure.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace {

// The program stream costs about 3 % on top of its streams (pack and packet headers,
// one navigation pack per half second); the disc's file system and the IFO files a
// little more, kept as 1 % of the disc.
constexpr double kMuxOverhead = 1.03;
constexpr double kReservedShare = 0.01;
constexpr std::int64_t kMuxRate = 10'080'000;
constexpr std::int64_t kMaxVideo = 9'800'000;
// Above this average, more bits buy nothing a viewer sees.
constexpr std::int64_t kMaxAverageVideo = 8'000'000;

std::string clock(double seconds)
{
    const long s = std::lround(std::max(0.0, seconds));
    char text[32];
    std::snprintf(text, sizeof text, "%ld:%02ld:%02ld", s / 3600, s / 60 % 60, s % 60);
    return text;
}

std::string gigabytes(std::uint64_t bytes)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.1f GB", static_cast<double>(bytes) / 1e9);
    return text;
}

} // namespace

std::uint64_t ParseCapacity(const std::string& text)
{
    const Failure bad("Unknown disc capacity \"" + text + "\"",
                      "give it in decimal units between 0.1G and 20G, such as 4.7G or 8.5G");
    const char* begin = text.c_str();
    char* end = nullptr;
    const double number = std::strtod(begin, &end);
    // strtod also reads hexadecimal ("0x10G" would be 16 G), infinity and exponents.
    if (end == begin || !std::isdigit(static_cast<unsigned char>(*begin)) ||
        std::any_of(begin, static_cast<const char*>(end), [](char c) {
            return !std::isdigit(static_cast<unsigned char>(c)) && c != '.';
        }))
        throw bad;
    std::string unit(end);
    for (char& c : unit)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if (unit.ends_with('B'))
        unit.pop_back();
    const double scale = unit.empty()  ? 1
                         : unit == "K" ? 1e3
                         : unit == "M" ? 1e6
                         : unit == "G" ? 1e9
                                       : 0;
    const double bytes = number * scale;
    if (!(bytes >= 1e8 && bytes <= 2e10))
        throw bad;
    return static_cast<std::uint64_t>(bytes);
}

BitratePlan PlanBitrate(const std::vector<TitleInfo>& titles, std::uint64_t capacityBytes,
                        std::uint64_t menuBytes)
{
    BitratePlan plan;
    plan.capacityBytes = capacityBytes;
    double fixedBytes = 0;     // streams that are copied, and all sound
    double encodedSeconds = 0; // of the video that is encoded
    double encodedSoundRate = 0;
    std::int64_t loudest = 0;
    for (const TitleInfo& t : titles) {
        plan.totalSeconds += t.seconds;
        fixedBytes += t.seconds * static_cast<double>(t.audioBitRate) / 8;
        loudest = std::max(loudest, t.audioBitRate);
        if (t.copyVideo) {
            fixedBytes += t.seconds * static_cast<double>(t.videoBitRate) / 8;
        } else {
            encodedSeconds += t.seconds;
            encodedSoundRate += t.seconds * static_cast<double>(t.audioBitRate);
        }
    }
    plan.maxVideoBitRate = std::min<std::int64_t>(
        kMaxVideo, static_cast<std::int64_t>(kMuxRate / kMuxOverhead) - loudest);
    const double usable = (static_cast<double>(capacityBytes) * (1 - kReservedShare) -
                           static_cast<double>(menuBytes)) /
                          kMuxOverhead;
    const double left = usable - fixedBytes;
    if (encodedSeconds <= 0) {
        if (left < 0)
            throw Failure("The titles do not fit on the disc",
                          "they need about " +
                              gigabytes(static_cast<std::uint64_t>(fixedBytes * kMuxOverhead)) +
                              " of the " + gigabytes(capacityBytes));
        return plan;
    }
    const double rate = left * 8 / encodedSeconds;
    if (rate < static_cast<double>(kMinimumVideoBitRate)) {
        // Each encoded second costs the lowest watchable rate and its sound.
        const double perSecond =
            (static_cast<double>(kMinimumVideoBitRate) + encodedSoundRate / encodedSeconds) / 8;
        const double copiedSeconds = plan.totalSeconds - encodedSeconds;
        const double encodedFit =
            std::max(0.0, (usable - (fixedBytes - encodedSoundRate / 8)) / perSecond);
        throw Failure("The titles do not fit on a " + gigabytes(capacityBytes) + " disc",
                      "together they run " + clock(plan.totalSeconds) + "; about " +
                          clock(copiedSeconds + encodedFit) +
                          " would fit at a watchable quality (use fewer or shorter movies" +
                          (capacityBytes < kDualLayerBytes
                               ? std::string(", or a dual-layer disc with --capacity 8.5G)")
                               : std::string(")")));
    }
    plan.videoBitRate = std::min<std::int64_t>(
        {static_cast<std::int64_t>(rate), kMaxAverageVideo, plan.maxVideoBitRate});
    return plan;
}
