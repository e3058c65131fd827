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

    // One zlib stream of Sub-filtered rows: 2161 bytes each.
    const std::size_t rowSize = 1 + 3 * 720;
    const std::vector<std::uint8_t> raw = inflateAll(stream, 576 * rowSize);
    ASSERT_EQ(raw.size(), 576 * rowSize);
    const std::vector<std::uint8_t> source = image.packed();
    for (int y = 0; y < 576; ++y) {
        const std::uint8_t* row = raw.data() + y * rowSize;
        ASSERT_EQ(row[0], 1) << "row " << y;
        std::vector<std::uint8_t> unfiltered(row + 1, row + rowSize);
        for (std::size_t x = 3; x < unfiltered.size(); ++x)
            unfiltered[x] = static_cast<std::uint8_t>(unfiltered[x] + unfiltered[x - 3]);
        ASSERT_TRUE(std::equal(unfiltered.begin(), unfiltered.end(), source.begin() + y * 3 * 720))
            << "row " << y;
    }
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

// The whole file, bytes derived outside the encoder: Sub filter on every row, one zlib
// stream at level 7 (window 15, memory level 8, default strategy; header 78 DA), IDAT
// chunks of 65535 bytes until the last.
TEST(PngEncoder, WholeFileBytes)
{
    TestImage small(3, 2);
    const std::uint8_t pixels[2][9] = {{255, 0, 0, 0, 255, 0, 0, 0, 255},
                                       {10, 20, 30, 40, 50, 60, 250, 128, 7}};
    for (int y = 0; y < 2; ++y)
        std::copy(pixels[y], pixels[y] + 9, small.at(0, y));
    const std::vector<std::uint8_t> expected = {
        0x89, 0x50, 0x4E, 0x47, 0x0D, 0x0A, 0x1A, 0x0A, 0x00, 0x00, 0x00, 0x0D, 0x49, 0x48,
        0x44, 0x52, 0x00, 0x00, 0x00, 0x03, 0x00, 0x00, 0x00, 0x02, 0x08, 0x02, 0x00, 0x00,
        0x00, 0x12, 0x16, 0xF1, 0x4D, 0x00, 0x00, 0x00, 0x17, 0x49, 0x44, 0x41, 0x54, 0x78,
        0xDA, 0x63, 0xFC, 0xCF, 0xC0, 0xC0, 0x08, 0xC6, 0x8C, 0x5C, 0x22, 0x72, 0x40, 0x70,
        0xC9, 0xEF, 0x34, 0x00, 0x34, 0x8C, 0x05, 0x83, 0x23, 0x81, 0xAA, 0x4F, 0x00, 0x00,
        0x00, 0x00, 0x49, 0x45, 0x4E, 0x44, 0xAE, 0x42, 0x60, 0x82};
    EXPECT_EQ(EncodePng(small.view()), expected);

    // A noisy picture whose stream fills two IDAT chunks, built here the same way.
    const TestImage noise = noisyImage(200, 150, 7);
    std::vector<std::uint8_t> raw;
    for (int y = 0; y < noise.height; ++y) {
        const std::uint8_t* row = noise.pixels.data() + y * noise.stride;
        raw.push_back(1);
        for (int i = 0; i < 3 * noise.width; ++i)
            raw.push_back(static_cast<std::uint8_t>(row[i] - (i >= 3 ? row[i - 3] : 0)));
    }
    z_stream z{};
    ASSERT_EQ(deflateInit2(&z, 7, Z_DEFLATED, 15, 8, Z_DEFAULT_STRATEGY), Z_OK);
    std::vector<std::uint8_t> stream(deflateBound(&z, static_cast<uLong>(raw.size())));
    z.next_in = raw.data();
    z.avail_in = static_cast<uInt>(raw.size());
    z.next_out = stream.data();
    z.avail_out = static_cast<uInt>(stream.size());
    ASSERT_EQ(deflate(&z, Z_FINISH), Z_STREAM_END);
    stream.resize(z.total_out);
    deflateEnd(&z);
    ASSERT_GT(stream.size(), 65535u);
    ASSERT_LT(stream.size(), 2 * 65535u);

    std::vector<std::uint8_t> file(expected.begin(), expected.begin() + 8);
    auto chunk = [&](const char* type, const std::uint8_t* data, std::size_t size) {
        std::vector<std::uint8_t> c = {std::uint8_t(size >> 24), std::uint8_t(size >> 16),
                                       std::uint8_t(size >> 8), std::uint8_t(size)};
        c.insert(c.end(), type, type + 4);
        c.insert(c.end(), data, data + size);
        const uLong crc = crc32(0, c.data() + 4, static_cast<uInt>(size + 4));
        c.insert(c.end(), {std::uint8_t(crc >> 24), std::uint8_t(crc >> 16), std::uint8_t(crc >> 8),
                           std::uint8_t(crc)});
        file.insert(file.end(), c.begin(), c.end());
    };
    const std::uint8_t header[13] = {0, 0, 0, 200, 0, 0, 0, 150, 8, 2, 0, 0, 0};
    chunk("IHDR", header, 13);
    chunk("IDAT", stream.data(), 65535);
    chunk("IDAT", stream.data() + 65535, stream.size() - 65535);
    chunk("IEND", nullptr, 0);
    EXPECT_TRUE(EncodePng(noise.view()) == file);
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
