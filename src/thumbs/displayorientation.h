#pragma once

struct AVStream;

// How a movie's coded pictures must be turned to stand upright, from the display matrix
// its container holds (phones record sideways and say so there).
struct DisplayOrientation {
    int clockwise = 0;           // 0, 90, 180 or 270: the turn applied after the flip
    bool flipHorizontal = false; // mirror left to right before turning

    bool isIdentity() const { return clockwise == 0 && !flipHorizontal; }
    // Whether the upright picture has the coded width and height swapped.
    bool swapsSides() const { return clockwise == 90 || clockwise == 270; }
};

// Reads the stream's display matrix; a missing, damaged or non-right-angle matrix reads
// as upright.
DisplayOrientation ReadDisplayOrientation(const AVStream* stream);
