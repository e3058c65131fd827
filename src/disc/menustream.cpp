#include "menustream.h"

#include "thumbs/ffmpegptr.h"
#include "thumbs/movieinput.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/error.h>
#include <libavutil/log.h>
#include <libavutil/opt.h>
#include <libswscale/swscale.h>
}

#include <algorithm>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <string>

namespace {

// The muxer writes into a growing memory buffer, released with the context.
struct MuxerCloser {
    void operator()(AVFormatContext* p) const
    {
        if (p->pb) {
            std::uint8_t* buffer = nullptr;
            avio_close_dyn_buf(p->pb, &buffer);
            av_free(buffer);
        }
        avformat_free_context(p);
    }
};

using MuxerPtr = std::unique_ptr<AVFormatContext, MuxerCloser>;

[[noreturn]] void fail(const std::string& step, int code)
{
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    throw std::runtime_error("Menu stream: " + step + ": " + text);
}

void check(int code, const std::string& step)
{
    if (code < 0)
        fail(step, code);
}

// DVD limits: 9.8 Mb/s at most for video, a 224 KiB video buffer, 2048-byte packs.
constexpr int kVideoBitRate = 8'000'000;
constexpr int kVideoMaxRate = 9'000'000;
constexpr int kVideoBufferBits = 224 * 1024 * 8;
constexpr int kMaxStillBytes = 160 * 1024;
constexpr int kAudioBitRate = 192'000;
constexpr int kSampleRate = 48'000;

// `quantiser` 1..31 fixes the quantiser of every picture instead of letting the rate
// control guess it from the first one.
CodecPtr openVideoEncoder(const DiscFormat& format, int quantiser)
{
    const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_MPEG2VIDEO);
    if (!codec)
        throw std::runtime_error("Menu stream: this FFmpeg has no MPEG-2 video encoder");
    CodecPtr ctx(avcodec_alloc_context3(codec));
    if (!ctx)
        throw std::bad_alloc();
    ctx->width = format.width;
    ctx->height = format.height;
    ctx->pix_fmt = AV_PIX_FMT_YUV420P;
    ctx->time_base = format.pal() ? AVRational{1, 25} : AVRational{1001, 30000};
    ctx->framerate = av_inv_q(ctx->time_base);
    // Generic pixel aspect ratios: the ones that give exactly 4:3 or 16:9 on 720 x H.
    const int h = format.height;
    ctx->sample_aspect_ratio =
        format.wide ? AVRational{16 * h, 9 * format.width} : AVRational{4 * h, 3 * format.width};
    av_reduce(&ctx->sample_aspect_ratio.num, &ctx->sample_aspect_ratio.den,
              ctx->sample_aspect_ratio.num, ctx->sample_aspect_ratio.den, 1 << 16);
    ctx->gop_size = format.pal() ? 15 : 18;
    ctx->max_b_frames = 0;
    ctx->flags |= AV_CODEC_FLAG_CLOSED_GOP;
    ctx->bit_rate = kVideoBitRate;
    ctx->rc_max_rate = kVideoMaxRate;
    ctx->rc_min_rate = 0;
    ctx->rc_buffer_size = kVideoBufferBits;
    ctx->rc_initial_buffer_occupancy = kVideoBufferBits * 3 / 4;
    ctx->qmin = 1;
    ctx->qmax = 31;
    ctx->flags |= AV_CODEC_FLAG_QSCALE;
    ctx->global_quality = FF_QP2LAMBDA * quantiser;
    ctx->color_range = AVCOL_RANGE_MPEG;
    ctx->colorspace = AVCOL_SPC_BT470BG;
    ctx->color_primaries = format.pal() ? AVCOL_PRI_BT470BG : AVCOL_PRI_SMPTE170M;
    ctx->color_trc = format.pal() ? AVCOL_TRC_GAMMA28 : AVCOL_TRC_SMPTE170M;
    // A still's gradients need the finer DC steps; DVD players take 10 bits.
    av_opt_set_int(ctx->priv_data, "intra_vlc", 1, 0);
    // Closed GOPs of a fixed length: a scene cut would open a GOP of its own.
    av_opt_set_int(ctx->priv_data, "sc_threshold", 1'000'000'000, 0);
    ctx->intra_dc_precision = 2;
    check(avcodec_open2(ctx.get(), codec, nullptr), "opening the MPEG-2 encoder");
    return ctx;
}

CodecPtr openAudioEncoder()
{
    const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_AC3);
    if (!codec)
        throw std::runtime_error("Menu stream: this FFmpeg has no AC-3 encoder");
    CodecPtr ctx(avcodec_alloc_context3(codec));
    if (!ctx)
        throw std::bad_alloc();
    ctx->sample_rate = kSampleRate;
    ctx->sample_fmt = codec->sample_fmts ? codec->sample_fmts[0] : AV_SAMPLE_FMT_FLTP;
    const AVChannelLayout stereo = AV_CHANNEL_LAYOUT_STEREO;
    check(av_channel_layout_copy(&ctx->ch_layout, &stereo), "setting up the audio");
    ctx->bit_rate = kAudioBitRate;
    ctx->time_base = {1, kSampleRate};
    check(avcodec_open2(ctx.get(), codec, nullptr), "opening the AC-3 encoder");
    return ctx;
}

