#include "tvsafe.h"

#include "gamut.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

void MakeTvSafe(Picture& picture)
{
    if (picture.isEmpty())
        return;
    const int w = picture.width();
    const int h = picture.height();
    const std::size_t rowBytes = static_cast<std::size_t>(w) * 3;
    // The filter reads each original row twice after it has been overwritten: keep the
    // previous original row and the current one.
    std::vector<std::uint8_t> above(rowBytes), current(rowBytes);
    const auto legalRow = [&](int y, std::uint8_t* out) {
        std::memcpy(out, picture.row(y), rowBytes);
        for (std::size_t i = 0; i < rowBytes; i += 3)
            ToneIntoGamut(out + i);
    };
    legalRow(0, current.data());
    above = current;
    std::vector<std::uint8_t> below(rowBytes);
    for (int y = 0; y < h; ++y) {
        if (y + 1 < h)
            legalRow(y + 1, below.data());
        else
            below = current;
        std::uint8_t* out = picture.row(y);
        for (std::size_t i = 0; i < rowBytes; ++i)
            out[i] = static_cast<std::uint8_t>((above[i] + 2 * current[i] + below[i] + 2) >> 2);
        above.swap(current);
        current.swap(below);
    }
}
