#pragma once

#include "discbuttons.h"
#include "document/menudocument.h"

#include <functional>
#include <string>
#include <vector>

// Turning a menu into what DVD authoring takes: the one entry point for the editor's
// "Export disc menu..." and the headless --disc-menu.

// What happened to the button subpicture (the spumux step).
enum class SubpictureOutcome {
    Added,         // menu.mpg holds the buttons
    NotForVcd,     // a VCD-size menu: only the still was written
    SpumuxMissing, // spumux is not installed: everything else written
    SpumuxFailed,  // spumux could not be started or did not add the subpicture, or what
                   // it made is no menu with buttons: menu.mpg not written
};

struct DiscMenuResult {
    std::vector<std::string> written; // full paths, in the order written
    SubpictureOutcome subpicture = SubpictureOutcome::Added;
    // Names of files an earlier export left in the folder that this one did not make
    // again (an old menu.mpg beside new masks, a letterbox set of a menu now 4:3): they
    // are removed, and the note says so.
    std::vector<std::string> removed;
    // For every outcome but Added: what went wrong and how to finish by hand; then the
    // files removed.
    std::string note;
    std::vector<DiscButton> buttons; // in the subpicture's order, at the frame's size
};

struct DiscMenuOptions {
    std::string spumux = "spumux"; // the program, searched on PATH
    int spumuxTimeoutMs = 60'000;
    // Asked while spumux runs; once true spumux is stopped and menu.mpg not written.
    std::function<bool()> cancelled;
};

// Writes into `dir` (created if missing): menu.png (the still), highlight.png and
// select.png (button masks), spumux.xml, menu_bg.mpg (the menu stream), menu.mpg (the
// stream with the button subpicture, made by spumux) and dvdauthor.xml; a 16:9 menu
// also gets the letterbox set highlight_letterbox.png, select_letterbox.png and
// spumux_letterbox.xml (subpicture stream 1). A VCD-size menu (704 wide) gets menu.png
// only. Each file is complete or not written at all; an existing file is replaced only
// by a complete new one, and symbolic links are written through. menu.mpg is kept only
// when it reads back as the menu's video with every subpicture stream. `doc` must have
// RenderEnabled set, and text drawing needs a QGuiApplication. Throws Failure naming the
// file that could not be written (files already written stay), or before writing
// anything for a DVD menu without items; spumux problems are reported in the result.
DiscMenuResult ExportDiscMenu(const MenuDocument& doc, const std::string& dir,
                              const DiscMenuOptions& options = {});

// File names inside the export folder.
inline constexpr const char* kDiscStillFile = "menu.png";
inline constexpr const char* kDiscHighlightFile = "highlight.png";
inline constexpr const char* kDiscSelectFile = "select.png";
inline constexpr const char* kDiscSpumuxFile = "spumux.xml";
inline constexpr const char* kDiscHighlightLetterboxFile = "highlight_letterbox.png";
inline constexpr const char* kDiscSelectLetterboxFile = "select_letterbox.png";
inline constexpr const char* kDiscSpumuxLetterboxFile = "spumux_letterbox.xml";
inline constexpr const char* kDiscBackgroundStreamFile = "menu_bg.mpg";
inline constexpr const char* kDiscMenuStreamFile = "menu.mpg";
inline constexpr const char* kDiscDvdauthorFile = "dvdauthor.xml";
