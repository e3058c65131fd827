// Vector kernels, compiled once per instruction set and chosen at run time. Each lane
// performs the same float fused multiply-adds, in the same order, as the scalar kernels,
// so the bytes come out identical. Instruction sets without a fused multiply-add round
// each product; there a lane whose sum lies too near a rounding boundary for that to be
// safe is worked again with the scalar arithmetic.

#include "filteredresize_internal.h"

#include <algorithm>
#include <cstring>
#include <limits>

// Scalable vectors cannot live in arrays; the fixed-width sets cover every processor
// the program is built for.
#ifndef HWY_DISABLED_TARGETS
#define HWY_DISABLED_TARGETS (HWY_SVE | HWY_SVE2 | HWY_SVE_256 | HWY_SVE2_128 | HWY_RVV)
#endif

#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "resample/filteredresize_simd.cpp"
#include <hwy/foreach_target.h> // must come before highway.h

#include <hwy/cache_control.h>
#include <hwy/highway.h>

HWY_BEFORE_NAMESPACE();
namespace tavrel {
namespace HWY_NAMESPACE {

#if HWY_TARGET == HWY_SCALAR

// One lane has nothing to gain over the scalar kernels (and lacks the byte shuffles).
void HorizontalKernel(const Picture& source, std::span<const ContributorList> columns,
                      const InterImage& inter, int blockBegin, int blockEnd, float*, std::uint8_t*)
{
    const int rowEnd = std::min(blockEnd * kRowBlock, source.height());
    HorizontalPassScalar(source, columns, inter, blockBegin * kRowBlock, rowEnd);
}

void VerticalKernel(const InterImage& inter, std::span<const ContributorList> rows, Picture& dest,
                    int rowBegin, int rowEnd, float*)
{
    VerticalPassScalar(inter, rows, dest, rowBegin, rowEnd);
}

#else

namespace hn = hwy::HWY_NAMESPACE;

// Eight rows per block whatever the vector width: AVX-512 runs the 256-bit kernel,
// narrower sets take several vectors per block.
using DF = hn::CappedTag<float, kRowBlock>;
using DI = hn::RebindToSigned<DF>;
using DB = hn::Rebind<std::uint8_t, DF>;
using VF = hn::Vec<DF>;
constexpr std::size_t kLanes = hn::MaxLanes(DF());
constexpr std::size_t kParts = kRowBlock / kLanes;
static_assert(kRowBlock % kLanes == 0);

// out[j * 8 + r] = in[r][j] for an 8 x 8 byte matrix.
HWY_INLINE void Transpose8x8(const std::uint8_t* const (&in)[8], std::uint8_t* out)
{
    const hn::Full128<std::uint8_t> d8;
    const hn::Full64<std::uint8_t> d8h;
    const hn::Full128<std::uint16_t> d16;
    const hn::Full128<std::uint32_t> d32;
    hn::Vec<decltype(d8)> r[8];
    for (int i = 0; i < 8; ++i)
        r[i] = hn::ZeroExtendVector(d8, hn::LoadU(d8h, in[i]));
    const auto t0 = hn::BitCast(d16, hn::InterleaveLower(d8, r[0], r[1]));
    const auto t1 = hn::BitCast(d16, hn::InterleaveLower(d8, r[2], r[3]));
    const auto t2 = hn::BitCast(d16, hn::InterleaveLower(d8, r[4], r[5]));
    const auto t3 = hn::BitCast(d16, hn::InterleaveLower(d8, r[6], r[7]));
    const auto u0 = hn::BitCast(d32, hn::InterleaveLower(d16, t0, t1));
    const auto u1 = hn::BitCast(d32, hn::InterleaveUpper(d16, t0, t1));
    const auto u2 = hn::BitCast(d32, hn::InterleaveLower(d16, t2, t3));
    const auto u3 = hn::BitCast(d32, hn::InterleaveUpper(d16, t2, t3));
    hn::StoreU(hn::BitCast(d8, hn::InterleaveLower(d32, u0, u2)), d8, out);
    hn::StoreU(hn::BitCast(d8, hn::InterleaveUpper(d32, u0, u2)), d8, out + 16);
    hn::StoreU(hn::BitCast(d8, hn::InterleaveLower(d32, u1, u3)), d8, out + 32);
    hn::StoreU(hn::BitCast(d8, hn::InterleaveUpper(d32, u1, u3)), d8, out + 48);
}

HWY_INLINE VF BytesToFloats(const std::uint8_t* p)
{
    return hn::ConvertTo(DF(), hn::PromoteTo(DI(), hn::LoadU(DB(), p)));
}

// Clamp to 0..255 (NaN gives 0), round half to even.
HWY_INLINE hn::Vec<DB> ToBytes(VF sum)
{
    const DF df;
    const VF number = hn::IfThenElseZero(hn::Eq(sum, sum), sum);
    const VF clamped = hn::Min(hn::Max(number, hn::Zero(df)), hn::Set(df, 255.0f));
    return hn::DemoteTo(DB(), hn::NearestInt(clamped));
}

// Lanes whose byte might differ from the fused arithmetic's: within `slack` of a
// half-way point, or not a number. Truncation stands in for the floor: it differs only
// below 0 and above the integers, where every byte is 0 or 255.
HWY_INLINE hn::Mask<DF> Uncertain(VF sum, float slack)
{
    const DF df;
    const VF fraction = hn::Sub(sum, hn::ConvertTo(df, hn::ConvertTo(DI(), sum)));
    const VF fromHalf = hn::Abs(hn::Sub(fraction, hn::Set(df, 0.5f)));
    return hn::Not(hn::Gt(fromHalf, hn::Set(df, slack)));
}

HWY_INLINE std::uint8_t FusedByte(const ContributorList& list, const std::uint8_t* values,
                                  std::ptrdiff_t step)
{
    float sum = 0.0f;
    for (const Contributor& entry : list.entries)
        sum = std::fmaf(entry.weight, static_cast<float>(values[entry.pixel * step]), sum);
    return ScalarToByte(sum);
}

// lanes[k * 8 + lane] = byte k of rows[lane].
HWY_INLINE void LoadLanes(const std::uint8_t* const (&rows)[8], int bytes, float* lanes)
{
    HWY_ALIGN std::uint8_t block[64];
    int k = 0;
    for (; k + 8 <= bytes; k += 8) {
        const std::uint8_t* const in[8] = {rows[0] + k, rows[1] + k, rows[2] + k, rows[3] + k,
                                           rows[4] + k, rows[5] + k, rows[6] + k, rows[7] + k};
        Transpose8x8(in, block);
        for (std::size_t j = 0; j < 64; j += kLanes)
            hn::StoreU(BytesToFloats(block + j), DF(), lanes + k * 8 + j);
    }
    for (; k < bytes; ++k)
        for (int lane = 0; lane < 8; ++lane)
            lanes[k * 8 + lane] = static_cast<float>(rows[lane][k]);
}

// packed[k * 8 + lane] goes to byte k of intermediate row firstRow + lane.
HWY_INLINE void StoreRows(const std::uint8_t* packed, const InterImage& inter, int firstRow,
                          int rowCount)
{
    HWY_ALIGN std::uint8_t block[64];
    for (std::ptrdiff_t k = 0; k < inter.stride; k += 8) {
        const std::uint8_t* const in[8] = {
            packed + k * 8,       packed + (k + 1) * 8, packed + (k + 2) * 8, packed + (k + 3) * 8,
            packed + (k + 4) * 8, packed + (k + 5) * 8, packed + (k + 6) * 8, packed + (k + 7) * 8};
        Transpose8x8(in, block);
        for (int lane = 0; lane < rowCount; ++lane)
            std::memcpy(inter.data + (firstRow + lane) * inter.stride + k, block + lane * 8, 8);
    }
}

// An array, not a struct: a struct's implicit constructor would lack the target's attributes.
using ColumnSums = VF[3][kParts];

HWY_INLINE void ZeroSums(ColumnSums& sums)
{
    for (std::size_t c = 0; c < 3; ++c)
        for (std::size_t p = 0; p < kParts; ++p)
            sums[c][p] = hn::Zero(DF());
}

HWY_INLINE void AddTap(ColumnSums& sums, const Contributor& entry, const float* lanes)
{
    const VF weight = hn::Set(DF(), entry.weight);
    const float* at = lanes + static_cast<std::ptrdiff_t>(entry.pixel) * 3 * 8;
    for (std::size_t c = 0; c < 3; ++c)
        for (std::size_t p = 0; p < kParts; ++p)
            sums[c][p] = hn::MulAdd(weight, hn::Load(DF(), at + c * 8 + p * kLanes), sums[c][p]);
}

HWY_INLINE void StoreColumn(const ColumnSums& sums, const ContributorList& list,
                            const std::uint8_t* const (&rows)[8], std::size_t column,
                            std::uint8_t* packed)
{
    std::uint8_t* out = packed + column * 3 * 8;
    for (std::size_t c = 0; c < 3; ++c)
        for (std::size_t p = 0; p < kParts; ++p) {
            std::uint8_t* at = out + c * 8 + p * kLanes;
            hn::StoreU(ToBytes(sums[c][p]), DB(), at);
            if (HWY_NATIVE_FMA)
                continue;
            const auto uncertain = Uncertain(sums[c][p], list.slack);
            if (hn::AllFalse(DF(), uncertain))
                continue;
            HWY_ALIGN std::int32_t flags[kLanes];
            hn::Store(hn::VecFromMask(DI(), hn::RebindMask(DI(), uncertain)), DI(), flags);
            for (std::size_t lane = 0; lane < kLanes; ++lane)
                if (flags[lane])
                    at[lane] = FusedByte(list, rows[p * kLanes + lane] + c, 3);
        }
}

HWY_INLINE void SumColumnPair(const ContributorList& a, const ContributorList& b,
                              const float* lanes, ColumnSums& sumsA, ColumnSums& sumsB)
{
    const std::size_t countA = a.entries.size();
    const std::size_t countB = b.entries.size();
    const std::size_t common = std::min(countA, countB);
    ZeroSums(sumsA);
    ZeroSums(sumsB);
    for (std::size_t t = 0; t < common; ++t) {
        AddTap(sumsA, a.entries[t], lanes);
        AddTap(sumsB, b.entries[t], lanes);
    }
    for (std::size_t t = common; t < countA; ++t)
        AddTap(sumsA, a.entries[t], lanes);
    for (std::size_t t = common; t < countB; ++t)
        AddTap(sumsB, b.entries[t], lanes);
}

void HorizontalKernel(const Picture& source, std::span<const ContributorList> columns,
                      const InterImage& inter, int blockBegin, int blockEnd, float* lanes,
                      std::uint8_t* packed)
{
    const int sourceHeight = source.height();
    const std::size_t columnCount = columns.size();
    // Aligned, so that the loads of the taps can be operands of the multiplies.
    lanes = reinterpret_cast<float*>((reinterpret_cast<std::uintptr_t>(lanes) + kLanesAlign - 1) &
                                     ~(kLanesAlign - 1));
    for (int block = blockBegin; block < blockEnd; ++block) {
        const int firstRow = block * kRowBlock;
        const int rowCount = std::min(kRowBlock, sourceHeight - firstRow);
        // Missing rows of a short last block repeat its last row; their results are
        // never stored.
        const std::uint8_t* rows[8];
        for (int lane = 0; lane < 8; ++lane)
            rows[lane] = source.row(firstRow + std::min(lane, rowCount - 1));
        LoadLanes(rows, source.width() * 3, lanes);

        // Two columns at a time, so that independent sums hide the multiply-add latency.
        ColumnSums sumsA;
        ColumnSums sumsB;
        std::size_t i = 0;
        for (; i + 1 < columnCount; i += 2) {
            SumColumnPair(columns[i], columns[i + 1], lanes, sumsA, sumsB);
            StoreColumn(sumsA, columns[i], rows, i, packed);
            StoreColumn(sumsB, columns[i + 1], rows, i + 1, packed);
        }
        if (i < columnCount) {
            ZeroSums(sumsA);
            for (const Contributor& entry : columns[i].entries)
                AddTap(sumsA, entry, lanes);
            StoreColumn(sumsA, columns[i], rows, i, packed);
        }
        StoreRows(packed, inter, firstRow, rowCount);
    }
}

constexpr std::size_t kChunkVectors = 8; // independent sums per step
constexpr std::ptrdiff_t kChunk = kChunkVectors * kLanes;
static_assert(kInterAlign % kChunk == 0);

// Stores bytes [k, k + kChunk) of one destination row, the part inside the row only.
HWY_INLINE void StoreChunk(const VF (&sums)[kChunkVectors], const ContributorList& list,
                           const InterImage& inter, std::ptrdiff_t k, std::uint8_t* out)
{
    HWY_ALIGN std::uint8_t bytes[kChunk];
    for (std::size_t v = 0; v < kChunkVectors; ++v)
        hn::Store(ToBytes(sums[v]), DB(), bytes + v * kLanes);
    if (!HWY_NATIVE_FMA) {
        for (std::size_t v = 0; v < kChunkVectors; ++v) {
            const auto uncertain = Uncertain(sums[v], list.slack);
            if (hn::AllFalse(DF(), uncertain))
                continue;
            HWY_ALIGN std::int32_t flags[kLanes];
            hn::Store(hn::VecFromMask(DI(), hn::RebindMask(DI(), uncertain)), DI(), flags);
            for (std::size_t lane = 0; lane < kLanes; ++lane) {
                const std::ptrdiff_t at = k + static_cast<std::ptrdiff_t>(v * kLanes + lane);
                if (flags[lane])
                    bytes[v * kLanes + lane] = FusedByte(list, inter.data + at, inter.stride);
            }
        }
    }
    const std::ptrdiff_t count = std::min<std::ptrdiff_t>(kChunk, inter.widthBytes - k);
    std::memcpy(out + k, bytes, static_cast<std::size_t>(count));
}

// Bytes [k, k + kChunk) of intermediate rows first..last as floats, kChunk per row.
HWY_INLINE void LoadStrip(const InterImage& inter, std::ptrdiff_t k, int first, int last,
                          float* strip)
{
    for (int r = first; r <= last; ++r) {
        const std::uint8_t* src = inter.data + r * inter.stride + k;
        hwy::Prefetch(src + kInterAlign); // the next strip: rows far apart defeat the hardware's
        float* out = strip + (r - first) * kChunk;
        for (std::size_t v = 0; v < kChunkVectors; ++v)
            hn::Store(BytesToFloats(src + v * kLanes), DF(), out + v * kLanes);
    }
}

// Output rows worked together: the floats of the rows they read stay in the first-level
// cache.
constexpr int kRowGroup = 16;

void VerticalKernel(const InterImage& inter, std::span<const ContributorList> rows, Picture& dest,
                    int rowBegin, int rowEnd, float* strip)
{
    const DF df;
    strip = reinterpret_cast<float*>((reinterpret_cast<std::uintptr_t>(strip) + kLanesAlign - 1) &
                                     ~(kLanesAlign - 1));
    for (int group = rowBegin; group < rowEnd; group += kRowGroup) {
        const int groupEnd = std::min(group + kRowGroup, rowEnd);
        // Each intermediate byte is made a float once per group, not once per tap.
        int first = std::numeric_limits<int>::max();
        int last = -1;
        for (int i = group; i < groupEnd; ++i)
            for (const Contributor& entry : rows[static_cast<std::size_t>(i)].entries) {
                first = std::min(first, entry.pixel);
                last = std::max(last, entry.pixel);
            }
        for (std::ptrdiff_t k = 0; k < inter.widthBytes; k += kChunk) {
            LoadStrip(inter, k, first, last, strip);
            for (int i = group; i < groupEnd; ++i) {
                const ContributorList& list = rows[static_cast<std::size_t>(i)];
                VF sums[kChunkVectors];
                for (std::size_t v = 0; v < kChunkVectors; ++v)
                    sums[v] = hn::Zero(df);
                for (const Contributor& entry : list.entries) {
                    const VF weight = hn::Set(df, entry.weight);
                    const float* src = strip + (entry.pixel - first) * kChunk;
                    for (std::size_t v = 0; v < kChunkVectors; ++v)
                        sums[v] = hn::MulAdd(weight, hn::Load(df, src + v * kLanes), sums[v]);
                }
                StoreChunk(sums, list, inter, k, dest.row(i));
            }
        }
    }
}

#endif

// NOLINTNEXTLINE(google-readability-namespace-comments)
} // namespace HWY_NAMESPACE
} // namespace tavrel
HWY_AFTER_NAMESPACE();

