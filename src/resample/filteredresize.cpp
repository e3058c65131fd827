#include "filteredresize.h"
#include "filteredresize_internal.h"

#include <algorithm>
#include <atomic>
#include <cassert>
#include <cmath>
#include <exception>
#include <limits>
#include <memory>
#include <stdexcept>
#include <thread>

namespace {

// Below this many multiply-adds a pass runs on the calling thread: starting a thread
// (tens of microseconds) would cost more than it saves.
constexpr std::uint64_t kParallelWorkSimd = 4'000'000;
constexpr std::uint64_t kParallelWorkScalar = 250'000;
constexpr int kMaxThreads = 8;

std::uint64_t TapCount(const std::vector<ContributorList>& lists)
{
    std::uint64_t taps = 0;
    for (const ContributorList& list : lists)
        taps += list.entries.size();
    return taps;
}

// Each of n steps rounds at most twice (product, then sum) by half an ulp of a value no
// larger than 255 times the weights' absolute sum, against once for the fused steps;
// the small absolute term covers the rounding of the distance test itself.
float SlackFor(const std::vector<Contributor>& entries)
{
    double absolute = 0.0;
    for (const Contributor& entry : entries)
        absolute += std::fabs(static_cast<double>(entry.weight));
    const double n = static_cast<double>(entries.size());
    const double u = 0x1p-24;
    const double slack = 4.0 * n * u * 255.0 * absolute * (1.0 + 4.0 * n * u) + 1e-6;
    if (!(slack < static_cast<double>(std::numeric_limits<float>::max())))
        return std::numeric_limits<float>::infinity();
    return static_cast<float>(slack);
}

thread_local int singleThreadedScopes = 0;

int ThreadsFor(std::uint64_t work, bool simd, const ResizeOptions& options)
{
    if (options.threads > 0)
        return std::min(options.threads, kMaxThreads);
    if (singleThreadedScopes > 0)
        return 1;
    if (work < (simd ? kParallelWorkSimd : kParallelWorkScalar))
        return 1;
    const unsigned cores = std::thread::hardware_concurrency();
    return std::clamp(static_cast<int>(cores), 1, kMaxThreads);
}

// Runs fn(begin, end, worker) over [0, count) on up to `workers` threads. Parts are
// handed out as they are asked for, so a thread that the system starts late (on a busy
// machine) takes less work instead of holding the others up. The calling thread works
// too; a thread that cannot be started is simply missing.
template <typename Fn> void RunSplit(int count, int workers, const Fn& fn)
{
    workers = std::clamp(workers, 1, std::max(count, 1));
    if (workers == 1) {
        fn(0, count, 0);
        return;
    }
    const int grain = std::max(1, count / (workers * 8));
    std::atomic<int> next{0};
    const auto work = [&](int worker) {
        for (int begin = next.fetch_add(grain); begin < count; begin = next.fetch_add(grain))
            fn(begin, std::min(begin + grain, count), worker);
    };
    std::vector<std::thread> threads;
    threads.reserve(static_cast<std::size_t>(workers - 1));
    for (int worker = 1; worker < workers; ++worker) {
        try {
            threads.emplace_back(work, worker);
        } catch (const std::exception&) {
            break;
        }
    }
    work(0);
    for (std::thread& thread : threads)
        thread.join();
}

} // namespace

std::vector<ContributorList> BuildContributors(int dstSize, int srcSize, FilterFunction filter,
                                               float support)
{
    assert(dstSize >= 0 && srcSize >= 1 && filter);
    // One destination pixel from several source pixels would give a scale of 0; it stands
    // for the whole source instead, centred on its middle.
    const bool single = dstSize == 1 && srcSize > 1;
    const float scale = (srcSize == 1 || single)
                            ? static_cast<float>(dstSize) / static_cast<float>(srcSize)
                            : static_cast<float>(dstSize - 1) / static_cast<float>(srcSize - 1);

    std::vector<ContributorList> lists(static_cast<std::size_t>(dstSize));
    const bool shrinking = scale < 1.0f;
    const float reach = shrinking ? support / scale : support;
    const float fscale = 1.0f / scale;
    for (int i = 0; i < dstSize; ++i) {
        const float ctr =
            single ? static_cast<float>(srcSize - 1) * 0.5f : static_cast<float>(i) / scale;
        const int first = static_cast<int>(std::floor(ctr - reach));
        const int last = static_cast<int>(std::ceil(ctr + reach));
        std::vector<Contributor>& entries = lists[static_cast<std::size_t>(i)].entries;
        entries.reserve(static_cast<std::size_t>(last - first + 1));
        for (int j = first; j <= last; ++j) {
            const float weight = shrinking ? filter((ctr - static_cast<float>(j)) / fscale) / fscale
                                           : filter(ctr - static_cast<float>(j));
            if (weight != 0.0f)
                entries.push_back({ReflectIndex(j, srcSize), weight});
        }
        lists[static_cast<std::size_t>(i)].slack = SlackFor(entries);
    }
    return lists;
}

