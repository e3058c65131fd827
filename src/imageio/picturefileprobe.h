#pragma once

#include "codecs/codectypes.h"
#include "picturetype.h"

#include <cstdint>
#include <functional>
#include <span>
#include <vector>

// What the head of a picture file declares, judged before its body is read.
struct PictureFileProbe {
    std::uint64_t width = 0;
    std::uint64_t height = 0;
    std::uint64_t workBytes = 0; // decoder memory beside the output (JPEG coefficients)
};

// Bytes of a file read before anything else.
inline constexpr std::size_t kProbeBytes = 64 * 1024;

// Reads `size` bytes at `offset` of the file (fewer at its end).
using ReadAt = std::function<std::vector<std::uint8_t>(std::uint64_t offset, std::size_t size)>;

// Judges the declared size against the limits and against the file's size and coding:
// a picture its data could not fill, or a file far larger than its picture could need,
// is refused. `head` is the file's first bytes (up to kProbeBytes); `readAt` reaches
// further where the format needs it (JPEG segments). Throws std::runtime_error with
// the reason; a header it cannot judge (a zero GIF screen) is left to the decoder.
PictureFileProbe ProbePictureFile(PictureType format, std::span<const std::uint8_t> head,
                                  std::uint64_t fileBytes, const DecodeLimits& limits,
                                  const ReadAt& readAt);
