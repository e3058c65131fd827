#include "menusettings.h"

#include "document/loadreport.h"
#include "document/projectparse.h"
#include "document/settingcheck.h"
#include "imageio/asciicase.h"
#include "imageio/atomicfile.h"
#include "imageio/picturefailure.h"
#include "thumbs/autoframe.h"

#include <array>
#include <exception>

void ChooseAutoFrame(MenuDocument& doc, int n, LoadReport& report)
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
        AutoFrame chosen = ChooseMovieFrame(source.menuclip);
        source.menuframe = chosen.frame;
        source.ThumbnailImage = std::move(chosen.picture);
        ++report.moviesLoaded;
    } catch (const std::exception& e) {
        source.menuframe = 0;
        report.failures.push_back("Cannot open movie " + FileNameOf(source.menuclip) + ": " +
                                  e.what());
    }
}

void ApplySettings(MenuDocument& doc, const std::vector<Setting>& settings, ProjectLoadHost& host)
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
            ChooseAutoFrame(doc, n, report);
        else if (sourceSet[i])
            RetakeThumbnail(doc, n, host, report);
    }
    host.reportLoad(report);
}
