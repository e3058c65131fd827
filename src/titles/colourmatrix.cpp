#include "colourmatrix.h"

#include <algorithm>

namespace {

// The BT.601 encoding of the BT.709 decoding, with luma's 219 and chroma's 224 steps
// folded in, in units of 2^-14. Luma's own weight is exactly 1.
constexpr int kShift = 14;
constexpr int kRound = 1 << (kShift - 1);
constexpr int kYFromCb = 1627, kYFromCr = 3141;
constexpr int kCbFromCb = 16218, kCbFromCr = -1813;
constexpr int kCrFromCb = -1187, kCrFromCr = 16112;
// Chroma samples handled at a time: the luma corrections fit on the stack.
constexpr int kChunk = 256;

std::uint8_t clamped(int v)
{
    return static_cast<std::uint8_t>(std::clamp(v, 0, 255));
}

#if defined(__x86_64__) && defined(__GNUC__)
// Baseline x86-64 has no vector 32-bit multiply; AVX2 has, and does 8 at a time.
#define TAVREL_VECTOR_CLONES __attribute__((target_clones("avx2", "default")))
#else
#define TAVREL_VECTOR_CLONES
#endif

// One run of chroma samples and the two luma rows they cover; plain loops over
// contiguous bytes, which the compiler turns into vector code.
TAVREL_VECTOR_CLONES void convertRun(std::uint8_t* row0, std::uint8_t* row1, std::uint8_t* cb,
                                     std::uint8_t* cr, int samples)
{
    int lift[kChunk];
    for (int i = 0; i < samples; ++i) {
        const int u = cb[i] - 128, v = cr[i] - 128;
        lift[i] = (kYFromCb * u + kYFromCr * v + kRound) >> kShift;
        cb[i] = clamped(128 + ((kCbFromCb * u + kCbFromCr * v + kRound) >> kShift));
        cr[i] = clamped(128 + ((kCrFromCb * u + kCrFromCr * v + kRound) >> kShift));
    }
    for (std::uint8_t* row : {row0, row1})
        for (int i = 0; i < samples; ++i) {
            row[2 * i] = clamped(row[2 * i] + lift[i]);
            row[2 * i + 1] = clamped(row[2 * i + 1] + lift[i]);
        }
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
