#include "discmenuexport.h"

#include "base/atomicfile.h"
#include "base/childprocess.h"
#include "base/escapecontrols.h"
#include "base/signalcleanup.h"
#include "codecs/pngencoder.h"
#include "discbuttons.h"
#include "discmasks.h"
#include "discpagebuttons.h"
#include "discxml.h"
#include "imageio/picturewriter.h"
#include "mediamodule/mediamodule.h"
#include "menustream.h"
#include "render/drawmenu.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <memory>
#include <optional>
#include <regex>
#include <sys/types.h>
#include <system_error>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

// What the menu stream step accepts from spumux: a one-second menu is a few megabytes.
constexpr std::uint64_t kMaxMenuStreamBytes = 64ULL << 20;

// Every file an export may write, so that one left by an earlier export can be found.
constexpr const char* kDiscFiles[] = {
    kDiscStillFile,           kDiscHighlightFile,          kDiscSelectFile,
    kDiscSpumuxFile,          kDiscHighlightLetterboxFile, kDiscSelectLetterboxFile,
    kDiscSpumuxLetterboxFile, kDiscBackgroundStreamFile,   kDiscMenuStreamFile,
    kDiscDvdauthorFile,
};

class Writer {
public:
    Writer(const std::string& dir, DiscMenuResult& result) : m_dir(dir), m_result(result) {}

    std::string path(const char* name) const { return (m_dir / name).string(); }

    void write(const char* name, const std::vector<std::uint8_t>& bytes)
    {
        const std::string target = path(name);
        try {
            WriteFileAtomically(target, bytes);
        } catch (const Failure& e) {
            // The fixed text names the file already; the system's reason follows.
            throw Failure("Error saving " + target, e.detail(), e.systemError());
        } catch (const std::exception& e) {
            throw Failure("Error saving " + target, e.what());
        }
        m_result.written.push_back(target);
    }

    void write(const char* name, const std::string& text)
    {
        write(name, std::vector<std::uint8_t>(text.begin(), text.end()));
    }

    void writeMask(const char* name, const DiscMask& mask, Color color)
    {
        // Index 0 is the transparent background; the mask's colour fully opaque.
        const std::vector<PaletteEntry> palette{{0, 0, 0, 0},
                                                {static_cast<std::uint8_t>(color & 0xFF),
                                                 static_cast<std::uint8_t>(color >> 8),
                                                 static_cast<std::uint8_t>(color >> 16), 255}};
        const IndexedImageView view{mask.index.data(), mask.width, mask.height, mask.width};
        write(name, EncodePalettePng(view, palette));
    }

private:
    fs::path m_dir;
    DiscMenuResult& m_result;
};

// spumux exits 0 even when it drops the picture; only its count tells.
bool subpictureAdded(const std::string& messages)
{
    static const std::regex counts(R"((\d+) subtitles added, (\d+) subtitles skipped)");
    std::smatch m;
    return std::regex_search(messages, m, counts) && std::stoi(m[1].str()) >= 1 &&
           std::stoi(m[2].str()) == 0;
}

// The lines of spumux's messages that say what went wrong, safe to print.
std::string spumuxComplaint(const std::string& messages)
{
    std::string out;
    std::size_t start = 0;
    while (start < messages.size()) {
        std::size_t end = messages.find('\n', start);
        if (end == std::string::npos)
            end = messages.size();
        const std::string line = messages.substr(start, end - start);
        if (line.find("ERR") != std::string::npos || line.find("WARN") != std::string::npos ||
            line.find("skipped") != std::string::npos)
            out += (out.empty() ? "" : "\n") + line;
        start = end + 1;
    }
    return EscapeControls(out.empty() ? messages.substr(0, 2000) : out, true);
}

std::string finishCommands(const DiscFormat& format)
{
    if (format.wide)
        return std::string("spumux -s 0 ") + kDiscSpumuxFile + " < " + kDiscBackgroundStreamFile +
               " > menu_ws.mpg && spumux -s 1 " + kDiscSpumuxLetterboxFile + " < menu_ws.mpg > " +
               kDiscMenuStreamFile;
    return std::string("spumux ") + kDiscSpumuxFile + " < " + kDiscBackgroundStreamFile + " > " +
           kDiscMenuStreamFile;
}

std::string failedRunReason(const ChildResult& child)
{
    if (child.cancelled)
        return "it was cancelled";
    if (child.timedOut)
        return "it did not finish in time";
    if (child.outputTooLarge)
        return "it wrote more than " + std::to_string(kMaxMenuStreamBytes >> 20) + " MB";
    if (child.outputError != 0)
        return "its output could not be written: " + std::string(std::strerror(child.outputError));
    if (child.exitStatus < 0)
        return "it was stopped by a signal";
    if (child.exitStatus != 0)
        return "it failed with exit status " + std::to_string(child.exitStatus);
    return "it did not add the subpicture";
}

