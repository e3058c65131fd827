#include "bmpreader.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

namespace {

[[noreturn]] void fail(const std::string& why)
{
    throw CodecError("Bitmap image is not valid: " + why);
}

enum class Compression : std::uint32_t {
    Rgb = 0,
    Rle8 = 1,
    Rle4 = 2,
    BitFields = 3,
    AlphaBitFields = 6, // like BitFields, with an alpha mask we ignore
};

constexpr std::size_t kFileHeaderSize = 14;
constexpr std::uint32_t kCoreHeaderSize = 12;
constexpr std::uint32_t kInfoHeaderSize = 40;

// Reads little-endian fields, refusing any that lie outside the file.
class Fields {
public:
    explicit Fields(std::span<const std::uint8_t> data) : m_data(data) {}

    std::uint16_t u16(std::size_t offset) const
    {
        need(offset, 2);
        return static_cast<std::uint16_t>(m_data[offset] | m_data[offset + 1] << 8);
    }
    std::uint32_t u32(std::size_t offset) const
    {
        need(offset, 4);
        return static_cast<std::uint32_t>(m_data[offset]) |
               static_cast<std::uint32_t>(m_data[offset + 1]) << 8 |
               static_cast<std::uint32_t>(m_data[offset + 2]) << 16 |
               static_cast<std::uint32_t>(m_data[offset + 3]) << 24;
    }
    std::int32_t i32(std::size_t offset) const { return static_cast<std::int32_t>(u32(offset)); }

private:
    void need(std::size_t offset, std::size_t count) const
    {
        if (offset > m_data.size() || m_data.size() - offset < count)
            fail("the file ends inside the header");
    }

    std::span<const std::uint8_t> m_data;
};

// One colour channel of a bit-field pixel: a contiguous mask, its value scaled to 0..255
// with rounding so that a full field gives 255 whatever its width.
class Channel {
public:
    explicit Channel(std::uint32_t mask)
    {
        if (mask == 0)
            return; // the channel is absent and reads 0
        m_shift = std::countr_zero(mask);
        const std::uint32_t field = mask >> m_shift;
        m_field = field;
        if (std::popcount(field) <= 16) {
            m_table.resize(std::size_t(field) + 1);
            for (std::uint32_t v = 0; v <= field; ++v)
                m_table[v] = scale(v);
        }
    }

    std::uint8_t operator()(std::uint32_t pixel) const
    {
        const std::uint32_t v = (pixel >> m_shift) & m_field;
        return m_table.empty() ? scale(v) : m_table[v];
    }

private:
    std::uint8_t scale(std::uint32_t v) const
    {
        if (m_field == 0)
            return 0;
        return static_cast<std::uint8_t>((std::uint64_t(v) * 255 + m_field / 2) / m_field);
    }

