#pragma once

#include "discplay/streamfacts.h"

#include <cstddef>
#include <cstdint>
#include <deque>
#include <utility>

// Reads the MPEG video headers (sequence, extensions, GOP, picture) out of a stream's
// pictures, one demuxed picture at a time, into VideoFacts: sizes and flags, GOP lengths,
// whether each cell starts on a GOP that stands alone, and the peak bit rate. Reads only
// inside the bytes it is given, so any packet is safe.
class VideoHeaderScan {
public:
    VideoHeaderScan(VideoFacts& facts, std::vector<std::uint64_t> cellStarts);
    // One demuxed picture and the byte position of the pack it starts in. Returns true
    // when the packet opens a GOP.
    bool picture(const std::uint8_t* data, std::size_t size, std::int64_t position);
    // The stream is over: the last GOP and second are counted.
    void finish();
    double seconds() const;

private:
    void sequence(const std::uint8_t* p, std::size_t left);
    void extension(const std::uint8_t* p, std::size_t left);
    void gop(const std::uint8_t* p, std::size_t left, std::int64_t position);
    void pictureHeader(const std::uint8_t* p, std::size_t left);
    void endGop();
    void countRate(std::size_t bytes);
    double fieldRate() const;

    VideoFacts& m_facts;
    std::vector<std::uint64_t> m_cellStarts;
    std::size_t m_nextCell = 0;
    bool m_checkCell = false; // the GOP just opened starts a cell: judge its first picture
    bool m_cellGopClosed = false;
    int m_gopFields = 0;                              // fields of the GOP so far
    long m_fieldsSoFar = 0;                           // fields of the stream so far, for times
    int m_pictureFields = 0;                          // of the packet being read
    std::deque<std::pair<int, std::size_t>> m_window; // fields and bytes of recent pictures
    long m_windowFields = 0;
    std::uint64_t m_windowBytes = 0;
    bool m_windowFull = false;
    std::uint64_t m_allBytes = 0;
};
