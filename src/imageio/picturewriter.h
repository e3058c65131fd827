#pragma once

#include "base/picture.h"
#include "codecs/codectypes.h"
#include "picturetype.h"

#include <string>

// A codec's view of a picture's pixels (no copy).
inline ImageView viewOf(const Picture& picture)
{
    return ImageView{picture.data(), picture.width(), picture.height(), picture.stride()};
}

// Encodes the whole file in memory with the writer of `type`, then replaces `path` in one
// step (AtomicFile), so a failure never leaves a partial file or harms an existing one.
// Throws Failure "Error saving PATH" with the reason (the system's, with its errno, where
// it gave one).
void WritePictureFile(PictureType type, const std::string& path, const Picture& picture);
