#include "batchcommand.h"

#include "batch/csvtable.h"
#include "batch/menubatch.h"
#include "batch/quiethost.h"
#include "batchprogress.h"
#include "commandtools.h"
#include "discmenuhook.h"
#include "document/projectfile.h"
#include "document/projectparse.h"
#include "headless.h"
#include "imageio/fileio.h"

#include <algorithm>
#include <exception>
#include <filesystem>
#include <thread>
#include <unistd.h>

namespace {

enum class BatchExit {
    Ok = 0,
    WriteFailed = 1,
    BadUsage = 2,
    LoadFailed = 3,
    RowsFailed = 6,
};

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

int defaultJobs()
{
    return static_cast<int>(std::clamp(std::thread::hardware_concurrency(), 1u, 256u));
}

std::string rowLabel(const BatchResult& result)
{
    return "row " + std::to_string(result.number) + " (line " + std::to_string(result.line) + ")";
}

BatchExit runBatch(const BatchOptions& options, const char* program)
{
    CsvTable table;
    try {
        table = ParseCsv(ReadWholeFile(options.table, CsvLimits{}.maxBytes));
    } catch (const CsvError& e) {
        PrintMessage(options.table + ": " + e.what());
        return BatchExit::BadUsage;
    } catch (const std::exception&) {
        PrintMessage("Cannot open file " + options.table);
        return BatchExit::LoadFailed;
    }
    std::vector<BatchRow> rows;
    try {
        rows = BatchRowsFromTable(table, options.discMenu ? "" : PictureTypeSuffix(options.type));
    } catch (const std::exception& e) {
        PrintMessage(options.table + ": " + e.what());
        return BatchExit::BadUsage;
    }

    BatchSettings settings;
    settings.outDir = options.outDir;
    settings.type = options.type;
    settings.saveProjects = options.save;
    settings.jobs = options.jobs > 0 ? options.jobs : defaultJobs();
    if (options.discMenu)
        settings.discMenu = ExportRowDiscMenu;

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
            return BatchExit::LoadFailed;
    }

    std::error_code error;
    std::filesystem::create_directories(options.outDir, error);
    if (!std::filesystem::is_directory(options.outDir)) {
        PrintMessage("Cannot create folder " + options.outDir);
        return BatchExit::WriteFailed;
    }

    BatchProgress progress(rows.size(), stderr, ::isatty(STDERR_FILENO) == 1);
    std::size_t failed = 0;
    RunMenuBatch(base, rows, settings, [&](const BatchResult& result) {
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
        return BatchExit::RowsFailed;
    }
    PrintMessage(std::to_string(rows.size()) + (rows.size() == 1 ? " menu" : " menus") +
                 " written" + where);
    return BatchExit::Ok;
}

} // namespace

std::string BatchUsage()
{
    return "  tavrel --batch TABLE.csv --out DIR [--template PROJECT] [--type T] [--size N]\n"
           "         [--save] [--disc-menu] [--jobs N]\n"
           "                  one menu per row of a comma-separated table whose first line\n"
           "                  names project keys (as for --set) and, optionally, name;\n"
           "                  each row is the template (or the defaults) with the row's\n"
           "                  values applied, written as DIR/name.png (or the row number);\n"
           "                  --save also writes DIR/name.tavrel, --disc-menu makes the\n"
           "                  folder DIR/name/ instead; --jobs rows at once (default: one\n"
           "                  per core). A failing row is reported and the others go on.\n";
}

int RunBatchCommand(int argc, char** argv)
{
    BatchOptions options;
    try {
        options = parseBatchArguments(argc, argv);
    } catch (const CommandUsageError& e) {
        PrintMessage(std::string(e.what()) + " (see tavrel --help)");
        return static_cast<int>(BatchExit::BadUsage);
    }
    if (options.help) {
        std::fputs(HeadlessUsage().c_str(), stdout);
        return 0;
    }
    try {
        return static_cast<int>(runBatch(options, argc > 0 ? argv[0] : "tavrel"));
    } catch (const std::exception& e) {
        PrintMessage(e.what());
        return static_cast<int>(BatchExit::WriteFailed);
    }
}
