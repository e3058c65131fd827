#include "mediadecoder.h"

#include "base/memorybudget.h"

#include "displayorientation.h"
#include "ffmpegptr.h"
#include "mediaerror.h"
#include "movieinput.h"
#include "orientpicture.h"
#include "paddedrgbrows.h"
#include "sampleaspect.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libswscale/swscale.h>
}

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <limits>
#include <new>
#include <optional>
#include <stdexcept>

namespace {

constexpr AVRational kHundredNs{1, 10'000'000};
// Bytes read without one video packet after which the rest of a file counts as garbage.
constexpr std::int64_t kGarbageBytes = 4 * 1024 * 1024;

// Timestamps come from the file and may be anything a hostile muxer wrote; the
// arithmetic on them holds at the 64-bit limits instead of overflowing.
std::int64_t addSat(std::int64_t a, std::int64_t b)
{
    std::int64_t r;
    if (__builtin_add_overflow(a, b, &r))
        return b > 0 ? std::numeric_limits<std::int64_t>::max()
                     : std::numeric_limits<std::int64_t>::min();
    return r;
}

std::int64_t subSat(std::int64_t a, std::int64_t b)
{
    std::int64_t r;
    if (__builtin_sub_overflow(a, b, &r))
        return b < 0 ? std::numeric_limits<std::int64_t>::max()
                     : std::numeric_limits<std::int64_t>::min();
    return r;
}

// Longer movies are refused: 100 years in 100 ns units. Below it, times converted to
// stream ticks stay within 64 bits for any time base FFmpeg hands out (at most 2^31
// ticks a second).
constexpr std::int64_t kMaxDuration = 10'000'000LL * 60 * 60 * 24 * 366 * 100;

// Video packets of the stream, read without decoding; 0 when the file is too big or
// the count takes longer than the budget.
std::int64_t countPackets(const std::string& path, int streamIndex, int budgetMs)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(budgetMs);
    WorkBudget budget;
    budget.start(budgetMs);
    FormatPtr fmt = OpenMovieInput(path, budget);
    if (streamIndex >= static_cast<int>(fmt->nb_streams))
        return 0;
    for (unsigned i = 0; i < fmt->nb_streams; ++i)
        if (static_cast<int>(i) != streamIndex)
            fmt->streams[i]->discard = AVDISCARD_ALL;
    PacketPtr packet(MediaChecked(av_packet_alloc()));
    std::int64_t count = 0;
    std::int64_t lastAt = 0;
    for (std::uint32_t n = 1;; ++n) {
        if (av_read_frame(fmt.get(), packet.get()) < 0)
            break;
        if (packet->stream_index == streamIndex) {
            ++count;
            lastAt = avio_tell(fmt->pb);
        }
        av_packet_unref(packet.get());
        // Megabytes without a picture: garbage, which is not worth counting through.
        if (avio_tell(fmt->pb) - lastAt > kGarbageBytes)
            return 0;
        if ((n & 255) == 0 && std::chrono::steady_clock::now() > deadline)
            return 0;
    }
    return budget.expired() ? 0 : count; // an interrupted count is no count
}

bool isFullRangeFormat(int format)
{
    switch (format) {
    case AV_PIX_FMT_YUVJ420P:
    case AV_PIX_FMT_YUVJ422P:
    case AV_PIX_FMT_YUVJ444P:
    case AV_PIX_FMT_YUVJ440P:
    case AV_PIX_FMT_YUVJ411P:
        return true;
    default:
        return false;
    }
}

} // namespace

// How a movie's frames are found on its timeline; fixed when it is opened.
enum class Timeline {
    Indexed,  // seeks by the container's index or timestamps
    Searched, // MPEG program and transport streams: seeks search for timestamps, and
              // land on the first picture without the start code the parser needs;
              // rewinding reads the file from its first byte again
    Numbered, // elementary streams carry no timestamps (the demuxer's guesses ignore
              // frame reordering): frames are numbered as they come out, always
              // decoded from the start
};

// Where the decoder stands between packets read and frames given out.
enum class Phase {
    Lost,            // after a failure: the next request seeks afresh
    SkipToKeyPacket, // after a seek: packets before the next keyframe are not decoded
    SkipToKeyFrame,  // after a seek: decoded frames before the next keyframe are dropped
    Running,         // packets go in, frames come out in order
    DrainToKeyFrame, // no packets left while still waiting for a keyframe
    Draining,        // no packets left; the decoder gives out the frames it holds
    Ended,           // the decoder has given its last frame
};

