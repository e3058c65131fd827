#include "streamscan.h"

#include "packclock.h"
#include "picturemeasure.h"
#include "videoheaders.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

#include <algorithm>
#include <cstring>
#include <exception>
#include <map>
#include <memory>

namespace {

constexpr std::size_t kSector = 2048;
constexpr std::size_t kReadSectors = 32;
constexpr int kAudioPacketsTried = 16;

// The sectors as FFmpeg reads them; the pack headers are counted on the way. A failure
// of the source is kept and thrown once FFmpeg has let go.
class SectorReader {
public:
    SectorReader(SectorSource& source, const StreamScanRequest& request)
        : m_source(source), m_deadline(request.deadline), m_buffer(kReadSectors * kSector)
    {
    }
    static int read(void* opaque, std::uint8_t* out, int size)
    {
        return static_cast<SectorReader*>(opaque)->readInto(out, size);
    }
    static int interrupt(void* opaque)
    {
        auto* self = static_cast<SectorReader*>(opaque);
        if (std::chrono::steady_clock::now() >= self->m_deadline)
            self->m_timedOut = true;
        return self->m_timedOut || self->m_error;
    }
    bool timedOut() const { return m_timedOut; }
    void rethrow() const
    {
        if (m_error)
            std::rethrow_exception(m_error);
    }
    const PackClock& packs() const { return m_packs; }

private:
    int readInto(std::uint8_t* out, int size)
    {
        if (m_at == m_filled && !refill())
            return m_error ? AVERROR_EXIT : AVERROR_EOF;
        const std::size_t n = std::min(static_cast<std::size_t>(size), m_filled - m_at);
        std::memcpy(out, m_buffer.data() + m_at, n);
        m_at += n;
        return static_cast<int>(n);
    }
    bool refill()
    {
        try {
            const std::size_t sectors = m_source.read(m_buffer.data(), kReadSectors);
            for (std::size_t s = 0; s < sectors; ++s)
                m_packs.sector(m_buffer.data() + s * kSector);
            m_at = 0;
            m_filled = sectors * kSector;
            return sectors > 0;
        } catch (...) {
            m_error = std::current_exception();
            return false;
        }
    }

