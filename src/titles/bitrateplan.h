#pragma once

#include "titleinfo.h"

#include <cstdint>
#include <string>
#include <vector>

// Disc sizes in decimal bytes, as they are sold.
inline constexpr std::uint64_t kSingleLayerBytes = 4'700'000'000ULL;
inline constexpr std::uint64_t kDualLayerBytes = 8'500'000'000ULL;

// Below this a title is no longer watchable; a plan that needs less is refused.
inline constexpr std::int64_t kMinimumVideoBitRate = 2'500'000;

// The video bit rate that fills the disc without overflowing it.
struct BitratePlan {
    std::int64_t videoBitRate = 0;    // average for every re-encoded title (bits/s)
    std::int64_t maxVideoBitRate = 0; // peak, within the disc's mux rate
    std::uint64_t capacityBytes = 0;
    double totalSeconds = 0; // of all titles
};

// "4.7G", "8.5G", "4700M", "700000000": decimal units. Throws Failure on anything else
// or on a size no disc has.
std::uint64_t ParseCapacity(const std::string& text);

// Shares what `capacityBytes` leaves after the menus, the copied titles, the sound and a
// margin for the multiplex among the titles by length. Throws Failure, saying the
// total length and what length would fit, when the rate would fall under
// kMinimumVideoBitRate.
BitratePlan PlanBitrate(const std::vector<TitleInfo>& titles, std::uint64_t capacityBytes,
                        std::uint64_t menuBytes);
