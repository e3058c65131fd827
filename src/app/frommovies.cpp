#include "frommovies.h"

#include "batch/menusettings.h"
#include "batch/quiethost.h"
#include "commandtools.h"
#include "discmenucommand.h"
#include "document/projectfile.h"
#include "document/settingcheck.h"
#include "headless.h"
#include "imageio/fileio.h"
#include "imageio/imageunit.h"
#include "imageio/picturetype.h"
#include "render/drawmenu.h"

#include <algorithm>
#include <cstdio>
#include <exception>
#include <filesystem>

namespace fs = std::filesystem;

namespace {

enum class MoviesExit {
    Ok = 0,
    WriteFailed = 1,
    BadUsage = 2,
    LoadFailed = 3,
    SubpictureFailed = kExitSubpictureFailed,
};

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
            options.movies.push_back(name);
        } else if (name == "--help" || name == "-h") {
            options.help = true;
        } else if (name == "--from-movies") {
            args.noValue();
        } else if (ReadMenuOutputOption(args, options)) {
            // --export, --save, --disc-menu, --size or --type
        } else if (name == "--set") {
            auto [key, setValue] = SplitSetOption(args.value());
            if (const std::string problem = SettingProblem(key, setValue); !problem.empty())
                throw CommandUsageError(problem + " in --set");
            options.sets.emplace_back(std::move(key), std::move(setValue));
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

MoviesExit runFromMovies(MoviesOptions options, const char* program)
{
    if (options.movies.size() > kItemCount) {
        PrintMessage(std::to_string(options.movies.size()) +
                     " movies given, but a menu holds ten: the first ten are used");
        options.movies.resize(kItemCount);
    }
    for (const std::string& movie : options.movies) {
        if (!IsRegularFile(movie)) {
            PrintMessage("Cannot open file " + movie);
            return MoviesExit::LoadFailed;
        }
    }

    std::vector<Setting> settings;
    const int count = static_cast<int>(options.movies.size());
    std::string folder = fs::absolute(options.movies.front()).parent_path().filename();
    std::replace(folder.begin(), folder.end(), '_', ' ');
    if (!folder.empty())
        settings.emplace_back("title", SettingText("title", folder));
    // A finished menu, not a template: no placeholder texts under the title.
    settings.emplace_back("subtitle", "");
    settings.emplace_back("footnote", "");
    settings.emplace_back("menucount", std::to_string(count));
    for (int n = 1; n <= count; ++n) {
        const std::string& movie = options.movies[static_cast<std::size_t>(n - 1)];
        const std::string number = std::to_string(n);
        settings.emplace_back("menuclip" + number, absolutePath(movie));
        settings.emplace_back("menucaption" + number,
                              SettingText("menucaption", CaptionFromFileName(movie)));
        settings.emplace_back("menuframe" + number, "auto");
    }
    settings.insert(settings.end(), options.sets.begin(), options.sets.end());

    const auto app = StartHeadlessApplication(program);
    MenuDocument doc;
    StartCommandDocument(doc, options.size);

    QuietLoadHost host;
    try {
        ApplySettings(doc, settings, host);
    } catch (const std::exception& e) {
        PrintMessage(e.what());
        return MoviesExit::BadUsage;
    }
    for (const std::string& note : host.notes)
        PrintMessage(note);
    if (!host.errors.empty()) {
        for (const std::string& error : host.errors)
            PrintMessage(error);
        return MoviesExit::LoadFailed;
    }
    for (int n = 1; n <= count; ++n)
        PrintMessage("Movie clip #" + std::to_string(n) + ": frame " +
                     std::to_string(doc.item(n).source.menuframe));

    MoviesExit result = MoviesExit::Ok;
    if (!options.exportFile.empty()) {
        bool saved = false;
        try {
            Picture scratch;
            saved =
                SavePictureFile(options.type, options.exportFile, ComposeMenuImage(doc, scratch));
        } catch (...) {
            saved = false;
        }
        PrintMessage(saved ? options.exportFile + " saved" : "Error saving " + options.exportFile);
        if (!saved)
            result = MoviesExit::WriteFailed;
    }
    if (!options.discMenuDir.empty()) {
        if (const int status = RunDiscMenuCommand(doc, options.discMenuDir); status != 0)
            result = static_cast<MoviesExit>(status);
    }
    if (!options.saveFile.empty()) {
        try {
            SaveProject(doc, options.saveFile);
            PrintMessage(options.saveFile + " saved");
        } catch (const std::exception& e) {
            PrintMessage(e.what());
            result = MoviesExit::WriteFailed;
        }
    }
    return result;
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

std::string FromMoviesUsage()
{
    return "  tavrel --from-movies FILE... [--export FILE] [--save PROJECT] [--disc-menu DIR]\n"
           "         [--size N] [--type T] [--set KEY=VALUE]...\n"
           "                  a menu with one item per movie (at most ten): captions from\n"
           "                  the file names, frames chosen automatically, the title from\n"
           "                  the folder's name, no subtitle or footnote; then the --set\n"
           "                  values.\n";
}

int RunFromMoviesCommand(int argc, char** argv)
{
    MoviesOptions options;
    try {
        options = parseMoviesArguments(argc, argv);
    } catch (const CommandUsageError& e) {
        PrintMessage(std::string(e.what()) + " (see tavrel --help)");
        return static_cast<int>(MoviesExit::BadUsage);
    }
    if (options.help) {
        std::fputs(HeadlessUsage().c_str(), stdout);
        return 0;
    }
    try {
        return static_cast<int>(runFromMovies(std::move(options), argc > 0 ? argv[0] : "tavrel"));
    } catch (const std::exception& e) {
        PrintMessage(e.what());
        return static_cast<int>(MoviesExit::WriteFailed);
    }
}
