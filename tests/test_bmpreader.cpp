#include "codecs/bmpreader.h"
#include "testdata.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <limits>
#include <string>
#include <utility>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;
using Rgb = std::array<std::uint8_t, 3>;

void put16(Bytes& b, std::uint32_t v)
{
    b.push_back(std::uint8_t(v));
    b.push_back(std::uint8_t(v >> 8));
}

void put32(Bytes& b, std::uint32_t v)
{
    put16(b, v & 0xFFFF);
    put16(b, v >> 16);
}

// What a test file holds; makeBmp lays it out as a BMP file.
struct BmpSpec {
    std::int32_t width = 0;
    std::int32_t height = 0; // negative: top-down
    int bitsPerPixel = 24;
    std::uint32_t compression = 0;
    std::uint32_t infoSize = 40;      // 12 = OS/2 core header; 108/124 carry the masks inside
    std::vector<std::uint32_t> masks; // bit fields: inside V4/V5 headers, else after the header
    std::vector<Rgb> palette;
    std::uint32_t colorsUsed = 0;
    Bytes pixels;
};

Bytes makeBmp(const BmpSpec& s)
{
    Bytes info;
    put32(info, s.infoSize);
    if (s.infoSize == 12) {
        put16(info, std::uint32_t(s.width));
        put16(info, std::uint32_t(s.height));
        put16(info, 1);
        put16(info, std::uint32_t(s.bitsPerPixel));
    } else {
        put32(info, std::uint32_t(s.width));
        put32(info, std::uint32_t(s.height));
        put16(info, 1);
        put16(info, std::uint32_t(s.bitsPerPixel));
        put32(info, s.compression);
        put32(info, std::uint32_t(s.pixels.size()));
        put32(info, 2835);
        put32(info, 2835);
        put32(info, s.colorsUsed);
        put32(info, 0);
        if (s.infoSize >= 52)
            for (std::size_t i = 0; i < 4; ++i)
                put32(info, i < s.masks.size() ? s.masks[i] : 0);
        info.resize(s.infoSize, 0);
        if (s.infoSize < 52)
            for (const std::uint32_t m : s.masks)
                put32(info, m);
    }
    for (const Rgb& c : s.palette) {
        info.push_back(c[2]);
        info.push_back(c[1]);
        info.push_back(c[0]);
        if (s.infoSize != 12)
            info.push_back(0);
    }
    Bytes file = {'B', 'M'};
    const std::uint32_t offset = 14 + std::uint32_t(info.size());
    put32(file, offset + std::uint32_t(s.pixels.size()));
    put32(file, 0);
    put32(file, offset);
    file.insert(file.end(), info.begin(), info.end());
    file.insert(file.end(), s.pixels.begin(), s.pixels.end());
    return file;
}

std::vector<Rgb> testPalette(int count)
{
    std::vector<Rgb> p;
    for (int i = 0; i < count; ++i)
        p.push_back(
            Rgb{std::uint8_t(i * 37 + 5), std::uint8_t(255 - i * 11), std::uint8_t(i * 90)});
    return p;
}

int testIndex(int x, int y, int colors)
{
    return (x * 3 + y * 5 + x * y) % colors;
}

// Packs palette indices into rows, bottom-up unless `topDown`, each padded to 4 bytes.
Bytes packIndices(int width, int height, int bits, bool topDown = false)
{
    Bytes out;
    const int colors = 1 << bits;
    for (int i = 0; i < height; ++i) {
        const int y = topDown ? i : height - 1 - i;
        Bytes row((std::size_t(width) * bits + 7) / 8, 0);
        for (int x = 0; x < width; ++x) {
            const int bitPos = x * bits;
            row[std::size_t(bitPos / 8)] |=
                std::uint8_t(testIndex(x, y, colors) << (8 - bits - bitPos % 8));
        }
        row.resize((row.size() + 3) / 4 * 4, 0);
        out.insert(out.end(), row.begin(), row.end());
    }
    return out;
}

void expectPixel(const RgbaImage& image, int x, int y, Rgb c)
{
    const std::uint8_t* p = image.pixels.data() + (std::size_t(y) * image.width + x) * 4;
    EXPECT_EQ((Rgb{p[0], p[1], p[2]}), c) << "at " << x << "," << y;
    EXPECT_EQ(p[3], 255) << "at " << x << "," << y;
}

