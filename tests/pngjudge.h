#pragma once

#include <cstdint>
#include <string>
#include <vector>

// libpng as an outside judge: what the picture loader should make of a PNG file.
struct JudgedPng {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> rgba; // R,G,B,A per pixel, rows top-down
};

// Reads `path` with libpng into 8-bit RGBA: palettes and low depths expanded, tRNS turned
// into alpha, 16-bit samples cut to their high byte and the colour values passed through
// the gAMA table. False when libpng refuses the file.
bool JudgePng(const std::string& path, JudgedPng& out);

// The same picture composed over white, 3 bytes per pixel.
std::vector<std::uint8_t> JudgeOverWhite(const JudgedPng& png);
