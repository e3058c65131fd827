#include "childprocess.h"

#include "base/fileio.h"
#include "base/signalcleanup.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <optional>
#include <poll.h>
#include <pthread.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;
constexpr std::size_t kMaxErrorOutput = 64 * 1024;

std::vector<std::string> environmentWith(const std::vector<std::string>& extraEnv)
{
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e)
        env.emplace_back(*e);
    for (const std::string& extra : extraEnv) {
        const std::string name = extra.substr(0, extra.find('=') + 1);
        std::erase_if(env, [&](const std::string& s) { return s.starts_with(name); });
        env.push_back(extra);
    }
    return env;
}

std::vector<char*> pointersTo(std::vector<std::string>& strings)
{
    std::vector<char*> out;
    for (std::string& s : strings)
        out.push_back(s.data());
    out.push_back(nullptr);
    return out;
}

// Where `program` is, found as a shell finds it, and before the child changes folder;
// empty with `error` set when it is not there (ENOENT) or not executable (EACCES).
std::string locate(const std::string& program, int& error)
{
    error = ENOENT;
    if (program.empty())
        return {};
    if (program.find('/') != std::string::npos) {
        if (program[0] == '/')
            return program;
        char* cwd = ::getcwd(nullptr, 0);
        const std::string path = cwd ? std::string(cwd) + "/" + program : program;
        std::free(cwd);
        return path;
    }
    const char* pathVar = std::getenv("PATH");
    const std::string dirs = pathVar ? pathVar : "/usr/bin:/bin";
    for (std::size_t start = 0; start <= dirs.size();) {
        const std::size_t end = std::min(dirs.find(':', start), dirs.size());
        const std::string dir = dirs.substr(start, end - start);
        const std::string candidate = (dir.empty() ? "." : dir) + "/" + program;
        struct stat st {};
        if (::stat(candidate.c_str(), &st) == 0 && S_ISREG(st.st_mode)) {
            if (::access(candidate.c_str(), X_OK) == 0)
                return candidate;
            error = EACCES; // as the shell says, unless a later folder has one that runs
        }
        start = end + 1;
    }
    return {};
}

struct Pipe {
    UniqueFd read;
    UniqueFd write;
};

Pipe makePipe()
{
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC) != 0)
        throw Failure::FromErrno("Cannot run a program", errno);
    return {UniqueFd(ends[0]), UniqueFd(ends[1])};
}

// What the child does between fork and exec: only calls that are safe after fork in a
// program with threads. It dies with the thread that started it, so a killed run leaves
// no tool writing on to the end of a disc; a failed start reports its errno on `report`.
[[noreturn]] void becomeChild(const char* path, char* const* argv, char* const* envp,
                              const char* directory, const int fds[3], int report, pid_t parent)
{
    int error = 0;
    if (::setpgid(0, 0) != 0 || ::prctl(PR_SET_PDEATHSIG, SIGKILL) != 0)
        error = errno;
    if (error == 0 && ::getppid() != parent)
        ::_exit(127); // the parent died before the death signal was set
    for (int sig : {SIGINT, SIGTERM, SIGQUIT, SIGPIPE})
        ::signal(sig, SIG_DFL);
    sigset_t none;
    sigemptyset(&none);
    ::sigprocmask(SIG_SETMASK, &none, nullptr);
    for (int target = 0; error == 0 && target < 3; ++target)
        if ((fds[target] == target ? ::fcntl(target, F_SETFD, 0) : ::dup2(fds[target], target)) < 0)
            error = errno;
    if (error == 0 && directory && ::chdir(directory) != 0)
        error = errno;
    if (error == 0) {
        ::execve(path, argv, envp);
        error = errno;
    }
    while (::write(report, &error, sizeof error) < 0 && errno == EINTR) {
    }
    ::_exit(127);
}

