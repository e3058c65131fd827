#include "titleencoder.h"

#include "audiotranscoder.h"
#include "packcopy.h"
#include "titleinput.h"
#include "titlemux.h"
#include "videotranscoder.h"

#include "thumbs/mediaerror.h"

#include <cstdlib>
#include <memory>
#include <mutex>
#include <optional>

namespace {

// One title from its movie to its program stream.
class TitleWriter {
public:
    TitleWriter(const TitleJob& job, const BitratePlan& plan, DiscSystem system, int threads,
                TitleControl& control)
        : m_job(job), m_control(control), m_mux(job.output)
    {
        m_fmt = OpenTitleMovie(job.info.movie, m_budget);
        m_budget.unlimited(control.stop); // a whole title takes as long as it takes
        m_streams = FindTitleStreams(m_fmt.get());
        m_soundOf.assign(m_fmt->nb_streams, -1);
        for (std::size_t t = 0; t < job.info.audio.size(); ++t) {
            const int stream = job.info.audio[t].stream;
            if (stream < 0 || stream >= static_cast<int>(m_fmt->nb_streams) ||
                m_fmt->streams[stream]->codecpar->codec_type != AVMEDIA_TYPE_AUDIO)
                throw MediaError(AVERROR_STREAM_NOT_FOUND); // not the movie that was probed
            m_soundOf[static_cast<std::size_t>(stream)] = static_cast<int>(t);
        }
        for (unsigned i = 0; i < m_fmt->nb_streams; ++i)
            if (static_cast<int>(i) != m_streams.video && m_soundOf[i] < 0)
                m_fmt->streams[i]->discard = AVDISCARD_ALL;
        const AVStream* video = m_fmt->streams[m_streams.video];
        m_origin = video->start_time != AV_NOPTS_VALUE ? video->start_time : 0;
        openVideo(plan, system, threads);
        openAudio();
        m_mux.start();
    }

    void run()
    {
        PacketPtr packet(MediaChecked(av_packet_alloc()));
        for (;;) {
            stopIfAsked();
            const int r = av_read_frame(m_fmt.get(), packet.get());
            stopIfAsked();
            if (r == AVERROR(EIO) || r == AVERROR(ENOMEM))
                throw MediaError(r);
            if (r < 0)
                break; // the end, or damage at the end: the title ends there
            const int index = packet->stream_index;
            if (index == m_streams.video)
                onVideo(packet.get());
            else if (index >= 0 && static_cast<std::size_t>(index) < m_soundOf.size() &&
                     m_soundOf[static_cast<std::size_t>(index)] >= 0)
                onAudio(
                    packet.get(),
                    m_sounds[static_cast<std::size_t>(m_soundOf[static_cast<std::size_t>(index)])]);
            av_packet_unref(packet.get());
        }
        // The sound ends with the pictures, where the movie's pictures end.
        double end = m_job.info.seconds;
        if (m_video) {
            m_video->finish(m_soundEnd);
            end = m_video->secondsOut();
            m_control.seconds = end;
            m_control.errors = m_video->decodeErrors();
        }
        for (Sound& sound : m_sounds)
            if (sound.coder)
                sound.coder->finish(end);
        m_mux.finish();
        m_control.done = 1;
    }

private:
    // The video encoder writes from its own thread.
    void write(AVPacket* p, int stream)
    {
        std::lock_guard<std::mutex> hold(m_muxLock);
        m_mux.write(p, stream);
    }

    void stopIfAsked() const
    {
        if (m_control.stop && m_control.stop->load(std::memory_order_relaxed))
            throw TitleStopped{};
    }

    void openVideo(const BitratePlan& plan, DiscSystem system, int threads)
    {
        const AVStream* in = m_fmt->streams[m_streams.video];
        if (m_job.info.copyVideo) {
            m_videoOut = m_mux.addStream(in->codecpar, in->time_base);
            return;
        }
        VideoTranscoder::Settings s;
        s.system = system;
        s.widescreen = m_job.info.widescreen;
        s.bitRate = plan.videoBitRate > 0 ? plan.videoBitRate : 6'000'000;
        s.maxBitRate = plan.maxVideoBitRate > 0 ? plan.maxVideoBitRate : 9'000'000;
        s.threads = threads;
        s.seconds = m_job.info.seconds;
        s.origin = m_origin;
        s.fields = m_job.info.fields;
        s.chapterStarts = m_job.info.chapterStarts;
        m_video = std::make_unique<VideoTranscoder>(m_fmt.get(), m_streams.video, s,
                                                    [this](AVPacket* p) { write(p, m_videoOut); });
        m_videoOut = addEncoded(m_video->encoder());
    }

    // The tracks in the disc's order: the player numbers them as they are added.
    void openAudio()
    {
        std::vector<TitleAudio> tracks = m_job.info.audio;
        if (tracks.empty())
            tracks.push_back({}); // silence, stereo
        m_sounds.resize(tracks.size());
        for (std::size_t t = 0; t < tracks.size(); ++t) {
            Sound& sound = m_sounds[t];
            sound.stream = tracks[t].stream;
            if (tracks[t].copy && sound.stream >= 0) {
                const AVStream* in = m_fmt->streams[sound.stream];
                sound.out = m_mux.addStream(in->codecpar, in->time_base);
                continue;
            }
            const std::int64_t rate = tracks[t].bitRate > 0 ? tracks[t].bitRate : 192'000;
            sound.coder = std::make_unique<AudioTranscoder>(
                m_fmt.get(), sound.stream, tracks[t].channels, rate,
                [this, &sound](AVPacket* p) { write(p, sound.out); });
            sound.out = addEncoded(sound.coder->encoder());
        }
    }