struct MediaDecoder::State {
    std::string path;
    MediaLimits limits;
    WorkBudget budget; // before `fmt`, whose interrupt callback points here
    FormatPtr fmt;
    CodecPtr codec;
    SwsPtr sws;
    PaddedRgbRows padded;
    int swsColorspace = -1;
    int swsRange = -1;
    PacketPtr packet;
    FramePtr cur;                        // latest frame at or before the last target
    FramePtr next;                       // decoded lookahead, starting after the last target
    std::optional<std::int64_t> curPts;  // set while `cur` holds a frame
    std::optional<std::int64_t> nextPts; // set while `next` holds a frame
    Phase phase = Phase::Lost;
    Timeline timeline = Timeline::Indexed;
    int stream = -1;
    AVRational timeBase{1, 1};
    int width = 0;
    int height = 0;
    // The decoder's own frames (current, lookahead, references) held in the run's budget.
    std::optional<BudgetReservation> decoding;
    int shownWidth = 0; // width at the display shape (sample aspect ratio applied)
    Picture native;     // the frame at its coded size, when that differs from the shown one
    DisplayOrientation orientation; // how the shown frame is turned upright
    Picture shown;                  // the frame at its display shape before it is turned
    std::int64_t picturesDecoded = 0;
    std::int64_t frameCount = 0;
    std::int64_t duration = 0;
    double interval = 1;    // 100 ns per frame
    std::int64_t start = 0; // timestamp of the first frame, stream ticks
    std::int64_t intervalTicks = 1;
    std::int64_t tolerance = 1; // 100 ns units a frame may start after the target
    std::int64_t forwardWindow = 0;
    // The start a frame without a timestamp gets: the one after the frame before it,
    // the first frame's after a rewind, none after a seek (a frame left over in the
    // decoder from damaged data).
    std::int64_t guessPts = AV_NOPTS_VALUE;
    bool keyPackets = false; // the demuxer marks keyframe packets (seen past the first)
    // Longest distance between keyframes read in one go (ticks, 0 while unknown), and
    // the last keyframe read since the last seek.
    std::int64_t keyGap = 0;
    std::int64_t lastKeyPts = AV_NOPTS_VALUE;

    enum class Got { Frame, End, Aborted };

    // The frame's start in stream ticks, AV_NOPTS_VALUE when it has none and none can
    // be guessed.
    std::int64_t timestampOf(const AVFrame* f)
    {
        std::int64_t ts = AV_NOPTS_VALUE;
        if (timeline != Timeline::Numbered) {
            ts = f->best_effort_timestamp;
            if (ts == AV_NOPTS_VALUE)
                ts = f->pts;
        }
        if (ts == AV_NOPTS_VALUE)
            ts = guessPts;
        if (ts != AV_NOPTS_VALUE)
            guessPts = addSat(ts, intervalTicks);
        return ts;
    }

    void noteKeyPacket(const AVPacket* p)
    {
        if (p->stream_index != stream || !(p->flags & AV_PKT_FLAG_KEY) || p->pts == AV_NOPTS_VALUE)
            return;
        if (phase != Phase::SkipToKeyPacket && phase != Phase::SkipToKeyFrame && p->pts > start)
            keyPackets = true;
        if (lastKeyPts != AV_NOPTS_VALUE && p->pts > lastKeyPts)
            keyGap = std::max(keyGap, subSat(p->pts, lastKeyPts));
        lastKeyPts = p->pts;
    }

