#pragma once

#include "encodetitles.h"

#include <atomic>

// What the runner and one title's encoder share while it runs.
struct TitleControl {
    std::atomic<double> done{0};             // 0..1 of the title
    const std::atomic<bool>* stop = nullptr; // set: give up as soon as possible
    // Once done: the seconds of pictures made (negative: copied, not counted) and the
    // packets and pictures the decoder found damaged.
    double seconds = -1;
    int errors = 0;
};

// Thrown by EncodeTitle when `stop` was set before it finished.
struct TitleStopped {};

// Writes one title: decode, scale and pad to the disc's frame, encode MPEG-2 and AC-3,
// or copy the streams that are already fit for the disc; one pass, `threads` for the
// decoder and the encoder each. Throws Failure or MediaError on a failure.
void EncodeTitle(const TitleJob& job, const BitratePlan& plan, DiscSystem system, int threads,
                 TitleControl& control);
