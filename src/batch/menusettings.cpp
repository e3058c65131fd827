#include "menusettings.h"

#include "base/asciicase.h"
#include "base/fileio.h"
#include "document/loadreport.h"
#include "document/projectparse.h"
#include "document/settingcheck.h"
#include "imageio/picturereadreason.h"
#include "mediamodule/mediamodule.h"
#include "thumbs/autoframe.h"

#include <array>
#include <exception>

AutoFrameMemo::AutoFrameMemo(std::uint64_t budgetBytes) : m_budget(budgetBytes) {}

AutoFrame AutoFrameMemo::choose(const std::string& path)
{
    {
        std::lock_guard lock(m_mutex);
        if (const auto it = m_frames.find(path); it != m_frames.end())
            return *it->second;
    }
    // Chosen outside the lock: rows wanting different movies do not wait on each other.
    auto chosen = std::make_shared<const AutoFrame>(Media().chooseMovieFrame(path));
    const std::uint64_t bytes = static_cast<std::uint64_t>(chosen->picture.stride()) *
                                static_cast<std::uint64_t>(chosen->picture.height());
    std::lock_guard lock(m_mutex);
    if (m_bytes + bytes <= m_budget && m_frames.emplace(path, chosen).second)
        m_bytes += bytes;
    return *chosen;
}

std::uint64_t AutoFrameMemo::clear()
{
    std::lock_guard lock(m_mutex);
    const std::uint64_t bytes = m_bytes;
    m_frames.clear();
    m_bytes = 0;
    return bytes;
}

void ChooseAutoFrame(MenuDocument& doc, int n, LoadReport& report, AutoFrameMemo* memo)
{
    ThumbnailSource& source = doc.item(n).source;
    source.ThumbnailImage.clear();
    const std::string what = "item " + std::to_string(n);
    if (source.menuclip.empty()) {
        report.failures.push_back("menuframe" + std::to_string(n) +
                                  "=auto needs a movie in menuclip" + std::to_string(n) + ".");
        return;
    }
    if (!IsRegularFile(source.menuclip)) {
        report.notFound.push_back({what, source.menuclip, {}});
        return;
    }
    try {
        AutoFrame chosen =
            memo ? memo->choose(source.menuclip) : Media().chooseMovieFrame(source.menuclip);
        source.menuframe = chosen.frame;
        source.ThumbnailImage = std::move(chosen.picture);
        ++report.moviesLoaded;
    } catch (const std::exception& e) {
        source.menuframe = 0;
        report.failures.push_back(e.what()); // names the movie and says why in words
    }
}

void ApplySettings(MenuDocument& doc, const std::vector<Setting>& settings, ProjectLoadHost& host,
                   AutoFrameMemo* memo)
{
    std::array<bool, kItemCount> sourceSet{};
    std::array<bool, kItemCount> automatic{};
    for (const auto& [key, value] : settings) {
        const int n = ProjectKeyItem(FindProjectKey(key));
        const std::string lower = LowerAscii(key);
        const bool frameKey = n != 0 && lower.starts_with("menuframe");
        if (frameKey)
            automatic[static_cast<std::size_t>(n - 1)] = IsAutoFrame(key, value);
        if (frameKey && IsAutoFrame(key, value)) {
            sourceSet[static_cast<std::size_t>(n - 1)] = true;
            continue;
        }
        ApplyProjectValue(doc, key, value);
        if (lower == "bgimage" && !doc.BackgroundFailure.empty())
            host.showError(PictureFailureMessage(doc.bgimage, doc.BackgroundFailure));
        if (lower == "textfont" && !value.empty() && doc.textfont.empty())
            host.showInformation("font '" + value + "' is not installed; the default face is used");
        if (n != 0 && !lower.starts_with("menucaption"))
            sourceSet[static_cast<std::size_t>(n - 1)] = true;
    }
    LoadReport report;
    for (int n = 1; n <= kItemCount; ++n) {
        const auto i = static_cast<std::size_t>(n - 1);
        if (automatic[i])
            ChooseAutoFrame(doc, n, report, memo);
        else if (sourceSet[i])
            RetakeThumbnail(doc, n, host, report);
    }
    host.reportLoad(report);
}
