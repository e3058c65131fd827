#pragma once

#include "imageio/picture.h"

#include <optional>
#include <string>

// The picture types a menu is exported as.
enum class MenuImageType {
    Bmp,
    Gif,
    Jpg,
    Png,
};

// "bmp", "gif", "jpg" or "jpeg", "png" in any case; nothing for anything else.
std::optional<MenuImageType> MenuImageTypeByName(const std::string& name);
// The extension written for the type, without the dot.
const char* MenuImageExtension(MenuImageType type);
// Writes the picture with the type's writer; true when the file was written.
bool WriteMenuImage(MenuImageType type, const std::string& file, const Picture& image);
