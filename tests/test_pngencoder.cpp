#include "codecs/pngencoder.h"

#include <gtest/gtest.h>
#include <png.h>
#include <zlib.h>

#include <random>
#include <string>

namespace {

struct TestImage {
    int width;
    int height;
    std::ptrdiff_t stride;
    std::vector<std::uint8_t> pixels;

    TestImage(int w, int h)
        : width(w), height(h), stride(3 * w + 5), pixels(static_cast<std::size_t>(stride * h), 0xCD)
    {
    }
    std::uint8_t* at(int x, int y) { return pixels.data() + y * stride + 3 * x; }
    ImageView view() const { return ImageView{pixels.data(), width, height, stride}; }
    // The pixels without row padding, R,G,B.
    std::vector<std::uint8_t> packed() const
    {
        std::vector<std::uint8_t> out;
        for (int y = 0; y < height; ++y)
            out.insert(out.end(), pixels.begin() + y * stride,
                       pixels.begin() + y * stride + 3 * width);
        return out;
    }
};

TestImage noisyImage(int width, int height, unsigned seed)
{
    TestImage image(width, height);
    std::mt19937 random(seed);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            std::uint8_t* p = image.at(x, y);
            p[0] = static_cast<std::uint8_t>(x + (random() & 31));
            p[1] = static_cast<std::uint8_t>(y + (random() & 31));
            p[2] = static_cast<std::uint8_t>(random());
        }
    return image;
}

std::uint32_t be32(const std::uint8_t* p)
{
    return std::uint32_t(p[0]) << 24 | std::uint32_t(p[1]) << 16 | std::uint32_t(p[2]) << 8 | p[3];
}

struct Chunk {
    std::string type;
    std::vector<std::uint8_t> data;
};

// Splits a file into chunks, checking the signature, the lengths and every CRC.
std::vector<Chunk> parseChunks(const std::vector<std::uint8_t>& file)
{
    static const std::uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
    std::vector<Chunk> chunks;
    EXPECT_GE(file.size(), 8u);
    EXPECT_TRUE(std::equal(kSignature, kSignature + 8, file.begin()));
    std::size_t pos = 8;
    while (pos + 12 <= file.size()) {
        const std::uint32_t length = be32(&file[pos]);
        if (pos + 12 + length > file.size())
            break;
        Chunk chunk;
        chunk.type.assign(file.begin() + pos + 4, file.begin() + pos + 8);
        chunk.data.assign(file.begin() + pos + 8, file.begin() + pos + 8 + length);
        const uLong crc = crc32(crc32(0, Z_NULL, 0), &file[pos + 4], 4 + length);
        EXPECT_EQ(be32(&file[pos + 8 + length]), crc) << "chunk " << chunk.type;
        chunks.push_back(std::move(chunk));
        pos += 12 + length;
    }
    EXPECT_EQ(pos, file.size());
    return chunks;
}

std::vector<std::uint8_t> inflateAll(const std::vector<std::uint8_t>& compressed,
                                     std::size_t expectedSize)
{
    std::vector<std::uint8_t> out(expectedSize + 1);
    uLongf size = static_cast<uLongf>(out.size());
    EXPECT_EQ(
        uncompress(out.data(), &size, compressed.data(), static_cast<uLong>(compressed.size())),
        Z_OK);
    out.resize(size);
    return out;
}

std::vector<std::uint8_t> decodeWithLibpng(const std::vector<std::uint8_t>& file, int& width,
                                           int& height)
{
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&image, file.data(), file.size())) {
        ADD_FAILURE() << image.message;
        return {};
    }
    image.format = PNG_FORMAT_RGB;
    std::vector<std::uint8_t> pixels(PNG_IMAGE_SIZE(image));
    EXPECT_TRUE(png_image_finish_read(&image, nullptr, pixels.data(), 0, nullptr)) << image.message;
    width = static_cast<int>(image.width);
    height = static_cast<int>(image.height);
    png_image_free(&image);
    return pixels;
}

} // namespace

