#include "pngencoder.h"

#include "pngchunk.h"
#include "pngfilter.h"

#include <libdeflate.h>
#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <limits>
#include <new>
#include <span>
#include <utility>

namespace {

constexpr std::uint32_t kMaxPngDimension = 0x7FFFFFFFu;
constexpr std::size_t kIdatSize = 65535;
// libdeflate's level 6 gives files smaller than zlib's level 7 in far less time.
constexpr int kRgbLevel = 6;

void put32(std::vector<std::uint8_t>& out, std::uint32_t value)
{
    std::uint8_t bytes[4];
    WriteBigEndian32(bytes, value);
    out.insert(out.end(), bytes, bytes + 4);
}

void writeChunk(std::vector<std::uint8_t>& out, const char type[4], const std::uint8_t* data,
                std::size_t size)
{
    put32(out, static_cast<std::uint32_t>(size));
    const std::size_t typeAt = out.size();
    out.insert(out.end(), type, type + 4);
    if (size > 0)
        out.insert(out.end(), data, data + size);
    put32(out, PngChunkCrc(out.data() + typeAt, static_cast<std::uint32_t>(size)));
}

// Owns the zlib stream so that every way out releases it.
class Deflater {
public:
    explicit Deflater(int level)
    {
        if (deflateInit2(&m_stream, level, Z_DEFLATED, 15, 8, Z_DEFAULT_STRATEGY) != Z_OK)
            throw CodecError("zlib initialisation failed");
    }
    ~Deflater() { deflateEnd(&m_stream); }
    Deflater(const Deflater&) = delete;
    Deflater& operator=(const Deflater&) = delete;

    z_stream* operator->() { return &m_stream; }
    z_stream* get() { return &m_stream; }

private:
    z_stream m_stream{};
};

// Deflates the filtered rows that `row(y)` returns (filter byte first) into IDAT chunks
// of 65535 data bytes but the last.
void writeImageData(std::vector<std::uint8_t>& out, int level, int height,
                    const std::function<std::span<const std::uint8_t>(int)>& row)
{
    Deflater zs(level);
    std::vector<std::uint8_t> buffer(kIdatSize);
    zs->next_out = buffer.data();
    zs->avail_out = static_cast<uInt>(kIdatSize);

    auto run = [&](int flush) {
        for (;;) {
            const int rc = deflate(zs.get(), flush);
            if (rc == Z_STREAM_ERROR)
                throw CodecError("zlib compression failed");
            if (zs->avail_out == 0) {
                writeChunk(out, "IDAT", buffer.data(), kIdatSize);
                zs->next_out = buffer.data();
                zs->avail_out = static_cast<uInt>(kIdatSize);
                continue; // more output may be pending
            }
            if (flush == Z_FINISH ? rc == Z_STREAM_END : zs->avail_in == 0)
                return;
            if (rc != Z_OK)
                throw CodecError("zlib compression failed");
        }
    };

    for (int y = 0; y < height; ++y) {
        const std::span<const std::uint8_t> filtered = row(y);
        zs->next_in = const_cast<std::uint8_t*>(filtered.data());
        zs->avail_in = static_cast<uInt>(filtered.size());
        run(Z_NO_FLUSH);
    }
    run(Z_FINISH);
    const std::size_t rest = kIdatSize - zs->avail_out;
    if (rest > 0)
        writeChunk(out, "IDAT", buffer.data(), rest);
}

// Owns the libdeflate compressor so that every way out releases it.
class Compressor {
public:
    explicit Compressor(int level) : m_compressor(libdeflate_alloc_compressor(level))
    {
        if (!m_compressor)
            throw std::bad_alloc();
    }
    ~Compressor() { libdeflate_free_compressor(m_compressor); }
    Compressor(const Compressor&) = delete;
    Compressor& operator=(const Compressor&) = delete;

    libdeflate_compressor* get() const { return m_compressor; }

private:
    libdeflate_compressor* m_compressor;
};

// One zlib stream of `raw` into IDAT chunks of 65535 data bytes but the last. `raw` is
// released before the chunks are written, so that at most two copies are held at once.
void writeImageData(std::vector<std::uint8_t>& out, int level, std::vector<std::uint8_t>&& raw)
{
    const Compressor compressor(level);
    std::vector<std::uint8_t> stream(libdeflate_zlib_compress_bound(compressor.get(), raw.size()));
    const std::size_t size = libdeflate_zlib_compress(compressor.get(), raw.data(), raw.size(),
                                                      stream.data(), stream.size());
    if (size == 0)
        throw CodecError("Compression failed");
    std::vector<std::uint8_t>().swap(raw);
    out.reserve(out.size() + size + (size / kIdatSize + 2) * 12);
    for (std::size_t at = 0; at < size; at += kIdatSize)
        writeChunk(out, "IDAT", stream.data() + at, std::min(kIdatSize, size - at));
}

void writeHeader(std::vector<std::uint8_t>& out, int width, int height, int depth, int colorType)
{
    out.insert(out.end(), kPngSignature, kPngSignature + 8);
    std::uint8_t header[13];
    WriteBigEndian32(header, static_cast<std::uint32_t>(width));
    WriteBigEndian32(header + 4, static_cast<std::uint32_t>(height));
    header[8] = static_cast<std::uint8_t>(depth);
    header[9] = static_cast<std::uint8_t>(colorType);
    header[10] = 0; // compression
    header[11] = 0; // filter method
    header[12] = 0; // no interlace
    writeChunk(out, "IHDR", header, sizeof header);
}

} // namespace

