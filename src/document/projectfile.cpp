#include "projectfile.h"

#include "imageio/atomicfile.h"
#include "imageio/imageunit.h"
#include "projectparse.h"

#include <algorithm>
#include <span>
#include <stdexcept>

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
    return out;
}

void SaveProject(MenuDocument& doc, const std::string& path)
{
    const std::string text = ProjectFileText(doc);
    try {
        WriteFileAtomically(
            path, std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
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

    const bool isTrue = value == "true";
    if (name == "menustart")
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

void RetakeThumbnail(MenuDocument& doc, int n, ProjectLoadHost& host)
{
    ThumbnailSource& source = doc.item(n).source;
    source.ThumbnailImage.clear();
    if (source.menuclip.empty())
        return;
    if (!IsRegularFile(source.menuclip)) {
        host.showError("Error locating thumbnail source: " + source.menuclip);
        return;
    }
    if (source.menuframe == -1) {
        if (!doc.loadPicture(source.menuclip, source.ThumbnailImage))
            source.ThumbnailImage.clear();
        return;
    }
    host.retakeMovieFrame(doc, n);
}

bool LoadProject(MenuDocument& doc, const std::string& path, ProjectLoadHost& host)
{
    bool formatOk = false;
    {
        LoadGuard guard(doc, host);
        host.processEvents();

        std::string bytes;
        try {
            bytes = ReadWholeFile(path, kMaxProjectFileBytes);
        } catch (const std::runtime_error&) {
            // A folder, a read error or a file far too big: all are files we cannot open.
            throw std::runtime_error("Cannot open file " + path);
        }
        const ProjectValues values(DecodeProjectText(bytes));
        formatOk = values.value("id") == "Tavrel" && values.value("version") == "100";
        if (!formatOk) {
            host.showError("Invalid file format");
        } else {
            guard.changing();
            for (std::string_view key : kFieldOrder)
                ApplyProjectValue(doc, std::string(key), values.value(key));

            for (menurec& rec : doc.items)
                rec.source.ThumbnailImage.clear();

            for (int n = 1; n <= kItemCount; ++n) {
                const std::string number = std::to_string(n);
                ApplyProjectValue(doc, "menucaption" + number,
                                  values.value("menucaption" + number));
                ApplyProjectValue(doc, "menuclip" + number, values.value("menuclip" + number));
                ApplyProjectValue(doc, "menuframe" + number, values.value("menuframe" + number));
                RetakeThumbnail(doc, n, host);
            }

            guard.done();
            if (doc.onSyncPanel)
                doc.onSyncPanel();
        }
    }
    doc.setCurrentFileName(path);
    doc.refresh();
    return formatOk;
}
