#include "headless.h"

#include "batch/menusettings.h"
#include "batch/quiethost.h"
#include "batchcommand.h"
#include "commandtools.h"
#include "discmenucommand.h"
#include "dvdcommand.h"
#include "document/menudocument.h"
#include "document/projectfile.h"
#include "document/settingcheck.h"
#include "frommovies.h"
#include "imageio/asciicase.h"
#include "imageio/escapecontrols.h"
#include "imageio/imageunit.h"
#include "imageio/picturetype.h"
#include "render/drawmenu.h"
#include "render/legibilitycheck.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <stdexcept>
#include <string_view>
#include <utility>

namespace {

enum class ExitCode {
    Ok = 0,
    WriteFailed = 1,
    BadUsage = 2,
    LoadFailed = 3,
    Warnings = 4,         // --check found something
    SubpictureFailed = 5, // --disc-menu: menu.mpg could not be made
};

struct Options : MenuOutputOptions {
    bool help = false;
    bool check = false;
    std::vector<std::pair<std::string, std::string>> sets;
    std::string project;
};

void message(const std::string& text)
{
    std::fprintf(stderr, "tavrel: %s\n", EscapeControls(text).c_str());
}

// A --set value must be exactly what the reader takes, so that a typing error is
// reported instead of silently read as false or 10.
void checkSetValue(const std::string& key, const std::string& value)
{
    const std::string problem = SettingProblem(key, value);
    if (!problem.empty())
        throw CommandUsageError(IsSettableKey(key) ? problem : problem + " in --set");
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
            if (args.hasInlineValue())
                throw CommandUsageError("--check takes no value");
            options.check = true;
        } else if (ReadMenuOutputOption(args, options)) {
            // --export, --save, --disc-menu, --size or --type
        } else if (name == "--set") {
            auto [key, setValue] = SplitSetOption(args.value());
            checkSetValue(key, setValue);
            options.sets.emplace_back(std::move(key), std::move(setValue));
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

// Composes the menu as exported, prints what the legibility check finds as "warning: ..."
// lines and returns their number; the picture goes to `image` when asked for.
std::size_t printLegibilityWarnings(const MenuDocument& doc, Picture* image)
{
    Picture scratch;
    MenuGeometry geometry;
    Picture composed = ComposeMenuImage(doc, scratch, &geometry);
    const std::vector<LegibilityWarning> warnings = CheckLegibility(doc, geometry, composed);
    for (const LegibilityWarning& w : warnings)
        std::fprintf(stderr, "warning: %s\n", w.message.c_str());
    if (image)
        *image = std::move(composed);
    return warnings.size();
}

ExitCode run(const Options& options, const char* program)
{
    const auto app = StartHeadlessApplication(program);
    MenuDocument doc;
    StartCommandDocument(doc, options.size);

    HeadlessHost host;
    if (!options.project.empty()) {
        try {
            if (!LoadProject(doc, options.project, host))
                return ExitCode::LoadFailed; // "Invalid file format" has been printed
        } catch (const std::exception& e) {
            message(e.what());
            return ExitCode::LoadFailed;
        }
    }

    try {
        ApplySettings(doc, options.sets, host);
    } catch (const std::exception& e) {
        message(e.what());
        return ExitCode::BadUsage;
    }

    ExitCode result = ExitCode::Ok;
    std::size_t warnings = 0;
    // Every command that makes the menu's picture says what will go wrong on the TV.
    if ((options.check || !options.discMenuDir.empty()) && options.exportFile.empty())
        warnings = printLegibilityWarnings(doc, nullptr);
    if (!options.exportFile.empty()) {
        bool saved = false;
        try {
            Picture image;
            warnings = printLegibilityWarnings(doc, &image);
            saved = SavePictureFile(options.type, options.exportFile, image);
        } catch (...) {
            saved = false; // reported as a failed save, like any writer failure
        }
        if (saved) {
            message(options.exportFile + " saved");
        } else {
            const std::string why = LastSaveError();
            message("Error saving " + options.exportFile + (why.empty() ? "" : ": " + why));
            result = ExitCode::WriteFailed;
        }
    }
    if (!options.discMenuDir.empty()) {
        const int status = RunDiscMenuCommand(doc, options.discMenuDir);
        if (status != 0 && result == ExitCode::Ok)
            result = static_cast<ExitCode>(status);
    }
    if (!options.saveFile.empty()) {
        try {
            SaveProject(doc, options.saveFile);
        } catch (const std::exception& e) {
            message(e.what());
            result = ExitCode::WriteFailed;
        }
    }
    if (options.check && warnings > 0 && result == ExitCode::Ok)
        result = ExitCode::Warnings;
    return result;
}

} // namespace

bool IsHeadlessInvocation(int argc, char** argv)
{
    for (int i = 1; i < argc; ++i)
        if (std::string_view(argv[i]).starts_with("--"))
            return true;
    return false;
}

std::string HeadlessUsage()
{
    return "Usage: tavrel [PROJECT]\n"
           "       tavrel --export FILE [--size N] [--type bmp|gif|jpg|png] [--set KEY=VALUE]... "
           "[PROJECT]\n"
           "       tavrel --disc-menu DIR [--size N] [--set KEY=VALUE]... [PROJECT]\n"
           "       tavrel --save OUT.tavrel [--set KEY=VALUE]... [PROJECT]\n"
           "       tavrel --check [--size N] [--set KEY=VALUE]... [PROJECT]\n"
           "       tavrel --batch TABLE.csv --out DIR [options]\n"
           "       tavrel --from-movies FILE... [options]\n"
           "       tavrel --dvd DIR [--iso FILE] [options] [PROJECT]\n"
           "       tavrel --help\n"
           "\n"
           "Without options the editor opens, with PROJECT when one is given.\n"
           "With options the menu is made without a window: PROJECT (if any) is loaded,\n"
           "the --set values are applied in order, and the menu is exported and/or saved.\n"
           "\n"
           "  --export FILE   write the menu picture; the type follows the extension\n"
           "                  (.bmp .gif .jpg .jpeg .png) unless --type is given\n"
           "  --type T        bmp, gif, jpg or png\n"
           "  --disc-menu DIR write a DVD menu into DIR: menu.png, the button masks\n"
           "                  highlight.png and select.png, spumux.xml, menu_bg.mpg,\n"
           "                  menu.mpg (with the buttons, made by spumux) and dvdauthor.xml;\n"
           "                  a VCD size (0 or 1) gives menu.png only\n"
           "  --size N        0 = 704x480, 1 = 704x576, 2 = 720x480, 3 = 720x576 (default 0)\n"
           "  --save FILE     write the project file\n"
           "  --check         print what will go wrong on a TV (text outside title-safe,\n"
           "                  overlaps, small or faint text, colours outside 16..235,\n"
           "                  one-pixel lines) as warning: lines; exit status 4 if any.\n"
           "                  --export prints the same warnings and still exits 0\n"
           "  --set KEY=VALUE set a project value, as in the project file:\n"
           "                  title subtitle footnote textfont bgimage (text),\n"
           "                  boldtext shadowtext thumbs numbers quality (true|false),\n"
           "                  textcolor bgcolor (hex BBGGRR), titlesize captionsize (5..15),\n"
           "                  menustart (0..990), menucount (0..10),\n"
           "                  menucaptionN menuclipN menuframeN (N = 1..10; frame -1: picture;\n"
           "                  frame auto: a representative frame of the movie is chosen\n"
           "                  and its number stored),\n"
           "                  aspect (pixels|4:3|16:9), fittext tvsafe (true|false),\n"
           "                  buttonstyle (underline|frame|text|none),\n"
           "                  highlightcolor selectcolor (hex BBGGRR),\n"
           "                  menutitleN (the movie item N plays on a DVD; default: its\n"
           "                  thumbnail's movie)\n"
           "\n"
           "Many menus at once:\n" +
           BatchUsage() + FromMoviesUsage() +
           "\n"
           "A finished DVD:\n" +
           DvdUsage() +
           "\n"
           "Example table (menus.csv; quote a field holding commas, quotes or line breaks,\n"
           "doubling its quotes):\n"
           "  name,title,menucaption1,menuclip1,menuframe1\n"
           "  wedding-long,\"Anna & Ben, the film\",Ceremony,ceremony.mp4,auto\n"
           "  wedding-short,Anna & Ben,\"The \"\"short\"\" cut\",short.mp4,250\n"
           "  tavrel --batch menus.csv --out menus --template base.tavrel --size 3 --save\n"
           "    writes menus/wedding-long.png, menus/wedding-short.png and their projects.\n"
           "  tavrel --from-movies holiday/*.mp4 --size 3 --export holiday.png --save "
           "holiday.tavrel\n"
           "    makes a menu of up to ten movies with the title \"holiday\".\n"
           "  tavrel --from-movies holiday/*.mp4 --size 3 --dvd holiday-dvd --iso holiday.iso\n"
           "    makes the whole DVD of every movie in holiday/ and its disc image.\n"
           "\n"
           "Exit status: 0 done, 1 a file could not be written, 2 bad option or value,\n"
           "3 the project, table or a movie could not be loaded, 4 --check found warnings,\n"
           "5 spumux is missing or could not add the buttons to menu.mpg (the other disc\n"
           "files are written), 6 some rows of a --batch table failed (the others are\n"
           "written), 7 --dvd could not make the disc, 8 the disc did not play as it should.\n";
}

int RunHeadless(int argc, char** argv)
{
    if (HasOption(argc, argv, "--dvd"))
        return RunDvdCommand(argc, argv);
    if (HasOption(argc, argv, "--batch"))
        return RunBatchCommand(argc, argv);
    if (HasOption(argc, argv, "--from-movies"))
        return RunFromMoviesCommand(argc, argv);
    Options options;
    try {
        options = parseArguments(argc, argv);
    } catch (const CommandUsageError& e) {
        message(std::string(e.what()) + " (see tavrel --help)");
        return static_cast<int>(ExitCode::BadUsage);
    }
    if (options.help) {
        std::fputs(HeadlessUsage().c_str(), stdout);
        return static_cast<int>(ExitCode::Ok);
    }
    try {
        return static_cast<int>(run(options, argc > 0 ? argv[0] : "tavrel"));
    } catch (const std::exception& e) {
        message(e.what());
        return static_cast<int>(ExitCode::WriteFailed);
    }
}
