// Our PNG reader against libpng, and our JPEG reader against a bare libjpeg decode, on a
// 1920 x 1080 photograph-like picture. Goals: PNG within 1.3x of libpng, JPEG within 1.2x.
// The whole loader (open, header judged before the body, budget, read, decode) from a file
// against the decoder alone (which leaves RGBA still to become our RGB picture): goal
// within 1.2x.
#include "codecs/pngreader.h"
#include "imageio/imageunit.h"
#include "imageio/jpegreader.h"

#include <benchmark/benchmark.h>
#include <png.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <random>
#include <stdexcept>
#include <string>
#include <unistd.h>
#include <vector>

#include <jpeglib.h>

namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr int kWidth = 1920;
constexpr int kHeight = 1080;

// Smooth shapes with gentle sensor-like noise: compresses about as well as a photograph.
const Bytes& photo()
{
    static const Bytes pixels = [] {
        Bytes rgb(std::size_t(kWidth) * kHeight * 3);
        std::mt19937 random(7);
        std::normal_distribution<double> noise(0.0, 2.5);
        std::size_t i = 0;
        for (int y = 0; y < kHeight; ++y)
            for (int x = 0; x < kWidth; ++x)
                for (int c = 0; c < 3; ++c) {
                    const double v =
                        120 + 70 * std::sin(x * 0.004 + c * 0.9) * std::cos(y * 0.006 - c) +
                        30 * std::sin(std::hypot(x - 900.0, y - 500.0) * 0.03) + noise(random);
                    rgb[i++] =
                        static_cast<std::uint8_t>(std::lround(std::fmin(255, std::fmax(0, v))));
                }
        return rgb;
    }();
    return pixels;
}

void appendPng(png_structp png, png_bytep data, png_size_t size)
{
    auto* out = static_cast<Bytes*>(png_get_io_ptr(png));
    out->insert(out->end(), data, data + size);
}

void noFlush(png_structp) {}

const Bytes& pngFile()
{
    static const Bytes file = [] {
        Bytes out;
        png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
        png_infop info = png_create_info_struct(png);
        if (setjmp(png_jmpbuf(png)))
            std::abort();
        png_set_write_fn(png, &out, appendPng, noFlush);
        png_set_IHDR(png, info, kWidth, kHeight, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                     PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
        png_write_info(png, info);
        for (int y = 0; y < kHeight; ++y)
            png_write_row(png, photo().data() + std::size_t(y) * kWidth * 3);
        png_write_end(png, info);
        png_destroy_write_struct(&png, &info);
        return out;
    }();
    return file;
}

struct PngInput {
    const Bytes* file;
    std::size_t pos;
};

void readPng(png_structp png, png_bytep data, png_size_t size)
{
    auto* in = static_cast<PngInput*>(png_get_io_ptr(png));
    if (in->file->size() - in->pos < size)
        png_error(png, "truncated");
    std::memcpy(data, in->file->data() + in->pos, size);
    in->pos += size;
}

void libpngDecode(const Bytes& file, Bytes& rgb)
{
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png)))
        std::abort();
    PngInput input{&file, 0};
    png_set_read_fn(png, &input, readPng);
    png_read_info(png, info);
    const std::size_t stride = png_get_rowbytes(png, info);
    for (png_uint_32 y = 0; y < png_get_image_height(png, info); ++y)
        png_read_row(png, rgb.data() + y * stride, nullptr);
    png_read_end(png, nullptr);
    png_destroy_read_struct(&png, &info, nullptr);
}

