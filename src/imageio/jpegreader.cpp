#include "jpegreader.h"

#include <algorithm>
#include <chrono>
#include <climits>
#include <csetjmp>
#include <cstddef>
#include <cstdio> // jpeglib.h needs FILE and size_t first
#include <cstring>
#include <string>
#include <vector>

#include <jerror.h>
#include <jpeglib.h>

namespace {

constexpr int kGreyLevels = 236;
constexpr int kMaxScans = 500; // far above any real file; stops progressive-scan floods
// Huffman coding spends at least one bit on every 8 x 8 block of the full-resolution
// component; adaptive arithmetic coding can go far below, but not this far.
constexpr std::uint64_t kHuffmanPixelsPerByte = 512;
constexpr std::uint64_t kArithmeticPixelsPerByte = 4096;
constexpr int kRowsPerRead = 8;

enum class Output {
    Rgb,       // straight into the picture
    Greyscale, // colormap indices, drawn in grey
    Cmyk,      // inverted (Adobe) CMYK, converted to RGB
};

struct ErrorManager {
    jpeg_error_mgr pub; // first member, so that cinfo->err leads back here
    std::jmp_buf jump;
    char message[JMSG_LENGTH_MAX];
};

// Everything libjpeg touches: plain C data only, so a longjmp across it is harmless.
struct JpegJob {
    jpeg_decompress_struct cinfo;
    ErrorManager error;
    jpeg_progress_mgr progress;
    Output output;
    unsigned long long pixels;
    unsigned long long maxScanPixels;
    long long deadline; // steady clock, nanoseconds
    long maxMemory;     // for the library's own buffers (progressive coefficients)
};

long long steadyNanoseconds()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

[[noreturn]] void failJob(j_common_ptr cinfo, const char* text)
{
    auto* error = reinterpret_cast<ErrorManager*>(cinfo->err);
    std::snprintf(error->message, sizeof error->message, "%s", text);
    std::longjmp(error->jump, 1);
}

[[noreturn]] void onError(j_common_ptr cinfo)
{
    auto* error = reinterpret_cast<ErrorManager*>(cinfo->err);
    (*cinfo->err->format_message)(cinfo, error->message);
    std::longjmp(error->jump, 1);
}

// Warnings that mean picture data is missing or damaged fail the load; libjpeg would go on
// and fill the rest with grey. Other warnings, and all trace output, stay silent.
void onMessage(j_common_ptr cinfo, int level)
{
    if (level >= 0)
        return;
    switch (cinfo->err->msg_code) {
    case JWRN_JPEG_EOF:
    case JWRN_HIT_MARKER:
    case JWRN_MUST_RESYNC:
    case JWRN_NOT_SEQUENTIAL:
        onError(cinfo);
    default:
        ++cinfo->err->num_warnings;
    }
}

// Called every few rows of every scan: bounds the work of a decode.
void onProgress(j_common_ptr cinfo)
{
    const auto* d = reinterpret_cast<j_decompress_ptr>(cinfo);
    const auto* job = reinterpret_cast<const JpegJob*>(cinfo);
    if (d->input_scan_number > kMaxScans ||
        static_cast<unsigned long long>(d->input_scan_number) * job->pixels > job->maxScanPixels)
        failJob(cinfo, "too many scans for the picture's size");
    if (steadyNanoseconds() > job->deadline)
        failJob(cinfo, "decoding took too long");
}

// Bytes of the segments that hold no picture data (application data, comments) before
// the first scan: they do not count towards what the data could fill.
std::uint64_t metadataBytes(std::span<const std::uint8_t> data)
{
    std::uint64_t skipped = 0;
    std::size_t pos = 2; // after SOI
    while (pos + 4 <= data.size()) {
        if (data[pos] != 0xFF)
            break;
        const std::uint8_t marker = data[pos + 1];
        if (marker == 0xFF) {
            ++pos; // fill byte
            continue;
        }
        if (marker == 0xDA || marker == 0xD9)
            break;
        const std::size_t length = (std::size_t(data[pos + 2]) << 8) | data[pos + 3];
        if ((marker >= 0xE0 && marker <= 0xEF) || marker == 0xFE)
            skipped += 2 + length;
        pos += 2 + length;
    }
    return std::min<std::uint64_t>(skipped, data.size());
}

// Reads the header and chooses the output. Holds only plain C objects (setjmp).
bool readHeader(JpegJob* job, const unsigned char* data, unsigned long size)
{
    if (setjmp(job->error.jump))
        return false;
    j_decompress_ptr cinfo = &job->cinfo;
    jpeg_create_decompress(cinfo);
    cinfo->mem->max_memory_to_use = job->maxMemory;
    job->progress.progress_monitor = onProgress;
    cinfo->progress = &job->progress;
    jpeg_mem_src(cinfo, data, size);
    jpeg_read_header(cinfo, TRUE);

    cinfo->scale_num = 1;
    cinfo->scale_denom = 1;
    cinfo->dct_method = JDCT_ISLOW;
    cinfo->do_block_smoothing = TRUE;
    switch (cinfo->jpeg_color_space) {
    case JCS_GRAYSCALE:
        job->output = Output::Greyscale;
        cinfo->out_color_space = JCS_GRAYSCALE;
        cinfo->quantize_colors = TRUE;
        cinfo->desired_number_of_colors = kGreyLevels;
        break;
    case JCS_YCbCr:
    case JCS_RGB:
        job->output = Output::Rgb;
        cinfo->out_color_space = JCS_RGB;
        break;
    case JCS_CMYK:
    case JCS_YCCK:
        job->output = Output::Cmyk;
        cinfo->out_color_space = JCS_CMYK;
        break;
    default:
        failJob(reinterpret_cast<j_common_ptr>(cinfo), "unsupported colour space");
    }
    jpeg_calc_output_dimensions(cinfo);
    return true;
}

// Decodes every scanline into `pixels` (24-bit rows `stride` bytes apart); `scratch` holds
// kRowsPerRead rows of library output when it is not RGB. Holds only plain C objects (setjmp).
bool readPixels(JpegJob* job, unsigned char* pixels, std::ptrdiff_t stride, unsigned char* scratch)
{
    if (setjmp(job->error.jump))
        return false;
    j_decompress_ptr cinfo = &job->cinfo;
    jpeg_start_decompress(cinfo);
    const JDIMENSION width = cinfo->output_width;
    const std::size_t scratchStride = std::size_t(width) * (job->output == Output::Cmyk ? 4 : 1);
    while (cinfo->output_scanline < cinfo->output_height) {
        const JDIMENSION first = cinfo->output_scanline;
        JSAMPROW rows[kRowsPerRead];
        for (int i = 0; i < kRowsPerRead; ++i)
            rows[i] = job->output == Output::Rgb ? pixels + (first + JDIMENSION(i)) * stride
                                                 : scratch + std::size_t(i) * scratchStride;
        JDIMENSION wanted = cinfo->output_height - first;
        if (wanted > kRowsPerRead)
            wanted = kRowsPerRead;
        const JDIMENSION got = jpeg_read_scanlines(cinfo, rows, wanted);
        if (got == 0)
            failJob(reinterpret_cast<j_common_ptr>(cinfo), "no scanlines decoded");
        if (job->output == Output::Rgb)
            continue;
        for (JDIMENSION r = 0; r < got; ++r) {
            const unsigned char* src = rows[r];
            unsigned char* dst = pixels + (first + r) * stride;
            if (job->output == Output::Greyscale) {
                const JSAMPLE* levels = cinfo->colormap[0];
                for (JDIMENSION x = 0; x < width; ++x, dst += 3)
                    dst[0] = dst[1] = dst[2] = levels[src[x]];
            } else {
                // Adobe writes CMYK inverted: 255 means no ink.
                for (JDIMENSION x = 0; x < width; ++x, src += 4, dst += 3) {
                    const unsigned k = src[3];
                    dst[0] = static_cast<unsigned char>((src[0] * k + 127) / 255);
                    dst[1] = static_cast<unsigned char>((src[1] * k + 127) / 255);
                    dst[2] = static_cast<unsigned char>((src[2] * k + 127) / 255);
                }
            }
        }
    }
    jpeg_finish_decompress(cinfo);
    return true;
}

class JobGuard {
public:
    explicit JobGuard(JpegJob* job) : m_job(job) {}
    ~JobGuard() { jpeg_destroy_decompress(&m_job->cinfo); }
    JobGuard(const JobGuard&) = delete;
    JobGuard& operator=(const JobGuard&) = delete;

private:
    JpegJob* m_job;
};

} // namespace

