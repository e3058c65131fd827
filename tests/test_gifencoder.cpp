#include "codecs/colormapoptimizer.h"
#include "codecs/colorquantizer.h"
#include "codecs/fastcolorlookup.h"
#include "codecs/gifencoder.h"
#include "codecs/lzwencoder.h"

#include <gif_lib.h>
#include <gtest/gtest.h>

#include <map>

#include <cstring>
#include <random>
#include <set>

namespace {

struct TestImage {
    int width;
    int height;
    std::vector<std::uint8_t> pixels; // stride = 3 * width + 4, to catch stride mistakes

    TestImage(int w, int h)
        : width(w), height(h), pixels(static_cast<std::size_t>(stride() * h), 0xAB)
    {
    }
    std::ptrdiff_t stride() const { return 3 * width + 4; }
    void set(int x, int y, GifRgb c)
    {
        std::uint8_t* p = pixels.data() + y * stride() + 3 * x;
        p[0] = c.r;
        p[1] = c.g;
        p[2] = c.b;
    }
    void fill(GifRgb c)
    {
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x)
                set(x, y, c);
    }
    ImageView view() const { return ImageView{pixels.data(), width, height, stride()}; }
};

struct Decoded {
    int width = 0;
    int height = 0;
    std::vector<GifRgb> colors;
    std::vector<std::uint8_t> indices;
};

struct MemoryReader {
    const std::vector<std::uint8_t>* data;
    std::size_t pos;
};

int readFromMemory(GifFileType* gif, GifByteType* buffer, int size)
{
    auto* reader = static_cast<MemoryReader*>(gif->UserData);
    const std::size_t n =
        std::min<std::size_t>(static_cast<std::size_t>(size), reader->data->size() - reader->pos);
    std::memcpy(buffer, reader->data->data() + reader->pos, n);
    reader->pos += n;
    return static_cast<int>(n);
}

// giflib as the outside judge of our files.
Decoded decodeWithGiflib(const std::vector<std::uint8_t>& file)
{
    MemoryReader reader{&file, 0};
    int error = 0;
    GifFileType* gif = DGifOpen(&reader, readFromMemory, &error);
    EXPECT_NE(gif, nullptr);
    Decoded out;
    if (!gif)
        return out;
    EXPECT_EQ(DGifSlurp(gif), GIF_OK) << GifErrorString(gif->Error);
    EXPECT_EQ(gif->ImageCount, 1);
    if (gif->ImageCount == 1 && gif->SColorMap) {
        const SavedImage& image = gif->SavedImages[0];
        out.width = image.ImageDesc.Width;
        out.height = image.ImageDesc.Height;
        EXPECT_EQ(image.ImageDesc.ColorMap, nullptr);
        for (int i = 0; i < gif->SColorMap->ColorCount; ++i) {
            const GifColorType& c = gif->SColorMap->Colors[i];
            out.colors.push_back(GifRgb{c.Red, c.Green, c.Blue});
        }
        out.indices.assign(image.RasterBits, image.RasterBits + out.width * out.height);
    }
    DGifCloseFile(gif, &error);
    return out;
}

std::vector<GifRgb> tableOf(const std::vector<std::uint8_t>& file)
{
    const int entries = 2 << (file[10] & 7);
    std::vector<GifRgb> table;
    for (int i = 0; i < entries; ++i)
        table.push_back(GifRgb{file[13 + 3 * i], file[14 + 3 * i], file[15 + 3 * i]});
    return table;
}

constexpr GifRgb kRed200{200, 0, 0};
constexpr GifRgb kGreen200{0, 200, 0};
constexpr GifRgb kBlue200{0, 0, 200};
constexpr GifRgb kGrey100{100, 100, 100};

} // namespace

