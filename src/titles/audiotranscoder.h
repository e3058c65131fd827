#pragma once

#include "thumbs/ffmpegptr.h"

extern "C" {
#include <libavformat/avformat.h>
#include <libavutil/audio_fifo.h>
#include <libswresample/swresample.h>
}

#include <functional>
#include <memory>

// A movie's sound made into the disc's: AC-3 at 48 kHz, stereo at 192 kb/s or 5.1 at
// 448 kb/s, starting with the title's first picture; silence for a movie without sound.
class AudioTranscoder {
public:
    using Sink = std::function<void(AVPacket*)>; // encoded packets, in encoder()->time_base

    // `stream` -1: a silent stereo track.
    AudioTranscoder(AVFormatContext* fmt, int stream, int channels, std::int64_t bitRate,
                    Sink sink);
    ~AudioTranscoder();

    const AVCodecContext* encoder() const { return m_encoder.get(); }
    // `origin`: the title's first picture in the sound's time base.
    void feed(const AVPacket* packet, std::int64_t origin);
    // Silence up to `seconds` where the sound has not reached it (and at the end).
    void padTo(double seconds);
    void finish(double seconds);

private:
    void openDecoder(AVStream* st);
    void openEncoder(int channels, std::int64_t bitRate);
    void receiveDecoded(std::int64_t origin);
    void encodeWhole(bool last);

    Sink m_sink;
    CodecPtr m_decoder;
    CodecPtr m_encoder;
    SwrContext* m_swr = nullptr;
    AVAudioFifo* m_fifo = nullptr;
    FramePtr m_decoded;
    FramePtr m_chunk;
    PacketPtr m_packet;
    AVRational m_inTimeBase{1, 1};
    std::int64_t m_written = 0; // samples given to the encoder
    std::int64_t m_skip = 0;    // samples still to drop from an early start
    bool m_started = false;
};
