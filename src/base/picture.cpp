#include "picture.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

namespace {

std::ptrdiff_t strideFor(int width)
{
    return (static_cast<std::ptrdiff_t>(width) * 3 + 3) & ~std::ptrdiff_t(3);
}

void checkSize(int width, int height)
{
    if (width < 0 || height < 0 || width > Picture::kMaxSide || height > Picture::kMaxSide ||
        static_cast<std::uint64_t>(width) * static_cast<std::uint64_t>(height) >
            Picture::kMaxPixels)
        throw std::length_error("Picture size out of range");
}

} // namespace

Picture::Picture(int width, int height)
{
    reset(width, height);
}

void Picture::reset(int width, int height)
{
    checkSize(width, height);
    if (width == 0 || height == 0) {
        clear();
        m_width = width;
        m_height = height;
        return;
    }
    const std::ptrdiff_t stride = strideFor(width);
    m_pixels.assign(static_cast<std::size_t>(stride) * static_cast<std::size_t>(height), 0xFF);
    m_share.set(m_pixels.capacity());
    m_width = width;
    m_height = height;
    m_stride = stride;
}

Picture Picture::fromRgba(std::vector<std::uint8_t>&& rgba, int width, int height)
{
    checkSize(width, height);
    const std::size_t rgbaBytes = std::size_t(width) * std::size_t(height) * 4;
    if (rgba.size() != rgbaBytes)
        throw std::length_error("Picture size does not match its pixels");
    Picture picture;
    if (width == 0 || height == 0) {
        picture.m_width = width;
        picture.m_height = height;
        return picture;
    }
    // Each byte moves to an offset at or before its own (3 x + pad <= 4 x per row, for
    // any width), so packing front to back never overwrites what is still to be read.
    const std::ptrdiff_t stride = strideFor(width);
    std::uint8_t* base = rgba.data();
    for (int y = 0; y < height; ++y) {
        const std::uint8_t* src = base + std::size_t(y) * std::size_t(width) * 4;
        std::uint8_t* dst = base + std::size_t(y) * std::size_t(stride);
        for (int x = 0; x < width; ++x, src += 4, dst += 3) {
            dst[0] = src[0];
            dst[1] = src[1];
            dst[2] = src[2];
        }
        for (std::uint8_t* pad = dst;
             pad < base + std::size_t(y) * std::size_t(stride) + std::size_t(stride); ++pad)
            *pad = 0xFF;
    }
    rgba.resize(std::size_t(stride) * std::size_t(height));
    picture.m_pixels = std::move(rgba);
    picture.m_share.set(picture.m_pixels.capacity());
    picture.m_width = width;
    picture.m_height = height;
    picture.m_stride = stride;
    return picture;
}

void Picture::resizeKeeping(int width, int height)
{
    if (width == m_width && height == m_height)
        return;
    Picture resized(width, height);
    const int w = std::min(width, m_width);
    const int h = std::min(height, m_height);
    for (int y = 0; y < h; ++y)
        std::memcpy(resized.row(y), row(y), static_cast<std::size_t>(w) * 3);
    *this = std::move(resized);
}

void Picture::clear()
{
    m_width = 0;
    m_height = 0;
    m_stride = 0;
    std::vector<std::uint8_t>().swap(m_pixels);
    m_share.set(0);
}

void Picture::fill(std::uint8_t r, std::uint8_t g, std::uint8_t b)
{
    for (int y = 0; y < m_height; ++y) {
        std::uint8_t* p = row(y);
        for (int x = 0; x < m_width; ++x, p += 3) {
            p[0] = r;
            p[1] = g;
            p[2] = b;
        }
    }
}

bool Picture::samePixels(const Picture& other) const
{
    if (m_width != other.m_width || m_height != other.m_height)
        return false;
    for (int y = 0; y < m_height; ++y)
        if (std::memcmp(row(y), other.row(y), static_cast<std::size_t>(m_width) * 3) != 0)
            return false;
    return true;
}
