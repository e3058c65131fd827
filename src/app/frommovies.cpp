#include "frommovies.h"

#include "batch/menusettings.h"
#include "batch/quiethost.h"
#include "commandtools.h"
#include "document/settingcheck.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <exception>
#include <filesystem>
#include <sys/stat.h>

namespace fs = std::filesystem;

namespace {

struct MoviesOptions : MenuOutputOptions {
    bool help = false;
    std::vector<std::string> movies;
    std::vector<Setting> sets;
};

MoviesOptions parseMoviesArguments(int argc, char** argv)
{
    MoviesOptions options;
    ArgumentReader args(argc, argv);
    while (args.next()) {
        const std::string& name = args.name();
        if (!args.isOption()) {
            if (name.empty())
                throw CommandUsageError("empty movie file name");
            if (const std::string problem = PathProblem(name); !problem.empty())
                throw CommandUsageError(problem);
            options.movies.push_back(name);
        } else if (name == "--help" || name == "-h") {
            options.help = true;
        } else if (name == "--from-movies") {
            args.noValue();
        } else if (ReadMenuOutputOption(args, options)) {
            // --export, --save, --disc-menu, --size or --type
        } else if (name == "--set") {
            options.sets.push_back(ReadSetOption(args));
        } else {
            throw CommandUsageError("unknown option " + name + " with --from-movies");
        }
    }
    if (options.help)
        return options;
    if (options.movies.empty())
        throw CommandUsageError("--from-movies needs at least one movie file");
    if (options.exportFile.empty() && options.saveFile.empty() && options.discMenuDir.empty())
        throw CommandUsageError(
            "nothing to do: give --export FILE, --save FILE or --disc-menu DIR");
    if (!options.exportFile.empty())
        options.type = ExportPictureType(options.exportFile, options.type);
    return options;
}

// The project keeps absolute paths, so that it opens from wherever it is saved.
std::string absolutePath(const std::string& path)
{
    std::error_code error;
    const fs::path absolute = fs::absolute(path, error);
    return error ? path : absolute.lexically_normal().string();
}

// "" for a movie that can be opened as a file, else why not, as the system says it.
std::string unreadableMovie(const std::string& path)
{
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        return std::strerror(errno);
    if (!S_ISREG(st.st_mode))
        return "not a regular file";
    return {};
}

// The settings that make the menu of `movies`, before the command's own --set values.
std::vector<Setting> movieSettings(const std::vector<std::string>& movies)
{
    std::vector<Setting> settings;
    const int count = static_cast<int>(movies.size());
    std::string folder = fs::absolute(movies.front()).parent_path().filename();
    std::replace(folder.begin(), folder.end(), '_', ' ');
    if (!folder.empty())
        settings.emplace_back("title", SettingText("title", folder));
    // A finished menu, not a template: no placeholder texts under the title.
    settings.emplace_back("subtitle", "");
    settings.emplace_back("footnote", "");
    settings.emplace_back("menucount", std::to_string(count));
    for (int n = 1; n <= count; ++n) {
        const std::string& movie = movies[static_cast<std::size_t>(n - 1)];
        const std::string number = std::to_string(n);
        settings.emplace_back("menuclip" + number, absolutePath(movie));
        settings.emplace_back("menucaption" + number,
                              SettingText("menucaption", CaptionFromFileName(movie)));
        settings.emplace_back("menuframe" + number, "auto");
    }
    return settings;
}

ExitStatus runFromMovies(const MoviesOptions& given, const char* program)
{
    MoviesOptions options = given;
    if (options.movies.size() > kItemCount) {
        PrintMessage(std::to_string(options.movies.size()) +
                     " movies given, but a menu holds ten: the first ten are used");
        options.movies.resize(kItemCount);
    }
    for (const std::string& movie : options.movies) {
        if (const std::string why = unreadableMovie(movie); !why.empty()) {
            PrintMessage("Cannot open file " + movie + ": " + why);
            return ExitStatus::LoadFailed;
        }
    }
    std::vector<Setting> settings = movieSettings(options.movies);
    settings.insert(settings.end(), options.sets.begin(), options.sets.end());

    const auto app = StartHeadlessApplication(program);
    MenuDocument doc;
    StartCommandDocument(doc, options.size);
    QuietLoadHost host;
    try {
        ApplySettings(doc, settings, host);
    } catch (const std::exception& e) {
        PrintMessage(e.what());
        return ExitStatus::BadUsage;
    }
    for (const std::string& note : host.notes)
        PrintMessage(note);
    if (!host.errors.empty()) {
        for (const std::string& error : host.errors)
            PrintMessage(error);
        return ExitStatus::LoadFailed;
    }
    for (int n = 1; n <= static_cast<int>(options.movies.size()); ++n)
        PrintMessage("Movie clip #" + std::to_string(n) + ": frame " +
                     std::to_string(doc.item(n).source.menuframe));
    PrintingReporter reporter;
    return StatusOf(WriteMenuOutputs(doc, options, reporter), false);
}

} // namespace

std::string CaptionFromFileName(const std::string& path)
{
    std::string stem = fs::path(path).stem().string();
    std::string caption;
    for (char c : stem) {
        const char shown = (c == '_' || c == '.') ? ' ' : c;
        if (shown == ' ' && (caption.empty() || caption.back() == ' '))
            continue;
        caption += shown;
    }
    while (!caption.empty() && caption.back() == ' ')
        caption.pop_back();
    return caption;
}

int RunFromMoviesCommand(int argc, char** argv)
{
    return RunCommand(argc, argv, parseMoviesArguments, runFromMovies);
}
