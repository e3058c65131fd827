#include "imageio/picture.h"

#include <gtest/gtest.h>

#include <stdexcept>

TEST(Picture, NewPicturesAreWhiteWithAlignedRows)
{
    Picture p(5, 3);
    EXPECT_EQ(p.width(), 5);
    EXPECT_EQ(p.height(), 3);
    EXPECT_EQ(p.stride(), 16); // 15 bytes rounded up to a multiple of 4
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 5; ++x)
            EXPECT_EQ(p.pixel(x, y)[1], 0xFF);
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
