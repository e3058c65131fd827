#pragma once

#include "base/picture.h"
#include "discxml.h"

#include <cstdint>
#include <vector>

// The menu's still as a DVD menu stream: an MPEG-2 program stream (FFmpeg's DVD muxer)
// with about one second of MPEG-2 video at 25 or 30000/1001 frames/s in closed GOPs,
// the 4:3 or 16:9 aspect flag, and a silent 48 kHz stereo AC-3 track. `still` must be
// the frame's size (format.width x format.height). Throws std::runtime_error naming
// the step that failed.
std::vector<std::uint8_t> EncodeMenuStream(const Picture& still, const DiscFormat& format);

// Reads a finished menu stream back from `fd` (from its start, without moving the
// offset) and requires an MPEG program stream with the menu's MPEG-2 video and at least
// `subpictureStreams` DVD subpicture streams, larger than the `backgroundBytes` it was
// made from. Throws Failure whose detail says what is wrong ("has no subpicture
// stream").
void CheckMenuStream(int fd, const DiscFormat& format, int subpictureStreams,
                     std::uint64_t backgroundBytes);
