#pragma once

#include "disc/discxml.h"
#include "thumbs/ffmpegptr.h"

extern "C" {
#include <libavformat/avformat.h>
}

#include <cstddef>
#include <memory>

class AtomicFile;
class EncoderThread;
class MenuSound;

// The moving menu's MPEG-2 encoder and the DVD muxer writing into `file`. Pictures are
// encoded on a thread of their own while the next ones are composed; the sound's packets
// are woven in beside the pictures of the same time.
class MotionMux {
public:
    MotionMux(const DiscFormat& format, AVRational rate, MenuSound& sound, AtomicFile& file);
    ~MotionMux();
    MotionMux(const MotionMux&) = delete;
    MotionMux& operator=(const MotionMux&) = delete;

    // A picture of the frame's size in the encoder's own layout, so it is not copied again.
    FramePtr newPicture();
    // Waits while the encoder is behind. Rethrows what the encoder threw.
    void push(FramePtr picture);
    // Flushes everything and writes the end; throws Failure unless all `frames` pictures
    // and the whole sound went out.
    void finish(int frames);

private:
    struct Muxer {
        void operator()(AVFormatContext* p) const;
    };
    void openEncoder(const DiscFormat& format, AVRational rate);
    void openMuxer(AtomicFile& file);
    void encode(const AVFrame* picture); // on the encoder's thread
    void writeSoundUntil(std::int64_t videoTicks);
    void write(AVPacket* packet);

    MenuSound& m_sound;
    CodecPtr m_encoder;
    std::unique_ptr<AVFormatContext, Muxer> m_muxer;
    AVStream* m_video = nullptr;
    AVStream* m_audio = nullptr;
    struct PoolFreer {
        void operator()(AVBufferPool* p) const { av_buffer_pool_uninit(&p); }
    };
    std::unique_ptr<AVBufferPool, PoolFreer> m_pool;
    int m_width = 0;
    int m_height = 0;
    PacketPtr m_packet;
    std::size_t m_nextSound = 0;
    int m_pictures = 0;                        // encoded pictures written
    std::unique_ptr<EncoderThread> m_encoding; // last: stopped before the rest goes
};
