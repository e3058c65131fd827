#include "pngjudge.h"

#include <png.h>

#include <array>
#include <cmath>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>

namespace {

void quietWarning(png_structp, png_const_charp) {}

struct RawPng {
    png_uint_32 width;
    png_uint_32 height;
    int depth;             // 8 or 16 after the transformations
    png_fixed_point gamma; // 0 without a usable gAMA
    unsigned char* pixels; // malloc'd, 4 samples per pixel
};

// Only plain C objects live here, so libpng's longjmp skips no destructor.
bool readRaw(std::FILE* file, RawPng* raw)
{
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, quietWarning);
    if (!png)
        return false;
    png_infop info = png_create_info_struct(png);
    unsigned char* volatile pixels = nullptr;
    png_bytep* volatile rows = nullptr;
    if (!info || setjmp(png_jmpbuf(png))) {
        std::free(pixels);
        std::free(rows);
        png_destroy_read_struct(&png, &info, nullptr);
        return false;
    }
    png_init_io(png, file);
    png_read_info(png, info);
    png_fixed_point gamma = 0;
    if (!png_get_gAMA_fixed(png, info, &gamma))
        gamma = 0;
    png_set_expand(png);
    png_set_gray_to_rgb(png);
    png_set_add_alpha(png, 0xFFFF, PNG_FILLER_AFTER);
    png_set_interlace_handling(png);
    png_read_update_info(png, info);
    const png_uint_32 width = png_get_image_width(png, info);
    const png_uint_32 height = png_get_image_height(png, info);
    const std::size_t rowBytes = png_get_rowbytes(png, info);
    pixels = static_cast<unsigned char*>(std::malloc(rowBytes * height));
    rows = static_cast<png_bytep*>(std::malloc(sizeof(png_bytep) * height));
    if (!pixels || !rows)
        png_error(png, "out of memory");
    for (png_uint_32 y = 0; y < height; ++y)
        rows[y] = pixels + y * rowBytes;
    png_read_image(png, rows);
    png_read_end(png, nullptr);
    raw->width = width;
    raw->height = height;
    raw->depth = png_get_bit_depth(png, info);
    raw->gamma = gamma;
    raw->pixels = pixels;
    std::free(rows);
    png_destroy_read_struct(&png, &info, nullptr);
    return true;
}

} // namespace

bool JudgePng(const std::string& path, JudgedPng& out)
{
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (!file)
        return false;
    RawPng raw{};
    const bool ok = readRaw(file, &raw);
    std::fclose(file);
    if (!ok)
        return false;

    std::array<std::uint8_t, 256> table{};
    for (int i = 0; i < 256; ++i) {
        double v = i;
        if (raw.gamma != 0)
            v = std::nearbyint(255.0 * std::pow(i / 255.0, 1.0 / (2.2 * (raw.gamma / 100000.0))));
        table[i] = static_cast<std::uint8_t>(v);
    }
    const int sampleBytes = raw.depth / 8;
    out.width = static_cast<int>(raw.width);
    out.height = static_cast<int>(raw.height);
    out.rgba.resize(std::size_t(raw.width) * raw.height * 4);
    for (std::size_t i = 0; i < out.rgba.size(); ++i) {
        const std::uint8_t high = raw.pixels[i * sampleBytes];
        out.rgba[i] = i % 4 == 3 ? high : table[high];
    }
    std::free(raw.pixels);
    return true;
}

std::vector<std::uint8_t> JudgeOverWhite(const JudgedPng& png)
{
    std::vector<std::uint8_t> rgb;
    rgb.reserve(png.rgba.size() / 4 * 3);
    for (std::size_t i = 0; i < png.rgba.size(); i += 4) {
        const int a = png.rgba[i + 3];
        for (int k = 0; k < 3; ++k)
            rgb.push_back(
                static_cast<std::uint8_t>((png.rgba[i + k] * a + (255 - a) * 255 + 255) / 256));
    }
    return rgb;
}
