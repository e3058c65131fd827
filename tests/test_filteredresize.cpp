#include "resample/filteredresize.h"
#include "resample/filteredresize_internal.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>
#include <numbers>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

Picture RandomPicture(int width, int height, std::mt19937& rng)
{
    Picture p(width, height);
    std::uniform_int_distribution<int> byte(0, 255);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width * 3; ++x)
            p.row(y)[x] = static_cast<std::uint8_t>(byte(rng));
    return p;
}

// One-row picture with the same value in all three channels.
Picture GreyRow(const std::vector<int>& values)
{
    Picture p(static_cast<int>(values.size()), 1);
    for (std::size_t x = 0; x < values.size(); ++x)
        std::memset(p.pixel(static_cast<int>(x), 0), values[x], 3);
    return p;
}

std::vector<int> FirstChannel(const Picture& p)
{
    std::vector<int> values;
    for (int y = 0; y < p.height(); ++y)
        for (int x = 0; x < p.width(); ++x)
            values.push_back(p.pixel(x, y)[0]);
    return values;
}

Picture Resized(const Picture& source, int width, int height, FilterFunction filter, float support,
                const ResizeOptions& options = {})
{
    Picture dest(width, height);
    FilteredResizeWith(source, dest, filter, support, options);
    return dest;
}

// Reference rescaler written straight from the arithmetic: float weights, running sums
// rounded to float after each exact product, clamp, round half to even. Indices still
// outside after one reflection are reflected again; a single destination pixel from a
// larger source is centred on the source with the scale taken as 1 / source size.
struct RefTap {
    int index;
    float weight;
};

std::vector<std::vector<RefTap>> RefTaps(int dst, int src, FilterFunction filter, float support)
{
    const bool single = dst == 1 && src > 1;
    const float scale =
        (src == 1 || single) ? float(dst) / float(src) : float(dst - 1) / float(src - 1);
    std::vector<std::vector<RefTap>> taps(static_cast<std::size_t>(dst));
    for (int i = 0; i < dst; ++i) {
        const float ctr = single ? float(src - 1) / 2.0f : float(i) / scale;
        const float w = scale < 1.0f ? support / scale : support;
        for (int j = int(std::floor(ctr - w)); j <= int(std::ceil(ctr + w)); ++j) {
            const float weight = scale < 1.0f
                                     ? filter((ctr - float(j)) / (1.0f / scale)) / (1.0f / scale)
                                     : filter(ctr - float(j));
            if (weight == 0.0f)
                continue;
            int k = j;
            while (k < 0 || k >= src)
                k = k < 0 ? -k : 2 * src - 1 - k;
            taps[static_cast<std::size_t>(i)].push_back({k, weight});
        }
    }
    return taps;
}

std::uint8_t RefByte(const std::vector<RefTap>& taps, const std::function<int(int)>& value)
{
    float sum = 0.0f;
    for (const RefTap& tap : taps)
        sum = std::fmaf(tap.weight, float(value(tap.index)), sum);
    if (sum > 255.0f)
        return 255;
    if (sum < 0.0f)
        return 0;
    return static_cast<std::uint8_t>(std::nearbyint(sum));
}

Picture RefResize(const Picture& source, int dw, int dh, FilterFunction filter, float support)
{
    Picture mid(dw, source.height());
    Picture dest(dw, dh);
    const auto columns = RefTaps(dw, source.width(), filter, support);
    for (int y = 0; y < source.height(); ++y)
        for (int x = 0; x < dw; ++x)
            for (int c = 0; c < 3; ++c)
                mid.pixel(x, y)[c] =
                    RefByte(columns[std::size_t(x)], [&](int j) { return source.pixel(j, y)[c]; });
    const auto rows = RefTaps(dh, source.height(), filter, support);
    for (int x = 0; x < dw; ++x)
        for (int y = 0; y < dh; ++y)
            for (int c = 0; c < 3; ++c)
                dest.pixel(x, y)[c] =
                    RefByte(rows[std::size_t(y)], [&](int j) { return mid.pixel(x, j)[c]; });
    return dest;
}

// Lanczos3 and Mitchell (B = C = 1/3) from their textbook definitions, in double.
double Lanczos3Exact(double x)
{
    const double t = std::fabs(x);
    if (t == 0)
        return 1;
    if (t >= 3)
        return 0;
    const double pt = std::numbers::pi * t;
    return std::sin(pt) / pt * std::sin(pt / 3) / (pt / 3);
}

