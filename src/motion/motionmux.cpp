#include "motionmux.h"

#include "menusound.h"

#include "base/atomicfile.h"
#include "base/failure.h"
#include "thumbs/mediaerror.h"
#include "titles/framequeue.h"

extern "C" {
#include <libavutil/opt.h>
}

#include <cstring>
#include <span>

namespace {

// DVD limits: 9.8 Mb/s at most for video, a 224 KiB video buffer, 2048-byte packs.
constexpr int kVideoBitRate = 7'000'000;
constexpr int kVideoMaxRate = 9'000'000;
constexpr int kVideoBufferBits = 224 * 1024 * 8;
constexpr int kIoBufferBytes = 64 * 1024;

void check(int code, const char* step)
{
    if (code < 0)
        throw Failure("Menu stream", std::string(step) + ": " + MediaErrorText(code));
}

int writeFile(void* opaque, std::uint8_t* bytes, int size)
{
    try {
        static_cast<AtomicFile*>(opaque)->write(
            std::span<const std::uint8_t>(bytes, static_cast<std::size_t>(size)));
        return size;
    } catch (const std::exception&) {
        return AVERROR(EIO);
    }
}

} // namespace

void MotionMux::Muxer::operator()(AVFormatContext* p) const
{
    if (p->pb) {
        av_freep(&p->pb->buffer);
        avio_context_free(&p->pb);
    }
    avformat_free_context(p);
}

MotionMux::MotionMux(const DiscFormat& format, AVRational rate, MenuSound& sound, AtomicFile& file)
    : m_sound(sound), m_width(format.width), m_height(format.height)
{
    m_packet.reset(av_packet_alloc());
    if (!m_packet)
        throw std::bad_alloc();
    openEncoder(format, rate);
    openMuxer(file);
    m_encoding = std::make_unique<EncoderThread>([this](const AVFrame* f) { encode(f); });
}

MotionMux::~MotionMux()
{
    m_encoding.reset();
}

void MotionMux::openEncoder(const DiscFormat& format, AVRational rate)
{
    const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_MPEG2VIDEO);
    if (!codec)
        throw Failure("Menu stream", "this FFmpeg has no MPEG-2 video encoder");
    m_encoder.reset(avcodec_alloc_context3(codec));
    AVCodecContext* c = m_encoder.get();
    if (!c)
        throw std::bad_alloc();
    c->width = format.width;
    c->height = format.height;
    c->pix_fmt = AV_PIX_FMT_YUV420P;
    c->framerate = rate;
    c->time_base = av_inv_q(rate);
    const int h = format.height;
    c->sample_aspect_ratio =
        format.wide ? AVRational{16 * h, 9 * format.width} : AVRational{4 * h, 3 * format.width};
    av_reduce(&c->sample_aspect_ratio.num, &c->sample_aspect_ratio.den, c->sample_aspect_ratio.num,
              c->sample_aspect_ratio.den, 1 << 16);
    // Closed GOPs of the player's length, so the loop and every jump into the menu
    // start on a picture that needs no other.
    c->gop_size = format.pal() ? 15 : 18;
    c->max_b_frames = 0;
    c->flags |= AV_CODEC_FLAG_CLOSED_GOP;
    c->bit_rate = kVideoBitRate;
    c->rc_max_rate = kVideoMaxRate;
    c->rc_min_rate = 0;
    c->rc_buffer_size = kVideoBufferBits;
    c->rc_initial_buffer_occupancy = kVideoBufferBits * 3 / 4;
    c->color_range = AVCOL_RANGE_MPEG;
    c->colorspace = AVCOL_SPC_BT470BG;
    c->color_primaries = format.pal() ? AVCOL_PRI_BT470BG : AVCOL_PRI_SMPTE170M;
    c->color_trc = format.pal() ? AVCOL_TRC_GAMMA28 : AVCOL_TRC_SMPTE170M;
    c->thread_count = 2;
    c->thread_type = FF_THREAD_SLICE;
    av_opt_set_int(c->priv_data, "intra_vlc", 1, 0);
    av_opt_set_int(c->priv_data, "sc_threshold", 1'000'000'000, 0);
    c->intra_dc_precision = 2;
    check(avcodec_open2(c, codec, nullptr), "opening the MPEG-2 encoder");
}