    int m_shift = 0;
    std::uint32_t m_field = 0;
    std::vector<std::uint8_t> m_table;
};

// Whether a bit-field mask is one run of ones (or empty).
bool contiguous(std::uint32_t mask)
{
    const std::uint64_t field = mask == 0 ? 0 : mask >> std::countr_zero(mask);
    return (field & (field + 1)) == 0;
}

// The header's fields as the file gives them.
struct RawHeader {
    std::uint32_t infoSize = 0;
    std::int64_t width = 0;
    std::int64_t height = 0; // negative: rows top-down
    int bitsPerPixel = 0;
    std::uint32_t compression = 0;
    std::array<std::uint32_t, 3> masks{}; // red, green, blue
    std::size_t paletteOffset = 0;
    std::size_t paletteEntrySize = 4;
    std::uint32_t colorsUsed = 0;
    std::uint32_t dataOffset = 0;
};

// The checked header.
struct Header {
    int width = 0;
    int height = 0; // rows, always positive
    bool topDown = false;
    int bitsPerPixel = 0;
    Compression compression = Compression::Rgb;
    std::array<std::uint32_t, 3> masks{}; // red, green, blue
    std::size_t paletteOffset = 0;
    std::size_t paletteEntrySize = 4;
    std::uint32_t colorsUsed = 0;
    std::size_t dataOffset = 0;
};

RawHeader parseHeader(std::span<const std::uint8_t> data)
{
    if (data.size() < 2 || data[0] != 'B' || data[1] != 'M')
        fail("it does not start with BM");
    const Fields f(data);
    RawHeader h;
    h.dataOffset = f.u32(10);
    h.infoSize = f.u32(14);
    if (h.infoSize == kCoreHeaderSize) {
        h.width = f.u16(18);
        h.height = f.u16(20);
        h.bitsPerPixel = f.u16(24);
        h.paletteEntrySize = 3;
        h.paletteOffset = kFileHeaderSize + kCoreHeaderSize;
        return h;
    }
    if (h.infoSize < kInfoHeaderSize)
        fail("header size " + std::to_string(h.infoSize) + " is not supported");
    if (h.infoSize > data.size() - kFileHeaderSize)
        fail("the file ends inside the header");
    h.width = f.i32(18);
    h.height = f.i32(22);
    h.bitsPerPixel = f.u16(28);
    h.compression = f.u32(30);
    h.colorsUsed = f.u32(46);
    h.paletteOffset = kFileHeaderSize + h.infoSize;
    const auto compression = static_cast<Compression>(h.compression);
    if (compression == Compression::BitFields || compression == Compression::AlphaBitFields) {
        // Headers of 52 bytes and more hold the masks; the 40-byte one is followed by them.
        std::size_t maskOffset = kFileHeaderSize + kInfoHeaderSize;
        if (h.infoSize < 52) {
            maskOffset = kFileHeaderSize + h.infoSize;
            h.paletteOffset += compression == Compression::AlphaBitFields ? 16 : 12;
        }
        for (auto& mask : h.masks) {
            mask = f.u32(maskOffset);
            maskOffset += 4;
        }
    }
    // Planes (always 1) is not read: some writers leave it 0 and nothing depends on it.
    return h;
}

void checkSize(const RawHeader& h, const DecodeLimits& limits)
{
    if (h.width == 0)
        fail("width is 0");
    if (h.width < 0)
        fail("width " + std::to_string(h.width) + " is negative");
    if (h.height == 0)
        fail("height is 0");
    const std::int64_t rows = h.height < 0 ? -h.height : h.height;
    const std::string limit = " (the limit is " + std::to_string(limits.maxSide) + ")";
    if (h.width > limits.maxSide)
        fail("width " + std::to_string(h.width) + " is too large" + limit);
    if (rows > limits.maxSide)
        fail("height " + std::to_string(rows) + " is too large" + limit);
    if (std::uint64_t(h.width) * std::uint64_t(rows) > limits.maxPixels)
        fail(std::to_string(h.width) + " x " + std::to_string(rows) +
             " is too many pixels (the limit is " + std::to_string(limits.maxPixels) + ")");
}

void checkCoding(const RawHeader& h, std::size_t fileBytes)
{
    const std::string bits = std::to_string(h.bitsPerPixel);
    if (h.bitsPerPixel != 1 && h.bitsPerPixel != 4 && h.bitsPerPixel != 8 && h.bitsPerPixel != 16 &&
        h.bitsPerPixel != 24 && h.bitsPerPixel != 32)
        fail("bits per pixel " + bits + " is not supported");
    switch (static_cast<Compression>(h.compression)) {
    case Compression::Rgb:
        break;
    case Compression::Rle8:
    case Compression::Rle4: {
        const int needed = h.compression == std::uint32_t(Compression::Rle8) ? 8 : 4;
        if (h.bitsPerPixel != needed)
            fail("RLE" + std::to_string(needed) + " needs " + std::to_string(needed) +
                 " bits per pixel, not " + bits);
        if (h.height < 0)
            fail("a run-length coded bitmap cannot be stored top-down");
        break;
    }
    case Compression::BitFields:
    case Compression::AlphaBitFields:
        if (h.bitsPerPixel != 16 && h.bitsPerPixel != 32)
            fail("bit fields need 16 or 32 bits per pixel, not " + bits);
        for (std::uint32_t mask : h.masks)
            if (!contiguous(mask))
                fail("a colour mask has gaps");
        break;
    default:
        fail(h.compression == 4 || h.compression == 5
                 ? std::string("an embedded JPEG or PNG picture is not supported")
                 : "compression " + std::to_string(h.compression) + " is not supported");
    }
    if (h.dataOffset < h.paletteOffset)
        fail("the pixel data starts inside the header");
    if (h.dataOffset > fileBytes)
        fail("the pixel data starts past the end of the file");
}

Header readHeader(std::span<const std::uint8_t> data, const DecodeLimits& limits)
{
    const RawHeader raw = parseHeader(data);
    checkSize(raw, limits);
    checkCoding(raw, data.size());
    Header h;
    h.width = static_cast<int>(raw.width);
    h.topDown = raw.height < 0;
    h.height = static_cast<int>(raw.height < 0 ? -raw.height : raw.height);
    h.bitsPerPixel = raw.bitsPerPixel;
    h.compression = static_cast<Compression>(raw.compression);
    h.masks = raw.masks;
    h.paletteOffset = raw.paletteOffset;
    h.paletteEntrySize = raw.paletteEntrySize;
    h.colorsUsed = raw.colorsUsed;
    h.dataOffset = raw.dataOffset;
    return h;
}

using Rgba = std::array<std::uint8_t, 4>;

// Indices past the colours the file holds read as black.
std::array<Rgba, 256> readPalette(std::span<const std::uint8_t> data, const Header& h)
{
    std::array<Rgba, 256> palette;
    palette.fill(Rgba{0, 0, 0, 255});
    if (h.bitsPerPixel > 8)
        return palette;
    const std::size_t maxColors = std::size_t(1) << h.bitsPerPixel;
    std::size_t count =
        h.colorsUsed == 0 ? maxColors : std::min<std::size_t>(h.colorsUsed, maxColors);
    count = std::min(count, (h.dataOffset - h.paletteOffset) / h.paletteEntrySize);
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint8_t* e = data.data() + h.paletteOffset + i * h.paletteEntrySize;
        palette[i] = Rgba{e[2], e[1], e[0], 255};
    }
    return palette;
}

