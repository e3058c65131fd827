#pragma once

#include "document/menudocument.h"

#include <functional>
#include <string>

// The disc-menu export as the table and movie-folder commands use it: makes the menu's
// disc files into `folder` and returns a note for the user ("" when there is none),
// throwing std::exception with the reason when the disc menu could not be made. Empty
// while this build has no disc-menu export.
using DiscMenuExport = std::function<std::string(MenuDocument& doc, const std::string& folder)>;
DiscMenuExport DiscMenuExporter();

// What is said when DiscMenuExporter() is empty.
std::string DiscMenuUnavailableMessage();