    // Reads packets until the decoder gives out a frame (any frame; dropping those
    // before a keyframe is the caller's part).
    Got receive(AVFrame* f, const std::atomic<bool>* abort)
    {
        for (;;) {
            if (budget.aborted() || (abort && abort->load(std::memory_order_relaxed)))
                return Got::Aborted;
            budget.check();
            switch (phase) {
            case Phase::Lost:
            case Phase::Ended:
                return Got::End;
            default:
                break;
            }
            int r = avcodec_receive_frame(codec.get(), f);
            if (r == 0) {
                ++picturesDecoded;
                return Got::Frame;
            }
            if (r == AVERROR_EOF) {
                phase = Phase::Ended;
                return Got::End;
            }
            if (r != AVERROR(EAGAIN))
                throw MediaError(r);
            switch (phase) {
            case Phase::Draining:
            case Phase::DrainToKeyFrame:
                phase = Phase::Ended;
                return Got::End;
            default:
                break;
            }
            r = av_read_frame(fmt.get(), packet.get());
            if (r == AVERROR_EXIT) {
                if (budget.aborted())
                    return Got::Aborted;
                budget.check();
            }
            if (r < 0) {
                // End of file or a read error (a truncated file): drain the decoder.
                phase = phase == Phase::Running ? Phase::Draining : Phase::DrainToKeyFrame;
                avcodec_send_packet(codec.get(), nullptr);
                continue;
            }
            noteKeyPacket(packet.get());
            if (packet->stream_index == stream) {
                // After a seek, pictures before the next keyframe cannot be decoded
                // right; skip them unread where the demuxer marks keyframes.
                if (phase == Phase::SkipToKeyPacket && (packet->flags & AV_PKT_FLAG_KEY))
                    phase = Phase::SkipToKeyFrame;
                if (phase != Phase::SkipToKeyPacket)
                    avcodec_send_packet(codec.get(), packet.get()); // damaged packets are skipped
            }
            av_packet_unref(packet.get());
        }
    }

    // Moves `cur` forward to the latest frame at or before `limit`, keeping the first
    // frame after it in `next`. False when aborted.
    bool decodeForward(std::int64_t limit, const std::atomic<bool>* abort)
    {
        for (;;) {
            if (nextPts) {
                if (*nextPts > limit)
                    return true;
                std::swap(cur, next);
                curPts = nextPts;
                nextPts.reset();
                continue;
            }
            const Got got = receive(next.get(), abort);
            if (got == Got::Aborted)
                return false;
            if (got == Got::End)
                return true;
            const bool waitingForKey =
                phase == Phase::SkipToKeyFrame || phase == Phase::DrainToKeyFrame;
            if (waitingForKey && !next->key_frame) {
                av_frame_unref(next.get());
                continue;
            }
            const std::int64_t ts = timestampOf(next.get());
            if (ts == AV_NOPTS_VALUE) {
                av_frame_unref(next.get());
                continue;
            }
            if (phase == Phase::SkipToKeyFrame)
                phase = Phase::Running;
            else if (phase == Phase::DrainToKeyFrame)
                phase = Phase::Draining;
            nextPts = ts;
        }
    }

    void resetDecoder(bool fromStart)
    {
        avcodec_flush_buffers(codec.get());
        av_frame_unref(cur.get());
        av_frame_unref(next.get());
        curPts.reset();
        nextPts.reset();
        guessPts = fromStart ? start : AV_NOPTS_VALUE;
        // Where the demuxer does not mark keyframes, every packet is decoded and the
        // damaged frames are dropped after decoding.
        phase = fromStart    ? Phase::Running
                : keyPackets ? Phase::SkipToKeyPacket
                             : Phase::SkipToKeyFrame;
        lastKeyPts = AV_NOPTS_VALUE;
    }

    // After a failure: no half-moved decoder stays behind.
    void lose()
    {
        curPts.reset();
        nextPts.reset();
        phase = Phase::Lost;
    }

    // Whether `cur` is the frame for `limit` already.
    bool holds(std::int64_t limit) const
    {
        if (!curPts || *curPts > limit)
            return false;
        if (nextPts)
            return *nextPts > limit;
        return phase == Phase::Ended;
    }

    void rewind()
    {
        if (timeline == Timeline::Indexed) {
            if (av_seek_frame(fmt.get(), stream, start, AVSEEK_FLAG_BACKWARD) >= 0)
                return;
            if (av_seek_frame(fmt.get(), stream, start, AVSEEK_FLAG_BACKWARD | AVSEEK_FLAG_ANY) >=
                0)
                return;
        }
        FormatPtr again = OpenMovieInput(path, budget);
        if (stream >= static_cast<int>(again->nb_streams) ||
            again->streams[stream]->codecpar->codec_type != AVMEDIA_TYPE_VIDEO)
            throw MediaError(AVERROR_STREAM_NOT_FOUND);
        for (unsigned i = 0; i < again->nb_streams; ++i)
            if (static_cast<int>(i) != stream)
                again->streams[i]->discard = AVDISCARD_ALL;
        fmt = std::move(again);
    }