Picture DecodeJpeg(std::span<const std::uint8_t> data, const DecodeLimits& limits)
{
    if (data.empty())
        throw CodecError("JPEG: empty file");
    JpegJob job;
    std::memset(&job, 0, sizeof job);
    job.cinfo.err = jpeg_std_error(&job.error.pub);
    job.error.pub.error_exit = onError;
    job.error.pub.emit_message = onMessage;
    job.maxScanPixels = limits.maxScanPixels;
    job.deadline = steadyNanoseconds() + static_cast<long long>(limits.timeBudgetMs) * 1'000'000;
    job.maxMemory = static_cast<long>(std::min<std::uint64_t>(limits.maxWorkBytes, LONG_MAX));
    JobGuard guard(&job);

    if (!readHeader(&job, data.data(), static_cast<unsigned long>(data.size())))
        throw CodecError(std::string("JPEG: ") + job.error.message);
    const std::uint64_t width = job.cinfo.output_width;
    const std::uint64_t height = job.cinfo.output_height;
    const auto maxSide = static_cast<std::uint64_t>(std::min(limits.maxSide, Picture::kMaxSide));
    if (width == 0 || height == 0 || width > maxSide || height > maxSide ||
        width * height > std::min(limits.maxPixels, Picture::kMaxPixels))
        throw CodecError("JPEG: picture is too large");
    // A header that the data cannot fill is refused before memory is taken.
    const std::uint64_t coded = data.size() - metadataBytes(data);
    const bool plausible = job.cinfo.arith_code
                               ? limits.plausible(width * height, coded * kArithmeticPixelsPerByte)
                               : width * height <= coded * kHuffmanPixelsPerByte;
    if (!plausible)
        throw CodecError("JPEG: data is incomplete");
    job.pixels = width * height;

    Picture picture(static_cast<int>(width), static_cast<int>(height));
    std::vector<unsigned char> scratch;
    if (job.output != Output::Rgb)
        scratch.resize(kRowsPerRead * width * (job.output == Output::Cmyk ? 4 : 1));
    if (!readPixels(&job, picture.data(), picture.stride(), scratch.data()))
        throw CodecError(std::string("JPEG: ") + job.error.message);
    return picture;
}
