#pragma once

#include <cstdint>
#include <deque>

// The pack headers that open each 2048-byte sector: the mux rate they declare and the
// rate they are really sent at, counted over the worst second of their clock.
class PackClock {
public:
    void sector(const std::uint8_t* sector);
    double declaredPeak() const { return m_declared; } // bits/s
    double measuredPeak() const { return m_measured; } // bits/s

private:
    std::deque<std::uint64_t> m_window; // clock (27 MHz) of the packs of the last second
    double m_declared = 0;
    double m_measured = 0;
};
