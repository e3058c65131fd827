#include "base/fileio.h"
#include "base/memorybudget.h"
#include "codecs/pngreader.h"
#include "imageio/imageunit.h"
#include "imageio/jpegreader.h"
#include "imageio/picturereadreason.h"
#include "jpegmaker.h"
#include "pngjudge.h"
#include "testdata.h"

#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

using Bytes = std::vector<std::uint8_t>;

const fs::path kSuite = TestDataPath("pngsuite/png");

Bytes readFile(const fs::path& path)
{
    return ReadTestFile(path);
}

Bytes pixelsOf(const Picture& picture)
{
    Bytes out;
    for (int y = 0; y < picture.height(); ++y)
        out.insert(out.end(), picture.row(y), picture.row(y) + picture.width() * 3);
    return out;
}

Picture filled(int width, int height, std::uint8_t r, std::uint8_t g, std::uint8_t b)
{
    Picture picture(width, height);
    picture.fill(r, g, b);
    return picture;
}

class LoadPictureFileTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_dir =
            fs::temp_directory_path() /
            ("tavrel-load-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
             "-" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(m_dir);
    }
    void TearDown() override { fs::remove_all(m_dir); }

    std::string write(const std::string& name, const Bytes& bytes)
    {
        const fs::path path = m_dir / name;
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()),
                   static_cast<std::streamsize>(bytes.size()));
        return path.string();
    }

    fs::path m_dir;
};

TEST_F(LoadPictureFileTest, PngSuiteComesOutOverWhite)
{
    int loaded = 0;
    for (const auto& path : TestDataFiles("pngsuite/png")) {
        const std::string name = path.filename().string();
        SCOPED_TRACE(name);
        Picture target;
        if (name[0] == 'x') {
            Picture before = filled(3, 2, 9, 8, 7);
            target = before;
            EXPECT_FALSE(LoadPictureFile(path.string(), target));
            EXPECT_TRUE(target.samePixels(before));
            continue;
        }
        JudgedPng expected;
        ASSERT_TRUE(JudgePng(path.string(), expected));
        ASSERT_TRUE(LoadPictureFile(path.string(), target));
        ASSERT_EQ(target.width(), expected.width);
        ASSERT_EQ(target.height(), expected.height);
        EXPECT_TRUE(pixelsOf(target) == JudgeOverWhite(expected));
        ++loaded;
    }
    EXPECT_GE(loaded, 150);
}

TEST_F(LoadPictureFileTest, TransparencyShowsWhatTheTargetHeld)
{
    // 32 x 32 RGBA; the old 40 x 10 picture shows through its top rows, white below.
    const fs::path file = kSuite / "basn6a08.png";
    JudgedPng png;
    ASSERT_TRUE(JudgePng(file.string(), png));
    Picture target = filled(40, 10, 10, 200, 90);
    ASSERT_TRUE(LoadPictureFile(file.string(), target));
    ASSERT_EQ(target.width(), 32);
    ASSERT_EQ(target.height(), 32);
    int blended = 0;
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 32; ++x) {
            const std::uint8_t* s = &png.rgba[(std::size_t(y) * 32 + std::size_t(x)) * 4];
            const int a = s[3];
            const std::uint8_t old[3] = {10, 200, 90};
            for (int k = 0; k < 3; ++k) {
                const int d = y < 10 ? old[k] : 255;
                ASSERT_EQ(target.pixel(x, y)[k], (s[k] * a + (255 - a) * d + 255) / 256)
                    << x << "," << y;
            }
            blended += a > 0 && a < 255;
        }
    EXPECT_GT(blended, 100);
}

TEST_F(LoadPictureFileTest, ExtensionAloneChoosesTheReader)
{
    const Bytes jpeg = EncodeJpeg(MakeJpegSource(50, 30, 3), 90, false);
    const Bytes png = readFile(kSuite / "basn2c08.png");
    const Picture expected = DecodeJpeg(jpeg);

    for (const char* name : {"upper.JPG", "long.jpeg", "mixed.JpEg"}) {
        Picture target = filled(80, 80, 1, 2, 3);
        EXPECT_TRUE(LoadPictureFile(write(name, jpeg), target)) << name;
        EXPECT_TRUE(target.samePixels(expected)) << name;
    }

    const Picture before = filled(7, 5, 1, 2, 3);
    const std::pair<const char*, const Bytes*> refused[] = {
        {"short.jpe", &jpeg}, {"photo.tif", &jpeg}, {"noextension", &jpeg}, {"png.jpg", &png},
        {"jpeg.png", &jpeg},  {"jpeg.gif", &jpeg},  {"jpeg.bmp", &jpeg},    {"trailingdot.", &jpeg},
    };
    for (const auto& [name, bytes] : refused) {
        Picture target = before;
        EXPECT_FALSE(LoadPictureFile(write(name, *bytes), target)) << name;
        EXPECT_TRUE(target.samePixels(before)) << name;
    }
    // The dot must be in the file-name part, not in a folder name.
    fs::create_directories(m_dir / "folder.png");
    Picture target = before;
    EXPECT_FALSE(LoadPictureFile(write("folder.png/picture", png), target));
    EXPECT_FALSE(LoadPictureFile((m_dir / "missing.png").string(), target));
    EXPECT_FALSE(LoadPictureFile("", target));
    EXPECT_TRUE(target.samePixels(before));
}

