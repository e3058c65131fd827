#include "titlesubtitles.h"

#include "cuetext.h"
#include "languagecode.h"
#include "sidecarsubtitles.h"
#include "spumuxstream.h"

#include "base/atomicfile.h"
#include "base/failure.h"
#include "mediamodule/mediamodule.h"

#include <algorithm>
#include <filesystem>
#include <map>

namespace fs = std::filesystem;

namespace {

// Shorter than a frame a cue cannot be seen, and a player may choke on it.
constexpr double kShortestCue = 0.04;
// More cues on screen at once than this are not read by anyone.
constexpr std::size_t kMaxSimultaneous = 4;

struct Shown {
    double start;
    double end;
    std::vector<std::string> lines;
};

// Text cues that overlap are shown together: the timeline is cut at every start and
// end, and each piece shows the lines of every cue running then, earliest first.
std::vector<Shown> flatten(const SubtitleTrack& track, double length)
{
    std::vector<double> cuts;
    for (const SubtitleCue& c : track.cues) {
        cuts.push_back(std::clamp(c.start, 0.0, length));
        cuts.push_back(std::clamp(c.end, 0.0, length));
    }
    std::sort(cuts.begin(), cuts.end());
    cuts.erase(std::unique(cuts.begin(), cuts.end()), cuts.end());
    std::vector<const SubtitleCue*> order;
    for (const SubtitleCue& c : track.cues)
        order.push_back(&c);
    std::stable_sort(order.begin(), order.end(), [](const SubtitleCue* a, const SubtitleCue* b) {
        return a->start < b->start;
    });
    std::vector<Shown> out;
    std::size_t first = 0; // cues before it have ended by the current piece
    for (std::size_t i = 0; i + 1 < cuts.size(); ++i) {
        const double from = cuts[i], to = cuts[i + 1];
        Shown piece{from, to, {}};
        std::size_t running = 0;
        for (std::size_t k = first; k < order.size() && order[k]->start < to; ++k) {
            if (order[k]->end <= from || running >= kMaxSimultaneous)
                continue;
            ++running;
            for (std::string& line : CueLines(order[k]->text, track.markup))
                piece.lines.push_back(std::move(line));
        }
        while (first < order.size() && order[first]->end <= from)
            ++first;
        if (piece.lines.empty())
            continue;
        if (!out.empty() && out.back().end == from && out.back().lines == piece.lines)
            out.back().end = to;
        else
            out.push_back(std::move(piece));
    }
    std::erase_if(out, [](const Shown& s) { return s.end - s.start < kShortestCue; });
    return out;
}

std::string trackName(const SubtitleTrack& track)
{
    const std::string language = LanguageName(track.language);
    return track.source + (language.empty() ? "" : " (" + language + ")");
}

void writePng(const std::string& file, const SubpictureImage& image)
{
    const IndexedImageView view{image.index.data(), image.width, image.height, image.width};
    const std::vector<std::uint8_t> png = EncodePalettePng(view, image.palette);
    WriteFileAtomically(file, png);
}

// Thrown out of the drawing when the run is cancelled.
struct DrawingStopped {};

class TrackWriter {
public:
    TrackWriter(const TitleSubtitleJob& job, const std::string& dir,
                const std::function<bool()>& cancelled)
        : m_job(job), m_dir(dir), m_painter(job.frame), m_cancelled(cancelled)
    {
    }

    // The cues of `track` drawn into PNG files, ready for spumux.
    std::vector<SpumuxCue> draw(const SubtitleTrack& track)
    {
        std::vector<SpumuxCue> out;
        if (track.pictures) {
            for (const SubtitleCue& c : track.cues) {
                const double start = std::max(0.0, c.start);
                const double end = std::min(m_job.seconds, c.end);
                if (end - start >= kShortestCue)
                    add(out, start, end,
                        PlaceSubtitleBitmap(c.bitmap, track.frameWidth, track.frameHeight,
                                            m_job.frame));
            }
            // One picture replaces the other on a DVD: the earlier ends where the next starts.
            for (std::size_t i = 0; i + 1 < out.size(); ++i)
                out[i].end = std::min(out[i].end, out[i + 1].start);
            std::erase_if(out, [](const SpumuxCue& c) { return c.end - c.start < kShortestCue; });
            return out;
        }
        for (const Shown& s : flatten(track, m_job.seconds))
            add(out, s.start, s.end, m_painter.paint(s.lines));
        return out;
    }

private:
    void add(std::vector<SpumuxCue>& out, double start, double end, const SubpictureImage& image)
    {
        // A film's track is a few seconds of drawing; Ctrl+C must not wait for it.
        if (m_cancelled && m_cancelled())
            throw DrawingStopped{};
        if (image.width == 0)
            return;
        const std::string file = m_dir + "/" + std::to_string(++m_count) + ".png";
        writePng(file, image);
        out.push_back({start, end, file, image.x, image.y});
    }

