#pragma once

#include "titleoutput.h"

extern "C" {
#include <libavformat/avformat.h>
}

#include <string>
#include <vector>

// The DVD program stream of one title: 2048-byte packs at 10.08 Mb/s, the way dvdauthor
// takes them, written through a TitleOutput.
class TitleMux {
public:
    explicit TitleMux(const std::string& path);
    ~TitleMux();
    TitleMux(const TitleMux&) = delete;
    TitleMux& operator=(const TitleMux&) = delete;

    // Adds a stream with `par`; its packets come in `timeBase`. Returns its index.
    int addStream(const AVCodecParameters* par, AVRational timeBase);
    void start();
    // Takes the packet's data (it is unreferenced), stamped in its stream's time base.
    void write(AVPacket* packet, int stream);
    // Writes the end and gives the file its name.
    void finish();

private:
    TitleOutput m_output;
    AVFormatContext* m_fmt = nullptr;
    std::vector<AVRational> m_timeBases; // of the packets given, by stream
    std::vector<std::int64_t> m_lastDts;
    std::string m_path;
};