    // Whether decoding on from `cur` reaches `limit` sooner than a seek would.
    bool decodeOnRatherThanSeek(std::int64_t limit) const
    {
        switch (phase) {
        case Phase::Lost:
        case Phase::Ended:
            return false;
        default:
            break;
        }
        if (!curPts || *curPts > limit)
            return false;
        AVStream* st = fmt->streams[stream];
        if (avformat_index_get_entries_count(st) > 0) {
            const AVIndexEntry* key =
                avformat_index_get_entry_from_timestamp(st, limit, AVSEEK_FLAG_BACKWARD);
            if (key && key->timestamp <= *curPts)
                return true; // no keyframe between here and the target
        }
        return subSat(limit, *curPts) <= forwardWindow;
    }

    bool seekAndDecode(std::int64_t limit, const std::atomic<bool>* abort)
    {
        std::int64_t back = std::max({forwardWindow, addSat(intervalTicks, intervalTicks), keyGap});
        std::int64_t seekTs = limit;
        // Without a real index (MPEG streams) a seek lands just before the target,
        // usually past the keyframe needed: aim a keyframe distance earlier.
        if (timeline == Timeline::Searched && keyGap > 0 && subSat(limit, start) > keyGap)
            seekTs = limit - keyGap;
        for (int attempt = 0;; ++attempt) {
            bool fromStart = timeline == Timeline::Numbered || seekTs <= start || attempt >= 8;
            if (!fromStart && av_seek_frame(fmt.get(), stream, seekTs, AVSEEK_FLAG_BACKWARD) < 0)
                fromStart = true;
            if (fromStart)
                rewind();
            resetDecoder(fromStart);
            if (!decodeForward(limit, abort))
                return false;
            if (curPts)
                return true;
            if (fromStart) {
                // The target lies before every frame: the first frame stands for it.
                if (!nextPts)
                    throw MediaError(AVERROR_INVALIDDATA);
                std::swap(cur, next);
                curPts = nextPts;
                nextPts.reset();
                return true;
            }
            // Landed after the target (no keyframe before it there): go further back.
            seekTs = limit > std::numeric_limits<std::int64_t>::min() + back ? limit - back : start;
            if (back < std::numeric_limits<std::int64_t>::max() / 2)
                back *= 2;
        }
    }

    void convert(const AVFrame* f, Picture& out)
    {
        if (f->width <= 0 || f->height <= 0)
            throw MediaError(AVERROR_INVALIDDATA);
        SwsContext* ctx = sws_getCachedContext(
            sws.get(), f->width, f->height, static_cast<AVPixelFormat>(f->format), width, height,
            AV_PIX_FMT_RGB24, SWS_BICUBIC, nullptr, nullptr, nullptr);
        if (!ctx)
            throw MediaError(AVERROR(EINVAL));
        if (ctx != sws.get()) {
            (void)sws.release(); // sws_getCachedContext freed the old context
            sws.reset(ctx);
            swsColorspace = swsRange = -1;
        }
        const int range =
            (f->color_range == AVCOL_RANGE_JPEG || isFullRangeFormat(f->format)) ? 1 : 0;
        const int colorspace = f->colorspace == AVCOL_SPC_BT709 ? SWS_CS_ITU709 : SWS_CS_DEFAULT;
        if (range != swsRange || colorspace != swsColorspace) {
            sws_setColorspaceDetails(ctx, sws_getCoefficients(colorspace), range,
                                     sws_getCoefficients(SWS_CS_DEFAULT), 1, 0, 1 << 16, 1 << 16);
            swsRange = range;
            swsColorspace = colorspace;
        }
        const bool turned = !orientation.isIdentity();
        Picture& coded = shownWidth != width || turned ? native : out;
        if (coded.width() != width || coded.height() != height)
            coded.reset(width, height);
        padded.convert(ctx, f, coded);
        if (shownWidth != width)
            ResizeToShownWidth(native, turned ? shown : out, shownWidth);
        if (turned)
            OrientPicture(shownWidth != width ? shown : native, out, orientation);
    }