    const TitleSubtitleJob& m_job;
    std::string m_dir;
    SubtitlePainter m_painter;
    const std::function<bool()>& m_cancelled;
    int m_count = 0;
};

// The movie's own tracks, then those beside it, with what was said about them.
MovieSubtitles gatherTracks(const TitleSubtitleJob& job, double& titleStart, double& titleEnd)
{
    MovieSubtitles all;
    try {
        all = Media().readMovieSubtitles(job.movie);
    } catch (const Failure& e) {
        all.warnings.push_back("its own subtitles cannot be read (" + e.detail() + ")");
    }
    titleStart = all.titleStart;
    if (all.pictureEnd > 0)
        titleEnd = std::min(titleEnd, all.pictureEnd);
    MovieSubtitles beside = ReadSidecarSubtitles(job.movie);
    for (SubtitleTrack& t : beside.tracks) {
        for (SubtitleCue& c : t.cues) {
            // A file beside the movie counts from the movie's clock, as players take it.
            c.start -= titleStart;
            c.end -= titleStart;
        }
        all.tracks.push_back(std::move(t));
    }
    all.warnings.insert(all.warnings.end(), beside.warnings.begin(), beside.warnings.end());
    if (all.tracks.size() > static_cast<std::size_t>(kMaxSubtitleTracks)) {
        all.warnings.push_back(std::to_string(all.tracks.size() - kMaxSubtitleTracks) +
                               " subtitle tracks are left out: a disc holds " +
                               std::to_string(kMaxSubtitleTracks));
        all.tracks.resize(kMaxSubtitleTracks);
    }
    return all;
}

} // namespace

TitleSubtitles AddTitleSubtitles(const TitleSubtitleJob& job,
                                 const std::function<bool()>& cancelled)
{
    TitleSubtitles result;
    double titleStart = 0;
    TitleSubtitleJob clipped = job; // cues after the last picture would not be shown
    MovieSubtitles found = gatherTracks(job, titleStart, clipped.seconds);
    const std::string prefix = "title " + std::to_string(job.number) + ": ";
    for (const std::string& w : found.warnings)
        result.warnings.push_back(prefix + w);
    for (std::size_t t = 0; t < found.tracks.size(); ++t) {
        if (cancelled && cancelled()) {
            result.cancelled = true;
            return result;
        }
        const SubtitleTrack& track = found.tracks[t];
        const std::string dir = job.workDir + "/sub" + std::to_string(t + 1);
        std::error_code ec;
        fs::create_directories(dir, ec);
        if (ec)
            throw Failure("Cannot create the folder " + dir, ec.message(), ec.value());
        std::vector<SpumuxCue> cues;
        try {
            cues = TrackWriter(clipped, dir, cancelled).draw(track);
        } catch (const DrawingStopped&) {
            result.cancelled = true;
            return result;
        }
        if (cues.empty()) {
            result.warnings.push_back(prefix + trackName(track) + " shows nothing in the title");
            continue;
        }
        const int stream = static_cast<int>(result.languages.size());
        const SpumuxOutcome outcome = MuxSubtitleStream(job.title, stream, job.frame.height == 576,
                                                        cues, dir + "/spumux.xml", cancelled);
        if (outcome.cancelled) {
            result.cancelled = true;
            return result;
        }
        if (!outcome.problem.empty())
            result.warnings.push_back(prefix + trackName(track) + ": " + outcome.problem +
                                      (outcome.added ? "" : ", so it is not on the disc"));
        if (outcome.added)
            result.languages.push_back(track.language);
        fs::remove_all(dir, ec); // the pictures are in the title now
    }
    return result;
}
