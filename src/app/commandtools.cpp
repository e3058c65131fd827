#include "commandtools.h"

#include "base/escapecontrols.h"
#include "document/projectparse.h"
#include "document/settingcheck.h"
#include "render/fontfamilies.h"
#include "usage.h"

#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string_view>

bool HasOption(int argc, char** argv, const std::string& name)
{
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--")
            return false;
        if (arg == name ||
            (arg.starts_with(name) && arg.size() > name.size() && arg[name.size()] == '='))
            return true;
    }
    return false;
}

bool ArgumentReader::next()
{
    if (++m_index >= m_argc)
        return false;
    std::string arg = m_argv[m_index];
    m_inline.reset();
    if (!m_optionsEnded && arg == "--") {
        m_optionsEnded = true;
        return next();
    }
    m_isOption = !m_optionsEnded && arg.size() >= 2 && arg[0] == '-';
    if (m_isOption && arg.starts_with("--")) {
        if (const auto eq = arg.find('='); eq != std::string::npos) {
            m_inline = arg.substr(eq + 1);
            arg.resize(eq);
        }
    }
    m_name = std::move(arg);
    return true;
}

std::string ArgumentReader::value()
{
    if (m_inline)
        return *m_inline;
    if (m_index + 1 >= m_argc)
        throw CommandUsageError("option " + m_name + " needs a value");
    return m_argv[++m_index];
}

std::string ArgumentReader::nonEmptyValue(const std::string& what)
{
    std::string text = value();
    if (text.empty())
        throw CommandUsageError(m_name + " needs " + what);
    return text;
}

void ArgumentReader::noValue() const
{
    if (m_inline)
        throw CommandUsageError("option " + m_name + " takes no value");
}

std::string PrintableText(const std::string& text)
{
    return EscapeControls(text);
}

void PrintMessage(const std::string& text)
{
    std::fprintf(stderr, "tavrel: %s\n", PrintableText(text).c_str());
}

void PrintUsage()
{
    std::fputs(UsageText().c_str(), stdout);
}

void PrintUsageError(const std::string& text)
{
    PrintMessage(text + " (see tavrel --help)");
}

void PrintingReporter::warning(const std::string& text)
{
    std::fprintf(stderr, "warning: %s\n", PrintableText(text).c_str());
}

void PrintingReporter::saved(const std::string& path)
{
    PrintMessage(path + " saved");
}

void PrintingReporter::note(const std::string& text)
{
    PrintMessage(text);
}

void PrintingReporter::failure(const std::string& text)
{
    PrintMessage(text);
}

ExitStatus StatusOf(const OutputResult& result, bool check)
{
    if (result.sourceMissing)
        return ExitStatus::LoadFailed;
    if (result.writeFailed)
        return ExitStatus::WriteFailed;
    if (result.subpictureFailed)
        return ExitStatus::SubpictureFailed;
    if (check && result.warnings > 0)
        return ExitStatus::Warnings;
    return ExitStatus::Ok;
}

int ParseSizeOption(const std::string& value)
{
    const auto size = ParseDecimal(value);
    if (!size || *size < 0 || *size > 3)
        throw CommandUsageError("--size takes 0, 1, 2 or 3, not '" + value + "'");
    return *size;
}

std::pair<std::string, std::string> SplitSetOption(const std::string& value)
{
    const auto eq = value.find('=');
    if (eq == std::string::npos)
        throw CommandUsageError("--set takes KEY=VALUE, not '" + value + "'");
    std::string key = value.substr(0, eq);
    std::string setting = SettingText(key, value.substr(eq + 1));
    return {std::move(key), std::move(setting)};
}

std::pair<std::string, std::string> ReadSetOption(ArgumentReader& args)
{
    auto [key, value] = SplitSetOption(args.value());
    if (const std::string problem = SettingProblem(key, value); !problem.empty())
        throw CommandUsageError(IsSettableKey(key) ? problem : problem + " in --set");
    return {std::move(key), std::move(value)};
}