// Starts the child in a process group of its own with default signal handling;
// returns its pid, or 0 with `error` set.
pid_t spawn(const std::string& path, const ChildRequest& request, int in, int out, int err,
            int& error)
{
    std::vector<std::string> argStrings{request.program};
    argStrings.insert(argStrings.end(), request.args.begin(), request.args.end());
    std::vector<std::string> envStrings = environmentWith(request.extraEnv);
    const std::vector<char*> argv = pointersTo(argStrings);
    const std::vector<char*> envp = pointersTo(envStrings);
    const int fds[3] = {in, out, err};
    const char* directory = request.directory.empty() ? nullptr : request.directory.c_str();
    Pipe report = makePipe();
    const pid_t parent = ::getpid();
    const pid_t pid = ::fork();
    if (pid < 0) {
        error = errno;
        return 0;
    }
    if (pid == 0)
        becomeChild(path.c_str(), argv.data(), envp.data(), directory, fds, report.write.get(),
                    parent);
    // Also set here, so that a kill aimed at the group cannot come before the child's own.
    ::setpgid(pid, pid);
    report.write.reset();
    ssize_t n;
    while ((n = ::read(report.read.get(), &error, sizeof error)) < 0 && errno == EINTR) {
    }
    if (n == static_cast<ssize_t>(sizeof error)) {
        int status = 0;
        while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
        return 0;
    }
    error = 0;
    return pid;
}

bool writeAll(int fd, const char* data, std::size_t size, int& error)
{
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            error = errno;
            return false;
        }
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

// Watches a started child: copies its output, keeps the end of its messages, and ends
// its group when it is done or must be stopped.
class Supervisor {
public:
    Supervisor(pid_t pid, const ChildRequest& request, ChildResult& result, Pipe& out, Pipe& err)
        : m_pid(pid), m_request(request), m_result(result),
          m_deadline(Clock::now() + std::chrono::milliseconds(request.timeoutMs)),
          m_out(std::move(out.read)), m_err(std::move(err.read))
    {
    }

    void pump();
    // Waits for the child to end (or ends it); collect() then takes its status.
    void finish();
    void collect();

private:
    long msLeft() const
    {
        return std::chrono::duration_cast<std::chrono::milliseconds>(m_deadline - Clock::now())
            .count();
    }
    void stop() { ::kill(-m_pid, SIGKILL); }
    // Whether the child has ended, leaving it unreaped so its group id stays its own.
    bool ended() const
    {
        siginfo_t info{};
        return ::waitid(P_PID, static_cast<id_t>(m_pid), &info, WEXITED | WNOHANG | WNOWAIT) == 0 &&
               info.si_pid == m_pid;
    }
    void readErrors();
    void readOutput();
    bool cancelRequested()
    {
        if (m_request.cancelled && m_request.cancelled())
            m_result.cancelled = true;
        return m_result.cancelled;
    }

    pid_t m_pid;
    const ChildRequest& m_request;
    ChildResult& m_result;
    Clock::time_point m_deadline;
    UniqueFd m_out;
    UniqueFd m_err;
    bool m_stopped = false;
};

// Reads what is there; closes `fd` at its end. 0 when nothing was read.
std::size_t readSome(UniqueFd& fd, char* buffer, std::size_t size)
{
    const ssize_t n = ::read(fd.get(), buffer, size);
    if (n < 0 && errno == EINTR)
        return 0;
    if (n <= 0)
        fd.reset();
    return n > 0 ? static_cast<std::size_t>(n) : 0;
}

void Supervisor::readErrors()
{
    char buffer[4096];
    std::string& text = m_result.errorOutput;
    text.append(buffer, readSome(m_err, buffer, sizeof buffer));
    if (text.size() > kMaxErrorOutput)
        text.erase(0, text.size() - kMaxErrorOutput);
}

void Supervisor::readOutput()
{
    char buffer[65536];
    const std::size_t n = readSome(m_out, buffer, sizeof buffer);
    if (n == 0)
        return;
    if (n > m_request.maxOutputBytes - std::min(m_result.outputBytes, m_request.maxOutputBytes))
        m_result.outputTooLarge = true;
    else if (m_request.outputFd >= 0)
        writeAll(m_request.outputFd, buffer, n, m_result.outputError);
    m_result.outputBytes += n;
    if (m_result.outputTooLarge || m_result.outputError != 0) {
        stop();
        m_stopped = true;
    }
}

