#include "titlemux.h"

#include "base/failure.h"
#include "thumbs/mediaerror.h"

extern "C" {
#include <libavutil/opt.h>
}

namespace {

constexpr int kPackBytes = 2048;
constexpr std::int64_t kMuxRate = 10'080'000;
// How long a packet may wait in the multiplex, in microseconds (as DVD authoring tools do).
constexpr int kMaxDelay = 700'000;

// The system's reason where FFmpeg passes one on (a full disk), else FFmpeg's.
[[noreturn]] void fail(const std::string& path, int code)
{
    const int error = AVUNERROR(code);
    if (error > 0 && error < 4096)
        throw Failure::FromErrno("Cannot write file " + path, error);
    throw Failure("Cannot write file " + path, MediaErrorText(code));
}

} // namespace

TitleMux::TitleMux(const std::string& path) : m_output(path), m_path(path)
{
    if (avformat_alloc_output_context2(&m_fmt, nullptr, "dvd", nullptr) < 0 || !m_fmt)
        throw Failure("Cannot write file " + path, "FFmpeg has no DVD program stream muxer");
    m_fmt->pb = m_output.io();
    m_fmt->flags |= AVFMT_FLAG_CUSTOM_IO;
    m_fmt->packet_size = kPackBytes;
    m_fmt->max_delay = kMaxDelay;
    av_opt_set_int(m_fmt->priv_data, "muxrate", kMuxRate, 0);
}

TitleMux::~TitleMux()
{
    avformat_free_context(m_fmt);
}

int TitleMux::addStream(const AVCodecParameters* par, AVRational timeBase)
{
    AVStream* st = avformat_new_stream(m_fmt, nullptr);
    if (!st || avcodec_parameters_copy(st->codecpar, par) < 0)
        throw MediaError(AVERROR(ENOMEM));
    st->codecpar->codec_tag = 0;
    st->time_base = timeBase;
    m_timeBases.push_back(timeBase);
    m_lastDts.push_back(AV_NOPTS_VALUE);
    return st->index;
}

void TitleMux::start()
{
    const int r = avformat_write_header(m_fmt, nullptr);
    if (r < 0)
        fail(m_path, r);
}

void TitleMux::write(AVPacket* packet, int stream)
{
    packet->stream_index = stream;
    av_packet_rescale_ts(packet, m_timeBases[stream], m_fmt->streams[stream]->time_base);
    packet->pos = -1;
    // Copied sound may repeat a timestamp where one PES packet's frames are parsed apart;
    // a tick later is inaudible, and the muxer refuses the repeat.
    if (packet->dts != AV_NOPTS_VALUE) {
        if (m_lastDts[stream] != AV_NOPTS_VALUE && packet->dts <= m_lastDts[stream])
            packet->dts = m_lastDts[stream] + 1;
        if (packet->pts != AV_NOPTS_VALUE && packet->pts < packet->dts)
            packet->pts = packet->dts;
        m_lastDts[stream] = packet->dts;
    }
    const int r = av_interleaved_write_frame(m_fmt, packet);
    if (r < 0)
        fail(m_path, r);
}

void TitleMux::finish()
{
    const int r = av_write_trailer(m_fmt);
    if (r < 0)
        fail(m_path, r);
    m_output.commit();
}
