#include "discjudge.h"

#include "base/failure.h"
#include "base/fileio.h"

#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

constexpr std::uint64_t kSector = 2048;

std::uint32_t bigEndian32(const std::uint8_t* p)
{
    return std::uint32_t(p[0]) << 24 | std::uint32_t(p[1]) << 16 | std::uint32_t(p[2]) << 8 | p[3];
}

std::uint32_t littleEndian32(const std::uint8_t* p)
{
    return std::uint32_t(p[3]) << 24 | std::uint32_t(p[2]) << 16 | std::uint32_t(p[1]) << 8 | p[0];
}

[[noreturn]] void notWhole(const std::string& why)
{
    throw Failure("Cannot author the disc", "dvdauthor left an incomplete disc: " + why);
}

// The size of a regular file; -1 when there is none.
long long fileSize(const fs::path& path)
{
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
        return -1;
    return static_cast<long long>(st.st_size);
}

// One set: its information file (`ifo`), its backup and `vobs`, which together must
// hold the sectors the information file names. Returns the number of title sets for
// the menu set.
int judgeSet(const fs::path& dir, const std::string& ifo, const char* magic,
             const std::vector<std::string>& vobs)
{
    std::array<std::uint8_t, kSector> head{};
    const UniqueFd fd(::open((dir / ifo).c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW));
    if (!fd || ::pread(fd.get(), head.data(), head.size(), 0) != static_cast<ssize_t>(kSector) ||
        std::memcmp(head.data(), magic, 12) != 0)
        notWhole(ifo + " is missing or is no information file");
    const long long ifoBytes = fileSize(dir / ifo);
    const std::string backup = ifo.substr(0, ifo.size() - 3) + "BUP";
    if (fileSize(dir / backup) != ifoBytes)
        notWhole(backup + " does not match " + ifo);
    const std::uint64_t ifoSectors = std::uint64_t(bigEndian32(head.data() + 0x1C)) + 1;
    if (static_cast<std::uint64_t>(ifoBytes) != ifoSectors * kSector)
        notWhole(ifo + " is " + std::to_string(ifoBytes) + " bytes, not the " +
                 std::to_string(ifoSectors * kSector) + " it names");
    std::uint64_t bytes = 2 * static_cast<std::uint64_t>(ifoBytes);
    for (const std::string& vob : vobs)
        if (const long long size = fileSize(dir / vob); size >= 0)
            bytes += static_cast<std::uint64_t>(size);
    const std::uint64_t setSectors = std::uint64_t(bigEndian32(head.data() + 0x0C)) + 1;
    if (bytes != setSectors * kSector)
        notWhole("the files of " + ifo + " hold " + std::to_string(bytes) + " bytes, not the " +
                 std::to_string(setSectors * kSector) + " it names");
    return (head[0x3E] << 8) | head[0x3F];
}

std::string twoDigits(int n)
{
    char text[8];
    std::snprintf(text, sizeof text, "%02d", n);
    return text;
}

} // namespace

void JudgeVideoTs(const std::string& videoTs)
{
    const fs::path dir(videoTs);
    const int sets = judgeSet(dir, "VIDEO_TS.IFO", "DVDVIDEO-VMG", {"VIDEO_TS.VOB"});
    if (sets < 1 || sets > 99)
        notWhole("VIDEO_TS.IFO names " + std::to_string(sets) + " title sets");
    for (int s = 1; s <= sets; ++s) {
        const std::string prefix = "VTS_" + twoDigits(s) + "_";
        std::vector<std::string> vobs;
        for (int v = 0; v <= 9; ++v)
            vobs.push_back(prefix + std::to_string(v) + ".VOB");
        judgeSet(dir, prefix + "0.IFO", "DVDVIDEO-VTS", vobs);
    }
}

void JudgeDiscImage(int fd, std::uint64_t expectedBytes, const std::string& failed)
{
    struct stat st {};
    if (::fstat(fd, &st) != 0)
        throw Failure::FromErrno(failed, errno);
    const auto bytes = static_cast<std::uint64_t>(st.st_size);
    if (bytes != expectedBytes)
        throw Failure(failed, "genisoimage wrote " + std::to_string(bytes) + " bytes, not the " +
                                  std::to_string(expectedBytes) + " it announced");
    std::array<std::uint8_t, kSector> sector{};
    const auto readSector = [&](std::uint64_t n) {
        return n < bytes / kSector &&
               ::pread(fd, sector.data(), kSector, static_cast<off_t>(n * kSector)) ==
                   static_cast<ssize_t>(kSector);
    };
    if (!readSector(16) || sector[0] != 1 || std::memcmp(sector.data() + 1, "CD001", 5) != 0)
        throw Failure(failed, "genisoimage wrote no ISO 9660 volume");
    const std::uint8_t* root = sector.data() + 156;
    const std::uint64_t extent = littleEndian32(root + 2);
    const std::uint64_t length = std::min<std::uint64_t>(littleEndian32(root + 10), 16 * kSector);
    for (std::uint64_t s = 0; s * kSector < length; ++s) {
        if (!readSector(extent + s))
            break;
        for (std::size_t at = 0; at + 33 < kSector && sector[at] != 0; at += sector[at]) {
            const std::size_t nameLength = sector[at + 32];
            if (sector[at] >= 33 + nameLength && at + 33 + nameLength <= kSector &&
                std::string_view(reinterpret_cast<const char*>(&sector[at + 33]), nameLength) ==
                    "VIDEO_TS")
                return;
        }
    }
    throw Failure(failed, "the image genisoimage wrote lists no VIDEO_TS");
}
