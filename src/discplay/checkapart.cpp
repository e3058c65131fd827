#include "checkapart.h"

#include "base/childprocess.h"
#include "base/failure.h"
#include "base/fileio.h"
#include "discplayer.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <string_view>
#include <sys/mman.h>
#include <thread>
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

// 'U': the check could not finish (DiscCheckUnfinished).
std::string encodeFailure(const Failure& f, char tag = 'F')
{
    std::string out(1, tag);
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
        if (answer.starts_with('F') || answer.starts_with('U')) {
            const std::string text = in.field();
            const std::string detail = in.field();
            const int error = in.number();
            if (answer.starts_with('U'))
                throw DiscCheckUnfinished(text, detail, error);
            throw Failure(text, detail, error);
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
    throw DiscCheckUnfinished("Cannot check the disc " + FileNameOf(disc),
                              "the check's answer was cut short");
}

constexpr const char* kCheckModeOption = "--disc-check-child";

std::mutex g_programLock;
std::string g_program; // guarded by g_programLock

std::string checkProgram()
{
    const std::lock_guard lock(g_programLock);
    return g_program;
}

std::string ownProgram()
{
    char self[PATH_MAX];
    const ssize_t length = ::readlink("/proc/self/exe", self, sizeof self - 1);
    return length > 0 ? std::string(self, static_cast<std::size_t>(length)) : std::string();
}

long long numberArgument(const char* text)
{
    char* end = nullptr;
    errno = 0;
    const long long n = std::strtoll(text, &end, 10);
    if (errno != 0 || end == text || *end != '\0' || n < 0)
        throw Failure("Cannot check the disc", std::string("bad number ") + text);
    return n;
}

std::atomic<bool> g_answered{false};
std::atomic<int> g_answerFd{STDOUT_FILENO};

// The libraries the check uses print notices on standard output (libdvdread's banner
// about CSS): the answer keeps the real output to itself, and theirs goes to standard
// error, where it is only kept for a failure's message.
void keepAnswerChannel()
{
    const int answer = ::fcntl(STDOUT_FILENO, F_DUPFD_CLOEXEC, 3);
    if (answer < 0 || ::dup2(STDERR_FILENO, STDOUT_FILENO) < 0)
        return; // then the answer shares standard output, as before
    g_answerFd = answer;
}

// "1.78,0,1.33" -> the title shapes; anything unreadable is unknown (0). Written and read
// without the locale, which may take a comma for the decimal point.
std::vector<double> shapesArgument(std::string_view text)
{
    std::vector<double> shapes;
    while (!text.empty() && shapes.size() < 1000) {
        const std::size_t comma = std::min(text.find(','), text.size());
        double v = 0;
        const auto [end, error] = std::from_chars(text.data(), text.data() + comma, v);
        shapes.push_back(
            error == std::errc() && end == text.data() + comma && v > 0 && v < 100 ? v : 0);
        text.remove_prefix(std::min(comma + 1, text.size()));
    }
    return shapes;
}

// The check mode answers once: from its own end or from the watchdog, whichever comes
// first; the other never returns.
bool claimAnswer()
{
    return !g_answered.exchange(true);
}

// False when the answer could not be written.
bool writeAnswer(const std::string& answer)
{
    for (std::size_t at = 0; at < answer.size();) {
        const ssize_t n = ::write(g_answerFd, answer.data() + at, answer.size() - at);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        at += static_cast<std::size_t>(n);
    }
    return true;
}

// A player that stops coming back from libdvdnav for a whole action's time will not come
// back: the check ends then rather than at the end of its whole time.
void watchPlayer(const std::string& disc, std::chrono::milliseconds actionLimit)
{
    std::thread([disc, actionLimit] {
        const auto grace = actionLimit + std::chrono::seconds(1);
        long seen = DiscPlayerSteps();
        auto since = std::chrono::steady_clock::now();
        for (;;) {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            const auto now = std::chrono::steady_clock::now();
            if (const long steps = DiscPlayerSteps(); steps != seen) {
                seen = steps;
                since = now;
            } else if (now - since > grace) {
                if (!claimAnswer())
                    return;
                const bool sent = writeAnswer(encodeFailure(
                    DiscCheckUnfinished("Cannot check the disc " + FileNameOf(disc),
                                        "the player stopped responding on it (a menu or "
                                        "program that loops on itself)"),
                    'U'));
                ::_exit(sent ? 0 : 1); // the stuck library is not ours to unwind
            }
        }
    }).detach();
}

// The check mode's own work: the answer on standard output, whatever happens.
int answerCheck(int argc, char** argv)
{
    std::string answer;
    const std::string disc = argc > 2 ? argv[2] : "";
    try {
        keepAnswerChannel();
        if (argc != 6 && argc != 7)
            throw Failure("Cannot check the disc", "the check mode takes four or five arguments");
        DiscCheckOptions options;
        options.stepLimit = static_cast<long>(numberArgument(argv[3]));
        options.actionTimeLimit = std::chrono::milliseconds(numberArgument(argv[4]));
        options.totalTimeLimit = std::chrono::milliseconds(numberArgument(argv[5]));
        if (argc == 7)
            options.titleShapes = shapesArgument(argv[6]);
        watchPlayer(disc, options.actionTimeLimit);
        answer = encodeReport(VerifyDisc(disc, options));
    } catch (const Failure& f) {
        answer = encodeFailure(f);
    } catch (const std::exception& e) {
        answer = encodeFailure(Failure("Cannot check the disc " + FileNameOf(disc), e.what()));
    }
    if (!claimAnswer())
        for (;;)
            ::pause(); // the watchdog is answering and ends the process
    return writeAnswer(answer) ? 0 : 1;
}

std::string signalName(int signal)
{
    const char* name = ::strsignal(signal);
    return name ? name : "signal " + std::to_string(signal);
}

} // namespace

