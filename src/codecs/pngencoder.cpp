#include "pngencoder.h"

#include "pngchunk.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <limits>

namespace {

constexpr std::uint32_t kMaxPngDimension = 0x7FFFFFFFu;
constexpr std::size_t kIdatSize = 65535;

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
    Deflater()
    {
        if (deflateInit2(&m_stream, 7, Z_DEFLATED, 15, 8, Z_DEFAULT_STRATEGY) != Z_OK)
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

} // namespace

std::vector<std::uint8_t> EncodePng(const ImageView& image)
{
    if (image.width <= 0 || image.height <= 0)
        throw CodecError("Empty image");
    if (static_cast<std::uint32_t>(image.width) > kMaxPngDimension ||
        static_cast<std::uint32_t>(image.height) > kMaxPngDimension)
        throw CodecError("Image too large for PNG");
    if (!image.data || image.stride < 3 * static_cast<std::ptrdiff_t>(image.width))
        throw CodecError("Bad image layout");
    const std::size_t rowBytes = 3 * static_cast<std::size_t>(image.width);
    if (rowBytes + 1 > std::numeric_limits<uInt>::max())
        throw CodecError("Image too large for PNG");

    std::vector<std::uint8_t> out;
    const std::size_t rawSize = (rowBytes + 1) * static_cast<std::size_t>(image.height);
    out.reserve(std::min<std::size_t>(rawSize / 2, std::size_t(16) << 20) + 1024);
    out.insert(out.end(), kPngSignature, kPngSignature + 8);

    std::uint8_t header[13];
    WriteBigEndian32(header, static_cast<std::uint32_t>(image.width));
    WriteBigEndian32(header + 4, static_cast<std::uint32_t>(image.height));
    header[8] = 8;  // bit depth
    header[9] = 2;  // colour type RGB
    header[10] = 0; // compression
    header[11] = 0; // filter method
    header[12] = 0; // no interlace
    writeChunk(out, "IHDR", header, sizeof header);

    Deflater zs;
    std::vector<std::uint8_t> buffer(kIdatSize);
    std::vector<std::uint8_t> filtered(rowBytes + 1);
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

    filtered[0] = 1; // Sub
    for (int y = 0; y < image.height; ++y) {
        const std::uint8_t* raw = image.data + y * image.stride;
        std::uint8_t* dst = filtered.data() + 1;
        std::memcpy(dst, raw, 3);
        for (std::size_t x = 3; x < rowBytes; ++x)
            dst[x] = static_cast<std::uint8_t>(raw[x] - raw[x - 3]);
        zs->next_in = filtered.data();
        zs->avail_in = static_cast<uInt>(rowBytes + 1);
        run(Z_NO_FLUSH);
    }
    run(Z_FINISH);
    const std::size_t rest = kIdatSize - zs->avail_out;
    if (rest > 0)
        writeChunk(out, "IDAT", buffer.data(), rest);

    writeChunk(out, "IEND", nullptr, 0);
    return out;
}