void expectInvalid(const Bytes& file, const DecodeLimits& limits = {})
{
    try {
        DecodeBmp(file, limits);
        ADD_FAILURE() << "accepted";
    } catch (const CodecError& e) {
        EXPECT_TRUE(std::string(e.what()).starts_with("Bitmap image is not valid: ")) << e.what();
    }
}

// 24-bit rows whose colours encode their position.
Rgb rgbAt(int x, int y)
{
    return Rgb{std::uint8_t(x * 40), std::uint8_t(y * 60), std::uint8_t(200 - x - y)};
}

Bytes pack24(int width, int height, bool topDown)
{
    Bytes out;
    for (int i = 0; i < height; ++i) {
        const int y = topDown ? i : height - 1 - i;
        for (int x = 0; x < width; ++x) {
            const Rgb c = rgbAt(x, y);
            out.insert(out.end(), {c[2], c[1], c[0]});
        }
        while (out.size() % 4)
            out.push_back(0xEE);
    }
    return out;
}

} // namespace

TEST(BmpReader, PaletteDepthsDecodeEveryPixel)
{
    for (const int bits : {1, 4, 8}) {
        for (const bool core : {false, true}) {
            SCOPED_TRACE("bits " + std::to_string(bits) + (core ? " OS/2" : ""));
            BmpSpec s;
            s.width = 13; // odd widths leave partial bytes and row padding
            s.height = 6;
            s.bitsPerPixel = bits;
            s.infoSize = core ? 12 : 40;
            s.palette = testPalette(1 << bits);
            s.pixels = packIndices(s.width, s.height, bits);
            const RgbaImage image = DecodeBmp(makeBmp(s));
            ASSERT_EQ(image.width, 13);
            ASSERT_EQ(image.height, 6);
            ASSERT_EQ(image.pixels.size(), 13u * 6 * 4);
            for (int y = 0; y < 6; ++y)
                for (int x = 0; x < 13; ++x)
                    expectPixel(image, x, y, s.palette[std::size_t(testIndex(x, y, 1 << bits))]);
        }
    }
}

TEST(BmpReader, ShortPalettesAndColorsUsed)
{
    // Three colours used: indices past them read black.
    BmpSpec s;
    s.width = 4;
    s.height = 1;
    s.bitsPerPixel = 8;
    s.colorsUsed = 3;
    s.palette = testPalette(3);
    s.pixels = {0, 2, 3, 255};
    RgbaImage image = DecodeBmp(makeBmp(s));
    expectPixel(image, 0, 0, s.palette[0]);
    expectPixel(image, 1, 0, s.palette[2]);
    expectPixel(image, 2, 0, Rgb{0, 0, 0});
    expectPixel(image, 3, 0, Rgb{0, 0, 0});

    // An absurd count is clamped to the bit depth and to the bytes before the pixels.
    s.colorsUsed = 0xFFFFFFFF;
    image = DecodeBmp(makeBmp(s));
    expectPixel(image, 1, 0, s.palette[2]);
    expectPixel(image, 3, 0, Rgb{0, 0, 0});
}

TEST(BmpReader, TrueColourRowsBottomUpAndTopDown)
{
    for (const bool topDown : {false, true}) {
        BmpSpec s;
        s.width = 5; // 15 bytes a row, one byte of padding
        s.height = topDown ? -3 : 3;
        s.pixels = pack24(5, 3, topDown);
        const RgbaImage image = DecodeBmp(makeBmp(s));
        ASSERT_EQ(image.height, 3);
        for (int y = 0; y < 3; ++y)
            for (int x = 0; x < 5; ++x)
                expectPixel(image, x, y, rgbAt(x, y));
    }
}

TEST(BmpReader, SixteenBitDefaultsTo555AndScalesBitFields)
{
    // 555: 31 -> 255, 16 -> 132, 1 -> 8 (rounded); the top bit is unused.
    BmpSpec s;
    s.width = 3;
    s.height = 1;
    s.bitsPerPixel = 16;
    for (const std::uint32_t v : {0xFFFFu, (16u << 10) | (1u << 5) | 31u, 0u})
        put16(s.pixels, v);
    put16(s.pixels, 0);
    RgbaImage image = DecodeBmp(makeBmp(s));
    expectPixel(image, 0, 0, Rgb{255, 255, 255});
    expectPixel(image, 1, 0, Rgb{132, 8, 255});
    expectPixel(image, 2, 0, Rgb{0, 0, 0});

    // 565 from masks after a 40-byte header: green has 6 bits, 32 -> 130.
    s.compression = 3;
    s.masks = {0xF800, 0x07E0, 0x001F};
    s.pixels.clear();
    for (const std::uint32_t v : {0xFFFFu, (1u << 11) | (32u << 5) | 16u, 0x07E0u})
        put16(s.pixels, v);
    put16(s.pixels, 0);
    image = DecodeBmp(makeBmp(s));
    expectPixel(image, 0, 0, Rgb{255, 255, 255});
    expectPixel(image, 1, 0, Rgb{8, 130, 132});
    expectPixel(image, 2, 0, Rgb{0, 255, 0});
}