TEST(PngEncoder, MenuSizeLayout)
{
    const TestImage image = noisyImage(720, 576, 1);
    const std::vector<std::uint8_t> file = EncodePng(image.view());
    const std::vector<Chunk> chunks = parseChunks(file);
    ASSERT_GE(chunks.size(), 3u);

    EXPECT_EQ(chunks.front().type, "IHDR");
    EXPECT_EQ(chunks.front().data,
              (std::vector<std::uint8_t>{0x00, 0x00, 0x02, 0xD0, 0x00, 0x00, 0x02, 0x40, 0x08, 0x02,
                                         0x00, 0x00, 0x00}));
    const std::vector<std::uint8_t> iend = {0x00, 0x00, 0x00, 0x00, 'I',  'E',
                                            'N',  'D',  0xAE, 0x42, 0x60, 0x82};
    EXPECT_TRUE(std::equal(iend.begin(), iend.end(), file.end() - 12));

    // Noise does not compress: several full IDAT chunks and one shorter last one.
    std::vector<std::uint8_t> stream;
    ASSERT_GT(chunks.size(), 4u);
    for (std::size_t i = 1; i + 1 < chunks.size(); ++i) {
        EXPECT_EQ(chunks[i].type, "IDAT");
        if (i + 2 < chunks.size())
            EXPECT_EQ(chunks[i].data.size(), 65535u);
        else
            EXPECT_LT(chunks[i].data.size(), 65535u);
        stream.insert(stream.end(), chunks[i].data.begin(), chunks[i].data.end());
    }
    EXPECT_EQ(chunks.back().type, "IEND");

    // One zlib stream of filtered rows, 2161 bytes each, that libpng reads back exactly.
    const std::size_t rowSize = 1 + 3 * 720;
    const std::vector<std::uint8_t> raw = inflateAll(stream, 576 * rowSize);
    ASSERT_EQ(raw.size(), 576 * rowSize);
    for (int y = 0; y < 576; ++y)
        ASSERT_LE(raw[y * rowSize], 4) << "row " << y;
    int width = 0;
    int height = 0;
    EXPECT_EQ(decodeWithLibpng(file, width, height), image.packed());
}

TEST(PngEncoder, LibpngReadsBackExactPixels)
{
    for (auto [w, h] :
         {std::pair{1, 1}, std::pair{7, 3}, std::pair{333, 101}, std::pair{704, 480}}) {
        const TestImage image = noisyImage(w, h, static_cast<unsigned>(w));
        const std::vector<std::uint8_t> file = EncodePng(image.view());
        int width = 0;
        int height = 0;
        const std::vector<std::uint8_t> pixels = decodeWithLibpng(file, width, height);
        EXPECT_EQ(width, w);
        EXPECT_EQ(height, h);
        EXPECT_EQ(pixels, image.packed()) << w << " x " << h;
    }
}

// The whole file of a tiny picture, pinned: signature, header, one IDAT chunk, IEND.
// libpng must read the pinned bytes back as the picture.
TEST(PngEncoder, WholeFileBytes)
{
    TestImage small(3, 2);
    const std::uint8_t pixels[2][9] = {{255, 0, 0, 0, 255, 0, 0, 0, 255},
                                       {10, 20, 30, 40, 50, 60, 250, 128, 7}};
    for (int y = 0; y < 2; ++y)
        std::copy(pixels[y], pixels[y] + 9, small.at(0, y));
    // Too small to compress: the rows (None, then Sub) lie in one stored block.
    const std::vector<std::uint8_t> expected = {
        0x89, 0x50, 0x4E, 0x47, 0x0D, 0x0A, 0x1A, 0x0A, 0x00, 0x00, 0x00, 0x0D, 0x49, 0x48, 0x44,
        0x52, 0x00, 0x00, 0x00, 0x03, 0x00, 0x00, 0x00, 0x02, 0x08, 0x02, 0x00, 0x00, 0x00, 0x12,
        0x16, 0xF1, 0x4D, 0x00, 0x00, 0x00, 0x1F, 0x49, 0x44, 0x41, 0x54, 0x78, 0x9C, 0x01, 0x14,
        0x00, 0xEB, 0xFF, 0x00, 0xFF, 0x00, 0x00, 0x00, 0xFF, 0x00, 0x00, 0x00, 0xFF, 0x01, 0x0A,
        0x14, 0x1E, 0x1E, 0x1E, 0x1E, 0xD2, 0x4E, 0xCB, 0x34, 0x5C, 0x05, 0x80, 0x6C, 0x5A, 0x0D,
        0x4D, 0x00, 0x00, 0x00, 0x00, 0x49, 0x45, 0x4E, 0x44, 0xAE, 0x42, 0x60, 0x82};
    EXPECT_EQ(EncodePng(small.view()), expected);
    int width = 0;
    int height = 0;
    EXPECT_EQ(decodeWithLibpng(expected, width, height), small.packed());
}