    SectorSource& m_source;
    std::chrono::steady_clock::time_point m_deadline;
    std::vector<std::uint8_t> m_buffer;
    std::size_t m_at = 0;
    std::size_t m_filled = 0;
    PackClock m_packs;
    std::exception_ptr m_error;
    bool m_timedOut = false;
};

struct FormatCloser {
    void operator()(AVFormatContext* c) const { avformat_close_input(&c); }
};
struct IoCloser {
    void operator()(AVIOContext* c) const
    {
        av_freep(&c->buffer);
        avio_context_free(&c);
    }
};
struct CodecCloser {
    void operator()(AVCodecContext* c) const { avcodec_free_context(&c); }
};
struct PacketFree {
    void operator()(AVPacket* p) const { av_packet_free(&p); }
};
struct FrameFree {
    void operator()(AVFrame* f) const { av_frame_free(&f); }
};
using Codec = std::unique_ptr<AVCodecContext, CodecCloser>;
using Frame = std::unique_ptr<AVFrame, FrameFree>;

Codec OpenDecoder(const AVCodecParameters* parameters)
{
    const AVCodec* codec = avcodec_find_decoder(parameters->codec_id);
    Codec context(codec ? avcodec_alloc_context3(codec) : nullptr);
    if (!context || avcodec_parameters_to_context(context.get(), parameters) < 0)
        return nullptr;
    context->thread_count = 1;
    if (avcodec_open2(context.get(), codec, nullptr) < 0)
        return nullptr;
    return context;
}

AudioFacts DescribeAudio(AVCodecID id)
{
    switch (id) {
    case AV_CODEC_ID_AC3:
        return {"AC-3", true, true, 0};
    case AV_CODEC_ID_PCM_DVD:
        return {"LPCM", true, true, 0};
    case AV_CODEC_ID_DTS:
        return {"DTS", true, false, 0};
    case AV_CODEC_ID_MP1:
    case AV_CODEC_ID_MP2:
        return {"MPEG audio", true, false, 0};
    default: {
        const char* name = avcodec_get_name(id);
        return {name ? name : "unknown", false, false, 0};
    }
    }
}

// One sound track: its first packets decoded for the rate it really plays at.
struct AudioTrack {
    std::size_t index; // into facts.audio
    Codec decoder;
    int tries = 0;
};

// Whole GOPs decoded at points spread over the stream; each picture measured.
class PictureSampler {
public:
    PictureSampler(VideoFacts& facts, const AVCodecParameters* parameters)
        : m_facts(facts), m_decoder(OpenDecoder(parameters)), m_frame(av_frame_alloc()),
          m_previous(av_frame_alloc())
    {
    }
    bool sampling() const { return m_sampling; }
    void start()
    {
        if (!m_decoder || !m_frame || !m_previous)
            return;
        avcodec_flush_buffers(m_decoder.get());
        av_frame_unref(m_previous.get());
        m_sampling = true;
    }
    void feed(const AVPacket* packet)
    {
        if (m_sampling && avcodec_send_packet(m_decoder.get(), packet) >= 0)
            receive();
    }
    void stop()
    {
        if (!m_sampling)
            return;
        if (avcodec_send_packet(m_decoder.get(), nullptr) >= 0)
            receive();
        m_sampling = false;
    }

private:
    void receive()
    {
        while (avcodec_receive_frame(m_decoder.get(), m_frame.get()) >= 0) {
            measure(*m_frame);
            if (m_previous->data[0])
                fieldOrder(*m_previous, *m_frame);
            av_frame_unref(m_previous.get());
            av_frame_move_ref(m_previous.get(), m_frame.get());
        }
    }
    void measure(const AVFrame& frame)
    {
        if (frame.format != AV_PIX_FMT_YUV420P && frame.format != AV_PIX_FMT_YUV422P)
            return;
        ++m_facts.sampledPictures;
        const ActiveArea area =
            MeasureActiveArea(frame.data[0], frame.linesize[0], frame.width, frame.height);
        if (!area.empty()) {
            const bool first = m_facts.activeRight <= m_facts.activeLeft;
            m_facts.activeLeft = first ? area.left : std::min(m_facts.activeLeft, area.left);
            m_facts.activeTop = first ? area.top : std::min(m_facts.activeTop, area.top);
            m_facts.activeRight = std::max(m_facts.activeRight, area.right);
            m_facts.activeBottom = std::max(m_facts.activeBottom, area.bottom);
        }
        if (frame.interlaced_frame)
            return;
        ++m_facts.sampledProgressive;
        if (!area.empty() && Combs(frame.data[0], frame.linesize[0], area))
            ++m_facts.combedProgressive;
    }

    // Pictures in display order, from one GOP: do their fields move in the flagged order?
    void fieldOrder(const AVFrame& earlier, const AVFrame& later)
    {
        if (!earlier.interlaced_frame || !later.interlaced_frame || earlier.width != later.width ||
            earlier.height != later.height)
            return;
        const int first = FirstField(earlier.data[0], earlier.linesize[0], later.data[0],
                                     later.linesize[0], earlier.width, earlier.height);
        if (first == 0)
            return;
        ++m_facts.fieldOrderPairs;
        if ((first > 0) != (earlier.top_field_first != 0))
            ++m_facts.fieldOrderWrong;
    }

