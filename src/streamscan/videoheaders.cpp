#include "videoheaders.h"

#include <algorithm>

namespace {

constexpr std::uint8_t kPicture = 0x00;
constexpr std::uint8_t kSequence = 0xB3;
constexpr std::uint8_t kExtension = 0xB5;
constexpr std::uint8_t kGop = 0xB8;

// Header fields are read from at most this many bytes after the start code.
constexpr std::size_t kHeaderBytes = 8;

} // namespace

VideoHeaderScan::VideoHeaderScan(VideoFacts& facts, std::vector<std::uint64_t> cellStarts)
    : m_facts(facts), m_cellStarts(std::move(cellStarts))
{
}

double VideoHeaderScan::fieldRate() const
{
    switch (m_facts.frameRateCode) {
    case 1:
        return 48000.0 / 1001;
    case 2:
        return 48;
    case 3:
        return 50;
    case 4:
        return 60000.0 / 1001;
    case 5:
        return 60;
    case 6:
        return 100;
    case 7:
        return 120000.0 / 1001;
    case 8:
        return 120;
    default:
        return 50;
    }
}

double VideoHeaderScan::seconds() const
{
    return static_cast<double>(m_fieldsSoFar) / fieldRate();
}

bool VideoHeaderScan::picture(const std::uint8_t* data, std::size_t size, std::int64_t position)
{
    m_facts.found = true;
    m_pictureFields = 0;
    bool opensGop = false;
    // Start codes: 00 00 01 xx. Slices (01..AF) are skipped over, not parsed.
    for (std::size_t i = 0; i + 3 < size;) {
        if (data[i + 2] > 1) {
            i += 3;
            continue;
        }
        if (data[i] != 0 || data[i + 1] != 0 || data[i + 2] != 1) {
            ++i;
            continue;
        }
        const std::uint8_t code = data[i + 3];
        const std::uint8_t* p = data + i + 4;
        const std::size_t left = std::min(size - i - 4, kHeaderBytes);
        if (code == kSequence)
            sequence(p, left);
        else if (code == kExtension)
            extension(p, left);
        else if (code == kGop) {
            gop(p, left, position);
            opensGop = true;
        } else if (code == kPicture)
            pictureHeader(p, left);
        i += 4;
    }
    countRate(size);
    return opensGop;
}

void VideoHeaderScan::sequence(const std::uint8_t* p, std::size_t left)
{
    if (left < 4)
        return;
    const int width = (p[0] << 4) | (p[1] >> 4);
    const int height = ((p[1] & 0x0F) << 8) | p[2];
    const int aspect = p[3] >> 4;
    const int rate = p[3] & 0x0F;
    if (m_facts.width == 0) {
        m_facts.width = width;
        m_facts.height = height;
        m_facts.aspectCode = aspect;
        m_facts.frameRateCode = rate;
        m_facts.mpegVersion = 1;
    } else if (width != m_facts.width || height != m_facts.height || aspect != m_facts.aspectCode ||
               rate != m_facts.frameRateCode) {
        m_facts.headersChange = true;
    }
}

void VideoHeaderScan::extension(const std::uint8_t* p, std::size_t left)
{
    if (left < 1)
        return;
    const int id = p[0] >> 4;
    if (id == 1 && left >= 2) { // sequence extension
        m_facts.mpegVersion = 2;
        m_facts.progressiveSequence = (p[1] & 0x08) != 0;
    } else if (id == 8 && left >= 5) { // picture coding extension
        const int structure = p[2] & 0x03;
        const bool repeatFirst = (p[3] & 0x02) != 0;
        const bool progressive = (p[4] & 0x80) != 0;
        if (!progressive)
            ++m_facts.interlacedPictures;
        // A frame picture covers two fields (three when it repeats one); a field picture
        // one. The plain frame count was already added by the picture header.
        m_pictureFields += structure == 3 ? (repeatFirst ? 1 : 0) : -1;
    }
}

void VideoHeaderScan::gop(const std::uint8_t* p, std::size_t left, std::int64_t position)
{
    endGop();
    ++m_facts.gops;
    if (left < 4)
        return;
    const bool closed = (p[3] & 0x40) != 0;
    // A broken link tells the player to drop the leading pictures: a clean start as well.
    const bool brokenLink = (p[3] & 0x20) != 0;
    const std::uint64_t sector = position < 0 ? 0 : static_cast<std::uint64_t>(position) / 2048;
    m_checkCell = false;
    while (m_nextCell < m_cellStarts.size() && m_cellStarts[m_nextCell] <= sector) {
        ++m_nextCell;
        m_checkCell = true;
    }
    m_cellGopClosed = closed || brokenLink;
}

void VideoHeaderScan::pictureHeader(const std::uint8_t* p, std::size_t left)
{
    ++m_facts.pictures;
    m_pictureFields += 2;
    if (left < 2)
        return;
    // Open GOP: the first picture is shown after B-pictures that lean on the GOP before.
    const int temporalReference = (p[0] << 2) | (p[1] >> 6);
    if (m_checkCell && !m_cellGopClosed && temporalReference != 0)
        m_facts.openCells.push_back(static_cast<int>(m_nextCell));
    m_checkCell = false;
}

void VideoHeaderScan::endGop()
{
    const int frames = m_gopFields / 2;
    if (frames > m_facts.longestGop) {
        m_facts.longestGop = frames;
        m_facts.longestGopAt = seconds() - m_gopFields / fieldRate();
    }
    m_gopFields = 0;
}

void VideoHeaderScan::countRate(std::size_t bytes)
{
    const int fields = std::max(m_pictureFields, 0);
    m_gopFields += fields;
    m_fieldsSoFar += fields;
    m_allBytes += bytes;
    m_window.emplace_back(fields, bytes);
    m_windowFields += fields;
    m_windowBytes += bytes;
    const double second = fieldRate();
    while (!m_window.empty() && m_windowFields - m_window.front().first >= second) {
        m_windowFields -= m_window.front().first;
        m_windowBytes -= m_window.front().second;
        m_window.pop_front();
    }
    if (m_windowFields >= second) {
        m_windowFull = true;
        const double rate = static_cast<double>(m_windowBytes) * 8 * second / m_windowFields;
        if (rate > m_facts.peakBitRate) {
            m_facts.peakBitRate = rate;
            m_facts.peakBitRateAt = seconds() - 1;
        }
    }
}

void VideoHeaderScan::finish()
{
    endGop();
    // A stream shorter than a second: all of it fits in one second.
    if (!m_windowFull)
        m_facts.peakBitRate = static_cast<double>(m_allBytes) * 8;
}
