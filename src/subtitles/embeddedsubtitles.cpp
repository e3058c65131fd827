#include "embeddedsubtitles.h"

#include "languagecode.h"

#include "base/fileio.h"
#include "thumbs/ffmpegptr.h"
#include "thumbs/mediaerror.h"
#include "thumbs/moviefailure.h"
#include "thumbs/movieinput.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr int kOpenBudgetMs = 10'000;
// Reading every packet of a feature film from a disc drive takes a minute or two.
constexpr int kReadBudgetMs = 10 * 60'000;
// A cue with no end of its own shows until the next, but not for longer than this.
constexpr double kLongestOpenCue = 5.0;
// What all tracks of a movie may hold: a film's DVD subtitles are some 10 MB unpacked,
// its text a few hundred kilobytes.
constexpr std::size_t kMaxHeldBytes = 64ULL << 20;

bool isText(AVCodecID id)
{
    return id == AV_CODEC_ID_SUBRIP || id == AV_CODEC_ID_SRT || id == AV_CODEC_ID_ASS ||
           id == AV_CODEC_ID_SSA || id == AV_CODEC_ID_MOV_TEXT || id == AV_CODEC_ID_WEBVTT ||
           id == AV_CODEC_ID_TEXT;
}

std::string formatName(AVCodecID id)
{
    switch (id) {
    case AV_CODEC_ID_HDMV_PGS_SUBTITLE:
        return "PGS";
    case AV_CODEC_ID_DVB_SUBTITLE:
        return "DVB";
    case AV_CODEC_ID_DVB_TELETEXT:
        return "teletext";
    case AV_CODEC_ID_EIA_608:
        return "closed caption";
    default: {
        const AVCodecDescriptor* d = avcodec_descriptor_get(id);
        return d ? d->name : "unknown";
    }
    }
}

struct Slot {
    int stream = -1;
    CodecPtr codec;
    double timeBase = 0;
    SubtitleTrack track;
    std::size_t dropped = 0; // cues past the limits
    bool open = false;       // the last cue waits for the next to end it
};

class SubtitleReader {
public:
    explicit SubtitleReader(const std::string& movie) : m_movie(movie) {}
    MovieSubtitles read();

private:
    void chooseStreams();
    void openDecoder(int index, Slot& slot);
    void readPackets();
    void decode(Slot& slot, AVPacket* packet);
    void addCue(Slot& slot, const AVSubtitle& sub, double start, double end);
    bool copyPicture(const AVSubtitleRect& rect, SubtitleCue& cue);

    std::string m_movie;
    WorkBudget m_budget;
    FormatPtr m_fmt;
    double m_origin = 0;
    int m_video = -1;
    double m_lastPicture = 0; // the end of the last picture read, from the title's start
    std::size_t m_held = 0;   // bytes of text and pictures kept, over all tracks
    std::vector<Slot> m_slots;
    MovieSubtitles m_out;
};

void SubtitleReader::openDecoder(int index, Slot& slot)
{
    const AVStream* st = m_fmt->streams[index];
    const AVCodec* decoder = avcodec_find_decoder(st->codecpar->codec_id);
    if (!decoder)
        throw MediaError(AVERROR_DECODER_NOT_FOUND);
    slot.codec.reset(avcodec_alloc_context3(decoder));
    if (!slot.codec)
        throw MediaError(AVERROR(ENOMEM));
    int r = avcodec_parameters_to_context(slot.codec.get(), st->codecpar);
    slot.codec->pkt_timebase = st->time_base;
    if (r >= 0)
        r = avcodec_open2(slot.codec.get(), decoder, nullptr);
    if (r < 0)
        throw MediaError(r);
    slot.stream = index;
    slot.timeBase = av_q2d(st->time_base);
}

