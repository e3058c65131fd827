// The SubRip reader on arbitrary bytes: it either refuses them or gives cues within the
// limits, each running forwards, whose shown lines hold no control characters.
#include "subtitles/cuetext.h"
#include "subtitles/srtreader.h"

#include "base/failure.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

namespace {

void check(bool condition)
{
    if (!condition)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::size_t skipped = 0;
    std::vector<SubtitleCue> cues;
    try {
        cues = ParseSrt(std::string_view(reinterpret_cast<const char*>(data), size), skipped);
    } catch (const Failure&) {
        return 0;
    }
    check(!cues.empty() && cues.size() <= kMaxCuesPerTrack);
    for (const SubtitleCue& cue : cues) {
        check(cue.start >= 0 && cue.end > cue.start);
        check(cue.text.size() <= kMaxCueTextBytes);
        for (const CueMarkup markup : {CueMarkup::Srt, CueMarkup::Ass})
            for (const std::string& line : CueLines(cue.text, markup)) {
                check(!line.empty() && line.front() != ' ' && line.back() != ' ');
                for (const char c : line)
                    check(static_cast<unsigned char>(c) >= 0x20 && c != 0x7F);
            }
    }
    return 0;
}