// Each row takes a filter that leaves least to compress: for rows of one colour, one that
// leaves only the first pixel (Sub, or Paeth from the row above); for a row that repeats
// the one above, Up, which leaves nothing.
TEST(PngEncoder, FilterFollowsThePicture)
{
    std::mt19937 random(3);
    TestImage bands(64, 8);
    TestImage repeats(64, 8);
    for (int y = 0; y < 8; ++y) {
        const std::uint8_t colour[3] = {std::uint8_t(random()), std::uint8_t(random()),
                                        std::uint8_t(random())};
        for (int x = 0; x < 64; ++x)
            for (int c = 0; c < 3; ++c) {
                bands.at(x, y)[c] = colour[c];
                repeats.at(x, y)[c] = y == 0 ? std::uint8_t(random()) : repeats.at(x, 0)[c];
            }
    }
    const struct {
        const TestImage* image;
        std::vector<int> types;
        std::size_t kept; // filtered bytes at the start of a row that may be non-zero
    } cases[] = {{&bands, {1, 4}, 3}, {&repeats, {2}, 0}};
    for (const auto& [image, types, kept] : cases) {
        const std::vector<std::uint8_t> file = EncodePng(image->view());
        const std::vector<Chunk> chunks = parseChunks(file);
        ASSERT_EQ(chunks.size(), 3u);
        const std::size_t rowSize = 1 + 3 * 64;
        const std::vector<std::uint8_t> raw = inflateAll(chunks[1].data, 8 * rowSize);
        ASSERT_EQ(raw.size(), 8 * rowSize);
        for (std::size_t y = 1; y < 8; ++y) {
            const std::uint8_t* row = raw.data() + y * rowSize;
            EXPECT_NE(std::find(types.begin(), types.end(), row[0]), types.end()) << "row " << y;
            EXPECT_TRUE(std::all_of(row + 1 + kept, row + rowSize, [](int v) { return v == 0; }))
                << "row " << y;
        }
        int width = 0;
        int height = 0;
        EXPECT_EQ(decodeWithLibpng(file, width, height), image->packed());
    }
}

TEST(PngEncoder, RefusesEmptyPictures)
{
    const std::uint8_t pixel[3] = {1, 2, 3};
    EXPECT_THROW(EncodePng(ImageView{pixel, 0, 0, 0}), CodecError);
    EXPECT_THROW(EncodePng(ImageView{pixel, 5, 0, 15}), CodecError);
    EXPECT_THROW(EncodePng(ImageView{pixel, 0, 5, 0}), CodecError);
    EXPECT_THROW(EncodePng(ImageView{nullptr, 1, 1, 3}), CodecError);
}

