#include "signalcleanup.h"

#include <array>
#include <atomic>
#include <climits>
#include <csignal>
#include <cstring>
#include <mutex>
#include <unistd.h>

namespace {

// Slots are claimed with an atomic flag and hold their name in fixed storage, so the
// signal handler reads them without locks or allocation.
enum SlotState : int {
    Free = 0,
    Filling = 1,
    Armed = 2,
};

struct Slot {
    std::atomic<int> state{Free};
    char path[PATH_MAX];
};

std::array<Slot, 64> g_slots;
std::array<std::atomic<pid_t>, 64> g_groups{};
struct sigaction g_oldInt {};
struct sigaction g_oldTerm {};
std::once_flag g_installed;
std::atomic<bool> g_holding{false}; // a SignalCancelScope lives
std::atomic<int> g_caught{0};       // the signal it caught
static_assert(std::atomic<bool>::is_always_lock_free && std::atomic<int>::is_always_lock_free &&
              std::atomic<pid_t>::is_always_lock_free);

extern "C" void cleanUpAndRaise(int sig)
{
    int none = 0;
    if (g_holding.load(std::memory_order_acquire) &&
        g_caught.compare_exchange_strong(none, sig, std::memory_order_acq_rel))
        return; // the run's cancel checks (RunChild's among them) take it from here
    for (const std::atomic<pid_t>& group : g_groups)
        if (const pid_t g = group.load(std::memory_order_acquire); g > 0)
            ::kill(-g, SIGKILL);
    for (Slot& slot : g_slots)
        if (slot.state.load(std::memory_order_acquire) == Armed)
            ::unlink(slot.path);
    ::sigaction(sig, sig == SIGINT ? &g_oldInt : &g_oldTerm, nullptr);
    ::raise(sig);
}

void installHandlers()
{
    struct sigaction action {};
    action.sa_handler = cleanUpAndRaise;
    sigemptyset(&action.sa_mask);
    ::sigaction(SIGINT, &action, &g_oldInt);
    ::sigaction(SIGTERM, &action, &g_oldTerm);
    // A signal that was ignored (a batch job started with nohup) stays ignored.
    if (g_oldInt.sa_handler == SIG_IGN)
        ::sigaction(SIGINT, &g_oldInt, nullptr);
    if (g_oldTerm.sa_handler == SIG_IGN)
        ::sigaction(SIGTERM, &g_oldTerm, nullptr);
}

} // namespace

TemporaryFileGuard::TemporaryFileGuard(const std::string& path)
{
    if (path.empty() || path.size() >= PATH_MAX)
        return;
    std::call_once(g_installed, installHandlers);
    for (std::size_t i = 0; i < g_slots.size(); ++i) {
        int expected = Free;
        if (!g_slots[i].state.compare_exchange_strong(expected, Filling, std::memory_order_acquire))
            continue;
        std::memcpy(g_slots[i].path, path.c_str(), path.size() + 1);
        g_slots[i].state.store(Armed, std::memory_order_release);
        m_slot = static_cast<int>(i);
        return;
    }
}

TemporaryFileGuard::~TemporaryFileGuard()
{
    if (m_slot >= 0)
        g_slots[static_cast<std::size_t>(m_slot)].state.store(Free, std::memory_order_release);
}

ChildGroupGuard::ChildGroupGuard(pid_t group)
{
    std::call_once(g_installed, installHandlers);
    for (std::size_t i = 0; i < g_groups.size(); ++i) {
        pid_t expected = 0;
        if (g_groups[i].compare_exchange_strong(expected, group, std::memory_order_acq_rel)) {
            m_slot = static_cast<int>(i);
            return;
        }
    }
}

ChildGroupGuard::~ChildGroupGuard()
{
    if (m_slot >= 0)
        g_groups[static_cast<std::size_t>(m_slot)].store(0, std::memory_order_release);
}

SignalCancelScope::SignalCancelScope()
{
    std::call_once(g_installed, installHandlers);
    g_caught.store(0, std::memory_order_release);
    g_holding.store(true, std::memory_order_release);
}

SignalCancelScope::~SignalCancelScope()
{
    g_holding.store(false, std::memory_order_release);
    g_caught.store(0, std::memory_order_release);
}

int SignalCancelScope::caught()
{
    return g_caught.load(std::memory_order_acquire);
}

void SignalCancelScope::endAsCaught()
{
    const int sig = caught();
    if (sig == 0)
        return;
    g_holding.store(false, std::memory_order_release);
    ::sigaction(sig, sig == SIGINT ? &g_oldInt : &g_oldTerm, nullptr);
    ::raise(sig);
}
