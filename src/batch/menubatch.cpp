#include "menubatch.h"

#include "base/asciicase.h"
#include "base/fileio.h"
#include "base/memorybudget.h"
#include "document/projectfile.h"
#include "document/projectparse.h"
#include "document/settingcheck.h"
#include "imageio/imageunit.h"
#include "imageio/picturereadreason.h"
#include "output/menuoutputs.h"
#include "outputnames.h"
#include "picturefilecache.h"
#include "quiethost.h"
#include "render/drawmenu.h"
#include "render/scaledpicturecache.h"
#include "resample/filteredresize.h"
#include "rowmemorygate.h"

#include <algorithm>
#include <atomic>
#include <exception>
#include <filesystem>
#include <mutex>
#include <optional>
#include <set>
#include <stdexcept>
#include <thread>

namespace {

std::string trimBlanks(const std::string& text)
{
    const auto begin = text.find_first_not_of(" \t");
    if (begin == std::string::npos)
        return {};
    const auto end = text.find_last_not_of(" \t");
    return text.substr(begin, end - begin + 1);
}

// A row's outputs report into its result; the first failure is the row's error.
class RowReporter : public OutputReporter {
public:
    explicit RowReporter(BatchResult& result) : m_result(result) {}
    void warning(const std::string& text) override { m_result.warnings.push_back(text); }
    void saved(const std::string&) override {}
    void note(const std::string& text) override { m_result.notes.push_back(text); }
    void failure(const std::string& text) override
    {
        if (firstFailure.empty())
            firstFailure = text;
    }
    std::string firstFailure;

private:
    BatchResult& m_result;
};

} // namespace

std::vector<BatchRow> BatchRowsFromTable(const CsvTable& table, const std::string& extension)
{
    std::vector<std::string> keys;
    int nameColumn = -1;
    std::set<std::string> seen;
    for (std::size_t c = 0; c < table.header.size(); ++c) {
        const std::string key = trimBlanks(table.header[c]);
        const std::string column = "column " + std::to_string(c + 1);
        if (key.empty())
            throw std::runtime_error(column + " has no name");
        if (!seen.insert(LowerAscii(key)).second)
            throw std::runtime_error(column + ": '" + key + "' appears twice");
        if (EqualsNoCase(key, "name"))
            nameColumn = static_cast<int>(c);
        else if (!IsSettableKey(key))
            throw std::runtime_error(column + ": unknown column '" + key +
                                     "' (a project key or name)");
        keys.push_back(key);
    }

    std::vector<BatchRow> rows;
    rows.reserve(table.rows.size());
    std::vector<std::string> names;
    for (std::size_t r = 0; r < table.rows.size(); ++r) {
        const CsvRecord& record = table.rows[r];
        BatchRow row;
        row.number = r + 1;
        row.line = record.line;
        const std::string fallback = std::to_string(row.number);
        std::string name = fallback;
        if (record.fields.size() != keys.size()) {
            row.problem = std::to_string(record.fields.size()) + " fields where the header has " +
                          std::to_string(keys.size());
        }
        for (std::size_t c = 0; c < std::min(keys.size(), record.fields.size()); ++c) {
            if (static_cast<int>(c) == nameColumn) {
                name = SettingText("name", record.fields[c]);
                continue;
            }
            std::string value = SettingText(keys[c], record.fields[c]);
            if (const std::string problem = SettingProblem(keys[c], value);
                !problem.empty() && row.problem.empty())
                row.problem = problem;
            row.settings.emplace_back(keys[c], std::move(value));
        }
        if (!extension.empty() && LowerCaseExtension(name) == LowerAscii(extension) &&
            name.size() > extension.size() + 1)
            name.resize(name.size() - extension.size() - 1);
        names.push_back(SafeFileName(name, fallback));
        rows.push_back(std::move(row));
    }
    MakeNamesUnique(names);
    for (std::size_t r = 0; r < rows.size(); ++r)
        rows[r].name = std::move(names[r]);
    return rows;
}

