#include "jpegmaker.h"

#include <cmath>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>

#include <jpeglib.h>

namespace {

struct Error {
    jpeg_error_mgr pub;
    std::jmp_buf jump;
};

void onError(j_common_ptr cinfo)
{
    std::longjmp(reinterpret_cast<Error*>(cinfo->err)->jump, 1);
}

void quiet(j_common_ptr, int) {}

// Plain C objects only: libjpeg may longjmp out of here.
bool compress(const JpegSource* source, int quality, bool progressive, unsigned char** out,
              unsigned long* size)
{
    jpeg_compress_struct cinfo;
    Error error;
    cinfo.err = jpeg_std_error(&error.pub);
    error.pub.error_exit = onError;
    error.pub.emit_message = quiet;
    if (setjmp(error.jump)) {
        jpeg_destroy_compress(&cinfo);
        return false;
    }
    jpeg_create_compress(&cinfo);
    jpeg_mem_dest(&cinfo, out, size);
    cinfo.image_width = static_cast<JDIMENSION>(source->width);
    cinfo.image_height = static_cast<JDIMENSION>(source->height);
    cinfo.input_components = source->components;
    cinfo.in_color_space = source->components == 1   ? JCS_GRAYSCALE
                           : source->components == 3 ? JCS_RGB
                                                     : JCS_CMYK;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, quality, TRUE);
    if (progressive)
        jpeg_simple_progression(&cinfo);
    jpeg_start_compress(&cinfo, TRUE);
    const std::size_t stride = std::size_t(source->width) * std::size_t(source->components);
    while (cinfo.next_scanline < cinfo.image_height) {
        JSAMPROW row = const_cast<JSAMPROW>(source->samples.data() + cinfo.next_scanline * stride);
        jpeg_write_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    return true;
}

bool decompress(const unsigned char* data, unsigned long size, unsigned char* out,
                std::size_t outSize)
{
    jpeg_decompress_struct cinfo;
    Error error;
    cinfo.err = jpeg_std_error(&error.pub);
    error.pub.error_exit = onError;
    error.pub.emit_message = quiet;
    if (setjmp(error.jump)) {
        jpeg_destroy_decompress(&cinfo);
        return false;
    }
    jpeg_create_decompress(&cinfo);
    jpeg_mem_src(&cinfo, data, size);
    jpeg_read_header(&cinfo, TRUE);
    cinfo.out_color_space = JCS_RGB;
    jpeg_start_decompress(&cinfo);
    const std::size_t stride = std::size_t(cinfo.output_width) * 3;
    if (stride * cinfo.output_height != outSize)
        longjmp(error.jump, 1);
    while (cinfo.output_scanline < cinfo.output_height) {
        JSAMPROW row = out + cinfo.output_scanline * stride;
        jpeg_read_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    return true;
}

int readDimension(const std::vector<std::uint8_t>& jpeg, bool wantWidth)
{
    // SOF0..SOF2 hold height then width after the precision byte.
    for (std::size_t i = 2; i + 9 < jpeg.size(); ++i)
        if (jpeg[i] == 0xFF &&
            (jpeg[i + 1] == 0xC0 || jpeg[i + 1] == 0xC1 || jpeg[i + 1] == 0xC2)) {
            const std::size_t at = i + 5 + (wantWidth ? 2 : 0);
            return jpeg[at] << 8 | jpeg[at + 1];
        }
    return 0;
}

} // namespace

JpegSource MakeJpegSource(int width, int height, int components)
{
    JpegSource source;
    source.width = width;
    source.height = height;
    source.components = components;
    source.samples.resize(std::size_t(width) * std::size_t(height) * std::size_t(components));
    std::size_t i = 0;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            for (int c = 0; c < components; ++c) {
                const double v = 128 + 60 * std::sin(x * 0.021 + c) + 50 * std::cos(y * 0.017 - c) +
                                 12 * std::sin((x + y) * 0.11 * (c + 1));
                source.samples[i++] =
                    static_cast<std::uint8_t>(std::lround(std::fmin(255, std::fmax(0, v))));
            }
    return source;
}

std::vector<std::uint8_t> EncodeJpeg(const JpegSource& source, int quality, bool progressive)
{
    unsigned char* out = nullptr;
    unsigned long size = 0;
    std::vector<std::uint8_t> bytes;
    if (compress(&source, quality, progressive, &out, &size))
        bytes.assign(out, out + size);
    std::free(out);
    return bytes;
}

std::vector<std::uint8_t> PlainJpegDecode(const std::vector<std::uint8_t>& jpeg)
{
    const int width = readDimension(jpeg, true);
    const int height = readDimension(jpeg, false);
    std::vector<std::uint8_t> pixels(std::size_t(width) * std::size_t(height) * 3);
    if (pixels.empty() || !decompress(jpeg.data(), jpeg.size(), pixels.data(), pixels.size()))
        pixels.clear();
    return pixels;
}
