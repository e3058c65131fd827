#include "codecs/pngreader.h"
#include "pngjudge.h"
#include "testdata.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;

const std::filesystem::path kSuite = TestDataPath("pngsuite/png");

Bytes readFile(const std::filesystem::path& path)
{
    return ReadTestFile(path);
}

void storeU32(std::uint8_t* p, std::uint32_t v)
{
    p[0] = static_cast<std::uint8_t>(v >> 24);
    p[1] = static_cast<std::uint8_t>(v >> 16);
    p[2] = static_cast<std::uint8_t>(v >> 8);
    p[3] = static_cast<std::uint8_t>(v);
}

Bytes chunk(const char* type, const Bytes& data)
{
    Bytes out(data.size() + 12);
    storeU32(out.data(), static_cast<std::uint32_t>(data.size()));
    std::copy(type, type + 4, out.begin() + 4);
    std::copy(data.begin(), data.end(), out.begin() + 8);
    const uLong crc =
        crc32(crc32(0, Z_NULL, 0), out.data() + 4, static_cast<uInt>(data.size() + 4));
    storeU32(out.data() + 8 + data.size(), static_cast<std::uint32_t>(crc));
    return out;
}

Bytes ihdr(std::uint32_t w, std::uint32_t h, int depth, int colorType, int interlace = 0,
           int compression = 0, int filter = 0)
{
    Bytes d(13);
    storeU32(d.data(), w);
    storeU32(d.data() + 4, h);
    d[8] = static_cast<std::uint8_t>(depth);
    d[9] = static_cast<std::uint8_t>(colorType);
    d[10] = static_cast<std::uint8_t>(compression);
    d[11] = static_cast<std::uint8_t>(filter);
    d[12] = static_cast<std::uint8_t>(interlace);
    return chunk("IHDR", d);
}

Bytes deflateBytes(const Bytes& raw)
{
    uLongf size = compressBound(static_cast<uLong>(raw.size()));
    Bytes out(size);
    EXPECT_EQ(compress2(out.data(), &size, raw.data(), static_cast<uLong>(raw.size()), 9), Z_OK);
    out.resize(size);
    return out;
}

Bytes png(std::initializer_list<Bytes> chunks)
{
    Bytes out = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    for (const Bytes& c : chunks)
        out.insert(out.end(), c.begin(), c.end());
    return out;
}

const Bytes kIend = chunk("IEND", {});

// A 2 x 2 8-bit grey picture: rows 10 20 / 30 40, the second row Up-filtered.
const Bytes kGreyRows = {0, 10, 20, 2, 20, 20};
Bytes greyPng(const Bytes& between = {})
{
    Bytes file = png({ihdr(2, 2, 8, 0)});
    file.insert(file.end(), between.begin(), between.end());
    const Bytes rest = png({chunk("IDAT", deflateBytes(kGreyRows)), kIend});
    file.insert(file.end(), rest.begin() + 8, rest.end());
    return file;
}

RgbaImage decode(const Bytes& file, const DecodeLimits& limits = {})
{
    return DecodePng(file, limits);
}

TEST(PngReader, PngSuiteMatchesLibpng)
{
    int compared = 0;
    for (const auto& path : TestDataFiles("pngsuite/png")) {
        const std::string name = path.filename().string();
        if (path.extension() != ".png" || name[0] == 'x')
            continue;
        SCOPED_TRACE(name);
        JudgedPng expected;
        ASSERT_TRUE(JudgePng(path.string(), expected));
        RgbaImage image;
        ASSERT_NO_THROW(image = DecodePng(readFile(path)));
        EXPECT_EQ(image.width, expected.width);
        EXPECT_EQ(image.height, expected.height);
        EXPECT_TRUE(image.pixels == expected.rgba);
        ++compared;
    }
    EXPECT_GE(compared, 150);
}

TEST(PngReader, PngSuiteCorruptFilesAreRefused)
{
    int refused = 0;
    for (const auto& path : TestDataFiles("pngsuite/png")) {
        const std::string name = path.filename().string();
        if (name[0] != 'x')
            continue;
        SCOPED_TRACE(name);
        EXPECT_THROW(DecodePng(readFile(path)), CodecError);
        ++refused;
    }
    EXPECT_GE(refused, 14);
}