TEST(BmpReader, ThirtyTwoBitIgnoresAlphaAndHonoursMasks)
{
    BmpSpec s;
    s.width = 2;
    s.height = 1;
    s.bitsPerPixel = 32;
    s.pixels = {10, 20, 30, 0, 40, 50, 60, 128}; // B, G, R, unused alpha
    RgbaImage image = DecodeBmp(makeBmp(s));
    expectPixel(image, 0, 0, Rgb{30, 20, 10});
    expectPixel(image, 1, 0, Rgb{60, 50, 40});

    // V4 and V5 headers with 10-bit fields (x2R10G10B10) and an alpha mask.
    for (const std::uint32_t infoSize : {108u, 124u, 40u}) {
        s.infoSize = infoSize;
        s.compression = 3;
        s.masks = {0x3FF00000, 0x000FFC00, 0x000003FF, 0xC0000000};
        if (infoSize == 40)
            s.masks.pop_back();
        s.pixels.clear();
        put32(s.pixels, 0xC0000000u | (1023u << 20) | (512u << 10) | 1u);
        put32(s.pixels, (0u << 20) | (1023u << 10) | 1022u);
        image = DecodeBmp(makeBmp(s));
        expectPixel(image, 0, 0, Rgb{255, 128, 0});
        expectPixel(image, 1, 0, Rgb{0, 255, 255});
    }

    // Holes in a mask make no sense as a channel.
    s.infoSize = 40;
    s.masks = {0x00FF00FF, 0x0000FF00, 0x000000FF};
    expectInvalid(makeBmp(s));
}

TEST(BmpReader, Rle8RunsDeltasAbsoluteRunsAndLineEnds)
{
    BmpSpec s;
    s.width = 6;
    s.height = 4;
    s.bitsPerPixel = 8;
    s.compression = 1;
    s.palette = testPalette(8);
    s.pixels = {
        3, 1,             // bottom row: 1 1 1
        0, 2, 1, 1,       // delta to x 4, row 1
        0, 3, 4, 5, 6, 0, // absolute 4 5 6 (padded), x 4..5 shown, 6 clipped
        0, 0,             // end of line: row 2
        9, 2,             // run clipped at the right edge
        0, 0,             // row 3 (top)
        0, 1,             // end of bitmap: the top row stays unwritten
    };
    const RgbaImage image = DecodeBmp(makeBmp(s));
    const auto& p = s.palette;
    // Unwritten pixels show palette entry 0.
    const std::array<std::array<int, 6>, 4> expected = {{
        {0, 0, 0, 0, 0, 0}, // top row
        {2, 2, 2, 2, 2, 2},
        {0, 0, 0, 0, 4, 5},
        {1, 1, 1, 0, 0, 0}, // bottom row
    }};
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 6; ++x)
            expectPixel(image, x, y, p[std::size_t(expected[std::size_t(y)][std::size_t(x)])]);
}

TEST(BmpReader, Rle4RunsAlternateNibbles)
{
    BmpSpec s;
    s.width = 7;
    s.height = 2;
    s.bitsPerPixel = 4;
    s.compression = 2;
    s.palette = testPalette(16);
    s.pixels = {
        5, 0x12,                      // 1 2 1 2 1
        0, 0,                         // next row
        0, 2,    1,    0,             // delta right by 1
        0, 5,    0x34, 0x56, 0x70, 0, // absolute 3 4 5 6 7 (3 bytes, padded to 4)
        0, 1,
    };
    const RgbaImage image = DecodeBmp(makeBmp(s));
    const std::array<std::array<int, 7>, 2> expected = {{
        {0, 3, 4, 5, 6, 7, 0},
        {1, 2, 1, 2, 1, 0, 0},
    }};
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 7; ++x)
            expectPixel(image, x, y,
                        s.palette[std::size_t(expected[std::size_t(y)][std::size_t(x)])]);
}