    std::int64_t frameNumberOf(std::int64_t pts) const
    {
        const std::int64_t ticks = subSat(pts, start);
        const std::int64_t t = av_rescale_q(ticks, timeBase, kHundredNs);
        if (t == std::numeric_limits<std::int64_t>::min()) // beyond 64 bits
            return ticks > 0 ? frameCount - 1 : 0;
        const double n = std::round(static_cast<double>(t) / interval);
        return static_cast<std::int64_t>(std::clamp(n, 0.0, static_cast<double>(frameCount - 1)));
    }

    // Picks the video stream and opens its decoder; returns the stream's frame rate.
    AVRational openVideoStream()
    {
        const AVCodec* decoder = nullptr;
        stream = av_find_best_stream(fmt.get(), AVMEDIA_TYPE_VIDEO, -1, -1, &decoder, 0);
        if (stream < 0)
            throw MediaError(stream);
        AVStream* st = fmt->streams[stream];
        if (st->disposition & AV_DISPOSITION_ATTACHED_PIC)
            throw MediaError(AVERROR_STREAM_NOT_FOUND); // a cover picture is not a movie
        for (unsigned i = 0; i < fmt->nb_streams; ++i)
            if (static_cast<int>(i) != stream)
                fmt->streams[i]->discard = AVDISCARD_ALL;
        timeBase = st->time_base;
        // Raw elementary streams: positions found by the generic index, the length only
        // estimated from the bit rate.
        if ((fmt->iformat->flags & AVFMT_NOTIMESTAMPS) != 0 ||
            ((fmt->iformat->flags & AVFMT_GENERIC_INDEX) != 0 &&
             fmt->duration_estimation_method == AVFMT_DURATION_FROM_BITRATE))
            timeline = Timeline::Numbered;
        else if ((fmt->iformat->flags & AVFMT_TS_DISCONT) != 0)
            timeline = Timeline::Searched;
        if (timeBase.num <= 0 || timeBase.den <= 0)
            throw MediaError(AVERROR_INVALIDDATA);

        const AVCodecParameters* par = st->codecpar;
        if (par->width > limits.maxSide || par->height > limits.maxSide ||
            static_cast<std::uint64_t>(std::max(par->width, 0)) *
                    static_cast<std::uint64_t>(std::max(par->height, 0)) >
                limits.maxPixels)
            throw MediaError(AVERROR_INVALIDDATA);

        // About 8 bytes a pixel: the frames the decoder keeps plus ours, as measured on
        // MPEG-2 and H.264 with one thread, 3 for the conversion's padded rows and 3 more
        // for the frame as shown before it is turned upright. Reserved before anything is
        // decoded.
        orientation = ReadDisplayOrientation(st);
        const std::uint64_t perPixel = orientation.isIdentity() ? 11 : 14;
        decoding.emplace(static_cast<std::uint64_t>(std::max(par->width, 1)) *
                         static_cast<std::uint64_t>(std::max(par->height, 1)) * perPixel);
        codec.reset(MediaChecked(avcodec_alloc_context3(decoder)));
        int r = avcodec_parameters_to_context(codec.get(), par);
        if (r < 0)
            throw MediaError(r);
        codec->pkt_timebase = timeBase;
        codec->max_pixels =
            static_cast<std::int64_t>(std::min<std::uint64_t>(limits.maxPixels, INT64_MAX));
        // One thread: frame threads hold frames back, which every seek pays for, and the
        // dialog's worker already keeps decoding off the user-interface thread.
        codec->thread_count = 1;
        r = avcodec_open2(codec.get(), decoder, nullptr);
        if (r < 0)
            throw MediaError(r);

        packet.reset(MediaChecked(av_packet_alloc()));
        cur.reset(MediaChecked(av_frame_alloc()));
        next.reset(MediaChecked(av_frame_alloc()));
        return av_guess_frame_rate(fmt.get(), st, nullptr);
    }

