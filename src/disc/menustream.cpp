#include "menustream.h"

#include "base/failure.h"
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
#include <cerrno>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

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
    throw Failure("Menu stream", step + ": " + text);
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
        throw Failure("Menu stream", "this FFmpeg has no MPEG-2 video encoder");
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
        throw Failure("Menu stream", "this FFmpeg has no AC-3 encoder");
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
        throw Failure("Menu stream", "cannot convert the picture to YUV");
    // Studio range with BT.601 coefficients, as DVD video is.
    const int* coefficients = sws_getCoefficients(SWS_CS_ITU601);
    sws_setColorspaceDetails(sws.get(), coefficients, 1, coefficients, 0, 0, 1 << 16, 1 << 16);
    const std::uint8_t* source[1] = {still.data()};
    const int stride[1] = {static_cast<int>(still.stride())};
    sws_scale(sws.get(), source, stride, 0, still.height(), frame->data, frame->linesize);
    return frame;
}

// The DVD muxer writing into memory, with the video and the audio stream set up from
// their encoders and the header written.
struct Muxer {
    MuxerPtr context;
    AVStream* video = nullptr;
    AVStream* audio = nullptr;
};

Muxer openMuxer(const AVCodecContext* video, const AVCodecContext* audio)
{
    const AVOutputFormat* dvd = av_guess_format("dvd", nullptr, nullptr);
    if (!dvd)
        throw Failure("Menu stream", "this FFmpeg has no DVD muxer");
    AVFormatContext* raw = nullptr;
    check(avformat_alloc_output_context2(&raw, dvd, nullptr, nullptr),
          "creating the program stream");
    Muxer m{MuxerPtr(raw)};
    check(avio_open_dyn_buf(&raw->pb), "creating the program stream");
    av_opt_set_int(raw->priv_data, "muxrate", 10'080'000, 0); // bits per second
    raw->packet_size = 2048;
    raw->max_delay = static_cast<int>(0.7 * AV_TIME_BASE);
    m.video = avformat_new_stream(raw, nullptr);
    m.audio = avformat_new_stream(raw, nullptr);
    if (!m.video || !m.audio)
        throw std::bad_alloc();
    check(avcodec_parameters_from_context(m.video->codecpar, video), "setting up the video stream");
    check(avcodec_parameters_from_context(m.audio->codecpar, audio), "setting up the audio stream");
    // The muxer sizes its buffers from the encoder's buffer figures.
    for (int i = 0; i < video->nb_coded_side_data; ++i) {
        const AVPacketSideData& side = video->coded_side_data[i];
        std::uint8_t* copy = av_stream_new_side_data(m.video, side.type, side.size);
        if (!copy)
            throw std::bad_alloc();
        std::memcpy(copy, side.data, side.size);
    }
    m.video->time_base = video->time_base;
    m.video->sample_aspect_ratio = video->sample_aspect_ratio;
    m.audio->time_base = audio->time_base;
    AVDictionary* options = nullptr;
    av_dict_set(&options, "preload", "500000", 0);
    const int headerResult = avformat_write_header(raw, &options);
    av_dict_free(&options);
    check(headerResult, "writing the program stream header");
    return m;
}

// Silence as long as `frames` video frames, then the end of the audio.
void writeSilence(AVCodecContext* audio, int frames, AVRational frameTime, Muxer& m,
                  AVPacket* packet)
{
    FramePtr silence(av_frame_alloc());
    if (!silence)
        throw std::bad_alloc();
    silence->format = audio->sample_fmt;
    silence->nb_samples = audio->frame_size;
    check(av_channel_layout_copy(&silence->ch_layout, &audio->ch_layout), "setting up the audio");
    check(av_frame_get_buffer(silence.get(), 0), "allocating the audio");
    const std::int64_t samples = av_rescale_q(frames, frameTime, AVRational{1, kSampleRate});
    for (std::int64_t pts = 0; pts < samples; pts += audio->frame_size) {
        check(av_frame_make_writable(silence.get()), "preparing the audio");
        av_samples_set_silence(silence->extended_data, 0, silence->nb_samples,
                               silence->ch_layout.nb_channels,
                               static_cast<AVSampleFormat>(silence->format));
        silence->pts = pts;
        encode(audio, silence.get(), m.context.get(), m.audio, packet, "audio");
    }
    encode(audio, nullptr, m.context.get(), m.audio, packet, "audio");
}

std::vector<std::uint8_t> finish(Muxer& m)
{
    check(av_write_trailer(m.context.get()), "finishing the program stream");
    std::uint8_t* buffer = nullptr;
    const int size = avio_close_dyn_buf(m.context->pb, &buffer);
    m.context->pb = nullptr;
    std::vector<std::uint8_t> bytes(buffer, buffer + std::max(size, 0));
    av_free(buffer);
    return bytes;
}

// Reads a file through its descriptor with pread, so its offset stays where it is.
struct FdReader {
    int fd;
    std::int64_t position = 0;
    std::int64_t size = 0;
};

int readFd(void* opaque, std::uint8_t* buffer, int size)
{
    auto* r = static_cast<FdReader*>(opaque);
    for (;;) {
        const ssize_t n = ::pread(r->fd, buffer, static_cast<std::size_t>(size), r->position);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return AVERROR(errno);
        if (n == 0)
            return AVERROR_EOF;
        r->position += n;
        return static_cast<int>(n);
    }
}

