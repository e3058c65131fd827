#include "filteredresize_internal.h"

#include <algorithm>
#include <cstring>

// Vector kernels. Each lane performs the same float fused multiply-adds, in the same
// order, as the scalar kernels, so the bytes come out identical. Only the functions
// marked with the target attribute use AVX2; the rest of this file stays baseline so
// that nothing here runs AVX2 code on a processor without it.

std::size_t HorizontalLanesSize(int sourceWidth)
{
    return static_cast<std::size_t>(sourceWidth) * 3 * kRowBlock;
}

std::size_t HorizontalPackedSize(const InterImage& inter)
{
    return static_cast<std::size_t>(inter.stride) * kRowBlock;
}

#if defined(__x86_64__) || defined(__i386__)

#include <immintrin.h>

#define TAVREL_AVX2 __attribute__((target("avx2,fma")))

bool ResizeSimdAvailable()
{
    static const bool available = [] {
        __builtin_cpu_init();
        return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma");
    }();
    return available;
}

namespace {

// Transposes an 8 x 8 byte matrix held in the low halves of in[0..7]: out[q] holds
// column 2q in its low 8 bytes and column 2q + 1 in its high 8 bytes.
TAVREL_AVX2 inline void Transpose8x8(const __m128i (&in)[8], __m128i (&out)[4])
{
    const __m128i t0 = _mm_unpacklo_epi8(in[0], in[1]);
    const __m128i t1 = _mm_unpacklo_epi8(in[2], in[3]);
    const __m128i t2 = _mm_unpacklo_epi8(in[4], in[5]);
    const __m128i t3 = _mm_unpacklo_epi8(in[6], in[7]);
    const __m128i u0 = _mm_unpacklo_epi16(t0, t1);
    const __m128i u1 = _mm_unpackhi_epi16(t0, t1);
    const __m128i u2 = _mm_unpacklo_epi16(t2, t3);
    const __m128i u3 = _mm_unpackhi_epi16(t2, t3);
    out[0] = _mm_unpacklo_epi32(u0, u2);
    out[1] = _mm_unpackhi_epi32(u0, u2);
    out[2] = _mm_unpacklo_epi32(u1, u3);
    out[3] = _mm_unpackhi_epi32(u1, u3);
}

// Clamp to 0..255 (NaN gives 0), round half to even, as 8 int32.
TAVREL_AVX2 inline __m256i ToInts(__m256 sum)
{
    const __m256 clamped =
        _mm256_min_ps(_mm256_max_ps(sum, _mm256_setzero_ps()), _mm256_set1_ps(255.0f));
    return _mm256_cvtps_epi32(
        _mm256_round_ps(clamped, _MM_FROUND_TO_NEAREST_INT | _MM_FROUND_NO_EXC));
}

// The same as bytes in the low 8 bytes.
TAVREL_AVX2 inline __m128i ToBytes(__m256 sum)
{
    const __m256i ints = ToInts(sum);
    const __m128i words =
        _mm_packus_epi32(_mm256_castsi256_si128(ints), _mm256_extracti128_si256(ints, 1));
    return _mm_packus_epi16(words, words);
}

TAVREL_AVX2 inline __m256 LoadBytesAsFloats(const std::uint8_t* p)
{
    return _mm256_cvtepi32_ps(
        _mm256_cvtepu8_epi32(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(p))));
}

// lanes[k * 8 + lane] = byte k of source row firstRow + lane. Missing rows of a short
// last block repeat its last row; their results are never stored.
TAVREL_AVX2 void LoadLanes(const Picture& source, int firstRow, int rowCount, float* lanes)
{
    const int bytes = source.width() * 3;
    const std::uint8_t* rows[kRowBlock];
    for (int lane = 0; lane < kRowBlock; ++lane)
        rows[lane] = source.row(firstRow + std::min(lane, rowCount - 1));
    int k = 0;
    for (; k + 8 <= bytes; k += 8) {
        __m128i in[8];
        for (int lane = 0; lane < kRowBlock; ++lane)
            in[lane] = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(rows[lane] + k));
        __m128i columns[4];
        Transpose8x8(in, columns);
        for (int q = 0; q < 4; ++q) {
            const __m128i high = _mm_unpackhi_epi64(columns[q], columns[q]);
            _mm256_storeu_ps(lanes + (k + 2 * q) * 8,
                             _mm256_cvtepi32_ps(_mm256_cvtepu8_epi32(columns[q])));
            _mm256_storeu_ps(lanes + (k + 2 * q + 1) * 8,
                             _mm256_cvtepi32_ps(_mm256_cvtepu8_epi32(high)));
        }
    }
    for (; k < bytes; ++k)
        for (int lane = 0; lane < kRowBlock; ++lane)
            lanes[k * 8 + lane] = static_cast<float>(rows[lane][k]);
}

// packed[k * 8 + lane] goes to byte k of intermediate row firstRow + lane.
TAVREL_AVX2 void StoreRows(const std::uint8_t* packed, const InterImage& inter, int firstRow,
                           int rowCount)
{
    for (std::ptrdiff_t k = 0; k < inter.stride; k += 8) {
        __m128i in[8];
        for (int b = 0; b < 8; ++b)
            in[b] = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(packed + (k + b) * 8));
        __m128i rows[4];
        Transpose8x8(in, rows);
        for (int lane = 0; lane < rowCount; ++lane) {
            const __m128i row = rows[lane / 2];
            std::uint8_t* out = inter.data + (firstRow + lane) * inter.stride + k;
            _mm_storel_epi64(reinterpret_cast<__m128i*>(out),
                             (lane & 1) ? _mm_unpackhi_epi64(row, row) : row);
        }
    }
}

struct ColumnSums {
    __m256 c0;
    __m256 c1;
    __m256 c2;
};

