#include "videotranscoder.h"

#include "colourmatrix.h"
#include "mpeg2settings.h"

#include "thumbs/mediaerror.h"

extern "C" {
#include <libavutil/imgutils.h>
#include <libavutil/opt.h>
#include <libswscale/swscale.h>
}

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

constexpr int kMaxSide = 16384;
constexpr std::int64_t kMaxPixels = 64LL * 1024 * 1024;
constexpr double kMaxTitleSeconds = 24.0 * 3600;

int even(double v)
{
    return std::max(2, static_cast<int>(std::lround(v / 2)) * 2);
}

bool isFullRange(const AVFrame* f)
{
    switch (f->format) {
    case AV_PIX_FMT_YUVJ420P:
    case AV_PIX_FMT_YUVJ422P:
    case AV_PIX_FMT_YUVJ444P:
        return true;
    default:
        return f->color_range == AVCOL_RANGE_JPEG;
    }
}

// High-definition sources are BT.709 unless they say otherwise; a disc is BT.601.
bool isBt709(const AVFrame* f)
{
    return f->colorspace == AVCOL_SPC_BT709 ||
           (f->colorspace == AVCOL_SPC_UNSPECIFIED && f->height >= 720);
}

void paintBlack(AVFrame* f, int x, int y, int w, int h)
{
    for (int plane = 0; plane < 3; ++plane) {
        const int shift = plane == 0 ? 0 : 1;
        const std::uint8_t value = plane == 0 ? 16 : 128;
        const int px = x >> shift, py = y >> shift, pw = w >> shift, ph = h >> shift;
        const int width = f->width >> shift, height = f->height >> shift;
        for (int row = 0; row < height; ++row) {
            std::uint8_t* line =
                f->data[plane] + static_cast<std::ptrdiff_t>(row) * f->linesize[plane];
            if (row < py || row >= py + ph) {
                std::memset(line, value, static_cast<std::size_t>(width));
            } else {
                std::memset(line, value, static_cast<std::size_t>(px));
                std::memset(line + px + pw, value, static_cast<std::size_t>(width - px - pw));
            }
        }
    }
}

} // namespace

VideoTranscoder::VideoTranscoder(AVFormatContext* fmt, int stream, const Settings& settings,
                                 Sink sink)
    : m_settings(settings), m_frame(DiscFrameOf(settings.system)), m_sink(std::move(sink)),
      m_chapters(settings.chapterStarts, m_frame.rate)
{
    AVStream* st = fmt->streams[stream];
    m_inTimeBase = st->time_base;
    m_origin = settings.origin;
    // A title runs as long as its pictures do, whatever the header says, within a day.
    m_lastSlot = static_cast<std::int64_t>(kMaxTitleSeconds * av_q2d(m_frame.rate));
    m_decoded.reset(MediaChecked(av_frame_alloc()));
    m_packet.reset(MediaChecked(av_packet_alloc()));
    m_orientation = ReadDisplayOrientation(st);
    openDecoder(fmt, st);
    planFields(fmt, st);
    placePicture(fmt, st);
    openEncoder();
    m_encoding = std::make_unique<EncoderThread>([this](const AVFrame* f) { encode(f); });
}

void VideoTranscoder::openDecoder(AVFormatContext*, AVStream* st)
{
    const AVCodecParameters* par = st->codecpar;
    if (par->width <= 0 || par->height <= 0 || par->width > kMaxSide || par->height > kMaxSide)
        throw MediaError(AVERROR_INVALIDDATA);
    const AVCodec* codec = avcodec_find_decoder(par->codec_id);
    if (!codec)
        throw MediaError(AVERROR_DECODER_NOT_FOUND);
    m_decoder.reset(MediaChecked(avcodec_alloc_context3(codec)));
    int r = avcodec_parameters_to_context(m_decoder.get(), par);
    if (r < 0)
        throw MediaError(r);
    m_decoder->pkt_timebase = st->time_base;
    m_decoder->max_pixels = kMaxPixels;
    // One frame thread more than the share of cores, as FFmpeg's own choice does, so that
    // a thread waiting for its reference pictures leaves no core idle.
    m_decoder->thread_count = m_settings.threads > 1 ? m_settings.threads + 1 : 1;
    m_decoder->thread_type = FF_THREAD_FRAME | FF_THREAD_SLICE;
    r = avcodec_open2(m_decoder.get(), codec, nullptr);
    if (r < 0)
        throw MediaError(r);
}

