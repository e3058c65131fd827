#include "picturefileprobe.h"

#include "base/failure.h"

#include <algorithm>
#include <cstdio>
#include <stdexcept>
#include <string>

namespace {

// Room for metadata (colour profiles, text, thumbnails) beside the pixel data.
constexpr std::uint64_t kMetadataSlack = 64ULL << 20;
// JPEG segments walked before the frame header at most.
constexpr int kMaxSegments = 100'000;

std::uint32_t be16(const std::uint8_t* p)
{
    return (std::uint32_t(p[0]) << 8) | p[1];
}
std::uint32_t be32(const std::uint8_t* p)
{
    return (be16(p) << 16) | be16(p + 2);
}
std::uint32_t le16(const std::uint8_t* p)
{
    return std::uint32_t(p[0]) | (std::uint32_t(p[1]) << 8);
}
std::uint32_t le32(const std::uint8_t* p)
{
    return le16(p) | (le16(p + 2) << 16);
}

[[noreturn]] void refuse(const std::string& why)
{
    throw Failure(why);
}

// A header that is not the format's: the reader's own words, as the decoder would say.
[[noreturn]] void damaged(const char* readerText)
{
    throw CodecError(readerText);
}

std::string sizeText(std::uint64_t width, std::uint64_t height)
{
    return std::to_string(width) + " x " + std::to_string(height) + " pixels";
}

void checkLimits(std::uint64_t width, std::uint64_t height, const DecodeLimits& limits)
{
    if (width == 0 || height == 0)
        refuse("the picture has no pixels");
    if (width * height > limits.maxPixels || width > std::uint64_t(limits.maxSide) ||
        height > std::uint64_t(limits.maxSide)) {
        char most[64];
        std::snprintf(most, sizeof most, "%.0f megapixels", limits.maxPixels / 1e6);
        refuse("the picture is too large: " + sizeText(width, height) + " (at most " + most + ")");
    }
}

void checkFill(bool fills, std::uint64_t width, std::uint64_t height)
{
    if (!fills)
        refuse("the file's data cannot fill a picture of " + sizeText(width, height));
}

void checkFileSize(std::uint64_t fileBytes, std::uint64_t neededBytes, std::uint64_t width,
                   std::uint64_t height)
{
    if (fileBytes > neededBytes + kMetadataSlack)
        refuse("the file is far larger than a picture of " + sizeText(width, height) + " needs");
}

PictureFileProbe probePng(std::span<const std::uint8_t> head, std::uint64_t fileBytes,
                          const DecodeLimits& limits)
{
    static constexpr std::uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    if (head.size() < 29 || !std::equal(kSignature, kSignature + 8, head.begin()) ||
        !std::equal(head.begin() + 12, head.begin() + 16, "IHDR"))
        damaged("PNG: not a PNG file");
    PictureFileProbe probe;
    probe.width = be32(&head[16]);
    probe.height = be32(&head[20]);
    checkLimits(probe.width, probe.height, limits);
    const std::uint64_t depth = std::max(1, int(head[24]));
    const std::uint64_t channels = head[25] == 2 ? 3 : head[25] == 4 ? 2 : head[25] == 6 ? 4 : 1;
    const std::uint64_t rawBytes = ((probe.width * depth * channels + 7) / 8 + 1) * probe.height;
    checkFill(probe.width * probe.height <= limits.freePixels ||
                  rawBytes / kDeflateMaxRatio <= fileBytes,
              probe.width, probe.height);
    // Stored deflate blocks add 5 bytes in 65535.
    checkFileSize(fileBytes, rawBytes + rawBytes / 1024, probe.width, probe.height);
    return probe;
}

PictureFileProbe probeGif(std::span<const std::uint8_t> head, std::uint64_t fileBytes,
                          const DecodeLimits& limits)
{
    if (head.size() < 13 || !std::equal(head.begin(), head.begin() + 3, "GIF"))
        damaged("GIF image is not valid");
    PictureFileProbe probe;
    probe.width = le16(&head[6]);
    probe.height = le16(&head[8]);
    if (probe.width == 0 || probe.height == 0) {
        // The first frame's extent decides; the decoder judges it.
        probe.width = probe.height = 0;
        return probe;
    }
    checkLimits(probe.width, probe.height, limits);
    checkFill(limits.plausible(probe.width * probe.height, LzwMaxPixels(fileBytes) * 4),
              probe.width, probe.height);
    // Only the first frame is decoded, but an animation may follow it: the file is
    // not bounded by the picture.
    return probe;
}

PictureFileProbe probeBmp(std::span<const std::uint8_t> head, std::uint64_t fileBytes,
                          const DecodeLimits& limits)
{
    if (head.size() < 26 || head[0] != 'B' || head[1] != 'M')
        damaged("Bitmap image is not valid");
    PictureFileProbe probe;
    const std::uint32_t infoSize = le32(&head[14]);
    std::uint64_t bits = 24;
    std::uint32_t compression = 0;
    if (infoSize == 12) {
        probe.width = le16(&head[18]);
        probe.height = le16(&head[20]);
        bits = le16(&head[24]);
    } else {
        if (head.size() < 34)
            damaged("Bitmap image is not valid");
        const auto width = static_cast<std::int32_t>(le32(&head[18]));
        const auto height = static_cast<std::int32_t>(le32(&head[22]));
        probe.width = width < 0 ? 0 : std::uint64_t(width);
        probe.height = height < 0 ? std::uint64_t(-std::int64_t(height)) : std::uint64_t(height);
        bits = std::max<std::uint64_t>(1, le16(&head[28]));
        compression = le32(&head[30]);
    }
    checkLimits(probe.width, probe.height, limits);
    const std::uint64_t pixels = probe.width * probe.height;
    const bool rle = compression == 1 || compression == 2;
    if (rle) {
        checkFill(limits.plausible(pixels, fileBytes * 512), probe.width, probe.height);
        // Absolute runs: at most 255 pixels in 258 bytes, one line end per row.
        checkFileSize(fileBytes, pixels * 2 + probe.height * 2, probe.width, probe.height);
    } else {
        const std::uint64_t rowBytes =
            (probe.width * std::min<std::uint64_t>(bits, 32) + 31) / 32 * 4;
        checkFileSize(fileBytes, rowBytes * probe.height, probe.width, probe.height);
    }
    return probe;
}

PictureFileProbe probeJpeg(std::span<const std::uint8_t> head, std::uint64_t fileBytes,
                           const DecodeLimits& limits, const ReadAt& readAt)
{
    if (head.size() < 4 || head[0] != 0xFF || head[1] != 0xD8)
        damaged("JPEG: not a JPEG file");
    // Walk the segments to the frame header; application data and comments do not
    // count as picture data.
    std::uint64_t pos = 2;
    std::uint64_t metadata = 0;
    for (int segment = 0;; ++segment) {
        if (segment > kMaxSegments)
            damaged("JPEG: not a JPEG file");
        std::vector<std::uint8_t> marker = readAt(pos, 4);
        if (marker.size() < 4 || marker[0] != 0xFF)
            damaged("JPEG: not a JPEG file");
        const std::uint8_t code = marker[1];
        if (code == 0xFF) {
            ++pos;
            continue;
        }
        const std::uint32_t length = be16(&marker[2]);
        if (length < 2 || code == 0xDA || code == 0xD9)
            damaged("JPEG: not a JPEG file");
        const bool frame =
            code >= 0xC0 && code <= 0xCF && code != 0xC4 && code != 0xC8 && code != 0xCC;
        if (!frame) {
            if ((code >= 0xE0 && code <= 0xEF) || code == 0xFE)
                metadata += 2 + length;
            pos += 2 + length;
            continue;
        }
        std::vector<std::uint8_t> sof = readAt(pos + 4, 6);
        if (sof.size() < 6 || sof[5] == 0)
            damaged("JPEG: not a JPEG file");
        PictureFileProbe probe;
        probe.height = be16(&sof[1]);
        probe.width = be16(&sof[3]);
        checkLimits(probe.width, probe.height, limits);
        const int components = sof[5];
        std::vector<std::uint8_t> sampling = readAt(pos + 10, std::size_t(components) * 3);
        if (sampling.size() < std::size_t(components) * 3)
            damaged("JPEG: not a JPEG file");
        const std::uint64_t pixels = probe.width * probe.height;
        const bool arithmetic = code >= 0xC9;
        const bool progressive = code == 0xC2 || code == 0xC6 || code == 0xCA || code == 0xCE;
        const std::uint64_t coded = fileBytes > metadata ? fileBytes - metadata : 0;
        checkFill(arithmetic ? limits.plausible(pixels, coded * 4096) : pixels <= coded * 512,
                  probe.width, probe.height);
        if (progressive) {
            // All coefficients are kept between scans: 2 bytes each, 64 per block of
            // every component at its own sampling.
            int hMax = 1, vMax = 1;
            for (int c = 0; c < components; ++c) {
                hMax = std::max(hMax, sampling[std::size_t(c) * 3 + 1] >> 4);
                vMax = std::max(vMax, sampling[std::size_t(c) * 3 + 1] & 15);
            }
            std::uint64_t share = 0; // in 1/(hMax*vMax) of the full size
            for (int c = 0; c < components; ++c) {
                const int s = sampling[std::size_t(c) * 3 + 1];
                share += std::uint64_t(std::max(1, s >> 4)) * std::uint64_t(std::max(1, s & 15));
            }
            probe.workBytes = pixels * 2 * share / std::uint64_t(hMax * vMax) + pixels / 8;
        }
        checkFileSize(fileBytes, pixels * 16, probe.width, probe.height);
        return probe;
    }
}

} // namespace

PictureFileProbe ProbePictureFile(PictureType format, std::span<const std::uint8_t> head,
                                  std::uint64_t fileBytes, const DecodeLimits& limits,
                                  const ReadAt& readAt)
{
    switch (format) {
    case PictureType::Png:
        return probePng(head, fileBytes, limits);
    case PictureType::Gif:
        return probeGif(head, fileBytes, limits);
    case PictureType::Bmp:
        return probeBmp(head, fileBytes, limits);
    case PictureType::Jpeg:
        return probeJpeg(head, fileBytes, limits, readAt);
    case PictureType::None:
        break;
    }
    refuse("unknown picture type");
}
