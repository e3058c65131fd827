#pragma once

#include "document/menudocument.h"

#include <functional>
#include <string>

// The disc-menu export as each row of a table uses it: makes the menu's disc files into
// `folder` and returns a note for the row ("" when there is none). Throws std::exception
// with the reason when the disc menu could not be made, the spumux step included: a row
// without its menu.mpg is not finished.
std::string ExportRowDiscMenu(MenuDocument& doc, const std::string& folder);