TEST_F(LoadPictureFileTest, DamagedFileLeavesTheTargetAlone)
{
    const Bytes png = readFile(kSuite / "basn2c08.png");
    const Bytes jpeg = EncodeJpeg(MakeJpegSource(50, 30, 3), 90, true);
    const Picture before = filled(9, 4, 50, 60, 70);
    for (std::size_t cut : {png.size() / 2, png.size() - 1}) {
        Picture target = before;
        EXPECT_FALSE(
            LoadPictureFile(write("cut.png", Bytes(png.begin(), png.begin() + long(cut))), target));
        EXPECT_TRUE(target.samePixels(before));
    }
    Picture target = before;
    EXPECT_FALSE(LoadPictureFile(write("cut.jpg", Bytes(jpeg.begin(), jpeg.end() - 40)), target));
    EXPECT_TRUE(target.samePixels(before));
}

TEST_F(LoadPictureFileTest, FailuresSayWhyInPlainWords)
{
    ASSERT_TRUE(SaveAsPNG((m_dir / "made.png").string(), filled(20, 10, 9, 80, 200)));
    Bytes png = readFile(m_dir / "made.png");
    // One flipped bit in the first IDAT's data breaks that chunk's CRC.
    const auto idat = std::search(png.begin(), png.end(), std::begin("IDAT"), std::end("IDAT") - 1);
    ASSERT_NE(idat, png.end());
    idat[6] ^= 0x01;
    fs::create_directories(m_dir / "folder.png");
    const std::pair<std::string, std::string> cases[] = {
        {write("x.png", png), "the file is damaged (CRC error in IDAT chunk)"},
        {(m_dir / "missing.gif").string(), "the file does not exist"},
        {(m_dir / "folder.png").string(), "it is not a file"},
        {write("notes.txt", png), "it is not a BMP, GIF, JPEG or PNG picture"},
    };
    for (const auto& [path, why] : cases) {
        Picture target;
        std::string reason;
        EXPECT_FALSE(LoadPictureFile(path, target, reason)) << path;
        EXPECT_EQ(reason, why) << path;
    }
    EXPECT_EQ(PictureFailureMessage("/a/b/x.png", "the file is damaged (CRC error in IDAT)"),
              "Cannot read picture x.png: the file is damaged (CRC error in IDAT).");
    EXPECT_EQ(FileNameOf("C:\\Movies\\clip.mpg"), "clip.mpg");
}

TEST_F(LoadPictureFileTest, SmallerPictureLeavesExactlyItsSize)
{
    Picture target = filled(300, 200, 0, 0, 0);
    ASSERT_TRUE(LoadPictureFile(write("small.png", readFile(kSuite / "basn2c08.png")), target));
    EXPECT_EQ(target.width(), 32);
    EXPECT_EQ(target.height(), 32);
    const RgbaImage expected = DecodePng(readFile(kSuite / "basn2c08.png"));
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 32; ++x)
            for (int k = 0; k < 3; ++k)
                ASSERT_EQ(target.pixel(x, y)[k],
                          expected.pixels[(std::size_t(y) * 32 + std::size_t(x)) * 4 + k]);

    const Bytes jpeg = EncodeJpeg(MakeJpegSource(20, 10, 1), 90, false);
    ASSERT_TRUE(LoadPictureFile(write("grey.jpg", jpeg), target));
    EXPECT_EQ(target.width(), 20);
    EXPECT_EQ(target.height(), 10);
    for (int y = 0; y < 10; ++y)
        for (int x = 0; x < 20; ++x)
            EXPECT_TRUE(target.pixel(x, y)[0] == target.pixel(x, y)[1] &&
                        target.pixel(x, y)[1] == target.pixel(x, y)[2]);
}

