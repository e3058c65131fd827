#include "packcopy.h"

#include "titleencoder.h"

#include "base/fileio.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <vector>

namespace {

constexpr std::size_t kPack = 2048;
constexpr std::size_t kChunkPacks = 128; // 256 KiB read and written at a time
// 10.08 Mb/s in the pack header's units of 50 bytes per second.
constexpr std::uint32_t kMaxMuxRate = 25'200;

// The streams met so far; a title copied whole must hold one of each.
struct Streams {
    int video = -1;
    int sound = -1; // the stream id, with the substream of private stream 1 above it
    bool navigation = false;
};

bool isStartCode(const std::uint8_t* p)
{
    return p[0] == 0 && p[1] == 0 && p[2] == 1;
}

// A packet's stream as a DVD title may hold it, or -1: MPEG-2 video 0, MPEG audio,
// private stream 1's AC-3 (substreams 0x80-0x87), padding and navigation.
int streamOf(const std::uint8_t* packet, std::size_t room)
{
    const int id = packet[3];
    if (id == 0xBD) {
        // The substream number follows the PES header's optional fields.
        if (room < 9 || room < 10u + packet[8])
            return -1;
        const int sub = packet[9 + packet[8]];
        return sub >= 0x80 && sub <= 0x87 ? (id << 8) | sub : -1;
    }
    if (id == 0xE0 || (id >= 0xC0 && id <= 0xC7) || id == 0xBB || id == 0xBE || id == 0xBF)
        return id;
    return -1;
}

// Whether `p` is one DVD pack: an MPEG-2 pack header, then whole packets that fill it.
bool isDiscPack(const std::uint8_t* p, Streams& seen)
{
    if (!isStartCode(p) || p[3] != 0xBA || (p[4] & 0xC4) != 0x44)
        return false;
    const std::uint32_t muxRate = (std::uint32_t{p[10]} << 14) | (p[11] << 6) | (p[12] >> 2);
    if (muxRate == 0 || muxRate > kMaxMuxRate)
        return false;
    std::size_t at = 14 + (p[13] & 7);
    while (at < kPack) {
        if (kPack - at < 6 || !isStartCode(p + at))
            return false;
        const std::size_t length = 6 + ((std::size_t{p[at + 4]} << 8) | p[at + 5]);
        if (length > kPack - at)
            return false;
        const int stream = streamOf(p + at, length);
        if (stream < 0)
            return false;
        if (stream == 0xBF) {
            seen.navigation = true;
        } else if (stream == 0xE0) {
            seen.video = stream;
        } else if (stream != 0xBB && stream != 0xBE) {
            if (seen.sound >= 0 && seen.sound != stream)
                return false; // a second sound track: the title takes one
            seen.sound = stream;
        }
        at += length;
    }
    return true;
}

// Fills `buf` from `fd` unless the file ends first; the bytes read.
std::size_t readFull(int fd, std::uint8_t* buf, std::size_t size, const std::string& movie)
{
    std::size_t got = 0;
    while (got < size) {
        const ssize_t n = ::read(fd, buf + got, size - got);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            throw FileError::FromErrno("Cannot read file " + movie, errno);
        if (n == 0)
            break;
        got += static_cast<std::size_t>(n);
    }
    return got;
}

} // namespace

bool CopyDiscPacks(const std::string& movie, TitleOutput& out, TitleControl& control)
{
    std::uint64_t size = 0;
    const UniqueFd fd = OpenRegularFile(movie, &size);
    if (size == 0 || (size % kPack != 0 && size % kPack != 4))
        return false; // not whole packs, with at most the end code after them
    ::posix_fadvise(fd.get(), 0, 0, POSIX_FADV_SEQUENTIAL);
    // Whole chunks go past the muxer's buffer straight to the file.
    out.io()->direct = 1;
    std::vector<std::uint8_t> chunk(kChunkPacks * kPack);
    Streams seen;
    std::uint64_t copied = 0;
    for (;;) {
        if (control.stop && control.stop->load(std::memory_order_relaxed))
            throw TitleStopped{};
        const std::size_t got = readFull(fd.get(), chunk.data(), chunk.size(), movie);
        const std::size_t packs = got / kPack;
        for (std::size_t i = 0; i < packs; ++i) {
            if (!isDiscPack(chunk.data() + i * kPack, seen))
                return false;
            if (copied == 0 && i == 0 && !seen.navigation)
                return false; // a DVD title starts on a navigation pack
        }
        const std::size_t tail = got - packs * kPack;
        if (tail != 0 &&
            !(tail == 4 && isStartCode(chunk.data() + got - 4) && chunk[got - 1] == 0xB9))
            return false;
        avio_write(out.io(), chunk.data(), static_cast<int>(got));
        if (out.io()->error < 0)
            return true; // commit() reports why
        copied += got;
        control.done = static_cast<double>(copied) / static_cast<double>(size);
        if (got < chunk.size())
            break;
    }
    return copied == size && seen.video >= 0 && seen.sound >= 0;
}
