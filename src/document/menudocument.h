#pragma once

#include "base/picture.h"

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// What a picture file is decoded for: a thumbnail may be reduced on the way.
enum class PictureUse {
    Background,
    Thumbnail,
};

// A 24-bit colour: red in the lowest byte, green next, blue in bits 16..23.
// Written as six hex digits it reads BBGGRR (pure red is 0000FF).
using Color = std::uint32_t;

constexpr Color kWhite = 0xFFFFFF;
constexpr Color kBlack = 0x000000;

// Where an item's thumbnail comes from, and the thumbnail itself.
struct ThumbnailSource {
    std::string menuclip;       // picture or movie file; empty: no source
    std::int32_t menuframe = 0; // -1: picture file; 0 or more: movie frame number
    Picture ThumbnailImage;     // decoded picture or grabbed frame; may be empty

    bool isPicture() const { return menuframe < 0; }
    // Only such an item shows a picture; a source without one shows an empty frame.
    bool hasThumbnail() const { return !menuclip.empty() && !ThumbnailImage.isEmpty(); }
};

struct menurec {
    std::string menucaption;
    ThumbnailSource source;
    // The movie a disc plays for this item; empty: the thumbnail's movie.
    std::string menutitle;
};

constexpr int kItemCount = 10;

struct VideoModePreset {
    int width;
    int height;
    const char* caption;
};

// The four image size presets, indexed by VideoMode.
extern const std::array<VideoModePreset, 4> kVideoModes;

// How the menu's pixels are shown: exactly as composed ("pixels"), or laid out for a
// 4:3 or 16:9 display and squeezed to the frame's non-square pixels.
enum class MenuAspect {
    Pixels,
    Standard, // "4:3"
    Wide,     // "16:9"
};

// The TV's safe areas the legibility check and "Fit text" use: today's practice
// (action-safe 93 %, title-safe 90 % of the frame) or the classic CRT set (90 %, 80 %).
enum class SafeAreaSet {
    Current,
    Classic,
};

// How a selected or activated button is drawn in the disc menu's masks.
enum class ButtonStyle {
    Underline, // a bar under the caption
    Frame,     // a frame around the thumbnail, or around the caption in the list
    Text,      // the caption redrawn in the highlight colour
    None,
};

// The names these take in project files and on the command line.
const char* MenuAspectName(MenuAspect aspect);
const char* ButtonStyleName(ButtonStyle style);
bool ParseMenuAspect(const std::string& name, MenuAspect& aspect);
bool ParseButtonStyle(const std::string& name, ButtonStyle& style);

// Defaults of the disc highlight colours: a blue highlight and a rose select colour
// that stand out on light and dark menus alike.
constexpr Color kDefaultHighlightColor = 0xAE6C26;
constexpr Color kDefaultSelectColor = 0x7C7FDE;

// The one menu being edited, with the run-time state that travels with it.
// Texts are UTF-8. Every setter stores its value and asks for a refresh; a refresh
// reaches `onRefresh` only while RenderEnabled is true.
class MenuDocument {
public:
    MenuDocument();

    // Fields, named after the project-file keys. Read freely; write through the setters.
    std::string title = "Title";
    std::string subtitle = "Subtitle";
    std::string footnote = "Footnote";
    std::string textfont = "Arial";
    bool boldtext = true;
    bool shadowtext = false;
    Color textcolor = kBlack;
    Color bgcolor = kWhite;
    std::string bgimage;
    int titlesize = 10;
    int captionsize = 10;
    bool thumbs = true;
    bool numbers = true;
    int menustart = 1;
    int menucount = 10;
    bool quality = false;
    std::array<menurec, kItemCount> items;

    // Settings beyond the 48-line project format; written only when not the default.
    MenuAspect aspect = MenuAspect::Pixels;
    bool fittext = false;    // shrink text lines that do not fit title-safe
    bool tvsafe = false;     // colours toned into a TV's gamut and an interlace low-pass filter
    bool safelayout = false; // the whole menu laid out inside title-safe, not the full frame
    ButtonStyle buttonstyle = ButtonStyle::Underline;
    Color highlightcolor = kDefaultHighlightColor;
    Color selectcolor = kDefaultSelectColor;

    // Run-time state.
    Picture BackgroundPicture;
    std::string BackgroundFailure; // why bgimage could not be loaded; empty when it was
    int VideoMode = 0;
    SafeAreaSet safeAreas = SafeAreaSet::Current; // a setting of the editor, not of the project
    int ImageWidth = 704;
    int ImageHeight = 480;
    // A disc menu of more than ten items is shown as pages: this one's number (1-based)
    // and how many there are. A single page draws no page buttons.
    int menuPage = 1;
    int menuPageCount = 1;
    std::string CurrentFileName;
    bool RenderEnabled = false;

    // Installed font families; Reset and the project reader pick names from it.
    std::vector<std::string> installedFonts;

    // Decodes the background and thumbnail picture files onto an empty picture (with the
    // reason of a failure), as LoadPictureFile and LoadThumbnailPicture do; those
    // themselves when unset. Many menus made from the same files share one decoder cache
    // through it.
    std::function<bool(const std::string& path, PictureUse use, Picture& out, std::string& reason)>
        pictureLoader;
    bool loadPicture(const std::string& path, PictureUse use, Picture& out,
                     std::string& reason) const;

    // Observers set by the owner (the main window, the headless command, tests).
    std::function<void()> onRefresh;             // compose the preview again
    std::function<void(int)> onMenuStartChanged; // relabel the ten rows
    std::function<void(int)> onVideoModeChanged; // radio mark, re-lay the preview
    std::function<void()> onSyncPanel;           // bulk change: refill the panel's controls
    std::function<void()> onFileNameChanged;     // the window caption follows CurrentFileName

    void refresh();

    void setTitle(const std::string& value);
    void setSubtitle(const std::string& value);
    void setFootnote(const std::string& value);
    void setTextfont(const std::string& value);
    void setBoldtext(bool value);
    void setShadowtext(bool value);
    void setThumbs(bool value);
    void setNumbers(bool value);
    void setQuality(bool value);
    void setTextcolor(Color value);
    void setBgcolor(Color value);
    void setAspect(MenuAspect value);
    void setFittext(bool value);
    void setTvsafe(bool value);
    void setSafelayout(bool value);
    void setButtonstyle(ButtonStyle value);
    void setHighlightcolor(Color value);
    void setSelectcolor(Color value);
    // Values outside 5..15 are the caller's to clamp; an unchanged value does nothing.
    void setTitlesize(int value);
    void setCaptionsize(int value);
    // Taken only within 0..990; returns whether it was taken.
    bool setMenustart(int value);
    // Taken only within 0..10; returns whether it was taken.
    bool setMenucount(int value);
    void setCaption(int item, const std::string& text); // item 1..10
    // Stores the path and decodes the file into BackgroundPicture; a file that is
    // missing or cannot be read leaves it empty and says why in BackgroundFailure.
    void setBgimage(const std::string& path);
    // 0..3; anything else selects 0.
    void selectVideoMode(int mode);
    void setCurrentFileName(const std::string& path);

    // Item access, n = 1..10 (out-of-range n throws std::out_of_range).
    menurec& item(int n);
    const menurec& item(int n) const;

    // The installed font whose name matches without regard to case, or "" when none.
    std::string findInstalledFont(const std::string& name) const;

    // The New command: every field back to its default, one refresh at the end.
    void Reset();

    // The number of items DrawMenu shows: menucount brought into 0..10.
    int visibleItemCount() const;

private:
    void resetFields();
};