    void readFirstFrame(AVRational rate, bool rateKnown)
    {
        AVStream* st = fmt->streams[stream];
        // First frame: proves the movie decodes and fixes where its timeline starts.
        resetDecoder(true);
        if (receive(next.get(), nullptr) != Got::Frame)
            throw MediaError(AVERROR_INVALIDDATA);
        budget.readLimit = WorkBudget::kUnlimited; // a whole movie is read from here on
        width = next->width;
        height = next->height;
        if (width <= 0 || height <= 0 || width > limits.maxSide || height > limits.maxSide ||
            static_cast<std::uint64_t>(width) * static_cast<std::uint64_t>(height) >
                limits.maxPixels)
            throw MediaError(AVERROR_INVALIDDATA);
        const AVRational sar = av_guess_sample_aspect_ratio(fmt.get(), st, next.get());
        shownWidth = ShownFrameWidth(width, sar.num, sar.den, limits.maxSide);
        std::int64_t first = timeline == Timeline::Numbered ? 0 : next->best_effort_timestamp;
        if (first == AV_NOPTS_VALUE)
            first = next->pts;
        if (first == AV_NOPTS_VALUE)
            first = st->start_time != AV_NOPTS_VALUE ? st->start_time : 0;
        start = first;
        if (rateKnown)
            intervalTicks = std::max<std::int64_t>(1, av_rescale_q(1, av_inv_q(rate), timeBase));
        guessPts = start;
        curPts = timestampOf(next.get());
        std::swap(cur, next);
    }

