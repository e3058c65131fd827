#include "headless.h"

#include "batch/menusettings.h"
#include "batch/quiethost.h"
#include "batchcommand.h"
#include "burncommand.h"
#include "commandtools.h"
#include "document/menudocument.h"
#include "document/projectfile.h"
#include "dvdcommand.h"
#include "frommovies.h"
#include "verifydisccommand.h"

#include <exception>
#include <string_view>
#include <utility>

namespace {

struct Options : MenuOutputOptions {
    bool help = false;
    std::vector<std::pair<std::string, std::string>> sets;
    std::string project;
};

void message(const std::string& text)
{
    PrintMessage(text);
}

Options parseArguments(int argc, char** argv)
{
    Options options;
    ArgumentReader args(argc, argv);
    while (args.next()) {
        const std::string& name = args.name();
        if (!args.isOption()) {
            if (!options.project.empty())
                throw CommandUsageError("more than one project file: '" + options.project +
                                        "' and '" + name + "'");
            options.project = name;
            if (options.project.empty())
                throw CommandUsageError("empty project file name");
            continue;
        }
        if (name == "--help" || name == "-h") {
            options.help = true;
        } else if (name == "--check") {
            args.noValue();
            options.check = true;
        } else if (ReadMenuOutputOption(args, options)) {
            // --export, --save, --disc-menu, --size or --type
        } else if (name == "--set") {
            options.sets.push_back(ReadSetOption(args));
        } else {
            throw CommandUsageError("unknown option " + name);
        }
    }
    if (options.help)
        return options;
    if (options.exportFile.empty() && options.saveFile.empty() && options.discMenuDir.empty() &&
        !options.check)
        throw CommandUsageError(
            "nothing to do: give --export FILE, --disc-menu DIR, --save FILE or --check");
    if (!options.exportFile.empty())
        options.type = ExportPictureType(options.exportFile, options.type);
    return options;
}

// Nobody is there to confirm anything: every message goes to standard error and the
// command goes on; movie frames are taken without the thumbnail dialog.
class HeadlessHost : public ProjectLoadHost {
public:
    void showError(const std::string& text) override { message(text); }
    void showInformation(const std::string& text) override { message(text); }

    bool retakeMovieFrame(MenuDocument& doc, int n, std::string& failure) override
    {
        return RetakeWithoutDialog(doc, n, failure);
    }

    // A line per finding, as scripts read standard error line by line.
    void reportLoad(const LoadReport& report) override
    {
        for (const LoadReport::Source& s : report.relinked)
            message(s.stored + " (" + s.what + ") not found; using " + s.found);
        for (const LoadReport::Source& s : report.notFound)
            message(s.stored + " (" + s.what + ") not found");
        for (const std::string& failure : report.failures)
            message(failure);
        LoadReport counts;
        counts.moviesLoaded = report.moviesLoaded;
        counts.picturesLoaded = report.picturesLoaded;
        if (const std::string text = LoadSummaryText(counts); !text.empty())
            message(text);
    }
};

ExitStatus run(const Options& options, const char* program)
{
    const auto app = StartHeadlessApplication(program);
    MenuDocument doc;
    StartCommandDocument(doc, options.size);

    HeadlessHost host;
    if (!options.project.empty()) {
        try {
            if (!LoadProject(doc, options.project, host))
                return ExitStatus::LoadFailed; // "Invalid file format" has been printed
        } catch (const std::exception& e) {
            message(e.what());
            return ExitStatus::LoadFailed;
        }
    }
    try {
        ApplySettings(doc, options.sets, host);
    } catch (const std::exception& e) {
        message(e.what());
        return ExitStatus::BadUsage;
    }
    PrintingReporter reporter;
    return StatusOf(WriteMenuOutputs(doc, options, reporter), options.check);
}

} // namespace

bool IsHeadlessInvocation(int argc, char** argv)
{
    for (int i = 1; i < argc; ++i)
        if (std::string_view(argv[i]).starts_with("--"))
            return true;
    return false;
}

int RunHeadless(int argc, char** argv)
{
    // The commands that make something other than one menu from one project; the first
    // whose option is given takes the whole command line.
    struct Command {
        const char* option;
        int (*run)(int argc, char** argv);
    };
    static constexpr Command kCommands[] = {
        {"--dvd", RunDvdCommand}, // before --from-movies, which it also takes
        {"--batch", RunBatchCommand},
        {"--from-movies", RunFromMoviesCommand},
        {"--verify-disc", RunVerifyDiscCommand},
        {"--burn", RunBurnCommand}, // after --dvd, which burns what it made
    };
    for (const Command& command : kCommands)
        if (HasOption(argc, argv, command.option))
            return command.run(argc, argv);
    return RunCommand(argc, argv, parseArguments, run);
}
