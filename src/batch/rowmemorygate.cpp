#include "rowmemorygate.h"

#include <chrono>
#include <utility>

RowMemoryGate::RowMemoryGate(std::function<std::uint64_t()> dropCaches)
    : m_dropCaches(std::move(dropCaches))
{
}

RowMemoryGate::Row::Row(RowMemoryGate& gate) : m_gate(gate)
{
    {
        std::lock_guard lock(m_gate.m_mutex);
        ++m_gate.m_running;
    }
    MemoryBudget::setThreadWaiter(this);
}

RowMemoryGate::Row::~Row()
{
    MemoryBudget::setThreadWaiter(nullptr);
    {
        std::lock_guard lock(m_gate.m_mutex);
        --m_gate.m_running;
        ++m_gate.m_finished;
    }
    m_gate.m_changed.notify_all();
}

bool RowMemoryGate::Row::makeRoom(std::uint64_t)
{
    // Kept pictures are only a saving; a row that needs the room comes first.
    if (m_gate.m_dropCaches && m_gate.m_dropCaches() > 0)
        return true;
    std::unique_lock lock(m_gate.m_mutex);
    if (m_gate.m_running - m_gate.m_waiting - 1 <= 0) {
        // Nobody at work would free anything: waiting could only wait for ever.
        m_gaveUpBesideOthers = m_gate.m_running > 1;
        return false;
    }
    ++m_gate.m_waiting;
    const std::uint64_t seen = m_gate.m_finished;
    // Pictures are also freed inside rows that go on; look again now and then.
    m_gate.m_changed.wait_for(lock, std::chrono::milliseconds(100),
                              [&] { return m_gate.m_finished != seen; });
    --m_gate.m_waiting;
    return true;
}