double MitchellExact(double x)
{
    const double b = 1.0 / 3, c = 1.0 / 3, t = std::fabs(x);
    if (t < 1)
        return ((12 - 9 * b - 6 * c) * t * t * t + (-18 + 12 * b + 6 * c) * t * t + (6 - 2 * b)) /
               6;
    if (t < 2)
        return ((-b - 6 * c) * t * t * t + (6 * b + 30 * c) * t * t + (-12 * b - 48 * c) * t +
                (8 * b + 24 * c)) /
               6;
    return 0;
}

} // namespace

TEST(FilteredResize, FilterTableNamesAndShapes)
{
    const char* names[] = {"Box",      "Triangle", "Hermite", "Bell",
                           "B-Spline", "Lanczos3", "Mitchell"};
    const float supports[] = {0.5f, 1.0f, 1.0f, 1.5f, 2.0f, 3.0f, 2.0f};
    for (std::size_t i = 0; i < FilterTable.size(); ++i) {
        EXPECT_STREQ(FilterTable[i].name, names[i]);
        EXPECT_EQ(FilterTable[i].support, supports[i]);
        // Zero from the support on, on both sides.
        for (float x = supports[i]; x < 6.0f; x += 0.125f) {
            if (i != 0 || x > 0.5f) {
                EXPECT_EQ(FilterTable[i].filter(x), 0.0f) << names[i] << " at " << x;
            }
            EXPECT_EQ(FilterTable[i].filter(-x), 0.0f) << names[i] << " at " << -x;
        }
    }
    EXPECT_EQ(BoxFilter(0.5f), 1.0f);
    EXPECT_EQ(BoxFilter(-0.5f), 0.0f);
    EXPECT_EQ(BoxFilter(0.0f), 1.0f);
    EXPECT_EQ(TriangleFilter(-0.25f), 0.75f);
    EXPECT_EQ(HermiteFilter(0.5f), 0.5f);
    EXPECT_EQ(BellFilter(0.0f), 0.75f);
    EXPECT_EQ(BellFilter(1.0f), 0.125f);
    EXPECT_EQ(BSplineFilter(0.0f), 2.0f / 3.0f);
    EXPECT_EQ(BSplineFilter(1.0f), 1.0f / 6.0f);
    for (float x = -3.0f; x <= 3.0f; x += 0.0625f) {
        EXPECT_NEAR(Lanczos3Filter(x), Lanczos3Exact(x), 5e-7) << x;
        EXPECT_NEAR(MitchellFilter(x), MitchellExact(x), 5e-7) << x;
    }
    // pi * 1 rounded to float is not a root of sin: the taps at whole distances are tiny, not 0.
    EXPECT_NE(Lanczos3Filter(1.0f), 0.0f);
    EXPECT_LT(std::fabs(Lanczos3Filter(1.0f)), 1e-7f);
}

// The tests below run once on every instruction set the vector kernels were built for
// that this processor has.
class FilteredResizeOn : public testing::TestWithParam<std::int64_t> {
protected:
    void SetUp() override { ForceResizeSimdTarget(GetParam()); }
    void TearDown() override { ForceResizeSimdTarget(0); }
};

INSTANTIATE_TEST_SUITE_P(Targets, FilteredResizeOn, testing::ValuesIn(ResizeSimdTargets()),
                         [](const testing::TestParamInfo<std::int64_t>& info) {
                             return std::string(ResizeSimdTargetName(info.param));
                         });

TEST_P(FilteredResizeOn, SameSizeIsACopy)
{
    std::mt19937 rng(1);
    const Picture source = RandomPicture(37, 23, rng);
    EXPECT_TRUE(Resized(source, 37, 23, Lanczos3Filter, 3.0f).samePixels(source));
    EXPECT_TRUE(Resized(source, 37, 23, BoxFilter, 0.5f).samePixels(source));

    // Source and destination may be the same picture.
    Picture inPlace = source;
    FilteredResize(inPlace, inPlace, Lanczos3Filter, 3.0f);
    EXPECT_TRUE(inPlace.samePixels(source));
}

