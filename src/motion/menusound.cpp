#include "menusound.h"

#include "base/fileio.h"
#include "thumbs/mediaerror.h"
#include "thumbs/moviefailure.h"
#include "thumbs/movieinput.h"

extern "C" {
#include <libavutil/channel_layout.h>
#include <libswresample/swresample.h>
}

#include <algorithm>
#include <cmath>

namespace {

constexpr int kRate = 48'000;
constexpr int kBitRate = 192'000;
constexpr int kOpenBudgetMs = 10'000;
constexpr double kFadeSeconds = 0.5;
// Where a short piece repeats, a quick fade keeps the seam from clicking.
constexpr double kSeamSeconds = 0.01;

struct SwrFreer {
    void operator()(SwrContext* p) const { swr_free(&p); }
};

// Appends what `in` holds, as stereo 48 kHz, up to `want` frames in all.
void convert(SwrContext* swr, const AVFrame* in, std::vector<float>& out, std::size_t want)
{
    const int room = swr_get_out_samples(swr, in ? in->nb_samples : 0);
    MediaCheck(room);
    std::vector<float> chunk(static_cast<std::size_t>(room) * 2);
    auto* target = reinterpret_cast<std::uint8_t*>(chunk.data());
    const int made = swr_convert(swr, &target, room,
                                 in ? const_cast<const std::uint8_t**>(in->extended_data) : nullptr,
                                 in ? in->nb_samples : 0);
    MediaCheck(made);
    const std::size_t keep =
        std::min<std::size_t>(static_cast<std::size_t>(made), want - out.size() / 2);
    out.insert(out.end(), chunk.begin(), chunk.begin() + static_cast<std::ptrdiff_t>(keep * 2));
}

SwrContext* openResampler(const AVFrame* in)
{
    AVChannelLayout layout{};
    if (in->ch_layout.order == AV_CHANNEL_ORDER_UNSPEC)
        av_channel_layout_default(&layout, in->ch_layout.nb_channels);
    else
        MediaCheck(av_channel_layout_copy(&layout, &in->ch_layout));
    AVChannelLayout stereo = AV_CHANNEL_LAYOUT_STEREO;
    SwrContext* swr = nullptr;
    const int r =
        swr_alloc_set_opts2(&swr, &stereo, AV_SAMPLE_FMT_FLT, kRate, &layout,
                            static_cast<AVSampleFormat>(in->format), in->sample_rate, 0, nullptr);
    av_channel_layout_uninit(&layout);
    MediaCheck(r);
    if (swr_init(swr) < 0) {
        swr_free(&swr);
        throw MediaError(AVERROR(EINVAL));
    }
    return swr;
}

// The sound of the file's main audio track, until `want` frames are there or it ends.
std::vector<float> decodeSound(const std::string& path, std::size_t want,
                               std::chrono::steady_clock::time_point deadline)
{
    WorkBudget budget;
    budget.start(OpenBudgetMs(kOpenBudgetMs));
    budget.readLimit = WorkBudget::kHeaderReadLimit;
    FormatPtr input = OpenMovieInput(path, budget);
    budget.deadline = deadline;
    budget.readLimit = WorkBudget::kUnlimited;
    const int stream = av_find_best_stream(input.get(), AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0);
    if (stream < 0)
        throw Failure("", "it has no sound");
    const AVStream* st = input->streams[stream];
    const AVCodec* codec = avcodec_find_decoder(st->codecpar->codec_id);
    if (!codec)
        throw Failure("", "its sound format is not supported");
    CodecPtr decoder(MediaChecked(avcodec_alloc_context3(codec)));
    MediaCheck(avcodec_parameters_to_context(decoder.get(), st->codecpar));
    decoder->pkt_timebase = st->time_base;
    MediaCheck(avcodec_open2(decoder.get(), codec, nullptr));
    std::unique_ptr<SwrContext, SwrFreer> swr;
    PacketPtr packet(MediaChecked(av_packet_alloc()));
    FramePtr frame(MediaChecked(av_frame_alloc()));
    std::vector<float> sound;
    bool ended = false;
    while (!ended && sound.size() / 2 < want) {
        budget.check();
        const int r = av_read_frame(input.get(), packet.get());
        ended = r < 0;
        if (!ended && packet->stream_index != stream) {
            av_packet_unref(packet.get());
            continue;
        }
        avcodec_send_packet(decoder.get(), ended ? nullptr : packet.get());
        av_packet_unref(packet.get());
        while (sound.size() / 2 < want && avcodec_receive_frame(decoder.get(), frame.get()) == 0) {
            if (!swr)
                swr.reset(openResampler(frame.get()));
            convert(swr.get(), frame.get(), sound, want);
            av_frame_unref(frame.get());
        }
    }
    if (swr && sound.size() / 2 < want)
        convert(swr.get(), nullptr, sound, want);
    return sound;
}

// Multiplies the frames [from, from + length) by a gain rising from 0 to 1 (or falling).
void ramp(std::vector<float>& sound, std::size_t from, std::size_t length, bool rising)
{
    for (std::size_t i = 0; i < length && (from + i) * 2 + 1 < sound.size(); ++i) {
        const float t = static_cast<float>(i + 1) / static_cast<float>(length + 1);
        const float gain = rising ? t : 1.0f - t;
        sound[(from + i) * 2] *= gain;
        sound[(from + i) * 2 + 1] *= gain;
    }
}

} // namespace

