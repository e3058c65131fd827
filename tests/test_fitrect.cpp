#include "render/fitrect.h"
#include "render/previewbounds.h"

#include <gtest/gtest.h>

#include <utility>
#include <vector>

// The preview and the thumbnail dialog share one fitting rule set; these pin both uses.

TEST(PreviewBounds, ExamplesFromTheLayout)
{
    PreviewBounds b = ComputePreviewBounds(522, 496, 720, 576);
    EXPECT_EQ(b.left, 5);
    EXPECT_EQ(b.top, 43);
    EXPECT_EQ(b.width, 512);
    EXPECT_EQ(b.height, 409);
    EXPECT_EQ(PreviewScaleText(720, 576, b), "720 x 576 at 71% preview");

    b = ComputePreviewBounds(522, 496, 704, 480);
    EXPECT_EQ(b.left, 5);
    EXPECT_EQ(b.top, 73);
    EXPECT_EQ(b.width, 512);
    EXPECT_EQ(b.height, 349);
    EXPECT_EQ(b.percent, 72);

    b = ComputePreviewBounds(800, 700, 720, 576);
    EXPECT_EQ(b.left, 40);
    EXPECT_EQ(b.top, 62);
    EXPECT_EQ(b.width, 720);
    EXPECT_EQ(b.height, 576);
    EXPECT_EQ(PreviewScaleText(720, 576, b), "720 x 576 at 100% preview");
}

TEST(PreviewBounds, FullSizeOnlyWithRoomForTheMargin)
{
    PreviewBounds b = ComputePreviewBounds(730, 586, 720, 576);
    EXPECT_EQ(b.width, 720);
    EXPECT_EQ(b.height, 576);
    b = ComputePreviewBounds(729, 586, 720, 576);
    EXPECT_EQ(b.width, 719);
    EXPECT_EQ(b.height, 575);
    b = ComputePreviewBounds(730, 585, 720, 576);
    EXPECT_EQ(b.height, 575);
    EXPECT_EQ(b.width, 718);
    // Never enlarged, however large the panel.
    b = ComputePreviewBounds(5000, 4000, 704, 480);
    EXPECT_EQ(b.width, 704);
    EXPECT_EQ(b.height, 480);
    EXPECT_EQ(b.percent, 100);
}

TEST(PreviewBounds, EqualShapesTakeTheWidth)
{
    // aw / ah = 360 / 288 = 720 / 576.
    const PreviewBounds b = ComputePreviewBounds(370, 298, 720, 576);
    EXPECT_EQ(b.width, 360);
    EXPECT_EQ(b.height, 288);
    EXPECT_EQ(b.percent, 50);
}

TEST(PreviewBounds, TinyPanelsShowNothing)
{
    for (const auto& [pw, ph] :
         std::vector<std::pair<int, int>>{{10, 300}, {300, 10}, {0, 0}, {-20, 5}, {11, 11}}) {
        const PreviewBounds b = ComputePreviewBounds(pw, ph, 720, 576);
        EXPECT_GE(b.width, 0);
        EXPECT_GE(b.height, 0);
        if (pw <= 10 || ph <= 10) {
            EXPECT_FALSE(b.visible()) << pw << "x" << ph;
        }
    }
    // One pixel of room gives a height that truncates to zero: still nothing to draw.
    EXPECT_FALSE(ComputePreviewBounds(11, 11, 720, 576).visible());
    EXPECT_FALSE(ComputePreviewBounds(500, 500, 0, 0).visible());
}

TEST(FitInside, ThumbnailPanelIsFilledAndRoundedToTheNearestPixel)
{
    EXPECT_EQ(FitInside(720, 480, 286, 194, FitRule{}), (FitRect{0, 1, 286, 191}));
    EXPECT_EQ(FitInside(352, 240, 286, 194, FitRule{}), (FitRect{0, 0, 285, 194}));
    EXPECT_EQ(FitInside(320, 240, 286, 194, FitRule{}), (FitRect{13, 0, 259, 194}));
    EXPECT_EQ(FitInside(286, 194, 286, 194, FitRule{}), (FitRect{0, 0, 286, 194}));
    EXPECT_EQ(FitInside(0, 240, 286, 194, FitRule{}), (FitRect{143, 97, 0, 0}));
    EXPECT_FALSE(FitInside(320, 0, 286, 194, FitRule{}).visible());
}

TEST(FitInside, ExactHalvesGoToTheEvenNeighbour)
{
    // 3 x 2 in 5 x 100: height 10 / 3 = 3.33 -> 3; 2 x 3 in 100 x 5: width 3.33 -> 3.
    EXPECT_EQ(FitInside(3, 2, 5, 100, FitRule{}).height, 3);
    // 4 x 2 in 5 x 100: 2.5 -> 2 (even); 4 x 6 in 5 x 100 is full width: 7.5 -> 8 (even).
    EXPECT_EQ(FitInside(4, 2, 5, 100, FitRule{}).height, 2);
    EXPECT_EQ(FitInside(4, 6, 5, 100, FitRule{}).height, 8);
    // Truncated for the preview.
    EXPECT_EQ(
        FitInside(4, 6, 5, 100, FitRule{.margin = 0, .enlarge = true, .nearest = false}).height, 7);
}
