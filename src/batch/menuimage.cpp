#include "menuimage.h"

#include "imageio/asciicase.h"
#include "imageio/imageunit.h"

std::optional<MenuImageType> MenuImageTypeByName(const std::string& name)
{
    const std::string lower = LowerAscii(name);
    if (lower == "bmp")
        return MenuImageType::Bmp;
    if (lower == "gif")
        return MenuImageType::Gif;
    if (lower == "jpg" || lower == "jpeg")
        return MenuImageType::Jpg;
    if (lower == "png")
        return MenuImageType::Png;
    return std::nullopt;
}

const char* MenuImageExtension(MenuImageType type)
{
    switch (type) {
    case MenuImageType::Bmp:
        return "bmp";
    case MenuImageType::Gif:
        return "gif";
    case MenuImageType::Jpg:
        return "jpg";
    case MenuImageType::Png:
        return "png";
    }
    return "png";
}

bool WriteMenuImage(MenuImageType type, const std::string& file, const Picture& image)
{
    switch (type) {
    case MenuImageType::Bmp:
        return SaveAsBMP(file, image);
    case MenuImageType::Gif:
        return SaveAsGIF(file, image);
    case MenuImageType::Jpg:
        return SaveAsJPG(file, image);
    case MenuImageType::Png:
        return SaveAsPNG(file, image);
    }
    return false;
}
