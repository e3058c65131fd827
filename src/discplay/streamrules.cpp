#include "streamrules.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {

constexpr double kVideoPeak = 9.8e6;
constexpr double kMuxRate = 10.08e6;
constexpr int kMaxAudioTracks = 8;

std::string Format(const char* format, double a, double b = 0, double c = 0)
{
    char text[160];
    std::snprintf(text, sizeof text, format, a, b, c);
    return text;
}

std::string Clock(double seconds)
{
    const long s = std::lround(std::max(0.0, seconds));
    char text[32];
    std::snprintf(text, sizeof text, "%ld:%02ld:%02ld", s / 3600, s / 60 % 60, s % 60);
    return text;
}

bool LegalSize(const VideoFacts& v, bool pal)
{
    const int full = pal ? 576 : 480;
    if (v.height == full)
        return v.width == 720 || v.width == 704 || v.width == 352;
    return v.height == full / 2 && v.width == 352;
}

void JudgeFormat(const VideoFacts& v, const StreamExpectation& e, std::vector<std::string>& out)
{
    if (v.mpegVersion != 2 && !(v.mpegVersion == 1 && v.width == 352))
        out.push_back("video format: MPEG-" + std::to_string(v.mpegVersion) +
                      " (a DVD takes MPEG-2, or MPEG-1 at 352 wide)");
    if (!LegalSize(v, e.pal))
        out.push_back("picture size: " + std::to_string(v.width) + "x" + std::to_string(v.height) +
                      " (a " + (e.pal ? "PAL" : "NTSC") + " DVD takes 720, 704 or 352 by " +
                      (e.pal ? "576" : "480") + ")");
    if (v.frameRateCode != (e.pal ? 3 : 4))
        out.push_back(std::string("frame rate: not ") + (e.pal ? "25" : "29.97") +
                      " frames a second (rate code " + std::to_string(v.frameRateCode) + ")");
    if (v.headersChange)
        out.push_back("video format: the size, rate or shape changes within the stream");
}

void JudgeGops(const VideoFacts& v, const StreamExpectation& e, std::vector<std::string>& out)
{
    const int longest = e.pal ? 15 : 18;
    if (v.longestGop > longest)
        out.push_back("GOP length: " + std::to_string(v.longestGop) + " frames at " +
                      Clock(v.longestGopAt) + " (" + (e.pal ? "PAL" : "NTSC") + " allows " +
                      std::to_string(longest) + ")");
    if (!v.openCells.empty())
        out.push_back("closed GOP at cell start: cell " + std::to_string(v.openCells.front()) +
                      " opens on pictures that lean on the cell before" +
                      (v.openCells.size() > 1
                           ? " (and " + std::to_string(v.openCells.size() - 1) + " more)"
                           : ""));
    if (v.peakBitRate > kVideoPeak)
        out.push_back(
            Format("video bit rate: %.2f Mb/s over the second from ", v.peakBitRate / 1e6) +
            Clock(v.peakBitRateAt) + " (at most 9.8)");
}

void JudgeAudio(const StreamFacts& f, const StreamExpectation& e, std::vector<std::string>& out)
{
    if (f.audio.size() > kMaxAudioTracks)
        out.push_back("audio tracks: " + std::to_string(f.audio.size()) + " (a DVD holds 8)");
    bool playable = false;
    for (std::size_t i = 0; i < f.audio.size(); ++i) {
        const AudioFacts& a = f.audio[i];
        const std::string track = "audio track " + std::to_string(i + 1) + ": ";
        playable = playable || a.ac3OrLpcm;
        if (!a.dvdCodec)
            out.push_back(track + a.codec + " (a DVD plays AC-3, MPEG audio, LPCM or DTS)");
        else if (a.sampleRate == 0)
            out.push_back(track + a.codec + " that cannot be decoded");
        else if (a.sampleRate != 48000 && !(a.codec == "LPCM" && a.sampleRate == 96000))
            out.push_back(track + Format("%g kHz", a.sampleRate / 1000.0) +
                          " (a DVD plays 48 kHz)");
    }
    if (!e.pal && !f.audio.empty() && !playable)
        out.push_back("NTSC audio: no AC-3 or LPCM track (NTSC players need not play the rest)");
}

