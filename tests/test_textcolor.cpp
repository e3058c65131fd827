// Text in a colour whose red, green and blue all differ, from the canvas through every
// writer, each file read back by an outside decoder: a swapped channel anywhere shows.
#include "imageio/imageunit.h"
#include "jpegmaker.h"
#include "pngjudge.h"
#include "render/picturecanvas.h"

#include <QGuiApplication>
#include <gif_lib.h>
#include <gtest/gtest.h>

#include <array>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

using Bytes = std::vector<std::uint8_t>;
using Rgb = std::array<int, 3>;

constexpr Color kInk = 0x2080F0; // red F0, green 80, blue 20
constexpr Rgb kInkRgb = {0xF0, 0x80, 0x20};
constexpr Rgb kSwapped = {0x20, 0x80, 0xF0};
constexpr int kWidth = 160;
constexpr int kHeight = 64;

Bytes readFile(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return Bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// Pixels, 3 bytes each, whose channels are all within `tolerance` of `c`.
int countNear(const Bytes& rgb, Rgb c, int tolerance)
{
    int n = 0;
    for (std::size_t i = 0; i + 2 < rgb.size(); i += 3)
        n += std::abs(rgb[i] - c[0]) <= tolerance && std::abs(rgb[i + 1] - c[1]) <= tolerance &&
             std::abs(rgb[i + 2] - c[2]) <= tolerance;
    return n;
}

Bytes pixelsOf(const Picture& p)
{
    Bytes out;
    for (int y = 0; y < p.height(); ++y)
        out.insert(out.end(), p.row(y), p.row(y) + p.width() * 3);
    return out;
}

// A 24-bit BMP read by hand: rows bottom-up, blue first, padded to four bytes.
Bytes readBmp(const Bytes& file, int width, int height)
{
    Bytes out;
    const std::size_t offset = file[10] | file[11] << 8 | file[12] << 16;
    const std::size_t rowBytes = (std::size_t(width) * 3 + 3) / 4 * 4;
    if (file.size() < offset + rowBytes * std::size_t(height))
        return out;
    for (int y = height - 1; y >= 0; --y)
        for (int x = 0; x < width; ++x) {
            const std::uint8_t* p = file.data() + offset + std::size_t(y) * rowBytes + x * 3;
            out.insert(out.end(), {p[2], p[1], p[0]});
        }
    return out;
}

Bytes readGif(const std::string& path)
{
    int error = 0;
    GifFileType* gif = DGifOpenFileName(path.c_str(), &error);
    Bytes out;
    if (!gif)
        return out;
    if (DGifSlurp(gif) == GIF_OK && gif->ImageCount > 0) {
        const SavedImage& frame = gif->SavedImages[0];
        const ColorMapObject* map =
            frame.ImageDesc.ColorMap ? frame.ImageDesc.ColorMap : gif->SColorMap;
        const int count = frame.ImageDesc.Width * frame.ImageDesc.Height;
        for (int i = 0; map && i < count; ++i) {
            const GifColorType& c = map->Colors[frame.RasterBits[i] % map->ColorCount];
            out.insert(out.end(), {c.Red, c.Green, c.Blue});
        }
    }
    DGifCloseFile(gif, &error);
    return out;
}

TEST(TextColor, ChannelsKeepTheirOrderThroughTheCanvasAndEveryWriter)
{
    if (!QGuiApplication::instance()) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        static int argc = 1;
        static char name[] = "test_textcolor";
        static char* argv[] = {name, nullptr};
        new QGuiApplication(argc, argv); // kept: fonts must not outlive it
    }
    Picture picture(kWidth, kHeight);
    {
        PictureCanvas canvas(picture);
        canvas.fillRect({0, 0, kWidth, kHeight}, 0x000000);
        canvas.selectFont("", 56, true);
        canvas.drawText(4, 4, "HHH", kInk);
    }
    const Bytes drawn = pixelsOf(picture);
    const int ink = countNear(drawn, kInkRgb, 0);
    ASSERT_GT(ink, 500) << "the text's own colour fills its strokes";
    EXPECT_EQ(countNear(drawn, kSwapped, 40), 0);

    const fs::path dir = fs::path(::testing::TempDir()) / ("textcolor_" + std::to_string(getpid()));
    fs::create_directories(dir);
    struct Writer {
        const char* file;
        bool (*save)(const std::string&, const Picture&);
    };
    for (const Writer& w : {Writer{"menu.bmp", SaveAsBMP}, Writer{"menu.png", SaveAsPNG},
                            Writer{"menu.gif", SaveAsGIF}, Writer{"menu.jpg", SaveAsJPG}}) {
        SCOPED_TRACE(w.file);
        const std::string path = (dir / w.file).string();
        ASSERT_TRUE(w.save(path, picture));
        const std::string ext = fs::path(path).extension().string();
        Bytes back;
        if (ext == ".bmp") {
            back = readBmp(readFile(path), kWidth, kHeight);
        } else if (ext == ".png") {
            JudgedPng png;
            ASSERT_TRUE(JudgePng(path, png));
            back = JudgeOverWhite(png);
        } else if (ext == ".gif") {
            back = readGif(path);
        } else {
            back = PlainJpegDecode(readFile(path));
        }
        ASSERT_EQ(back.size(), drawn.size());
        if (ext == ".bmp" || ext == ".png") {
            EXPECT_TRUE(back == drawn) << "lossless writers keep every pixel";
        } else if (ext == ".gif") {
            // The palette may merge the anti-aliased edges, not the strokes.
            EXPECT_GE(countNear(back, kInkRgb, 4), ink * 9 / 10);
            EXPECT_EQ(countNear(back, kSwapped, 40), 0);
        } else {
            EXPECT_GT(countNear(back, kInkRgb, 40), ink / 2);
            EXPECT_EQ(countNear(back, kSwapped, 40), 0);
        }
    }
    fs::remove_all(dir);
}

} // namespace