TEST(PngReader, EveryTruncationAndEveryDamagedChunkIsRefused)
{
    for (const char* name : {"basi3p02.png", "tbrn2c08.png", "basn0g01.png"}) {
        SCOPED_TRACE(name);
        const Bytes file = readFile(kSuite / name);
        ASSERT_NO_THROW(DecodePng(file));
        for (std::size_t n = 0; n < file.size(); ++n)
            EXPECT_THROW(DecodePng(std::span(file.data(), n)), CodecError) << "length " << n;

        // One changed bit anywhere in a chunk (length field aside) breaks its CRC.
        for (std::size_t pos = 8; pos + 12 <= file.size();) {
            const std::uint32_t length = std::uint32_t(file[pos]) << 24 | file[pos + 1] << 16 |
                                         file[pos + 2] << 8 | file[pos + 3];
            for (std::size_t at : {pos + 4, pos + 8 + length / 2, pos + 8 + length + 3}) {
                Bytes damaged = file;
                damaged[at] ^= 0x10;
                EXPECT_THROW(DecodePng(damaged), CodecError) << "byte " << at;
            }
            pos += 12 + length;
        }
    }
}

TEST(PngReader, HeaderIsCheckedBeforeAnythingIsAllocated)
{
    const DecodeLimits tight{100, 5000};
    EXPECT_NO_THROW(decode(
        png({ihdr(100, 1, 8, 0), chunk("IDAT", deflateBytes(Bytes(101, 0))), kIend}), tight));
    EXPECT_THROW(decode(png({ihdr(101, 1, 8, 0), kIend}), tight), CodecError);
    EXPECT_THROW(decode(png({ihdr(1, 101, 8, 0), kIend}), tight), CodecError);
    EXPECT_THROW(decode(png({ihdr(80, 80, 8, 0), kIend}), tight), CodecError);
    // Far beyond memory: refused from the header alone.
    EXPECT_THROW(decode(png({ihdr(0x7FFFFFFF, 0x7FFFFFFF, 16, 6), kIend})), CodecError);
    EXPECT_THROW(decode(png({ihdr(0x80000000u, 1, 8, 0), kIend})), CodecError);
    // Within the limits, but far more than its data could ever inflate to.
    EXPECT_THROW(
        decode(png({ihdr(4000, 4000, 16, 6), chunk("IDAT", deflateBytes(Bytes(500, 0))), kIend})),
        CodecError);
    EXPECT_THROW(decode(png({ihdr(0, 1, 8, 0), kIend})), CodecError);
    EXPECT_THROW(decode(png({ihdr(1, 0, 8, 0), kIend})), CodecError);

    struct Bad {
        int depth, colorType, interlace, compression, filter;
    };
    for (const Bad& b : {Bad{16, 3, 0, 0, 0}, Bad{4, 2, 0, 0, 0}, Bad{2, 4, 0, 0, 0},
                         Bad{1, 6, 0, 0, 0}, Bad{3, 0, 0, 0, 0}, Bad{8, 5, 0, 0, 0},
                         Bad{8, 0, 2, 0, 0}, Bad{8, 0, 0, 1, 0}, Bad{8, 0, 0, 0, 1}}) {
        const Bytes file =
            png({ihdr(1, 1, b.depth, b.colorType, b.interlace, b.compression, b.filter),
                 chunk("IDAT", deflateBytes(Bytes(9, 0))), kIend});
        EXPECT_THROW(decode(file), CodecError) << b.depth << " " << b.colorType;
    }
}

