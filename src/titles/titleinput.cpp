#include "titleinput.h"

#include "base/failure.h"
#include "base/fileio.h"
#include "thumbs/mediaerror.h"
#include "thumbs/moviefailure.h"

namespace {

constexpr int kOpenBudgetMs = 10'000;

} // namespace

TitleStreams FindTitleStreams(AVFormatContext* fmt)
{
    TitleStreams s;
    s.video = av_find_best_stream(fmt, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    if (s.video < 0 || (fmt->streams[s.video]->disposition & AV_DISPOSITION_ATTACHED_PIC))
        throw MediaError(AVERROR_STREAM_NOT_FOUND);
    int first = av_find_best_stream(fmt, AVMEDIA_TYPE_AUDIO, -1, s.video, nullptr, 0);
    for (unsigned i = 0; i < fmt->nb_streams; ++i) {
        const AVStream* st = fmt->streams[i];
        if (st->codecpar->codec_type != AVMEDIA_TYPE_AUDIO)
            continue;
        if (st->disposition & AV_DISPOSITION_DEFAULT) {
            first = static_cast<int>(i); // the track the movie plays unless asked
            break;
        }
    }
    if (first < 0)
        return s;
    s.audio.push_back(first);
    for (unsigned i = 0; i < fmt->nb_streams; ++i)
        if (fmt->streams[i]->codecpar->codec_type == AVMEDIA_TYPE_AUDIO &&
            static_cast<int>(i) != first)
            s.audio.push_back(static_cast<int>(i));
    return s;
}

FormatPtr OpenTitleMovie(const std::string& movie, WorkBudget& budget)
{
    QuietFFmpeg();
    budget.start(OpenBudgetMs(kOpenBudgetMs));
    budget.readLimit = WorkBudget::kHeaderReadLimit;
    return OpenMovieInput(movie, budget);
}

void ThrowTitleFailure(const std::string& movie, const std::exception& error)
{
    // FFmpeg's own failures are Failures too, but their text is for us, not for users.
    if (dynamic_cast<const MediaError*>(&error) == nullptr)
        if (const auto* failure = dynamic_cast<const Failure*>(&error))
            throw *failure;
    throw Failure("Cannot make a title of " + FileNameOf(movie), MovieFailureReason(error));
}
