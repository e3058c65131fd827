#pragma once

#include <string>
#include <string_view>

// The picture file formats the program reads and writes.
enum class PictureType {
    None,
    Bmp,
    Gif,
    Jpeg,
    Png,
};

// The type a name stands for ("bmp", "gif", "jpg", "jpeg", "png" in any case), else None.
PictureType PictureTypeByName(std::string_view name);

// The type a file name's extension stands for: "menu.JPEG" is Jpeg, "menu" is None.
PictureType PictureTypeOfFile(const std::string& fileName);

// The usual extension of a type without the dot ("bmp", "gif", "jpg", "png"); "" for None.
const char* PictureTypeSuffix(PictureType type);
