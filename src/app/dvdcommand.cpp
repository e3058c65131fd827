#include "dvdcommand.h"

#include "app/exitstatus.h"
#include "base/failure.h"
#include "base/signalcleanup.h"
#include "batch/menusettings.h"
#include "batch/quiethost.h"
#include "burncommand.h"
#include "commandtools.h"
#include "document/projectfile.h"
#include "document/projectparse.h"
#include "dvd/discauthoring.h"
#include "dvd/makedvd.h"
#include "frommovies.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <memory>
#include <span>
#include <unistd.h>

namespace {

struct DvdCommandOptions : MovieListOptions {
    DvdOptions disc;
    int size = 3;
    std::string burnDevice; // empty: no burning
    int burnSpeed = 0;
};

int readCount(const std::string& option, const std::string& value, int low, int high)
{
    const std::optional<std::int32_t> n = ParseDecimal(value);
    if (!n || *n < low || *n > high)
        throw CommandUsageError(option + " needs a whole number from " + std::to_string(low) +
                                " to " + std::to_string(high) + ", not '" + value + "'");
    return *n;
}

bool readDiscOption(ArgumentReader& args, DvdCommandOptions& options)
{
    const std::string& name = args.name();
    if (name == "--dvd") {
        options.disc.folder = args.nonEmptyValue("a folder");
    } else if (name == "--iso") {
        options.disc.isoFile = args.nonEmptyValue("a file name");
    } else if (name == "--capacity") {
        try {
            options.disc.capacityBytes = ParseCapacity(args.nonEmptyValue("a size"));
        } catch (const Failure& e) {
            throw CommandUsageError("--capacity: " + std::string(e.what()));
        }
    } else if (name == "--chapters") {
        options.disc.chapterMinutes = readCount(name, args.value(), 0, 600);
    } else if (name == "--jobs") {
        options.disc.jobs = readCount(name, args.value(), 0, 64);
    } else if (name == "--size") {
        options.size = readCount(name, args.value(), 2, 3);
    } else if (name == "--burn") {
        options.burnDevice = args.nonEmptyValue("a DVD writer (/dev/sr0, or auto)");
    } else if (name == "--speed") {
        options.burnSpeed = ReadBurnSpeed(args.value());
    } else if (name == "--subtitles") {
        const std::string value = args.value();
        if (value != "none" && value != "all")
            throw CommandUsageError("--subtitles needs none or all, not '" + value + "'");
        options.disc.subtitles = value == "all";
    } else {
        return false;
    }
    return true;
}

DvdCommandOptions parseDvdArguments(int argc, char** argv)
{
    DvdCommandOptions options;
    ReadMovieListArguments(argc, argv, "--dvd", options,
                           [&](ArgumentReader& args) { return readDiscOption(args, options); });
    if (options.help)
        return options;
    if (options.fromMovies && options.files.empty())
        throw CommandUsageError("--from-movies needs at least one movie file");
    if (options.files.size() > static_cast<std::size_t>(kMaxDiscTitles))
        throw CommandUsageError(std::to_string(options.files.size()) +
                                " movies given, but a DVD holds at most " +
                                std::to_string(kMaxDiscTitles));
    if (options.disc.folder.empty())
        throw CommandUsageError("--dvd needs a folder");
    if (!options.burnDevice.empty() && options.disc.isoFile.empty())
        throw CommandUsageError("--burn with --dvd needs --iso FILE for the image it writes");
    if (!options.fromMovies && options.files.size() > 1)
        throw CommandUsageError("more than one project file: '" + options.files[0] + "' and '" +
                                options.files[1] + "'");
    return options;
}

using Pages = std::vector<std::unique_ptr<MenuDocument>>;

ExitStatus loadMoviePages(const DvdCommandOptions& options, Pages& pages)
{
    const std::vector<std::string>& movies = options.files;
    if (!MoviesCanBeOpened(movies))
        return ExitStatus::LoadFailed;
    const std::size_t total = movies.size();
    const int pageCount = static_cast<int>((total + kItemCount - 1) / kItemCount);
    AutoFrameMemo memo;
    for (int p = 0; p < pageCount; ++p) {
        const std::size_t first = static_cast<std::size_t>(p) * kItemCount;
        auto doc = std::make_unique<MenuDocument>();
        StartCommandDocument(*doc, options.size);
        std::vector<Setting> settings = MovieMenuSettings(
            movies.front(),
            std::span(movies).subspan(first, std::min<std::size_t>(kItemCount, total - first)));
        settings.insert(settings.end(), options.sets.begin(), options.sets.end());
        QuietLoadHost host;
        if (const ExitStatus applied = ApplyCommandSettings(*doc, settings, host, &memo);
            applied != ExitStatus::Ok)
            return applied;
        doc->setMenustart(std::min(990, doc->menustart + p * kItemCount));
        doc->menuPage = p + 1;
        doc->menuPageCount = pageCount;
        pages.push_back(std::move(doc));
    }
    return ExitStatus::Ok;
}

ExitStatus loadProjectPage(const DvdCommandOptions& options, Pages& pages)
{
    auto doc = std::make_unique<MenuDocument>();
    StartCommandDocument(*doc, options.size);
    QuietLoadHost host;
    try {
        if (!options.files.empty() && !LoadProject(*doc, options.files.front(), host)) {
            PrintHostMessages(host);
            return ExitStatus::LoadFailed;
        }
    } catch (const std::exception& e) {
        PrintHostMessages(host);
        PrintMessage(e.what());
        return ExitStatus::LoadFailed;
    }
    if (!PrintHostMessages(host))
        return ExitStatus::LoadFailed;
    if (const ExitStatus applied = ApplyCommandSettings(*doc, options.sets, host);
        applied != ExitStatus::Ok)
        return applied;
    pages.push_back(std::move(doc));
    return ExitStatus::Ok;
}

std::string minutesSeconds(double seconds)
{
    const auto s = static_cast<long long>(std::ceil(std::max(0.0, seconds)));
    char text[32];
    std::snprintf(text, sizeof text, "%lld:%02lld", s / 60, s % 60);
    return text;
}

// Steps as lines; while encoding, a bar with each title's share and the time left on a
// terminal, else a line every tenth of the way.
class TerminalDvdProgress : public DvdProgress {
public:
    explicit TerminalDvdProgress(bool terminal) : m_terminal(terminal) {}