// A 4 x 2 picture worked through by hand:
//   row 0: A A A B   row 1: B C A A   with A = (200,0,0), B = (0,0,200), C = (0,200,0)
// Octree: three exact leaves; the root children are A -> 4, B -> 1, C -> 2, so the
// palette reads B, C, A at 10, 11, 12 and each claims its own cell.
// Indices: 12 12 12 10 / 10 11 12 12. Counts: A 5, B 2, C 1.
// Colour sort (largest value first): B (13107200), C (51200), A (200).
// Count sort of [B2, C1, A5]: pivot C; I stops at 1, J at 2; swap -> [B, A, C];
// then 0..1 with pivot B: swap -> [A, B, C]. So A = 0, B = 1, C = 2, f = 3, b = 2:
// packed 0x80 | 1 << 4 | 0x08 | 1 = 0x99, four table entries, the last black.
// Pixels 0 0 0 1 1 2 0 0; s = 2, clear 4, end 5, first free 6, width 3:
//   clear 4; 0 (add 6 = 00); 6 (add 7 = 001); 1 -> free 8 > 7, width 4 (add 8 = 11);
//   1 (add 9 = 12); 2 (add 10 = 20); 6; end 5.
// Bits LSB first: 4|0<<3|6<<6 -> 0x84; 1<<8|1<<9|1<<12 -> 0x13; 2<<16|6<<20 -> 0x62;
// 5<<24 -> 0x05.
TEST(GifEncoder, HandWorkedPictureIsExact)
{
    TestImage image(4, 2);
    const GifRgb rows[2][4] = {{kRed200, kRed200, kRed200, kBlue200},
                               {kBlue200, kGreen200, kRed200, kRed200}};
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 4; ++x)
            image.set(x, y, rows[y][x]);

    const std::vector<std::uint8_t> expected = {
        'G',  'I',  'F',  '8',  '7',  'a',  0x04, 0x00, 0x02, 0x00, 0x99, 0x00, 0x00, 0xC8, 0x00,
        0x00, 0x00, 0x00, 0xC8, 0x00, 0xC8, 0x00, 0x00, 0x00, 0x00, 0x2C, 0x00, 0x00, 0x00, 0x00,
        0x04, 0x00, 0x02, 0x00, 0x00, 0x02, 0x04, 0x84, 0x13, 0x62, 0x05, 0x00, 0x3B};
    EXPECT_EQ(EncodeGif(image.view()), expected);
}

