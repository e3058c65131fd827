#include "timecode.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

int FramesPerSecond(double framesPerSecond)
{
    if (!std::isfinite(framesPerSecond) || framesPerSecond < 1)
        return 1;
    return static_cast<int>(std::min(1000.0, std::round(framesPerSecond)));
}

std::string FrameTimeCode(std::int64_t frame, int perSecond)
{
    perSecond = std::max(perSecond, 1);
    frame = std::max<std::int64_t>(frame, 0);
    const std::int64_t seconds = frame / perSecond;
    char text[48];
    std::snprintf(text, sizeof text, "%lld:%02lld:%02lld.%02lld",
                  static_cast<long long>(seconds / 3600), static_cast<long long>(seconds / 60 % 60),
                  static_cast<long long>(seconds % 60), static_cast<long long>(frame % perSecond));
    return text;
}

namespace {

// A year of seconds: more than any movie, and far from overflowing a frame count.
constexpr double kMaxSeconds = 366.0 * 24 * 3600;

std::string_view trimmed(std::string_view text)
{
    const auto blank = [](char c) { return c == ' ' || c == '\t'; };
    while (!text.empty() && blank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && blank(text.back()))
        text.remove_suffix(1);
    return text;
}

// A run of 1 to 9 digits.
std::optional<std::int64_t> digits(std::string_view text)
{
    if (text.empty() || text.size() > 9)
        return std::nullopt;
    std::int64_t value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9')
            return std::nullopt;
        value = value * 10 + (c - '0');
    }
    return value;
}

std::optional<std::int64_t> timeCode(std::string_view text, int perSecond)
{
    std::int64_t frames = 0;
    if (const std::size_t dot = text.rfind('.'); dot != std::string_view::npos) {
        const auto part = digits(text.substr(dot + 1));
        if (!part || *part >= perSecond)
            return std::nullopt;
        frames = *part;
        text = text.substr(0, dot);
    }
    std::int64_t seconds = 0;
    int fields = 0;
    while (!text.empty() || fields == 0) {
        const std::size_t colon = text.find(':');
        const auto part = digits(text.substr(0, colon));
        if (!part || ++fields > 3)
            return std::nullopt;
        seconds = seconds * 60 + *part;
        text = colon == std::string_view::npos ? std::string_view() : text.substr(colon + 1);
        if (colon != std::string_view::npos && text.empty())
            return std::nullopt; // "1:"
    }
    if (seconds > kMaxSeconds)
        return std::nullopt;
    return seconds * perSecond + frames;
}

std::optional<std::int64_t> secondsOf(std::string_view text, double framesPerSecond)
{
    if (text.ends_with('s'))
        text = trimmed(text.substr(0, text.size() - 1));
    const std::size_t dot = text.find('.');
    const auto whole = digits(text.substr(0, dot));
    std::string_view fraction =
        dot == std::string_view::npos ? std::string_view() : text.substr(dot + 1);
    if (!whole || (dot != std::string_view::npos && fraction.empty()))
        return std::nullopt;
    double seconds = static_cast<double>(*whole);
    double scale = 0.1;
    for (const char c : fraction) {
        if (c < '0' || c > '9')
            return std::nullopt;
        seconds += (c - '0') * scale;
        scale /= 10;
    }
    if (seconds > kMaxSeconds || !std::isfinite(framesPerSecond) || framesPerSecond <= 0)
        return std::nullopt;
    return static_cast<std::int64_t>(std::floor(seconds * framesPerSecond + 1e-3));
}

} // namespace

std::optional<std::int64_t> ParseFramePosition(std::string_view text, int perSecond,
                                               double framesPerSecond)
{
    text = trimmed(text);
    if (text.size() > 40)
        return std::nullopt;
    if (text.find(':') != std::string_view::npos)
        return timeCode(text, std::max(perSecond, 1));
    return secondsOf(text, framesPerSecond);
}
