#include "paddedrgbrows.h"

extern "C" {
#include <libavutil/mem.h>
}

#include <cstring>
#include <new>

namespace {
constexpr std::size_t kBlockPixels = 64; // beyond any vector block swscale writes
constexpr std::size_t kAlign = 64;
} // namespace

void PaddedRgbRows::Freer::operator()(std::uint8_t* p) const
{
    av_free(p);
}

std::size_t PaddedRgbRows::strideFor(int width)
{
    const std::size_t pixels =
        (static_cast<std::size_t>(width) + kBlockPixels - 1) / kBlockPixels * kBlockPixels;
    return (pixels * 3 + kAlign - 1) / kAlign * kAlign;
}

void PaddedRgbRows::convert(SwsContext* ctx, const AVFrame* frame, Picture& out)
{
    const std::size_t stride = strideFor(out.width());
    const std::size_t size = stride * (static_cast<std::size_t>(out.height()) + 1);
    if (size > m_size) {
        m_rows.reset();
        m_size = 0;
        m_rows.reset(static_cast<std::uint8_t*>(av_malloc(size)));
        if (!m_rows)
            throw std::bad_alloc();
        m_size = size;
    }
    std::uint8_t* dst[4] = {m_rows.get(), nullptr, nullptr, nullptr};
    int dstStride[4] = {static_cast<int>(stride), 0, 0, 0};
    sws_scale(ctx, frame->data, frame->linesize, 0, frame->height, dst, dstStride);
    const std::size_t rowBytes = static_cast<std::size_t>(out.width()) * 3;
    for (int y = 0; y < out.height(); ++y)
        std::memcpy(out.row(y), m_rows.get() + static_cast<std::size_t>(y) * stride, rowBytes);
}