// One colour: f = 1, b = 1, two table entries (the colour and black), code size 2.
// Codes: clear 4, 0 (add 6), 6 (add 7), 0 -> free 8 > 7 so the end code 5 takes 4 bits:
// 4 | 0 << 3 | 6 << 6 | 0 << 9 | 5 << 12 = 0x5184.
// The whole file of an indexed picture, every byte derived outside the encoder: the
// header fields by hand, the LZW codes by a plain dictionary coder of the same rules
// (code width grows once the next free code passes the current width), packed least
// significant bit first into data sub-blocks of 255 bytes until the last.
TEST(GifEncoder, WholeFileBytes)
{
    GifIndexedImage image;
    image.width = 48;
    image.height = 32;
    image.colors = {{200, 0, 0}, {0, 0, 200}, {0, 200, 0}, {1, 2, 3}, {250, 251, 252}};
    std::uint32_t seed = 99;
    for (int i = 0; i < 48 * 32; ++i) {
        seed = seed * 1664525u + 1013904223u;
        image.indices.push_back(static_cast<std::uint8_t>((seed >> 24) % 5));
    }

    // Five colours: a table of 8, the three unused entries black; flags 0xAA: global table,
    // 3 bits of colour resolution, sorted, size field 2. Codes start at 3 + 1 bits.
    std::vector<std::uint8_t> expected = {'G',  'I', 'F', '8', '7', 'a', 48,  0,  32,  0,
                                          0xAA, 0,   0,   200, 0,   0,   0,   0,  200, 0,
                                          200,  0,   1,   2,   3,   250, 251, 252};
    expected.insert(expected.end(), 9, 0);
    expected.insert(expected.end(), {0x2C, 0, 0, 0, 0, 48, 0, 32, 0, 0, 3});

    std::vector<std::uint8_t> data;
    std::uint32_t buffer = 0;
    int count = 0;
    int width = 4;
    auto emit = [&](int code) {
        buffer |= std::uint32_t(code) << count;
        for (count += width; count >= 8; count -= 8, buffer >>= 8)
            data.push_back(static_cast<std::uint8_t>(buffer));
    };
    std::map<std::pair<int, int>, int> table;
    int next = 10; // clear 8, end 9
    emit(8);
    int prefix = image.indices[0];
    for (std::size_t i = 1; i < image.indices.size(); ++i) {
        const int c = image.indices[i];
        if (const auto found = table.find({prefix, c}); found != table.end()) {
            prefix = found->second;
            continue;
        }
        emit(prefix);
        if (next > (1 << width) - 1)
            ++width;
        table[{prefix, c}] = next++;
        prefix = c;
    }
    emit(prefix);
    if (next > (1 << width) - 1)
        ++width;
    emit(9);
    if (count > 0)
        data.push_back(static_cast<std::uint8_t>(buffer));
    ASSERT_LT(next, 4094); // no clear on the way
    ASSERT_GT(data.size(), 2 * 255u);

    for (std::size_t at = 0; at < data.size(); at += 255) {
        const std::size_t n = std::min<std::size_t>(255, data.size() - at);
        expected.push_back(static_cast<std::uint8_t>(n));
        expected.insert(expected.end(), data.begin() + std::ptrdiff_t(at),
                        data.begin() + std::ptrdiff_t(at + n));
    }
    expected.insert(expected.end(), {0, 0x3B});
    const std::vector<std::uint8_t> file = WriteGif(image);
    const auto [mine, theirs] =
        std::mismatch(file.begin(), file.end(), expected.begin(), expected.end());
    EXPECT_TRUE(mine == file.end() && theirs == expected.end())
        << "first difference at byte " << (mine - file.begin()) << " of " << file.size() << " / "
        << expected.size();
}

TEST(GifEncoder, OneColourPicture)
{
    TestImage image(2, 2);
    image.fill(GifRgb{10, 120, 200});
    const std::vector<std::uint8_t> expected = {
        'G',  'I',  'F',  '8',  '7',  'a',  0x02, 0x00, 0x02, 0x00, 0x88, 0x00,
        0x00, 0x0A, 0x78, 0xC8, 0x00, 0x00, 0x00, 0x2C, 0x00, 0x00, 0x00, 0x00,
        0x02, 0x00, 0x02, 0x00, 0x00, 0x02, 0x02, 0x84, 0x51, 0x00, 0x3B};
    EXPECT_EQ(EncodeGif(image.view()), expected);

    TestImage big(720, 576);
    big.fill(GifRgb{30, 60, 90});
    const std::vector<std::uint8_t> file = EncodeGif(big.view());
    EXPECT_EQ(file[10], 0x88);
    EXPECT_EQ(file[19], 0x2C);
    EXPECT_EQ(file[29], 2); // minimum code size
    const Decoded decoded = decodeWithGiflib(file);
    ASSERT_EQ(decoded.colors.size(), 2u);
    EXPECT_EQ(decoded.colors[0], (GifRgb{30, 60, 90}));
    EXPECT_EQ(decoded.colors[1], (GifRgb{0, 0, 0}));
    EXPECT_EQ(decoded.indices, std::vector<std::uint8_t>(720 * 576, 0));
}

// (4,4,4) shares its 5-bit cell with system colour 0, which claims the cell first.
TEST(GifEncoder, NearBlackBecomesBlack)
{
    TestImage image(3, 1);
    image.set(0, 0, GifRgb{4, 4, 4});
    image.set(1, 0, kRed200);
    image.set(2, 0, kRed200);
    const Decoded decoded = decodeWithGiflib(EncodeGif(image.view()));
    ASSERT_EQ(decoded.indices.size(), 3u);
    EXPECT_EQ(decoded.colors[decoded.indices[0]], (GifRgb{0, 0, 0}));
    EXPECT_EQ(decoded.colors[decoded.indices[1]], kRed200);
    EXPECT_EQ(decoded.colors[0], kRed200); // the more frequent colour leads
}

