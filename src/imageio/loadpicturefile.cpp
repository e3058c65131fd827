#include "imageunit.h"

#include "base/asciicase.h"
#include "base/fileio.h"
#include "codecs/bmpreader.h"
#include "codecs/gifreader.h"
#include "codecs/pngreader.h"
#include "jpegreader.h"

#include "picturefileprobe.h"
#include "picturereadreason.h"
#include "picturetype.h"
#include "resample/filteredresize.h"

#include <cerrno>
#include <cmath>
#include <cstring>
#include <span>
#include <stdexcept>
#include <unistd.h>

namespace {

// Thumbnails are drawn a few hundred pixels wide: above this they are kept reduced.
constexpr std::uint64_t kThumbnailPixels = 16'000'000;

// Why a picture could not be loaded, in the words of PictureFailureReason.
class LoadFailure : public Failure {
public:
    using Failure::Failure;
};

UniqueFd openPicture(const std::string& fileName, std::uint64_t& size)
{
    try {
        return OpenRegularFile(fileName, &size);
    } catch (const FileError& e) {
        if (e.systemError() == ENOENT)
            throw LoadFailure("the file does not exist");
        if (e.systemError() == 0 || e.systemError() == EISDIR)
            throw LoadFailure("it is not a file");
        throw LoadFailure("the file cannot be opened (" + e.detail() + ")", {}, e.systemError());
    }
}

// Reads `size` bytes from `offset`; fewer only at the end of the file.
std::size_t readAt(int fd, std::uint8_t* out, std::size_t size, std::uint64_t offset)
{
    std::size_t done = 0;
    while (done < size) {
        const ssize_t n = ::pread(fd, out + done, size - done, static_cast<off_t>(offset + done));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            throw LoadFailure("the file cannot be read (" + std::string(std::strerror(errno)) + ")",
                              {}, errno);
        }
        if (n == 0)
            break;
        done += static_cast<std::size_t>(n);
    }
    return done;
}

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

bool isOpaque(const RgbaImage& image)
{
    for (std::size_t i = 3; i < image.pixels.size(); i += 4)
        if (image.pixels[i] != 255)
            return false;
    return true;
}

// An opaque picture replaces the target outright, in the decoder's own memory; one
// with transparency is drawn over what the target held.
void place(RgbaImage image, Picture& target)
{
    if (isOpaque(image))
        target = Picture::fromRgba(std::move(image.pixels), image.width, image.height);
    else
        drawOver(image, target);
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

namespace {

// Opens, checks the header against the file, reserves the memory, then reads and
// decodes. Throws LoadFailure or CodecError with the reason.
void loadPicture(const std::string& fileName, PictureType format, Picture& target)
{
    std::uint64_t fileBytes = 0;
    const UniqueFd file = openPicture(fileName, fileBytes);

    // The header first: nothing more is read of a file it shows to be impossible.
    std::vector<std::uint8_t> head(kProbeBytes);
    head.resize(readAt(file.get(), head.data(), head.size(), 0));
    const DecodeLimits limits;
    const PictureFileProbe probe = ProbePictureFile(
        format, head, fileBytes, limits, [&](std::uint64_t offset, std::size_t size) {
            std::vector<std::uint8_t> bytes(size);
            bytes.resize(readAt(file.get(), bytes.data(), size, offset));
            return bytes;
        });

    // File, decoder output and the new picture are held at once.
    const std::uint64_t pixels = probe.width * probe.height;
    const std::uint64_t pictureBytes = (probe.width * 3 + 3) / 4 * 4 * probe.height;
    const std::uint64_t outputBytes = format == PictureType::Jpeg ? 0 : pixels * 4;
    const BudgetReservation reservation(fileBytes + outputBytes + pictureBytes + probe.workBytes);
    DecodeLimits decodeLimits = limits;
    decodeLimits.maxWorkBytes = probe.workBytes + (16u << 20);

    std::vector<std::uint8_t> bytes(fileBytes);
    bytes.resize(readAt(file.get(), bytes.data(), bytes.size(), 0));
    const std::span<const std::uint8_t> data(bytes);
    // Each picture is decoded completely before the target is touched, so a damaged file
    // leaves the target as it was.
    switch (format) {
    case PictureType::Bmp: {
        // The BMP replaces the target outright; its alpha is not used.
        RgbaImage image = DecodeBmp(data, decodeLimits);
        target = Picture::fromRgba(std::move(image.pixels), image.width, image.height);
        break;
    }
    case PictureType::Jpeg: {
        // JPEG has no transparency: the picture replaces the target completely.
        Picture picture = DecodeJpeg(data, decodeLimits);
        target = std::move(picture);
        break;
    }
    case PictureType::Gif:
        place(DecodeGif(data, decodeLimits), target);
        break;
    case PictureType::Png:
        place(DecodePng(data, decodeLimits), target);
        break;
    case PictureType::None:
        throw LoadFailure("it is not a BMP, GIF, JPEG or PNG picture");
    }
}

} // namespace

bool LoadPictureFile(const std::string& fileName, Picture& target, std::string& reason)
{
    try {
        const PictureType format = PictureTypeOfFile(fileName);
        if (format == PictureType::None)
            throw LoadFailure("it is not a BMP, GIF, JPEG or PNG picture");
        loadPicture(fileName, format, target);
        return true;
    } catch (const std::exception& e) {
        reason = PictureFailureReason(e);
    } catch (...) {
        reason = "the file cannot be read";
    }
    return false;
}

bool LoadPictureFile(const std::string& fileName, Picture& target)
{
    std::string reason;
    return LoadPictureFile(fileName, target, reason);
}

void ReduceThumbnail(Picture& picture)
{
    const std::uint64_t pixels = std::uint64_t(picture.width()) * std::uint64_t(picture.height());
    if (pixels <= kThumbnailPixels)
        return;
    const double scale = std::sqrt(static_cast<double>(kThumbnailPixels) / pixels);
    const int width = std::max(1, static_cast<int>(picture.width() * scale));
    const int height = std::max(1, static_cast<int>(picture.height() * scale));
    Picture reduced(width, height);
    FilteredResize(picture, reduced, TriangleFilter, 1.0f);
    picture = std::move(reduced);
}

bool LoadThumbnailPicture(const std::string& fileName, Picture& target, std::string& reason)
{
    if (!LoadPictureFile(fileName, target, reason))
        return false;
    try {
        ReduceThumbnail(target);
    } catch (const std::exception&) {
        // Kept at full size: still a correct picture, only larger.
    }
    return true;
}