void SetDiscCheckProgram(const std::string& path)
{
    const std::lock_guard lock(g_programLock);
    g_program = path;
}

std::optional<int> RunDiscCheckMode(int argc, char** argv)
{
    if (argc > 1 && std::strcmp(argv[1], kCheckModeOption) == 0)
        return answerCheck(argc, argv);
    SetDiscCheckProgram(ownProgram());
    return std::nullopt;
}

DiscCheckReport VerifyDiscApart(const std::string& folderOrIso, const DiscCheckOptions& options,
                                const std::function<bool()>& cancelled)
{
    const std::string cannot = "Cannot check the disc " + FileNameOf(folderOrIso);
    const std::string program = checkProgram();
    if (program.empty())
        throw Failure(cannot, "the program that plays discs is not known");
    const UniqueFd answerFile(::memfd_create("disc-check", MFD_CLOEXEC));
    if (!answerFile)
        throw Failure::FromErrno(cannot, errno);
    ChildRequest request;
    request.program = program;
    request.args = {kCheckModeOption, folderOrIso, std::to_string(options.stepLimit),
                    std::to_string(options.actionTimeLimit.count()),
                    std::to_string(options.totalTimeLimit.count())};
    if (!options.titleShapes.empty()) {
        std::string shapes;
        for (const double shape : options.titleShapes) {
            char text[32];
            const auto written = std::to_chars(text, text + sizeof text, shape);
            if (!shapes.empty())
                shapes += ',';
            shapes.append(text, written.ptr);
        }
        request.args.push_back(shapes);
    }
    request.outputFd = answerFile.get();
    request.maxOutputBytes = 4 << 20;
    // The check stops itself after its total time, at worst one action late.
    request.timeoutMs = static_cast<int>(
        std::min<long long>((options.totalTimeLimit + options.actionTimeLimit).count(), INT_MAX));
    request.cancelled = cancelled;
    const ChildResult child = RunChild(request);
    if (child.cancelled)
        throw DiscCheckCancelled();
    if (!child.started)
        throw Failure::FromErrno(cannot, child.startError);
    if (child.timedOut)
        throw DiscCheckUnfinished(cannot, "the player did not finish within the time limit");
    if (child.signal != 0)
        throw DiscCheckUnfinished(cannot,
                                  "the player stopped on it (" + signalName(child.signal) + ")");
    std::string answer(std::min<std::uint64_t>(child.outputBytes, 4 << 20), '\0');
    if (child.outputTooLarge || child.exitStatus != 0 ||
        ::pread(answerFile.get(), answer.data(), answer.size(), 0) !=
            static_cast<ssize_t>(answer.size()))
        throw DiscCheckUnfinished(cannot, "the check's answer was cut short");
    return decodeAnswer(answer, folderOrIso);
}
