#include "packclock.h"

#include <algorithm>

void PackClock::sector(const std::uint8_t* s)
{
    // MPEG-2 pack header: 00 00 01 BA, then '01' and the system clock reference.
    if (s[0] != 0 || s[1] != 0 || s[2] != 1 || s[3] != 0xBA || (s[4] & 0xC0) != 0x40)
        return;
    const std::uint64_t base = (static_cast<std::uint64_t>((s[4] >> 3) & 0x07) << 30) |
                               (static_cast<std::uint64_t>(s[4] & 0x03) << 28) |
                               (static_cast<std::uint64_t>(s[5]) << 20) |
                               (static_cast<std::uint64_t>(s[6] >> 3) << 15) |
                               (static_cast<std::uint64_t>(s[6] & 0x03) << 13) |
                               (static_cast<std::uint64_t>(s[7]) << 5) | (s[8] >> 3);
    const std::uint64_t clock = base * 300 + (((s[8] & 0x03) << 7) | (s[9] >> 1));
    const std::uint32_t muxRate = (s[10] << 14) | (s[11] << 6) | (s[12] >> 2);
    m_declared = std::max(m_declared, muxRate * 50.0 * 8);

    constexpr std::uint64_t kSecond = 27000000;
    // The clock starts again at a new VOB: so does the count.
    if (!m_window.empty() && clock < m_window.back())
        m_window.clear();
    m_window.push_back(clock);
    while (clock - m_window.front() >= kSecond)
        m_window.pop_front();
    // One pack of slack: a stream sent at exactly the limit puts its next pack on the edge.
    const double bits = static_cast<double>(m_window.size() - 1) * 2048 * 8;
    m_measured = std::max(m_measured, bits);
}