// Sends a frame (or the end, with nullptr) and hands every finished packet to the muxer.
void encode(AVCodecContext* codec, AVFrame* frame, AVFormatContext* muxer, AVStream* stream,
            AVPacket* packet, const char* what)
{
    check(avcodec_send_frame(codec, frame), std::string("encoding the ") + what);
    for (;;) {
        const int r = avcodec_receive_packet(codec, packet);
        if (r == AVERROR(EAGAIN) || r == AVERROR_EOF)
            return;
        check(r, std::string("encoding the ") + what);
        av_packet_rescale_ts(packet, codec->time_base, stream->time_base);
        packet->stream_index = stream->index;
        check(av_interleaved_write_frame(muxer, packet), "writing the program stream");
    }
}

// The finest quantiser whose picture of the still fits the player's video buffer with
// room to spare: a still has one picture's worth of detail, and the pictures after it
// repeat it at almost no cost, so it may take what a moving scene spreads over a second.
int chooseQuantiser(AVFrame* frame, const DiscFormat& format, AVPacket* packet)
{
    for (int q = 2; q < 31; ++q) {
        CodecPtr probe = openVideoEncoder(format, q);
        frame->pts = 0;
        check(avcodec_send_frame(probe.get(), frame), "encoding the video");
        check(avcodec_send_frame(probe.get(), nullptr), "encoding the video");
        int size = 0;
        while (avcodec_receive_packet(probe.get(), packet) >= 0) {
            size += packet->size;
            av_packet_unref(packet);
        }
        if (size <= kMaxStillBytes)
            return q;
    }
    return 31;
}

FramePtr stillFrame(const Picture& still, const DiscFormat& format)
{
    FramePtr frame(av_frame_alloc());
    if (!frame)
        throw std::bad_alloc();
    frame->format = AV_PIX_FMT_YUV420P;
    frame->width = format.width;
    frame->height = format.height;
    check(av_frame_get_buffer(frame.get(), 0), "allocating the picture");
    SwsPtr sws(sws_getContext(still.width(), still.height(), AV_PIX_FMT_RGB24, format.width,
                              format.height, AV_PIX_FMT_YUV420P, SWS_BICUBIC | SWS_ACCURATE_RND,
                              nullptr, nullptr, nullptr));
    if (!sws)
        throw std::runtime_error("Menu stream: cannot convert the picture to YUV");
    // Studio range with BT.601 coefficients, as DVD video is.
    const int* coefficients = sws_getCoefficients(SWS_CS_ITU601);
    sws_setColorspaceDetails(sws.get(), coefficients, 1, coefficients, 0, 0, 1 << 16, 1 << 16);
    const std::uint8_t* source[1] = {still.data()};
    const int stride[1] = {static_cast<int>(still.stride())};
    sws_scale(sws.get(), source, stride, 0, still.height(), frame->data, frame->linesize);
    return frame;
}

} // namespace

