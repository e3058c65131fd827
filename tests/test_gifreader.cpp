#include "codecs/gifreader.h"
#include "testdata.h"

#include <gif_lib.h>
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;
using Rgb = std::array<std::uint8_t, 3>;

void put16(Bytes& b, int v)
{
    b.push_back(std::uint8_t(v));
    b.push_back(std::uint8_t(v >> 8));
}

struct LzwOptions {
    bool clearWhenFull = true; // false: keep the full dictionary (a deferred clear)
    int clearEvery = 0;        // also clear after this many codes
};

// A plain GIF LZW coder for building test files; its output is checked against giflib.
Bytes lzwData(const Bytes& indices, int minCodeSize, LzwOptions options = {})
{
    const int clear = 1 << minCodeSize;
    const int end = clear + 1;
    int bits = minCodeSize + 1;
    int next = end + 1;
    std::map<std::pair<int, int>, int> table; // (prefix code, byte) -> code
    Bytes out;
    std::uint32_t acc = 0;
    int count = 0;
    auto emit = [&](int code) {
        acc |= std::uint32_t(code) << count;
        count += bits;
        for (; count >= 8; count -= 8, acc >>= 8)
            out.push_back(std::uint8_t(acc));
    };
    auto reset = [&] {
        emit(clear);
        table.clear();
        bits = minCodeSize + 1;
        next = end + 1;
    };
    reset();
    int prefix = -1;
    int codes = 0;
    for (const std::uint8_t c : indices) {
        if (prefix < 0) {
            prefix = c;
            continue;
        }
        const auto found = table.find({prefix, c});
        if (found != table.end()) {
            prefix = found->second;
            continue;
        }
        emit(prefix);
        ++codes;
        if (next < 4096) {
            table[{prefix, c}] = next++;
            if (next > (1 << bits) && bits < 12)
                ++bits;
        } else if (options.clearWhenFull) {
            reset();
        }
        if (options.clearEvery && codes % options.clearEvery == 0)
            reset();
        prefix = c;
    }
    if (prefix >= 0)
        emit(prefix);
    emit(end);
    if (count > 0)
        out.push_back(std::uint8_t(acc));

    Bytes blocks = {std::uint8_t(minCodeSize)};
    for (std::size_t i = 0; i < out.size(); i += 255) {
        const std::size_t n = std::min<std::size_t>(255, out.size() - i);
        blocks.push_back(std::uint8_t(n));
        blocks.insert(blocks.end(), out.begin() + std::ptrdiff_t(i),
                      out.begin() + std::ptrdiff_t(i + n));
    }
    blocks.push_back(0);
    return blocks;
}

std::vector<Rgb> testColors(int count)
{
    std::vector<Rgb> c;
    for (int i = 0; i < count; ++i)
        c.push_back(Rgb{std::uint8_t(i * 7 + 1), std::uint8_t(255 - i), std::uint8_t(i * 31)});
    return c;
}

void putTable(Bytes& b, const std::vector<Rgb>& colors)
{
    for (const Rgb& c : colors)
        b.insert(b.end(), c.begin(), c.end());
}

int tableBits(std::size_t count)
{
    int bits = 0;
    while ((2u << bits) < count)
        ++bits;
    return bits;
}

Bytes header(int width, int height, const std::vector<Rgb>& global, const char* version = "GIF89a")
{
    Bytes b(version, version + 6);
    put16(b, width);
    put16(b, height);
    b.push_back(global.empty() ? 0 : std::uint8_t(0x80 | tableBits(global.size())));
    b.push_back(0);
    b.push_back(0);
    putTable(b, global);
    return b;
}

struct Frame {
    int left = 0, top = 0, width = 0, height = 0;
    bool interlaced = false;
    std::vector<Rgb> local;
    Bytes indices; // rows top-down
    int minCodeSize = 8;
    LzwOptions lzw;
};

std::vector<int> interlacedRows(int height)
{
    std::vector<int> rows;
    for (const auto& [start, step] : {std::pair{0, 8}, {4, 8}, {2, 4}, {1, 2}})
        for (int y = start; y < height; y += step)
            rows.push_back(y);
    return rows;
}

