#include "picturetype.h"

#include "base/asciicase.h"
#include "imageunit.h"

PictureType PictureTypeByName(std::string_view name)
{
    const std::string lower = LowerAscii(std::string(name));
    if (lower == "bmp")
        return PictureType::Bmp;
    if (lower == "gif")
        return PictureType::Gif;
    if (lower == "jpg" || lower == "jpeg")
        return PictureType::Jpeg;
    if (lower == "png")
        return PictureType::Png;
    return PictureType::None;
}

PictureType PictureTypeOfFile(const std::string& fileName)
{
    return PictureTypeByName(LowerCaseExtension(fileName));
}

const char* PictureTypeSuffix(PictureType type)
{
    switch (type) {
    case PictureType::Bmp:
        return "bmp";
    case PictureType::Gif:
        return "gif";
    case PictureType::Jpeg:
        return "jpg";
    case PictureType::Png:
        return "png";
    case PictureType::None:
        break;
    }
    return "";
}