std::vector<std::uint8_t> EncodeMenuStream(const Picture& still, const DiscFormat& format)
{
    if (still.width() != format.width || still.height() != format.height)
        throw std::runtime_error("Menu stream: the picture is not the frame's size");
    if (format.width != 720 || (format.height != 576 && format.height != 480))
        throw std::runtime_error("Menu stream: DVD menus are 720 x 576 or 720 x 480");

    QuietFFmpeg(); // failures are reported here, not by FFmpeg on the terminal

    PacketPtr packet(av_packet_alloc());
    if (!packet)
        throw std::bad_alloc();
    FramePtr frame = stillFrame(still, format);
    CodecPtr video = openVideoEncoder(format, chooseQuantiser(frame.get(), format, packet.get()));
    CodecPtr audio = openAudioEncoder();

    const AVOutputFormat* dvd = av_guess_format("dvd", nullptr, nullptr);
    if (!dvd)
        throw std::runtime_error("Menu stream: this FFmpeg has no DVD muxer");
    AVFormatContext* rawMuxer = nullptr;
    check(avformat_alloc_output_context2(&rawMuxer, dvd, nullptr, nullptr),
          "creating the program stream");
    MuxerPtr muxer(rawMuxer);
    check(avio_open_dyn_buf(&muxer->pb), "creating the program stream");
    av_opt_set_int(muxer->priv_data, "muxrate", 10'080'000, 0); // bits per second
    muxer->packet_size = 2048;
    muxer->max_delay = static_cast<int>(0.7 * AV_TIME_BASE);

    AVStream* videoStream = avformat_new_stream(muxer.get(), nullptr);
    AVStream* audioStream = avformat_new_stream(muxer.get(), nullptr);
    if (!videoStream || !audioStream)
        throw std::bad_alloc();
    check(avcodec_parameters_from_context(videoStream->codecpar, video.get()),
          "setting up the video stream");
    check(avcodec_parameters_from_context(audioStream->codecpar, audio.get()),
          "setting up the audio stream");
    // The muxer sizes its buffers from the encoder's buffer figures.
    for (int i = 0; i < video->nb_coded_side_data; ++i) {
        const AVPacketSideData& side = video->coded_side_data[i];
        std::uint8_t* copy = av_stream_new_side_data(videoStream, side.type, side.size);
        if (!copy)
            throw std::bad_alloc();
        std::memcpy(copy, side.data, side.size);
    }
    videoStream->time_base = video->time_base;
    videoStream->sample_aspect_ratio = video->sample_aspect_ratio;
    audioStream->time_base = audio->time_base;
    AVDictionary* muxOptions = nullptr;
    av_dict_set(&muxOptions, "preload", "500000", 0);
    const int headerResult = avformat_write_header(muxer.get(), &muxOptions);
    av_dict_free(&muxOptions);
    check(headerResult, "writing the program stream header");

    // One second of the still: a whole number of GOPs.
    const int frames = format.pal() ? 25 : 30;
    for (int i = 0; i < frames; ++i) {
        check(av_frame_make_writable(frame.get()), "preparing a frame");
        frame->pts = i;
        encode(video.get(), frame.get(), muxer.get(), videoStream, packet.get(), "video");
    }
    encode(video.get(), nullptr, muxer.get(), videoStream, packet.get(), "video");

    FramePtr silence(av_frame_alloc());
    if (!silence)
        throw std::bad_alloc();
    silence->format = audio->sample_fmt;
    silence->nb_samples = audio->frame_size;
    check(av_channel_layout_copy(&silence->ch_layout, &audio->ch_layout), "setting up the audio");
    check(av_frame_get_buffer(silence.get(), 0), "allocating the audio");
    const std::int64_t samples = av_rescale_q(frames, video->time_base, AVRational{1, kSampleRate});
    for (std::int64_t pts = 0; pts < samples; pts += audio->frame_size) {
        check(av_frame_make_writable(silence.get()), "preparing the audio");
        av_samples_set_silence(silence->extended_data, 0, silence->nb_samples,
                               silence->ch_layout.nb_channels,
                               static_cast<AVSampleFormat>(silence->format));
        silence->pts = pts;
        encode(audio.get(), silence.get(), muxer.get(), audioStream, packet.get(), "audio");
    }
    encode(audio.get(), nullptr, muxer.get(), audioStream, packet.get(), "audio");

    check(av_write_trailer(muxer.get()), "finishing the program stream");
    std::uint8_t* buffer = nullptr;
    const int size = avio_close_dyn_buf(muxer->pb, &buffer);
    muxer->pb = nullptr;
    std::vector<std::uint8_t> bytes(buffer, buffer + std::max(size, 0));
    av_free(buffer);
    return bytes;
}
