#pragma once

// Writes small test movies with libavcodec's own encoders. Shared by the media and
// thumbnail dialog tests and the media benchmark.

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/opt.h>
}

#include "imageio/picture.h"

#include <cstdint>
#include <functional>
#include <string>

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
        for (int y = 0; y < s.height / 2; ++y)
            for (int x = 0; x < s.width / 2; ++x)
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
    if (avformat_alloc_output_context2(&oc, nullptr, nullptr, s.path.c_str()) < 0 || !oc)
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
    if (s.codec == "libx264") {
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
    if (avcodec_open2(ctx, codec, nullptr) < 0)
        error = "cannot open encoder " + s.codec;
    else if (avcodec_parameters_from_context(st->codecpar, ctx) < 0)
        error = "codec parameters";
    else {
        st->time_base = ctx->time_base;
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
            }
            if (error.empty() && (avcodec_send_frame(ctx, nullptr) < 0 || !drain(ctx, oc, st, pkt)))
                error = "flushing failed";
            if (av_write_trailer(oc) < 0 && error.empty())
                error = "cannot write trailer";
        }
        avio_closep(&oc->pb);
    }
    av_packet_free(&pkt);
    av_frame_free(&frame);
    avcodec_free_context(&ctx);
    avformat_free_context(oc);
    return error;
}
