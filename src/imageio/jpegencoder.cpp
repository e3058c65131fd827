#include "jpegencoder.h"

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <jerror.h>
#include <jpeglib.h>
#include <memory>
#include <string>

namespace {

constexpr int kMaxJpegSide = 65500;

// Output bytes collected with malloc/realloc: the compressor below may longjmp,
// so it holds plain C objects only.
struct JpegBuffer {
    unsigned char* data = nullptr;
    std::size_t capacity = 0;
    std::size_t size = 0;
};

struct Destination {
    jpeg_destination_mgr pub;
    JpegBuffer* buffer;
};

struct ErrorManager {
    jpeg_error_mgr pub;
    std::jmp_buf jump;
    char message[JMSG_LENGTH_MAX];
};

void initDestination(j_compress_ptr cinfo)
{
    auto* dest = reinterpret_cast<Destination*>(cinfo->dest);
    JpegBuffer* buf = dest->buffer;
    // About what quality 100 needs for a smooth picture, so that growth is rare.
    const std::size_t pixels = std::size_t(cinfo->image_width) * cinfo->image_height;
    buf->capacity = std::max<std::size_t>(pixels, 1 << 16);
    buf->data = static_cast<unsigned char*>(std::malloc(buf->capacity));
    if (!buf->data)
        ERREXIT1(cinfo, JERR_OUT_OF_MEMORY, 0);
    dest->pub.next_output_byte = buf->data;
    dest->pub.free_in_buffer = buf->capacity;
}

// Called when the whole buffer is full: double it and go on behind the old end.
boolean emptyOutputBuffer(j_compress_ptr cinfo)
{
    auto* dest = reinterpret_cast<Destination*>(cinfo->dest);
    JpegBuffer* buf = dest->buffer;
    const std::size_t grown = buf->capacity * 2;
    auto* data = static_cast<unsigned char*>(std::realloc(buf->data, grown));
    if (!data)
        ERREXIT1(cinfo, JERR_OUT_OF_MEMORY, 1);
    buf->data = data;
    dest->pub.next_output_byte = data + buf->capacity;
    dest->pub.free_in_buffer = grown - buf->capacity;
    buf->capacity = grown;
    return TRUE;
}

void termDestination(j_compress_ptr cinfo)
{
    auto* dest = reinterpret_cast<Destination*>(cinfo->dest);
    dest->buffer->size = dest->buffer->capacity - dest->pub.free_in_buffer;
}

[[noreturn]] void errorExit(j_common_ptr cinfo)
{
    auto* err = reinterpret_cast<ErrorManager*>(cinfo->err);
    (*cinfo->err->format_message)(cinfo, err->message);
    std::longjmp(err->jump, 1);
}

void silentMessage(j_common_ptr) {}

// All libjpeg work. False with `message` set on failure; `out` then holds nothing.
bool compressJpeg(const ImageView* image, JpegBuffer* out, char* message)
{
    jpeg_compress_struct cinfo;
    ErrorManager err;
    Destination dest;
    cinfo.err = jpeg_std_error(&err.pub);
    err.pub.error_exit = errorExit;
    err.pub.output_message = silentMessage;
    err.message[0] = '\0';
    if (setjmp(err.jump)) {
        jpeg_destroy_compress(&cinfo);
        std::free(out->data);
        out->data = nullptr;
        out->size = out->capacity = 0;
        std::snprintf(message, JMSG_LENGTH_MAX, "%s", err.message);
        return false;
    }
    jpeg_create_compress(&cinfo);
    dest.pub.init_destination = initDestination;
    dest.pub.empty_output_buffer = emptyOutputBuffer;
    dest.pub.term_destination = termDestination;
    dest.buffer = out;
    cinfo.dest = &dest.pub;

    cinfo.image_width = static_cast<JDIMENSION>(image->width);
    cinfo.image_height = static_cast<JDIMENSION>(image->height);
    cinfo.input_components = 3;
    cinfo.in_color_space = JCS_RGB;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, 100, TRUE);
    jpeg_start_compress(&cinfo, TRUE);
    while (cinfo.next_scanline < cinfo.image_height) {
        // libjpeg only reads the rows it is given.
        JSAMPROW row = const_cast<JSAMPROW>(image->data + cinfo.next_scanline * image->stride);
        jpeg_write_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    return true;
}

} // namespace

std::vector<std::uint8_t> EncodeJpeg(const ImageView& image)
{
    CheckImageView(image, kMaxJpegSide, "JPEG");

    JpegBuffer buffer;
    char message[JMSG_LENGTH_MAX];
    if (!compressJpeg(&image, &buffer, message))
        throw CodecError(std::string("JPEG compression failed: ") + message);
    const std::unique_ptr<unsigned char, decltype(&std::free)> owner(buffer.data, &std::free);
    return std::vector<std::uint8_t>(buffer.data, buffer.data + buffer.size);
}
