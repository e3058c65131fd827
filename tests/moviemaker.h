#pragma once

// Writes small test movies with libavcodec's own encoders. Shared by the media and
// thumbnail dialog tests and the media benchmark.

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/display.h>
#include <libavutil/mathematics.h>
#include <libavutil/opt.h>
}

#include "base/picture.h"

#include <cmath>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

struct MovieSpec {
    std::string path; // the extension picks the container (.mpg, .avi, .wmv, .mp4 ...)
    std::string codec = "mpeg1video";
    int width = 320;
    int height = 240;
    int frames = 120;
    int fps = 25; // frames per second as fps / fpsBase: 30000 / 1001 is 29.97
    int fpsBase = 1;
    int gop = 60;
    int bFrames = 2;
    bool texture = false; // moving detail instead of the frame-number blocks
    int u = 128;          // chroma of the frame-number blocks (128, 128: grey)
    int v = 128;
    int sarNum = 0; // sample aspect ratio; 0: not stated
    int sarDen = 1;
    std::string format;            // container by name ("dvd"); empty: by the extension
    std::int64_t videoBitRate = 0; // 0: constant quality
    // A tone in every channel; 0 channels: no sound.
    int audioChannels = 0;
    int audioRate = 48000;
    std::string audioCodec = "mp2";
    std::vector<double> chapterStarts; // seconds; empty: no chapters
    // A display matrix for the muxer, as phones write one: turned `displayRotation` degrees
    // counter-clockwise (av_display_rotation_set), then mirrored left to right when
    // `displayMirror` is set. FFmpeg's MP4 muxer stores it so that it reads back negated.
    int displayRotation = 0;
    bool displayMirror = false;
    // When set, paints frame i's YUV 4:2:0 planes instead of the patterns above.
    std::function<void(AVFrame* frame, int i)> paint;
};

// Frame i as flat blocks: bit b of i (b = 0..7) is the block in column b % 4, row b / 4,
// bright for 1 and dark for 0, so that lossy coding cannot change the number read back.
inline int FrameIndexOf(const Picture& p)
{
    if (p.isEmpty())
        return -1;
    int index = 0;
    for (int b = 0; b < 8; ++b) {
        const int x = (b % 4) * p.width() / 4 + p.width() / 8;
        const int y = (b / 4) * p.height() / 2 + p.height() / 4;
        if (p.pixel(x, y)[0] > 120)
            index |= 1 << b;
    }
    return index;
}

