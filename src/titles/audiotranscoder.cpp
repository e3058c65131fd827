#include "audiotranscoder.h"

#include "thumbs/mediaerror.h"

extern "C" {
#include <libavutil/channel_layout.h>
}

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

constexpr int kRate = 48'000;

} // namespace

AudioTranscoder::AudioTranscoder(AVFormatContext* fmt, int stream, int channels,
                                 std::int64_t bitRate, Sink sink)
    : m_sink(std::move(sink))
{
    m_decoded.reset(MediaChecked(av_frame_alloc()));
    m_chunk.reset(MediaChecked(av_frame_alloc()));
    m_packet.reset(MediaChecked(av_packet_alloc()));
    if (stream >= 0)
        openDecoder(fmt->streams[stream]);
    openEncoder(stream >= 0 ? channels : 2, bitRate);
    m_fifo = MediaChecked(av_audio_fifo_alloc(AV_SAMPLE_FMT_FLTP, m_encoder->ch_layout.nb_channels,
                                              m_encoder->frame_size * 4));
    m_chunk->format = AV_SAMPLE_FMT_FLTP;
    m_chunk->nb_samples = m_encoder->frame_size;
    m_chunk->sample_rate = kRate;
    MediaCheck(av_channel_layout_copy(&m_chunk->ch_layout, &m_encoder->ch_layout));
    MediaCheck(av_frame_get_buffer(m_chunk.get(), 0));
}

AudioTranscoder::~AudioTranscoder()
{
    swr_free(&m_swr);
    if (m_fifo)
        av_audio_fifo_free(m_fifo);
}

void AudioTranscoder::openDecoder(AVStream* st)
{
    const AVCodec* codec = avcodec_find_decoder(st->codecpar->codec_id);
    if (!codec)
        throw MediaError(AVERROR_DECODER_NOT_FOUND);
    m_decoder.reset(MediaChecked(avcodec_alloc_context3(codec)));
    MediaCheck(avcodec_parameters_to_context(m_decoder.get(), st->codecpar));
    m_decoder->pkt_timebase = st->time_base;
    m_inTimeBase = st->time_base;
    MediaCheck(avcodec_open2(m_decoder.get(), codec, nullptr));
}

void AudioTranscoder::openEncoder(int channels, std::int64_t bitRate)
{
    const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_AC3);
    if (!codec)
        throw MediaError(AVERROR_ENCODER_NOT_FOUND);
    m_encoder.reset(MediaChecked(avcodec_alloc_context3(codec)));
    AVCodecContext* c = m_encoder.get();
    c->sample_fmt = AV_SAMPLE_FMT_FLTP;
    c->sample_rate = kRate;
    c->time_base = AVRational{1, kRate};
    av_channel_layout_default(&c->ch_layout, channels == 6 ? 6 : 2);
    c->bit_rate = bitRate;
    MediaCheck(avcodec_open2(c, codec, nullptr));
}

void AudioTranscoder::feed(const AVPacket* packet, std::int64_t origin)
{
    if (!m_decoder)
        return;
    avcodec_send_packet(m_decoder.get(), packet); // a damaged packet is skipped
    receiveDecoded(origin);
}