BatchResult MakeBatchRow(const MenuDocument& base, const BatchRow& row,
                         const BatchSettings& settings, PictureFileCache* pictures,
                         ScaledPictureCache* scaled, AutoFrameMemo* frames)
{
    BatchResult result;
    result.number = row.number;
    result.line = row.line;
    const std::filesystem::path dir(settings.outDir);
    const std::string fileName =
        settings.discMenu ? row.name : row.name + "." + PictureTypeSuffix(settings.type);
    result.output = settings.discMenu ? fileName + "/" : fileName;
    auto fail = [&](const std::string& why) {
        result.ok = false;
        result.error = why;
        return result;
    };
    if (!row.problem.empty())
        return fail(row.problem);

    try {
        MenuDocument doc = base;
        if (pictures)
            doc.pictureLoader = [pictures](const std::string& path, PictureUse use, Picture& out,
                                           std::string& reason) {
                return pictures->load(path, use, out, reason);
            };
        QuietLoadHost host;
        ApplySettings(doc, row.settings, host, frames);
        result.notes = std::move(host.notes);
        if (!host.errors.empty())
            return fail(host.errors.front());

        MenuOutputs outputs;
        const std::string target = (dir / fileName).string();
        if (settings.discMenu) {
            outputs.discMenuDir = target;
        } else {
            outputs.exportFile = target;
            outputs.type = settings.type;
        }
        if (settings.saveProjects)
            outputs.saveFile = (dir / (row.name + ".tavrel")).string();
        outputs.scaled = scaled;
        RowReporter reporter(result);
        if (!WriteMenuOutputs(doc, outputs, reporter).ok())
            return fail(reporter.firstFailure);
    } catch (const std::exception& e) {
        return fail(e.what());
    }
    result.ok = true;
    return result;
}

void RunMenuBatch(const MenuDocument& base, const std::vector<BatchRow>& rows,
                  const BatchSettings& settings,
                  const std::function<void(const BatchResult&)>& done)
{
    PictureFileCache pictures;
    AutoFrameMemo frames;
    RowMemoryGate gate([&] { return pictures.clear() + frames.clear(); });
    std::mutex reportMutex;
    std::vector<std::size_t> retryAlone;
    auto report = [&](const BatchResult& result) {
        std::lock_guard lock(reportMutex);
        try {
            done(result);
        } catch (...) {
            // A report that fails must not end the process from a worker thread.
        }
    };
    std::atomic<std::size_t> nextRow{0};
    auto work = [&] {
        // Rows are the unit of parallel work: --jobs N means N threads in all.
        SingleThreadedResize alone;
        // Rows of a table mostly share their background: each worker keeps its rescales.
        ScaledPictureCache scaled;
        for (;;) {
            const std::size_t i = nextRow.fetch_add(1);
            if (i >= rows.size())
                return;
            // The rescales keep full-size copies of their sources, which the memory gate
            // cannot reach inside a row; between rows nothing refers into them.
            if (MemoryBudget::inUse() > MemoryBudget::limit() / 2)
                scaled.clear();
            std::optional<BatchResult> result;
            bool again = false;
            {
                RowMemoryGate::Row row(gate);
                result = MakeBatchRow(base, rows[i], settings, &pictures, &scaled, &frames);
                again = !result->ok && row.mayFitAlone();
            }
            if (again) {
                std::lock_guard lock(reportMutex);
                retryAlone.push_back(i);
            } else {
                report(*result);
            }
        }
    };
    const auto workers = static_cast<std::size_t>(std::clamp(settings.jobs, 1, 1024));
    if (workers == 1 || rows.size() <= 1) {
        work();
    } else {
        std::vector<std::jthread> threads;
        const std::size_t count = std::min(workers, rows.size());
        threads.reserve(count);
        for (std::size_t t = 0; t < count; ++t)
            threads.emplace_back(work);
    }
    // Rows that gave way to others for memory, now with the whole budget: a row fails
    // for memory only when it cannot fit alone.
    std::sort(retryAlone.begin(), retryAlone.end());
    SingleThreadedResize alone;
    ScaledPictureCache scaled;
    for (const std::size_t i : retryAlone) {
        pictures.clear();
        frames.clear();
        const RowMemoryGate::Row row(gate);
        report(MakeBatchRow(base, rows[i], settings, &pictures, &scaled, &frames));
    }
}
