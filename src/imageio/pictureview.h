#pragma once

#include "atomicfile.h"
#include "codecs/codectypes.h"
#include "picture.h"

#include <cstdint>
#include <vector>

// A codec's view of a picture's pixels (no copy).
inline ImageView viewOf(const Picture& picture)
{
    return ImageView{picture.data(), picture.width(), picture.height(), picture.stride()};
}

// Encodes the whole file in memory first and then replaces the target in one step,
// so a failure never leaves a partial file or harms an existing one. Never throws.
template <typename Encoder>
bool saveEncoded(const std::string& fileName, const Picture& picture, Encoder encode) noexcept
{
    try {
        SetLastSaveError({});
        if (picture.isEmpty())
            return false;
        const std::vector<std::uint8_t> bytes = encode(viewOf(picture));
        WriteFileAtomically(fileName, bytes);
        return true;
    } catch (const FileError& e) {
        SetLastSaveError(e.reason());
    } catch (...) {
    }
    return false;
}