// Rows are padded to 4 bytes. Throws unless every pixel is in `pixels`; the last row's
// padding may be missing.
std::size_t uncompressedRowBytes(std::span<const std::uint8_t> pixels, const Header& h)
{
    const std::uint64_t rowBits = std::uint64_t(h.width) * std::uint64_t(h.bitsPerPixel);
    const std::uint64_t rowBytes = (rowBits + 31) / 32 * 4;
    const std::uint64_t usedBytes = (rowBits + 7) / 8;
    if (pixels.size() < usedBytes || std::uint64_t(h.height - 1) > pixels.size() / rowBytes ||
        rowBytes * std::uint64_t(h.height - 1) > pixels.size() - usedBytes)
        fail("the pixel data ends before the last row");
    return std::size_t(rowBytes);
}

void decodeUncompressed(std::span<const std::uint8_t> pixels, std::size_t rowBytes, const Header& h,
                        const std::array<Rgba, 256>& palette, std::uint8_t* out)
{
    std::array<std::uint32_t, 3> masks = h.masks;
    if (h.compression == Compression::Rgb && h.bitsPerPixel == 16)
        masks = {0x7C00, 0x03E0, 0x001F};
    const bool bitFields =
        h.bitsPerPixel == 16 || (h.bitsPerPixel == 32 && h.compression != Compression::Rgb);
    const Channel red(bitFields ? masks[0] : 0);
    const Channel green(bitFields ? masks[1] : 0);
    const Channel blue(bitFields ? masks[2] : 0);

    const std::size_t width = std::size_t(h.width);
    for (int row = 0; row < h.height; ++row) {
        const std::uint8_t* src = pixels.data() + std::size_t(row) * rowBytes;
        const int y = h.topDown ? row : h.height - 1 - row;
        std::uint8_t* dst = out + std::size_t(y) * width * 4;
        switch (h.bitsPerPixel) {
        case 1:
            for (std::size_t x = 0; x < width; ++x)
                std::memcpy(dst + x * 4, palette[(src[x >> 3] >> (7 - (x & 7))) & 1].data(), 4);
            break;
        case 4:
            for (std::size_t x = 0; x < width; ++x)
                std::memcpy(dst + x * 4, palette[(src[x >> 1] >> ((x & 1) ? 0 : 4)) & 15].data(),
                            4);
            break;
        case 8:
            for (std::size_t x = 0; x < width; ++x)
                std::memcpy(dst + x * 4, palette[src[x]].data(), 4);
            break;
        case 16:
            for (std::size_t x = 0; x < width; ++x, src += 2, dst += 4) {
                const std::uint32_t v = src[0] | std::uint32_t(src[1]) << 8;
                dst[0] = red(v);
                dst[1] = green(v);
                dst[2] = blue(v);
                dst[3] = 255;
            }
            break;
        case 24:
            for (std::size_t x = 0; x < width; ++x, src += 3, dst += 4) {
                dst[0] = src[2];
                dst[1] = src[1];
                dst[2] = src[0];
                dst[3] = 255;
            }
            break;
        case 32:
            for (std::size_t x = 0; x < width; ++x, src += 4, dst += 4) {
                if (bitFields) {
                    const std::uint32_t v = src[0] | std::uint32_t(src[1]) << 8 |
                                            std::uint32_t(src[2]) << 16 |
                                            std::uint32_t(src[3]) << 24;
                    dst[0] = red(v);
                    dst[1] = green(v);
                    dst[2] = blue(v);
                } else {
                    dst[0] = src[2];
                    dst[1] = src[1];
                    dst[2] = src[0];
                }
                dst[3] = 255;
            }
            break;
        }
    }
}

