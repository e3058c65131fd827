#include "discmenuexport.h"

#include "childprocess.h"
#include "codecs/pngencoder.h"
#include "discbuttons.h"
#include "discmasks.h"
#include "discpagebuttons.h"
#include "discxml.h"
#include "imageio/atomicfile.h"
#include "imageio/pictureview.h"
#include "imageio/tempfileguard.h"
#include "menustream.h"
#include "render/drawmenu.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <memory>
#include <regex>
#include <stdexcept>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

class Writer {
public:
    Writer(const std::string& dir, DiscMenuResult& result) : m_dir(dir), m_result(result) {}

    std::string path(const char* name) const { return (m_dir / name).string(); }

    void write(const char* name, const std::vector<std::uint8_t>& bytes)
    {
        const std::string target = path(name);
        try {
            WriteFileAtomically(target, bytes);
        } catch (const FileError& e) {
            // The fixed text names the file already; the system's reason follows.
            throw std::runtime_error("Error saving " + target +
                                     (e.reason().empty() ? "" : ": " + e.reason()));
        } catch (const std::exception& e) {
            throw std::runtime_error("Error saving " + target + ": " + e.what());
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

// A temporary file beside the target, removed unless it was renamed into place.
class TempFile {
public:
    explicit TempFile(const fs::path& dir)
    {
        std::string pattern = (dir / ".tavrel-disc-XXXXXX").string();
        const int fd = ::mkstemp(pattern.data());
        if (fd < 0)
            throw std::runtime_error("Cannot create a temporary file in " + dir.string() + ": " +
                                     std::strerror(errno));
        // The finished file gets the mode any new file would get, not mkstemp's 0600.
        const mode_t mask = ::umask(0);
        ::umask(mask);
        ::fchmod(fd, 0666 & ~mask);
        ::close(fd);
        m_path = pattern;
        m_guard = std::make_unique<TemporaryFileGuard>(m_path);
    }
    ~TempFile()
    {
        if (!m_path.empty())
            ::unlink(m_path.c_str());
    }
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;

    const std::string& path() const { return m_path; }
    void renameTo(const std::string& target)
    {
        if (const int fd = ::open(m_path.c_str(), O_RDONLY | O_CLOEXEC); fd >= 0) {
            ::fsync(fd);
            ::close(fd);
        }
        if (std::rename(m_path.c_str(), target.c_str()) != 0)
            throw std::runtime_error("Error saving " + target + ": " + std::strerror(errno));
        m_path.clear();
        m_guard.reset();
    }

private:
    std::string m_path;
    std::unique_ptr<TemporaryFileGuard> m_guard; // removes it also when a signal ends the run
};

// spumux exits 0 even when it drops the picture; only its count tells.
bool subpictureAdded(const std::string& messages)
{
    static const std::regex counts(R"((\d+) subtitles added, (\d+) subtitles skipped)");
    std::smatch m;
    return std::regex_search(messages, m, counts) && std::stoi(m[1].str()) >= 1 &&
           std::stoi(m[2].str()) == 0;
}

// The lines of spumux's messages that say what went wrong.
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
    return out.empty() ? messages.substr(0, 2000) : out;
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

} // namespace

DiscMenuResult ExportDiscMenu(const MenuDocument& doc, const std::string& dir,
                              const DiscMenuOptions& options)
{
    DiscMenuResult result;
    std::error_code ec;
    fs::create_directories(dir, ec);
    if (ec || !fs::is_directory(dir))
        throw std::runtime_error("Cannot create the folder " + dir +
                                 (ec ? ": " + ec.message() : std::string()));
    Writer out(dir, result);

    Picture scratch;
    MenuGeometry geometry;
    const Picture still = ComposeMenuImage(doc, scratch, &geometry);
    const DiscFormat format{still.width(), still.height(), doc.aspect == MenuAspect::Wide};
    const bool dvd = format.width == 720 && (format.height == 576 || format.height == 480);
    // A disc menu without buttons would hold the player on it for good.
    if (dvd && geometry.items.empty())
        throw std::runtime_error("The menu has no items, so the disc menu would have no "
                                 "buttons: show at least one item");
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
        return result;
    }

    SqueezeToFrame(mask, buttons, format.width);
    result.buttons = buttons;
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
    out.write(kDiscBackgroundStreamFile, EncodeMenuStream(still, format));
    out.write(kDiscDvdauthorFile, DvdauthorXml(format, buttons, kDiscMenuStreamFile));

    // One spumux run per subpicture stream, each from the previous one's output; the
    // finished stream is renamed into place only when every run added its picture.
    struct Pass {
        const char* xml;
        int stream;
    };
    std::vector<Pass> passes{{kDiscSpumuxFile, 0}};
    if (format.wide)
        passes.push_back({kDiscSpumuxLetterboxFile, 1});
    const std::vector<std::string> env{std::string("VIDEO_FORMAT=") +
                                       (format.pal() ? "PAL" : "NTSC")};
    const std::string howToFinish =
        "To finish by hand, in " + dir + " run: " + finishCommands(format);
    std::string input = out.path(kDiscBackgroundStreamFile);
    std::vector<std::unique_ptr<TempFile>> temps;
    for (const Pass& pass : passes) {
        temps.push_back(std::make_unique<TempFile>(dir));
        const ChildResult child =
            RunChild(options.spumux, {"-s", std::to_string(pass.stream), pass.xml}, input,
                     temps.back()->path(), env, dir, options.spumuxTimeoutMs);
        if (!child.started) {
            result.subpicture = SubpictureOutcome::SpumuxMissing;
            result.note = "spumux was not found, so " + std::string(kDiscMenuStreamFile) +
                          " was not made (install the dvdauthor package). " + howToFinish;
            return result;
        }
        if (child.timedOut || child.exitStatus != 0 || !subpictureAdded(child.errorOutput)) {
            result.subpicture = SubpictureOutcome::SpumuxFailed;
            std::string why = child.timedOut         ? "it did not finish in time"
                              : child.exitStatus < 0 ? "it was stopped by a signal"
                              : child.exitStatus != 0
                                  ? "it failed with exit status " + std::to_string(child.exitStatus)
                                  : "it did not add the subpicture";
            const std::string complaint = spumuxComplaint(child.errorOutput);
            result.note = "spumux could not add the buttons to " +
                          std::string(kDiscMenuStreamFile) + " (" + pass.xml + ": " + why + ")" +
                          (complaint.empty() ? "" : ":\n" + complaint);
            return result;
        }
        input = temps.back()->path();
    }
    temps.back()->renameTo(out.path(kDiscMenuStreamFile));
    result.written.push_back(out.path(kDiscMenuStreamFile));
    return result;
}