    void stage(DvdStage, const std::string& text) override { line(text); }
    void note(const std::string& text) override { line(text); }
    bool cancelled() override { return SignalCancelScope::caught() != 0; }

    void titles(const TitlesStatus& status) override
    {
        const int tenth = static_cast<int>(status.overallDone * 10);
        const std::string left =
            status.secondsLeft >= 0 ? ", " + minutesSeconds(status.secondsLeft) + " left" : "";
        if (!m_terminal) {
            if (tenth > m_lastTenth) {
                m_lastTenth = tenth;
                line("Titles " + std::to_string(tenth * 10) + " % done" + left);
            }
            return;
        }
        const auto now = std::chrono::steady_clock::now();
        if (now - m_lastDraw < std::chrono::milliseconds(200) && status.overallDone < 1)
            return;
        m_lastDraw = now;
        const int filled = std::clamp(static_cast<int>(status.overallDone * 30), 0, 30);
        std::string bar = "\r\x1b[K[" + std::string(static_cast<std::size_t>(filled), '#') +
                          std::string(static_cast<std::size_t>(30 - filled), '.') + "] " +
                          std::to_string(static_cast<int>(status.overallDone * 100)) + " %" + left;
        std::size_t shown = 0;
        for (std::size_t i = 0; i < status.titleDone.size() && shown < 6; ++i)
            if (status.titleDone[i] > 0 && status.titleDone[i] < 1) {
                bar += "  #" + std::to_string(i + 1) + " " +
                       std::to_string(static_cast<int>(status.titleDone[i] * 100)) + "%";
                ++shown;
            }
        std::fputs(bar.c_str(), stderr);
        std::fflush(stderr);
        m_barShown = true;
    }

    void finish() { clearBar(); }

private:
    void clearBar()
    {
        if (m_barShown)
            std::fputs("\r\x1b[K", stderr);
        m_barShown = false;
    }
    void line(const std::string& text)
    {
        clearBar();
        PrintMessage(text);
    }

    bool m_terminal;
    bool m_barShown = false;
    int m_lastTenth = 0;
    std::chrono::steady_clock::time_point m_lastDraw{};
};

ExitStatus runDvd(const DvdCommandOptions& options, const char* program)
{
    const auto app = StartHeadlessApplication(program);
    Pages pages;
    const ExitStatus loaded =
        options.fromMovies ? loadMoviePages(options, pages) : loadProjectPage(options, pages);
    if (loaded != ExitStatus::Ok)
        return loaded;
    std::vector<const MenuDocument*> pointers;
    for (const auto& page : pages)
        pointers.push_back(page.get());

    // From here Ctrl+C stops the run through its cancel checks, so its work is removed.
    const SignalCancelScope signalStop;
    TerminalDvdProgress progress(::isatty(STDERR_FILENO) == 1);
    DvdResult result;
    try {
        result = MakeDvd(pointers, options.disc, progress);
    } catch (const std::exception& e) {
        progress.finish();
        // A stopped tool's complaint is not the reason when we were asked to stop.
        PrintMessage(SignalCancelScope::caught() ? DvdCancelled().what() : e.what());
        SignalCancelScope::endAsCaught();
        return ExitStatus::DiscFailed;
    }
    progress.finish();
    PrintMessage(result.videoTs + " written");
    if (!result.iso.empty())
        PrintMessage(result.iso + " written");
    SignalCancelScope::endAsCaught(); // the finished disc stays, unchecked
    if (!result.checkFailure.empty()) {
        PrintMessage("The DVD was made; its check could not finish: " + result.checkFailure);
        return ExitStatus::VerifyFailed; // a disc whose check could not finish is not burned
    }
    if (result.checked) {
        std::fputs(FormatDiscCheckTable(result.check).c_str(), stderr);
        if (!result.check.passed())
            return ExitStatus::VerifyFailed; // a disc that does not play is not burned
    }
    if (options.burnDevice.empty())
        return ExitStatus::Ok;
    return BurnAndCheck(options.burnDevice, result.iso, options.burnSpeed);
}

} // namespace

int RunDvdCommand(int argc, char** argv)
{
    return RunCommand(argc, argv, parseDvdArguments, runDvd, ExitStatus::DiscFailed);
}