void putFrame(Bytes& b, const Frame& f)
{
    b.push_back(0x2C);
    put16(b, f.left);
    put16(b, f.top);
    put16(b, f.width);
    put16(b, f.height);
    b.push_back(std::uint8_t((f.interlaced ? 0x40 : 0) |
                             (f.local.empty() ? 0 : 0x80 | tableBits(f.local.size()))));
    putTable(b, f.local);
    Bytes stream = f.indices;
    if (f.interlaced) {
        stream.clear();
        for (const int y : interlacedRows(f.height))
            stream.insert(stream.end(), f.indices.begin() + std::ptrdiff_t(y) * f.width,
                          f.indices.begin() + std::ptrdiff_t(y + 1) * f.width);
    }
    const Bytes data = lzwData(stream, f.minCodeSize, f.lzw);
    b.insert(b.end(), data.begin(), data.end());
}

// A Graphic Control Extension; `flagged` false keeps the transparent index but clears the
// flag that makes it count.
void putGce(Bytes& b, int transparent, bool flagged = true)
{
    const Bytes gce = {0x21,
                       0xF9,
                       4,
                       std::uint8_t(transparent >= 0 && flagged ? 1 : 0),
                       10,
                       0,
                       std::uint8_t(transparent >= 0 ? transparent : 0),
                       0};
    b.insert(b.end(), gce.begin(), gce.end());
}

Bytes pattern(int width, int height, int colors)
{
    Bytes p;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            p.push_back(std::uint8_t((x * 3 + y * 7 + x * y) % colors));
    return p;
}

Bytes noise(std::size_t n, std::uint32_t seed)
{
    Bytes p(n);
    for (auto& v : p) {
        seed = seed * 1664525u + 1013904223u;
        v = std::uint8_t(seed >> 24);
    }
    return p;
}

// The picture giflib makes of the same file: first frame on the screen, transparency
// from its Graphic Control Extension, indices past the table black.
RgbaImage judge(const Bytes& file)
{
    struct Source {
        const Bytes* data;
        std::size_t pos;
    } source{&file, 0};
    auto read = [](GifFileType* gif, GifByteType* buf, int n) {
        auto* s = static_cast<Source*>(gif->UserData);
        const int count = int(std::min<std::size_t>(std::size_t(n), s->data->size() - s->pos));
        std::memcpy(buf, s->data->data() + s->pos, std::size_t(count));
        s->pos += std::size_t(count);
        return count;
    };
    int error = 0;
    GifFileType* gif = DGifOpen(&source, read, &error);
    EXPECT_NE(gif, nullptr);
    RgbaImage image;
    if (!gif)
        return image;
    EXPECT_EQ(DGifSlurp(gif), GIF_OK);
    if (gif->ImageCount > 0) {
        image.width = gif->SWidth;
        image.height = gif->SHeight;
        image.pixels.assign(std::size_t(image.width) * std::size_t(image.height) * 4, 0);
        const SavedImage& frame = gif->SavedImages[0];
        const ColorMapObject* map =
            frame.ImageDesc.ColorMap ? frame.ImageDesc.ColorMap : gif->SColorMap;
        GraphicsControlBlock gcb{};
        gcb.TransparentColor = NO_TRANSPARENT_COLOR;
        DGifSavedExtensionToGCB(gif, 0, &gcb);
        for (int y = 0; y < frame.ImageDesc.Height; ++y)
            for (int x = 0; x < frame.ImageDesc.Width; ++x) {
                const int sx = frame.ImageDesc.Left + x;
                const int sy = frame.ImageDesc.Top + y;
                const int index = frame.RasterBits[y * frame.ImageDesc.Width + x];
                if (sx >= image.width || sy >= image.height || index == gcb.TransparentColor)
                    continue;
                std::uint8_t* p = image.pixels.data() + (std::size_t(sy) * image.width + sx) * 4;
                if (map && index < map->ColorCount) {
                    p[0] = map->Colors[index].Red;
                    p[1] = map->Colors[index].Green;
                    p[2] = map->Colors[index].Blue;
                }
                p[3] = 255;
            }
    }
    DGifCloseFile(gif, &error);
    return image;
}

const std::uint8_t* pixelAt(const RgbaImage& image, int x, int y)
{
    return image.pixels.data() + (std::size_t(y) * image.width + x) * 4;
}

