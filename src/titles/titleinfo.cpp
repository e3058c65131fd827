#include "titleinfo.h"

#include "discgeometry.h"
#include "fieldorder.h"
#include "languagecode.h"
#include "titleinput.h"

#include "base/failure.h"
#include "base/fileio.h"
#include "thumbs/displayorientation.h"
#include "thumbs/mediaerror.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

#include <algorithm>
#include <chrono>
#include <cmath>

namespace {

// A player's chapter list holds at most 99 entries per title.
constexpr std::size_t kMaxChapters = 99;
// Chapters closer than this to each other or to the end are of no use to a viewer.
constexpr double kMinChapterSeconds = 1.0;
// DVD video tops out at 9.8 Mb/s; a stream claiming more is re-encoded.
constexpr std::int64_t kMaxDiscVideoBitRate = 9'800'000;
// A player's AC-3 decoder takes up to 448 kb/s.
constexpr std::int64_t kMaxDiscAc3BitRate = 448'000;

double lengthOf(const AVFormatContext* fmt, const AVStream* video)
{
    if (fmt->duration != AV_NOPTS_VALUE && fmt->duration > 0)
        return static_cast<double>(fmt->duration) / AV_TIME_BASE;
    if (video->duration != AV_NOPTS_VALUE && video->duration > 0)
        return static_cast<double>(video->duration) * av_q2d(video->time_base);
    return 0;
}

bool isDiscVideo(const AVFormatContext* fmt, const AVStream* st, DiscSystem system, double shown)
{
    const AVCodecParameters* par = st->codecpar;
    const DiscFrame frame = DiscFrameOf(system);
    const AVRational rate =
        av_guess_frame_rate(const_cast<AVFormatContext*>(fmt), const_cast<AVStream*>(st), nullptr);
    const bool shapeIsDisc =
        std::abs(shown - 4.0 / 3.0) < 0.01 || std::abs(shown - 16.0 / 9.0) < 0.01;
    return par->codec_id == AV_CODEC_ID_MPEG2VIDEO && par->width == frame.width &&
           par->height == frame.height && av_cmp_q(rate, frame.rate) == 0 &&
           (par->format == AV_PIX_FMT_YUV420P || par->format == AV_PIX_FMT_NONE) && shapeIsDisc &&
           par->bit_rate <= kMaxDiscVideoBitRate;
}

// AC-3 up to what a player decodes; MPEG-1 Layer II only as a PAL title's one track (a
// player numbers the two kinds alike, and an NTSC disc must have AC-3).
bool isDiscAudio(const AVCodecParameters* par, DiscSystem system, bool alone)
{
    const int channels = par->ch_layout.nb_channels;
    if (par->sample_rate != 48000 || channels < 1)
        return false;
    if (par->codec_id == AV_CODEC_ID_AC3)
        return channels <= 6 && par->bit_rate > 0 && par->bit_rate <= kMaxDiscAc3BitRate;
    return par->codec_id == AV_CODEC_ID_MP2 && channels <= 2 && alone && system == DiscSystem::Pal;
}

// Every sound track a player can switch to, as it goes onto the disc. Throws Failure when
// the default track cannot be decoded; another such track is left out.
void readSound(const AVFormatContext* fmt, const std::vector<int>& streams, DiscSystem system,
               TitleInfo& info)
{
    const std::size_t kept = std::min<std::size_t>(streams.size(), kMaxSoundTracks);
    bool inOrder = kept == streams.size();
    for (std::size_t i = 0; i < kept; ++i) {
        const AVStream* st = fmt->streams[streams[i]];
        const AVCodecParameters* sound = st->codecpar;
        TitleAudio a;
        a.stream = streams[i];
        a.copy = isDiscAudio(sound, system, kept == 1);
        if (!a.copy &&
            (!avcodec_find_decoder(sound->codec_id) || sound->ch_layout.nb_channels < 1)) {
            if (i == 0)
                throw Failure("Cannot make a title of " + FileNameOf(info.movie),
                              "its sound format is not supported");
            inOrder = false;
            continue;
        }
        a.channels = a.copy                              ? sound->ch_layout.nb_channels
                     : sound->ch_layout.nb_channels >= 6 ? 6
                                                         : 2;
        a.bitRate = a.copy ? sound->bit_rate : a.channels == 6 ? 448'000 : 192'000;
        if (const AVDictionaryEntry* e = av_dict_get(st->metadata, "language", nullptr, 0))
            a.language = DiscLanguageCode(e->value);
        inOrder = inOrder && (i == 0 || a.stream > info.audio.back().stream);
        info.audioBitRate += a.bitRate;
        info.audio.push_back(std::move(a));
    }
    info.copyAudio = !info.audio.empty() && inOrder &&
                     std::all_of(info.audio.begin(), info.audio.end(),
                                 [](const TitleAudio& a) { return a.copy; });
    if (info.audio.empty())
        info.audioBitRate = 192'000; // the silent stereo track
}

std::vector<double> chaptersOf(const AVFormatContext* fmt, double seconds, int chapterMinutes)
{
    std::vector<double> starts{0};
    const double origin =
        fmt->start_time != AV_NOPTS_VALUE ? static_cast<double>(fmt->start_time) / AV_TIME_BASE : 0;
    auto add = [&](double at) {
        if (at - starts.back() >= kMinChapterSeconds && seconds - at >= kMinChapterSeconds &&
            starts.size() < kMaxChapters)
            starts.push_back(at);
    };
    std::vector<double> own;
    for (unsigned i = 0; i < fmt->nb_chapters; ++i) {
        const AVChapter* c = fmt->chapters[i];
        if (c->time_base.num > 0 && c->time_base.den > 0)
            own.push_back(static_cast<double>(c->start) * av_q2d(c->time_base) - origin);
    }
    std::sort(own.begin(), own.end());
    for (double at : own)
        add(at);
    if (starts.size() == 1 && chapterMinutes > 0)
        for (double at = 60.0 * chapterMinutes; at < seconds; at += 60.0 * chapterMinutes)
            add(at);
    return starts;
}

TitleInfo probe(const std::string& movie, DiscSystem system, int chapterMinutes)
{
    WorkBudget budget;
    FormatPtr fmt = OpenTitleMovie(movie, budget);
    const TitleStreams streams = FindTitleStreams(fmt.get());
    const AVStream* video = fmt->streams[streams.video];
    const AVCodecParameters* par = video->codecpar;
    if (par->width <= 0 || par->height <= 0)
        throw MediaError(AVERROR_INVALIDDATA);

    TitleInfo info;
    info.movie = movie;
    info.seconds = lengthOf(fmt.get(), video);
    if (!(info.seconds > 0) || info.seconds > 24.0 * 3600)
        throw Failure("Cannot make a title of " + FileNameOf(movie),
                      "its length cannot be read from the file");
    AVRational sar = av_guess_sample_aspect_ratio(fmt.get(), const_cast<AVStream*>(video), nullptr);
    if (sar.num <= 0 || sar.den <= 0)
        sar = AVRational{1, 1};
    double shown = static_cast<double>(par->width) * av_q2d(sar) / par->height;
    // A phone's sideways pictures are shown, and so framed, upright.
    const DisplayOrientation turn = ReadDisplayOrientation(video);
    if (turn.swapsSides())
        shown = 1 / shown;
    info.widescreen = IsWidescreen(shown);
    info.copyVideo = turn.isIdentity() && isDiscVideo(fmt.get(), video, system, shown);
    info.shape = shown; // upright
    if (info.copyVideo) {
        info.widescreen = shown > 1.5; // the stream's own flag, 4:3 or 16:9
        info.videoBitRate = par->bit_rate > 0 ? par->bit_rate : kMaxDiscVideoBitRate;
    }
    readSound(fmt.get(), streams.audio, system, info);
    info.chapterStarts = chaptersOf(fmt.get(), info.seconds, chapterMinutes);
    if (!info.copyVideo)
        info.fields = ReadFieldOrder(fmt.get(), streams.video);
    return info;
}

} // namespace

TitleInfo ProbeTitle(const std::string& movie, DiscSystem system, int chapterMinutes)
{
    const auto began = std::chrono::steady_clock::now();
    try {
        return probe(movie, system, chapterMinutes);
    } catch (const std::exception& e) {
        NoteFailedOpen(std::chrono::steady_clock::now() - began);
        ThrowTitleFailure(movie, e);
    }
}
