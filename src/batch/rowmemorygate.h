#pragma once

#include "base/memorybudget.h"

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>

// Rows of a batch share the run's memory budget. A row whose picture or movie does not
// fit first has the shared caches dropped, then waits while other rows are still at
// work and will give their memory back. When every other row waits as well, it gives
// up, so that the others go on; the batch tries such a row again alone at the end.
class RowMemoryGate {
public:
    // `dropCaches` frees what the batch keeps between rows; returns the bytes freed.
    explicit RowMemoryGate(std::function<std::uint64_t()> dropCaches);

    // One row at work on the current thread: its memory waits go through the gate.
    class Row : public MemoryBudget::Waiter {
    public:
        explicit Row(RowMemoryGate& gate);
        ~Row() override;
        Row(const Row&) = delete;
        Row& operator=(const Row&) = delete;
        bool makeRoom(std::uint64_t bytes) override;
        // Whether the row gave up for memory while other rows held it: alone it may fit.
        bool mayFitAlone() const { return m_gaveUpBesideOthers; }

    private:
        RowMemoryGate& m_gate;
        bool m_gaveUpBesideOthers = false;
    };

private:
    std::function<std::uint64_t()> m_dropCaches;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    int m_running = 0;
    int m_waiting = 0;
    std::uint64_t m_finished = 0;
};
