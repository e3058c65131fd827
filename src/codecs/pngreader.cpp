#include "pngreader.h"

#include "pngchunk.h"

#include <zlib.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>
#include <utility>
#include <vector>

namespace {

constexpr std::uint32_t kMaxChunkLength = 0x7FFFFFFFu; // lengths and dimensions are 31-bit

constexpr std::uint32_t chunkType(const char (&name)[5])
{
    return std::uint32_t(std::uint8_t(name[0])) << 24 | std::uint32_t(std::uint8_t(name[1])) << 16 |
           std::uint32_t(std::uint8_t(name[2])) << 8 | std::uint32_t(std::uint8_t(name[3]));
}

constexpr std::uint32_t kIHDR = chunkType("IHDR");
constexpr std::uint32_t kPLTE = chunkType("PLTE");
constexpr std::uint32_t kIDAT = chunkType("IDAT");
constexpr std::uint32_t kIEND = chunkType("IEND");
constexpr std::uint32_t kTRNS = chunkType("tRNS");
constexpr std::uint32_t kGAMA = chunkType("gAMA");

enum ColorType {
    kGrey = 0,
    kRgb = 2,
    kPalette = 3,
    kGreyAlpha = 4,
    kRgba = 6,
};

struct Pass {
    int xStart, yStart, xStep, yStep;
};

constexpr Pass kSinglePass = {0, 0, 1, 1};
constexpr Pass kAdam7[7] = {{0, 0, 8, 8}, {4, 0, 8, 8}, {0, 4, 4, 8}, {2, 0, 4, 4},
                            {0, 2, 2, 4}, {1, 0, 2, 2}, {0, 1, 1, 2}};

// Pixels (or rows) of a pass along a side of `size`: those at start, start + step, ...
int passExtent(int size, int start, int step)
{
    return size > start ? (size - start + step - 1) / step : 0;
}

unsigned readU16(const std::uint8_t* p)
{
    return unsigned(p[0]) << 8 | p[1];
}

[[noreturn]] void fail(const std::string& why)
{
    throw CodecError("PNG: " + why);
}

// --- Unfiltering, in place, one row at a time. `prev` is all zeros for a pass's first row.

inline std::uint8_t paeth(int a, int b, int c)
{
    const int pa = std::abs(b - c);
    const int pb = std::abs(a - c);
    const int pc = std::abs(a + b - 2 * c);
    const int bc = pb <= pc ? b : c;
    return static_cast<std::uint8_t>(pa <= pb && pa <= pc ? a : bc);
}

// The left neighbours stay in registers: going through memory would put a store-to-load
// delay into every step of the dependency chain.
template <int Bpp> void unfilterSub(std::uint8_t* row, std::size_t n)
{
    std::uint8_t a[Bpp];
    for (int k = 0; k < Bpp; ++k)
        a[k] = row[k];
    for (std::size_t i = Bpp; i < n; i += Bpp)
        for (int k = 0; k < Bpp; ++k)
            a[k] = row[i + k] = static_cast<std::uint8_t>(row[i + k] + a[k]);
}

template <int Bpp> void unfilterAverage(std::uint8_t* row, const std::uint8_t* prev, std::size_t n)
{
    std::uint8_t a[Bpp];
    for (int k = 0; k < Bpp; ++k)
        a[k] = row[k] = static_cast<std::uint8_t>(row[k] + (prev[k] >> 1));
    for (std::size_t i = Bpp; i < n; i += Bpp)
        for (int k = 0; k < Bpp; ++k)
            a[k] = row[i + k] = static_cast<std::uint8_t>(row[i + k] + ((a[k] + prev[i + k]) >> 1));
}

template <int Bpp> void unfilterPaeth(std::uint8_t* row, const std::uint8_t* prev, std::size_t n)
{
    std::uint8_t a[Bpp];
    std::uint8_t c[Bpp];
    for (int k = 0; k < Bpp; ++k) { // no left neighbour: the predictor is the byte above
        a[k] = row[k] = static_cast<std::uint8_t>(row[k] + prev[k]);
        c[k] = prev[k];
    }
    for (std::size_t i = Bpp; i < n; i += Bpp)
        for (int k = 0; k < Bpp; ++k) {
            const std::uint8_t b = prev[i + k];
            a[k] = row[i + k] = static_cast<std::uint8_t>(row[i + k] + paeth(a[k], b, c[k]));
            c[k] = b;
        }
}

template <int Bpp>
void unfilterWith(int filter, std::uint8_t* row, const std::uint8_t* prev, std::size_t n)
{
    switch (filter) {
    case 0:
        break;
    case 1:
        unfilterSub<Bpp>(row, n);
        break;
    case 2:
        for (std::size_t i = 0; i < n; ++i)
            row[i] = static_cast<std::uint8_t>(row[i] + prev[i]);
        break;
    case 3:
        unfilterAverage<Bpp>(row, prev, n);
        break;
    case 4:
        unfilterPaeth<Bpp>(row, prev, n);
        break;
    default:
        fail("unknown filter type " + std::to_string(filter));
    }
}

void unfilter(int filter, int bpp, std::uint8_t* row, const std::uint8_t* prev, std::size_t n)
{
    switch (bpp) {
    case 1:
        return unfilterWith<1>(filter, row, prev, n);
    case 2:
        return unfilterWith<2>(filter, row, prev, n);
    case 3:
        return unfilterWith<3>(filter, row, prev, n);
    case 4:
        return unfilterWith<4>(filter, row, prev, n);
    case 6:
        return unfilterWith<6>(filter, row, prev, n);
    default:
        return unfilterWith<8>(filter, row, prev, n);
    }
}

// --- The decoder proper.

class Inflater {
public:
    Inflater()
    {
        if (inflateInit(&m_z) != Z_OK)
            fail("cannot start zlib");
    }
    ~Inflater() { inflateEnd(&m_z); }
    Inflater(const Inflater&) = delete;
    Inflater& operator=(const Inflater&) = delete;
    z_stream* get() { return &m_z; }

private:
    z_stream m_z{};
};

class PngDecoder {
public:
    PngDecoder(std::span<const std::uint8_t> data, const DecodeLimits& limits)
        : m_data(data), m_limits(limits)
    {
    }
    RgbaImage run();

private:
    struct Chunk {
        std::uint32_t type = 0;
        const std::uint8_t* typeBytes = nullptr;
        const std::uint8_t* body = nullptr;
        std::uint32_t length = 0;
    };
    // The chunk at `pos`, its framing and CRC checked; `pos` moves past it.
    Chunk readChunk(std::size_t& pos) const;
    void readHeader(const std::uint8_t* p, std::uint32_t length);
    void readPalette(const std::uint8_t* p, std::uint32_t length);
    void readTransparency(const std::uint8_t* p, std::uint32_t length);
    void readGamma(const std::uint8_t* p, std::uint32_t length);
    std::uint64_t imageDataBytes() const;
    std::uint64_t compressedBytesFrom(std::size_t pos) const;
    void startImage();
    void startPass();
    void consume(const std::uint8_t* p, std::uint32_t length);
    void checkTrailer();
    void finishRow();
    void emitRow(const std::uint8_t* src, int count, std::uint8_t* dst, std::size_t step) const;
    std::size_t passRowBytes(int passWidth) const;