std::vector<float> DecodeMenuMusic(const std::string& path, double seconds,
                                   std::chrono::steady_clock::time_point deadline)
{
    const std::string text = "Cannot use the menu music " + FileNameOf(path);
    const auto want = static_cast<std::size_t>(std::llround(seconds * kRate));
    std::vector<float> sound;
    try {
        QuietFFmpeg();
        sound = decodeSound(path, want, deadline);
    } catch (const MediaError& e) {
        const bool unknown =
            e.code() == AVERROR_INVALIDDATA || e.code() == AVERROR_DEMUXER_NOT_FOUND;
        throw Failure(text, unknown ? "it is no sound or movie file FFmpeg can read"
                                    : MovieFailureReason(e));
    } catch (const Failure& e) {
        throw Failure(text, e.detail());
    } catch (const std::bad_alloc& e) {
        throw Failure(text, MovieFailureReason(e));
    }
    const std::size_t got = sound.size() / 2;
    if (got == 0)
        throw Failure(text, "no sound could be decoded from it");
    if (got < want) {
        const auto seam = static_cast<std::size_t>(kSeamSeconds * kRate);
        ramp(sound, 0, std::min(seam, got / 4), true);
        ramp(sound, got - std::min(seam, got / 4), std::min(seam, got / 4), false);
        sound.resize(want * 2);
        for (std::size_t i = got * 2; i < want * 2; ++i)
            sound[i] = sound[i % (got * 2)];
    }
    const auto fade = std::min(static_cast<std::size_t>(kFadeSeconds * kRate), want / 4);
    ramp(sound, 0, fade, true);
    ramp(sound, want - fade, fade, false);
    return sound;
}

MenuSound::MenuSound(const std::string& music, double seconds,
                     std::chrono::steady_clock::time_point deadline)
{
    const auto frames = static_cast<std::size_t>(std::llround(seconds * kRate));
    encode(music.empty() ? std::vector<float>(frames * 2, 0.0f)
                         : DecodeMenuMusic(music, seconds, deadline));
}

void MenuSound::encode(const std::vector<float>& samples)
{
    const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_AC3);
    if (!codec)
        throw Failure("Menu stream", "this FFmpeg has no AC-3 encoder");
    m_encoder.reset(MediaChecked(avcodec_alloc_context3(codec)));
    AVCodecContext* c = m_encoder.get();
    c->sample_fmt = AV_SAMPLE_FMT_FLTP;
    c->sample_rate = kRate;
    c->time_base = AVRational{1, kRate};
    av_channel_layout_default(&c->ch_layout, 2);
    c->bit_rate = kBitRate;
    MediaCheck(avcodec_open2(c, codec, nullptr));
    FramePtr chunk(MediaChecked(av_frame_alloc()));
    chunk->format = AV_SAMPLE_FMT_FLTP;
    chunk->nb_samples = c->frame_size;
    chunk->sample_rate = kRate;
    MediaCheck(av_channel_layout_copy(&chunk->ch_layout, &c->ch_layout));
    MediaCheck(av_frame_get_buffer(chunk.get(), 0));
    const std::size_t frames = samples.size() / 2;
    const auto block = static_cast<std::size_t>(c->frame_size);
    for (std::size_t at = 0;; at += block) {
        const bool last = at >= frames;
        if (!last) {
            MediaCheck(av_frame_make_writable(chunk.get()));
            auto* left = reinterpret_cast<float*>(chunk->data[0]);
            auto* right = reinterpret_cast<float*>(chunk->data[1]);
            for (std::size_t i = 0; i < block; ++i) {
                const bool inside = at + i < frames;
                left[i] = inside ? samples[(at + i) * 2] : 0.0f;
                right[i] = inside ? samples[(at + i) * 2 + 1] : 0.0f;
            }
            chunk->pts = static_cast<std::int64_t>(at);
        }
        MediaCheck(avcodec_send_frame(c, last ? nullptr : chunk.get()));
        for (;;) {
            PacketPtr packet(MediaChecked(av_packet_alloc()));
            const int r = avcodec_receive_packet(c, packet.get());
            if (r == AVERROR(EAGAIN) || r == AVERROR_EOF)
                break;
            MediaCheck(r);
            m_packets.push_back(std::move(packet));
        }
        if (last)
            return;
    }
}
