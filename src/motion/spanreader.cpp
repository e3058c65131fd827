#include "spanreader.h"

#include "planeturn.h"

#include "thumbs/displayorientation.h"
#include "thumbs/mediaerror.h"
#include "thumbs/movieinput.h"
#include "titles/colourmatrix.h"

extern "C" {
#include <libavformat/avformat.h>
}

#include <algorithm>
#include <cmath>

namespace {

constexpr int kOpenBudgetMs = 10'000;
constexpr int kMaxSide = 16384;
constexpr std::int64_t kMaxPixels = 64LL * 1024 * 1024;
// Pictures waiting per movie: a second's worth at thumbnail size, so that the decoders
// run freely past each other's keyframes, but no more than about a megabyte per movie
// (a few pictures of a full-frame background).
constexpr std::size_t kQueueBytes = 1024 * 1024;
constexpr std::size_t kQueueMin = 4;
constexpr std::size_t kQueueMax = 25;

std::size_t queuePictures(int width, int height)
{
    const std::size_t bytes = static_cast<std::size_t>(width) * height * 3 / 2;
    return std::clamp<std::size_t>(kQueueBytes / std::max<std::size_t>(bytes, 1), kQueueMin,
                                   kQueueMax);
}

int evenDown(double v)
{
    return std::max(2, static_cast<int>(v) / 2 * 2);
}

bool isFullRange(const AVFrame* f)
{
    return f->format == AV_PIX_FMT_YUVJ420P || f->format == AV_PIX_FMT_YUVJ422P ||
           f->format == AV_PIX_FMT_YUVJ444P || f->color_range == AVCOL_RANGE_JPEG;
}

// High-definition sources are BT.709 unless they say otherwise; a disc is BT.601.
bool isBt709(const AVFrame* f)
{
    return f->colorspace == AVCOL_SPC_BT709 ||
           (f->colorspace == AVCOL_SPC_UNSPECIFIED && f->height >= 720);
}

FramePtr newPicture(int width, int height)
{
    FramePtr f(MediaChecked(av_frame_alloc()));
    f->format = AV_PIX_FMT_YUV420P;
    f->width = width;
    f->height = height;
    MediaCheck(av_frame_get_buffer(f.get(), 0));
    return f;
}

} // namespace

struct SpanReader::Movie {
    WorkBudget budget; // before the input: its interrupt callback points here
    FormatPtr input;
    int stream = -1;
    AVRational timeBase{1, 1};
    std::int64_t origin = 0; // the start, in the stream's ticks
    CodecPtr decoder;
    SwsPtr sws;
    int swsRange = -1;
    DisplayOrientation orientation;
    int width = 0; // upright, as placed in the area
    int height = 0;
    PacketPtr packet;
    FramePtr decoded;
    FramePtr held; // the latest decoded picture, until a later one takes its slots
    std::int64_t heldSlot = 0;
    int loopBase = 0;          // the slot this pass of the movie started at
    bool reachedStart = false; // this pass decoded a picture at or after the start
};

SpanReader::SpanReader(Settings settings)
    : m_settings(std::move(settings)),
      m_queueLimit(queuePictures(m_settings.areaWidth, m_settings.areaHeight))
{
    m_thread = std::thread([this] { work(); });
}

SpanReader::~SpanReader()
{
    {
        std::lock_guard hold(m_lock);
        m_stop = true;
    }
    m_changed.notify_all();
    m_thread.join();
}

FramePtr SpanReader::next()
{
    std::unique_lock hold(m_lock);
    const bool ready = m_changed.wait_until(hold, m_settings.deadline,
                                            [&] { return !m_queue.empty() || m_failure; });
    if (m_failure)
        std::rethrow_exception(m_failure);
    if (!ready)
        throw MediaError(AVERROR_EXIT, "The movie took too long to decode");
    FramePtr picture = std::move(m_queue.front());
    m_queue.pop_front();
    m_changed.notify_all();
    return picture;
}

bool SpanReader::stopping()
{
    std::lock_guard hold(m_lock);
    return m_stop;
}

namespace {

void openDecoder(SpanReader::Settings& s, AVStream* st, CodecPtr& decoder)
{
    const AVCodecParameters* par = st->codecpar;
    if (par->width <= 0 || par->height <= 0 || par->width > kMaxSide || par->height > kMaxSide)
        throw MediaError(AVERROR_INVALIDDATA);
    const AVCodec* codec = avcodec_find_decoder(par->codec_id);
    if (!codec)
        throw MediaError(AVERROR_DECODER_NOT_FOUND);
    decoder.reset(MediaChecked(avcodec_alloc_context3(codec)));
    MediaCheck(avcodec_parameters_to_context(decoder.get(), par));
    decoder->pkt_timebase = st->time_base;
    decoder->max_pixels = kMaxPixels;
    decoder->thread_count = s.decoderThreads;
    decoder->thread_type = FF_THREAD_FRAME | FF_THREAD_SLICE;
    // A thumbnail a fraction of the movie's size shows nothing of the deblocking, and
    // decoders that can decode at a half or a quarter of the size save the rest.
    const int shrink =
        std::min(par->width / std::max(1, s.areaWidth), par->height / std::max(1, s.areaHeight));
    if (shrink >= 2) {
        decoder->skip_loop_filter = AVDISCARD_ALL;
        decoder->flags2 |= AV_CODEC_FLAG2_FAST;
    }
    int lowres = 0;
    while (lowres < codec->max_lowres && (shrink >> (lowres + 1)) >= 1)
        ++lowres;
    decoder->lowres = lowres;
    MediaCheck(avcodec_open2(decoder.get(), codec, nullptr));
}

} // namespace

