#include "titleinfo.h"

#include "discgeometry.h"
#include "titleinput.h"

#include "imageio/failure.h"
#include "imageio/fileio.h"
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

bool isDiscAudio(const AVCodecParameters* par)
{
    const int channels = par->ch_layout.nb_channels;
    if (par->sample_rate != 48000 || channels < 1)
        return false;
    if (par->codec_id == AV_CODEC_ID_AC3)
        return channels <= 6;
    return par->codec_id == AV_CODEC_ID_MP2 && channels <= 2;
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
    const double shown = static_cast<double>(par->width) * av_q2d(sar) / par->height;
    info.widescreen = IsWidescreen(shown);
    info.shape = ReadDisplayOrientation(video).swapsSides() ? 1 / shown : shown;
    info.copyVideo = isDiscVideo(fmt.get(), video, system, shown);
    if (info.copyVideo) {
        info.widescreen = shown > 1.5; // the stream's own flag, 4:3 or 16:9
        info.videoBitRate = par->bit_rate > 0 ? par->bit_rate : kMaxDiscVideoBitRate;
    }
    if (streams.audio >= 0) {
        const AVCodecParameters* sound = fmt->streams[streams.audio]->codecpar;
        info.copyAudio = isDiscAudio(sound);
        if (!info.copyAudio && !avcodec_find_decoder(sound->codec_id))
            throw Failure("Cannot make a title of " + FileNameOf(movie),
                          "its sound format is not supported");
        info.audioChannels = info.copyAudio                      ? sound->ch_layout.nb_channels
                             : sound->ch_layout.nb_channels >= 6 ? 6
                                                                 : 2;
        info.audioBitRate = info.copyAudio && sound->bit_rate > 0 ? sound->bit_rate
                            : info.audioChannels == 6             ? 448'000
                                                                  : 192'000;
    } else {
        info.audioBitRate = 192'000; // the silent stereo track
    }
    info.chapterStarts = chaptersOf(fmt.get(), info.seconds, chapterMinutes);
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
