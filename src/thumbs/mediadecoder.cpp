#include "mediadecoder.h"

#include "mediaerror.h"
#include "sampleaspect.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libswscale/swscale.h>
}

#include <algorithm>
#include <chrono>
#include <cmath>
#include <limits>
#include <mutex>
#include <stdexcept>

namespace {

constexpr AVRational kHundredNs{1, 10'000'000};

struct FormatCloser {
    void operator()(AVFormatContext* p) const { avformat_close_input(&p); }
};
struct CodecCloser {
    void operator()(AVCodecContext* p) const { avcodec_free_context(&p); }
};
struct FrameFreer {
    void operator()(AVFrame* p) const { av_frame_free(&p); }
};
struct PacketFreer {
    void operator()(AVPacket* p) const { av_packet_free(&p); }
};
struct SwsFreer {
    void operator()(SwsContext* p) const { sws_freeContext(p); }
};

using FormatPtr = std::unique_ptr<AVFormatContext, FormatCloser>;
using CodecPtr = std::unique_ptr<AVCodecContext, CodecCloser>;
using FramePtr = std::unique_ptr<AVFrame, FrameFreer>;
using PacketPtr = std::unique_ptr<AVPacket, PacketFreer>;
using SwsPtr = std::unique_ptr<SwsContext, SwsFreer>;

FormatPtr openInput(const std::string& path)
{
    AVFormatContext* raw = nullptr;
    int r = avformat_open_input(&raw, path.c_str(), nullptr, nullptr);
    if (r < 0)
        throw MediaError(r);
    FormatPtr fmt(raw);
    r = avformat_find_stream_info(raw, nullptr);
    if (r < 0)
        throw MediaError(r);
    return fmt;
}

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

template <typename T> T* checked(T* p)
{
    if (!p)
        throw MediaError(AVERROR(ENOMEM));
    return p;
}

// Video packets of the stream, read without decoding; 0 when the file is too big or
// the count takes longer than the budget.
std::int64_t countPackets(const std::string& path, int streamIndex, int budgetMs)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(budgetMs);
    FormatPtr fmt = openInput(path);
    if (streamIndex >= static_cast<int>(fmt->nb_streams))
        return 0;
    for (unsigned i = 0; i < fmt->nb_streams; ++i)
        if (static_cast<int>(i) != streamIndex)
            fmt->streams[i]->discard = AVDISCARD_ALL;
    PacketPtr packet(checked(av_packet_alloc()));
    std::int64_t count = 0;
    for (std::uint32_t n = 1;; ++n) {
        if (av_read_frame(fmt.get(), packet.get()) < 0)
            break;
        if (packet->stream_index == streamIndex)
            ++count;
        av_packet_unref(packet.get());
        if ((n & 255) == 0 && std::chrono::steady_clock::now() > deadline)
            return 0;
    }
    return count;
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

struct MediaDecoder::State {
    std::string path;
    MediaLimits limits;
    FormatPtr fmt;
    CodecPtr codec;
    SwsPtr sws;
    int swsColorspace = -1;
    int swsRange = -1;
    PacketPtr packet;
    FramePtr cur;  // latest frame at or before the last target
    FramePtr next; // decoded lookahead, starting after the last target
    int stream = -1;
    AVRational timeBase{1, 1};
    int width = 0;
    int height = 0;
    int shownWidth = 0; // width at the display shape (sample aspect ratio applied)
    Picture native;     // the frame at its coded size, when that differs from the shown one
    std::int64_t frameCount = 0;
    std::int64_t duration = 0;
    double interval = 1;    // 100 ns per frame
    std::int64_t start = 0; // timestamp of the first frame, stream ticks
    std::int64_t intervalTicks = 1;
    std::int64_t tolerance = 1; // 100 ns units a frame may start after the target
    std::int64_t forwardWindow = 0;
    std::int64_t curPts = 0;
    std::int64_t nextPts = 0;
    std::int64_t lastPts = 0;
    bool haveLast = false;
    bool curValid = false;
    bool nextValid = false;
    bool eof = false;        // the decoder has given its last frame
    bool inputEnded = false; // no packets left; the decoder is being drained
    bool needKey = false;    // after a seek, frames before a keyframe are damaged
    bool fromStartSinceReset = true;
    bool keyPackets = false; // the demuxer marks keyframe packets (seen past the first)
    bool skipToKeyPacket = false;
    // Longest distance between keyframes read in one go (ticks, 0 while unknown), and
    // the last keyframe read since the last seek.
    std::int64_t keyGap = 0;
    std::int64_t lastKeyPts = AV_NOPTS_VALUE;
    // Elementary streams carry no timestamps (the demuxer's guesses ignore frame
    // reordering): frames are numbered as they come out, always from the start.
    bool synthetic = false;
    bool reopenToRewind = false; // seeking to the start can lose the first keyframe