// Fields survive only at the disc's own rate: anywhere else a field would be shown at
// another moment than it was taken. A turned picture has no fields left either.
void VideoTranscoder::planFields(AVFormatContext* fmt, AVStream* st)
{
    const bool interlaced = m_settings.fields != FieldOrder::Progressive;
    m_topFirst = m_settings.fields != FieldOrder::BottomFirst;
    const AVRational rate = av_guess_frame_rate(fmt, st, nullptr);
    const bool discRate =
        rate.num > 0 && rate.den > 0 && std::abs(av_q2d(rate) / av_q2d(m_frame.rate) - 1) < 0.002;
    m_keepFields = interlaced && discRate && m_orientation.isIdentity();
    PictureFilter::Needs needs;
    needs.orientation = m_orientation;
    needs.deinterlace = interlaced && !m_keepFields;
    needs.topFieldFirst = m_topFirst;
    needs.twicePerFrame = !discRate;
    if (!PictureFilter::Chain(needs).empty()) {
        m_filter = std::make_unique<PictureFilter>(needs, st->time_base);
        m_inTimeBase = m_filter->outTimeBase();
        if (m_origin != AV_NOPTS_VALUE)
            m_origin = av_rescale_q(m_origin, st->time_base, m_inTimeBase);
    }
    if (rate.num > 0 && rate.den > 0) {
        const AVRational shown =
            needs.deinterlace && needs.twicePerFrame ? av_mul_q(rate, AVRational{2, 1}) : rate;
        m_pictureTicks = std::max<std::int64_t>(1, av_rescale_q(1, av_inv_q(shown), m_inTimeBase));
    }
}

// The largest rectangle of the movie's upright display shape inside the frame's 4:3 or
// 16:9; kept fields need whole rows of 4:2:0 colour in each field, so a multiple of 4.
void VideoTranscoder::placePicture(AVFormatContext* fmt, AVStream* st)
{
    AVRational sar = av_guess_sample_aspect_ratio(fmt, st, nullptr);
    if (sar.num <= 0 || sar.den <= 0)
        sar = AVRational{1, 1};
    double shown = st->codecpar->width * av_q2d(sar) / st->codecpar->height;
    if (m_orientation.swapsSides())
        shown = 1 / shown;
    const double frameShape = m_settings.widescreen ? 16.0 / 9.0 : 4.0 / 3.0;
    m_w = m_frame.width;
    m_h = m_frame.height;
    if (std::abs(shown / frameShape - 1) > 0.01) {
        if (shown > frameShape)
            m_h = std::min(m_frame.height, even(m_frame.height * frameShape / shown));
        else
            m_w = std::min(m_frame.width, even(m_frame.width * shown / frameShape));
    }
    m_x = (m_frame.width - m_w) / 4 * 2;
    m_y = (m_frame.height - m_h) / 4 * 2;
    if (m_keepFields) {
        m_h = m_h / 4 * 4;
        m_y = (m_frame.height - m_h) / 8 * 4;
    }
}

void VideoTranscoder::openEncoder()
{
    const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_MPEG2VIDEO);
    if (!codec)
        throw MediaError(AVERROR_ENCODER_NOT_FOUND);
    m_encoder.reset(MediaChecked(avcodec_alloc_context3(codec)));
    AVCodecContext* c = m_encoder.get();
    SetUpDiscMpeg2(c, m_settings.system, m_settings.widescreen,
                   {m_settings.bitRate, m_settings.maxBitRate, m_settings.threads});
    if (m_keepFields) {
        c->flags |= AV_CODEC_FLAG_INTERLACED_DCT | AV_CODEC_FLAG_INTERLACED_ME;
        c->field_order = m_topFirst ? AV_FIELD_TT : AV_FIELD_BB;
    }
    const int r = avcodec_open2(c, codec, nullptr);
    if (r < 0)
        throw MediaError(r);
}

void VideoTranscoder::feed(const AVPacket* packet)
{
    // A damaged packet is skipped, and counted; the pictures around it still decode.
    const int r = avcodec_send_packet(m_decoder.get(), packet);
    if (r < 0 && r != AVERROR(EAGAIN) && r != AVERROR_EOF)
        ++m_errors;
    receiveDecoded();
}