#if HWY_ONCE

namespace tavrel {
HWY_EXPORT(HorizontalKernel);
HWY_EXPORT(VerticalKernel);
} // namespace tavrel

std::size_t HorizontalLanesSize(int sourceWidth)
{
    return static_cast<std::size_t>(sourceWidth) * 3 * kRowBlock + kLanesAlign / sizeof(float);
}

std::size_t HorizontalPackedSize(const InterImage& inter)
{
    return static_cast<std::size_t>(inter.stride) * kRowBlock;
}

void HorizontalPassSimd(const Picture& source, std::span<const ContributorList> columns,
                        const InterImage& inter, int blockBegin, int blockEnd, float* lanes,
                        std::uint8_t* packed)
{
    using namespace tavrel; // the dispatch names a table, or the one target's namespace
    HWY_DYNAMIC_DISPATCH(HorizontalKernel)
    (source, columns, inter, blockBegin, blockEnd, lanes, packed);
}

std::size_t VerticalStripSize(int sourceHeight)
{
    return static_cast<std::size_t>(sourceHeight) * kInterAlign + kLanesAlign / sizeof(float);
}

void VerticalPassSimd(const InterImage& inter, std::span<const ContributorList> rows, Picture& dest,
                      int rowBegin, int rowEnd, float* strip)
{
    using namespace tavrel;
    HWY_DYNAMIC_DISPATCH(VerticalKernel)(inter, rows, dest, rowBegin, rowEnd, strip);
}

std::vector<std::int64_t> ResizeSimdTargets()
{
    return hwy::SupportedAndGeneratedTargets();
}

void ForceResizeSimdTarget(std::int64_t target)
{
    hwy::SetSupportedTargetsForTest(target);
}

const char* ResizeSimdTargetName(std::int64_t target)
{
    return hwy::TargetName(target);
}

#endif