std::int64_t seekFd(void* opaque, std::int64_t offset, int whence)
{
    auto* r = static_cast<FdReader*>(opaque);
    if (whence == AVSEEK_SIZE)
        return r->size;
    const std::int64_t base = (whence & 3) == SEEK_CUR   ? r->position
                              : (whence & 3) == SEEK_END ? r->size
                                                         : 0;
    if (offset > r->size - base || base + offset < 0)
        return AVERROR(EINVAL);
    r->position = base + offset;
    return r->position;
}

struct InputCloser {
    void operator()(AVFormatContext* p) const { avformat_close_input(&p); }
};
struct IoCloser {
    void operator()(AVIOContext* p) const
    {
        av_freep(&p->buffer);
        avio_context_free(&p);
    }
};

struct StreamCount {
    bool menuVideo = false;
    int subpictures = 0;
};

StreamCount countStreams(FdReader& reader, const DiscFormat& format)
{
    constexpr int kBufferBytes = 64 * 1024;
    auto* buffer = static_cast<unsigned char*>(av_malloc(kBufferBytes));
    std::unique_ptr<AVIOContext, IoCloser> io(
        buffer ? avio_alloc_context(buffer, kBufferBytes, 0, &reader, readFd, nullptr, seekFd)
               : nullptr);
    if (!io) {
        av_free(buffer);
        throw std::bad_alloc();
    }
    AVFormatContext* raw = avformat_alloc_context();
    if (!raw)
        throw std::bad_alloc();
    raw->pb = io.get();
    raw->flags |= AVFMT_FLAG_CUSTOM_IO;
    // Only the program stream demuxer: nothing in the file can name another format.
    if (avformat_open_input(&raw, nullptr, av_find_input_format("mpeg"), nullptr) < 0)
        throw Failure("", "is no MPEG program stream");
    const std::unique_ptr<AVFormatContext, InputCloser> input(raw);
    if (avformat_find_stream_info(raw, nullptr) < 0)
        throw Failure("", "cannot be read back");
    StreamCount count;
    for (unsigned i = 0; i < raw->nb_streams; ++i) {
        const AVCodecParameters* p = raw->streams[i]->codecpar;
        if (p->codec_id == AV_CODEC_ID_MPEG2VIDEO && p->width == format.width &&
            p->height == format.height)
            count.menuVideo = true;
        else if (p->codec_id == AV_CODEC_ID_DVD_SUBTITLE)
            ++count.subpictures;
    }
    return count;
}

} // namespace

std::vector<std::uint8_t> EncodeMenuStream(const Picture& still, const DiscFormat& format)
{
    if (still.width() != format.width || still.height() != format.height)
        throw Failure("Menu stream", "the picture is not the frame's size");
    if (format.width != 720 || (format.height != 576 && format.height != 480))
        throw Failure("Menu stream", "DVD menus are 720 x 576 or 720 x 480");

    QuietFFmpeg(); // failures are reported here, not by FFmpeg on the terminal

    PacketPtr packet(av_packet_alloc());
    if (!packet)
        throw std::bad_alloc();
    FramePtr frame = stillFrame(still, format);
    CodecPtr video = openVideoEncoder(format, chooseQuantiser(frame.get(), format, packet.get()));
    CodecPtr audio = openAudioEncoder();
    Muxer muxer = openMuxer(video.get(), audio.get());

    // One second of the still: a whole number of GOPs.
    const int frames = format.pal() ? 25 : 30;
    for (int i = 0; i < frames; ++i) {
        check(av_frame_make_writable(frame.get()), "preparing a frame");
        frame->pts = i;
        encode(video.get(), frame.get(), muxer.context.get(), muxer.video, packet.get(), "video");
    }
    encode(video.get(), nullptr, muxer.context.get(), muxer.video, packet.get(), "video");
    writeSilence(audio.get(), frames, video->time_base, muxer, packet.get());
    return finish(muxer);
}

void CheckMenuStream(int fd, const DiscFormat& format, int subpictureStreams,
                     std::uint64_t backgroundBytes)
{
    const std::string text = "The menu stream is not usable";
    struct stat st {};
    if (::fstat(fd, &st) != 0)
        throw Failure::FromErrno(text, errno);
    const auto size = static_cast<std::uint64_t>(st.st_size);
    if (size == 0)
        throw Failure(text, "is empty");
    if (size <= backgroundBytes)
        throw Failure(text, "is no larger than the stream without buttons");
    FdReader reader{fd, 0, st.st_size};
    StreamCount count;
    try {
        count = countStreams(reader, format);
    } catch (const Failure& e) {
        throw Failure(text, e.detail());
    }
    if (!count.menuVideo)
        throw Failure(text, "has no MPEG-2 video of " + std::to_string(format.width) + " x " +
                                std::to_string(format.height));
    if (count.subpictures < subpictureStreams)
        throw Failure(text, "has " + std::to_string(count.subpictures) +
                                " subpicture streams instead of " +
                                std::to_string(subpictureStreams));
}
