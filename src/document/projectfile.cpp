#include "projectfile.h"

#include "base/atomicfile.h"
#include "imageio/imageunit.h"
#include "imageio/picturereadreason.h"
#include "projectparse.h"
#include "settingcheck.h"
#include "sourcefinder.h"

#include <algorithm>
#include <span>
#include <stdexcept>
#include <sys/stat.h>

namespace {

std::string singleLine(std::string text)
{
    std::replace(text.begin(), text.end(), '\r', ' ');
    std::replace(text.begin(), text.end(), '\n', ' ');
    return text;
}

const char* boolText(bool value)
{
    return value ? "true" : "false";
}

int sizeFactor(const std::string& value)
{
    return std::clamp(ParseDecimal(value).value_or(10), 5, 15);
}

// The fields of the document applied by the reader before the items, in its order.
constexpr std::string_view kFieldOrder[] = {
    "menustart", "menucount", "thumbs",      "numbers",    "bgimage", "bgcolor",
    "textcolor", "textfont",  "boldtext",    "shadowtext", "title",   "subtitle",
    "footnote",  "titlesize", "captionsize", "quality",
};

class LoadGuard {
public:
    LoadGuard(MenuDocument& doc, ProjectLoadHost& host) : m_doc(doc), m_host(host)
    {
        m_doc.RenderEnabled = false;
        m_host.beginBusy();
    }
    ~LoadGuard()
    {
        // A load that failed half-way has changed fields all the same; the panel must show them.
        if (m_changing && m_doc.onSyncPanel) {
            try {
                m_doc.onSyncPanel();
            } catch (...) {
            }
        }
        m_host.endBusy();
        m_doc.RenderEnabled = true;
    }
    void changing() { m_changing = true; }
    void done() { m_changing = false; }

private:
    MenuDocument& m_doc;
    ProjectLoadHost& m_host;
    bool m_changing = false;
};

} // namespace

std::string ProjectFileText(const MenuDocument& doc)
{
    std::string out;
    auto line = [&out](std::string_view key, const std::string& value) {
        out.append(key);
        out += '=';
        out += value;
        out += "\r\n";
    };
    line("id", "Tavrel");
    line("version", "100");
    line("menustart", std::to_string(doc.menustart));
    line("menucount", std::to_string(doc.menucount));
    line("thumbs", boolText(doc.thumbs));
    line("numbers", boolText(doc.numbers));
    line("bgimage", singleLine(doc.bgimage));
    line("bgcolor", FormatHexColor(doc.bgcolor));
    line("textcolor", FormatHexColor(doc.textcolor));
    line("textfont", singleLine(doc.textfont));
    line("boldtext", boolText(doc.boldtext));
    line("shadowtext", boolText(doc.shadowtext));
    line("title", singleLine(doc.title));
    line("subtitle", singleLine(doc.subtitle));
    line("footnote", singleLine(doc.footnote));
    line("titlesize", std::to_string(doc.titlesize));
    line("captionsize", std::to_string(doc.captionsize));
    for (int n = 1; n <= kItemCount; ++n) {
        const menurec& rec = doc.item(n);
        const std::string number = std::to_string(n);
        line("menucaption" + number, singleLine(rec.menucaption));
        line("menuclip" + number, singleLine(rec.source.menuclip));
        line("menuframe" + number, std::to_string(rec.source.menuframe));
    }
    line("quality", boolText(doc.quality));

    if (doc.aspect != MenuAspect::Pixels)
        line("aspect", MenuAspectName(doc.aspect));
    if (doc.fittext)
        line("fittext", "true");
    if (doc.tvsafe)
        line("tvsafe", "true");
    if (doc.safelayout)
        line("safelayout", "true");
    if (doc.buttonstyle != ButtonStyle::Underline)
        line("buttonstyle", ButtonStyleName(doc.buttonstyle));
    if (doc.highlightcolor != kDefaultHighlightColor)
        line("highlightcolor", FormatHexColor(doc.highlightcolor));
    if (doc.selectcolor != kDefaultSelectColor)
        line("selectcolor", FormatHexColor(doc.selectcolor));
    for (int n = 1; n <= kItemCount; ++n)
        if (!doc.item(n).menutitle.empty())
            line("menutitle" + std::to_string(n), singleLine(doc.item(n).menutitle));
    return out;
}

