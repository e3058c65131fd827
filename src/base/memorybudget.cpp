#include "memorybudget.h"

#include <cstdio>
#include <string>

namespace {

std::atomic<std::uint64_t> g_limit{MemoryBudget::kDefaultLimit};
std::atomic<std::uint64_t> g_inUse{0};
thread_local MemoryBudget::Waiter* t_waiter = nullptr;
thread_local std::uint64_t t_refusals = 0;

std::string megabytes(std::uint64_t bytes)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.0f MB", static_cast<double>(bytes) / (1 << 20));
    return text;
}

} // namespace

std::uint64_t MemoryBudget::limit()
{
    return g_limit.load(std::memory_order_relaxed);
}

void MemoryBudget::setLimit(std::uint64_t bytes)
{
    g_limit.store(bytes, std::memory_order_relaxed);
}

std::uint64_t MemoryBudget::inUse()
{
    return g_inUse.load(std::memory_order_relaxed);
}

void MemoryBudget::charge(std::uint64_t bytes)
{
    g_inUse.fetch_add(bytes, std::memory_order_relaxed);
}

void MemoryBudget::release(std::uint64_t bytes)
{
    g_inUse.fetch_sub(bytes, std::memory_order_relaxed);
}

void MemoryBudget::setThreadWaiter(Waiter* waiter)
{
    t_waiter = waiter;
}

std::uint64_t MemoryBudget::threadRefusals()
{
    return t_refusals;
}

BudgetReservation::BudgetReservation(std::uint64_t bytes) : m_bytes(bytes)
{
    std::uint64_t used = g_inUse.load(std::memory_order_relaxed);
    const std::uint64_t limit = MemoryBudget::limit();
    for (;;) {
        // More than the whole budget never fits, however long one waits.
        if (bytes <= limit && used > limit - bytes && t_waiter && t_waiter->makeRoom(bytes)) {
            used = g_inUse.load(std::memory_order_relaxed);
            continue;
        }
        if (bytes > limit || used > limit - bytes) {
            ++t_refusals;
            throw BudgetExceeded("the picture needs " + megabytes(bytes) + " and only " +
                                 megabytes(used < limit ? limit - used : 0) + " of the " +
                                 megabytes(limit) + " for pictures is free");
        }
        if (g_inUse.compare_exchange_weak(used, used + bytes, std::memory_order_relaxed))
            break;
    }
}

BudgetReservation::~BudgetReservation()
{
    MemoryBudget::release(m_bytes);
}