void SpanReader::work()
{
    try {
        Movie m;
        QuietFFmpeg();
        m.budget.start(OpenBudgetMs(kOpenBudgetMs));
        m.budget.readLimit = WorkBudget::kHeaderReadLimit;
        m.input = OpenMovieInput(m_settings.movie, m.budget);
        m.budget.deadline = m_settings.deadline;
        m.budget.readLimit = WorkBudget::kUnlimited;
        m.stream = av_find_best_stream(m.input.get(), AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
        if (m.stream < 0 || (m.input->streams[m.stream]->disposition & AV_DISPOSITION_ATTACHED_PIC))
            throw MediaError(AVERROR_STREAM_NOT_FOUND);
        AVStream* st = m.input->streams[m.stream];
        openDecoder(m_settings, st, m.decoder);
        m.timeBase = st->time_base;
        m.orientation = ReadDisplayOrientation(st);
        place(m, st);
        m.packet.reset(MediaChecked(av_packet_alloc()));
        m.decoded.reset(MediaChecked(av_frame_alloc()));
        decodeSpan(m);
    } catch (...) {
        std::lock_guard hold(m_lock);
        m_failure = std::current_exception();
    }
    m_changed.notify_all();
}

// The movie's upright display shape fitted inside the area (or filling it), centred on
// even pixels as 4:2:0 pictures need.
void SpanReader::place(Movie& m, AVStream* st)
{
    AVRational sar = av_guess_sample_aspect_ratio(m.input.get(), st, nullptr);
    if (sar.num <= 0 || sar.den <= 0)
        sar = AVRational{1, 1};
    double shownWidth = st->codecpar->width * av_q2d(sar);
    double shownHeight = st->codecpar->height;
    if (m.orientation.swapsSides())
        std::swap(shownWidth, shownHeight);
    const int areaWidth = m_settings.areaWidth;
    const int areaHeight = m_settings.areaHeight;
    m.width = areaWidth;
    m.height = areaHeight;
    if (!m_settings.stretch) {
        const double scale = std::min(areaWidth / shownWidth, areaHeight / shownHeight);
        m.width = std::min(areaWidth, evenDown(shownWidth * scale + 1));
        m.height = std::min(areaHeight, evenDown(shownHeight * scale + 1));
    }
    m_left = (areaWidth - m.width) / 4 * 2;
    m_top = (areaHeight - m.height) / 4 * 2;
    const std::int64_t first = st->start_time != AV_NOPTS_VALUE ? st->start_time : 0;
    const AVRational fps = av_guess_frame_rate(m.input.get(), st, nullptr);
    if (m_settings.startFrame >= 0 && fps.num > 0 && fps.den > 0)
        m.origin = first + av_rescale_q(m_settings.startFrame, av_inv_q(fps), m.timeBase);
    else
        m.origin = first + av_rescale_q(std::llround(m_settings.startSeconds * AV_TIME_BASE),
                                        AV_TIME_BASE_Q, m.timeBase);
}

namespace {

// Back to the span's start; false when the movie cannot seek (it then holds its last
// picture).
bool seekTo(AVFormatContext* input, int stream, AVCodecContext* decoder, std::int64_t at)
{
    if (av_seek_frame(input, stream, at, AVSEEK_FLAG_BACKWARD) < 0 &&
        av_seek_frame(input, stream, at, AVSEEK_FLAG_BACKWARD | AVSEEK_FLAG_ANY) < 0)
        return false;
    avcodec_flush_buffers(decoder);
    return true;
}

} // namespace

void SpanReader::decodeSpan(Movie& m)
{
    const int frames = m_settings.frames;
    if (m.origin > 0)
        seekTo(m.input.get(), m.stream, m.decoder.get(), m.origin);
    int passPictures = 0;
    while (m_slot < frames) {
        if (stopping())
            return;
        m.budget.check();
        const int r = av_read_frame(m.input.get(), m.packet.get());
        if (r >= 0 && m.packet->stream_index != m.stream) {
            av_packet_unref(m.packet.get());
            continue;
        }
        // A damaged packet is skipped; the pictures around it still decode.
        avcodec_send_packet(m.decoder.get(), r >= 0 ? m.packet.get() : nullptr);
        av_packet_unref(m.packet.get());
        while (avcodec_receive_frame(m.decoder.get(), m.decoded.get()) == 0) {
            arrive(m);
            ++passPictures;
        }
        if (r >= 0)
            continue;
        if (r != AVERROR_EOF && r != AVERROR(EAGAIN))
            m.budget.check(); // a read cut short by the deadline says so
        if (!m.held)
            throw MediaError(AVERROR_EOF);
        // The end of the movie: its last picture takes its slot, then the span plays
        // again; a movie of a single picture, one that ends before the start, or one that
        // cannot seek holds it.
        emit(m, std::min(frames, m_slot + 1));
        const bool again = passPictures > 1 && m.reachedStart &&
                           seekTo(m.input.get(), m.stream, m.decoder.get(), m.origin);
        if (!again) {
            emit(m, frames);
            return;
        }
        m.held.reset();
        m.reachedStart = false;
        m.loopBase = m_slot;
        passPictures = 0;
    }
}

// A decoded picture takes the slots from its time on; the one before it shows until then.
void SpanReader::arrive(Movie& m)
{
    std::int64_t ts = m.decoded->best_effort_timestamp;
    if (ts == AV_NOPTS_VALUE)
        ts = m.decoded->pts;
    std::int64_t slot = m.held ? m.heldSlot + 1 : m.loopBase;
    if (ts != AV_NOPTS_VALUE) {
        const double seconds = static_cast<double>(ts - m.origin) * av_q2d(m.timeBase);
        slot = m.loopBase + std::llround(std::max(0.0, seconds) * av_q2d(m_settings.rate));
        m.reachedStart = m.reachedStart || seconds >= 0;
    }
    if (m.held && slot > m_slot)
        emit(m, static_cast<int>(std::min<std::int64_t>(slot, m_settings.frames)));
    FramePtr picture(MediaChecked(av_frame_alloc()));
    av_frame_move_ref(picture.get(), m.decoded.get());
    m.held = std::move(picture);
    m.heldSlot = slot;
}

void SpanReader::emit(Movie& m, int untilSlot)
{
    if (m_slot >= untilSlot)
        return;
    const FramePtr shown = toArea(m, m.held.get());
    for (; m_slot < untilSlot; ++m_slot) {
        FramePtr copy(MediaChecked(av_frame_alloc()));
        MediaCheck(av_frame_ref(copy.get(), shown.get()));
        std::unique_lock hold(m_lock);
        m_changed.wait(hold, [&] { return m_queue.size() < m_queueLimit || m_stop; });
        if (m_stop)
            return;
        m_queue.push_back(std::move(copy));
        m_changed.notify_all();
    }
}

// Scaled once to its place (before the turn, with the sides the turn swaps) by area
// averaging: fine detail does not shimmer, and at a tenth of the size it costs less than
// swscale's bilinear filter. Then re-expressed as BT.601 at that small size, and turned.
FramePtr SpanReader::toArea(Movie& m, const AVFrame* decoded)
{
    const bool swaps = m.orientation.swapsSides();
    const int width = swaps ? m.height : m.width;
    const int height = swaps ? m.width : m.height;
    SwsContext* ctx = sws_getCachedContext(
        m.sws.get(), decoded->width, decoded->height, static_cast<AVPixelFormat>(decoded->format),
        width, height, AV_PIX_FMT_YUV420P, SWS_AREA, nullptr, nullptr, nullptr);
    if (!ctx)
        throw MediaError(AVERROR(EINVAL));
    if (ctx != m.sws.get()) {
        (void)m.sws.release(); // sws_getCachedContext freed the old context
        m.sws.reset(ctx);
        m.swsRange = -1;
    }
    const int fullRange = isFullRange(decoded) ? 1 : 0;
    if (fullRange != m.swsRange) {
        const int* table = sws_getCoefficients(SWS_CS_ITU601);
        sws_setColorspaceDetails(ctx, table, fullRange, table, 0, 0, 1 << 16, 1 << 16);
        m.swsRange = fullRange;
    }
    FramePtr scaled = newPicture(width, height);
    sws_scale(ctx, decoded->data, decoded->linesize, 0, decoded->height, scaled->data,
              scaled->linesize);
    if (isBt709(decoded))
        Bt709ToBt601(scaled->data[0], scaled->linesize[0], scaled->data[1], scaled->data[2],
                     scaled->linesize[1], width, height);
    if (m.orientation.isIdentity())
        return scaled;
    FramePtr upright = newPicture(m.width, m.height);
    for (int plane = 0; plane < 3; ++plane) {
        const int shift = plane == 0 ? 0 : 1;
        TurnPlane(scaled->data[plane], scaled->linesize[plane], width >> shift, height >> shift,
                  upright->data[plane], upright->linesize[plane], m.orientation.clockwise,
                  m.orientation.flipHorizontal);
    }
    return upright;
}
