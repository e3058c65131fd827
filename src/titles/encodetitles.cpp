#include "encodetitles.h"

#include "titleencoder.h"

#include "base/fileio.h"
#include "thumbs/mediaerror.h"
#include "thumbs/moviefailure.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <mutex>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;
constexpr auto kReportEvery = std::chrono::milliseconds(250);

struct Run {
    const std::vector<TitleJob>& titles;
    const BitratePlan& plan;
    DiscSystem system;
    int threads = 1;
    std::vector<TitleControl> controls;
    std::atomic<bool> stop{false};
    std::atomic<std::size_t> next{0};
    std::mutex lock; // guards what follows
    std::condition_variable changed;
    int running = 0;
    std::exception_ptr failure;
    std::size_t failed = 0;
    bool cancelled = false;

    Run(const std::vector<TitleJob>& t, const BitratePlan& p, DiscSystem s)
        : titles(t), plan(p), system(s), controls(t.size())
    {
        for (TitleControl& c : controls)
            c.stop = &stop;
    }

    void work()
    {
        for (std::size_t i; (i = next++) < titles.size() && !stop;) {
            try {
                EncodeTitle(titles[i], plan, system, threads, controls[i]);
            } catch (const TitleStopped&) {
                break;
            } catch (...) {
                std::lock_guard<std::mutex> hold(lock);
                if (!failure) {
                    failure = std::current_exception();
                    failed = i;
                }
                stop = true;
                break;
            }
        }
        std::lock_guard<std::mutex> hold(lock);
        --running;
        changed.notify_all();
    }

    TitlesStatus status(Clock::time_point began) const
    {
        TitlesStatus s;
        double total = 0, done = 0;
        for (std::size_t i = 0; i < titles.size(); ++i) {
            const double part = controls[i].done.load();
            s.titleDone.push_back(part);
            total += titles[i].info.seconds;
            done += part * titles[i].info.seconds;
        }
        s.overallDone = total > 0 ? done / total : 0;
        const double elapsed = std::chrono::duration<double>(Clock::now() - began).count();
        if (s.overallDone > 0.01 && elapsed > 1)
            s.secondsLeft = elapsed * (1 - s.overallDone) / s.overallDone;
        return s;
    }
};

// Every title of an unfinished run goes: a set of titles is used whole or not at all.
void removeOutputs(const std::vector<TitleJob>& titles)
{
    for (const TitleJob& t : titles) {
        std::error_code ignored;
        std::filesystem::remove(t.output, ignored);
    }
}

[[noreturn]] void throwTitleFailure(std::exception_ptr failure, std::size_t index,
                                    const std::string& movie)
{
    const std::string text =
        "Cannot make title " + std::to_string(index + 1) + " (" + FileNameOf(movie) + ")";
    try {
        std::rethrow_exception(failure);
    } catch (const MediaError& e) {
        throw Failure(text, MovieFailureReason(e));
    } catch (const Failure& f) {
        throw Failure(text, f.what(), f.systemError());
    } catch (const std::exception& e) {
        throw Failure(text, MovieFailureReason(e));
    }
}

std::string clockText(double seconds)
{
    const long tenths = std::lround(std::max(0.0, seconds) * 10);
    char text[32];
    std::snprintf(text, sizeof text, "%ld:%02ld.%ld", tenths / 600, tenths / 10 % 60, tenths % 10);
    return text;
}

// A title whose pictures end more than a second from where the movie's header said, or
// that had damage to decode, is named: it is on the disc, but maybe not as expected.
void warnAbout(const std::vector<TitleJob>& titles, const std::vector<TitleControl>& controls,
               TitleProgress& progress)
{
    constexpr double kNoticedSeconds = 1.0;
    for (std::size_t i = 0; i < titles.size(); ++i) {
        const TitleControl& c = controls[i];
        const double stated = titles[i].info.seconds;
        const std::string title = "title " + std::to_string(i + 1) + ": ";
        if (c.seconds >= 0 && stated - c.seconds > kNoticedSeconds)
            progress.warning(title + "the movie ends at " + clockText(c.seconds) + " of " +
                             clockText(stated) + ", it may be cut off");
        else if (c.seconds >= 0 && c.seconds - stated > kNoticedSeconds)
            progress.warning(title + "the movie runs " + clockText(c.seconds) +
                             ", though its file says " + clockText(stated));
        if (c.errors > 0)
            progress.warning(title + "the movie is damaged: " + std::to_string(c.errors) +
                             (c.errors == 1 ? " part could not be decoded and was"
                                            : " parts could not be decoded and were") +
                             " passed over");
    }
}

} // namespace

void EncodeTitles(const std::vector<TitleJob>& titles, const BitratePlan& plan, DiscSystem system,
                  int jobs, TitleProgress& progress)
{
    if (titles.empty())
        return;
    const int cores = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
    // One title at a time by default: two at once took the same processor time for a
    // twelve-movie disc and no less wall time, with two decoders and encoders in memory.
    const int parallel = std::clamp(jobs > 0 ? jobs : 1, 1, static_cast<int>(titles.size()));
    Run run(titles, plan, system);
    // Cores shared among the titles at once; each encoder and decoder threads over its part.
    run.threads = std::max(1, cores / parallel);
    run.running = parallel;
    std::vector<std::thread> workers;
    for (int i = 0; i < parallel; ++i)
        workers.emplace_back([&run] { run.work(); });

    const Clock::time_point began = Clock::now();
    std::unique_lock<std::mutex> hold(run.lock);
    while (run.running > 0) {
        run.changed.wait_for(hold, kReportEvery);
        hold.unlock();
        if (!run.stop && progress.cancelled()) {
            run.cancelled = true;
            run.stop = true;
        }
        progress.update(run.status(began));
        hold.lock();
    }
    hold.unlock();
    for (std::thread& t : workers)
        t.join();

    if (run.failure || run.cancelled) {
        removeOutputs(titles);
        if (run.failure)
            throwTitleFailure(run.failure, run.failed, titles[run.failed].info.movie);
        throw TitlesCancelled();
    }
    progress.update(run.status(began));
    warnAbout(titles, run.controls, progress);
}
