#include "imageunit.h"

#include "asciicase.h"
#include "atomicfile.h"
#include "codecs/bmpreader.h"
#include "codecs/gifreader.h"
#include "codecs/pngreader.h"
#include "jpegreader.h"
#include "picturefailure.h"
#include "picturetype.h"

#include <cstring>
#include <span>

#include <sys/stat.h>

namespace {

constexpr std::uint64_t kMaxFileBytes = 1ULL << 30;

// Resizes the target keeping the overlap (new pixels white), then draws the picture at
// (0, 0): alpha 255 replaces, alpha 0 keeps the target, anything between blends.
void drawOver(const RgbaImage& image, Picture& target)
{
    target.resizeKeeping(image.width, image.height);
    const std::uint8_t* src = image.pixels.data();
    for (int y = 0; y < image.height; ++y) {
        std::uint8_t* dst = target.row(y);
        for (int x = 0; x < image.width; ++x, src += 4, dst += 3) {
            const unsigned a = src[3];
            if (a == 255) {
                dst[0] = src[0];
                dst[1] = src[1];
                dst[2] = src[2];
            } else if (a != 0) {
                for (int k = 0; k < 3; ++k)
                    dst[k] =
                        static_cast<std::uint8_t>((src[k] * a + (255 - a) * dst[k] + 255) / 256);
            }
        }
    }
}

// The BMP replaces the target outright; its alpha is not used.
Picture opaqueCopy(const RgbaImage& image)
{
    Picture picture(image.width, image.height);
    const std::uint8_t* src = image.pixels.data();
    for (int y = 0; y < image.height; ++y) {
        std::uint8_t* dst = picture.row(y);
        for (int x = 0; x < image.width; ++x, src += 4, dst += 3)
            std::memcpy(dst, src, 3);
    }
    return picture;
}

} // namespace

std::string LowerCaseExtension(const std::string& fileName)
{
    const std::size_t slash = fileName.rfind('/');
    const std::size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
    const std::size_t dot = fileName.rfind('.');
    if (dot == std::string::npos || dot < nameStart)
        return {};
    return LowerAscii(fileName.substr(dot + 1));
}

bool LoadPictureFile(const std::string& fileName, Picture& target)
{
    std::string reason;
    return LoadPictureFile(fileName, target, reason);
}

bool LoadPictureFile(const std::string& fileName, Picture& target, std::string& reason)
{
    const PictureType format = PictureTypeOfFile(fileName);
    if (format == PictureType::None) {
        reason = "it is not a BMP, GIF, JPEG or PNG picture";
        return false;
    }
    if (!IsRegularFile(fileName)) {
        struct stat st {};
        reason =
            ::stat(fileName.c_str(), &st) != 0 ? "the file does not exist" : "it is not a file";
        return false;
    }
    try {
        const std::string file = ReadWholeFile(fileName, kMaxFileBytes);
        const std::span<const std::uint8_t> bytes(
            reinterpret_cast<const std::uint8_t*>(file.data()), file.size());
        // Each picture is decoded completely before the target is touched, so a damaged file
        // leaves the target as it was.
        switch (format) {
        case PictureType::Bmp: {
            Picture picture = opaqueCopy(DecodeBmp(bytes));
            target = std::move(picture);
            break;
        }
        case PictureType::Jpeg: {
            // JPEG has no transparency: the picture replaces the target completely.
            Picture picture = DecodeJpeg(bytes);
            target = std::move(picture);
            break;
        }
        case PictureType::Gif:
            drawOver(DecodeGif(bytes), target);
            break;
        case PictureType::Png:
            drawOver(DecodePng(bytes), target);
            break;
        case PictureType::None:
            return false;
        }
        return true;
    } catch (const std::exception& e) {
        reason = PictureFailureReason(e);
        return false;
    } catch (...) {
        reason = "the file cannot be read";
        return false;
    }
}
