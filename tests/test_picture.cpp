#include "base/picture.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <vector>

TEST(Picture, NewPicturesAreWhiteWithAlignedRows)
{
    Picture p(5, 3);
    EXPECT_EQ(p.width(), 5);
    EXPECT_EQ(p.height(), 3);
    EXPECT_EQ(p.stride(), 16); // 15 bytes rounded up to a multiple of 4
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 5; ++x)
            for (int channel = 0; channel < 3; ++channel)
                EXPECT_EQ(p.pixel(x, y)[channel], 0xFF) << x << "," << y << " channel " << channel;
}

TEST(Picture, ResizeKeepingKeepsOverlapAndWhitensNewPixels)
{
    Picture p(2, 2);
    p.fill(10, 20, 30);
    p.resizeKeeping(3, 1);
    ASSERT_EQ(p.width(), 3);
    ASSERT_EQ(p.height(), 1);
    EXPECT_EQ(p.pixel(1, 0)[2], 30);
    EXPECT_EQ(p.pixel(2, 0)[0], 255);
    p.resizeKeeping(0, 0);
    EXPECT_TRUE(p.isEmpty());
}

TEST(Picture, RefusesImpossibleSizes)
{
    Picture p;
    EXPECT_THROW(p.reset(-1, 4), std::length_error);
    EXPECT_THROW(p.reset(70000, 1), std::length_error);
    EXPECT_THROW(p.reset(30000, 30000), std::length_error);
    EXPECT_TRUE(p.isEmpty());
}

// Packing in place must not overwrite bytes still to be read, for any row padding.
TEST(Picture, FromRgbaPacksInPlaceForEveryPadding)
{
    for (int width : {1, 2, 3, 4, 5, 7, 33}) {
        const int height = 5;
        std::vector<std::uint8_t> rgba(std::size_t(width) * height * 4);
        for (std::size_t i = 0; i < rgba.size(); ++i)
            rgba[i] = static_cast<std::uint8_t>(i * 7 + 1);
        const std::vector<std::uint8_t> source = rgba;
        const Picture picture = Picture::fromRgba(std::move(rgba), width, height);
        ASSERT_EQ(picture.width(), width);
        ASSERT_EQ(picture.stride() % 4, 0);
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x)
                for (int k = 0; k < 3; ++k)
                    ASSERT_EQ(picture.pixel(x, y)[k], source[(std::size_t(y) * width + x) * 4 + k])
                        << width << " " << x << "," << y;
    }
    EXPECT_THROW(Picture::fromRgba(std::vector<std::uint8_t>(7), 1, 2), std::length_error);
}

TEST(Picture, PixelsAreCountedInTheRunBudget)
{
    const std::uint64_t before = MemoryBudget::inUse();
    {
        Picture a(100, 100);
        EXPECT_GE(MemoryBudget::inUse(), before + 30'000);
        Picture b = a; // a copy counts again
        EXPECT_GE(MemoryBudget::inUse(), before + 60'000);
        Picture c = std::move(b); // a move does not
        EXPECT_LT(MemoryBudget::inUse(), before + 61'000);
        a.clear();
        EXPECT_LT(MemoryBudget::inUse(), before + 31'000);
    }
    EXPECT_EQ(MemoryBudget::inUse(), before);
}