void HorizontalPassScalar(const Picture& source, std::span<const ContributorList> columns,
                          const InterImage& inter, int rowBegin, int rowEnd)
{
    for (int k = rowBegin; k < rowEnd; ++k) {
        const std::uint8_t* src = source.row(k);
        std::uint8_t* out = inter.data + k * inter.stride;
        for (const ContributorList& list : columns) {
            float sum0 = 0.0f;
            float sum1 = 0.0f;
            float sum2 = 0.0f;
            for (const Contributor& entry : list.entries) {
                const std::uint8_t* p = src + 3 * static_cast<std::ptrdiff_t>(entry.pixel);
                sum0 = std::fmaf(entry.weight, static_cast<float>(p[0]), sum0);
                sum1 = std::fmaf(entry.weight, static_cast<float>(p[1]), sum1);
                sum2 = std::fmaf(entry.weight, static_cast<float>(p[2]), sum2);
            }
            *out++ = ScalarToByte(sum0);
            *out++ = ScalarToByte(sum1);
            *out++ = ScalarToByte(sum2);
        }
    }
}

void VerticalPassScalar(const InterImage& inter, std::span<const ContributorList> rows,
                        Picture& dest, int rowBegin, int rowEnd)
{
    for (int i = rowBegin; i < rowEnd; ++i) {
        const std::vector<Contributor>& entries = rows[static_cast<std::size_t>(i)].entries;
        std::uint8_t* out = dest.row(i);
        for (int k = 0; k < inter.widthBytes; ++k) {
            float sum = 0.0f;
            for (const Contributor& entry : entries)
                sum =
                    std::fmaf(entry.weight,
                              static_cast<float>(inter.data[entry.pixel * inter.stride + k]), sum);
            out[k] = ScalarToByte(sum);
        }
    }
}

void FilteredResizeWith(const Picture& source, Picture& dest, FilterFunction filter, float support,
                        const ResizeOptions& options)
{
    assert(filter);
    if (source.isEmpty())
        throw std::runtime_error("Source bitmap too small");
    if (!(support >= 0.0f && support <= kMaxFilterSupport))
        throw std::invalid_argument("Filter support out of range");
    if (dest.isEmpty())
        return;

    const int sourceWidth = source.width();
    const int sourceHeight = source.height();
    const int destWidth = dest.width();
    const int destHeight = dest.height();
    if (static_cast<std::uint64_t>(destWidth) * static_cast<std::uint64_t>(sourceHeight) >
        Picture::kMaxPixels)
        throw std::length_error("Picture size out of range");

    const bool simd = options.allowSimd;
    const std::ptrdiff_t interStride =
        (static_cast<std::ptrdiff_t>(destWidth) * 3 + kInterAlign - 1) / kInterAlign * kInterAlign;
    // Every byte the passes read is written first (the vector pass writes the padding too).
    const auto interPixels = std::make_unique_for_overwrite<std::uint8_t[]>(
        static_cast<std::size_t>(interStride) * static_cast<std::size_t>(sourceHeight));
    const InterImage inter{interPixels.get(), interStride, destWidth * 3};

    {
        const std::vector<ContributorList> columns =
            BuildContributors(destWidth, sourceWidth, filter, support);
        const int threads = ThreadsFor(
            TapCount(columns) * 3 * static_cast<std::uint64_t>(sourceHeight), simd, options);
        if (simd) {
            const int blocks = (sourceHeight + kRowBlock - 1) / kRowBlock;
            const int workers = std::clamp(threads, 1, blocks);
            // Work buffers are made here so that no worker thread can fail to allocate.
            std::vector<std::vector<float>> lanes(static_cast<std::size_t>(workers));
            std::vector<std::vector<std::uint8_t>> packed(static_cast<std::size_t>(workers));
            for (int w = 0; w < workers; ++w) {
                lanes[static_cast<std::size_t>(w)].resize(HorizontalLanesSize(sourceWidth));
                packed[static_cast<std::size_t>(w)].resize(HorizontalPackedSize(inter));
            }
            RunSplit(blocks, workers, [&](int begin, int end, int worker) {
                HorizontalPassSimd(source, columns, inter, begin, end,
                                   lanes[static_cast<std::size_t>(worker)].data(),
                                   packed[static_cast<std::size_t>(worker)].data());
            });
        } else {
            RunSplit(sourceHeight, threads, [&](int begin, int end, int) {
                HorizontalPassScalar(source, columns, inter, begin, end);
            });
        }
    }

    const std::vector<ContributorList> rows =
        BuildContributors(destHeight, sourceHeight, filter, support);
    const int threads =
        ThreadsFor(TapCount(rows) * 3 * static_cast<std::uint64_t>(destWidth), simd, options);
    const int workers = std::clamp(threads, 1, destHeight);
    // Made here so that no worker thread can fail to allocate; written before read.
    std::vector<std::unique_ptr<float[]>> strips(simd ? static_cast<std::size_t>(workers) : 0);
    for (std::unique_ptr<float[]>& strip : strips)
        strip = std::make_unique_for_overwrite<float[]>(VerticalStripSize(sourceHeight));
    RunSplit(destHeight, workers, [&](int begin, int end, int worker) {
        if (simd)
            VerticalPassSimd(inter, rows, dest, begin, end,
                             strips[static_cast<std::size_t>(worker)].get());
        else
            VerticalPassScalar(inter, rows, dest, begin, end);
    });
}

SingleThreadedResize::SingleThreadedResize()
{
    ++singleThreadedScopes;
}

SingleThreadedResize::~SingleThreadedResize()
{
    --singleThreadedScopes;
}

void FilteredResize(const Picture& source, Picture& dest, FilterFunction filter, float support)
{
    FilteredResizeWith(source, dest, filter, support, ResizeOptions{});
}
