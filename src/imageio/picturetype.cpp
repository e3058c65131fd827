#include "picturetype.h"

#include "asciicase.h"
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

bool SavePictureFile(PictureType type, const std::string& fileName, const Picture& image)
{
    switch (type) {
    case PictureType::Bmp:
        return SaveAsBMP(fileName, image);
    case PictureType::Gif:
        return SaveAsGIF(fileName, image);
    case PictureType::Jpeg:
        return SaveAsJPG(fileName, image);
    case PictureType::Png:
        return SaveAsPNG(fileName, image);
    case PictureType::None:
        break;
    }
    return false;
}