TEST(BmpReader, RejectsMalformedRle)
{
    BmpSpec s;
    s.width = 4;
    s.height = 2;
    s.bitsPerPixel = 8;
    s.compression = 1;
    s.palette = testPalette(4);
    s.pixels = {4, 1, 0, 0, 4, 2, 0, 1};
    EXPECT_NO_THROW(DecodeBmp(makeBmp(s)));

    BmpSpec topDown = s;
    topDown.height = -2; // run-length data is bottom-up only
    expectInvalid(makeBmp(topDown));

    BmpSpec unfinished = s;
    unfinished.pixels = {4, 1, 0, 0}; // a row left and no end of bitmap
    expectInvalid(makeBmp(unfinished));

    BmpSpec shortAbsolute = s;
    shortAbsolute.pixels = {0, 6, 1, 2};
    expectInvalid(makeBmp(shortAbsolute));

    BmpSpec wrongDepth = s;
    wrongDepth.bitsPerPixel = 24; // RLE8 needs 8 bits
    expectInvalid(makeBmp(wrongDepth));
}

TEST(BmpReader, EveryTruncationFailsCleanly)
{
    BmpSpec pal;
    pal.width = 9;
    pal.height = 3;
    pal.bitsPerPixel = 4;
    pal.palette = testPalette(16);
    pal.pixels = packIndices(9, 3, 4);
    BmpSpec rle = pal;
    rle.compression = 2;
    rle.pixels = {9, 0x12, 0, 0, 0, 2, 2, 1, 0, 3, 0x45, 0x60, 0, 1};
    BmpSpec rgb;
    rgb.width = 3;
    rgb.height = 2;
    rgb.pixels = pack24(3, 2, false);
    for (const BmpSpec& s : {pal, rle, rgb}) {
        const Bytes whole = makeBmp(s);
        const RgbaImage reference = DecodeBmp(whole);
        const std::size_t padding = s.compression == 0 ? 3 : 0; // of the last row, which may be cut
        for (std::size_t length = 0; length < whole.size(); ++length) {
            const Bytes cut(whole.begin(), whole.begin() + std::ptrdiff_t(length));
            if (length < whole.size() - padding) {
                expectInvalid(cut);
            } else {
                const RgbaImage image = DecodeBmp(cut);
                EXPECT_EQ(image.pixels, reference.pixels);
            }
        }
    }
}

TEST(BmpReader, RefusesAbsurdDimensionsBeforeAllocating)
{
    BmpSpec s;
    s.width = 0x7FFFFFFF;
    s.height = 0x7FFFFFFF;
    s.pixels = Bytes(64, 0);
    expectInvalid(makeBmp(s));
    s.height = std::numeric_limits<std::int32_t>::min();
    expectInvalid(makeBmp(s));

    // Within generous limits, the missing pixel data is found before any allocation.
    DecodeLimits generous;
    generous.maxSide = std::numeric_limits<int>::max();
    generous.maxPixels = std::numeric_limits<std::uint64_t>::max();
    s.width = 2000000000;
    s.height = 2000000000;
    expectInvalid(makeBmp(s), generous);
    s.compression = 1; // run-length data could legally be that short
    s.bitsPerPixel = 8;
    s.pixels = {0, 1};
    expectInvalid(makeBmp(s));

    DecodeLimits tight;
    tight.maxSide = 100;
    tight.maxPixels = 1000;
    BmpSpec rgb;
    rgb.width = 101;
    rgb.height = 1;
    rgb.pixels = pack24(101, 1, false);
    expectInvalid(makeBmp(rgb), tight);
    rgb.width = 40;
    rgb.height = 26; // 1040 pixels
    rgb.pixels = pack24(40, 26, false);
    expectInvalid(makeBmp(rgb), tight);
    rgb.height = 25;
    rgb.pixels = pack24(40, 25, false);
    EXPECT_EQ(DecodeBmp(makeBmp(rgb), tight).height, 25);

    s = rgb;
    s.width = 0;
    expectInvalid(makeBmp(s));
    s.width = -5;
    expectInvalid(makeBmp(s));
    s.width = 40;
    s.height = 0;
    expectInvalid(makeBmp(s));
}