    enum class Got { Frame, End, Aborted };

    // The frame's start in stream ticks; a frame without one follows the frame before
    // it, or opens the movie. AV_NOPTS_VALUE when neither holds (a frame left over
    // in the decoder after a seek into damaged data).
    std::int64_t timestampOf(const AVFrame* f)
    {
        std::int64_t ts = synthetic ? AV_NOPTS_VALUE : f->best_effort_timestamp;
        if (ts == AV_NOPTS_VALUE && !synthetic)
            ts = f->pts;
        if (ts == AV_NOPTS_VALUE) {
            if (haveLast)
                ts = addSat(lastPts, intervalTicks);
            else if (fromStartSinceReset)
                ts = start;
            else
                return AV_NOPTS_VALUE;
        }
        lastPts = ts;
        haveLast = true;
        return ts;
    }

    Got receive(AVFrame* f, const std::atomic<bool>* abort)
    {
        for (;;) {
            if (abort && abort->load(std::memory_order_relaxed))
                return Got::Aborted;
            int r = avcodec_receive_frame(codec.get(), f);
            if (r == 0)
                return Got::Frame;
            if (r == AVERROR_EOF)
                return Got::End;
            if (r != AVERROR(EAGAIN))
                throw MediaError(r);
            if (inputEnded)
                return Got::End;
            r = av_read_frame(fmt.get(), packet.get());
            if (r >= 0 && packet->stream_index == stream && (packet->flags & AV_PKT_FLAG_KEY) &&
                packet->pts != AV_NOPTS_VALUE) {
                if (!needKey && packet->pts > start)
                    keyPackets = true;
                if (lastKeyPts != AV_NOPTS_VALUE && packet->pts > lastKeyPts)
                    keyGap = std::max(keyGap, subSat(packet->pts, lastKeyPts));
                lastKeyPts = packet->pts;
            }
            if (r < 0) {
                // End of file or a read error (a truncated file): drain the decoder.
                inputEnded = true;
                avcodec_send_packet(codec.get(), nullptr);
                continue;
            }
            // After a seek, pictures before the next keyframe cannot be decoded right;
            // skip them unread where the demuxer marks keyframes.
            if (packet->stream_index == stream) {
                if (packet->flags & AV_PKT_FLAG_KEY)
                    skipToKeyPacket = false;
                if (!(skipToKeyPacket && keyPackets))
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
            if (nextValid) {
                if (nextPts > limit)
                    return true;
                std::swap(cur, next);
                curPts = nextPts;
                curValid = true;
                nextValid = false;
                continue;
            }
            if (eof)
                return true;
            const Got got = receive(next.get(), abort);
            if (got == Got::Aborted)
                return false;
            if (got == Got::End) {
                eof = true;
                return true;
            }
            if (needKey && !next->key_frame) {
                av_frame_unref(next.get());
                continue;
            }
            const std::int64_t ts = timestampOf(next.get());
            if (ts == AV_NOPTS_VALUE) {
                av_frame_unref(next.get());
                continue;
            }
            needKey = false;
            nextPts = ts;
            nextValid = true;
        }
    }

    void resetDecoder(bool fromStart)
    {
        avcodec_flush_buffers(codec.get());
        av_frame_unref(cur.get());
        av_frame_unref(next.get());
        curValid = nextValid = eof = inputEnded = haveLast = false;
        needKey = skipToKeyPacket = !fromStart;
        lastKeyPts = AV_NOPTS_VALUE;
        fromStartSinceReset = fromStart;
    }

    void rewind()
    {
        // MPEG program and transport streams find positions by searching for
        // timestamps, and land on the first picture without the start code the
        // parser needs; reading the file from its first byte again is safe.
        if (!reopenToRewind) {
            if (av_seek_frame(fmt.get(), stream, start, AVSEEK_FLAG_BACKWARD) >= 0)
                return;
            if (av_seek_frame(fmt.get(), stream, start, AVSEEK_FLAG_BACKWARD | AVSEEK_FLAG_ANY) >=
                0)
                return;
        }
        FormatPtr again = openInput(path);
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
        if (!curValid || eof || curPts > limit)
            return false;
        AVStream* st = fmt->streams[stream];
        if (avformat_index_get_entries_count(st) > 0) {
            const AVIndexEntry* key =
                avformat_index_get_entry_from_timestamp(st, limit, AVSEEK_FLAG_BACKWARD);
            if (key && key->timestamp <= curPts)
                return true; // no keyframe between here and the target
        }
        return subSat(limit, curPts) <= forwardWindow;
    }

    bool seekAndDecode(std::int64_t limit, const std::atomic<bool>* abort)
    {
        std::int64_t back = std::max({forwardWindow, addSat(intervalTicks, intervalTicks), keyGap});
        std::int64_t seekTs = limit;
        // Without a real index (MPEG streams) a seek lands just before the target,
        // usually past the keyframe needed: aim a keyframe distance earlier.
        if (reopenToRewind && keyGap > 0 && subSat(limit, start) > keyGap)
            seekTs = limit - keyGap;
        for (int attempt = 0;; ++attempt) {
            bool fromStart = synthetic || seekTs <= start || attempt >= 8;
            if (!fromStart && av_seek_frame(fmt.get(), stream, seekTs, AVSEEK_FLAG_BACKWARD) < 0)
                fromStart = true;
            if (fromStart)
                rewind();
            resetDecoder(fromStart);
            if (!decodeForward(limit, abort))
                return false;
            if (curValid)
                return true;
            if (fromStart) {
                // The target lies before every frame: the first frame stands for it.
                if (!nextValid)
                    throw MediaError(AVERROR_INVALIDDATA);
                std::swap(cur, next);
                curPts = nextPts;
                curValid = true;
                nextValid = false;
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
        Picture& coded = shownWidth != width ? native : out;
        if (coded.width() != width || coded.height() != height)
            coded.reset(width, height);
        std::uint8_t* dst[4] = {coded.data(), nullptr, nullptr, nullptr};
        int dstStride[4] = {static_cast<int>(coded.stride()), 0, 0, 0};
        sws_scale(ctx, f->data, f->linesize, 0, f->height, dst, dstStride);
        if (&coded != &out)
            ResizeToShownWidth(native, out, shownWidth);
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

    void open(const std::string& file, const MediaLimits& lim);
};

void MediaDecoder::State::open(const std::string& file, const MediaLimits& lim)
{
    path = file;
    limits = lim;
    fmt = openInput(path);
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
    synthetic = (fmt->iformat->flags & AVFMT_NOTIMESTAMPS) != 0 ||
                ((fmt->iformat->flags & AVFMT_GENERIC_INDEX) != 0 &&
                 fmt->duration_estimation_method == AVFMT_DURATION_FROM_BITRATE);
    reopenToRewind = synthetic || (fmt->iformat->flags & AVFMT_TS_DISCONT) != 0;
    if (timeBase.num <= 0 || timeBase.den <= 0)
        throw MediaError(AVERROR_INVALIDDATA);

    const AVCodecParameters* par = st->codecpar;
    if (par->width > limits.maxSide || par->height > limits.maxSide ||
        static_cast<std::uint64_t>(std::max(par->width, 0)) *
                static_cast<std::uint64_t>(std::max(par->height, 0)) >
            limits.maxPixels)
        throw MediaError(AVERROR_INVALIDDATA);

    codec.reset(checked(avcodec_alloc_context3(decoder)));
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

    packet.reset(checked(av_packet_alloc()));
    cur.reset(checked(av_frame_alloc()));
    next.reset(checked(av_frame_alloc()));

    // The frame rate decides the interval, the count (where the container has none)
    // and the duration; absurd rates count as unknown.
    const AVRational rate = av_guess_frame_rate(fmt.get(), st, nullptr);
    const bool rateKnown =
        rate.num > 0 && rate.den > 0 && av_q2d(rate) >= 0.1 && av_q2d(rate) <= 1000;

    // First frame: proves the movie decodes and fixes where its timeline starts.
    resetDecoder(true);
    if (receive(next.get(), nullptr) != Got::Frame)
        throw MediaError(AVERROR_INVALIDDATA);
    width = next->width;
    height = next->height;
    if (width <= 0 || height <= 0 || width > limits.maxSide || height > limits.maxSide ||
        static_cast<std::uint64_t>(width) * static_cast<std::uint64_t>(height) > limits.maxPixels)
        throw MediaError(AVERROR_INVALIDDATA);
    const AVRational sar = av_guess_sample_aspect_ratio(fmt.get(), st, next.get());
    shownWidth = ShownFrameWidth(width, sar.num, sar.den, limits.maxSide);
    std::int64_t first = synthetic ? 0 : next->best_effort_timestamp;
    if (first == AV_NOPTS_VALUE)
        first = next->pts;
    if (first == AV_NOPTS_VALUE)
        first = st->start_time != AV_NOPTS_VALUE ? st->start_time : 0;
    start = first;
    if (rateKnown)
        intervalTicks = std::max<std::int64_t>(1, av_rescale_q(1, av_inv_q(rate), timeBase));
    curPts = timestampOf(next.get());
    std::swap(cur, next);
    curValid = true;

    // Frame count: the container's own number where it keeps one (AVI, MP4); else the
    // video packets counted (demuxers hand out whole frames; MPEG streams only estimate
    // their duration, and ASF's header may leave out the last frame); else, for big
    // files, duration x rate.
    std::int64_t lengthTicks =
        st->duration != AV_NOPTS_VALUE && st->duration > 0 ? st->duration : -1;
    std::int64_t length = lengthTicks > 0 ? av_rescale_q(lengthTicks, timeBase, kHundredNs)
                          : fmt->duration != AV_NOPTS_VALUE && fmt->duration > 0
                              ? av_rescale_q(fmt->duration, AVRational{1, AV_TIME_BASE}, kHundredNs)
                              : -1;
    std::int64_t count = st->nb_frames > 0 ? st->nb_frames : 0;
    if (count <= 0) {
        const std::int64_t size = fmt->pb ? avio_size(fmt->pb) : -1;
        if (size >= 0 && size <= limits.countMaxBytes)
            count = countPackets(path, stream, limits.countBudgetMs);
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

MediaDecoder::MediaDecoder() = default;
MediaDecoder::~MediaDecoder() = default;

void MediaDecoder::open(const std::string& path, const MediaLimits& limits)
{
    // Damaged movies make FFmpeg talk on standard error; failures reach the caller
    // as MediaError instead.
    static std::once_flag quiet;
    std::call_once(quiet, [] { av_log_set_level(AV_LOG_FATAL); });
    close();
    auto state = std::make_unique<State>();
    try {
        state->open(path, limits);
    } catch (const std::bad_alloc&) {
        throw MediaError(AVERROR(ENOMEM));
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
    return m ? m->shownWidth : 0;
}

int MediaDecoder::videoHeight() const
{
    return m ? m->height : 0;
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
    try {
        bool done;
        if (s.curValid && s.curPts <= limit &&
            ((s.nextValid && s.nextPts > limit) || (!s.nextValid && s.eof)))
            done = true;
        else if (s.decodeOnRatherThanSeek(limit))
            done = s.decodeForward(limit, abort);
        else
            done = s.seekAndDecode(limit, abort);
        if (!done)
            return false;
        s.convert(s.cur.get(), out);
    } catch (...) {
        // Leave no half-moved decoder behind: the next request seeks afresh.
        s.curValid = s.nextValid = false;
        s.eof = true;
        throw;
    }
    if (frameNumber)
        *frameNumber = s.frameNumberOf(s.curPts);
    return true;
}

bool MediaDecoder::decodeKeyFrameNear(std::int64_t time, Picture& out, std::int64_t* frameNumber)
{
    if (!m)
        throw MediaError(AVERROR(EINVAL));
    State& s = *m;
    if (s.synthetic || s.reopenToRewind)
        return decodeAt(time, out, frameNumber);
    time = std::clamp<std::int64_t>(time, 0, s.duration + 1);
    const std::int64_t limit = addSat(
        s.start, av_rescale_q_rnd(time + s.tolerance, kHundredNs, s.timeBase, AV_ROUND_DOWN));
    if (av_seek_frame(s.fmt.get(), s.stream, limit, AVSEEK_FLAG_BACKWARD) < 0)
        return decodeAt(time, out, frameNumber);
    try {
        // The first frame fit to show after the seek is the keyframe it landed on.
        s.resetDecoder(false);
        if (!s.decodeForward(std::numeric_limits<std::int64_t>::min(), nullptr) || !s.nextValid) {
            s.curValid = false;
            s.eof = true;
            return decodeAt(time, out, frameNumber);
        }
        std::swap(s.cur, s.next);
        s.curPts = s.nextPts;
        s.curValid = true;
        s.nextValid = false;
        s.convert(s.cur.get(), out);
    } catch (...) {
        s.curValid = s.nextValid = false;
        s.eof = true;
        throw;
    }
    if (frameNumber)
        *frameNumber = s.frameNumberOf(s.curPts);
    return true;
}
