#include "menudocument.h"

#include "base/asciicase.h"
#include "imageio/imageunit.h"

#include <algorithm>
#include <stdexcept>
#include <utility>

const std::array<VideoModePreset, 4> kVideoModes = {{
    {704, 480, "&1. 704 x 480 - VCD (NTSC - USA)"},
    {704, 576, "&2. 704 x 576 - VCD (PAL - Euro)"},
    {720, 480, "&3. 720 x 480 - DVD (NTSC - USA)"},
    {720, 576, "&4. 720 x 576 - DVD (PAL - Euro)"},
}};

MenuDocument::MenuDocument() = default;

void MenuDocument::refresh()
{
    if (RenderEnabled && onRefresh)
        onRefresh();
}

void MenuDocument::setTitle(const std::string& value)
{
    title = value;
    refresh();
}
void MenuDocument::setSubtitle(const std::string& value)
{
    subtitle = value;
    refresh();
}
void MenuDocument::setFootnote(const std::string& value)
{
    footnote = value;
    refresh();
}
void MenuDocument::setTextfont(const std::string& value)
{
    textfont = value;
    refresh();
}
void MenuDocument::setBoldtext(bool value)
{
    boldtext = value;
    refresh();
}
void MenuDocument::setShadowtext(bool value)
{
    shadowtext = value;
    refresh();
}
void MenuDocument::setThumbs(bool value)
{
    thumbs = value;
    refresh();
}
void MenuDocument::setNumbers(bool value)
{
    numbers = value;
    refresh();
}
void MenuDocument::setQuality(bool value)
{
    quality = value;
    refresh();
}
void MenuDocument::setTextcolor(Color value)
{
    textcolor = value & 0xFFFFFF;
    refresh();
}
void MenuDocument::setAspect(MenuAspect value)
{
    aspect = value;
    refresh();
}

void MenuDocument::setFittext(bool value)
{
    fittext = value;
    refresh();
}

void MenuDocument::setTvsafe(bool value)
{
    tvsafe = value;
    refresh();
}

void MenuDocument::setSafelayout(bool value)
{
    safelayout = value;
    refresh();
}

void MenuDocument::setButtonstyle(ButtonStyle value)
{
    buttonstyle = value;
    refresh();
}

void MenuDocument::setHighlightcolor(Color value)
{
    highlightcolor = value & 0xFFFFFF;
    refresh();
}

void MenuDocument::setSelectcolor(Color value)
{
    selectcolor = value & 0xFFFFFF;
    refresh();
}

void MenuDocument::setBgcolor(Color value)
{
    bgcolor = value & 0xFFFFFF;
    refresh();
}

void MenuDocument::setTitlesize(int value)
{
    if (value == titlesize)
        return;
    titlesize = value;
    refresh();
}

void MenuDocument::setCaptionsize(int value)
{
    if (value == captionsize)
        return;
    captionsize = value;
    refresh();
}

bool MenuDocument::setMenustart(int value)
{
    if (value < 0 || value > 990)
        return false;
    menustart = value;
    if (onMenuStartChanged)
        onMenuStartChanged(value);
    refresh();
    return true;
}

bool MenuDocument::setMenucount(int value)
{
    if (value < 0 || value > kItemCount)
        return false;
    menucount = value;
    refresh();
    return true;
}

void MenuDocument::setCaption(int n, const std::string& text)
{
    item(n).menucaption = text;
    refresh();
}

void MenuDocument::setBgimage(const std::string& path)
{
    bgimage = path;
    BackgroundPicture.clear();
    BackgroundFailure.clear();
    if (!path.empty() &&
        !loadPicture(path, PictureUse::Background, BackgroundPicture, BackgroundFailure))
        BackgroundPicture.clear();
    refresh();
}

void MenuDocument::selectVideoMode(int mode)
{
    if (mode < 0 || mode > 3)
        mode = 0;
    VideoMode = mode;
    ImageWidth = kVideoModes[static_cast<std::size_t>(mode)].width;
    ImageHeight = kVideoModes[static_cast<std::size_t>(mode)].height;
    if (onVideoModeChanged)
        onVideoModeChanged(mode);
}