void MotionMux::openMuxer(AtomicFile& file)
{
    const AVOutputFormat* dvd = av_guess_format("dvd", nullptr, nullptr);
    if (!dvd)
        throw Failure("Menu stream", "this FFmpeg has no DVD muxer");
    AVFormatContext* raw = nullptr;
    check(avformat_alloc_output_context2(&raw, dvd, nullptr, nullptr), "creating the stream");
    m_muxer.reset(raw);
    auto* buffer = static_cast<unsigned char*>(av_malloc(kIoBufferBytes));
    raw->pb =
        buffer ? avio_alloc_context(buffer, kIoBufferBytes, 1, &file, nullptr, writeFile, nullptr)
               : nullptr;
    if (!raw->pb) {
        av_free(buffer);
        throw std::bad_alloc();
    }
    av_opt_set_int(raw->priv_data, "muxrate", 10'080'000, 0); // bits per second
    raw->packet_size = 2048;
    raw->max_delay = static_cast<int>(0.7 * AV_TIME_BASE);
    m_video = avformat_new_stream(raw, nullptr);
    m_audio = avformat_new_stream(raw, nullptr);
    if (!m_video || !m_audio)
        throw std::bad_alloc();
    const AVCodecContext* video = m_encoder.get();
    check(avcodec_parameters_from_context(m_video->codecpar, video), "setting up the video");
    check(avcodec_parameters_from_context(m_audio->codecpar, m_sound.encoder()),
          "setting up the audio");
    // The muxer sizes its buffers from the encoder's buffer figures.
    for (int i = 0; i < video->nb_coded_side_data; ++i) {
        const AVPacketSideData& side = video->coded_side_data[i];
        std::uint8_t* copy = av_stream_new_side_data(m_video, side.type, side.size);
        if (!copy)
            throw std::bad_alloc();
        std::memcpy(copy, side.data, side.size);
    }
    m_video->time_base = video->time_base;
    m_video->sample_aspect_ratio = video->sample_aspect_ratio;
    m_audio->time_base = m_sound.encoder()->time_base;
    AVDictionary* options = nullptr;
    av_dict_set(&options, "preload", "500000", 0);
    const int r = avformat_write_header(raw, &options);
    av_dict_free(&options);
    check(r, "writing the program stream header");
}

// Buffers laid out as the MPEG-2 encoder keeps its own pictures (rows of the width plus
// a 16-pixel margin each side, rounded up to 64 bytes): it takes such a picture as it is.
FramePtr MotionMux::newPicture()
{
    const int lumaStride = (m_width + 2 * 16 + 63) / 64 * 64;
    const int chromaStride = lumaStride / 2;
    const std::size_t lumaBytes = static_cast<std::size_t>(lumaStride) * m_height;
    const std::size_t chromaBytes = static_cast<std::size_t>(chromaStride) * (m_height / 2);
    if (!m_pool)
        m_pool.reset(av_buffer_pool_init(lumaBytes + 2 * chromaBytes, av_buffer_allocz));
    FramePtr out(av_frame_alloc());
    if (!m_pool || !out || !(out->buf[0] = av_buffer_pool_get(m_pool.get())))
        throw std::bad_alloc();
    out->format = AV_PIX_FMT_YUV420P;
    out->width = m_width;
    out->height = m_height;
    out->data[0] = out->buf[0]->data;
    out->data[1] = out->data[0] + lumaBytes;
    out->data[2] = out->data[1] + chromaBytes;
    out->linesize[0] = lumaStride;
    out->linesize[1] = out->linesize[2] = chromaStride;
    return out;
}

void MotionMux::push(FramePtr picture)
{
    m_encoding->push(std::move(picture));
}

void MotionMux::write(AVPacket* packet)
{
    check(av_interleaved_write_frame(m_muxer.get(), packet), "writing the program stream");
}

// The sound's packets due by the picture at `videoTicks` (in the video stream's time
// base); INT64_MAX: all that is left.
void MotionMux::writeSoundUntil(std::int64_t videoTicks)
{
    auto& packets = m_sound.packets();
    const AVRational soundTime = m_sound.encoder()->time_base;
    for (; m_nextSound < packets.size(); ++m_nextSound) {
        AVPacket* p = packets[m_nextSound].get();
        if (videoTicks != INT64_MAX &&
            av_compare_ts(p->pts, soundTime, videoTicks, m_video->time_base) > 0)
            return;
        av_packet_rescale_ts(p, soundTime, m_audio->time_base);
        p->stream_index = m_audio->index;
        write(p);
    }
}

void MotionMux::encode(const AVFrame* picture)
{
    int r = avcodec_send_frame(m_encoder.get(), picture);
    check(r, "encoding the video");
    while ((r = avcodec_receive_packet(m_encoder.get(), m_packet.get())) == 0) {
        av_packet_rescale_ts(m_packet.get(), m_encoder->time_base, m_video->time_base);
        m_packet->stream_index = m_video->index;
        writeSoundUntil(m_packet->dts);
        write(m_packet.get());
        ++m_pictures;
    }
    if (r != AVERROR(EAGAIN) && r != AVERROR_EOF)
        check(r, "encoding the video");
}

void MotionMux::finish(int frames)
{
    m_encoding->finish();
    writeSoundUntil(INT64_MAX);
    check(av_write_trailer(m_muxer.get()), "finishing the program stream");
    avio_flush(m_muxer->pb);
    if (m_muxer->pb->error < 0)
        check(m_muxer->pb->error, "writing the program stream");
    if (m_pictures != frames || m_nextSound != m_sound.packets().size())
        throw Failure("Menu stream", "the encoder left pictures or sound out");
}