void VideoTranscoder::receiveDecoded()
{
    for (;;) {
        const int r = avcodec_receive_frame(m_decoder.get(), m_decoded.get());
        if (r == AVERROR(EAGAIN) || r == AVERROR_EOF)
            return;
        if (r < 0) {
            ++m_errors;
            return;
        }
        if (m_decoded->decode_error_flags != 0 || (m_decoded->flags & AV_FRAME_FLAG_CORRUPT))
            ++m_errors;
        if (m_filter) {
            m_decoded->pts = m_decoded->best_effort_timestamp;
            m_filter->push(m_decoded.get());
            filtered();
            continue;
        }
        FramePtr picture(MediaChecked(av_frame_alloc()));
        av_frame_move_ref(picture.get(), m_decoded.get());
        arrive(std::move(picture));
    }
}

void VideoTranscoder::filtered()
{
    while (FramePtr picture = m_filter->pull()) {
        picture->best_effort_timestamp = picture->pts;
        arrive(std::move(picture));
    }
}

void VideoTranscoder::arrive(FramePtr decoded)
{
    std::int64_t ts = decoded->best_effort_timestamp;
    if (ts == AV_NOPTS_VALUE)
        ts = decoded->pts;
    if (m_origin == AV_NOPTS_VALUE)
        m_origin = ts == AV_NOPTS_VALUE ? 0 : ts;
    // The first picture also stands for any slot before it.
    std::int64_t slot = m_held ? m_heldSlot + 1 : 0;
    if (ts != AV_NOPTS_VALUE && m_held)
        slot = av_rescale_q_rnd(ts - m_origin, m_inTimeBase, av_inv_q(m_frame.rate),
                                static_cast<AVRounding>(AV_ROUND_NEAR_INF | AV_ROUND_PASS_MINMAX));
    if (m_held && slot <= m_heldSlot)
        return; // a picture the rate has no room for
    if (m_held)
        emitHeld(std::min(slot, m_lastSlot));
    m_held = std::move(decoded);
    m_heldScaled.reset();
    m_heldSlot = std::max(slot, m_nextSlot);
    // Where this picture's time ends: the title's end, if it is the last.
    m_heldEnd = m_heldSlot + 1;
    if (ts != AV_NOPTS_VALUE && m_pictureTicks > 0)
        m_heldEnd = std::max(
            m_heldEnd,
            av_rescale_q_rnd(ts + m_pictureTicks - m_origin, m_inTimeBase, av_inv_q(m_frame.rate),
                             static_cast<AVRounding>(AV_ROUND_NEAR_INF | AV_ROUND_PASS_MINMAX)));
}

void VideoTranscoder::emitHeld(std::int64_t untilSlot)
{
    for (; m_nextSlot < untilSlot; ++m_nextSlot) {
        if (!m_heldScaled)
            m_heldScaled = scaled(m_held.get());
        // A new reference to the same picture: a repeated frame costs no copy.
        FramePtr shell(MediaChecked(av_frame_alloc()));
        if (av_frame_ref(shell.get(), m_heldScaled.get()) < 0)
            throw MediaError(AVERROR(ENOMEM));
        shell->pts = m_nextSlot;
        shell->pict_type = m_chapters.typeOf(m_nextSlot);
        shell->interlaced_frame = m_keepFields ? 1 : 0;
        shell->top_field_first = m_keepFields && m_topFirst ? 1 : 0;
        m_encoding->push(std::move(shell));
    }
}