// RLE4/RLE8, rows bottom-up. Pixels the data skips (delta, early end of line or bitmap)
// keep palette entry 0, as a zero-filled bitmap shows them. Runs past the right edge are
// clipped; data ending before the end-of-bitmap mark (with rows left) is an error.
void decodeRle(std::span<const std::uint8_t> data, const Header& h,
               const std::array<Rgba, 256>& palette, std::uint8_t* out)
{
    const bool rle4 = h.compression == Compression::Rle4;
    const std::size_t width = std::size_t(h.width);
    const std::size_t pixelCount = width * std::size_t(h.height);
    for (std::size_t i = 0; i < pixelCount; ++i)
        std::memcpy(out + i * 4, palette[0].data(), 4);

    std::size_t x = 0;
    int y = 0; // counted from the bottom row
    std::size_t p = 0;
    const std::size_t n = data.size();
    auto rowStart = [&] { return out + std::size_t(h.height - 1 - y) * width * 4; };
    std::uint8_t* row = rowStart();

    while (y < h.height) {
        if (n - p < 2)
            fail("the run-length data ends before the end-of-bitmap mark");
        const std::uint8_t count = data[p];
        const std::uint8_t value = data[p + 1];
        p += 2;
        if (count > 0) {
            const std::size_t end = std::min(width, x + count);
            for (std::size_t k = 0; x < end; ++x, ++k) {
                const std::uint8_t index = !rle4 ? value : (k & 1) ? value & 15 : value >> 4;
                std::memcpy(row + x * 4, palette[index].data(), 4);
            }
            x = end;
            continue;
        }
        switch (value) {
        case 0: // end of line
            x = 0;
            if (++y < h.height)
                row = rowStart();
            break;
        case 1: // end of bitmap
            return;
        case 2: { // delta: right and up
            if (n - p < 2)
                fail("the run-length data ends inside a move");
            x = std::min(width, x + data[p]);
            y += data[p + 1];
            p += 2;
            if (y < h.height)
                row = rowStart();
            break;
        }
        default: { // absolute run of `value` pixels, padded to a 16-bit boundary
            const std::size_t bytes = rle4 ? (value + 1u) / 2 : value;
            if (n - p < bytes)
                fail("the run-length data ends inside a run of pixels");
            const std::uint8_t* src = data.data() + p;
            const std::size_t end = std::min(width, x + value);
            for (std::size_t k = 0; x < end; ++x, ++k) {
                const std::uint8_t index = !rle4     ? src[k]
                                           : (k & 1) ? src[k >> 1] & 15
                                                     : src[k >> 1] >> 4;
                std::memcpy(row + x * 4, palette[index].data(), 4);
            }
            x = end;
            p = std::min(n, p + ((bytes + 1) & ~std::size_t(1)));
            break;
        }
        }
    }
}

} // namespace

RgbaImage DecodeBmp(std::span<const std::uint8_t> data, const DecodeLimits& limits)
{
    const Header h = readHeader(data, limits);
    const auto palette = readPalette(data, h);
    const std::uint64_t pixelCount = std::uint64_t(h.width) * std::uint64_t(h.height);
    if (pixelCount > std::numeric_limits<std::size_t>::max() / 4)
        fail("the picture is too large for this computer");

    // The pixel data is bounded before the picture is allocated.
    const auto pixels = data.subspan(h.dataOffset);
    const bool rle = h.compression == Compression::Rle8 || h.compression == Compression::Rle4;
    const std::size_t rowBytes = rle ? 0 : uncompressedRowBytes(pixels, h);
    if (rle && pixels.size() < 2)
        fail("the run-length data is missing");
    // A run of two bytes paints at most 255 pixels; line ends and deltas skip more, so
    // allow four times that before calling the size a bomb.
    if (rle && !limits.plausible(pixelCount, std::uint64_t(pixels.size()) * 512))
        fail(std::to_string(h.width) + " x " + std::to_string(h.height) + " is too large for its " +
             std::to_string(pixels.size()) + " bytes of run-length data");

    RgbaImage image;
    image.width = h.width;
    image.height = h.height;
    image.pixels.resize(std::size_t(pixelCount) * 4);
    if (rle)
        decodeRle(pixels, h, palette, image.pixels.data());
    else
        decodeUncompressed(pixels, rowBytes, h, palette, image.pixels.data());
    return image;
}
