#include "srtreader.h"

#include "base/failure.h"
#include "base/fileio.h"

#include <cstdio>

namespace {

void appendUtf8(std::string& out, std::uint32_t c)
{
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

bool validUtf8(std::string_view s)
{
    for (std::size_t i = 0; i < s.size();) {
        const auto c = static_cast<unsigned char>(s[i]);
        const std::size_t n = c < 0x80         ? 1
                              : (c >> 5) == 6  ? 2
                              : (c >> 4) == 14 ? 3
                              : (c >> 3) == 30 ? 4
                                               : 0;
        if (n == 0 || i + n > s.size())
            return false;
        for (std::size_t k = 1; k < n; ++k)
            if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80)
                return false;
        i += n;
    }
    return true;
}

std::string fromUtf16(std::string_view s, bool bigEndian)
{
    std::string out;
    for (std::size_t i = 0; i + 1 < s.size(); i += 2) {
        const auto a = static_cast<unsigned char>(s[i]);
        const auto b = static_cast<unsigned char>(s[i + 1]);
        std::uint32_t unit = bigEndian ? (a << 8 | b) : (b << 8 | a);
        if (unit >= 0xD800 && unit < 0xDC00 && i + 3 < s.size()) {
            const auto c = static_cast<unsigned char>(s[i + 2]);
            const auto d = static_cast<unsigned char>(s[i + 3]);
            const std::uint32_t low = bigEndian ? (c << 8 | d) : (d << 8 | c);
            if (low >= 0xDC00 && low < 0xE000) {
                unit = 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00);
                i += 2;
            }
        }
        appendUtf8(out, unit >= 0xD800 && unit < 0xE000 ? 0xFFFD : unit);
    }
    return out;
}

// The text as UTF-8 whatever it came as.
std::string decodeText(std::string_view bytes)
{
    if (bytes.starts_with("\xEF\xBB\xBF"))
        bytes.remove_prefix(3);
    else if (bytes.starts_with("\xFF\xFE") || bytes.starts_with("\xFE\xFF"))
        return fromUtf16(bytes.substr(2), bytes[0] == '\xFE');
    if (bytes.find('\0') != std::string_view::npos)
        throw Failure("it is not a subtitle file", "it holds binary data");
    if (validUtf8(bytes))
        return std::string(bytes);
    std::string out; // older files are Latin-1
    for (const char c : bytes)
        appendUtf8(out, static_cast<unsigned char>(c));
    return out;
}

// "00:01:02,345" (hours of one to three digits, ',' or '.'), in seconds; negative when
// `text` at `at` is no time.
double readTime(std::string_view text, std::size_t& at)
{
    int fields[4] = {0, 0, 0, 0};
    const int widths[4] = {3, 2, 2, 3};
    for (int f = 0; f < 4; ++f) {
        int digits = 0;
        while (at < text.size() && text[at] >= '0' && text[at] <= '9' && digits < widths[f]) {
            fields[f] = fields[f] * 10 + (text[at++] - '0');
            ++digits;
        }
        if (digits == 0 || (f == 1 || f == 2 ? digits != 2 || fields[f] > 59 : false))
            return -1;
        if (f == 3) {
            for (; digits < 3; ++digits)
                fields[3] *= 10; // "1,5" is half a second
            break;
        }
        const char separator = f == 2 ? ',' : ':';
        if (at >= text.size() || (text[at] != separator && !(f == 2 && text[at] == '.')))
            return -1;
        ++at;
    }
    return fields[0] * 3600.0 + fields[1] * 60.0 + fields[2] + fields[3] / 1000.0;
}

// A timing line "start --> end [position]".
bool readTiming(std::string_view line, double& start, double& end)
{
    std::size_t at = line.find_first_not_of(' ');
    if (at == std::string_view::npos || (start = readTime(line, at)) < 0)
        return false;
    at = line.find_first_not_of(' ', at);
    if (at == std::string_view::npos || line.substr(at, 3) != "-->")
        return false;
    at = line.find_first_not_of(' ', at + 3);
    return at != std::string_view::npos && (end = readTime(line, at)) >= 0;
}

std::vector<std::string_view> splitLines(std::string_view text)
{
    std::vector<std::string_view> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find_first_of("\r\n", start);
        if (end == std::string_view::npos)
            end = text.size();
        lines.push_back(text.substr(start, end - start));
        start = end + (text.substr(end).starts_with("\r\n") ? 2 : 1);
    }
    return lines;
}

bool blank(std::string_view line)
{
    return line.find_first_not_of(" \t") == std::string_view::npos;
}

} // namespace

std::vector<SubtitleCue> ParseSrt(std::string_view bytes, std::size_t& skipped)
{
    const std::string text = decodeText(bytes);
    const std::vector<std::string_view> lines = splitLines(text);
    std::vector<SubtitleCue> cues;
    skipped = 0;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        SubtitleCue cue;
        if (!readTiming(lines[i], cue.start, cue.end))
            continue; // a cue number, or a stray line between cues
        // The text runs to a blank line, or to the next cue where a file forgot it.
        for (++i; i < lines.size() && !blank(lines[i]); ++i) {
            double s, e;
            if (readTiming(lines[i], s, e)) {
                --i;
                break;
            }
            if (cue.text.size() + lines[i].size() < kMaxCueTextBytes) {
                if (!cue.text.empty())
                    cue.text += '\n';
                cue.text.append(lines[i]);
            }
        }
        if (cue.end <= cue.start || cues.size() >= kMaxCuesPerTrack)
            ++skipped;
        else
            cues.push_back(std::move(cue));
    }
    if (cues.empty())
        throw Failure("it holds no subtitles",
                      skipped ? "every cue ends before it starts" : "no line gives a cue's times");
    return cues;
}

std::vector<SubtitleCue> ReadSrtFile(const std::string& path, std::size_t& skipped)
{
    const std::string name = FileNameOf(path);
    try {
        std::uint64_t size = 0;
        OpenRegularFile(path, &size);
        if (size > kMaxSrtBytes) {
            char megabytes[32];
            std::snprintf(megabytes, sizeof megabytes, "%.1f", size / 1048576.0);
            throw FileError("", std::string("it is ") + megabytes +
                                    " MB, more than a subtitle file holds (" +
                                    std::to_string(kMaxSrtBytes >> 20) + " MB)");
        }
        return ParseSrt(ReadWholeFile(path, kMaxSrtBytes), skipped);
    } catch (const FileError& e) {
        throw Failure("Cannot read the subtitles " + name, e.reason(), e.systemError());
    } catch (const Failure& e) {
        throw Failure("Cannot read the subtitles " + name, e.text() + " (" + e.detail() + ")");
    }
}
