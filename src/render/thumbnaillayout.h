#pragma once

#include <array>

// Where the thumbnail grid of n items stands. x values and the box width are
// fractions of the target width, y values and the box height of its height.
struct ThumbnailLayoutRow {
    double x0; // first row origin
    double y0;
    double x1; // second row origin
    double y1;
    double boxwidth;
    double boxheight;
    int rowbreak; // item after which the second row starts
};

// Indexed by the item count n = 1..10; row 0 is a zero row that nothing reads.
extern const std::array<ThumbnailLayoutRow, 11> ThumbnailLayout;
