#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

// The pixels a menu's subpicture draws: 2-bit values (0 background, 1 pattern, 2 and 3
// emphasis) over its display area, in frame coordinates.
struct SubpictureMask {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> pixels; // width * height values 0..3, row by row

    // The value at frame position (x, y), or -1 outside the area.
    int at(int x, int y) const;
};

// Gathers subpicture units (private stream 1, substreams 0x20-0x3F) from the 2048-byte
// packs of a DVD program stream, keeping the last complete unit of each stream.
class SubpictureCollector {
public:
    void feed(std::span<const std::uint8_t> pack);
    // The last complete unit of `stream` (0..31), empty when none came.
    std::span<const std::uint8_t> unit(int stream) const;
    void clear();

private:
    void append(int stream, std::span<const std::uint8_t> data, bool starts);

    std::array<std::vector<std::uint8_t>, 32> m_partial;
    std::array<std::vector<std::uint8_t>, 32> m_complete;
};

// Decodes the pixels of a subpicture unit; nullopt when the unit is damaged.
std::optional<SubpictureMask> DecodeSubpicture(std::span<const std::uint8_t> unit);