TEST_F(LoadPictureFileTest, BmpReplacesTheTarget)
{
    // 2 x 2, 24 bits, bottom-up rows of B,G,R padded to 8 bytes.
    const Bytes bmp = {
        'B', 'M', 70, 0,  0,  0,  0, 0,  0, 0, 54, 0, 0, 0,  40, 0, 0, 0, 2, 0, 0,
        0,   2,   0,  0,  0,  1,  0, 24, 0, 0, 0,  0, 0, 16, 0,  0, 0, 0, 0, 0, 0,
        0,   0,   0,  0,  0,  0,  0, 0,  0, 0, 0,  0, 1, 2,  3,  4, 5, 6, 0, 0, // bottom row
        7,   8,   9,  10, 11, 12, 0, 0};                                        // top row
    Picture target = filled(5, 5, 200, 200, 200);
    ASSERT_TRUE(LoadPictureFile(write("tiny.BMP", bmp), target));
    EXPECT_EQ(pixelsOf(target), (Bytes{9, 8, 7, 12, 11, 10, 3, 2, 1, 6, 5, 4}));
}

TEST_F(LoadPictureFileTest, GifTransparentPixelsKeepTheTarget)
{
    // GIF89a, 2 x 1, two colours, index 1 transparent; pixels 0, 1.
    const Bytes gif = {'G', 'I', 'F', '8', '9',  'a',  2, 0, 1, 0,    0x80, 0, 0,    200, 10,
                       10,  0,   0,   255, 0x21, 0xF9, 4, 1, 0, 0,    1,    0, 0x2C, 0,   0,
                       0,   0,   2,   0,   1,    0,    0, 2, 2, 0x44, 0x0A, 0, 0x3B};
    Picture target = filled(3, 3, 1, 2, 3);
    ASSERT_TRUE(LoadPictureFile(write("tiny.gif", gif), target));
    EXPECT_EQ(pixelsOf(target), (Bytes{200, 10, 10, 1, 2, 3}));
}

} // namespace

namespace {

void put32be(Bytes& out, std::uint32_t v)
{
    for (int shift = 24; shift >= 0; shift -= 8)
        out.push_back(static_cast<std::uint8_t>(v >> shift));
}

void appendChunk(Bytes& png, const char* type, const Bytes& data)
{
    put32be(png, static_cast<std::uint32_t>(data.size()));
    Bytes body(type, type + 4);
    body.insert(body.end(), data.begin(), data.end());
    png.insert(png.end(), body.begin(), body.end());
    put32be(png, static_cast<std::uint32_t>(crc32(0, body.data(), static_cast<uInt>(body.size()))));
}

// An 8-bit RGB PNG whose pixel (x, y) is (x, y, x + y) mod 256, deflated row by row at
// level 1 so that even 100 megapixels take a moment; `rows` 0 writes the header alone.
Bytes gradientPng(std::uint32_t width, std::uint32_t height, std::uint32_t rows)
{
    Bytes png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    Bytes ihdr;
    put32be(ihdr, width);
    put32be(ihdr, height);
    ihdr.insert(ihdr.end(), {8, 2, 0, 0, 0});
    appendChunk(png, "IHDR", ihdr);
    if (rows == 0)
        return png;
    z_stream z{};
    deflateInit(&z, 1);
    Bytes idat, row(1 + std::size_t(width) * 3), out(1 << 20);
    for (std::uint32_t y = 0; y <= rows; ++y) {
        if (y < rows)
            for (std::uint32_t x = 0; x < width; ++x) {
                row[1 + 3 * x] = static_cast<std::uint8_t>(x);
                row[2 + 3 * x] = static_cast<std::uint8_t>(y);
                row[3 + 3 * x] = static_cast<std::uint8_t>(x + y);
            }
        z.next_in = row.data();
        z.avail_in = y < rows ? static_cast<uInt>(row.size()) : 0;
        int r;
        do {
            z.next_out = out.data();
            z.avail_out = static_cast<uInt>(out.size());
            r = deflate(&z, y < rows ? Z_NO_FLUSH : Z_FINISH);
            idat.insert(idat.end(), out.begin(), out.end() - z.avail_out);
        } while (z.avail_out == 0 || (y == rows && r != Z_STREAM_END));
    }
    deflateEnd(&z);
    appendChunk(png, "IDAT", idat);
    appendChunk(png, "IEND", {});
    return png;
}

// Peak memory (KB) of a child process that loads `path`; -1 when the load failed.
long peakOfLoadInChild(const std::string& path)
{
    const pid_t child = ::fork();
    if (child == 0) {
        Picture picture;
        ::_exit(LoadPictureFile(path, picture) ? 0 : 1);
    }
    int status = 0;
    rusage usage{};
    ::wait4(child, &status, 0, &usage);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? usage.ru_maxrss : -1;
}

} // namespace