std::vector<std::uint8_t> EncodePng(const ImageView& image)
{
    CheckImageView(image, kMaxPngDimension, "PNG");
    const std::size_t rowBytes = 3 * static_cast<std::size_t>(image.width);
    const std::size_t height = static_cast<std::size_t>(image.height);
    if (rowBytes + 1 > std::numeric_limits<std::size_t>::max() / 2 / height)
        throw CodecError("Image too large for PNG");

    std::vector<std::uint8_t> out;
    const std::size_t rawSize = (rowBytes + 1) * height;
    out.reserve(1024); // the header; the image data reserves its own
    writeHeader(out, image.width, image.height, 8, 2); // 8-bit RGB

    // The whole filtered picture at once: the compressor sees every match it can use.
    std::vector<std::uint8_t> filtered(rawSize);
    PngRowFilter filter(rowBytes, 3);
    for (int y = 0; y < image.height; ++y) {
        const std::uint8_t* row = image.data + y * image.stride;
        filter.filter(row, y > 0 ? row - image.stride : nullptr,
                      filtered.data() + static_cast<std::size_t>(y) * (rowBytes + 1));
    }
    writeImageData(out, kRgbLevel, std::move(filtered));
    writeChunk(out, "IEND", nullptr, 0);
    return out;
}

std::vector<std::uint8_t> EncodePalettePng(const IndexedImageView& image,
                                           const std::vector<PaletteEntry>& palette)
{
    if (image.width <= 0 || image.height <= 0)
        throw CodecError("Empty image");
    if (palette.empty() || palette.size() > 256)
        throw CodecError("A palette holds 1 to 256 colours");
    if (static_cast<std::uint32_t>(image.width) > kMaxPngDimension ||
        static_cast<std::uint32_t>(image.height) > kMaxPngDimension ||
        static_cast<std::size_t>(image.width) / 8 + 2 > std::numeric_limits<uInt>::max())
        throw CodecError("Image too large for PNG");
    if (!image.data || image.stride < static_cast<std::ptrdiff_t>(image.width))
        throw CodecError("Bad image layout");

    const int depth = palette.size() <= 4 ? 2 : palette.size() <= 16 ? 4 : 8;
    const int perByte = 8 / depth;
    const std::size_t width = static_cast<std::size_t>(image.width);
    const std::size_t rowBytes = (width + perByte - 1) / perByte;

    std::vector<std::uint8_t> out;
    out.reserve(rowBytes * static_cast<std::size_t>(image.height) / 8 + 1024);
    writeHeader(out, image.width, image.height, depth, 3);

    std::uint8_t plte[3 * 256];
    std::uint8_t alpha[256];
    std::size_t alphaCount = 0; // tRNS may stop after the last entry that is not opaque
    for (std::size_t i = 0; i < palette.size(); ++i) {
        plte[3 * i] = palette[i].r;
        plte[3 * i + 1] = palette[i].g;
        plte[3 * i + 2] = palette[i].b;
        alpha[i] = palette[i].a;
        if (palette[i].a != 255)
            alphaCount = i + 1;
    }
    writeChunk(out, "PLTE", plte, 3 * palette.size());
    if (alphaCount > 0)
        writeChunk(out, "tRNS", alpha, alphaCount);

    std::vector<std::uint8_t> packed(rowBytes + 1);
    packed[0] = 0; // None: index rows compress well as they are
    writeImageData(out, 9, image.height, [&](int y) {
        const std::uint8_t* in = image.data + y * image.stride;
        std::fill(packed.begin() + 1, packed.end(), std::uint8_t{0});
        for (std::size_t x = 0; x < width; ++x) {
            if (in[x] >= palette.size())
                throw CodecError("Palette index beyond the palette");
            // Leftmost pixel in the high bits.
            const int shift = 8 - depth * (static_cast<int>(x % perByte) + 1);
            packed[1 + x / perByte] |= static_cast<std::uint8_t>(in[x] << shift);
        }
        return std::span<const std::uint8_t>(packed);
    });
    writeChunk(out, "IEND", nullptr, 0);
    return out;
}
