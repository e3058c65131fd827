#pragma once

// Where a picture sits inside an area.
struct FitRect {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
    bool operator==(const FitRect&) const = default;
    // False when the area or the picture leaves nothing to draw.
    bool visible() const { return width > 0 && height > 0; }
};

// How a picture is fitted: the preview keeps a margin, never enlarges and truncates;
// the thumbnail dialog fills its panel and rounds to the nearest pixel.
struct FitRule {
    int margin = 0;      // kept free on every side
    bool enlarge = true; // false: a picture that fits is shown at its own size
    bool nearest = true; // the shorter side rounded half to even, else truncated
};

// Places a width x height picture inside an areaWidth x areaHeight area (less the
// margin), keeping its shape: full width when it is at least as wide as the room, else
// full height. Centred in the whole area, halves truncated toward zero. An empty picture
// or an area without room gives a 0 x 0 rectangle at the area's centre.
FitRect FitInside(int width, int height, int areaWidth, int areaHeight, const FitRule& rule);