bool runFailed(const ChildResult& child)
{
    return child.cancelled || child.timedOut || child.outputTooLarge || child.outputError != 0 ||
           child.exitStatus != 0 || !subpictureAdded(child.errorOutput);
}

// One spumux run per subpicture stream, each from the previous one's output, into
// unnamed temporary files; menu.mpg is replaced only when every run added its picture
// and the result reads back as a menu with all its subpicture streams.
class SubpictureStep {
public:
    SubpictureStep(const Writer& out, const DiscFormat& format, const DiscMenuOptions& options,
                   const std::string& dir, DiscMenuResult& result)
        : m_out(out), m_format(format), m_options(options), m_dir(dir), m_result(result)
    {
    }

    void run();

private:
    bool runPass(const char* xml, int stream, int input, AtomicFile& output);
    void fail(SubpictureOutcome outcome, const std::string& note)
    {
        m_result.subpicture = outcome;
        if (!m_result.note.empty())
            m_result.note += '\n';
        m_result.note += note;
    }

    const Writer& m_out;
    const DiscFormat& m_format;
    const DiscMenuOptions& m_options;
    const std::string& m_dir;
    DiscMenuResult& m_result;
};

bool SubpictureStep::runPass(const char* xml, int stream, int input, AtomicFile& output)
{
    if (::lseek(input, 0, SEEK_SET) < 0)
        throw Failure::FromErrno("Error saving " + m_out.path(kDiscMenuStreamFile), errno);
    ChildRequest request;
    request.program = m_options.spumux;
    request.args = {"-s", std::to_string(stream), xml};
    request.inputFd = input;
    request.outputFd = output.fd();
    request.maxOutputBytes = kMaxMenuStreamBytes;
    request.extraEnv = {std::string("VIDEO_FORMAT=") + (m_format.pal() ? "PAL" : "NTSC")};
    request.directory = m_dir;
    request.timeoutMs = m_options.spumuxTimeoutMs;
    request.cancelled = [this] { // a held Ctrl+C, or the caller's cancel
        return SignalCancelScope::caught() != 0 || (m_options.cancelled && m_options.cancelled());
    };
    const ChildResult child = RunChild(request);
    const std::string menu = kDiscMenuStreamFile;
    if (!child.started && child.startError == ENOENT) {
        fail(SubpictureOutcome::SpumuxMissing,
             "spumux was not found (install the Debian package dvdauthor), so " + menu +
                 " was not made.");
        return false;
    }
    if (!child.started) {
        fail(SubpictureOutcome::SpumuxFailed,
             "cannot start spumux: " + std::string(std::strerror(child.startError)) + ", so " +
                 menu + " was not made.");
        return false;
    }
    if (runFailed(child)) {
        const std::string complaint = spumuxComplaint(child.errorOutput);
        fail(SubpictureOutcome::SpumuxFailed, "spumux could not add the buttons to " + menu + " (" +
                                                  xml + ": " + failedRunReason(child) + ")" +
                                                  (complaint.empty() ? "" : ":\n" + complaint));
        return false;
    }
    return true;
}

void SubpictureStep::run()
{
    const std::string target = m_out.path(kDiscMenuStreamFile);
    std::vector<std::pair<const char*, int>> passes{{kDiscSpumuxFile, 0}};
    if (m_format.wide)
        passes.push_back({kDiscSpumuxLetterboxFile, 1});
    std::uint64_t inputBytes = 0;
    UniqueFd background = OpenRegularFile(m_out.path(kDiscBackgroundStreamFile), &inputBytes);
    int input = background.get();
    std::vector<std::unique_ptr<AtomicFile>> outputs;
    for (const auto& [xml, stream] : passes) {
        outputs.push_back(std::make_unique<AtomicFile>(target));
        if (!runPass(xml, stream, input, *outputs.back()))
            return;
        input = outputs.back()->fd();
    }
    try {
        Media().checkMenuStream(input, m_format, static_cast<int>(passes.size()), inputBytes);
    } catch (const Failure& e) {
        fail(SubpictureOutcome::SpumuxFailed, "spumux reported success, but its " +
                                                  std::string(kDiscMenuStreamFile) + " " +
                                                  e.detail() + ".");
        return;
    }
    outputs.back()->commit();
    m_result.written.push_back(target);
}

