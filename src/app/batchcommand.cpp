#include "batchcommand.h"

#include "base/atomicfile.h"
#include "batch/csvtable.h"
#include "batch/menubatch.h"
#include "batch/quiethost.h"
#include "batchprogress.h"
#include "commandtools.h"
#include "document/projectfile.h"
#include "document/projectparse.h"

#include <algorithm>
#include <exception>
#include <filesystem>
#include <thread>
#include <unistd.h>

namespace {

struct BatchOptions {
    bool help = false;
    std::string table;
    std::string outDir;
    std::string templateProject;
    PictureType type = PictureType::Png;
    bool typeGiven = false;
    int size = 0;
    bool discMenu = false;
    bool save = false;
    int jobs = 0; // 0: one per core
};

BatchOptions parseBatchArguments(int argc, char** argv)
{
    BatchOptions options;
    ArgumentReader args(argc, argv);
    while (args.next()) {
        const std::string& name = args.name();
        if (!args.isOption())
            throw CommandUsageError("unexpected argument '" + name +
                                    "' (the table follows --batch)");
        if (name == "--help" || name == "-h") {
            options.help = true;
        } else if (name == "--batch") {
            options.table = args.nonEmptyValue("a table file");
        } else if (name == "--out") {
            options.outDir = args.nonEmptyValue("a folder");
        } else if (name == "--template") {
            options.templateProject = args.nonEmptyValue("a project file");
        } else if (name == "--type") {
            options.type = ParseTypeOption(args.value());
            options.typeGiven = true;
        } else if (name == "--size") {
            options.size = ParseSizeOption(args.value());
        } else if (name == "--disc-menu") {
            args.noValue();
            options.discMenu = true;
        } else if (name == "--save") {
            args.noValue();
            options.save = true;
        } else if (name == "--jobs") {
            const std::string value = args.value();
            const auto jobs = ParseDecimal(value);
            if (!jobs || *jobs < 1 || *jobs > 256)
                throw CommandUsageError("--jobs takes a number from 1 to 256, not '" + value + "'");
            options.jobs = *jobs;
        } else {
            throw CommandUsageError("unknown option " + name + " with --batch");
        }
    }
    if (options.help)
        return options;
    if (options.outDir.empty())
        throw CommandUsageError("--batch needs --out DIR");
    if (options.discMenu && options.typeGiven)
        throw CommandUsageError("--type does not go with --disc-menu");
    return options;
}

int coreCount()
{
    return static_cast<int>(std::clamp(std::thread::hardware_concurrency(), 1u, 256u));
}

// More rows at once than cores only adds memory: each row holds its pictures and decoders.
int jobsFor(int asked)
{
    const int cores = coreCount();
    if (asked == 0)
        return cores;
    if (asked > cores) {
        PrintMessage("--jobs " + std::to_string(asked) + " is more than the " +
                     std::to_string(cores) + (cores == 1 ? " core" : " cores") + " here; " +
                     std::to_string(cores) + " rows run at once");
        return cores;
    }
    return asked;
}

std::string rowLabel(const BatchResult& result)
{
    return "row " + std::to_string(result.number) + " (line " + std::to_string(result.line) + ")";
}

ExitStatus runBatch(const BatchOptions& options, const char* program)
{
    CsvTable table;
    try {
        table = ParseCsv(ReadWholeFile(options.table, CsvLimits{}.maxBytes));
    } catch (const CsvError& e) {
        PrintMessage(options.table + ": " + e.what());
        return ExitStatus::BadUsage;
    } catch (const std::exception& e) {
        PrintMessage(e.what()); // "Cannot open file TABLE: why"
        return ExitStatus::LoadFailed;
    }
    std::vector<BatchRow> rows;
    try {
        rows = BatchRowsFromTable(table, options.discMenu ? "" : PictureTypeSuffix(options.type));
    } catch (const std::exception& e) {
        PrintMessage(options.table + ": " + e.what());
        return ExitStatus::BadUsage;
    }

    BatchSettings settings;
    settings.outDir = options.outDir;
    settings.type = options.type;
    settings.saveProjects = options.save;
    settings.jobs = jobsFor(options.jobs);
    settings.discMenu = options.discMenu;

    const auto app = StartHeadlessApplication(program);
    MenuDocument base;
    StartCommandDocument(base, options.size);
    if (!options.templateProject.empty()) {
        QuietLoadHost host;
        bool loaded = false;
        try {
            loaded = LoadProject(base, options.templateProject, host);
        } catch (const std::exception& e) {
            host.errors.push_back(e.what());
        }
        for (const std::string& note : host.notes)
            PrintMessage(note);
        for (const std::string& text : host.errors)
            PrintMessage(text);
        if (!loaded)
            return ExitStatus::LoadFailed;
    }

    std::error_code error;
    std::filesystem::create_directories(options.outDir, error);
    if (!std::filesystem::is_directory(options.outDir)) {
        PrintMessage("Cannot create folder " + options.outDir +
                     (error ? ": " + error.message() : ": a file of that name is in the way"));
        return ExitStatus::WriteFailed;
    }

    BatchProgress progress(rows.size(), stderr, ::isatty(STDERR_FILENO) == 1);
    std::size_t failed = 0;
    RunMenuBatch(base, rows, settings, [&](const BatchResult& result) {
        for (const std::string& text : result.warnings)
            progress.note("warning: " + rowLabel(result) + ": " + PrintableText(text));
        for (const std::string& note : result.notes)
            progress.note("tavrel: " + rowLabel(result) + ": " + PrintableText(note));
        if (result.ok) {
            progress.rowDone(PrintableText(result.output));
        } else {
            ++failed;
            progress.rowDone(rowLabel(result) + " failed: " + PrintableText(result.error));
        }
    });
    progress.finish();
    const std::string where = " in " + options.outDir;
    if (failed > 0) {
        PrintMessage(std::to_string(rows.size() - failed) + " of " + std::to_string(rows.size()) +
                     " menus written" + where + "; " + std::to_string(failed) +
                     (failed == 1 ? " row" : " rows") + " failed");
        return ExitStatus::RowsFailed;
    }
    PrintMessage(std::to_string(rows.size()) + (rows.size() == 1 ? " menu" : " menus") +
                 " written" + where);
    return ExitStatus::Ok;
}

} // namespace

int RunBatchCommand(int argc, char** argv)
{
    return RunCommand(argc, argv, parseBatchArguments, runBatch);
}
