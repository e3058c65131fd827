#pragma once

#include <zlib.h>

#include <cstddef>
#include <cstdint>

// What the PNG reader and writer share: the signature, big-endian fields and the chunk CRC.

inline constexpr std::uint8_t kPngSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};

inline std::uint32_t ReadBigEndian32(const std::uint8_t* p)
{
    return std::uint32_t(p[0]) << 24 | std::uint32_t(p[1]) << 16 | std::uint32_t(p[2]) << 8 |
           std::uint32_t(p[3]);
}

inline void WriteBigEndian32(std::uint8_t* p, std::uint32_t value)
{
    p[0] = static_cast<std::uint8_t>(value >> 24);
    p[1] = static_cast<std::uint8_t>(value >> 16);
    p[2] = static_cast<std::uint8_t>(value >> 8);
    p[3] = static_cast<std::uint8_t>(value);
}

// The CRC of a chunk covers its type and its data, which lie together from `typeAndData`.
inline std::uint32_t PngChunkCrc(const std::uint8_t* typeAndData, std::uint32_t dataLength)
{
    return static_cast<std::uint32_t>(
        crc32(crc32(0L, Z_NULL, 0), typeAndData, static_cast<uInt>(dataLength + 4)));
}
