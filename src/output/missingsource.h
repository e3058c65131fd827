#pragma once

#include "document/menudocument.h"

#include <string>

// Why the menu cannot be made as its document describes it: a background or a shown
// thumbnail whose file is named but did not load ("clip.mpg (item 4) not found"), or ""
// when every named source is there. A command that writes such a menu would write a
// different one than the project stands for.
std::string MissingSource(const MenuDocument& doc);