TEST_F(LoadPictureFileTest, LargeRealPicturesLoadAndTooLargeOnesAreRefused)
{
    // 100 megapixels still load, in well under the 1.5 GB budget.
    const std::string big = write("big.png", gradientPng(10000, 10000, 10000));
    const long peakKb = peakOfLoadInChild(big);
    EXPECT_GT(peakKb, 0);
    EXPECT_LT(peakKb, 700 * 1024);
    Picture picture;
    std::string why;
    ASSERT_TRUE(LoadPictureFile(big, picture, why)) << why;
    EXPECT_EQ(picture.width(), 10000);
    EXPECT_EQ(picture.height(), 10000);
    for (const auto& [x, y] : {std::pair{0, 0}, {9999, 9999}, {1234, 8765}}) {
        const std::uint8_t* p = picture.pixel(x, y);
        EXPECT_EQ(p[0], std::uint8_t(x));
        EXPECT_EQ(p[1], std::uint8_t(y));
        EXPECT_EQ(p[2], std::uint8_t(x + y));
    }
    picture.clear();

    // 200 megapixels are refused from the header, whatever follows.
    const std::string huge = write("huge.png", gradientPng(20000, 10000, 0));
    EXPECT_FALSE(LoadPictureFile(huge, picture, why));
    EXPECT_EQ(why, "the picture is too large: 20000 x 10000 pixels (at most 179 megapixels)");
    EXPECT_TRUE(picture.isEmpty());
}

TEST_F(LoadPictureFileTest, RealProgressivePhotoLoadsAndScanFloodsAreStopped)
{
    const Bytes photo = EncodeJpeg(MakeJpegSource(6000, 4000, 3), 85, true);
    Picture picture;
    std::string why;
    ASSERT_TRUE(LoadPictureFile(write("photo.jpg", photo), picture, why)) << why;
    EXPECT_EQ(picture.width(), 6000);
    EXPECT_EQ(picture.height(), 4000);

    // The budgets themselves, on a small picture with libjpeg's ten scans.
    const Bytes small = EncodeJpeg(MakeJpegSource(200, 100, 3), 85, true);
    DecodeLimits limits;
    limits.maxScanPixels = 200 * 100 * 3;
    try {
        DecodeJpeg(small, limits);
        FAIL() << "decoded";
    } catch (const CodecError& e) {
        EXPECT_EQ(std::string(e.what()), "JPEG: too many scans for the picture's size");
    }
    limits = {};
    limits.timeBudgetMs = 0;
    try {
        DecodeJpeg(small, limits);
        FAIL() << "decoded";
    } catch (const CodecError& e) {
        EXPECT_EQ(std::string(e.what()), "JPEG: decoding took too long");
    }
    EXPECT_EQ(DecodeJpeg(small).width(), 200);
}

TEST_F(LoadPictureFileTest, RunBudgetRefusesALoadThatWouldPassIt)
{
    const std::string path = write("mid.png", gradientPng(1000, 1000, 1000));
    Picture kept = filled(2000, 1000, 1, 2, 3); // 6 MB held by the run
    const std::uint64_t before = MemoryBudget::inUse();
    EXPECT_GE(before, 6'000'000u);
    MemoryBudget::setLimit(before + 4'000'000); // the load needs 4 + 3 MB (file, decoded, picture)
    Picture target = filled(3, 3, 9, 9, 9);
    std::string why;
    EXPECT_FALSE(LoadPictureFile(path, target, why));
    EXPECT_TRUE(why.starts_with("the picture needs 7 MB and only 4 MB of the ")) << why;
    EXPECT_EQ(target.width(), 3);
    kept.clear();
    EXPECT_TRUE(LoadPictureFile(path, target, why)) << why; // room again
    MemoryBudget::setLimit(MemoryBudget::kDefaultLimit);
    EXPECT_EQ(target.width(), 1000);
}

TEST_F(LoadPictureFileTest, ThumbnailsAboveSixteenMegapixelsAreKeptReduced)
{
    Picture thumb;
    std::string why;
    ASSERT_TRUE(LoadThumbnailPicture(write("wide.png", gradientPng(6000, 3000, 3000)), thumb, why));
    EXPECT_LE(std::uint64_t(thumb.width()) * std::uint64_t(thumb.height()), 16'000'000u);
    EXPECT_GT(std::uint64_t(thumb.width()) * std::uint64_t(thumb.height()), 15'900'000u);
    EXPECT_NEAR(double(thumb.width()) / thumb.height(), 2.0, 0.002);

    ASSERT_TRUE(
        LoadThumbnailPicture(write("exact.png", gradientPng(4000, 4000, 4000)), thumb, why));
    EXPECT_EQ(thumb.width(), 4000);
    EXPECT_EQ(thumb.height(), 4000);
    EXPECT_EQ(thumb.pixel(3999, 17)[0], std::uint8_t(3999));
}
