#pragma once

#include "discbuttons.h"

#include <string>
#include <vector>

// The disc standard a menu frame belongs to.
struct DiscFormat {
    int width = 720;
    int height = 576;
    bool wide = false; // 16:9 instead of 4:3

    bool pal() const { return height == 576; }
};

// spumux's control file for one subpicture stream: one forced spu from the start with
// the two masks and the buttons (x0, y0 inclusive, x1, y1 exclusive) and their links.
// Names of the mask files are written as given.
std::string SpumuxXml(const DiscFormat& format, const std::vector<DiscButton>& buttons,
                      const std::string& highlightFile, const std::string& selectFile);

// dvdauthor's control file: `menuFile` as the first menu, paused, one button per item
// jumping to its title, and one title per item whose movie file the user fills in.
std::string DvdauthorXml(const DiscFormat& format, const std::vector<DiscButton>& buttons,
                         const std::string& menuFile);

// The movie file a title of the skeleton names until the user puts their own there.
std::string TitleFileName(int title);

// Escapes &, <, >, " and ' for an XML attribute or text.
std::string XmlEscape(const std::string& text);
