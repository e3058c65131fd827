#pragma once

#include "batch/menusettings.h"
#include "batch/quiethost.h"
#include "document/menudocument.h"
#include "exitstatus.h"
#include "imageio/picturetype.h"
#include "output/menuoutputs.h"

#include <QGuiApplication>

#include <cstdio>
#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

// What the commands without a window share: reading options, printing messages and
// the application object that text drawing needs.

struct CommandUsageError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// Whether argv holds option `name` ("--batch" or "--batch=..."), before any "--".
bool HasOption(int argc, char** argv, const std::string& name);

// Walks argv: options as "--name value" or "--name=value", anything else (and
// everything after "--") as plain arguments.
class ArgumentReader {
public:
    ArgumentReader(int argc, char** argv) : m_argc(argc), m_argv(argv) {}
    // Moves to the next argument; false at the end.
    bool next();
    bool isOption() const { return m_isOption; }
    const std::string& name() const { return m_name; } // the option, or the plain argument
    // The option's value: the part after "=", else the next argument.
    std::string value();
    // value(), refused when empty: "--out needs a folder" for `what` "a folder".
    std::string nonEmptyValue(const std::string& what);
    // For options that take none: refuses "--name=value".
    void noValue() const;
    // Whether the option came as "--name=value".
    bool hasInlineValue() const { return m_inline.has_value(); }

private:
    int m_argc;
    char** m_argv;
    int m_index = 0;
    bool m_optionsEnded = false;
    bool m_isOption = false;
    std::string m_name;
    std::optional<std::string> m_inline;
};

// "tavrel: TEXT" on standard error, control characters and bytes that are not UTF-8
// shown as \xHH so that a file name cannot move the cursor or hide the rest of the line.
void PrintMessage(const std::string& text);
std::string PrintableText(const std::string& text);

// The usage of every command on standard output.
void PrintUsage();

// Where the menu of one command goes (the picture, the project, the disc folder), and
// the --size it is made at.
struct MenuOutputOptions : MenuOutputs {
    int size = 0;
};

// Results on standard error: "tavrel: x.png saved", "warning: ...", every text escaped.
class PrintingReporter : public OutputReporter {
public:
    void warning(const std::string& text) override;
    void saved(const std::string& path) override;
    void note(const std::string& text) override;
    void failure(const std::string& text) override;
};

// The exit status for what WriteMenuOutputs did; `check`: warnings count as a finding.
ExitStatus StatusOf(const OutputResult& result, bool check);

// Prints `text` (escaped) and the pointer to --help, as every usage error is reported.
void PrintUsageError(const std::string& text);

// The frame every command runs in: `parse` reads the options (CommandUsageError for a bad
// one: status 2), --help prints the usage, then `run` does the work; an exception that
// escapes it is printed and ends the command with `escaped`.
template <class Options>
int RunCommand(int argc, char** argv, Options (*parse)(int, char**),
               ExitStatus (*run)(const Options&, const char* program),
               ExitStatus escaped = ExitStatus::WriteFailed)
{
    Options options;
    try {
        options = parse(argc, argv);
    } catch (const CommandUsageError& e) {
        PrintUsageError(e.what());
        return ToExitCode(ExitStatus::BadUsage);
    }
    if (options.help) {
        PrintUsage();
        return ToExitCode(ExitStatus::Ok);
    }
    try {
        return ToExitCode(run(options, argc > 0 ? argv[0] : "tavrel"));
    } catch (const std::exception& e) {
        PrintMessage(e.what());
        return ToExitCode(escaped);
    }
}

// Reads the option at `args` when it is one of --export, --save, --disc-menu, --size or
// --type; false for any other.
bool ReadMenuOutputOption(ArgumentReader& args, MenuOutputOptions& options);

// --set KEY=VALUE: the key and the value as a setting holds it (SettingText); the value
// is not checked.
std::pair<std::string, std::string> SplitSetOption(const std::string& value);

// --set KEY=VALUE read and checked as the project reader would take it, so that a typing
// error is reported instead of silently read as false or 10.
std::pair<std::string, std::string> ReadSetOption(ArgumentReader& args);

// What the commands on a list of movies (--from-movies, --dvd) read alike.
struct MovieListOptions {
    bool help = false;
    bool fromMovies = false;        // the files are movies, else the one project
    std::vector<std::string> files; // as given
    std::vector<std::pair<std::string, std::string>> sets;
};

// Reads argv for `command` ("--dvd"): plain arguments into `files` (a movie's path refused
// where a project could not keep it), --help, --from-movies and --set; any other option
// goes to `readOwn`, which returns false for one it does not know. CommandUsageError for
// a bad one.
void ReadMovieListArguments(int argc, char** argv, const std::string& command,
                            MovieListOptions& options,
                            const std::function<bool(ArgumentReader&)>& readOwn);

// --size: 0..3.
int ParseSizeOption(const std::string& value);

// --type: a picture type by name.
PictureType ParseTypeOption(const std::string& value);

// The type an export is written in: `given` (by --type), else the one `exportFile`'s
// extension names; a usage error when neither says.
PictureType ExportPictureType(const std::string& exportFile, PictureType given);

// Keeps Qt's notice of an unset XDG_RUNTIME_DIR, meaningless without a window, out of
// the messages; call before the application object is made.
void QuietRuntimeDirNotice();

// The application object for text drawing, never on a screen.
// Qt takes options of its own out of argv ("--platform", "--reverse" ...); ours are
// parsed already, so it gets only the program name.
std::unique_ptr<QGuiApplication> StartHeadlessApplication(const char* program);

// Prints what `host` collected, notes first, and forgets it, so that a later call does not
// repeat it; false when it held an error (a source that did not load).
bool PrintHostMessages(QuietLoadHost& host);

// Applies `settings` to `doc` and prints what the host collected: BadUsage for a setting
// the document refuses, LoadFailed when a source did not load, else Ok.
ExitStatus ApplyCommandSettings(MenuDocument& doc, const std::vector<Setting>& settings,
                                QuietLoadHost& host, AutoFrameMemo* memo = nullptr);

// The document a command starts from: the defaults with the installed fonts, at --size
// `size`, drawn on every change. Needs the application object.
void StartCommandDocument(MenuDocument& doc, int size);
