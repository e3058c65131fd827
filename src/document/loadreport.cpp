#include "loadreport.h"

#include "base/fileio.h"

#include <algorithm>

namespace {

std::string counted(std::size_t n, const char* one, const char* many)
{
    return std::to_string(n) + " " + (n == 1 ? one : many);
}

std::string folderOf(const std::string& path)
{
    const std::size_t cut = path.find_last_of('/');
    return cut == std::string::npos ? std::string(".") : path.substr(0, cut == 0 ? 1 : cut);
}

} // namespace

std::string LoadSummaryText(const LoadReport& report)
{
    std::vector<std::string> parts;
    if (report.moviesLoaded > 0)
        parts.push_back(counted(static_cast<std::size_t>(report.moviesLoaded), "movie clip loaded",
                                "movie clips loaded"));
    if (report.picturesLoaded > 0)
        parts.push_back(counted(static_cast<std::size_t>(report.picturesLoaded), "picture loaded",
                                "pictures loaded"));
    if (!report.relinked.empty()) {
        // A few are named; a moved folder full of them is told by where they are now.
        std::string part = counted(report.relinked.size(), "source relinked", "sources relinked");
        if (report.relinked.size() <= 3) {
            for (std::size_t i = 0; i < report.relinked.size(); ++i) {
                const LoadReport::Source& s = report.relinked[i];
                part += (i ? ", " : ": ") + FileNameOf(s.stored) + " (" + s.what + ") in " +
                        folderOf(s.found);
            }
        } else {
            std::vector<std::string> folders;
            for (const LoadReport::Source& s : report.relinked)
                if (std::find(folders.begin(), folders.end(), folderOf(s.found)) == folders.end())
                    folders.push_back(folderOf(s.found));
            part += ", found in ";
            for (std::size_t i = 0; i < folders.size() && i < 3; ++i)
                part += (i ? ", " : "") + folders[i];
            if (folders.size() > 3)
                part += " and " + counted(folders.size() - 3, "other folder", "other folders");
        }
        parts.push_back(std::move(part));
    }
    if (!report.notFound.empty()) {
        std::string part =
            counted(report.notFound.size(), "source not found: ", "sources not found: ");
        for (std::size_t i = 0; i < report.notFound.size(); ++i) {
            const LoadReport::Source& s = report.notFound[i];
            part += (i ? ", " : "") + s.stored + " (" + s.what + ")";
        }
        parts.push_back(std::move(part));
    }
    std::string text;
    for (std::size_t i = 0; i < parts.size(); ++i)
        text += (i ? "; " : "") + parts[i];
    if (!text.empty())
        text += '.';
    for (const std::string& failure : report.failures)
        text += (text.empty() ? "" : "\n") + failure;
    return text;
}
