#include "spumuxstream.h"

#include "base/atomicfile.h"
#include "base/childprocess.h"
#include "base/escapecontrols.h"
#include "disc/discxml.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <regex>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// spumux copies the whole title; a feature film takes it a minute or two.
constexpr int kSpumuxTimeoutMs = 30 * 60 * 1000;

// "HR:MM:SS.HU", spumux's clock.
std::string spumuxTime(double seconds)
{
    const long long hundredths = std::llround(std::max(0.0, seconds) * 100);
    char text[32];
    std::snprintf(text, sizeof text, "%02lld:%02lld:%02lld.%02lld", hundredths / 360000,
                  hundredths / 6000 % 60, hundredths / 100 % 60, hundredths % 100);
    return text;
}

// spumux exits 0 also when it left cues out; only its count tells.
bool readCounts(const std::string& messages, std::size_t& added, std::size_t& skipped)
{
    static const std::regex counts(R"((\d+) subtitles added, (\d+) subtitles skipped)");
    std::smatch m;
    if (!std::regex_search(messages, m, counts))
        return false;
    added = std::stoul(m[1].str());
    skipped = std::stoul(m[2].str());
    return true;
}

std::string errorLines(const std::string& messages)
{
    std::string out;
    std::size_t start = 0;
    while (start < messages.size()) {
        const std::size_t end = std::min(messages.find('\n', start), messages.size());
        const std::string line = messages.substr(start, end - start);
        if (line.starts_with("ERR"))
            out += (out.empty() ? "" : "; ") + line;
        start = end + 1;
    }
    return EscapeControls(out.substr(0, 500), true);
}

std::string failure(const ChildResult& child)
{
    if (!child.started)
        return child.startError == ENOENT
                   ? "spumux was not found (install the dvdauthor package)"
                   : "cannot start spumux: " + std::string(std::strerror(child.startError));
    if (child.timedOut)
        return "spumux did not finish in time";
    if (child.outputError != 0)
        return "spumux's output could not be written: " +
               std::string(std::strerror(child.outputError));
    if (child.exitStatus != 0) {
        const std::string why = errorLines(child.errorOutput);
        return "spumux failed" + (why.empty() ? std::string() : ": " + why);
    }
    return {};
}

std::uint64_t sizeOf(int fd)
{
    struct stat st {};
    return ::fstat(fd, &st) == 0 ? static_cast<std::uint64_t>(st.st_size) : 0;
}

} // namespace

std::string SubtitleSpumuxXml(bool pal, const std::vector<SpumuxCue>& cues)
{
    std::string out =
        std::string("<subpictures format=\"") + (pal ? "PAL" : "NTSC") + "\">\n  <stream>\n";
    for (const SpumuxCue& c : cues)
        out += "    <spu start=\"" + spumuxTime(c.start) + "\" end=\"" + spumuxTime(c.end) +
               "\" image=\"" + XmlEscape(c.image) + "\" xoffset=\"" + std::to_string(c.x) +
               "\" yoffset=\"" + std::to_string(c.y) + "\"/>\n";
    return out + "  </stream>\n</subpictures>\n";
}

SpumuxOutcome MuxSubtitleStream(const std::string& title, int stream, bool pal,
                                const std::vector<SpumuxCue>& cues, const std::string& xmlFile,
                                const std::function<bool()>& cancelled)
{
    const std::string xml = SubtitleSpumuxXml(pal, cues);
    WriteFileAtomically(xmlFile,
                        std::span(reinterpret_cast<const std::uint8_t*>(xml.data()), xml.size()));
    std::uint64_t inputBytes = 0;
    UniqueFd input = OpenRegularFile(title, &inputBytes);
    AtomicFile output(title);
    ChildRequest request;
    request.program = "spumux";
    request.args = {"-s", std::to_string(stream), xmlFile};
    request.inputFd = input.get();
    request.outputFd = output.fd();
    request.maxOutputBytes = inputBytes * 2 + (64ULL << 20);
    request.extraEnv = {std::string("VIDEO_FORMAT=") + (pal ? "PAL" : "NTSC")};
    request.timeoutMs = kSpumuxTimeoutMs;
    request.cancelled = cancelled;
    const ChildResult child = RunChild(request);
    SpumuxOutcome outcome;
    if (child.cancelled) {
        outcome.cancelled = true;
        return outcome;
    }
    outcome.problem = failure(child);
    if (child.outputTooLarge)
        outcome.problem = "spumux wrote far more than the title holds";
    std::size_t added = 0;
    if (outcome.problem.empty() && !readCounts(child.errorOutput, added, outcome.skipped))
        outcome.problem = "spumux did not say what it added";
    // A stream that lost most of its cues would look like a broken disc: keep the title.
    if (outcome.problem.empty() && (added == 0 || added + outcome.skipped != cues.size() ||
                                    outcome.skipped * 10 > cues.size()))
        outcome.problem = "spumux added " + std::to_string(added) + " of " +
                          std::to_string(cues.size()) + " subtitles";
    if (outcome.problem.empty() && sizeOf(output.fd()) <= inputBytes)
        outcome.problem = "spumux reported success, but the title holds no more than before";
    if (!outcome.problem.empty())
        return outcome;
    output.commit();
    outcome.added = true;
    if (outcome.skipped)
        outcome.problem = "spumux left " + std::to_string(outcome.skipped) + " of " +
                          std::to_string(cues.size()) + " subtitles out";
    return outcome;
}