void ReadMovieListArguments(int argc, char** argv, const std::string& command,
                            MovieListOptions& options,
                            const std::function<bool(ArgumentReader&)>& readOwn)
{
    // Known before the loop, as it is when the command is chosen, so that a movie is
    // checked where it stands even when --from-movies comes after it.
    options.fromMovies = HasOption(argc, argv, "--from-movies");
    ArgumentReader args(argc, argv);
    while (args.next()) {
        const std::string& name = args.name();
        if (!args.isOption()) {
            if (name.empty())
                throw CommandUsageError(options.fromMovies ? "empty movie file name"
                                                           : "empty file name");
            if (options.fromMovies)
                if (const std::string problem = PathProblem(name); !problem.empty())
                    throw CommandUsageError(problem);
            options.files.push_back(name);
        } else if (name == "--help" || name == "-h") {
            options.help = true;
        } else if (name == "--from-movies") {
            args.noValue();
        } else if (name == "--set") {
            options.sets.push_back(ReadSetOption(args));
        } else if (!readOwn(args)) {
            throw CommandUsageError("unknown option " + name + " with " + command);
        }
    }
}

PictureType ParseTypeOption(const std::string& value)
{
    const PictureType type = PictureTypeByName(value);
    if (type == PictureType::None)
        throw CommandUsageError("--type takes bmp, gif, jpg or png, not '" + value + "'");
    return type;
}

PictureType ExportPictureType(const std::string& exportFile, PictureType given)
{
    if (given != PictureType::None)
        return given;
    const PictureType type = PictureTypeOfFile(exportFile);
    if (type == PictureType::None)
        throw CommandUsageError("cannot tell the image type of '" + exportFile +
                                "': name it .bmp, .gif, .jpg, .jpeg or .png, or give --type");
    return type;
}

// Without a login session (cron, CI, a root shell) Qt notes on every start that
// XDG_RUNTIME_DIR is unset; a command that opens no window never uses that folder, and
// the note would read as a problem in a script's log. Every other message goes through.
void QuietRuntimeDirNotice()
{
    // Once: installed twice, the handler would pass messages on to itself.
    static std::once_flag installed;
    std::call_once(installed, [] {
        static QtMessageHandler next = nullptr;
        next = qInstallMessageHandler(
            [](QtMsgType type, const QMessageLogContext& context, const QString& text) {
                if (type == QtWarningMsg && text.startsWith(QLatin1String("QStandardPaths: ")) &&
                    text.contains(QLatin1String("XDG_RUNTIME_DIR")))
                    return;
                if (next)
                    next(type, context, text);
            });
    });
}

std::unique_ptr<QGuiApplication> StartHeadlessApplication(const char* program)
{
    // Never show a window, whatever display there is.
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    static int qtArgc = 1;
    static char* qtArgv[] = {const_cast<char*>(program), nullptr};
    QuietRuntimeDirNotice();
    return std::make_unique<QGuiApplication>(qtArgc, qtArgv);
}

bool PrintHostMessages(QuietLoadHost& host)
{
    for (const std::string& note : host.notes)
        PrintMessage(note);
    for (const std::string& error : host.errors)
        PrintMessage(error);
    const bool loaded = host.errors.empty();
    host.notes.clear();
    host.errors.clear();
    return loaded;
}

ExitStatus ApplyCommandSettings(MenuDocument& doc, const std::vector<Setting>& settings,
                                QuietLoadHost& host, AutoFrameMemo* memo)
{
    try {
        ApplySettings(doc, settings, host, memo);
    } catch (const std::exception& e) {
        PrintMessage(e.what());
        return ExitStatus::BadUsage;
    }
    return PrintHostMessages(host) ? ExitStatus::Ok : ExitStatus::LoadFailed;
}

void StartCommandDocument(MenuDocument& doc, int size)
{
    doc.installedFonts = InstalledFontFamilies();
    doc.Reset();
    doc.selectVideoMode(size);
    doc.RenderEnabled = true;
}

bool ReadMenuOutputOption(ArgumentReader& args, MenuOutputOptions& options)
{
    const std::string& name = args.name();
    if (name == "--export") {
        options.exportFile = args.nonEmptyValue("a file name");
    } else if (name == "--save") {
        options.saveFile = args.nonEmptyValue("a file name");
    } else if (name == "--disc-menu") {
        options.discMenuDir = args.nonEmptyValue("a folder");
    } else if (name == "--size") {
        options.size = ParseSizeOption(args.value());
    } else if (name == "--type") {
        options.type = ParseTypeOption(args.value());
    } else {
        return false;
    }
    return true;
}
