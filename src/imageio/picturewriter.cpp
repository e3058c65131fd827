#include "picturewriter.h"

#include "base/atomicfile.h"
#include "bmpencoder.h"
#include "codecs/gifencoder.h"
#include "codecs/pngencoder.h"
#include "imageunit.h"
#include "jpegencoder.h"

#include <cstdint>
#include <new>
#include <vector>

namespace {

std::vector<std::uint8_t> encode(PictureType type, const ImageView& view)
{
    switch (type) {
    case PictureType::Bmp:
        return EncodeBmp(view);
    case PictureType::Gif:
        return EncodeGif(view);
    case PictureType::Jpeg:
        return EncodeJpeg(view);
    case PictureType::Png:
        return EncodePng(view);
    case PictureType::None:
        break;
    }
    throw CodecError("not a BMP, GIF, JPEG or PNG file name");
}

// The writer's bool for the SaveAs* calls, which tell no reason.
bool saveAs(PictureType type, const std::string& fileName, const Picture& image) noexcept
{
    try {
        WritePictureFile(type, fileName, image);
        return true;
    } catch (...) {
        return false;
    }
}

} // namespace

void WritePictureFile(PictureType type, const std::string& path, const Picture& picture)
{
    const std::string failure = "Error saving " + path;
    if (picture.isEmpty())
        throw Failure(failure, "the picture is empty");
    std::vector<std::uint8_t> bytes;
    try {
        bytes = encode(type, viewOf(picture));
    } catch (const std::bad_alloc&) {
        throw Failure(failure, "there is not enough memory");
    } catch (const std::exception& e) {
        throw Failure(failure, e.what());
    }
    try {
        WriteFileAtomically(path, bytes);
    } catch (const FileError& e) {
        throw Failure(failure, e.detail(), e.systemError());
    }
}

bool SaveAsBMP(const std::string& fileName, const Picture& image)
{
    return saveAs(PictureType::Bmp, fileName, image);
}

bool SaveAsGIF(const std::string& fileName, const Picture& image)
{
    return saveAs(PictureType::Gif, fileName, image);
}

bool SaveAsJPG(const std::string& fileName, const Picture& image)
{
    return saveAs(PictureType::Jpeg, fileName, image);
}

bool SaveAsPNG(const std::string& fileName, const Picture& image)
{
    return saveAs(PictureType::Png, fileName, image);
}