TEST_P(FilteredResizeOn, HandCheckedRows)
{
    // Triangle, enlarging 3 -> 5: midpoints are exact halves rounded to even.
    EXPECT_EQ(FirstChannel(Resized(GreyRow({10, 21, 200}), 5, 1, TriangleFilter, 1.0f)),
              (std::vector<int>{10, 16, 21, 110, 200}));
    // Triangle, shrinking 5 -> 3: weights 1/4, 1/2, 1/4; -1 reflects to 1 and 5 to 4.
    EXPECT_EQ(FirstChannel(Resized(GreyRow({0, 100, 50, 7, 255}), 3, 1, TriangleFilter, 1.0f)),
              (std::vector<int>{50, 52, 193}));
    // B-Spline at the same size: 1/6, 2/3, 1/6. The left edge mirrors pixel 1, the right
    // edge repeats the last pixel, hence 30 against 15.
    EXPECT_EQ(FirstChannel(Resized(GreyRow({0, 90, 0}), 3, 1, BSplineFilter, 2.0f)),
              (std::vector<int>{30, 60, 15}));

    // The same rows as columns go through the vertical pass.
    Picture column(1, 3);
    const int values[] = {0, 90, 0};
    for (int y = 0; y < 3; ++y)
        std::memset(column.pixel(0, y), values[y], 3);
    EXPECT_EQ(FirstChannel(Resized(column, 1, 3, BSplineFilter, 2.0f)),
              (std::vector<int>{30, 60, 15}));
}

TEST_P(FilteredResizeOn, MatchesReferenceOnSmallPictures)
{
    std::mt19937 rng(2);
    const int sizes[][4] = {{7, 5, 13, 11}, {13, 11, 4, 6}, {9, 9, 9, 3}, {20, 3, 6, 17}};
    for (const auto& s : sizes) {
        const Picture source = RandomPicture(s[0], s[1], rng);
        for (const FilterEntry& f : FilterTable)
            EXPECT_TRUE(Resized(source, s[2], s[3], f.filter, f.support)
                            .samePixels(RefResize(source, s[2], s[3], f.filter, f.support)))
                << f.name << " " << s[0] << "x" << s[1] << " -> " << s[2] << "x" << s[3];
    }
}

TEST_P(FilteredResizeOn, FlatWhiteShrinkStaysNearWhite)
{
    Picture white(200, 150);
    const Picture dest = Resized(white, 71, 53, Lanczos3Filter, 3.0f);
    for (int y = 0; y < dest.height(); ++y)
        for (int x = 0; x < dest.width() * 3; ++x) {
            ASSERT_GE(dest.row(y)[x], 253) << x << "," << y;
            ASSERT_LE(dest.row(y)[x], 255);
        }
}

TEST_P(FilteredResizeOn, EdgeOvershootIsClamped)
{
    // Black then white; the raw sums around the edge go below 0 and above 255.
    std::vector<int> values(24, 0);
    std::fill(values.begin() + 12, values.end(), 255);
    const Picture edge = GreyRow(values);
    for (FilterFunction filter : {Lanczos3Filter, MitchellFilter}) {
        const float support = filter == Lanczos3Filter ? 3.0f : 2.0f;
        const auto taps = RefTaps(57, 24, filter, support);
        float lowest = 0, highest = 0;
        for (const auto& list : taps) {
            float sum = 0.0f;
            for (const RefTap& tap : list)
                sum = std::fmaf(tap.weight, float(values[std::size_t(tap.index)]), sum);
            lowest = std::min(lowest, sum);
            highest = std::max(highest, sum);
        }
        ASSERT_LT(lowest, 0.0f);
        ASSERT_GT(highest, 255.0f);

        const std::vector<int> out = FirstChannel(Resized(edge, 57, 1, filter, support));
        for (std::size_t x = 0; x < out.size(); ++x) {
            if (x < 26) {
                EXPECT_LE(out[x], 32) << x; // a wrapped undershoot would be near 255
            }
            if (x > 31) {
                EXPECT_GE(out[x], 223) << x; // a wrapped overshoot would be near 0
            }
        }
    }
}

TEST_P(FilteredResizeOn, TinySourcesReachNoFurtherThanThePicture)
{
    // Sources narrower than the filter's reach, to every small size; checked against the
    // reference (and run under a memory checker).
    std::mt19937 rng(3);
    const int sources[][2] = {{1, 1}, {2, 1}, {1, 2}, {2, 2}, {3, 2}};
    for (const auto& s : sources) {
        const Picture source = RandomPicture(s[0], s[1], rng);
        for (const FilterEntry& f : FilterTable)
            for (int dw = 1; dw <= 9; ++dw)
                for (int dh = 1; dh <= 9; dh += 2)
                    ASSERT_TRUE(Resized(source, dw, dh, f.filter, f.support)
                                    .samePixels(RefResize(source, dw, dh, f.filter, f.support)))
                        << f.name << " " << s[0] << "x" << s[1] << " -> " << dw << "x" << dh;
    }
    // A single pixel spreads to a flat picture with Box.
    Picture dot(1, 1);
    dot.fill(1, 2, 3);
    Picture flat(5, 4);
    flat.fill(1, 2, 3);
    EXPECT_TRUE(Resized(dot, 5, 4, BoxFilter, 0.5f).samePixels(flat));
}

