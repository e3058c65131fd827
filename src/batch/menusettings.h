#pragma once

#include "document/menudocument.h"
#include "document/projectfile.h"

#include <string>
#include <utility>
#include <vector>

using Setting = std::pair<std::string, std::string>; // key, value

// Applies settings in order as the project reader applies values, then takes again the
// thumbnail of every item whose source or frame was set. `menuframeN=auto` chooses the
// frame of item N's movie once all values are in, so its place among the settings does
// not matter; the chosen number is stored. The items' sources are told once through
// host.reportLoad, a background that cannot be read through showError, a font that is
// not installed through showInformation. Throws std::runtime_error with the reader's
// message for a malformed value.
void ApplySettings(MenuDocument& doc, const std::vector<Setting>& settings, ProjectLoadHost& host);

// Item n's movie frame chosen automatically into menuframe and ThumbnailImage; a
// missing or unreadable movie goes into the report and leaves no picture.
void ChooseAutoFrame(MenuDocument& doc, int n, LoadReport& report);
