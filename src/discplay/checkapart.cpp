#include "checkapart.h"

#include "base/failure.h"
#include "base/fileio.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <string_view>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// The child's answer: a tag ('R' report, 'F' failure), then fields as "<length>:<bytes>".
void putField(std::string& out, const std::string& field)
{
    out += std::to_string(field.size()) + ':' + field;
}

std::string encodeReport(const DiscCheckReport& report)
{
    std::string out = "R";
    for (const DiscCheckRow& r : report.rows) {
        putField(out, std::to_string(static_cast<int>(r.check)));
        putField(out, r.passed ? "1" : "0");
        putField(out, r.what);
        putField(out, r.detail);
    }
    return out;
}

std::string encodeFailure(const Failure& f)
{
    std::string out = "F";
    putField(out, f.text());
    putField(out, f.detail());
    putField(out, std::to_string(f.systemError()));
    return out;
}

class AnswerReader {
public:
    explicit AnswerReader(std::string_view text) : m_rest(text) {}
    bool done() const { return m_rest.empty(); }
    std::string field()
    {
        const std::size_t colon = m_rest.find(':');
        if (colon == std::string_view::npos || colon == 0 || colon > 9)
            throw std::invalid_argument("field");
        const std::size_t length = std::stoul(std::string(m_rest.substr(0, colon)));
        if (length > m_rest.size() - colon - 1)
            throw std::invalid_argument("field");
        std::string value(m_rest.substr(colon + 1, length));
        m_rest.remove_prefix(colon + 1 + length);
        return value;
    }
    int number() { return std::stoi(field()); }

private:
    std::string_view m_rest;
};

DiscCheckReport decodeAnswer(const std::string& answer, const std::string& disc)
{
    try {
        AnswerReader in(std::string_view(answer).substr(answer.empty() ? 0 : 1));
        if (answer.starts_with('F')) {
            const std::string text = in.field();
            const std::string detail = in.field();
            throw Failure(text, detail, in.number());
        }
        if (!answer.starts_with('R'))
            throw std::invalid_argument("tag");
        DiscCheckReport report;
        while (!in.done()) {
            DiscCheckRow row{static_cast<DiscCheck>(in.number()), {}, false, {}};
            row.passed = in.field() == "1";
            row.what = in.field();
            row.detail = in.field();
            report.rows.push_back(std::move(row));
        }
        return report;
    } catch (const std::invalid_argument&) {
    } catch (const std::out_of_range&) {
    }
    throw Failure("Cannot check the disc " + FileNameOf(disc), "the check's answer was cut short");
}

[[noreturn]] void runChild(int out, const std::string& disc, const DiscCheckOptions& options,
                           const DiscCheckFunction& check)
{
    // The libraries' own messages would land in the middle of our table.
    const int null = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
    if (null >= 0)
        ::dup2(null, STDERR_FILENO);
    std::string answer;
    try {
        answer = encodeReport(check(disc, options));
    } catch (const Failure& f) {
        answer = encodeFailure(f);
    } catch (const std::exception& e) {
        answer = encodeFailure(Failure("Cannot check the disc " + FileNameOf(disc), e.what()));
    }
    for (std::size_t at = 0; at < answer.size();) {
        const ssize_t n = ::write(out, answer.data() + at, answer.size() - at);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            ::_exit(1);
        at += static_cast<std::size_t>(n);
    }
    // _exit: the parent's objects (a window, open files) are not ours to tear down.
    ::_exit(0);
}

enum class Answer { Complete, TimedOut, Cancelled };

// Reads the child's answer until it closes the pipe, the deadline passes or the user cancels.
Answer readAnswer(int in, std::chrono::steady_clock::time_point deadline,
                  const std::function<bool()>& cancelled, std::string& answer)
{
    constexpr std::size_t kMaxAnswer = 4 << 20;
    char buffer[8192];
    for (;;) {
        if (cancelled && cancelled())
            return Answer::Cancelled;
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            return Answer::TimedOut;
        pollfd p{in, POLLIN, 0};
        const int ready = ::poll(&p, 1, static_cast<int>(std::min<long long>(left.count(), 100)));
        if (ready < 0 && errno != EINTR)
            return Answer::TimedOut;
        if (ready <= 0)
            continue;
        const ssize_t n = ::read(in, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return Answer::Complete;
        if (answer.size() + static_cast<std::size_t>(n) > kMaxAnswer)
            return Answer::TimedOut;
        answer.append(buffer, static_cast<std::size_t>(n));
    }
}

} // namespace

DiscCheckReport VerifyDiscApart(const std::string& folderOrIso, const DiscCheckOptions& options,
                                const std::function<bool()>& cancelled,
                                const DiscCheckFunction& check)
{
    const std::string cannot = "Cannot check the disc " + FileNameOf(folderOrIso);
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0)
        throw Failure::FromErrno(cannot, errno);
    UniqueFd in(fds[0]);
    UniqueFd out(fds[1]);
    const pid_t pid = ::fork();
    if (pid < 0)
        throw Failure::FromErrno(cannot, errno);
    if (pid == 0)
        runChild(out.get(), folderOrIso, options, check);
    out.reset();

    // The check stops itself after its total time, at worst one action late.
    const auto deadline =
        std::chrono::steady_clock::now() + options.totalTimeLimit + options.actionTimeLimit;
    std::string answer;
    const Answer end = readAnswer(in.get(), deadline, cancelled, answer);
    const bool complete = end == Answer::Complete;
    if (!complete)
        ::kill(pid, SIGKILL);
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    if (WIFSIGNALED(status) && complete)
        throw Failure(cannot, std::string("the player stopped on it (") +
                                  strsignal(WTERMSIG(status)) + ")");
    if (end == Answer::Cancelled)
        throw DiscCheckCancelled();
    if (!complete)
        throw Failure(cannot, "the player did not finish within the time limit");
    return decodeAnswer(answer, folderOrIso);
}