TEST(BmpReader, RejectsBogusHeaderFields)
{
    BmpSpec s;
    s.width = 2;
    s.height = 2;
    s.bitsPerPixel = 8;
    s.palette = testPalette(4);
    s.colorsUsed = 4;
    s.pixels = Bytes(8, 1);
    const Bytes good = makeBmp(s);
    ASSERT_NO_THROW(DecodeBmp(good));

    auto patched = [&](std::size_t at, std::uint32_t value) {
        Bytes b = good;
        for (int i = 0; i < 4; ++i)
            b[at + std::size_t(i)] = std::uint8_t(value >> (8 * i));
        return b;
    };
    // Each check says what it found.
    using Patch = std::pair<std::size_t, std::uint32_t>;
    const struct {
        std::vector<Patch> patches;
        const char* reason;
    } bogus[] = {
        {{{10, std::uint32_t(good.size()) + 1}}, "the pixel data starts past the end of the file"},
        {{{10, 0xFFFFFFF0}}, "the pixel data starts past the end of the file"},
        {{{10, 20}}, "the pixel data starts inside the header"},
        {{{14, 0xFFFFFFFF}}, "the file ends inside the header"},
        {{{14, 24}}, "header size 24 is not supported"},
        {{{18, 0}}, "width is 0"},
        {{{18, 0xFFFFFFFB}}, "width -5 is negative"},
        {{{18, 30001}}, "width 30001 is too large (the limit is 30000)"},
        {{{22, 0}}, "height is 0"},
        {{{22, 0x80000000}}, "height 2147483648 is too large (the limit is 30000)"},
        {{{18, 20000}, {22, 20000}}, "20000 x 20000 is too many pixels (the limit is 178956970)"},
        {{{28, (1u << 16) | 2}}, "bits per pixel 2 is not supported"},
        {{{28, (1u << 16) | 64}}, "bits per pixel 64 is not supported"},
        {{{30, 4}}, "an embedded JPEG or PNG picture is not supported"},
        {{{30, 3}}, "bit fields need 16 or 32 bits per pixel, not 8"},
        {{{30, 2}}, "RLE4 needs 4 bits per pixel, not 8"},
        {{{30, 0xFFFFFFFF}}, "compression 4294967295 is not supported"},
    };
    for (const auto& [patches, reason] : bogus) {
        Bytes b = good;
        for (const auto& [at, value] : patches)
            for (int i = 0; i < 4; ++i)
                b[at + std::size_t(i)] = std::uint8_t(value >> (8 * i));
        try {
            DecodeBmp(b);
            ADD_FAILURE() << "accepted: " << reason;
        } catch (const CodecError& e) {
            EXPECT_EQ(std::string(e.what()), std::string("Bitmap image is not valid: ") + reason);
        }
    }
    Bytes magic = good;
    magic[1] = 'A';
    expectInvalid(magic);
    expectInvalid(Bytes{});

    // The pixel offset may leave a gap after the palette, which clamps the palette.
    Bytes gap = patched(10, 70 + 8);
    gap.resize(gap.size() + 8, 1);
    expectPixel(DecodeBmp(gap), 0, 0, s.palette[1]);
    BmpSpec shortPalette = s; // four colours announced, room for one: index 1 reads black
    shortPalette.palette.resize(1);
    shortPalette.pixels = {0, 1, 0, 0, 1, 0, 0, 0};
    const RgbaImage clamped = DecodeBmp(makeBmp(shortPalette));
    expectPixel(clamped, 0, 1, s.palette[0]);
    expectPixel(clamped, 1, 1, Rgb{0, 0, 0});
}

TEST(BmpReader, CrashersFailCleanlyAndSeedsDecode)
{
    namespace fs = std::filesystem;
    // Limits as a reader of menu pictures would set them: a refusal must not depend on
    // the allocation failing.
    DecodeLimits limits;
    limits.maxSide = 16384;
    limits.maxPixels = 64'000'000;
    int crashers = 0;
    for (const fs::path& path : TestDataFiles("crashers/bmp")) {
        SCOPED_TRACE(path.string());
        const Bytes file = ReadTestFile(path);
        if (CrasherMayDecode(path)) {
            RgbaImage image;
            ASSERT_NO_THROW(image = DecodeBmp(file, limits));
            EXPECT_EQ(image.pixels.size(),
                      std::size_t(image.width) * std::size_t(image.height) * 4);
        } else {
            EXPECT_THROW(DecodeBmp(file, limits), CodecError);
            EXPECT_THROW(DecodeBmp(file), CodecError);
        }
        ++crashers;
    }
    EXPECT_GE(crashers, 5);
    int count = 0;
    for (const fs::path& path : FilesIn(fs::path(TAVREL_SOURCE_DIR) / "fuzz" / "seeds" / "bmp")) {
        SCOPED_TRACE(path.string());
        EXPECT_NO_THROW(DecodeBmp(ReadTestFile(path)));
        ++count;
    }
    EXPECT_GT(count, 0);
}
