#include "batchprogress.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

BatchProgress::BatchProgress(std::size_t total, std::FILE* out, bool terminal)
    : m_total(total), m_out(out), m_terminal(terminal), m_start(std::chrono::steady_clock::now())
{
}

std::string BatchProgress::barText(std::size_t done, std::size_t total, double secondsLeft,
                                   int width)
{
    const std::size_t filled = total == 0 ? static_cast<std::size_t>(width)
                                          : done * static_cast<std::size_t>(width) / total;
    std::string bar = "[";
    bar.append(filled, '#');
    bar.append(static_cast<std::size_t>(width) - std::min<std::size_t>(filled, width), '.');
    bar += "] " + std::to_string(done) + "/" + std::to_string(total);
    if (secondsLeft >= 0 && done < total) {
        const auto seconds = static_cast<long long>(std::ceil(secondsLeft));
        char left[48];
        std::snprintf(left, sizeof left, "  %lld:%02lld left", seconds / 60, seconds % 60);
        bar += left;
    }
    return bar;
}

void BatchProgress::print(const std::string& line)
{
    if (m_terminal)
        std::fputs("\r\x1b[K", m_out); // the bar's line becomes this one
    std::fputs(line.c_str(), m_out);
    std::fputc('\n', m_out);
}

void BatchProgress::drawBar()
{
    if (!m_terminal)
        return;
    double left = -1;
    if (m_done > 0) {
        const double elapsed =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - m_start).count();
        left = elapsed / static_cast<double>(m_done) * static_cast<double>(m_total - m_done);
    }
    std::fputs(barText(m_done, m_total, left).c_str(), m_out);
    std::fflush(m_out);
}

void BatchProgress::rowDone(const std::string& line)
{
    ++m_done;
    std::string text = "[";
    text.append(std::to_string(m_done)).append("/").append(std::to_string(m_total)).append("] ");
    print(text + line);
    drawBar();
}

void BatchProgress::note(const std::string& line)
{
    print(line);
    drawBar();
}

void BatchProgress::finish()
{
    if (m_terminal) {
        std::fputs("\r\x1b[K", m_out);
        std::fflush(m_out);
    }
}