    std::span<const std::uint8_t> m_data;
    DecodeLimits m_limits;

    // IHDR
    int m_width = 0;
    int m_height = 0;
    int m_depth = 0;
    int m_colorType = 0;
    int m_bitsPerPixel = 0;
    int m_filterBpp = 1;
    const Pass* m_passes = &kSinglePass; // Adam7 when interlaced
    int m_passCount = 1;

    // PLTE, tRNS, gAMA
    std::array<std::array<std::uint8_t, 3>, 256> m_palette{};
    int m_paletteSize = 0;
    std::array<std::uint8_t, 256> m_paletteAlpha{};
    int m_paletteAlphaCount = 0;
    bool m_hasKey = false;
    bool m_hadTransparency = false;
    unsigned m_key[3] = {};
    bool m_hadGamma = false;
    std::uint32_t m_gamma = 0;

    // Decoding state
    std::array<std::uint8_t, 256> m_gammaTable{};
    bool m_plain = true;                                     // identity gamma and no colour key
    std::array<std::array<std::uint8_t, 4>, 256> m_lookup{}; // palette or low-depth grey -> RGBA
    Inflater m_inflater;
    std::vector<std::uint8_t> m_rowA;
    std::vector<std::uint8_t> m_rowB;
    std::uint8_t* m_cur = nullptr;
    std::uint8_t* m_prev = nullptr;
    int m_pass = 0;
    int m_passWidth = 0;
    int m_passHeight = 0;
    int m_passRow = 0;
    std::size_t m_rowTotal = 0; // filter byte + row data of the current pass
    std::size_t m_filled = 0;
    bool m_imageDone = false;
    bool m_trailerDone = false;
    RgbaImage m_image;
};

std::size_t PngDecoder::passRowBytes(int passWidth) const
{
    // Rows are whole bytes: sub-byte pixels are rounded up at the end of the row.
    return (static_cast<std::size_t>(passWidth) * static_cast<std::size_t>(m_bitsPerPixel) + 7) / 8;
}

PngDecoder::Chunk PngDecoder::readChunk(std::size_t& pos) const
{
    const std::uint8_t* const data = m_data.data();
    const std::size_t size = m_data.size();
    if (size - pos < 12)
        fail("file is truncated");
    Chunk chunk;
    chunk.length = ReadBigEndian32(data + pos);
    if (chunk.length > kMaxChunkLength)
        fail("chunk length out of range");
    if (chunk.length > size - pos - 12)
        fail("file is truncated");
    chunk.typeBytes = data + pos + 4;
    chunk.body = data + pos + 8;
    for (int i = 0; i < 4; ++i) {
        const std::uint8_t ch = chunk.typeBytes[i];
        if (!((ch >= 'A' && ch <= 'Z') || (ch >= 'a' && ch <= 'z')))
            fail("invalid chunk type");
    }
    chunk.type = ReadBigEndian32(chunk.typeBytes);
    if (PngChunkCrc(chunk.typeBytes, chunk.length) != ReadBigEndian32(chunk.body + chunk.length))
        fail("CRC error in " + std::string(reinterpret_cast<const char*>(chunk.typeBytes), 4) +
             " chunk");
    pos += 12 + std::size_t(chunk.length);
    return chunk;
}

RgbaImage PngDecoder::run()
{
    const std::uint8_t* const data = m_data.data();
    const std::size_t size = m_data.size();
    if (size < 8 || std::memcmp(data, kPngSignature, 8) != 0)
        fail("not a PNG file");

    enum class Stage {
        BeforeImage,
        InImage,
        AfterImage,
    };
    Stage stage = Stage::BeforeImage;
    bool haveHeader = false;
    bool havePalette = false;
    std::size_t pos = 8;
    for (;;) {
        const Chunk chunk = readChunk(pos);
        const std::uint32_t type = chunk.type;
        const std::uint32_t length = chunk.length;
        const std::uint8_t* const body = chunk.body;
        const std::uint8_t* const typeBytes = chunk.typeBytes;

        if (!haveHeader && type != kIHDR)
            fail("IHDR is not the first chunk");
        if (stage == Stage::InImage && type != kIDAT) {
            if (!m_imageDone)
                fail("image data is incomplete");
            stage = Stage::AfterImage;
        }

        if (type == kIHDR) {
            if (haveHeader)
                fail("more than one IHDR chunk");
            readHeader(body, length);
            haveHeader = true;
        } else if (type == kPLTE) {
            if (havePalette)
                fail("more than one PLTE chunk");
            if (stage != Stage::BeforeImage)
                fail("PLTE after image data");
            readPalette(body, length);
            havePalette = true;
        } else if (type == kIDAT) {
            if (stage == Stage::AfterImage)
                fail("IDAT chunks are not consecutive");
            if (stage == Stage::BeforeImage) {
                if (m_colorType == kPalette && !havePalette)
                    fail("palette image without PLTE");
                // No deflate stream expands more than 1032 times: a picture that its data
                // cannot fill is refused before its memory is taken.
                if (compressedBytesFrom(pos - 12 - length) * 1032 + 1032 < imageDataBytes())
                    fail("image data is incomplete");
                startImage();
                stage = Stage::InImage;
            }
            consume(body, length);
        } else if (type == kIEND) {
            if (stage == Stage::BeforeImage)
                fail("no image data");
            if (length != 0)
                fail("IEND chunk is not empty");
            break; // anything after IEND is not part of the file
        } else if (type == kTRNS) {
            if (stage == Stage::BeforeImage)
                readTransparency(body, length);
        } else if (type == kGAMA) {
            if (stage == Stage::BeforeImage && !havePalette)
                readGamma(body, length);
        } else if (!(typeBytes[0] & 0x20)) {
            fail("unknown critical chunk " +
                 std::string(reinterpret_cast<const char*>(typeBytes), 4));
        }
        // Other ancillary chunks carry nothing this reader shows.
    }
    return std::move(m_image);
}

void PngDecoder::readHeader(const std::uint8_t* p, std::uint32_t length)
{
    if (length != 13)
        fail("IHDR has the wrong length");
    const std::uint32_t width = ReadBigEndian32(p);
    const std::uint32_t height = ReadBigEndian32(p + 4);
    const int depth = p[8];
    const int colorType = p[9];
    if (width == 0 || height == 0)
        fail("zero image size");
    if (width > kMaxChunkLength || height > kMaxChunkLength)
        fail("image size out of range");
    int channels = 0;
    bool depthOk = false;
    switch (colorType) {
    case kGrey:
        channels = 1;
        depthOk = depth == 1 || depth == 2 || depth == 4 || depth == 8 || depth == 16;
        break;
    case kPalette:
        channels = 1;
        depthOk = depth == 1 || depth == 2 || depth == 4 || depth == 8;
        break;
    case kRgb:
        channels = 3;
        depthOk = depth == 8 || depth == 16;
        break;
    case kGreyAlpha:
        channels = 2;
        depthOk = depth == 8 || depth == 16;
        break;
    case kRgba:
        channels = 4;
        depthOk = depth == 8 || depth == 16;
        break;
    default:
        fail("invalid colour type " + std::to_string(colorType));
    }
    if (!depthOk)
        fail("invalid bit depth " + std::to_string(depth) + " for colour type " +
             std::to_string(colorType));
    if (p[10] != 0)
        fail("unknown compression method");
    if (p[11] != 0)
        fail("unknown filter method");
    if (p[12] > 1)
        fail("unknown interlace method");

    const auto maxSide = static_cast<std::uint32_t>(std::max(m_limits.maxSide, 0));
    if (width > maxSide || height > maxSide)
        fail("image is too large (" + std::to_string(width) + " x " + std::to_string(height) + ")");
    const std::uint64_t pixels = std::uint64_t(width) * height;
    if (pixels > m_limits.maxPixels || pixels > std::numeric_limits<std::size_t>::max() / 4)
        fail("image has too many pixels");
    // The filtered rows come out of deflate, which the whole file could not expand to
    // more than kDeflateMaxRatio times its size.
    const std::uint64_t rowBits = std::uint64_t(width) * std::uint64_t(depth) * channels;
    const std::uint64_t rawBytes = ((rowBits + 7) / 8 + 1) * height;
    if (pixels > m_limits.freePixels && rawBytes / kDeflateMaxRatio > m_data.size())
        fail("image data cannot fill " + std::to_string(width) + " x " + std::to_string(height) +
             " pixels");

    m_width = static_cast<int>(width);
    m_height = static_cast<int>(height);
    m_depth = depth;
    m_colorType = colorType;
    if (p[12] == 1) {
        m_passes = kAdam7;
        m_passCount = 7;
    }
    m_bitsPerPixel = channels * depth;
    m_filterBpp = std::max(1, m_bitsPerPixel / 8);
}

void PngDecoder::readPalette(const std::uint8_t* p, std::uint32_t length)
{
    if (m_colorType == kGrey || m_colorType == kGreyAlpha)
        fail("PLTE in a greyscale image");
    if (length == 0 || length % 3 != 0 || length / 3 > 256)
        fail("PLTE has an invalid length");
    if (m_colorType != kPalette)
        return; // only a suggestion for true-colour images
    // Entries beyond what the bit depth can index are never used.
    m_paletteSize = std::min(static_cast<int>(length / 3), 1 << m_depth);
    for (int i = 0; i < m_paletteSize; ++i)
        for (int k = 0; k < 3; ++k)
            m_palette[i][k] = p[3 * i + k];
}

void PngDecoder::readTransparency(const std::uint8_t* p, std::uint32_t length)
{
    // A malformed or misplaced tRNS is ancillary, so it is ignored rather than refused.
    if (m_hadTransparency)
        return;
    m_hadTransparency = true;
    switch (m_colorType) {
    case kGrey:
        if (length == 2) {
            m_hasKey = true;
            m_key[0] = readU16(p);
        }
        break;
    case kRgb:
        if (length == 6) {
            m_hasKey = true;
            for (int k = 0; k < 3; ++k)
                m_key[k] = readU16(p + 2 * k);
        }
        break;
    case kPalette:
        if (m_paletteSize > 0 && length <= std::uint32_t(m_paletteSize)) {
            m_paletteAlphaCount = static_cast<int>(length);
            std::memcpy(m_paletteAlpha.data(), p, length);
        }
        break;
    default:
        break; // images with an alpha channel need no tRNS
    }
}

void PngDecoder::readGamma(const std::uint8_t* p, std::uint32_t length)
{
    if (m_hadGamma || length != 4)
        return;
    m_hadGamma = true;
    m_gamma = ReadBigEndian32(p);
}

// Filter bytes and rows of all passes.
std::uint64_t PngDecoder::imageDataBytes() const
{
    std::uint64_t total = 0;
    for (int i = 0; i < m_passCount; ++i) {
        const Pass& pass = m_passes[i];
        const std::uint64_t w = passExtent(m_width, pass.xStart, pass.xStep);
        const std::uint64_t h = passExtent(m_height, pass.yStart, pass.yStep);
        if (w > 0)
            total += h * (1 + (w * std::uint64_t(m_bitsPerPixel) + 7) / 8);
    }
    return total;
}

// The data of the run of IDAT chunks starting at `pos` (their CRCs are checked later).
std::uint64_t PngDecoder::compressedBytesFrom(std::size_t pos) const
{
    std::uint64_t total = 0;
    while (m_data.size() - pos >= 12 && ReadBigEndian32(m_data.data() + pos + 4) == kIDAT) {
        const std::uint32_t length = ReadBigEndian32(m_data.data() + pos);
        if (length > m_data.size() - pos - 12)
            break;
        total += length;
        pos += 12 + std::size_t(length);
    }
    return total;
}

void PngDecoder::startImage()
{
    for (int i = 0; i < 256; ++i)
        m_gammaTable[i] = static_cast<std::uint8_t>(i);
    if (m_gamma != 0) {
        const double exponent = 1.0 / (2.2 * (m_gamma / 100000.0));
        for (int i = 0; i < 256; ++i) {
            // nearbyint in the default rounding mode sends an exact half to the even neighbour.
            const double v = std::nearbyint(255.0 * std::pow(i / 255.0, exponent));
            m_gammaTable[i] = static_cast<std::uint8_t>(std::clamp(v, 0.0, 255.0));
        }
    }
    bool identity = true;
    for (int i = 0; i < 256; ++i)
        identity = identity && m_gammaTable[i] == i;
    m_plain = identity && !m_hasKey;

    if (m_colorType == kPalette) {
        for (int i = 0; i < 256; ++i) {
            // An index past the palette shows black rather than failing the whole picture.
            const bool inPalette = i < m_paletteSize;
            for (int k = 0; k < 3; ++k)
                m_lookup[i][k] = inPalette ? m_gammaTable[m_palette[i][k]] : 0;
            m_lookup[i][3] = i < m_paletteAlphaCount ? m_paletteAlpha[i] : 255;
        }
    } else if (m_colorType == kGrey && m_depth <= 8) {
        const int maxSample = (1 << m_depth) - 1;
        for (int s = 0; s <= maxSample; ++s) {
            const std::uint8_t g = m_gammaTable[s * 255 / maxSample];
            m_lookup[s] = {
                g, g, g, static_cast<std::uint8_t>(m_hasKey && m_key[0] == unsigned(s) ? 0 : 255)};
        }
    }

    m_image.width = m_width;
    m_image.height = m_height;
    m_image.pixels.resize(std::size_t(m_width) * std::size_t(m_height) * 4);

    const std::size_t rowMax = passRowBytes(m_width) + 1;
    m_rowA.resize(rowMax);
    m_rowB.resize(rowMax);
    m_cur = m_rowA.data();
    m_prev = m_rowB.data();
    m_pass = 0;
    startPass();
}

// Moves to the first pass, from m_pass on, that holds pixels; an empty pass has no bytes.
void PngDecoder::startPass()
{
    for (; m_pass < m_passCount; ++m_pass) {
        const Pass& pass = m_passes[m_pass];
        m_passWidth = passExtent(m_width, pass.xStart, pass.xStep);
        m_passHeight = passExtent(m_height, pass.yStart, pass.yStep);
        if (m_passWidth > 0 && m_passHeight > 0)
            break;
    }
    if (m_pass == m_passCount) {
        m_imageDone = true;
        return;
    }
    m_passRow = 0;
    m_rowTotal = passRowBytes(m_passWidth) + 1;
    m_filled = 0;
    std::memset(m_prev, 0, m_rowTotal);
}

void PngDecoder::consume(const std::uint8_t* p, std::uint32_t length)
{
    z_stream* z = m_inflater.get();
    z->next_in = const_cast<Bytef*>(p); // zlib does not write through next_in
    z->avail_in = length;
    while (z->avail_in > 0 && !m_imageDone) {
        z->next_out = m_cur + m_filled;
        z->avail_out = static_cast<uInt>(m_rowTotal - m_filled);
        const int rc = inflate(z, Z_NO_FLUSH);
        m_filled = m_rowTotal - z->avail_out;
        if (m_filled == m_rowTotal)
            finishRow();
        if (rc == Z_STREAM_END) {
            if (!m_imageDone)
                fail("image data is incomplete");
            m_trailerDone = true;
            return;
        }
        if (rc != Z_OK && !(rc == Z_BUF_ERROR && z->avail_in == 0))
            fail("corrupt image data");
    }
    if (m_imageDone)
        checkTrailer();
}

// After the last row only the end of the zlib stream should follow; reaching it verifies the
// Adler-32 checksum. Surplus data is ignored, and never inflated beyond one small buffer.
void PngDecoder::checkTrailer()
{
    z_stream* z = m_inflater.get();
    while (!m_trailerDone && z->avail_in > 0) {
        std::uint8_t scratch[64];
        z->next_out = scratch;
        z->avail_out = sizeof scratch;
        const int rc = inflate(z, Z_NO_FLUSH);
        if (rc == Z_STREAM_END || (rc == Z_OK && z->avail_out < sizeof scratch))
            m_trailerDone = true;
        else if (rc != Z_OK && !(rc == Z_BUF_ERROR && z->avail_in == 0))
            fail("corrupt image data");
    }
}

void PngDecoder::finishRow()
{
    const int filter = m_cur[0];
    unfilter(filter, m_filterBpp, m_cur + 1, m_prev + 1, m_rowTotal - 1);

    const Pass& pass = m_passes[m_pass];
    const std::size_t y =
        std::size_t(pass.yStart) + std::size_t(m_passRow) * std::size_t(pass.yStep);
    std::uint8_t* dst =
        m_image.pixels.data() + (y * std::size_t(m_width) + std::size_t(pass.xStart)) * 4;
    emitRow(m_cur + 1, m_passWidth, dst, std::size_t(pass.xStep) * 4);

    std::swap(m_cur, m_prev);
    m_filled = 0;
    if (++m_passRow == m_passHeight) {
        ++m_pass;
        startPass();
    }
}

// Converts one unfiltered row of `count` pixels to RGBA, `step` bytes apart in `dst`.
void PngDecoder::emitRow(const std::uint8_t* src, int count, std::uint8_t* dst,
                         std::size_t step) const
{
    const std::uint8_t* const t = m_gammaTable.data();
    switch (m_colorType) {
    case kPalette:
    case kGrey:
        if (m_depth == 16) {
            for (int i = 0; i < count; ++i, src += 2, dst += step) {
                const std::uint8_t g = t[src[0]];
                dst[0] = dst[1] = dst[2] = g;
                dst[3] = m_hasKey && readU16(src) == m_key[0] ? 0 : 255;
            }
        } else if (m_depth == 8) {
            for (int i = 0; i < count; ++i, dst += step)
                std::memcpy(dst, m_lookup[src[i]].data(), 4);
        } else {
            const int depth = m_depth;
            const unsigned mask = (1u << depth) - 1;
            for (int i = 0; i < count; ++i, dst += step) {
                const std::size_t bit = std::size_t(i) * std::size_t(depth);
                const unsigned s = (src[bit >> 3] >> (8 - depth - int(bit & 7))) & mask;
                std::memcpy(dst, m_lookup[s].data(), 4);
            }
        }
        break;
    case kRgb:
        if (m_depth == 8) {
            if (m_plain) {
                for (int i = 0; i < count; ++i, src += 3, dst += step) {
                    dst[0] = src[0];
                    dst[1] = src[1];
                    dst[2] = src[2];
                    dst[3] = 255;
                }
            } else {
                for (int i = 0; i < count; ++i, src += 3, dst += step) {
                    const bool keyed =
                        m_hasKey && src[0] == m_key[0] && src[1] == m_key[1] && src[2] == m_key[2];
                    dst[0] = t[src[0]];
                    dst[1] = t[src[1]];
                    dst[2] = t[src[2]];
                    dst[3] = keyed ? 0 : 255;
                }
            }
        } else {
            for (int i = 0; i < count; ++i, src += 6, dst += step) {
                const bool keyed = m_hasKey && readU16(src) == m_key[0] &&
                                   readU16(src + 2) == m_key[1] && readU16(src + 4) == m_key[2];
                dst[0] = t[src[0]];
                dst[1] = t[src[2]];
                dst[2] = t[src[4]];
                dst[3] = keyed ? 0 : 255;
            }
        }
        break;
    case kGreyAlpha: {
        const int bytes = m_depth / 8; // the high byte of each sample comes first
        for (int i = 0; i < count; ++i, src += 2 * bytes, dst += step) {
            dst[0] = dst[1] = dst[2] = t[src[0]];
            dst[3] = src[bytes];
        }
        break;
    }
    case kRgba: {
        const int bytes = m_depth / 8;
        for (int i = 0; i < count; ++i, src += 4 * bytes, dst += step) {
            dst[0] = t[src[0]];
            dst[1] = t[src[bytes]];
            dst[2] = t[src[2 * bytes]];
            dst[3] = src[3 * bytes];
        }
        break;
    }
    default:
        break;
    }
}

} // namespace

RgbaImage DecodePng(std::span<const std::uint8_t> data, const DecodeLimits& limits)
{
    PngDecoder decoder(data, limits);
    return decoder.run();
}