TEST(PalettePngEncoder, SmallMaskPinnedChunkByChunk)
{
    // 5 x 2, indices packed four to a byte at depth 2, leftmost pixel in the high bits.
    const std::uint8_t indices[] = {0, 1, 1, 0, 1, 9, 9, 9, // stride 8: padding ignored
                                    1, 0, 0, 1, 0, 9, 9, 9};
    const std::vector<PaletteEntry> palette{{0, 0, 0, 0}, {0x26, 0x6C, 0xAE, 255}};
    const std::vector<std::uint8_t> file =
        EncodePalettePng(IndexedImageView{indices, 5, 2, 8}, palette);
    const std::vector<Chunk> chunks = parseChunks(file);
    ASSERT_EQ(chunks.size(), 5u);
    EXPECT_EQ(chunks[0].type, "IHDR");
    EXPECT_EQ(chunks[0].data, (std::vector<std::uint8_t>{0, 0, 0, 5, 0, 0, 0, 2, 2, 3, 0, 0, 0}));
    EXPECT_EQ(chunks[1].type, "PLTE");
    EXPECT_EQ(chunks[1].data, (std::vector<std::uint8_t>{0, 0, 0, 0x26, 0x6C, 0xAE}));
    EXPECT_EQ(chunks[2].type, "tRNS"); // only up to the last entry that is not opaque
    EXPECT_EQ(chunks[2].data, (std::vector<std::uint8_t>{0}));
    EXPECT_EQ(chunks[3].type, "IDAT");
    EXPECT_EQ(inflateAll(chunks[3].data, 6),
              (std::vector<std::uint8_t>{0, 0b00'01'01'00, 0b01'00'00'00, //
                                         0, 0b01'00'00'01, 0b00'00'00'00}));
    EXPECT_EQ(chunks[4].type, "IEND");
}

TEST(PalettePngEncoder, LibpngReadsEveryDepthBackWithItsTransparency)
{
    // 3, 16 and 200 entries: depths 2, 4 and 8.
    for (const std::size_t entries : {std::size_t{3}, std::size_t{16}, std::size_t{200}}) {
        std::vector<PaletteEntry> palette;
        for (std::size_t i = 0; i < entries; ++i)
            palette.push_back({static_cast<std::uint8_t>(i * 7), static_cast<std::uint8_t>(i),
                               static_cast<std::uint8_t>(255 - i),
                               static_cast<std::uint8_t>(i % 3 == 0 ? i : 255)});
        const int w = 37;
        const int h = 5;
        std::vector<std::uint8_t> indices(w * h);
        std::mt19937 random(static_cast<unsigned>(entries));
        for (auto& v : indices)
            v = static_cast<std::uint8_t>(random() % entries);
        const std::vector<std::uint8_t> file =
            EncodePalettePng(IndexedImageView{indices.data(), w, h, w}, palette);
        EXPECT_EQ(file[24], entries <= 4 ? 2 : entries <= 16 ? 4 : 8); // IHDR bit depth

        png_image image{};
        image.version = PNG_IMAGE_VERSION;
        ASSERT_TRUE(png_image_begin_read_from_memory(&image, file.data(), file.size()))
            << image.message;
        image.format = PNG_FORMAT_RGBA;
        std::vector<std::uint8_t> rgba(PNG_IMAGE_SIZE(image));
        ASSERT_TRUE(png_image_finish_read(&image, nullptr, rgba.data(), 0, nullptr))
            << image.message;
        png_image_free(&image);
        for (std::size_t i = 0; i < indices.size(); ++i) {
            const PaletteEntry& e = palette[indices[i]];
            const std::uint8_t* p = &rgba[4 * i];
            ASSERT_EQ(p[3], e.a) << entries << " entries, pixel " << i;
            if (e.a == 255) {
                ASSERT_TRUE(p[0] == e.r && p[1] == e.g && p[2] == e.b)
                    << entries << " entries, pixel " << i;
            }
        }
    }
}

TEST(PalettePngEncoder, RefusesWhatAPaletteFileCannotHold)
{
    const std::uint8_t indices[4] = {0, 1, 2, 0};
    const std::vector<PaletteEntry> two{{}, {}};
    EXPECT_THROW(EncodePalettePng(IndexedImageView{indices, 4, 1, 4}, two), CodecError);
    EXPECT_THROW(EncodePalettePng(IndexedImageView{indices, 2, 1, 2}, {}), CodecError);
    EXPECT_THROW(EncodePalettePng(IndexedImageView{indices, 0, 1, 4}, two), CodecError);
    EXPECT_THROW(EncodePalettePng(IndexedImageView{indices, 4, 1, 3}, two), CodecError);
    EXPECT_THROW(
        EncodePalettePng(IndexedImageView{indices, 2, 1, 2}, std::vector<PaletteEntry>(257)),
        CodecError);
}