// The picture is placed in the frame at its movie's shape: as wide as the frame allows,
// with bars above and below or at the sides. A picture that reaches beyond that place is
// stretched, squeezed or on its side; one that keeps inside it may carry the movie's own
// bars, which is no fault.
void JudgeShape(const VideoFacts& v, const StreamExpectation& e, std::vector<std::string>& out)
{
    const int flagged = v.aspectCode == 3 ? 3 : v.aspectCode == 2 ? 2 : 0;
    if (flagged == 0)
        out.push_back("shape flag: aspect code " + std::to_string(v.aspectCode) +
                      " (a DVD takes 4:3 or 16:9)");
    else if ((flagged == 3) != e.wide)
        out.push_back(std::string("shape flag: the stream says ") +
                      (flagged == 3 ? "16:9" : "4:3") + ", the disc's tables " +
                      (e.wide ? "16:9" : "4:3"));
    if (flagged == 3 && v.width == 352)
        out.push_back("shape flag: 16:9 at 352 wide (a DVD takes 16:9 at full width only)");
    if (flagged == 0 || e.sourceShape <= 0 || v.activeRight <= v.activeLeft || v.width <= 0 ||
        v.height <= 0)
        return;
    const double frame = flagged == 3 ? 16.0 / 9 : 4.0 / 3;
    const double width = std::min(1.0, e.sourceShape / frame);
    const double height = std::min(1.0, frame / e.sourceShape);
    const double activeWidth = static_cast<double>(v.activeRight - v.activeLeft) / v.width;
    const double activeHeight = static_cast<double>(v.activeBottom - v.activeTop) / v.height;
    const double shown = frame * activeWidth / activeHeight;
    // Slack for the encoder's rounding and soft edges: real faults are a third or more.
    constexpr double kSlack = 1.1;
    if (activeWidth > width * kSlack || activeHeight > height * kSlack)
        out.push_back(
            Format("picture shape: it shows at %.2f:1, its movie is %.2f:1", shown, e.sourceShape) +
            ((shown < 1) != (e.sourceShape < 1) ? " (on its side)"
             : shown > e.sourceShape            ? " (stretched)"
                                                : " (squeezed)"));
}

void JudgeInterlace(const VideoFacts& v, std::vector<std::string>& out)
{
    if (v.progressiveSequence && v.interlacedPictures > 0)
        out.push_back("interlace flags: a progressive sequence holds " +
                      std::to_string(v.interlacedPictures) + " interlaced pictures");
    // A few combed pictures can be a flash or a cut; a fifth of them is the encoding.
    if (v.combedProgressive >= 2 && v.combedProgressive * 5 >= v.sampledProgressive)
        out.push_back("interlace flags: " + std::to_string(v.combedProgressive) + " of " +
                      std::to_string(v.sampledProgressive) +
                      " sampled pictures flagged progressive comb like woven fields");
    // Fields shown in the wrong order make every movement judder back and forth.
    if (v.fieldOrderWrong >= 2 && v.fieldOrderWrong * 2 > v.fieldOrderPairs)
        out.push_back("interlace flags: the fields move in the order opposite their flag in " +
                      std::to_string(v.fieldOrderWrong) + " of " +
                      std::to_string(v.fieldOrderPairs) + " sampled pictures");
}

std::string Summary(const StreamFacts& f)
{
    const VideoFacts& v = f.video;
    std::string text = "MPEG-" + std::to_string(v.mpegVersion) + " " + std::to_string(v.width) +
                       "x" + std::to_string(v.height) + (v.aspectCode == 3 ? " 16:9" : " 4:3") +
                       ", GOPs up to " + std::to_string(v.longestGop) +
                       Format(", video peak %.1f Mb/s, mux %.2f Mb/s", v.peakBitRate / 1e6,
                              std::max(f.peakMuxRate, f.muxRateField) / 1e6);
    if (!f.audio.empty())
        text += ", " + std::to_string(f.audio.size()) + " audio (" + f.audio[0].codec +
                Format(" %g kHz", f.audio[0].sampleRate / 1000.0) +
                (f.audio.size() > 1 ? "...)" : ")");
    if (f.subpictures > 0)
        text += ", " + std::to_string(f.subpictures) + " subpicture";
    return text;
}

} // namespace

StreamVerdict JudgeStream(const StreamFacts& facts, const StreamExpectation& expected)
{
    StreamVerdict verdict;
    std::vector<std::string>& out = verdict.faults;
    if (!facts.error.empty())
        out.push_back("stream: " + facts.error);
    else if (!facts.video.found)
        out.push_back("video format: no MPEG video");
    if (facts.timedOut)
        out.push_back("time: the check ran out of time " + Clock(facts.seconds) + " into it");
    if (facts.video.found) {
        JudgeFormat(facts.video, expected, out);
        JudgeGops(facts.video, expected, out);
        JudgeShape(facts.video, expected, out);
        JudgeInterlace(facts.video, out);
    }
    // The declared rate is exact; the rate measured from the pack clock may run a pack or
    // two over in its worst second where a muxer rounds the clock (seen with copied DVD
    // streams at 10.09), which no player's buffer notices.
    constexpr double kMeasuredSlack = 4 * 2048 * 8;
    if (facts.muxRateField > kMuxRate || facts.peakMuxRate > kMuxRate + kMeasuredSlack)
        out.push_back(Format("mux rate: %.2f Mb/s (at most 10.08)",
                             std::max(facts.peakMuxRate, facts.muxRateField) / 1e6));
    JudgeAudio(facts, expected, out);
    if (facts.video.found)
        verdict.summary = Summary(facts);
    return verdict;
}