// Removes what an earlier export left that this one did not make again: dvdauthor would
// otherwise take an old menu.mpg beside new masks without a word.
void removeStaleFiles(const Writer& out, DiscMenuResult& result)
{
    std::vector<std::string> removed;
    for (const char* name : kDiscFiles) {
        const std::string path = out.path(name);
        if (std::find(result.written.begin(), result.written.end(), path) != result.written.end())
            continue;
        if (::unlink(path.c_str()) == 0)
            removed.push_back(name);
    }
    if (removed.empty())
        return;
    std::string text = "Removed what an earlier export left and this one did not make: ";
    for (std::size_t i = 0; i < removed.size(); ++i) {
        text += i ? ", " : "";
        text += removed[i];
    }
    if (!result.note.empty())
        result.note += '\n';
    result.note += text + ".";
    result.removed = std::move(removed);
}

void prepareFolder(const std::string& dir)
{
    std::error_code ec;
    fs::create_directories(dir, ec);
    if (ec || !fs::is_directory(dir))
        throw Failure("Cannot create the folder " + dir, ec ? ec.message() : std::string(),
                      ec ? ec.value() : 0);
}

// The masks and spumux control files of the 4:3 picture, and for a 16:9 menu those of
// its letterboxed form (subpicture stream 1). Returns the buttons as written.
std::vector<DiscButton> writeButtons(Writer& out, const MenuDocument& doc,
                                     std::vector<DiscButton> buttons, DiscMask mask,
                                     const DiscFormat& format)
{
    SqueezeToFrame(mask, buttons, format.width);
    out.writeMask(kDiscHighlightFile, mask, doc.highlightcolor);
    out.writeMask(kDiscSelectFile, mask, doc.selectcolor);
    out.write(kDiscSpumuxFile, SpumuxXml(format, buttons, kDiscHighlightFile, kDiscSelectFile));
    if (format.wide) {
        std::vector<DiscButton> letterbox = buttons;
        DiscMask letterboxMask = mask;
        ToLetterbox(letterboxMask, letterbox);
        out.writeMask(kDiscHighlightLetterboxFile, letterboxMask, doc.highlightcolor);
        out.writeMask(kDiscSelectLetterboxFile, letterboxMask, doc.selectcolor);
        out.write(
            kDiscSpumuxLetterboxFile,
            SpumuxXml(format, letterbox, kDiscHighlightLetterboxFile, kDiscSelectLetterboxFile));
    }
    return buttons;
}

} // namespace

DiscMenuResult ExportDiscMenu(const MenuDocument& doc, const std::string& dir,
                              const DiscMenuOptions& options)
{
    DiscMenuResult result;
    prepareFolder(dir);
    Writer out(dir, result);

    Picture scratch;
    MenuGeometry geometry;
    const Picture still = ComposeMenuImage(doc, scratch, &geometry);
    const DiscFormat format{still.width(), still.height(), doc.aspect == MenuAspect::Wide};
    const bool dvd = format.width == 720 && (format.height == 576 || format.height == 480);
    // A disc menu without buttons would hold the player on it for good.
    if (dvd && geometry.items.empty())
        throw Failure("The menu has no items, so the disc menu would have no buttons: show at "
                      "least one item");
    // Buttons that cannot work refuse the menu before anything is written.
    std::vector<DiscButton> buttons;
    DiscMask mask;
    if (dvd) {
        buttons = LayoutMenuButtons(geometry);
        mask = DrawDiscMask(doc, geometry, buttons);
        result.note = DiscButtonStyleWarning(doc);
    }
    out.write(kDiscStillFile, EncodePng(viewOf(still)));
    if (!dvd) {
        result.subpicture = SubpictureOutcome::NotForVcd;
        result.note = "A " + std::to_string(format.width) + " x " + std::to_string(format.height) +
                      " menu is for a VCD, which has no buttons on the disc: only the still "
                      "was written. Choose 720 x 576 or 720 x 480 for a DVD menu.";
    } else {
        buttons = writeButtons(out, doc, std::move(buttons), std::move(mask), format);
        result.buttons = buttons;
        out.write(kDiscBackgroundStreamFile, Media().encodeMenuStream(still, format));
        out.write(kDiscDvdauthorFile, DvdauthorXml(format, buttons, kDiscMenuStreamFile));
        SubpictureStep(out, format, options, dir, result).run();
        if (result.subpicture != SubpictureOutcome::Added)
            result.note += " To finish by hand, in " + dir + " run: " + finishCommands(format);
    }
    removeStaleFiles(out, result);
    return result;
}
