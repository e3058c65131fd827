#include "childgroups.h"

#include <array>
#include <atomic>
#include <csignal>
#include <mutex>

namespace {

std::array<std::atomic<pid_t>, 64> g_groups{};
struct sigaction g_oldInt {};
struct sigaction g_oldTerm {};
std::once_flag g_installed;

extern "C" void endGroupsAndRaise(int sig)
{
    for (const std::atomic<pid_t>& group : g_groups)
        if (const pid_t g = group.load(std::memory_order_acquire); g > 0)
            ::kill(-g, SIGKILL);
    // The handler found before (removing temporary files, or the default) runs next.
    ::sigaction(sig, sig == SIGINT ? &g_oldInt : &g_oldTerm, nullptr);
    ::raise(sig);
}

void installHandlers()
{
    struct sigaction action {};
    action.sa_handler = endGroupsAndRaise;
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