void expectOpaque(const RgbaImage& image, int x, int y, Rgb c)
{
    const std::uint8_t* p = pixelAt(image, x, y);
    EXPECT_EQ((Rgb{p[0], p[1], p[2]}), c) << "at " << x << "," << y;
    EXPECT_EQ(p[3], 255) << "at " << x << "," << y;
}

void expectInvalid(const Bytes& file, const DecodeLimits& limits = {})
{
    EXPECT_THROW(DecodeGif(file, limits), CodecError);
}

Bytes simpleGif(int width, int height, const std::vector<Rgb>& colors,
                const char* version = "GIF89a")
{
    Bytes b = header(width, height, colors, version);
    Frame f;
    f.width = width;
    f.height = height;
    f.indices = pattern(width, height, int(colors.size()));
    putFrame(b, f);
    b.push_back(0x3B);
    return b;
}

} // namespace

TEST(GifReader, DecodesEveryPixelOfBothVersions)
{
    const auto colors = testColors(256);
    for (const char* version : {"GIF87a", "GIF89a"}) {
        const Bytes file = simpleGif(23, 17, colors, version);
        const RgbaImage image = DecodeGif(file);
        ASSERT_EQ(image.width, 23);
        ASSERT_EQ(image.height, 17);
        const Bytes indices = pattern(23, 17, 256);
        for (int y = 0; y < 17; ++y)
            for (int x = 0; x < 23; ++x)
                expectOpaque(image, x, y, colors[indices[std::size_t(y * 23 + x)]]);
        EXPECT_EQ(image.pixels, judge(file).pixels);
    }
}

TEST(GifReader, InterlacedFramesOfEveryHeightMatchTheirRows)
{
    const auto colors = testColors(16);
    for (int height = 1; height <= 17; ++height) {
        SCOPED_TRACE(height);
        Bytes file = header(5, height, colors);
        Frame f;
        f.width = 5;
        f.height = height;
        f.interlaced = true;
        f.minCodeSize = 4;
        f.indices = pattern(5, height, 16);
        putFrame(file, f);
        file.push_back(0x3B);
        const RgbaImage image = DecodeGif(file);
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < 5; ++x)
                expectOpaque(image, x, y, colors[f.indices[std::size_t(y * 5 + x)]]);
        EXPECT_EQ(image.pixels, judge(file).pixels);
    }
}

TEST(GifReader, FirstFrameAtItsOffsetWithTransparencyOthersIgnored)
{
    const auto colors = testColors(8);
    Bytes file = header(9, 7, colors);
    const Bytes comment = {0x21, 0xFE, 3, 'a', 'b', 'c', 2, 'd', 'e', 0};
    const Bytes application = {0x21, 0xFF, 11,  'N', 'E', 'T', 'S', 'C', 'A', 'P',
                               'E',  '2',  '.', '0', 3,   1,   0,   0,   0};
    const Bytes plainText = {0x21, 0x01, 12, 0, 0, 0, 0, 8, 0, 8, 0, 8, 8, 1, 0, 2, 'h', 'i', 0};
    const Bytes unknown = {0x21, 0x99, 1, 0x21, 0};
    for (const Bytes* ext : {&comment, &application, &plainText, &unknown})
        file.insert(file.end(), ext->begin(), ext->end());
    putGce(file, 5);
    Frame first;
    first.left = 3;
    first.top = 2;
    first.width = 4;
    first.height = 3;
    first.minCodeSize = 3;
    first.indices = pattern(4, 3, 8);
    putFrame(file, first);
    putGce(file, -1);
    Frame second;
    second.width = 9;
    second.height = 7;
    second.indices = Bytes(63, 1);
    putFrame(file, second);
    file.push_back(0x3B);

    const RgbaImage image = DecodeGif(file);
    ASSERT_EQ(image.width, 9);
    ASSERT_EQ(image.height, 7);
    int transparentInside = 0;
    for (int y = 0; y < 7; ++y)
        for (int x = 0; x < 9; ++x) {
            const bool inside = x >= 3 && x < 7 && y >= 2 && y < 5;
            const int index = inside ? first.indices[std::size_t((y - 2) * 4 + x - 3)] : -1;
            if (index >= 0 && index != 5) {
                expectOpaque(image, x, y, colors[std::size_t(index)]);
            } else {
                EXPECT_EQ(pixelAt(image, x, y)[3], 0) << x << "," << y;
                transparentInside += inside;
            }
        }
    EXPECT_GT(transparentInside, 0);
    EXPECT_EQ(image.pixels, judge(file).pixels);
}