const Bytes& jpegFile()
{
    static const Bytes file = [] {
        jpeg_compress_struct cinfo;
        jpeg_error_mgr error;
        cinfo.err = jpeg_std_error(&error);
        jpeg_create_compress(&cinfo);
        unsigned char* out = nullptr;
        unsigned long size = 0;
        jpeg_mem_dest(&cinfo, &out, &size);
        cinfo.image_width = kWidth;
        cinfo.image_height = kHeight;
        cinfo.input_components = 3;
        cinfo.in_color_space = JCS_RGB;
        jpeg_set_defaults(&cinfo);
        jpeg_set_quality(&cinfo, 90, TRUE);
        jpeg_start_compress(&cinfo, TRUE);
        while (cinfo.next_scanline < cinfo.image_height) {
            JSAMPROW row = const_cast<JSAMPROW>(photo().data() +
                                                std::size_t(cinfo.next_scanline) * kWidth * 3);
            jpeg_write_scanlines(&cinfo, &row, 1);
        }
        jpeg_finish_compress(&cinfo);
        jpeg_destroy_compress(&cinfo);
        Bytes bytes(out, out + size);
        std::free(out);
        return bytes;
    }();
    return file;
}

// What djpeg's library work amounts to: default settings, RGB scanlines into one buffer.
void libjpegDecode(const Bytes& file, Bytes& rgb)
{
    jpeg_decompress_struct cinfo;
    jpeg_error_mgr error;
    cinfo.err = jpeg_std_error(&error);
    jpeg_create_decompress(&cinfo);
    jpeg_mem_src(&cinfo, file.data(), static_cast<unsigned long>(file.size()));
    jpeg_read_header(&cinfo, TRUE);
    jpeg_start_decompress(&cinfo);
    const std::size_t stride = std::size_t(cinfo.output_width) * 3;
    while (cinfo.output_scanline < cinfo.output_height) {
        JSAMPROW row = rgb.data() + cinfo.output_scanline * stride;
        jpeg_read_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
}

void BM_PngOurs(benchmark::State& state)
{
    const Bytes& file = pngFile();
    for (auto _ : state) {
        RgbaImage image = DecodePng(file);
        benchmark::DoNotOptimize(image.pixels.data());
    }
    state.counters["file_kb"] = double(file.size()) / 1024;
}

void BM_PngLibpng(benchmark::State& state)
{
    const Bytes& file = pngFile();
    Bytes rgb(std::size_t(kWidth) * kHeight * 3);
    for (auto _ : state) {
        libpngDecode(file, rgb);
        benchmark::DoNotOptimize(rgb.data());
    }
}

void BM_JpegOurs(benchmark::State& state)
{
    const Bytes& file = jpegFile();
    for (auto _ : state) {
        Picture picture = DecodeJpeg(file);
        benchmark::DoNotOptimize(picture.data());
    }
    state.counters["file_kb"] = double(file.size()) / 1024;
}

void BM_JpegLibjpeg(benchmark::State& state)
{
    const Bytes& file = jpegFile();
    Bytes rgb(std::size_t(kWidth) * kHeight * 3);
    for (auto _ : state) {
        libjpegDecode(file, rgb);
        benchmark::DoNotOptimize(rgb.data());
    }
}

// The bytes as a file in the temporary folder, removed at exit.
std::string fileOf(const Bytes& bytes, const char* extension)
{
    const std::string path = "/tmp/tavrel-bench-" + std::to_string(::getpid()) + extension;
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    static std::vector<std::string> made;
    if (made.empty())
        std::atexit([] {
            for (const std::string& file : made)
                std::remove(file.c_str());
        });
    made.push_back(path);
    return path;
}

void BM_LoadPictureFilePng(benchmark::State& state)
{
    const std::string path = fileOf(pngFile(), ".png");
    Picture picture;
    for (auto _ : state) {
        if (!LoadPictureFile(path, picture))
            state.SkipWithError("load failed");
        benchmark::DoNotOptimize(picture.data());
    }
}

void BM_LoadPictureFileJpeg(benchmark::State& state)
{
    const std::string path = fileOf(jpegFile(), ".jpg");
    Picture picture;
    for (auto _ : state) {
        if (!LoadPictureFile(path, picture))
            state.SkipWithError("load failed");
        benchmark::DoNotOptimize(picture.data());
    }
}

} // namespace

BENCHMARK(BM_LoadPictureFilePng)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadPictureFileJpeg)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PngOurs)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PngLibpng)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_JpegOurs)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_JpegLibjpeg)->Unit(benchmark::kMillisecond);