void Supervisor::pump()
{
    while (!m_stopped && (m_out || m_err)) {
        if (cancelRequested()) {
            stop();
            m_stopped = true;
            return;
        }
        const long left = msLeft();
        if (left <= 0) {
            m_result.timedOut = true;
            stop();
            return;
        }
        pollfd fds[2];
        nfds_t count = 0;
        for (const UniqueFd* fd : {&m_out, &m_err})
            if (*fd)
                fds[count++] = {fd->get(), POLLIN, 0};
        // Short waits: a child that ended may have left something holding its pipes.
        const int ready = ::poll(fds, count, static_cast<int>(std::min(left, 100L)));
        if (ready < 0 && errno != EINTR) {
            m_result.outputError = errno;
            stop();
            return;
        }
        for (nfds_t i = 0; ready > 0 && i < count; ++i) {
            if (fds[i].revents == 0)
                continue;
            if (fds[i].fd == m_out.get())
                readOutput();
            else
                readErrors();
        }
        if (ended())
            stop(); // what it left behind goes; its pipes then close
    }
}

void Supervisor::finish()
{
    // A child that closed its pipes may still run: it keeps the same deadline.
    while (!m_stopped && !m_result.timedOut && !ended()) {
        if (msLeft() <= 0) {
            m_result.timedOut = true;
            break;
        }
        if (cancelRequested())
            break;
        ::usleep(2000);
    }
    stop();
}

void Supervisor::collect()
{
    int status = 0;
    while (::waitpid(m_pid, &status, 0) < 0 && errno == EINTR) {
    }
    if (WIFEXITED(status))
        m_result.exitStatus = WEXITSTATUS(status);
    else if (WIFSIGNALED(status))
        m_result.signal = WTERMSIG(status);
}

} // namespace

ChildResult RunChild(const ChildRequest& request)
{
    ChildResult result;
    const std::string path = locate(request.program, result.startError);
    if (path.empty())
        return result;
    UniqueFd null(::open("/dev/null", O_RDWR | O_CLOEXEC));
    if (!null)
        throw Failure::FromErrno("Cannot run " + request.program, errno);
    Pipe out = makePipe();
    Pipe err = makePipe();
    const int in = request.inputFd >= 0 ? request.inputFd : null.get();
    // A Ctrl+C between the start and the group's registration is held until the group
    // is known, so the handler can end it.
    sigset_t ending, before;
    sigemptyset(&ending);
    sigaddset(&ending, SIGINT);
    sigaddset(&ending, SIGTERM);
    ::pthread_sigmask(SIG_BLOCK, &ending, &before);
    const pid_t pid = spawn(path, request, in, out.write.get(), err.write.get(), result.startError);
    std::optional<ChildGroupGuard> guard;
    if (pid != 0)
        guard.emplace(pid);
    ::pthread_sigmask(SIG_SETMASK, &before, nullptr);
    if (pid == 0)
        return result;
    result.started = true;
    out.write.reset();
    err.write.reset();
    Supervisor supervisor(pid, request, result, out, err);
    supervisor.pump();
    supervisor.finish();
    // Unregistered before the group's id is freed, so a signal cannot reach a stranger.
    guard.reset();
    supervisor.collect();
    return result;
}

std::string ToolComplaint(const std::string& messages)
{
    constexpr std::size_t kShown = 800;
    std::string text;
    std::size_t start = 0;
    while (start < messages.size()) {
        std::size_t end = messages.find_first_of("\r\n", start);
        if (end == std::string::npos)
            end = messages.size();
        std::string line = messages.substr(start, end - start);
        while (!line.empty() && (line.back() == ' ' || line.back() == '\t'))
            line.pop_back();
        if (!line.empty())
            text += (text.empty() ? "" : "; ") + line;
        start = end + 1;
    }
    return text.size() <= kShown ? text : "..." + text.substr(text.size() - kShown);
}