TEST(GifReader, TransparentIndexWithoutItsFlagStaysOpaque)
{
    const auto colors = testColors(8);
    Bytes file = header(4, 3, colors);
    putGce(file, 5, false);
    Frame frame;
    frame.width = 4;
    frame.height = 3;
    frame.minCodeSize = 3;
    frame.indices = pattern(4, 3, 8);
    putFrame(file, frame);
    file.push_back(0x3B);

    const RgbaImage image = DecodeGif(file);
    int fives = 0;
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 4; ++x) {
            const int index = frame.indices[std::size_t(y * 4 + x)];
            expectOpaque(image, x, y, colors[std::size_t(index)]);
            fives += index == 5;
        }
    EXPECT_GT(fives, 0);
    EXPECT_EQ(image.pixels, judge(file).pixels);
}

TEST(GifReader, ColourTablesLocalOverGlobalMissingMeansBlack)
{
    const auto global = testColors(4);
    auto local = testColors(8);
    for (auto& c : local)
        c[0] = std::uint8_t(c[0] ^ 0x80);
    Bytes file = header(4, 2, global);
    Frame f;
    f.width = 4;
    f.height = 2;
    f.local = local;
    f.minCodeSize = 3;
    f.indices = {0, 1, 2, 3, 4, 5, 6, 7};
    putFrame(file, f);
    file.push_back(0x3B);
    RgbaImage image = DecodeGif(file);
    for (int i = 0; i < 8; ++i)
        expectOpaque(image, i % 4, i / 4, local[std::size_t(i)]);

    // Without a local table, indices past the global table's four entries are black.
    file = header(4, 2, global);
    f.local.clear();
    putFrame(file, f);
    file.push_back(0x3B);
    image = DecodeGif(file);
    for (int i = 0; i < 8; ++i)
        expectOpaque(image, i % 4, i / 4, i < 4 ? global[std::size_t(i)] : Rgb{0, 0, 0});
    EXPECT_EQ(image.pixels, judge(file).pixels);

    // No table at all.
    file = header(4, 2, {});
    putFrame(file, f);
    image = DecodeGif(file);
    expectOpaque(image, 3, 1, Rgb{0, 0, 0});
}