void SaveProject(MenuDocument& doc, const std::string& path)
{
    // Saving a path other than the one in use would lose the source without a word.
    std::string problem = PathProblem(doc.bgimage);
    for (int n = 1; n <= kItemCount && problem.empty(); ++n)
        problem = PathProblem(doc.item(n).source.menuclip);
    if (!problem.empty())
        throw Failure("Cannot save " + path, problem);
    const std::string text = ProjectFileText(doc);
    try {
        WriteFileAtomically(
            path, std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
    } catch (const FileError& e) {
        throw FileError("Cannot create file " + path, e.reason());
    } catch (const std::exception&) {
        throw std::runtime_error("Cannot create file " + path);
    }
    doc.setCurrentFileName(path);
}

void ApplyProjectValue(MenuDocument& doc, const std::string& key, const std::string& value)
{
    const int index = FindProjectKey(key);
    if (index < 0 || ProjectKeys()[static_cast<std::size_t>(index)].kind == ProjectValueKind::Fixed)
        throw std::invalid_argument("Unknown project key " + key);
    const std::string_view name = ProjectKeys()[static_cast<std::size_t>(index)].name;

    if (const int n = ProjectKeyItem(index); n != 0) {
        ThumbnailSource& source = doc.item(n).source;
        if (name.starts_with("menucaption"))
            doc.setCaption(n, value);
        else if (name.starts_with("menuclip"))
            source.menuclip = value;
        else
            source.menuframe = ReadDecimal(value);
        return;
    }
    if (const int n = ProjectTitleKeyItem(index); n != 0) {
        doc.item(n).menutitle = value;
        return;
    }

    const bool isTrue = value == "true";
    if (name == "aspect") {
        MenuAspect aspect = MenuAspect::Pixels;
        ParseMenuAspect(value, aspect);
        doc.setAspect(aspect);
    } else if (name == "fittext") {
        doc.setFittext(isTrue);
    } else if (name == "tvsafe") {
        doc.setTvsafe(isTrue);
    } else if (name == "safelayout") {
        doc.setSafelayout(isTrue);
    } else if (name == "buttonstyle") {
        ButtonStyle style = ButtonStyle::Underline;
        ParseButtonStyle(value, style);
        doc.setButtonstyle(style);
    } else if (name == "highlightcolor") {
        doc.setHighlightcolor(ParseHexColor(value).value_or(kDefaultHighlightColor));
    } else if (name == "selectcolor") {
        doc.setSelectcolor(ParseHexColor(value).value_or(kDefaultSelectColor));
    } else if (name == "menustart")
        doc.setMenustart(std::clamp(ReadDecimal(value), 0, 990));
    else if (name == "menucount")
        doc.setMenucount(std::clamp(ReadDecimal(value), 0, kItemCount));
    else if (name == "thumbs")
        doc.setThumbs(isTrue);
    else if (name == "numbers")
        doc.setNumbers(isTrue);
    else if (name == "bgimage")
        doc.setBgimage(value);
    else if (name == "bgcolor")
        doc.setBgcolor(ReadHexColor(value));
    else if (name == "textcolor")
        doc.setTextcolor(ReadHexColor(value));
    else if (name == "textfont")
        doc.setTextfont(doc.findInstalledFont(value));
    else if (name == "boldtext")
        doc.setBoldtext(isTrue);
    else if (name == "shadowtext")
        doc.setShadowtext(isTrue);
    else if (name == "title")
        doc.setTitle(value);
    else if (name == "subtitle")
        doc.setSubtitle(value);
    else if (name == "footnote")
        doc.setFootnote(value);
    else if (name == "titlesize")
        doc.setTitlesize(sizeFactor(value));
    else if (name == "captionsize")
        doc.setCaptionsize(sizeFactor(value));
    else if (name == "quality")
        doc.setQuality(isTrue);
}

void ProjectLoadHost::reportLoad(const LoadReport& report)
{
    const std::string text = LoadSummaryText(report);
    if (text.empty())
        return;
    if (report.hasProblems())
        showError(text);
    else
        showInformation(text);
}

void RetakeThumbnail(MenuDocument& doc, int n, ProjectLoadHost& host, LoadReport& report,
                     SourceFinder* finder)
{
    ThumbnailSource& source = doc.item(n).source;
    source.ThumbnailImage.clear();
    if (source.menuclip.empty())
        return;
    const std::string what = "item " + std::to_string(n);
    if (!IsRegularFile(source.menuclip)) {
        const std::string found = finder ? finder->find(source.menuclip) : std::string();
        if (found.empty()) {
            report.notFound.push_back({what, source.menuclip, {}});
            return;
        }
        report.relinked.push_back({what, source.menuclip, found});
        source.menuclip = found;
    }
    if (source.menuframe == -1) {
        std::string reason;
        if (doc.loadPicture(source.menuclip, PictureUse::Thumbnail, source.ThumbnailImage,
                            reason)) {
            ++report.picturesLoaded;
        } else {
            source.ThumbnailImage.clear();
            report.failures.push_back(PictureFailureMessage(source.menuclip, reason));
        }
        return;
    }
    std::string failure;
    if (!host.retakeMovieFrame(doc, n, failure))
        report.failures.push_back(failure.empty() ? "Cannot take a frame of " +
                                                        FileNameOf(source.menuclip) + "."
                                                  : failure);
    else if (source.menuframe == -1)
        ++report.picturesLoaded;
    else
        ++report.moviesLoaded;
}

void RetakeThumbnail(MenuDocument& doc, int n, ProjectLoadHost& host)
{
    LoadReport report;
    RetakeThumbnail(doc, n, host, report);
    host.reportLoad(report);
}

namespace {

// The background as the project names it; a picture that is not there is looked for
// like the items' sources.
void relinkBackground(MenuDocument& doc, SourceFinder& finder, LoadReport& report)
{
    if (doc.bgimage.empty())
        return;
    if (!IsRegularFile(doc.bgimage)) {
        const std::string found = finder.find(doc.bgimage);
        if (found.empty()) {
            report.notFound.push_back({"background", doc.bgimage, {}});
            return;
        }
        report.relinked.push_back({"background", doc.bgimage, found});
        doc.setBgimage(found);
    }
    if (!doc.BackgroundFailure.empty())
        report.failures.push_back(PictureFailureMessage(doc.bgimage, doc.BackgroundFailure));
}

std::vector<SourceFinder::Root> searchRoots(const std::string& projectPath,
                                            const ProjectLoadHost& host)
{
    std::vector<SourceFinder::Root> roots;
    const std::size_t cut = projectPath.find_last_of('/');
    roots.push_back({cut == std::string::npos ? std::string(".") : projectPath.substr(0, cut + 1),
                     SourceFinder::kProjectDepth});
    for (const std::string& folder : host.searchFolders())
        roots.push_back({folder, 0});
    return roots;
}

} // namespace

bool LoadProject(MenuDocument& doc, const std::string& path, ProjectLoadHost& host)
{
    bool formatOk = false;
    LoadReport report;
    {
        LoadGuard guard(doc, host);
        host.processEvents();

        std::string bytes;
        try {
            bytes = ReadWholeFile(path, kMaxProjectFileBytes);
        } catch (const FileError& e) {
            // A folder, a FIFO, a read error or a file far too big: all are files we
            // cannot open.
            throw FileError("Cannot open file " + path, e.reason());
        } catch (const std::exception&) {
            throw std::runtime_error("Cannot open file " + path);
        }
        const ProjectValues values(DecodeProjectText(bytes, [](const std::string& file) {
            struct stat st {};
            return ::stat(file.c_str(), &st) == 0;
        }));
        formatOk = values.value("id") == "Tavrel" && values.value("version") == "100";
        if (!formatOk) {
            host.showError("Invalid file format");
        } else {
            guard.changing();
            for (std::string_view key : kFieldOrder)
                ApplyProjectValue(doc, std::string(key), values.value(key));
            // Later settings: a missing or bad value is the default.
            for (int k = kProjectFileLineCount; k < kProjectKeyCount; ++k) {
                const std::string_view key = ProjectKeys()[static_cast<std::size_t>(k)].name;
                ApplyProjectValue(doc, std::string(key), values.value(key));
            }

            SourceFinder finder(searchRoots(path, host));
            relinkBackground(doc, finder, report);
            for (menurec& rec : doc.items)
                rec.source.ThumbnailImage.clear();

            for (int n = 1; n <= kItemCount; ++n) {
                const std::string number = std::to_string(n);
                ApplyProjectValue(doc, "menucaption" + number,
                                  values.value("menucaption" + number));
                ApplyProjectValue(doc, "menuclip" + number, values.value("menuclip" + number));
                ApplyProjectValue(doc, "menuframe" + number, values.value("menuframe" + number));
                RetakeThumbnail(doc, n, host, report, &finder);
            }

            guard.done();
            if (doc.onSyncPanel)
                doc.onSyncPanel();
        }
    }
    doc.setCurrentFileName(path);
    doc.refresh();
    if (formatOk)
        host.reportLoad(report); // after the busy cursor, over the finished preview
    return formatOk;
}
