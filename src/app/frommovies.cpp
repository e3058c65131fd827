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

struct MoviesOptions : MenuOutputOptions, MovieListOptions {};

MoviesOptions parseMoviesArguments(int argc, char** argv)
{
    MoviesOptions options;
    ReadMovieListArguments(argc, argv, "--from-movies", options, [&](ArgumentReader& args) {
        return ReadMenuOutputOption(args, options);
    });
    if (options.help)
        return options;
    if (options.files.empty())
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

ExitStatus runFromMovies(const MoviesOptions& given, const char* program)
{
    MoviesOptions options = given;
    std::vector<std::string>& movies = options.files;
    if (movies.size() > kItemCount) {
        PrintMessage(std::to_string(movies.size()) +
                     " movies given, but a menu holds ten: the first ten are used");
        movies.resize(kItemCount);
    }
    if (!MoviesCanBeOpened(movies))
        return ExitStatus::LoadFailed;
    std::vector<Setting> settings = MovieMenuSettings(movies.front(), movies);
    settings.insert(settings.end(), options.sets.begin(), options.sets.end());

    const auto app = StartHeadlessApplication(program);
    MenuDocument doc;
    StartCommandDocument(doc, options.size);
    QuietLoadHost host;
    if (const ExitStatus applied = ApplyCommandSettings(doc, settings, host);
        applied != ExitStatus::Ok)
        return applied;
    for (int n = 1; n <= static_cast<int>(movies.size()); ++n)
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

std::vector<Setting> MovieMenuSettings(const std::string& titleFrom,
                                       std::span<const std::string> movies)
{
    std::vector<Setting> settings;
    std::string folder = fs::path(absolutePath(titleFrom)).parent_path().filename();
    std::replace(folder.begin(), folder.end(), '_', ' ');
    if (!folder.empty())
        settings.emplace_back("title", SettingText("title", folder));
    // A finished menu, not a template: no placeholder texts under the title.
    settings.emplace_back("subtitle", "");
    settings.emplace_back("footnote", "");
    settings.emplace_back("menucount", std::to_string(movies.size()));
    for (std::size_t i = 0; i < movies.size(); ++i) {
        const std::string n = std::to_string(i + 1);
        settings.emplace_back("menuclip" + n, absolutePath(movies[i]));
        settings.emplace_back("menucaption" + n,
                              SettingText("menucaption", CaptionFromFileName(movies[i])));
        settings.emplace_back("menuframe" + n, "auto");
    }
    return settings;
}

bool MoviesCanBeOpened(const std::vector<std::string>& movies)
{
    for (const std::string& movie : movies) {
        struct stat st {};
        std::string why;
        if (::stat(movie.c_str(), &st) != 0)
            why = std::strerror(errno);
        else if (!S_ISREG(st.st_mode))
            why = "not a regular file";
        if (!why.empty()) {
            PrintMessage("Cannot open file " + movie + ": " + why);
            return false;
        }
    }
    return true;
}

int RunFromMoviesCommand(int argc, char** argv)
{
    return RunCommand(argc, argv, parseMoviesArguments, runFromMovies);
}