TEST(GifReader, LzwCornersMatchGiflib)
{
    const auto colors = testColors(256);
    struct Case {
        const char* name;
        int width, height, colors, minCodeSize;
        LzwOptions lzw;
        bool noisy;
    };
    const Case cases[] = {
        {"long runs, widths 3 to 12", 200, 150, 4, 2, {}, false},
        {"full dictionary, cleared", 256, 200, 256, 8, {}, true},
        {"full dictionary, deferred clear", 256, 200, 256, 8, {false, 0}, true},
        {"frequent clears", 64, 64, 16, 4, {true, 37}, true},
        {"two colours", 50, 40, 2, 2, {}, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Bytes file = header(c.width, c.height, testColors(c.colors));
        Frame f;
        f.width = c.width;
        f.height = c.height;
        f.minCodeSize = c.minCodeSize;
        f.lzw = c.lzw;
        f.indices = c.noisy ? noise(std::size_t(c.width * c.height), 7)
                            : pattern(c.width, c.height, c.colors);
        if (c.noisy)
            for (auto& v : f.indices)
                v = std::uint8_t(v % c.colors);
        else
            for (std::size_t i = 0; i < f.indices.size(); ++i)
                f.indices[i] = std::uint8_t((i / 97) % std::size_t(c.colors));
        putFrame(file, f);
        file.push_back(0x3B);
        const RgbaImage image = DecodeGif(file);
        for (int y = 0; y < c.height; ++y)
            for (int x = 0; x < c.width; ++x)
                ASSERT_EQ(pixelAt(image, x, y)[0],
                          colors[f.indices[std::size_t(y * c.width + x)]][0]);
        EXPECT_EQ(image.pixels, judge(file).pixels);
    }
}

TEST(GifReader, CodeSizesAndBadCodes)
{
    const auto colors = testColors(2);
    Bytes file = header(3, 1, colors);
    Frame f;
    f.width = 3;
    f.height = 1;
    f.indices = {1, 0, 1};
    f.minCodeSize = 1; // below the minimum of 2, but decodable
    putFrame(file, f);
    const RgbaImage image = DecodeGif(file);
    expectOpaque(image, 0, 0, colors[1]);
    expectOpaque(image, 2, 0, colors[1]);

    const std::size_t codeSizeAt = header(3, 1, colors).size() + 10;
    for (const std::uint8_t bad : {0, 9, 12, 255}) {
        Bytes b = file;
        b[codeSizeAt] = bad;
        expectInvalid(b);
    }

    // A code past the next free one ends the frame; what was decoded stays.
    // min code size 2: clear 4, end 5; codes 3 bits: clear, 1, 7 (undefined).
    Bytes broken = header(3, 1, testColors(4));
    const Bytes frame = {0x2C,
                         0,
                         0,
                         0,
                         0,
                         3,
                         0,
                         1,
                         0,
                         0,
                         2,
                         2,
                         std::uint8_t(4 | 1 << 3 | (7 << 6 & 0xFF)),
                         std::uint8_t(7 >> 2),
                         0,
                         0x3B};
    broken.insert(broken.end(), frame.begin(), frame.end());
    const RgbaImage partial = DecodeGif(broken);
    expectOpaque(partial, 0, 0, testColors(4)[1]);
    EXPECT_EQ(pixelAt(partial, 1, 0)[3], 0);
    EXPECT_EQ(pixelAt(partial, 2, 0)[3], 0);
}

TEST(GifReader, TruncationKeepsWhatWasDecodedOrFailsCleanly)
{
    for (const bool interlaced : {false, true}) {
        const auto colors = testColors(16);
        Bytes file = header(12, 9, colors);
        putGce(file, 3);
        Frame f;
        f.width = 12;
        f.height = 9;
        f.interlaced = interlaced;
        f.minCodeSize = 4;
        f.indices = noise(108, 3);
        for (auto& v : f.indices)
            v = std::uint8_t(v % 16);
        const std::size_t dataStart = file.size() + 10; // the minimum code size
        putFrame(file, f);
        file.push_back(0x3B);
        const RgbaImage whole = DecodeGif(file);
        for (std::size_t length = 0; length < file.size(); ++length) {
            const Bytes cut(file.begin(), file.begin() + std::ptrdiff_t(length));
            if (length <= dataStart) {
                expectInvalid(cut);
                continue;
            }
            const RgbaImage image = DecodeGif(cut);
            ASSERT_EQ(image.pixels.size(), whole.pixels.size());
            for (std::size_t i = 0; i < image.pixels.size(); i += 4) {
                if (image.pixels[i + 3] != 0) {
                    ASSERT_EQ(std::memcmp(&image.pixels[i], &whole.pixels[i], 4), 0) << length;
                }
            }
        }
    }
}

TEST(GifReader, ScreenSizeEdgesAndLimits)
{
    const auto colors = testColors(4);
    // A zero screen takes the frame's extent.
    Bytes file = header(0, 0, colors);
    Frame f;
    f.left = 2;
    f.top = 1;
    f.width = 3;
    f.height = 2;
    f.minCodeSize = 2;
    f.indices = pattern(3, 2, 4);
    putFrame(file, f);
    RgbaImage image = DecodeGif(file);
    EXPECT_EQ(image.width, 5);
    EXPECT_EQ(image.height, 3);
    expectOpaque(image, 4, 2, colors[f.indices[5]]);
    EXPECT_EQ(pixelAt(image, 0, 0)[3], 0);

    // A frame reaching past the screen is clipped.
    file = header(3, 2, colors);
    putFrame(file, f);
    image = DecodeGif(file);
    ASSERT_EQ(image.width, 3);
    expectOpaque(image, 2, 1, colors[f.indices[0]]);
    EXPECT_EQ(pixelAt(image, 1, 1)[3], 0);

    file = header(65535, 65535, colors); // past the default side limit
    putFrame(file, f);
    expectInvalid(file);
    DecodeLimits tight;
    tight.maxSide = 100;
    tight.maxPixels = 1000;
    expectInvalid(simpleGif(101, 1, colors), tight);
    expectInvalid(simpleGif(40, 26, colors), tight);
    EXPECT_NO_THROW(DecodeGif(simpleGif(40, 25, colors), tight));
    // Even off screen, a frame larger than the limits is refused.
    file = header(10, 10, colors);
    const Bytes huge = {0x2C, 0, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF, 0, 2, 0};
    file.insert(file.end(), huge.begin(), huge.end());
    expectInvalid(file, tight);
}

TEST(GifReader, RejectsWhatIsNotAGifSayingWhy)
{
    const auto colors = testColors(4);
    Bytes notGif = simpleGif(4, 4, colors);
    notGif[4] = '8'; // "GIF88a"
    auto headerThen = [&](int width, int height, const Bytes& tail) {
        Bytes b = header(width, height, colors);
        b.insert(b.end(), tail.begin(), tail.end());
        return b;
    };
    DecodeLimits tight;
    tight.maxSide = 100;
    tight.maxPixels = 1000;
    const Bytes frame = {0x2C, 0, 0, 0, 0, 4, 0, 4, 0, 0, 2, 0};
    const struct {
        Bytes file;
        DecodeLimits limits;
        const char* reason;
    } cases[] = {
        {notGif, {}, "it does not start with GIF87a or GIF89a"},
        {{}, {}, "the file ends early"},
        {headerThen(4, 4, {0x3B}), {}, "the file has no image"},
        {headerThen(4, 4, {0x00}), {}, "block 0 is not an image or an extension"},
        {headerThen(4, 4, {0x21, 0xFE, 200, 'x'}), {}, "the file ends early"},
        {headerThen(4, 4, {0x2C, 0, 0, 0, 0, 4, 0, 4, 0, 0, 9, 0}),
         {},
         "LZW code size 9 is not between 1 and 8"},
        {headerThen(0, 4, {0x2C, 0, 0, 0, 0, 0, 0, 4, 0, 0, 2, 0}), {}, "width is 0"},
        {headerThen(101, 4, frame), tight, "width 101 is too large (the limit is 100)"},
        {headerThen(4, 101, frame), tight, "height 101 is too large (the limit is 100)"},
        {headerThen(40, 26, frame), tight, "40 x 26 is too many pixels (the limit is 1000)"},
        {headerThen(10, 10, {0x2C, 0, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF, 0, 2, 0}), tight,
         "a frame of 65535 x 65535 is too many pixels (the limit is 1000)"},
        {headerThen(10000, 10000, frame),
         {},
         "10000 x 10000 is too large for its 1 bytes of image data"},
    };
    for (const auto& [file, limits, reason] : cases) {
        try {
            DecodeGif(file, limits);
            ADD_FAILURE() << "accepted: " << reason;
        } catch (const CodecError& e) {
            EXPECT_EQ(std::string(e.what()), std::string("GIF image is not valid: ") + reason);
        }
    }
}

TEST(GifReader, CrashersFailCleanlyAndSeedsDecode)
{
    namespace fs = std::filesystem;
    // Limits as a reader of menu pictures would set them: a refusal must not depend on
    // the allocation failing.
    DecodeLimits limits;
    limits.maxSide = 16384;
    limits.maxPixels = 64'000'000;
    int crashers = 0;
    for (const fs::path& path : TestDataFiles("crashers/gif")) {
        SCOPED_TRACE(path.string());
        const Bytes file = ReadTestFile(path);
        if (CrasherMayDecode(path)) {
            RgbaImage image;
            ASSERT_NO_THROW(image = DecodeGif(file, limits));
            EXPECT_EQ(image.pixels.size(),
                      std::size_t(image.width) * std::size_t(image.height) * 4);
        } else {
            EXPECT_THROW(DecodeGif(file, limits), CodecError);
            EXPECT_THROW(DecodeGif(file), CodecError);
        }
        ++crashers;
    }
    EXPECT_GE(crashers, 5);
    int count = 0;
    for (const fs::path& path : FilesIn(fs::path(TAVREL_SOURCE_DIR) / "fuzz" / "seeds" / "gif")) {
        SCOPED_TRACE(path.string());
        const Bytes file = ReadTestFile(path);
        EXPECT_EQ(DecodeGif(file).pixels, judge(file).pixels);
        ++count;
    }
    EXPECT_GT(count, 0);
}