    // Frame count, duration and the tolerances derived from them.
    void measure(AVRational rate, bool rateKnown)
    {
        AVStream* st = fmt->streams[stream];
        // Frame count: the container's own number where it keeps one (AVI, MP4); else the
        // video packets counted (demuxers hand out whole frames; MPEG streams only estimate
        // their duration, and ASF's header may leave out the last frame); else, for big
        // files, duration x rate.
        std::int64_t lengthTicks =
            st->duration != AV_NOPTS_VALUE && st->duration > 0 ? st->duration : -1;
        std::int64_t length =
            lengthTicks > 0 ? av_rescale_q(lengthTicks, timeBase, kHundredNs)
            : fmt->duration != AV_NOPTS_VALUE && fmt->duration > 0
                ? av_rescale_q(fmt->duration, AVRational{1, AV_TIME_BASE}, kHundredNs)
                : -1;
        std::int64_t count = st->nb_frames > 0 ? st->nb_frames : 0;
        if (count <= 0) {
            const std::int64_t size = fmt->pb ? avio_size(fmt->pb) : -1;
            if (size >= 0 && size <= limits.countMaxBytes)
                count = countPackets(path, stream,
                                     std::min<int>(limits.countBudgetMs, budget.remainingMs()));
        }
        if (count <= 0 && length > 0)
            count = rateKnown ? av_rescale(length, rate.num, 10'000'000LL * rate.den) : 0;
        if (count <= 0 || count > kMaxDuration)
            throw MediaError(AVERROR_INVALIDDATA);
        frameCount = count;

        if (rateKnown)
            duration =
                av_rescale(frameCount, 10'000'000LL * rate.den, rate.num); // INT64_MIN past 64 bits
        else if (length > 0)
            duration = length;
        else if (frameCount <= kMaxDuration / 400'000)
            duration = frameCount * 400'000; // nothing to go by: 25 frames a second
        if (duration <= 0 || duration > kMaxDuration)
            throw MediaError(AVERROR_INVALIDDATA);
        interval = static_cast<double>(duration) / static_cast<double>(frameCount);
        if (!rateKnown)
            intervalTicks = std::max<std::int64_t>(
                1, av_rescale_q(static_cast<std::int64_t>(interval), kHundredNs, timeBase));

        // Targets are rounded to 100 ns, and container timestamps to their time base
        // (Matroska: 1 ms), so a frame may start a little after the exact target. A tick
        // is allowed where it is small against the frame interval; where the time base
        // counts whole frames (AVI) the timestamps are exact.
        const double tick = 1e7 * timeBase.num / timeBase.den;
        tolerance = 1 + (tick <= interval / 4 ? static_cast<std::int64_t>(std::ceil(tick)) : 0);
        forwardWindow =
            std::max<std::int64_t>(av_rescale_q(1, AVRational{1, 1}, timeBase), intervalTicks);
    }

    void open(const std::string& file, const MediaLimits& lim);
};

void MediaDecoder::State::open(const std::string& file, const MediaLimits& lim)
{
    path = file;
    limits = lim;
    budget.start(OpenBudgetMs(limits.timeBudgetMs));
    budget.readLimit = WorkBudget::kHeaderReadLimit;
    fmt = OpenMovieInput(path, budget);
    const AVRational rate = openVideoStream();
    // The frame rate decides the interval, the count (where the container has none)
    // and the duration; absurd rates count as unknown.
    const bool rateKnown =
        rate.num > 0 && rate.den > 0 && av_q2d(rate) >= 0.1 && av_q2d(rate) <= 1000;
    readFirstFrame(rate, rateKnown);
    measure(rate, rateKnown);
}

MediaDecoder::MediaDecoder() = default;
MediaDecoder::~MediaDecoder() = default;

void MediaDecoder::open(const std::string& path, const MediaLimits& limits)
{
    QuietFFmpeg();
    close();
    auto state = std::make_unique<State>();
    const auto began = std::chrono::steady_clock::now();
    try {
        state->open(path, limits);
    } catch (const std::bad_alloc&) {
        NoteFailedOpen(std::chrono::steady_clock::now() - began);
        throw MediaError(AVERROR(ENOMEM));
    } catch (...) {
        NoteFailedOpen(std::chrono::steady_clock::now() - began);
        throw;
    }
    m = std::move(state);
}

void MediaDecoder::close()
{
    m.reset();
}

bool MediaDecoder::isOpen() const
{
    return m != nullptr;
}

int MediaDecoder::videoWidth() const
{
    if (!m)
        return 0;
    return m->orientation.swapsSides() ? m->height : m->shownWidth;
}

int MediaDecoder::videoHeight() const
{
    if (!m)
        return 0;
    return m->orientation.swapsSides() ? m->shownWidth : m->height;
}

std::int64_t MediaDecoder::picturesDecoded() const
{
    return m ? m->picturesDecoded : 0;
}

std::int64_t MediaDecoder::frameCount() const
{
    return m ? m->frameCount : 0;
}

std::int64_t MediaDecoder::duration() const
{
    return m ? m->duration : 0;
}

bool MediaDecoder::decodeAt(std::int64_t time, Picture& out, std::int64_t* frameNumber,
                            const std::atomic<bool>* abort)
{
    if (!m)
        throw MediaError(AVERROR(EINVAL));
    State& s = *m;
    time = std::clamp<std::int64_t>(time, 0, s.duration + 1);
    const std::int64_t limit = addSat(
        s.start, av_rescale_q_rnd(time + s.tolerance, kHundredNs, s.timeBase, AV_ROUND_DOWN));
    s.budget.start(s.limits.timeBudgetMs, abort);
    try {
        bool done;
        if (s.holds(limit))
            done = true;
        else if (s.decodeOnRatherThanSeek(limit))
            done = s.decodeForward(limit, abort);
        else
            done = s.seekAndDecode(limit, abort);
        if (!done)
            return false;
        s.convert(s.cur.get(), out);
    } catch (...) {
        s.lose();
        if (s.budget.aborted())
            return false; // FFmpeg gave up at our request
        throw;
    }
    if (frameNumber)
        *frameNumber = s.frameNumberOf(*s.curPts);
    return true;
}

bool MediaDecoder::decodeKeyFrameNear(std::int64_t time, Picture& out, std::int64_t* frameNumber)
{
    if (!m)
        throw MediaError(AVERROR(EINVAL));
    State& s = *m;
    if (s.timeline != Timeline::Indexed)
        return decodeAt(time, out, frameNumber);
    time = std::clamp<std::int64_t>(time, 0, s.duration + 1);
    const std::int64_t limit = addSat(
        s.start, av_rescale_q_rnd(time + s.tolerance, kHundredNs, s.timeBase, AV_ROUND_DOWN));
    s.budget.start(s.limits.timeBudgetMs, nullptr);
    try {
        if (av_seek_frame(s.fmt.get(), s.stream, limit, AVSEEK_FLAG_BACKWARD) < 0) {
            s.lose();
            return decodeAt(time, out, frameNumber);
        }
        // The first frame fit to show after the seek is the keyframe it landed on.
        s.resetDecoder(false);
        if (!s.decodeForward(std::numeric_limits<std::int64_t>::min(), nullptr) || !s.nextPts) {
            s.lose();
            return decodeAt(time, out, frameNumber);
        }
        std::swap(s.cur, s.next);
        s.curPts = s.nextPts;
        s.nextPts.reset();
        s.convert(s.cur.get(), out);
    } catch (...) {
        s.lose();
        if (s.budget.aborted())
            return false;
        throw;
    }
    if (frameNumber)
        *frameNumber = s.frameNumberOf(*s.curPts);
    return true;
}
