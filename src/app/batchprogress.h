#pragma once

#include <chrono>
#include <cstddef>
#include <cstdio>
#include <string>

// Progress of a batch on standard error: one line per finished row ("[12/120]
// wedding-long.png") and, when standard error is a terminal, a bar with the time left
// kept on the last line.
class BatchProgress {
public:
    BatchProgress(std::size_t total, std::FILE* out, bool terminal);
    // Prints the row's line (and redraws the bar).
    void rowDone(const std::string& line);
    // A line that is not a finished row (a note), printed above the bar.
    void note(const std::string& line);
    // Clears the bar.
    void finish();

    std::size_t done() const { return m_done; }

    // "[####......] 12/120  1:05 left", `width` marks wide.
    static std::string barText(std::size_t done, std::size_t total, double secondsLeft,
                               int width = 30);

private:
    void print(const std::string& line);
    void drawBar();

    std::size_t m_total;
    std::size_t m_done = 0;
    std::FILE* m_out;
    bool m_terminal;
    std::chrono::steady_clock::time_point m_start;
};