namespace moviemaker_detail {

inline void fillFrame(AVFrame* f, const MovieSpec& s, int i)
{
    for (int y = 0; y < s.height; ++y) {
        std::uint8_t* row = f->data[0] + y * f->linesize[0];
        for (int x = 0; x < s.width; ++x) {
            if (s.texture) {
                const unsigned u = static_cast<unsigned>(x + 3 * i),
                               v = static_cast<unsigned>(y + i);
                row[x] = static_cast<std::uint8_t>(((u * 7) ^ (v * 13) ^ ((u * v) >> 6)) & 0xFF);
            } else {
                const int b = (x * 4 / s.width) + 4 * (y * 2 / s.height);
                row[x] = (i >> b) & 1 ? 200 : 40;
            }
        }
    }
    for (int plane = 1; plane < 3; ++plane)
        for (int y = 0; y < (s.height + 1) / 2; ++y)
            for (int x = 0; x < (s.width + 1) / 2; ++x)
                f->data[plane][y * f->linesize[plane] + x] =
                    s.texture ? static_cast<std::uint8_t>(128 + ((x + y + i) & 31) - 16)
                              : static_cast<std::uint8_t>(plane == 1 ? s.u : s.v);
}

inline bool drain(AVCodecContext* ctx, AVFormatContext* oc, AVStream* st, AVPacket* pkt)
{
    for (;;) {
        const int r = avcodec_receive_packet(ctx, pkt);
        if (r == AVERROR(EAGAIN) || r == AVERROR_EOF)
            return true;
        if (r < 0)
            return false;
        if (pkt->duration <= 0)
            pkt->duration =
                1; // one frame; MP4 cuts a last frame without duration from its edit list
        av_packet_rescale_ts(pkt, ctx->time_base, st->time_base);
        pkt->stream_index = st->index;
        if (av_interleaved_write_frame(oc, pkt) < 0)
            return false;
    }
}

// A 440 Hz tone (a little higher in each channel) in the encoder's sample format.
inline void fillAudio(AVFrame* f, std::int64_t first, int rate)
{
    const int channels = f->ch_layout.nb_channels;
    const bool planar = av_sample_fmt_is_planar(static_cast<AVSampleFormat>(f->format));
    const bool isFloat = f->format == AV_SAMPLE_FMT_FLTP || f->format == AV_SAMPLE_FMT_FLT;
    for (int i = 0; i < f->nb_samples; ++i)
        for (int c = 0; c < channels; ++c) {
            const double t = static_cast<double>(first + i) / rate;
            const float value = static_cast<float>(0.3 * std::sin(2 * M_PI * (440 + 110 * c) * t));
            const int at = planar ? i : i * channels + c;
            std::uint8_t* plane = f->data[planar ? c : 0];
            if (isFloat)
                reinterpret_cast<float*>(plane)[at] = value;
            else
                reinterpret_cast<std::int16_t*>(plane)[at] =
                    static_cast<std::int16_t>(value * 32767);
        }
}

struct AudioTrack {
    AVCodecContext* ctx = nullptr;
    AVStream* st = nullptr;
    AVFrame* frame = nullptr;
    std::int64_t next = 0; // samples written
};

inline std::string openAudio(const MovieSpec& s, AVFormatContext* oc, AudioTrack& a)
{
    const AVCodec* codec = avcodec_find_encoder_by_name(s.audioCodec.c_str());
    if (!codec)
        return "no encoder " + s.audioCodec;
    a.ctx = avcodec_alloc_context3(codec);
    a.st = avformat_new_stream(oc, nullptr);
    a.ctx->sample_rate = s.audioRate;
    a.ctx->sample_fmt = codec->sample_fmts ? codec->sample_fmts[0] : AV_SAMPLE_FMT_S16;
    av_channel_layout_default(&a.ctx->ch_layout, s.audioChannels);
    // AC-3 at a DVD's usual rate, its frames straddling the program stream's packs.
    a.ctx->bit_rate = s.audioCodec == "ac3" ? 448'000 : 64'000LL * s.audioChannels;
    a.ctx->time_base = AVRational{1, s.audioRate};
    if (oc->oformat->flags & AVFMT_GLOBALHEADER)
        a.ctx->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    if (avcodec_open2(a.ctx, codec, nullptr) < 0 ||
        avcodec_parameters_from_context(a.st->codecpar, a.ctx) < 0)
        return "cannot open encoder " + s.audioCodec;
    a.st->time_base = a.ctx->time_base;
    a.frame = av_frame_alloc();
    a.frame->format = a.ctx->sample_fmt;
    a.frame->nb_samples = a.ctx->frame_size > 0 ? a.ctx->frame_size : 1024;
    a.frame->sample_rate = s.audioRate;
    av_channel_layout_copy(&a.frame->ch_layout, &a.ctx->ch_layout);
    if (av_frame_get_buffer(a.frame, 0) < 0)
        return "audio frame buffer";
    return {};
}

// Encodes sound up to `until` seconds, so that the streams stay interleaved.
inline bool writeAudio(AudioTrack& a, double until, AVFormatContext* oc, AVPacket* pkt)
{
    while (static_cast<double>(a.next) / a.ctx->sample_rate < until) {
        av_frame_make_writable(a.frame);
        fillAudio(a.frame, a.next, a.ctx->sample_rate);
        a.frame->pts = a.next;
        a.next += a.frame->nb_samples;
        if (avcodec_send_frame(a.ctx, a.frame) < 0 || !drain(a.ctx, oc, a.st, pkt))
            return false;
    }
    return true;
}

inline void addChapters(const MovieSpec& s, AVFormatContext* oc, double seconds)
{
    for (std::size_t i = 0; i < s.chapterStarts.size(); ++i) {
        auto* ch = static_cast<AVChapter*>(av_mallocz(sizeof(AVChapter)));
        auto** grown = static_cast<AVChapter**>(
            av_realloc_array(oc->chapters, oc->nb_chapters + 1, sizeof(AVChapter*)));
        if (!ch || !grown) {
            av_free(ch);
            return;
        }
        oc->chapters = grown;
        ch->id = static_cast<std::int64_t>(i + 1);
        ch->time_base = AVRational{1, 1000};
        ch->start = std::llround(s.chapterStarts[i] * 1000);
        ch->end = std::llround((i + 1 < s.chapterStarts.size() ? s.chapterStarts[i + 1] : seconds) *
                               1000);
        oc->chapters[oc->nb_chapters++] = ch;
    }
}

} // namespace moviemaker_detail

