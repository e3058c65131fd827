#pragma once

#include "disc/discbuttons.h"
#include "disc/discxml.h"

#include <string>
#include <vector>

// One title of the disc as dvdauthor takes it.
struct AuthoredTitle {
    std::string file;                        // an MPEG-2 program stream at the disc's system
    bool wide = false;                       // 16:9 anamorphic; 4:3 otherwise
    std::vector<double> chapters;            // chapter starts in seconds; empty: one chapter
    std::vector<std::string> audioLanguages; // ISO 639-1 by sound track ("" unknown)
    // The language of each subpicture stream the file holds, in stream order ("": unknown).
    std::vector<std::string> subtitles;
};

// One page of the menu: its stream with the button subpicture, and its buttons in the
// order the subpicture holds them. Item buttons play titles firstTitle + item - 1; the
// page buttons (kPreviousPageItem, kNextPageItem) turn the page.
struct AuthoredPage {
    std::string menuFile;
    std::vector<DiscButton> buttons;
    int firstTitle = 1;
};

// dvdauthor's control file for the whole disc. The menus are the VMGM's (one page each),
// so they reach every titleset, and the disc starts on page 1; the Title/Top Menu key
// lands there too. One titleset per title keeps each title at its own aspect and the
// disc's title numbers in menu order; its root menu (the Menu key) and its end go back
// to the page that holds its button with that button lit, through register g1.
// Throws Failure for more titles than a disc holds or a button with no title.
std::string WholeDiscXml(const DiscFormat& menuFormat, const std::vector<AuthoredPage>& pages,
                         const std::vector<AuthoredTitle>& titles);

// dvdauthor's chapter list: "0:00:00,0:05:00,..." from starts in seconds.
std::string ChapterList(const std::vector<double>& starts);

// A DVD holds at most 99 titles (and so 99 titlesets).
constexpr int kMaxDiscTitles = 99;
