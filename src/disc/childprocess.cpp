#include "childprocess.h"

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <stdexcept>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

class Fd {
public:
    explicit Fd(int fd = -1) : m_fd(fd) {}
    ~Fd() { reset(); }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return m_fd; }
    void reset(int fd = -1)
    {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = fd;
    }

private:
    int m_fd;
};

Fd openOrThrow(const std::string& path, int flags)
{
    const int fd = ::open(path.c_str(), flags | O_CLOEXEC, 0644);
    if (fd < 0)
        throw std::runtime_error("Cannot open " + path + ": " + std::strerror(errno));
    return Fd(fd);
}

constexpr std::size_t kMaxErrorOutput = 64 * 1024;

} // namespace

ChildResult RunChild(const std::string& program, const std::vector<std::string>& args,
                     const std::string& inputFile, const std::string& outputFile,
                     const std::vector<std::string>& extraEnv, const std::string& directory,
                     int timeoutMs)
{
    Fd input = openOrThrow(inputFile, O_RDONLY);
    Fd output = openOrThrow(outputFile, O_WRONLY | O_CREAT | O_TRUNC);
    int pipeEnds[2];
    if (::pipe2(pipeEnds, O_CLOEXEC) != 0)
        throw std::runtime_error(std::string("Cannot make a pipe: ") + std::strerror(errno));
    Fd errRead(pipeEnds[0]);
    Fd errWrite(pipeEnds[1]);

    std::vector<std::string> envStrings;
    for (char** e = environ; *e; ++e)
        envStrings.emplace_back(*e);
    for (const std::string& extra : extraEnv) {
        const std::string name = extra.substr(0, extra.find('=') + 1);
        std::erase_if(envStrings, [&](const std::string& s) { return s.starts_with(name); });
        envStrings.push_back(extra);
    }
    std::vector<char*> envp;
    for (std::string& s : envStrings)
        envp.push_back(s.data());
    envp.push_back(nullptr);

    std::vector<std::string> argStrings{program};
    argStrings.insert(argStrings.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& s : argStrings)
        argv.push_back(s.data());
    argv.push_back(nullptr);

    // A program given without a folder is looked up on PATH before changing folder.
    std::string path = program;
    if (program.find('/') == std::string::npos) {
        path.clear();
        const char* pathVar = std::getenv("PATH");
        std::string dirs = pathVar ? pathVar : "/usr/bin:/bin";
        for (std::size_t start = 0; start <= dirs.size();) {
            const std::size_t end = std::min(dirs.find(':', start), dirs.size());
            const std::string dir = dirs.substr(start, end - start);
            const std::string candidate = (dir.empty() ? "." : dir) + "/" + program;
            if (::access(candidate.c_str(), X_OK) == 0) {
                path = candidate;
                break;
            }
            start = end + 1;
        }
        if (path.empty())
            return {};
    } else if (program[0] != '/') {
        char* cwd = ::getcwd(nullptr, 0);
        if (cwd) {
            path = std::string(cwd) + "/" + program;
            std::free(cwd);
        }
    }

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, input.get(), 0);
    posix_spawn_file_actions_adddup2(&actions, output.get(), 1);
    posix_spawn_file_actions_adddup2(&actions, errWrite.get(), 2);
    if (!directory.empty())
        posix_spawn_file_actions_addchdir_np(&actions, directory.c_str());
    pid_t pid = 0;
    const int rc = ::posix_spawn(&pid, path.c_str(), &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0)
        return {};
    errWrite.reset();
    input.reset();
    output.reset();

    ChildResult result;
    result.started = true;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    char buffer[4096];
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                              deadline - std::chrono::steady_clock::now())
                              .count();
        if (left <= 0) {
            ::kill(pid, SIGKILL);
            result.timedOut = true;
            break;
        }
        pollfd pfd{errRead.get(), POLLIN, 0};
        const int ready = ::poll(&pfd, 1, static_cast<int>(left));
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready <= 0)
            continue;
        const ssize_t n = ::read(errRead.get(), buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break; // the child closed its end: it is ending
        result.errorOutput.append(buffer, static_cast<std::size_t>(n));
        if (result.errorOutput.size() > kMaxErrorOutput)
            result.errorOutput.erase(0, result.errorOutput.size() - kMaxErrorOutput);
    }
    // A child that closed standard error may still run: it keeps the same deadline.
    int status = 0;
    for (;;) {
        const pid_t done = ::waitpid(pid, &status, result.timedOut ? 0 : WNOHANG);
        if (done == pid)
            break;
        if (done < 0 && errno != EINTR)
            break;
        if (done == 0) {
            if (std::chrono::steady_clock::now() >= deadline) {
                ::kill(pid, SIGKILL);
                result.timedOut = true;
            } else {
                ::usleep(2000);
            }
        }
    }
    if (!result.timedOut && WIFEXITED(status))
        result.exitStatus = WEXITSTATUS(status);
    return result;
}