TEST(PngReader, ChunkOrderRules)
{
    const Bytes idat = chunk("IDAT", deflateBytes(kGreyRows));
    const Bytes text = chunk("tEXt", {'a', 0, 'b'});
    const Bytes plte = chunk("PLTE", {1, 2, 3});

    RgbaImage image = decode(greyPng());
    EXPECT_EQ(image.pixels,
              (Bytes{10, 10, 10, 255, 20, 20, 20, 255, 30, 30, 30, 255, 40, 40, 40, 255}));
    // Unknown ancillary chunks are skipped, wherever they are.
    EXPECT_EQ(decode(png({ihdr(2, 2, 8, 0), chunk("prVt", {1}), idat, text, kIend})).pixels,
              image.pixels);
    // The zlib stream may be split anywhere across consecutive IDAT chunks.
    const Bytes stream = deflateBytes(kGreyRows);
    Bytes split = png({ihdr(2, 2, 8, 0)});
    for (std::uint8_t b : stream) {
        const Bytes one = chunk("IDAT", {b});
        split.insert(split.end(), one.begin(), one.end());
    }
    split.insert(split.end(), kIend.begin(), kIend.end());
    EXPECT_EQ(decode(split).pixels, image.pixels);
    // What follows IEND is not part of the file.
    Bytes trailing = greyPng();
    trailing.insert(trailing.end(), {'j', 'u', 'n', 'k'});
    EXPECT_NO_THROW(decode(trailing));

    const std::pair<const char*, Bytes> refused[] = {
        {"IDAT first", png({idat, ihdr(2, 2, 8, 0), kIend})},
        {"tEXt before IHDR", png({text, ihdr(2, 2, 8, 0), idat, kIend})},
        {"two IHDR", png({ihdr(2, 2, 8, 0), ihdr(2, 2, 8, 0), idat, kIend})},
        {"no IDAT", png({ihdr(2, 2, 8, 0), kIend})},
        {"no IEND", png({ihdr(2, 2, 8, 0), idat})},
        {"IDATs apart",
         png({ihdr(2, 2, 8, 0), chunk("IDAT", Bytes(stream.begin(), stream.begin() + 4)), text,
              chunk("IDAT", Bytes(stream.begin() + 4, stream.end())), kIend})},
        {"unknown critical chunk", png({ihdr(2, 2, 8, 0), chunk("ABCD", {}), idat, kIend})},
        {"palette image without PLTE", png({ihdr(2, 2, 8, 3), idat, kIend})},
        {"PLTE after IDAT", png({ihdr(2, 2, 8, 3), idat, plte, kIend})},
        {"PLTE in a grey image", png({ihdr(2, 2, 8, 0), plte, idat, kIend})},
        {"PLTE of bad length", png({ihdr(2, 2, 8, 3), chunk("PLTE", {1, 2}), idat, kIend})},
        {"chunk type not letters", png({ihdr(2, 2, 8, 0), chunk("ab1d", {}), idat, kIend})},
        {"IEND with data", png({ihdr(2, 2, 8, 0), idat, chunk("IEND", {0})})},
    };
    for (const auto& [what, file] : refused)
        EXPECT_THROW(decode(file), CodecError) << what;
}

TEST(PngReader, ImageDataMustBeCompleteAndSound)
{
    auto withRows = [](const Bytes& rows) {
        return png({ihdr(2, 2, 8, 0), chunk("IDAT", deflateBytes(rows)), kIend});
    };
    EXPECT_THROW(decode(withRows({0, 10, 20, 2, 20})), CodecError);     // one byte short
    EXPECT_THROW(decode(withRows({0, 10, 20, 5, 20, 20})), CodecError); // filter type 5
    EXPECT_NO_THROW(decode(withRows({0, 10, 20, 2, 20, 20, 7, 7, 7}))); // surplus is ignored

    Bytes badAdler = deflateBytes(kGreyRows);
    badAdler.back() ^= 1;
    EXPECT_THROW(decode(png({ihdr(2, 2, 8, 0), chunk("IDAT", badAdler), kIend})), CodecError);
    Bytes garbage = deflateBytes(kGreyRows);
    garbage[0] = 0x12; // not a zlib header
    EXPECT_THROW(decode(png({ihdr(2, 2, 8, 0), chunk("IDAT", garbage), kIend})), CodecError);

    // The rows are complete before the last IDAT, which holds only the Adler-32 trailer:
    // that trailer is still checked.
    const Bytes stream = deflateBytes(kGreyRows);
    const Bytes body(stream.begin(), stream.end() - 4);
    Bytes trailer(stream.end() - 4, stream.end());
    const Bytes split = png({ihdr(2, 2, 8, 0), chunk("IDAT", body), chunk("IDAT", trailer), kIend});
    EXPECT_EQ(decode(split).pixels, decode(greyPng()).pixels);
    trailer[2] ^= 0x40;
    EXPECT_THROW(
        decode(png({ihdr(2, 2, 8, 0), chunk("IDAT", body), chunk("IDAT", trailer), kIend})),
        CodecError);
}

