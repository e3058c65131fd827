#pragma once

#include "base/picture.h"

#include <array>

// Weight of a filter at distance x (in source pixels after widening).
using FilterFunction = float (*)(float x);

struct FilterEntry {
    const char* name;
    FilterFunction filter;
    float support;
};

float BoxFilter(float x);
float TriangleFilter(float x);
float HermiteFilter(float x);
float BellFilter(float x);
float BSplineFilter(float x);
float Lanczos3Filter(float x);
float MitchellFilter(float x);

// "Box", "Triangle", "Hermite", "Bell", "B-Spline", "Lanczos3", "Mitchell", in that order.
extern const std::array<FilterEntry, 7> FilterTable;

// Largest support FilteredResize accepts; the table's filters reach at most 3.
inline constexpr float kMaxFilterSupport = 16.0f;

// Rescales `source` into `dest`, whose size the caller has set, first along rows then
// along columns. Weights are not normalised. Throws std::runtime_error
// ("Source bitmap too small") for an empty source and std::invalid_argument for a
// support outside 0..kMaxFilterSupport, both before touching `dest`.
void FilteredResize(const Picture& source, Picture& dest, FilterFunction filter, float support);

// While one exists, FilteredResize calls made on its thread stay on that thread: for
// callers that already keep every core busy with work of their own. Scopes nest.
class SingleThreadedResize {
public:
    SingleThreadedResize();
    ~SingleThreadedResize();
    SingleThreadedResize(const SingleThreadedResize&) = delete;
    SingleThreadedResize& operator=(const SingleThreadedResize&) = delete;
};