    VideoFacts& m_facts;
    Codec m_decoder;
    Frame m_frame;
    Frame m_previous;
    bool m_sampling = false;
};

// Everything read from the demuxed packets.
class PacketScan {
public:
    PacketScan(StreamFacts& facts, const StreamScanRequest& request)
        : m_facts(facts), m_headers(facts.video, request.cellStarts),
          m_sampleEvery(std::max<std::uint64_t>(
              request.sectors * kSector / std::max(request.sampledGops, 1), 1))
    {
    }
    void packet(const AVFormatContext& format, const AVPacket& packet)
    {
        if (packet.stream_index < 0 ||
            static_cast<unsigned>(packet.stream_index) >= format.nb_streams)
            return;
        const AVStream& stream = *format.streams[packet.stream_index];
        if (m_video < 0 && (stream.codecpar->codec_id == AV_CODEC_ID_MPEG2VIDEO ||
                            stream.codecpar->codec_id == AV_CODEC_ID_MPEG1VIDEO)) {
            m_video = packet.stream_index;
            m_sampler = std::make_unique<PictureSampler>(m_facts.video, stream.codecpar);
        }
        if (packet.stream_index == m_video)
            video(packet);
        else if (stream.codecpar->codec_type == AVMEDIA_TYPE_AUDIO)
            audio(stream, packet);
        else if (stream.codecpar->codec_type == AVMEDIA_TYPE_SUBTITLE)
            m_subpictures[packet.stream_index] = true;
    }
    void finish()
    {
        if (m_sampler)
            m_sampler->stop();
        m_headers.finish();
        m_facts.seconds = m_headers.seconds();
        m_facts.subpictures = static_cast<int>(m_subpictures.size());
    }

private:
    void video(const AVPacket& packet)
    {
        const bool opensGop =
            m_headers.picture(packet.data, static_cast<std::size_t>(packet.size), packet.pos);
        if (opensGop) {
            m_sampler->stop();
            const std::uint64_t at = packet.pos < 0 ? 0 : static_cast<std::uint64_t>(packet.pos);
            if (at >= m_nextSample) {
                m_sampler->start();
                m_nextSample = (at / m_sampleEvery + 1) * m_sampleEvery;
            }
        }
        m_sampler->feed(&packet);
    }
    void audio(const AVStream& stream, const AVPacket& packet)
    {
        auto found = m_audio.find(packet.stream_index);
        if (found == m_audio.end()) {
            m_facts.audio.push_back(DescribeAudio(stream.codecpar->codec_id));
            found = m_audio
                        .emplace(packet.stream_index,
                                 AudioTrack{m_facts.audio.size() - 1, OpenDecoder(stream.codecpar)})
                        .first;
        }
        AudioTrack& track = found->second;
        AudioFacts& facts = m_facts.audio[track.index];
        if (!track.decoder || facts.sampleRate > 0 || track.tries++ >= kAudioPacketsTried)
            return;
        Frame frame(av_frame_alloc());
        if (frame && avcodec_send_packet(track.decoder.get(), &packet) >= 0 &&
            avcodec_receive_frame(track.decoder.get(), frame.get()) >= 0)
            facts.sampleRate = frame->sample_rate;
    }

    StreamFacts& m_facts;
    VideoHeaderScan m_headers;
    std::unique_ptr<PictureSampler> m_sampler;
    int m_video = -1;
    std::map<int, AudioTrack> m_audio;
    std::map<int, bool> m_subpictures;
    std::uint64_t m_sampleEvery;
    std::uint64_t m_nextSample = 0;
};

void Demux(SectorReader& reader, StreamFacts& facts, const StreamScanRequest& request)
{
    constexpr int kIoBytes = static_cast<int>(kReadSectors * kSector);
    auto* buffer = static_cast<std::uint8_t*>(av_malloc(kIoBytes));
    std::unique_ptr<AVIOContext, IoCloser> io(
        buffer
            ? avio_alloc_context(buffer, kIoBytes, 0, &reader, SectorReader::read, nullptr, nullptr)
            : nullptr);
    if (!io) {
        av_free(buffer);
        facts.error = "out of memory";
        return;
    }
    AVFormatContext* raw = avformat_alloc_context();
    if (!raw) {
        facts.error = "out of memory";
        return;
    }
    raw->pb = io.get();
    raw->flags |= AVFMT_FLAG_CUSTOM_IO;
    raw->interrupt_callback = {SectorReader::interrupt, &reader};
    if (avformat_open_input(&raw, nullptr, av_find_input_format("mpeg"), nullptr) < 0) {
        facts.error = "it is no MPEG program stream";
        return; // avformat_open_input frees the context on failure
    }
    std::unique_ptr<AVFormatContext, FormatCloser> format(raw);
    PacketScan scan(facts, request);
    std::unique_ptr<AVPacket, PacketFree> packet(av_packet_alloc());
    while (packet && av_read_frame(format.get(), packet.get()) >= 0) {
        scan.packet(*format, *packet);
        av_packet_unref(packet.get());
        if (SectorReader::interrupt(&reader))
            break;
    }
    scan.finish();
}

} // namespace

StreamFacts ScanDiscStream(SectorSource& source, const StreamScanRequest& request)
{
    StreamFacts facts;
    SectorReader reader(source, request);
    Demux(reader, facts, request);
    reader.rethrow();
    facts.timedOut = reader.timedOut();
    facts.muxRateField = reader.packs().declaredPeak();
    facts.peakMuxRate = reader.packs().measuredPeak();
    return facts;
}
