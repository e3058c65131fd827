#include "framecompose.h"

#include "base/failure.h"

#include <cstddef>
#include <cstring>
#include <new>

namespace {

int planeShift(int plane)
{
    return plane == 0 ? 0 : 1;
}

std::uint8_t* at(const AVFrame* f, int plane, int x, int y)
{
    return f->data[plane] + static_cast<std::ptrdiff_t>(y) * f->linesize[plane] + x;
}

} // namespace

FramePtr NewYuvPicture(int width, int height)
{
    FramePtr f(av_frame_alloc());
    if (!f)
        throw std::bad_alloc();
    f->format = AV_PIX_FMT_YUV420P;
    f->width = width;
    f->height = height;
    if (av_frame_get_buffer(f.get(), 0) < 0)
        throw std::bad_alloc();
    return f;
}

FramePtr StillToYuv(const Picture& still)
{
    FramePtr frame = NewYuvPicture(still.width(), still.height());
    SwsPtr sws(sws_getContext(still.width(), still.height(), AV_PIX_FMT_RGB24, still.width(),
                              still.height(), AV_PIX_FMT_YUV420P, SWS_BICUBIC | SWS_ACCURATE_RND,
                              nullptr, nullptr, nullptr));
    if (!sws)
        throw Failure("Menu stream", "cannot convert the picture to YUV");
    // Studio range with BT.601 coefficients, as DVD video is.
    const int* coefficients = sws_getCoefficients(SWS_CS_ITU601);
    sws_setColorspaceDetails(sws.get(), coefficients, 1, coefficients, 0, 0, 1 << 16, 1 << 16);
    const std::uint8_t* source[1] = {still.data()};
    const int stride[1] = {static_cast<int>(still.stride())};
    sws_scale(sws.get(), source, stride, 0, still.height(), frame->data, frame->linesize);
    return frame;
}

AlphaPlanes::AlphaPlanes(const std::vector<std::uint8_t>& alpha, int width, int height)
    : m_width(width), m_height(height), m_luma(alpha),
      m_chroma(static_cast<std::size_t>(width / 2) * (height / 2))
{
    for (int y = 0; y < height / 2; ++y)
        for (int x = 0; x < width / 2; ++x) {
            const std::size_t top = static_cast<std::size_t>(2 * y) * width + 2 * x;
            const int sum =
                alpha[top] + alpha[top + 1] + alpha[top + width] + alpha[top + width + 1];
            m_chroma[static_cast<std::size_t>(y) * (width / 2) + x] =
                static_cast<std::uint8_t>((sum + 2) / 4);
        }
}

void AlphaPlanes::blend(const AVFrame* a, const AVFrame* b, AVFrame* into) const
{
    for (int plane = 0; plane < 3; ++plane) {
        const int width = m_width >> planeShift(plane);
        const int height = m_height >> planeShift(plane);
        const std::uint8_t* weights = plane == 0 ? m_luma.data() : m_chroma.data();
        for (int y = 0; y < height; ++y) {
            const std::uint8_t* pa = at(a, plane, 0, y);
            const std::uint8_t* pb = at(b, plane, 0, y);
            std::uint8_t* out = at(into, plane, 0, y);
            const std::uint8_t* w = weights + static_cast<std::size_t>(y) * width;
            for (int x = 0; x < width; ++x)
                out[x] =
                    static_cast<std::uint8_t>((pa[x] * w[x] + pb[x] * (255 - w[x]) + 127) / 255);
        }
    }
}

void PlacePicture(const AVFrame* picture, AVFrame* into, int x, int y, const AVFrame* toward,
                  int weight)
{
    for (int plane = 0; plane < 3; ++plane) {
        const int shift = planeShift(plane);
        const int width = picture->width >> shift;
        const int height = picture->height >> shift;
        for (int row = 0; row < height; ++row) {
            const std::uint8_t* from = at(picture, plane, 0, row);
            std::uint8_t* out = at(into, plane, x >> shift, (y >> shift) + row);
            if (!toward) {
                std::memcpy(out, from, static_cast<std::size_t>(width));
                continue;
            }
            const std::uint8_t* goal = at(toward, plane, 0, row);
            for (int i = 0; i < width; ++i)
                out[i] = static_cast<std::uint8_t>(
                    (from[i] * (256 - weight) + goal[i] * weight + 128) >> 8);
        }
    }
}
