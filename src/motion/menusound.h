#pragma once

#include "thumbs/ffmpegptr.h"

#include <chrono>
#include <string>
#include <vector>

// The menu's sound as AC-3 at 48 kHz stereo, encoded whole before the pictures (it is
// small: 192 kb/s): the music file's first sound cut or looped to the length with a fade
// at both ends, or silence when `music` is empty. Throws Failure naming the file.
class MenuSound {
public:
    MenuSound(const std::string& music, double seconds,
              std::chrono::steady_clock::time_point deadline);

    const AVCodecContext* encoder() const { return m_encoder.get(); }
    // Encoded packets in order, in encoder()->time_base.
    std::vector<PacketPtr>& packets() { return m_packets; }

private:
    void encode(const std::vector<float>& samples);

    CodecPtr m_encoder;
    std::vector<PacketPtr> m_packets;
};

// `seconds` of the sound of `path` as interleaved stereo floats at 48 kHz, looped when
// shorter, faded in and out. Throws Failure.
std::vector<float> DecodeMenuMusic(const std::string& path, double seconds,
                                   std::chrono::steady_clock::time_point deadline);