FramePtr VideoTranscoder::scaled(const AVFrame* decoded)
{
    const bool fits = decoded->format == AV_PIX_FMT_YUV420P && !isFullRange(decoded) &&
                      decoded->width == m_frame.width && decoded->height == m_frame.height &&
                      m_w == m_frame.width && m_h == m_frame.height && !isBt709(decoded);
    FramePtr out(MediaChecked(av_frame_alloc()));
    if (fits) { // already the disc's picture: encoded as decoded
        if (av_frame_ref(out.get(), decoded) < 0)
            throw MediaError(AVERROR(ENOMEM));
        return out;
    }
    poolPicture(out.get());
    paintBlack(out.get(), m_x, m_y, m_w, m_h);
    // Kept fields are scaled one at a time, so that no row of one lands in the other.
    const int fields = m_keepFields ? 2 : 1;
    const int inHeight = m_keepFields ? decoded->height / 4 * 2 : decoded->height;
    if (inHeight < 1)
        throw MediaError(AVERROR_INVALIDDATA);
    SwsContext* ctx = sws_getCachedContext(
        m_sws.get(), decoded->width, inHeight, static_cast<AVPixelFormat>(decoded->format), m_w,
        m_h / fields, AV_PIX_FMT_YUV420P, SWS_BICUBIC, nullptr, nullptr, nullptr);
    if (!ctx)
        throw MediaError(AVERROR(EINVAL));
    if (ctx != m_sws.get()) {
        (void)m_sws.release(); // sws_getCachedContext freed the old context
        m_sws.reset(ctx);
        m_swsRange = -1;
    }
    // Only the range is swscale's: asked to change the matrix too, it goes through RGB at
    // several times the cost, so a BT.709 picture is re-expressed afterwards, at the
    // disc's size.
    const int fullRange = isFullRange(decoded) ? 1 : 0;
    if (fullRange != m_swsRange) {
        const int* table = sws_getCoefficients(SWS_CS_ITU601);
        sws_setColorspaceDetails(ctx, table, fullRange, table, 0, 0, 1 << 16, 1 << 16);
        m_swsRange = fullRange;
    }
    std::uint8_t* dst[4] = {out->data[0] + m_y * out->linesize[0] + m_x,
                            out->data[1] + m_y / 2 * out->linesize[1] + m_x / 2,
                            out->data[2] + m_y / 2 * out->linesize[2] + m_x / 2, nullptr};
    for (int field = 0; field < fields; ++field) {
        const std::uint8_t* from[4] = {};
        std::uint8_t* to[4] = {};
        int fromStride[4] = {}, toStride[4] = {};
        for (int p = 0; p < 4; ++p) {
            fromStride[p] = decoded->linesize[p] * fields;
            toStride[p] = p < 3 ? out->linesize[p] * fields : 0;
            if (decoded->data[p])
                from[p] =
                    decoded->data[p] + static_cast<std::ptrdiff_t>(field) * decoded->linesize[p];
            if (p < 3)
                to[p] = dst[p] + static_cast<std::ptrdiff_t>(field) * out->linesize[p];
        }
        sws_scale(ctx, from, fromStride, 0, inHeight, to, toStride);
    }
    if (isBt709(decoded))
        Bt709ToBt601(dst[0], out->linesize[0], dst[1], dst[2], out->linesize[1], m_w, m_h);
    return out;
}

// A picture of the disc's size from the pool, in the MPEG-2 encoder's own layout (rows of
// the width plus a 16-pixel margin each side, rounded up to 64 bytes): the encoder takes
// such a picture as it is, and copies any other first.
void VideoTranscoder::poolPicture(AVFrame* out)
{
    const int lumaStride = (m_frame.width + 2 * 16 + 63) / 64 * 64;
    const int chromaStride = lumaStride / 2;
    const std::size_t lumaBytes = static_cast<std::size_t>(lumaStride) * m_frame.height;
    const std::size_t chromaBytes = static_cast<std::size_t>(chromaStride) * (m_frame.height / 2);
    if (!m_pool) // zeroed as made: the rows' margins are never written
        m_pool.reset(
            MediaChecked(av_buffer_pool_init(lumaBytes + 2 * chromaBytes, av_buffer_allocz)));
    out->buf[0] = MediaChecked(av_buffer_pool_get(m_pool.get()));
    out->format = AV_PIX_FMT_YUV420P;
    out->width = m_frame.width;
    out->height = m_frame.height;
    out->data[0] = out->buf[0]->data;
    out->data[1] = out->data[0] + lumaBytes;
    out->data[2] = out->data[1] + chromaBytes;
    out->linesize[0] = lumaStride;
    out->linesize[1] = out->linesize[2] = chromaStride;
}

void VideoTranscoder::encode(const AVFrame* frame)
{
    int r = avcodec_send_frame(m_encoder.get(), frame);
    if (r < 0)
        throw MediaError(r);
    while ((r = avcodec_receive_packet(m_encoder.get(), m_packet.get())) == 0)
        m_sink(m_packet.get());
    if (r != AVERROR(EAGAIN) && r != AVERROR_EOF)
        throw MediaError(r);
}

void VideoTranscoder::finish(double soundEnd)
{
    avcodec_send_packet(m_decoder.get(), nullptr);
    receiveDecoded();
    if (m_filter) {
        m_filter->push(nullptr);
        filtered();
    }
    if (!m_held)
        throw MediaError(AVERROR_INVALIDDATA); // not one picture decoded
    const auto soundSlots = static_cast<std::int64_t>(
        std::ceil(std::min(soundEnd, kMaxTitleSeconds) * av_q2d(m_frame.rate)));
    emitHeld(std::min(std::max(m_heldEnd, soundSlots), m_lastSlot));
    m_encoding->finish();
}

double VideoTranscoder::secondsOut() const
{
    return static_cast<double>(m_nextSlot) / av_q2d(m_frame.rate);
}