    int addEncoded(const AVCodecContext* encoder)
    {
        std::unique_ptr<AVCodecParameters, void (*)(AVCodecParameters*)> par(
            MediaChecked(avcodec_parameters_alloc()),
            [](AVCodecParameters* p) { avcodec_parameters_free(&p); });
        if (avcodec_parameters_from_context(par.get(), encoder) < 0)
            throw MediaError(AVERROR(ENOMEM));
        return m_mux.addStream(par.get(), encoder->time_base);
    }

    // Copied packets are moved to the title's start, like the encoded ones.
    bool shiftToStart(AVPacket* p, AVRational timeBase)
    {
        const std::int64_t origin =
            av_rescale_q(m_origin, m_fmt->streams[m_streams.video]->time_base, timeBase);
        if (p->pts != AV_NOPTS_VALUE)
            p->pts -= origin;
        if (p->dts != AV_NOPTS_VALUE)
            p->dts -= origin;
        return p->pts == AV_NOPTS_VALUE || p->pts >= 0;
    }

    void note(std::int64_t ts, AVRational timeBase)
    {
        if (ts != AV_NOPTS_VALUE && m_job.info.seconds > 0)
            m_control.done = std::clamp(ts * av_q2d(timeBase) / m_job.info.seconds, 0.0, 1.0);
    }

    void onVideo(AVPacket* p)
    {
        if (m_video) {
            m_video->feed(p);
            note(std::llround(m_video->secondsOut() * 1000), AVRational{1, 1000});
            padSilence(m_video->secondsOut());
            return;
        }
        const AVRational timeBase = m_fmt->streams[m_streams.video]->time_base;
        shiftToStart(p, timeBase);
        note(p->pts, timeBase);
        const std::int64_t pts = p->pts;
        write(p, m_videoOut);
        if (pts != AV_NOPTS_VALUE)
            padSilence(pts * av_q2d(timeBase));
    }

    // A movie without sound gets silence as far as its pictures go.
    void padSilence(double seconds)
    {
        if (m_sounds.size() == 1 && m_sounds[0].stream < 0 && m_sounds[0].coder)
            m_sounds[0].coder->padTo(seconds);
    }

    // The demuxer gives a frame that a PES packet starts inside of the next frame's time,
    // which repeats one stamp and leaves a gap before it; copied frames follow each
    // other, so a stamp within one frame of where the last one ended is taken as that.
    struct Sound {
        int stream = -1;                         // -1: silence
        int out = 0;                             // the title's stream
        std::unique_ptr<AudioTranscoder> coder;  // none: copied
        std::int64_t nextSound = AV_NOPTS_VALUE; // where the last copied frame ended
    };

    static void restampSound(AVPacket* p, Sound& sound)
    {
        if (p->dts == AV_NOPTS_VALUE || p->duration <= 0)
            return;
        if (sound.nextSound != AV_NOPTS_VALUE &&
            std::llabs(p->dts - sound.nextSound) <= p->duration)
            p->pts = p->dts = sound.nextSound;
        sound.nextSound = p->dts + p->duration;
    }

    void onAudio(AVPacket* p, Sound& sound)
    {
        const AVRational timeBase = m_fmt->streams[sound.stream]->time_base;
        const std::int64_t origin =
            av_rescale_q(m_origin, m_fmt->streams[m_streams.video]->time_base, timeBase);
        if (p->pts != AV_NOPTS_VALUE && p->duration > 0)
            m_soundEnd = std::max(m_soundEnd, (p->pts + p->duration - origin) * av_q2d(timeBase));
        if (sound.coder) {
            sound.coder->feed(p, origin);
            return;
        }
        if (shiftToStart(p, timeBase)) {
            restampSound(p, sound);
            write(p, sound.out);
        }
    }

    const TitleJob& m_job;
    TitleControl& m_control;
    WorkBudget m_budget; // before m_fmt, whose interrupt callback points here
    FormatPtr m_fmt;
    TitleStreams m_streams;
    std::int64_t m_origin = 0;  // the title's start in the video stream's ticks
    double m_soundEnd = 0;      // seconds from the title's start where the sound ends
    std::vector<int> m_soundOf; // by the movie's stream: its track in m_sounds, or -1
    TitleMux m_mux;
    std::mutex m_muxLock;
    std::unique_ptr<VideoTranscoder> m_video; // none: the video is copied
    std::vector<Sound> m_sounds;              // not resized once the encoders run
    int m_videoOut = 0;
};

} // namespace

void EncodeTitle(const TitleJob& job, const BitratePlan& plan, DiscSystem system, int threads,
                 TitleControl& control)
{
    if (job.info.copyVideo && job.info.copyAudio) {
        // Already a disc's program stream: as fast as copying the file.
        TitleOutput copy(job.output);
        if (CopyDiscPacks(job.info.movie, copy, control)) {
            copy.commit();
            control.done = 1;
            return;
        }
    }
    TitleWriter writer(job, plan, system, threads, control);
    writer.run();
}
