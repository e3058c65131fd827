#pragma once

#include <optional>

struct FitRect {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
    bool operator==(const FitRect&) const = default;
};

// Place of a w x h source shown in a pw x ph area, keeping its shape: full width
// (height rounded half to even, centred by truncated halving) when the source is
// wider than the area, else full height. Empty when the source has no area.
std::optional<FitRect> FitPreview(int w, int h, int pw, int ph);
