#pragma once

#include "failure.h"

#include <atomic>
#include <cstdint>
#include <string>

// The run's memory budget for pictures: every Picture's pixels are counted, and a load
// reserves what it will need (file, decoder output, the picture) before it starts, so
// that no file, however it is made, takes the program past the budget.
class MemoryBudget {
public:
    static constexpr std::uint64_t kDefaultLimit = 1536ULL << 20;

    static std::uint64_t limit();
    // For tests and the fuzz targets.
    static void setLimit(std::uint64_t bytes);
    // Bytes counted now: live pictures and open reservations.
    static std::uint64_t inUse();

    // Counts bytes that are already allocated (never refuses).
    static void charge(std::uint64_t bytes);
    static void release(std::uint64_t bytes);

    // Asked on the reserving thread when a reservation of `bytes` does not fit: returns
    // true once room may have been made (caches dropped, other work finished) to try
    // again, false to give up. Work that runs side by side waits instead of failing.
    class Waiter {
    public:
        virtual ~Waiter() = default;
        virtual bool makeRoom(std::uint64_t bytes) = 0;
    };
    // This thread's waiter, or none (a reservation that does not fit fails at once).
    static void setThreadWaiter(Waiter* waiter);
    // Reservations refused on this thread so far: a failure that came from the budget
    // is no property of the file, and is not to be remembered as one.
    static std::uint64_t threadRefusals();
};

// Thrown when a reservation would take the run past its budget.
class BudgetExceeded : public Failure {
public:
    explicit BudgetExceeded(const std::string& text) : Failure(text) {}
};

// Holds `bytes` of the budget for its lifetime. Throws BudgetExceeded, naming the
// sizes, when they are not free.
class BudgetReservation {
public:
    explicit BudgetReservation(std::uint64_t bytes);
    ~BudgetReservation();
    BudgetReservation(const BudgetReservation&) = delete;
    BudgetReservation& operator=(const BudgetReservation&) = delete;

private:
    std::uint64_t m_bytes;
};

// A picture's share of the budget; copies count again, moves hand the share over.
class BudgetShare {
public:
    BudgetShare() = default;
    ~BudgetShare() { set(0); }
    BudgetShare(const BudgetShare& other) { set(other.m_bytes); }
    BudgetShare(BudgetShare&& other) noexcept : m_bytes(other.m_bytes) { other.m_bytes = 0; }
    BudgetShare& operator=(const BudgetShare& other)
    {
        set(other.m_bytes);
        return *this;
    }
    BudgetShare& operator=(BudgetShare&& other) noexcept
    {
        if (this != &other) {
            set(0);
            m_bytes = other.m_bytes;
            other.m_bytes = 0;
        }
        return *this;
    }
    void set(std::uint64_t bytes)
    {
        MemoryBudget::charge(bytes);
        MemoryBudget::release(m_bytes);
        m_bytes = bytes;
    }

private:
    std::uint64_t m_bytes = 0;
};
