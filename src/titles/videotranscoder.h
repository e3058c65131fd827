#pragma once

#include "discgeometry.h"
#include "framequeue.h"
#include "mpeg2settings.h"
#include "picturefilter.h"

#include "thumbs/ffmpegptr.h"

extern "C" {
#include <libavformat/avformat.h>
}

#include <functional>
#include <memory>
#include <vector>

// A movie's video made into the disc's: each decoded picture stood upright and scaled to
// its display shape inside the 4:3 or 16:9 frame (padded black, never stretched), the
// frame rate met by repeating or dropping pictures, and MPEG-2 within the limits of a DVD
// player. Interlaced pictures at the disc's rate stay interlaced, scaled field by field;
// at any other rate their fields are woven into whole pictures first.
class VideoTranscoder {
public:
    // Encoded packets, in encoder()->time_base, from the encoder's own thread.
    using Sink = std::function<void(AVPacket*)>;

    struct Settings {
        DiscSystem system = DiscSystem::Pal;
        bool widescreen = false;
        std::int64_t bitRate = 0;
        std::int64_t maxBitRate = 0;
        int threads = 1;
        double seconds = 0;                   // the length the movie's header gives
        std::int64_t origin = AV_NOPTS_VALUE; // the title's start in the stream's ticks
        FieldOrder fields = FieldOrder::Progressive;
        std::vector<double> chapterStarts; // seconds from the title's start
    };

    VideoTranscoder(AVFormatContext* fmt, int stream, const Settings& settings, Sink sink);

    const AVCodecContext* encoder() const { return m_encoder.get(); }
    void feed(const AVPacket* packet);
    // The last picture is held for its own time, or until `soundEnd` seconds where the
    // sound goes on after it (a still picture under music).
    void finish(double soundEnd = 0);
    // Seconds of the title made so far.
    double secondsOut() const;
    // Packets the decoder refused and pictures it marked as damaged.
    int decodeErrors() const { return m_errors; }

private:
    void openDecoder(AVFormatContext* fmt, AVStream* st);
    void openEncoder();
    void planFields(AVFormatContext* fmt, AVStream* st);
    void placePicture(AVFormatContext* fmt, AVStream* st);
    void receiveDecoded();
    void filtered();
    void scaleInto(const AVFrame* decoded, AVFrame* out);
    void arrive(FramePtr decoded);
    void emitHeld(std::int64_t untilSlot);
    FramePtr scaled(const AVFrame* decoded);
    void poolPicture(AVFrame* out);
    void encode(const AVFrame* frame); // on the encoder's thread

    Settings m_settings;
    DiscFrame m_frame;
    Sink m_sink;
    ChapterPictures m_chapters;
    AVRational m_inTimeBase{1, 1};
    std::int64_t m_origin = AV_NOPTS_VALUE; // the first picture's time, input ticks
    CodecPtr m_decoder;
    CodecPtr m_encoder;
    struct PoolFreer {
        void operator()(AVBufferPool* p) const { av_buffer_pool_uninit(&p); }
    };
    // Pictures at the disc's size; a buffer goes back when the encoder lets it go.
    std::unique_ptr<AVBufferPool, PoolFreer> m_pool;
    SwsPtr m_sws;
    int m_swsRange = -1; // the source range m_sws is set up for (1: full)
    FramePtr m_decoded;
    PacketPtr m_packet;
    FramePtr m_held;       // the latest picture, decoded, until a slot shows it
    FramePtr m_heldScaled; // the same at the disc's frame, once scaled
    std::int64_t m_heldSlot = 0;
    std::int64_t m_nextSlot = 0;            // output pictures made so far
    std::int64_t m_lastSlot = 0;            // the most output pictures a title may have
    std::int64_t m_heldEnd = 0;             // the slot where the held picture's time ends
    std::int64_t m_pictureTicks = 0;        // one source picture's time, input ticks
    int m_x = 0, m_y = 0, m_w = 0, m_h = 0; // the picture's place in the frame
    DisplayOrientation m_orientation;
    bool m_keepFields = false; // encoded interlaced, as the movie was taken
    bool m_topFirst = true;
    std::unique_ptr<PictureFilter> m_filter; // none: pictures go on as decoded
    int m_errors = 0;
    std::unique_ptr<EncoderThread> m_encoding; // last: stopped before the rest goes
};