// Equal counts: the table order is what the quicksort leaves, not the old order.
// Two colours, colour-sorted [B, A]: the count sort swaps equal ends -> [A, B].
// Four colours, colour-sorted [c0 > c1 > c2 > c3]: pivot c1 swaps 0,3 then 1,2 ->
// [c3 c2 c1 c0]; sorting 0..1 swaps -> [c2 c3 ..]; sorting 2..3 swaps -> [c2 c3 c0 c1].
TEST(GifEncoder, EqualCountsFollowTheQuicksort)
{
    TestImage two(2, 1);
    two.set(0, 0, kBlue200);
    two.set(1, 0, kRed200);
    EXPECT_EQ(QuantizeForGif(two.view()).colors, (std::vector<GifRgb>{kRed200, kBlue200}));

    TestImage four(4, 2);
    const GifRgb order[4] = {kRed200, kGrey100, kBlue200, kGreen200};
    for (int x = 0; x < 4; ++x) {
        four.set(x, 0, order[x]);
        four.set(3 - x, 1, order[x]);
    }
    const GifIndexedImage indexed = QuantizeForGif(four.view());
    EXPECT_EQ(indexed.colors, (std::vector<GifRgb>{kGreen200, kRed200, kBlue200, kGrey100}));
    const std::vector<std::uint8_t> file = EncodeGif(four.view());
    EXPECT_EQ(tableOf(file), indexed.colors);
}

TEST(GifEncoder, EqualColoursAreMerged)
{
    std::array<GifRgb, 256> palette{};
    palette[3] = GifRgb{50, 60, 70};
    palette[7] = GifRgb{50, 60, 70};
    palette[5] = GifRgb{90, 10, 10};
    std::vector<std::uint8_t> indices = {3, 3, 7, 5, 7, 5, 5};
    const OptimizedColorMap map = TColorMapOptimizer::optimize(palette, indices);
    EXPECT_EQ(map.colors, (std::vector<GifRgb>{{50, 60, 70}, {90, 10, 10}}));
    EXPECT_EQ(indices, (std::vector<std::uint8_t>{0, 0, 0, 1, 0, 1, 1}));
}

// Three leaves allowed. A and B share the depth-7 node made first, C and D the one
// made last; the newest reducible node is merged first, so C and D become one colour
// (blue (254 + 255) / 2 = 254) while A and B stay apart.
TEST(GifEncoder, OctreeMergesNewestDeepestNodeFirst)
{
    TColorQuantizer quantizer(3);
    quantizer.addColor(0, 0, 0);
    quantizer.addColor(0, 0, 1);
    quantizer.addColor(255, 255, 254);
    EXPECT_EQ(quantizer.leafCount(), 3);
    quantizer.addColor(255, 255, 255);
    EXPECT_EQ(quantizer.leafCount(), 3);
    EXPECT_EQ(quantizer.palette(), (std::vector<GifRgb>{{0, 0, 0}, {0, 0, 1}, {255, 255, 254}}));
}

// Both pixels of row 1 fall in one empty cell; the serpentine walk meets the right
// one first, and its nearest entry (2) then serves the whole cell.
TEST(GifEncoder, UnclaimedCellTakesNearestToFirstPixelMet)
{
    std::array<GifRgb, 256> palette{};
    palette[1] = GifRgb{0, 0, 40};
    palette[2] = GifRgb{40, 0, 0};
    TestImage image(2, 2);
    image.fill(GifRgb{0, 0, 0});
    image.set(0, 1, GifRgb{16, 0, 23}); // nearest alone: 1
    image.set(1, 1, GifRgb{23, 0, 16}); // nearest alone: 2
    TFastColorLookup lookup(palette);
    EXPECT_EQ(lookup.mapImage(image.view()), (std::vector<std::uint8_t>{0, 0, 2, 2}));
}