TAVREL_AVX2 inline ColumnSums ZeroSums()
{
    return {_mm256_setzero_ps(), _mm256_setzero_ps(), _mm256_setzero_ps()};
}

TAVREL_AVX2 inline void AddTap(ColumnSums& sums, const Contributor& entry, const float* lanes)
{
    const __m256 weight = _mm256_set1_ps(entry.weight);
    const float* p = lanes + static_cast<std::ptrdiff_t>(entry.pixel) * 3 * 8;
    sums.c0 = _mm256_fmadd_ps(weight, _mm256_loadu_ps(p), sums.c0);
    sums.c1 = _mm256_fmadd_ps(weight, _mm256_loadu_ps(p + 8), sums.c1);
    sums.c2 = _mm256_fmadd_ps(weight, _mm256_loadu_ps(p + 16), sums.c2);
}

TAVREL_AVX2 inline void StoreColumn(const ColumnSums& sums, std::size_t column,
                                    std::uint8_t* packed)
{
    std::uint8_t* out = packed + column * 3 * 8;
    _mm_storel_epi64(reinterpret_cast<__m128i*>(out), ToBytes(sums.c0));
    _mm_storel_epi64(reinterpret_cast<__m128i*>(out + 8), ToBytes(sums.c1));
    _mm_storel_epi64(reinterpret_cast<__m128i*>(out + 16), ToBytes(sums.c2));
}

} // namespace

TAVREL_AVX2 void HorizontalPassAvx2(const Picture& source, std::span<const ContributorList> columns,
                                    const InterImage& inter, int blockBegin, int blockEnd,
                                    float* lanes, std::uint8_t* packed)
{
    const int sourceHeight = source.height();
    const std::size_t columnCount = columns.size();
    for (int block = blockBegin; block < blockEnd; ++block) {
        const int firstRow = block * kRowBlock;
        const int rowCount = std::min(kRowBlock, sourceHeight - firstRow);
        LoadLanes(source, firstRow, rowCount, lanes);

        // Two columns at a time, so that six independent sums hide the FMA latency.
        std::size_t i = 0;
        for (; i + 1 < columnCount; i += 2) {
            const Contributor* a = columns[i].entries.data();
            const Contributor* b = columns[i + 1].entries.data();
            const std::size_t countA = columns[i].entries.size();
            const std::size_t countB = columns[i + 1].entries.size();
            const std::size_t common = std::min(countA, countB);
            ColumnSums sumsA = ZeroSums();
            ColumnSums sumsB = ZeroSums();
            for (std::size_t t = 0; t < common; ++t) {
                AddTap(sumsA, a[t], lanes);
                AddTap(sumsB, b[t], lanes);
            }
            for (std::size_t t = common; t < countA; ++t)
                AddTap(sumsA, a[t], lanes);
            for (std::size_t t = common; t < countB; ++t)
                AddTap(sumsB, b[t], lanes);
            StoreColumn(sumsA, i, packed);
            StoreColumn(sumsB, i + 1, packed);
        }
        if (i < columnCount) {
            ColumnSums sums = ZeroSums();
            for (const Contributor& entry : columns[i].entries)
                AddTap(sums, entry, lanes);
            StoreColumn(sums, i, packed);
        }
        StoreRows(packed, inter, firstRow, rowCount);
    }
}

TAVREL_AVX2 void VerticalPassAvx2(const InterImage& inter, std::span<const ContributorList> rows,
                                  Picture& dest, int rowBegin, int rowEnd)
{
    constexpr int kChunk = 64; // bytes per step: eight independent sums
    static_assert(kInterAlign % kChunk == 0);
    const __m256i order = _mm256_setr_epi32(0, 4, 1, 5, 2, 6, 3, 7);
    for (int i = rowBegin; i < rowEnd; ++i) {
        const Contributor* entries = rows[static_cast<std::size_t>(i)].entries.data();
        const std::size_t count = rows[static_cast<std::size_t>(i)].entries.size();
        std::uint8_t* out = dest.row(i);
        for (int k = 0; k < inter.widthBytes; k += kChunk) {
            __m256 sums[8];
#pragma GCC unroll 8
            for (int v = 0; v < 8; ++v)
                sums[v] = _mm256_setzero_ps();
            for (std::size_t t = 0; t < count; ++t) {
                const __m256 weight = _mm256_set1_ps(entries[t].weight);
                const std::uint8_t* src = inter.data + entries[t].pixel * inter.stride + k;
#pragma GCC unroll 8
                for (int v = 0; v < 8; ++v)
                    sums[v] = _mm256_fmadd_ps(weight, LoadBytesAsFloats(src + 8 * v), sums[v]);
            }
            __m256i bytes[2];
#pragma GCC unroll 2
            for (int half = 0; half < 2; ++half) {
                const __m256* s = sums + 4 * half;
                const __m256i low = _mm256_packus_epi32(ToInts(s[0]), ToInts(s[1]));
                const __m256i high = _mm256_packus_epi32(ToInts(s[2]), ToInts(s[3]));
                bytes[half] = _mm256_permutevar8x32_epi32(_mm256_packus_epi16(low, high), order);
            }
            if (k + kChunk <= inter.widthBytes) {
                _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + k), bytes[0]);
                _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + k + 32), bytes[1]);
            } else {
                std::memcpy(out + k, bytes, static_cast<std::size_t>(inter.widthBytes - k));
            }
        }
    }
}

#else

bool ResizeSimdAvailable()
{
    return false;
}

void HorizontalPassAvx2(const Picture&, std::span<const ContributorList>, const InterImage&, int,
                        int, float*, std::uint8_t*)
{
}

void VerticalPassAvx2(const InterImage&, std::span<const ContributorList>, Picture&, int, int) {}

#endif