TEST(PngReader, CrashersAreRefused)
{
    DecodeLimits limits;
    limits.maxSide = 16384;
    limits.maxPixels = 64'000'000;
    int crashers = 0;
    for (const auto& path : TestDataFiles("crashers/png")) {
        SCOPED_TRACE(path.string());
        const Bytes file = readFile(path);
        if (CrasherMayDecode(path)) {
            EXPECT_NO_THROW(decode(file, limits));
        } else {
            EXPECT_THROW(decode(file, limits), CodecError);
            EXPECT_THROW(decode(file), CodecError);
        }
        ++crashers;
    }
    EXPECT_GE(crashers, 5);
}

TEST(PngReader, ZlibBombIsNotInflatedPastThePicture)
{
    // 1 x 1 grey, then 64 MiB of zeros in the same stream: only the picture is inflated.
    z_stream z{};
    ASSERT_EQ(deflateInit(&z, 9), Z_OK);
    Bytes compressed(1 << 20);
    Bytes zeros(1 << 20, 0);
    zeros[1] = 77; // the one pixel, after its filter byte
    z.next_out = compressed.data();
    z.avail_out = static_cast<uInt>(compressed.size());
    for (int i = 0; i < 64; ++i) {
        z.next_in = zeros.data();
        z.avail_in = static_cast<uInt>(zeros.size());
        ASSERT_EQ(deflate(&z, i == 63 ? Z_FINISH : Z_NO_FLUSH), i == 63 ? Z_STREAM_END : Z_OK);
        zeros[1] = 0;
    }
    compressed.resize(z.total_out);
    deflateEnd(&z);
    // A broken checksum at the very end shows whether the surplus was inflated at all.
    compressed.back() ^= 1;

    const RgbaImage image = decode(png({ihdr(1, 1, 8, 0), chunk("IDAT", compressed), kIend}));
    EXPECT_EQ(image.pixels, (Bytes{77, 77, 77, 255}));
}

TEST(PngReader, ColourKeyIsComparedAtFullSampleDepth)
{
    // Two 16-bit RGB pixels with the same high bytes; only the first matches the key.
    const Bytes rows = {0, 0x12, 0x34, 0x56, 0x78, 0x9A, 0xBC, 0x12, 0x35, 0x56, 0x78, 0x9A, 0xBC};
    const Bytes file = png({ihdr(2, 1, 16, 2), chunk("tRNS", {0x12, 0x34, 0x56, 0x78, 0x9A, 0xBC}),
                            chunk("IDAT", deflateBytes(rows)), kIend});
    EXPECT_EQ(decode(file).pixels, (Bytes{0x12, 0x56, 0x9A, 0, 0x12, 0x56, 0x9A, 255}));

    // 2-bit grey: the key is the raw sample value 1 (shown as 85).
    const Bytes grey = png(
        {ihdr(4, 1, 2, 0), chunk("tRNS", {0, 1}), chunk("IDAT", deflateBytes({0, 0x1B})), kIend});
    EXPECT_EQ(decode(grey).pixels,
              (Bytes{0, 0, 0, 255, 85, 85, 85, 0, 170, 170, 170, 255, 255, 255, 255, 255}));
}

TEST(PngReader, GammaAppliesToColoursNotAlpha)
{
    // gAMA 100000: T[i] = R(255 (i/255)^(1/2.2)); T[64] = 136.3 -> 136, T[128] = 186.1 -> 186.
    const Bytes file = png({ihdr(1, 1, 8, 6), chunk("gAMA", {0, 0x01, 0x86, 0xA0}),
                            chunk("IDAT", deflateBytes({0, 64, 128, 255, 128})), kIend});
    EXPECT_EQ(decode(file).pixels, (Bytes{136, 186, 255, 128}));
    // A zero gAMA leaves colours unchanged.
    const Bytes zero = png({ihdr(1, 1, 8, 6), chunk("gAMA", {0, 0, 0, 0}),
                            chunk("IDAT", deflateBytes({0, 64, 128, 255, 128})), kIend});
    EXPECT_EQ(decode(zero).pixels, (Bytes{64, 128, 255, 128}));
}

TEST(PngReader, PaletteIndexPastThePaletteShowsBlack)
{
    const Bytes file = png({ihdr(2, 1, 8, 3), chunk("PLTE", {200, 100, 50}), chunk("tRNS", {9}),
                            chunk("IDAT", deflateBytes({0, 0, 7})), kIend});
    EXPECT_EQ(decode(file).pixels, (Bytes{200, 100, 50, 9, 0, 0, 0, 255}));
}

} // namespace