TEST(GifEncoder, ManyColoursUseAtMost256Entries)
{
    TestImage image(256, 128);
    std::mt19937 random(7);
    for (int y = 0; y < image.height; ++y)
        for (int x = 0; x < image.width; ++x)
            image.set(x, y,
                      GifRgb{static_cast<std::uint8_t>(x), static_cast<std::uint8_t>(2 * y),
                             static_cast<std::uint8_t>(random() & 0xFF)});

    TColorQuantizer quantizer;
    quantizer.addImage(image.view());
    // A merge can remove up to seven leaves at once.
    EXPECT_LE(quantizer.leafCount(), 236);
    EXPECT_GT(quantizer.leafCount(), 200);
    const std::array<GifRgb, 256> palette = BuildGifPalette(image.view());
    for (int i = 0; i < 10; ++i) {
        EXPECT_EQ(palette[i], kSystemColors[i]);
        EXPECT_EQ(palette[246 + i], kSystemColors[10 + i]);
    }

    const GifIndexedImage indexed = QuantizeForGif(image.view());
    const std::vector<std::uint8_t> file = EncodeGif(image.view());
    int bits = 1;
    while ((1u << bits) < indexed.colors.size())
        ++bits;
    EXPECT_EQ(file[10], 0x80 | (bits - 1) << 4 | 0x08 | (bits - 1));
    const Decoded decoded = decodeWithGiflib(file);
    ASSERT_LE(indexed.colors.size(), 256u);
    EXPECT_EQ(decoded.indices, indexed.indices);
    std::set<int> used(decoded.indices.begin(), decoded.indices.end());
    EXPECT_EQ(used.size(), indexed.colors.size());
    EXPECT_EQ(*used.rbegin(), static_cast<int>(indexed.colors.size()) - 1);
    for (std::size_t i = 0; i < indexed.colors.size(); ++i) {
        EXPECT_EQ(decoded.colors[i], indexed.colors[i]);
        EXPECT_NE(std::find(palette.begin(), palette.end(), indexed.colors[i]), palette.end());
    }
}

// Random indices keep the dictionary filling up, so the coder passes the 12-bit width
// and the reset at 4094 many times; long runs grow long strings; giflib must read back
// every index.
TEST(GifEncoder, LzwSurvivesDictionaryResets)
{
    std::mt19937 random(11);
    for (int colours : {2, 5, 16, 256}) {
        GifIndexedImage image;
        image.width = 613; // odd sizes put the sub-block ends anywhere
        image.height = 301;
        for (int i = 0; i < colours; ++i)
            image.colors.push_back(GifRgb{static_cast<std::uint8_t>(i), 1, 2});
        image.indices.resize(static_cast<std::size_t>(image.width) * image.height);
        for (std::size_t i = 0; i < image.indices.size(); ++i) {
            // Noise in the top half, long runs below.
            const bool noisy = i < image.indices.size() / 2;
            image.indices[i] =
                static_cast<std::uint8_t>(noisy ? random() % colours : (i / 5000) % colours);
        }
        const std::vector<std::uint8_t> file = WriteGif(image);
        const Decoded decoded = decodeWithGiflib(file);
        EXPECT_EQ(decoded.indices, image.indices) << colours << " colours";
        EXPECT_EQ(file[file.size() - 2], 0x00);
        EXPECT_EQ(file.back(), 0x3B);
    }
}