TEST_P(FilteredResizeOn, OnePixelDestinationStandsForTheWholeSource)
{
    // Left half black, right half white: the single pixel lies between, not at one edge.
    Picture halves(40, 30);
    for (int y = 0; y < 30; ++y)
        std::memset(halves.row(y), 0, 20 * 3);
    for (const FilterEntry& f : FilterTable) {
        const Picture one = Resized(halves, 1, 1, f.filter, f.support);
        EXPECT_GT(one.pixel(0, 0)[1], 80) << f.name;
        EXPECT_LT(one.pixel(0, 0)[1], 175) << f.name;
        EXPECT_TRUE(one.samePixels(RefResize(halves, 1, 1, f.filter, f.support))) << f.name;
        EXPECT_TRUE(Resized(halves, 1, 30, f.filter, f.support)
                        .samePixels(RefResize(halves, 1, 30, f.filter, f.support)))
            << f.name;
        EXPECT_TRUE(Resized(halves, 40, 1, f.filter, f.support)
                        .samePixels(RefResize(halves, 40, 1, f.filter, f.support)))
            << f.name;
    }
}

TEST(FilteredResize, EmptyDestinationsAndBadArguments)
{
    std::mt19937 rng(4);
    const Picture source = RandomPicture(6, 5, rng);
    for (const auto& size : {std::pair{0, 0}, std::pair{0, 4}, std::pair{4, 0}}) {
        Picture dest(size.first, size.second);
        EXPECT_NO_THROW(FilteredResize(source, dest, Lanczos3Filter, 3.0f));
        EXPECT_EQ(dest.width(), size.first);
        EXPECT_EQ(dest.height(), size.second);
    }

    const Picture untouched = RandomPicture(3, 3, rng);
    for (const auto& size : {std::pair{0, 0}, std::pair{0, 4}, std::pair{4, 0}}) {
        Picture empty(size.first, size.second);
        Picture dest = untouched;
        try {
            FilteredResize(empty, dest, Lanczos3Filter, 3.0f);
            ADD_FAILURE() << "no error for an empty source";
        } catch (const std::runtime_error& e) {
            EXPECT_EQ(std::string(e.what()), "Source bitmap too small");
        }
        EXPECT_TRUE(dest.samePixels(untouched));
    }

    for (float support : {-1.0f, std::nanf(""), kMaxFilterSupport * 2}) {
        Picture dest = untouched;
        EXPECT_THROW(FilteredResize(source, dest, Lanczos3Filter, support), std::invalid_argument);
        EXPECT_TRUE(dest.samePixels(untouched));
    }
}

TEST_P(FilteredResizeOn, VectorAndThreadedPathsMatchScalar)
{
    const ResizeOptions scalar{false, 1};
    const std::vector<ResizeOptions> others = {
        {false, 3}, {true, 1}, {true, 2}, {true, 5}, {true, 0}};

    std::mt19937 rng(5);
    std::uniform_int_distribution<int> side(1, 90);
    for (int round = 0; round < 40; ++round) {
        const int sw = side(rng), sh = side(rng), dw = side(rng), dh = side(rng);
        const Picture source = RandomPicture(sw, sh, rng);
        const FilterEntry& f = FilterTable[std::size_t(round) % FilterTable.size()];
        const Picture expected = Resized(source, dw, dh, f.filter, f.support, scalar);
        for (const ResizeOptions& options : others)
            ASSERT_TRUE(Resized(source, dw, dh, f.filter, f.support, options).samePixels(expected))
                << f.name << " " << sw << "x" << sh << " -> " << dw << "x" << dh << " simd "
                << options.allowSimd << " threads " << options.threads;
    }

    // A large shrink and a large enlargement, where the automatic choice uses threads.
    const Picture large = RandomPicture(643, 419, rng);
    for (const auto& size : {std::pair{122, 98}, std::pair{900, 701}}) {
        const Picture expected =
            Resized(large, size.first, size.second, Lanczos3Filter, 3.0f, scalar);
        for (const ResizeOptions& options : others)
            EXPECT_TRUE(Resized(large, size.first, size.second, Lanczos3Filter, 3.0f, options)
                            .samePixels(expected));
    }
}
