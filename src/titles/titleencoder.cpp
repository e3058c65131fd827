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

template <typename T> T* checked(T* p)
{
    if (!p)
        throw MediaError(AVERROR(ENOMEM));
    return p;
}

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
        for (unsigned i = 0; i < m_fmt->nb_streams; ++i)
            if (static_cast<int>(i) != m_streams.video && static_cast<int>(i) != m_streams.audio)
                m_fmt->streams[i]->discard = AVDISCARD_ALL;
        const AVStream* video = m_fmt->streams[m_streams.video];
        m_origin = video->start_time != AV_NOPTS_VALUE ? video->start_time : 0;
        openVideo(plan, system, threads);
        openAudio();
        m_mux.start();
    }

    void run()
    {
        PacketPtr packet(checked(av_packet_alloc()));
        for (;;) {
            stopIfAsked();
            const int r = av_read_frame(m_fmt.get(), packet.get());
            stopIfAsked();
            if (r == AVERROR(EIO) || r == AVERROR(ENOMEM))
                throw MediaError(r);
            if (r < 0)
                break; // the end, or damage at the end: the title ends there
            if (packet->stream_index == m_streams.video)
                onVideo(packet.get());
            else if (packet->stream_index == m_streams.audio)
                onAudio(packet.get());
            av_packet_unref(packet.get());
        }
        if (m_video)
            m_video->finish();
        if (m_audio)
            m_audio->finish(m_job.info.seconds);
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
        s.chapterStarts = m_job.info.chapterStarts;
        m_video = std::make_unique<VideoTranscoder>(m_fmt.get(), m_streams.video, s,
                                                    [this](AVPacket* p) { write(p, m_videoOut); });
        m_videoOut = addEncoded(m_video->encoder());
    }

    void openAudio()
    {
        const bool copy = m_job.info.copyAudio && m_streams.audio >= 0;
        if (copy) {
            const AVStream* in = m_fmt->streams[m_streams.audio];
            m_audioOut = m_mux.addStream(in->codecpar, in->time_base);
            return;
        }
        m_audio = std::make_unique<AudioTranscoder>(
            m_fmt.get(), m_streams.audio, m_job.info.audioChannels, m_job.info.audioBitRate,
            [this](AVPacket* p) { write(p, m_audioOut); });
        m_audioOut = addEncoded(m_audio->encoder());
    }

    int addEncoded(const AVCodecContext* encoder)
    {
        std::unique_ptr<AVCodecParameters, void (*)(AVCodecParameters*)> par(
            checked(avcodec_parameters_alloc()),
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
            if (m_audio && m_streams.audio < 0)
                m_audio->padTo(m_video->secondsOut());
            return;
        }
        const AVRational timeBase = m_fmt->streams[m_streams.video]->time_base;
        shiftToStart(p, timeBase);
        note(p->pts, timeBase);
        const std::int64_t pts = p->pts;
        write(p, m_videoOut);
        if (m_audio && m_streams.audio < 0 && pts != AV_NOPTS_VALUE)
            m_audio->padTo(pts * av_q2d(timeBase));
    }

    // The demuxer gives a frame that a PES packet starts inside of the next frame's time,
    // which repeats one stamp and leaves a gap before it; copied frames follow each
    // other, so a stamp within one frame of where the last one ended is taken as that.
    void restampSound(AVPacket* p)
    {
        if (p->dts == AV_NOPTS_VALUE || p->duration <= 0)
            return;
        if (m_nextSound != AV_NOPTS_VALUE && std::llabs(p->dts - m_nextSound) <= p->duration)
            p->pts = p->dts = m_nextSound;
        m_nextSound = p->dts + p->duration;
    }

    void onAudio(AVPacket* p)
    {
        const AVRational timeBase = m_fmt->streams[m_streams.audio]->time_base;
        if (m_audio) {
            m_audio->feed(
                p, av_rescale_q(m_origin, m_fmt->streams[m_streams.video]->time_base, timeBase));
            return;
        }
        if (shiftToStart(p, timeBase)) {
            restampSound(p);
            write(p, m_audioOut);
        }
    }

    const TitleJob& m_job;
    TitleControl& m_control;
    WorkBudget m_budget; // before m_fmt, whose interrupt callback points here
    FormatPtr m_fmt;
    TitleStreams m_streams;
    std::int64_t m_origin = 0;                 // the title's start in the video stream's ticks
    std::int64_t m_nextSound = AV_NOPTS_VALUE; // where the last copied sound frame ended
    TitleMux m_mux;
    std::mutex m_muxLock;
    std::unique_ptr<VideoTranscoder> m_video; // none: the video is copied
    std::unique_ptr<AudioTranscoder> m_audio; // none: the sound is copied
    int m_videoOut = 0;
    int m_audioOut = 1;
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