// A decoder accepts a clear code anywhere, so the reset point needs its own check.
// After a clear the free code runs from K + 2 = 6 up to 4094 (4089 entries, one per
// code), and the code written when it stands at 4095 is followed by the clear: 4090
// codes between two clears, the last ones 12 bits wide.
TEST(GifEncoder, LzwClearsExactlyWhenTheFreeCodePasses4094)
{
    std::mt19937 random(5);
    std::vector<std::uint8_t> pixels(200000);
    for (std::uint8_t& p : pixels)
        p = static_cast<std::uint8_t>(random() & 1);
    std::vector<std::uint8_t> out;
    TLZWEncoder::encode(pixels, 1, out);

    ASSERT_GE(out.size(), 2u);
    ASSERT_EQ(out[0], 2); // minimum code size
    std::vector<std::uint8_t> data;
    std::size_t at = 1;
    while (at < out.size() && out[at] != 0) {
        const std::size_t length = out[at];
        ASSERT_LE(at + 1 + length, out.size());
        data.insert(data.end(), out.begin() + static_cast<std::ptrdiff_t>(at + 1),
                    out.begin() + static_cast<std::ptrdiff_t>(at + 1 + length));
        at += 1 + length;
    }
    ASSERT_EQ(at + 1, out.size()); // the terminator ends the data

    constexpr int kClear = 4;
    constexpr int kEnd = 5;
    std::size_t bit = 0;
    int width = 3;
    int freeCode = kClear + 2;
    std::vector<int> runs; // codes between clears
    int run = -1;
    int lastWidth = 0;
    for (;;) {
        ASSERT_LE(bit + static_cast<std::size_t>(width), data.size() * 8);
        int code = 0;
        for (int i = 0; i < width; ++i, ++bit)
            code |= ((data[bit / 8] >> (bit % 8)) & 1) << i;
        if (code == kClear) {
            if (run >= 0) {
                runs.push_back(run);
                EXPECT_EQ(lastWidth, 12);
            }
            run = 0;
            width = 3;
            freeCode = kClear + 2;
            continue;
        }
        if (code == kEnd)
            break;
        ASSERT_LT(code, freeCode);
        ++run;
        lastWidth = width;
        if (freeCode > (1 << width) - 1 && width < 12)
            ++width;
        ++freeCode;
    }
    ASSERT_GE(runs.size(), 3u);
    for (int codes : runs)
        EXPECT_EQ(codes, 4090);
}

TEST(GifEncoder, NoisyPhotoDecodesToOurMapping)
{
    TestImage image(720, 576);
    std::mt19937 random(3);
    for (int y = 0; y < image.height; ++y)
        for (int x = 0; x < image.width; ++x) {
            const int n = static_cast<int>(random() % 48);
            image.set(x, y,
                      GifRgb{static_cast<std::uint8_t>((x * 255 / 719 + n) & 0xFF),
                             static_cast<std::uint8_t>((y * 200 / 575 + n) & 0xFF),
                             static_cast<std::uint8_t>((x + y) / 6 + n)});
        }
    const GifIndexedImage indexed = QuantizeForGif(image.view());
    const Decoded decoded = decodeWithGiflib(EncodeGif(image.view()));
    EXPECT_EQ(decoded.width, 720);
    EXPECT_EQ(decoded.height, 576);
    EXPECT_EQ(decoded.indices, indexed.indices);
    EXPECT_TRUE(std::equal(indexed.colors.begin(), indexed.colors.end(), decoded.colors.begin()));
}

TEST(GifEncoder, RefusesEmptyAndOversizedPictures)
{
    const std::uint8_t pixel[3] = {1, 2, 3};
    EXPECT_THROW(EncodeGif(ImageView{pixel, 0, 0, 0}), CodecError);
    EXPECT_THROW(EncodeGif(ImageView{pixel, 1, 0, 3}), CodecError);
    EXPECT_THROW(EncodeGif(ImageView{pixel, 0, 1, 3}), CodecError);
    EXPECT_THROW(EncodeGif(ImageView{pixel, 65536, 1, 3 * 65536}), CodecError);
    EXPECT_THROW(EncodeGif(ImageView{pixel, 1, 65536, 3}), CodecError);
    EXPECT_NO_THROW(EncodeGif(ImageView{pixel, 1, 1, 3}));
}
