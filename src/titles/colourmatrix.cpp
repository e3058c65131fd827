#include "colourmatrix.h"

#include <algorithm>

namespace {

// The BT.601 encoding of the BT.709 decoding, with luma's 219 and chroma's 224 steps
// folded in. Each output is its own input plus a correction; the corrections' weights are
// small enough for 16-bit arithmetic: 2^-9 units for luma, 2^-10 for chroma, which is
// within 0.05 of a step of the exact matrix.
constexpr int kLumaShift = 9;
constexpr int kYFromCb = 51, kYFromCr = 98;
constexpr int kChromaShift = 10;
constexpr int kCbFromCb = -10, kCbFromCr = -113;
constexpr int kCrFromCb = -74, kCrFromCr = -17;
// Chroma samples handled at a time: the luma corrections fit on the stack.
constexpr int kChunk = 256;

#if defined(__x86_64__) && defined(__GNUC__)
// AVX2 does twice the samples of baseline x86-64 at a time.
#define TAVREL_VECTOR_CLONES __attribute__((target_clones("avx2", "default")))
#else
#define TAVREL_VECTOR_CLONES
#endif

std::uint8_t clamped(int v)
{
    return static_cast<std::uint8_t>(std::clamp(v, 0, 255));
}

// One run of chroma samples and the two luma rows they cover: plain loops over
// contiguous bytes in 16-bit arithmetic, which the compiler turns into vector code.
TAVREL_VECTOR_CLONES void convertRun(std::uint8_t* row0, std::uint8_t* row1, std::uint8_t* cb,
                                     std::uint8_t* cr, int samples)
{
    std::int16_t lift[2 * kChunk]; // per luma sample
    for (int i = 0; i < samples; ++i) {
        const auto u = static_cast<std::int16_t>(cb[i] - 128);
        const auto v = static_cast<std::int16_t>(cr[i] - 128);
        const auto y = static_cast<std::int16_t>(
            static_cast<std::int16_t>(kYFromCb * u + kYFromCr * v + (1 << (kLumaShift - 1))) >>
            kLumaShift);
        lift[2 * i] = lift[2 * i + 1] = y;
        cb[i] = clamped(cb[i] + (static_cast<std::int16_t>(kCbFromCb * u + kCbFromCr * v +
                                                           (1 << (kChromaShift - 1))) >>
                                 kChromaShift));
        cr[i] = clamped(cr[i] + (static_cast<std::int16_t>(kCrFromCb * u + kCrFromCr * v +
                                                           (1 << (kChromaShift - 1))) >>
                                 kChromaShift));
    }
    for (std::uint8_t* row : {row0, row1})
        for (int x = 0; x < 2 * samples; ++x)
            row[x] = clamped(row[x] + lift[x]);
}

} // namespace

void Bt709ToBt601(std::uint8_t* luma, int lumaStride, std::uint8_t* cb, std::uint8_t* cr,
                  int chromaStride, int width, int height)
{
    const int chromaWidth = width / 2;
    for (int cy = 0; cy < height / 2; ++cy) {
        std::uint8_t* row0 = luma + static_cast<std::ptrdiff_t>(2 * cy) * lumaStride;
        std::uint8_t* u = cb + static_cast<std::ptrdiff_t>(cy) * chromaStride;
        std::uint8_t* v = cr + static_cast<std::ptrdiff_t>(cy) * chromaStride;
        for (int at = 0; at < chromaWidth; at += kChunk)
            convertRun(row0 + 2 * at, row0 + lumaStride + 2 * at, u + at, v + at,
                       std::min(kChunk, chromaWidth - at));
    }
}