void SubtitleReader::chooseStreams()
{
    m_video = av_find_best_stream(m_fmt.get(), AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    if (m_video >= 0) {
        const AVStream* v = m_fmt->streams[m_video];
        if (v->start_time != AV_NOPTS_VALUE)
            m_origin = v->start_time * av_q2d(v->time_base);
        // A Matroska file's length is that of its longest stream, often the subtitles;
        // where the pictures' own length is not stated, their packets tell it.
        if (v->duration > 0)
            m_out.pictureEnd = v->duration * av_q2d(v->time_base);
    }
    for (unsigned i = 0; i < m_fmt->nb_streams; ++i) {
        AVStream* st = m_fmt->streams[i];
        st->discard = static_cast<int>(i) == m_video && m_out.pictureEnd <= 0 ? AVDISCARD_DEFAULT
                                                                              : AVDISCARD_ALL;
        if (st->codecpar->codec_type != AVMEDIA_TYPE_SUBTITLE)
            continue;
        const AVCodecID id = st->codecpar->codec_id;
        const bool picture = id == AV_CODEC_ID_DVD_SUBTITLE;
        if (!isText(id) && !picture) {
            m_out.warnings.push_back("its " + formatName(id) + " subtitles are not carried over");
            continue;
        }
        if (m_slots.size() >= static_cast<std::size_t>(kMaxSubtitleTracks)) {
            m_out.warnings.push_back("subtitle stream " + std::to_string(i) +
                                     " is left out: a disc holds " +
                                     std::to_string(kMaxSubtitleTracks) + " subtitle streams");
            continue;
        }
        Slot slot;
        try {
            openDecoder(static_cast<int>(i), slot);
        } catch (const MediaError&) {
            m_out.warnings.push_back("its subtitle stream " + std::to_string(i) + " (" +
                                     formatName(id) + ") cannot be decoded");
            continue;
        }
        const AVDictionaryEntry* lang = av_dict_get(st->metadata, "language", nullptr, 0);
        slot.track.language = lang ? DiscLanguageCode(lang->value) : std::string();
        slot.track.source = "its subtitle stream " + std::to_string(i);
        slot.track.markup = CueMarkup::Ass;
        slot.track.pictures = picture;
        slot.track.frameWidth = st->codecpar->width;
        slot.track.frameHeight = st->codecpar->height;
        // A DVD's subpictures copied without their frame size lie on the DVD picture
        // they came with.
        const AVCodecParameters* v = m_video >= 0 ? m_fmt->streams[m_video]->codecpar : nullptr;
        if (picture && slot.track.frameHeight <= 0 && v && v->width == 720 &&
            (v->height == 576 || v->height == 480)) {
            slot.track.frameWidth = v->width;
            slot.track.frameHeight = v->height;
        }
        st->discard = AVDISCARD_DEFAULT;
        m_slots.push_back(std::move(slot));
    }
}

bool SubtitleReader::copyPicture(const AVSubtitleRect& rect, SubtitleCue& cue)
{
    // A DVD subpicture is at most a frame with four colours; anything else is damage.
    if (rect.type != SUBTITLE_BITMAP || rect.w <= 0 || rect.h <= 0 || rect.w > 1920 ||
        rect.h > 1080 || rect.nb_colors < 1 || rect.nb_colors > 4 || !rect.data[0] ||
        !rect.data[1] || rect.linesize[0] < rect.w)
        return false;
    const std::size_t bytes = static_cast<std::size_t>(rect.w) * static_cast<std::size_t>(rect.h);
    if (m_held + bytes > kMaxHeldBytes)
        return false;
    m_held += bytes;
    SubtitleBitmap& b = cue.bitmap;
    b.x = rect.x;
    b.y = rect.y;
    b.width = rect.w;
    b.height = rect.h;
    b.index.resize(bytes);
    for (int y = 0; y < rect.h; ++y)
        std::memcpy(b.index.data() + static_cast<std::size_t>(y) * rect.w,
                    rect.data[0] + static_cast<std::ptrdiff_t>(y) * rect.linesize[0], rect.w);
    for (std::uint8_t& i : b.index)
        i = std::min<std::uint8_t>(i, static_cast<std::uint8_t>(rect.nb_colors - 1));
    std::memcpy(b.palette.data(), rect.data[1], 4 * static_cast<std::size_t>(rect.nb_colors));
    return true;
}

void SubtitleReader::addCue(Slot& slot, const AVSubtitle& sub, double start, double end)
{
    SubtitleCue cue;
    cue.start = start;
    cue.end = end;
    for (unsigned r = 0; r < sub.num_rects; ++r) {
        const AVSubtitleRect& rect = *sub.rects[r];
        if (slot.track.pictures) {
            if (cue.bitmap.index.empty() && !copyPicture(rect, cue))
                ++slot.dropped;
        } else if (rect.type == SUBTITLE_ASS && rect.ass) {
            const std::size_t room = kMaxCueTextBytes - std::min(kMaxCueTextBytes, cue.text.size());
            cue.text += (cue.text.empty() ? "" : "\\N") + std::string(rect.ass).substr(0, room);
        }
    }
    if (cue.text.empty() && cue.bitmap.index.empty())
        return;
    if (slot.track.cues.size() >= kMaxCuesPerTrack || m_held + cue.text.size() > kMaxHeldBytes) {
        ++slot.dropped;
        return;
    }
    m_held += cue.text.size() + sizeof cue;
    slot.open = end < 0;
    slot.track.cues.push_back(std::move(cue));
}

void SubtitleReader::decode(Slot& slot, AVPacket* packet)
{
    AVSubtitle sub{};
    int got = 0;
    if (avcodec_decode_subtitle2(slot.codec.get(), &sub, &got, packet) < 0 || !got)
        return; // a damaged cue is skipped, the rest still shows
    const double pts = packet->pts != AV_NOPTS_VALUE ? packet->pts * slot.timeBase
                       : sub.pts != AV_NOPTS_VALUE   ? sub.pts / double(AV_TIME_BASE)
                                                     : -1;
    if (pts >= 0) {
        const double start = pts - m_origin + sub.start_display_time / 1000.0;
        if (slot.open && !slot.track.cues.empty()) {
            SubtitleCue& last = slot.track.cues.back();
            last.end = std::min(start, last.start + kLongestOpenCue);
            slot.open = false;
        }
        double end = -1;
        if (packet->duration > 0)
            end = pts - m_origin + packet->duration * slot.timeBase;
        else if (sub.end_display_time > sub.start_display_time &&
                 sub.end_display_time != UINT32_MAX)
            end = pts - m_origin + sub.end_display_time / 1000.0;
        addCue(slot, sub, start, end);
    }
    avsubtitle_free(&sub);
}

void SubtitleReader::readPackets()
{
    PacketPtr packet(av_packet_alloc());
    if (!packet)
        throw MediaError(AVERROR(ENOMEM));
    m_budget.start(kReadBudgetMs);
    m_budget.readLimit = WorkBudget::kUnlimited;
    m_budget.bytesRead = 0;
    while (true) {
        m_budget.check();
        const int r = av_read_frame(m_fmt.get(), packet.get());
        if (r == AVERROR_EOF)
            break;
        if (r < 0)
            throw MediaError(r);
        if (packet->stream_index == m_video && packet->pts != AV_NOPTS_VALUE) {
            const AVRational base = m_fmt->streams[m_video]->time_base;
            m_lastPicture =
                std::max(m_lastPicture, (packet->pts + packet->duration) * av_q2d(base) - m_origin);
        }
        for (Slot& slot : m_slots)
            if (slot.stream == packet->stream_index)
                decode(slot, packet.get());
        av_packet_unref(packet.get());
    }
}

MovieSubtitles SubtitleReader::read()
{
    QuietFFmpeg();
    m_budget.start(OpenBudgetMs(kOpenBudgetMs));
    m_budget.readLimit = WorkBudget::kHeaderReadLimit;
    m_fmt = OpenMovieInput(m_movie, m_budget);
    chooseStreams();
    if (!m_slots.empty())
        readPackets();
    for (Slot& slot : m_slots) {
        for (SubtitleCue& cue : slot.track.cues)
            if (cue.end < 0)
                cue.end = cue.start + kLongestOpenCue;
        if (slot.dropped)
            m_out.warnings.push_back(std::to_string(slot.dropped) + " cues of " +
                                     slot.track.source + " are left out (damaged or too many)");
        if (slot.track.cues.empty())
            m_out.warnings.push_back(slot.track.source + " shows no subtitles");
        else
            m_out.tracks.push_back(std::move(slot.track));
    }
    m_out.titleStart = m_origin;
    if (m_out.pictureEnd <= 0)
        m_out.pictureEnd = m_lastPicture;
    return std::move(m_out);
}

} // namespace

MovieSubtitles ReadMovieSubtitles(const std::string& movie)
{
    try {
        return SubtitleReader(movie).read();
    } catch (const MediaError& e) {
        throw Failure("Cannot read the subtitles of " + FileNameOf(movie), MovieFailureReason(e));
    }
}