// Empty string on success, else what failed.
inline std::string MakeMovie(const MovieSpec& s)
{
    using namespace moviemaker_detail;
    av_log_set_level(AV_LOG_ERROR);
    const AVCodec* codec = avcodec_find_encoder_by_name(s.codec.c_str());
    if (!codec)
        return "no encoder " + s.codec;
    AVFormatContext* oc = nullptr;
    if (avformat_alloc_output_context2(&oc, nullptr, s.format.empty() ? nullptr : s.format.c_str(),
                                       s.path.c_str()) < 0 ||
        !oc)
        return "no container for " + s.path;
    std::string error;
    AVCodecContext* ctx = avcodec_alloc_context3(codec);
    AVFrame* frame = av_frame_alloc();
    AVPacket* pkt = av_packet_alloc();
    AVStream* st = avformat_new_stream(oc, nullptr);
    ctx->width = s.width;
    ctx->height = s.height;
    ctx->time_base = AVRational{s.fpsBase, s.fps};
    ctx->framerate = AVRational{s.fps, s.fpsBase};
    ctx->pix_fmt = AV_PIX_FMT_YUV420P;
    ctx->gop_size = s.gop;
    ctx->sample_aspect_ratio = AVRational{s.sarNum, s.sarDen};
    st->sample_aspect_ratio = ctx->sample_aspect_ratio;
    ctx->max_b_frames = s.bFrames;
    if (s.videoBitRate > 0) {
        // Within what a DVD player accepts, so that the file may be copied onto a disc.
        ctx->bit_rate = s.videoBitRate;
        ctx->rc_max_rate = 9'000'000;
        ctx->rc_buffer_size = 1'835'008;
        av_opt_set_int(ctx, "sc_threshold", 1000000000, AV_OPT_SEARCH_CHILDREN);
    } else if (s.codec == "libx264") {
        av_opt_set(ctx->priv_data, "preset", "veryfast", 0);
        av_opt_set(ctx->priv_data, "crf", "20", 0);
        av_opt_set(ctx->priv_data, "x264-params", "scenecut=0", 0);
        ctx->keyint_min = s.gop;
    } else {
        ctx->flags |= AV_CODEC_FLAG_QSCALE;
        ctx->global_quality = FF_QP2LAMBDA * 4;
        av_opt_set_int(ctx, "sc_threshold", 1000000000, AV_OPT_SEARCH_CHILDREN);
    }
    if (oc->oformat->flags & AVFMT_GLOBALHEADER)
        ctx->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    const double seconds = static_cast<double>(s.frames) * s.fpsBase / s.fps;
    AudioTrack audio;
    addChapters(s, oc, seconds);
    if (avcodec_open2(ctx, codec, nullptr) < 0)
        error = "cannot open encoder " + s.codec;
    else if (avcodec_parameters_from_context(st->codecpar, ctx) < 0)
        error = "codec parameters";
    else if (s.audioChannels > 0)
        error = openAudio(s, oc, audio);
    if (error.empty() && (s.displayRotation != 0 || s.displayMirror)) {
        auto* matrix = reinterpret_cast<std::int32_t*>(
            av_stream_new_side_data(st, AV_PKT_DATA_DISPLAYMATRIX, 9 * sizeof(std::int32_t)));
        if (!matrix)
            error = "display matrix";
        else {
            av_display_rotation_set(matrix, s.displayRotation);
            if (s.displayMirror)
                av_display_matrix_flip(matrix, 1, 0);
        }
    }
    if (error.empty()) {
        st->time_base = ctx->time_base;
        // As a DVD's program stream is muxed: packets may wait 0.7 s for their turn.
        oc->max_delay = 700'000;
        if (s.format == "dvd")
            av_opt_set_int(oc->priv_data, "muxrate", 10'080'000, 0);
        if (avio_open(&oc->pb, s.path.c_str(), AVIO_FLAG_WRITE) < 0)
            error = "cannot create " + s.path;
        else if (avformat_write_header(oc, nullptr) < 0)
            error = "cannot write header";
        else {
            frame->format = ctx->pix_fmt;
            frame->width = s.width;
            frame->height = s.height;
            if (av_frame_get_buffer(frame, 0) < 0)
                error = "frame buffer";
            for (int i = 0; error.empty() && i < s.frames; ++i) {
                av_frame_make_writable(frame);
                if (s.paint)
                    s.paint(frame, i);
                else
                    fillFrame(frame, s, i);
                frame->pts = i;
                if (avcodec_send_frame(ctx, frame) < 0 || !drain(ctx, oc, st, pkt))
                    error = "encoding failed";
                else if (audio.ctx &&
                         !writeAudio(audio, static_cast<double>(i + 1) * s.fpsBase / s.fps, oc,
                                     pkt))
                    error = "audio encoding failed";
            }
            if (error.empty() && (avcodec_send_frame(ctx, nullptr) < 0 || !drain(ctx, oc, st, pkt)))
                error = "flushing failed";
            if (error.empty() && audio.ctx &&
                (avcodec_send_frame(audio.ctx, nullptr) < 0 ||
                 !drain(audio.ctx, oc, audio.st, pkt)))
                error = "audio flushing failed";
            if (av_write_trailer(oc) < 0 && error.empty())
                error = "cannot write trailer";
        }
        avio_closep(&oc->pb);
    }
    av_packet_free(&pkt);
    av_frame_free(&frame);
    av_frame_free(&audio.frame);
    avcodec_free_context(&audio.ctx);
    avcodec_free_context(&ctx);
    avformat_free_context(oc);
    return error;
}
