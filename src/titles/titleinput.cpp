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
    s.audio = av_find_best_stream(fmt, AVMEDIA_TYPE_AUDIO, -1, s.video, nullptr, 0);
    if (s.audio < 0)
        s.audio = -1;
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