void MenuDocument::setCurrentFileName(const std::string& path)
{
    CurrentFileName = path;
    if (onFileNameChanged)
        onFileNameChanged();
}

bool MenuDocument::loadPicture(const std::string& path, PictureUse use, Picture& out,
                               std::string& reason) const
{
    if (pictureLoader)
        return pictureLoader(path, use, out, reason);
    return use == PictureUse::Thumbnail ? LoadThumbnailPicture(path, out, reason)
                                        : LoadPictureFile(path, out, reason);
}

menurec& MenuDocument::item(int n)
{
    if (n < 1 || n > kItemCount)
        throw std::out_of_range("Item number out of range");
    return items[static_cast<std::size_t>(n - 1)];
}

const menurec& MenuDocument::item(int n) const
{
    return const_cast<MenuDocument*>(this)->item(n);
}

std::string MenuDocument::findInstalledFont(const std::string& name) const
{
    for (const std::string& font : installedFonts)
        if (EqualsNoCase(font, name))
            return font;
    return {};
}

void MenuDocument::Reset()
{
    RenderEnabled = false;
    try {
        resetFields();
    } catch (...) {
        RenderEnabled = true;
        refresh();
        throw;
    }
    RenderEnabled = true;
    refresh();
}

void MenuDocument::resetFields()
{
    for (menurec& rec : items) {
        rec.menucaption.clear();
        rec.source.menuclip.clear();
        rec.source.menuframe = 0;
        rec.source.ThumbnailImage.clear();
        rec.menutitle.clear();
    }
    setMenustart(1);
    setMenucount(kItemCount);
    thumbs = true;
    numbers = true;
    setBgimage(std::string());
    bgcolor = kWhite;
    textcolor = kBlack;
    textfont = findInstalledFont("Arial");
    boldtext = true;
    shadowtext = false;
    title = "Title";
    subtitle = "Subtitle";
    footnote = "Footnote";
    titlesize = 10;
    captionsize = 10;
    quality = false;
    aspect = MenuAspect::Pixels;
    fittext = false;
    tvsafe = false;
    safelayout = false;
    buttonstyle = ButtonStyle::Underline;
    highlightcolor = kDefaultHighlightColor;
    selectcolor = kDefaultSelectColor;
    setCurrentFileName(std::string());
    if (onSyncPanel)
        onSyncPanel();
}

int MenuDocument::visibleItemCount() const
{
    return std::clamp(menucount, 0, kItemCount);
}

namespace {

constexpr std::pair<MenuAspect, const char*> kAspectNames[] = {
    {MenuAspect::Pixels, "pixels"},
    {MenuAspect::Standard, "4:3"},
    {MenuAspect::Wide, "16:9"},
};
constexpr std::pair<ButtonStyle, const char*> kButtonStyleNames[] = {
    {ButtonStyle::Underline, "underline"},
    {ButtonStyle::Frame, "frame"},
    {ButtonStyle::Text, "text"},
    {ButtonStyle::None, "none"},
};

template <typename E, std::size_t N>
const char* nameOf(const std::pair<E, const char*> (&names)[N], E value)
{
    for (const auto& [v, name] : names)
        if (v == value)
            return name;
    return names[0].second;
}

template <typename E, std::size_t N>
bool parseName(const std::pair<E, const char*> (&names)[N], const std::string& text, E& value)
{
    for (const auto& [v, name] : names)
        if (EqualsNoCase(text, name)) {
            value = v;
            return true;
        }
    return false;
}

} // namespace

const char* MenuAspectName(MenuAspect aspect)
{
    return nameOf(kAspectNames, aspect);
}

const char* ButtonStyleName(ButtonStyle style)
{
    return nameOf(kButtonStyleNames, style);
}

bool ParseMenuAspect(const std::string& name, MenuAspect& aspect)
{
    return parseName(kAspectNames, name, aspect);
}

bool ParseButtonStyle(const std::string& name, ButtonStyle& style)
{
    return parseName(kButtonStyleNames, name, style);
}