void AudioTranscoder::receiveDecoded(std::int64_t origin)
{
    while (avcodec_receive_frame(m_decoder.get(), m_decoded.get()) == 0) {
        AVFrame* in = m_decoded.get();
        if (!m_swr) {
            AVChannelLayout layout{};
            if (in->ch_layout.order == AV_CHANNEL_ORDER_UNSPEC)
                av_channel_layout_default(&layout, in->ch_layout.nb_channels);
            else
                MediaCheck(av_channel_layout_copy(&layout, &in->ch_layout));
            const int r = swr_alloc_set_opts2(
                &m_swr, &m_encoder->ch_layout, AV_SAMPLE_FMT_FLTP, kRate, &layout,
                static_cast<AVSampleFormat>(in->format), in->sample_rate, 0, nullptr);
            av_channel_layout_uninit(&layout);
            MediaCheck(r);
            MediaCheck(swr_init(m_swr));
        }
        if (!m_started) {
            // The sound starts with the first picture: silence before a late start, and a
            // sound that starts early loses its beginning.
            m_started = true;
            const std::int64_t ts = in->best_effort_timestamp;
            if (ts != AV_NOPTS_VALUE && origin != AV_NOPTS_VALUE) {
                const double offset = (ts - origin) * av_q2d(m_inTimeBase);
                if (offset > 0)
                    padTo(std::min(offset, 10.0));
                else
                    m_skip = std::llround(std::min(-offset, 10.0) * kRate);
            }
        }
        const int room = swr_get_out_samples(m_swr, in->nb_samples);
        MediaCheck(room);
        MediaCheck(av_audio_fifo_realloc(m_fifo, av_audio_fifo_size(m_fifo) + room));
        std::vector<float> planes(static_cast<std::size_t>(room) *
                                  m_encoder->ch_layout.nb_channels);
        std::vector<std::uint8_t*> out;
        for (int c = 0; c < m_encoder->ch_layout.nb_channels; ++c)
            out.push_back(reinterpret_cast<std::uint8_t*>(planes.data() +
                                                          static_cast<std::size_t>(c) * room));
        const int made =
            swr_convert(m_swr, out.data(), room,
                        const_cast<const std::uint8_t**>(in->extended_data), in->nb_samples);
        MediaCheck(made);
        const int kept = static_cast<int>(std::max<std::int64_t>(0, made - m_skip));
        m_skip -= made - kept;
        for (auto& p : out)
            p += (made - kept) * sizeof(float);
        if (kept > 0)
            MediaCheck(av_audio_fifo_write(m_fifo, reinterpret_cast<void**>(out.data()), kept));
        av_frame_unref(in);
        encodeWhole(false);
    }
}

void AudioTranscoder::padTo(double seconds)
{
    const std::int64_t target = std::llround(seconds * kRate);
    std::int64_t missing = target - m_written - av_audio_fifo_size(m_fifo);
    const int channels = m_encoder->ch_layout.nb_channels;
    const int block = m_encoder->frame_size;
    std::vector<float> zeros(static_cast<std::size_t>(block), 0.0f);
    std::vector<void*> planes(static_cast<std::size_t>(channels), zeros.data());
    while (missing > 0) {
        const int n = static_cast<int>(std::min<std::int64_t>(missing, block));
        MediaCheck(av_audio_fifo_write(m_fifo, planes.data(), n));
        missing -= n;
        encodeWhole(false);
    }
}

void AudioTranscoder::encodeWhole(bool last)
{
    const int block = m_encoder->frame_size;
    while (av_audio_fifo_size(m_fifo) >= block || (last && av_audio_fifo_size(m_fifo) > 0)) {
        MediaCheck(av_frame_make_writable(m_chunk.get()));
        const int n = av_audio_fifo_read(m_fifo, reinterpret_cast<void**>(m_chunk->data), block);
        MediaCheck(n);
        for (int c = 0; n < block && c < m_encoder->ch_layout.nb_channels; ++c)
            std::fill(reinterpret_cast<float*>(m_chunk->data[c]) + n,
                      reinterpret_cast<float*>(m_chunk->data[c]) + block, 0.0f);
        m_chunk->pts = m_written;
        m_written += block;
        MediaCheck(avcodec_send_frame(m_encoder.get(), m_chunk.get()));
        int r;
        while ((r = avcodec_receive_packet(m_encoder.get(), m_packet.get())) == 0)
            m_sink(m_packet.get());
        if (r != AVERROR(EAGAIN))
            MediaCheck(r);
    }
}

void AudioTranscoder::finish(double seconds)
{
    if (m_decoder) {
        avcodec_send_packet(m_decoder.get(), nullptr);
        receiveDecoded(AV_NOPTS_VALUE);
    }
    padTo(seconds);
    encodeWhole(true);
    MediaCheck(avcodec_send_frame(m_encoder.get(), nullptr));
    int r;
    while ((r = avcodec_receive_packet(m_encoder.get(), m_packet.get())) == 0)
        m_sink(m_packet.get());
    if (r != AVERROR_EOF && r != AVERROR(EAGAIN))
        MediaCheck(r);
}
