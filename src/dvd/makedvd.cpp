#include "makedvd.h"

#include "base/atomicfile.h"
#include "base/childprocess.h"
#include "disc/discmenuexport.h"
#include "discauthoring.h"
#include "discfolder.h"
#include "discimage.h"
#include "discjudge.h"
#include "discplay/checkapart.h"
#include "mediamodule/mediamodule.h"
#include "subtitles/titlesubtitles.h"

#include <cerrno>
#include <filesystem>
#include <span>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

constexpr int kToolTimeoutMs = 30 * 60 * 1000;       // dvdauthor and genisoimage read every byte
constexpr std::uint64_t kMenuBytesGuess = 2'000'000; // a page's one-second menu stream

struct DiscItem {
    const MenuDocument* page;
    int item;   // 1..10 on its page
    int number; // its title on the disc, from 1
    std::string movie;
};

std::string itemLabel(const DiscItem& d)
{
    const std::string& caption = d.page->item(d.item).menucaption;
    return "Item " + std::to_string(d.number) + (caption.empty() ? "" : " (\"" + caption + "\")");
}

DiscSystem systemOf(const MenuDocument& doc)
{
    if (doc.ImageWidth == 720 && doc.ImageHeight == 576)
        return DiscSystem::Pal;
    if (doc.ImageWidth == 720 && doc.ImageHeight == 480)
        return DiscSystem::Ntsc;
    throw Failure("Cannot make a DVD of this menu",
                  "it is " + std::to_string(doc.ImageWidth) + " x " +
                      std::to_string(doc.ImageHeight) +
                      ", a VCD size; a DVD needs 720 x 576 (PAL, size 3) or 720 x 480 (NTSC, "
                      "size 2)");
}

void checkCancel(DvdProgress& progress)
{
    if (progress.cancelled())
        throw DvdCancelled();
}

// Every shown item of every page with the movie it plays, refused by number and caption
// when it has none.
std::vector<DiscItem> collectItems(const std::vector<const MenuDocument*>& pages)
{
    std::vector<DiscItem> items;
    for (const MenuDocument* page : pages) {
        for (int n = 1; n <= page->visibleItemCount(); ++n) {
            DiscItem d{page, n, static_cast<int>(items.size()) + 1, ItemTitleMovie(*page, n)};
            if (d.movie.empty())
                throw Failure(itemLabel(d) + " has no movie to play",
                              "give it a movie as its thumbnail or name one with menutitle" +
                                  std::to_string(n));
            if (const std::string kind = NonRegularKind(d.movie); !kind.empty())
                throw Failure(itemLabel(d) + ": cannot play " + d.movie, "it is " + kind);
            items.push_back(std::move(d));
        }
    }
    if (items.empty())
        throw Failure("Cannot make a DVD of this menu", "it shows no items");
    if (items.size() > static_cast<std::size_t>(kMaxDiscTitles))
        throw Failure("Cannot make a DVD of this menu", std::to_string(items.size()) +
                                                            " movies, but a DVD holds at most " +
                                                            std::to_string(kMaxDiscTitles));
    return items;
}

std::vector<TitleInfo> probeAll(const std::vector<DiscItem>& items, DiscSystem system,
                                int chapterMinutes, DvdProgress& progress)
{
    std::vector<TitleInfo> titles;
    for (const DiscItem& d : items) {
        checkCancel(progress);
        try {
            titles.push_back(Media().probeTitle(d.movie, system, chapterMinutes));
        } catch (const Failure& e) {
            throw Failure(itemLabel(d) + ": " + e.text(), e.detail(), e.systemError());
        }
    }
    return titles;
}

std::vector<AuthoredPage> makeMenus(const std::vector<const MenuDocument*>& pages,
                                    const std::string& workDir, DvdProgress& progress)
{
    std::vector<AuthoredPage> authored;
    int firstTitle = 1;
    for (std::size_t p = 0; p < pages.size(); ++p) {
        checkCancel(progress);
        const std::string dir = workDir + "/menu" + std::to_string(p + 1);
        DiscMenuOptions options;
        options.cancelled = [&progress] { return progress.cancelled(); };
        DiscMenuResult menu = ExportDiscMenu(*pages[p], dir, options);
        checkCancel(progress); // a stopped spumux is no failure of the menu
        if (menu.subpicture == SubpictureOutcome::SpumuxMissing)
            throw Failure("Cannot make the menu", "spumux was not found (install the dvdauthor "
                                                  "package)");
        if (menu.subpicture != SubpictureOutcome::Added)
            throw Failure("Cannot make the menu of page " + std::to_string(p + 1), menu.note);
        authored.push_back({dir + "/" + kDiscMenuStreamFile, std::move(menu.buttons), firstTitle});
        firstTitle += pages[p]->visibleItemCount();
    }
    return authored;
}

class TitlesBridge : public TitleProgress {
public:
    explicit TitlesBridge(DvdProgress& progress) : m_progress(progress) {}
    void update(const TitlesStatus& status) override { m_progress.titles(status); }
    bool cancelled() override { return m_progress.cancelled(); }
    void warning(const std::string& text) override { m_progress.note("warning: " + text); }

private:
    DvdProgress& m_progress;
};

// dvdauthor's own complaint: its error lines, else the end of what it said.
std::string dvdauthorComplaint(const std::string& messages)
{
    std::string errors;
    std::size_t start = 0;
    while (start < messages.size()) {
        const std::size_t end = std::min(messages.find('\n', start), messages.size());
        const std::string line = messages.substr(start, end - start);
        if (line.starts_with("ERR:"))
            errors += (errors.empty() ? "" : "\n") + line;
        start = end + 1;
    }
    return ToolComplaint(errors.empty() ? messages : errors);
}

// dvdauthor reports a full disk as "Error 0 -- Success"; the free space tells the truth.
bool diskFull(const std::string& folder)
{
    struct statvfs fs {};
    return ::statvfs(folder.c_str(), &fs) == 0 &&
           static_cast<std::uint64_t>(fs.f_bavail) * fs.f_frsize < 4u * 1024 * 1024;
}

void author(const DiscFolder& folder, const std::string& xml, DiscSystem system,
            DvdProgress& progress)
{
    const std::string xmlFile = folder.workDir() + "/dvdauthor.xml";
    WriteFileAtomically(xmlFile,
                        std::span(reinterpret_cast<const std::uint8_t*>(xml.data()), xml.size()));
    ChildRequest request;
    request.program = "dvdauthor";
    request.args = {"-o", folder.authorDir(), "-x", xmlFile};
    request.extraEnv = {std::string("VIDEO_FORMAT=") +
                        (system == DiscSystem::Pal ? "PAL" : "NTSC")};
    request.directory = folder.workDir();
    request.timeoutMs = kToolTimeoutMs;
    request.cancelled = [&progress] { return progress.cancelled(); };
    const ChildResult child = RunChild(request);
    if (child.cancelled)
        throw DvdCancelled(); // the work folder with dvdauthor's half goes with the DiscFolder
    if (!child.started)
        throw Failure("Cannot author the disc",
                      "dvdauthor was not found (install the dvdauthor package)");
    if (child.timedOut)
        throw Failure("Cannot author the disc", "dvdauthor did not finish in time");
    if (child.exitStatus != 0)
        throw Failure("Cannot author the disc",
                      child.exitStatus < 0 ? "dvdauthor was stopped by a signal"
                      : diskFull(folder.workDir())
                          ? "dvdauthor failed: the disk is full"
                          : "dvdauthor failed: " + dvdauthorComplaint(child.errorOutput));
    JudgeVideoTs(folder.authorDir() + "/VIDEO_TS");
}

std::vector<AuthoredTitle> encodeAll(const std::vector<TitleInfo>& infos, const BitratePlan& plan,
                                     DiscSystem system, const DiscFolder& folder,
                                     const DvdOptions& options, DvdProgress& progress)
{
    const std::string dir = folder.workDir() + "/titles";
    std::error_code ec;
    fs::create_directory(dir, ec);
    if (ec)
        throw Failure("Cannot create the folder " + dir, ec.message(), ec.value());
    std::vector<TitleJob> jobs;
    std::vector<AuthoredTitle> titles;
    for (std::size_t i = 0; i < infos.size(); ++i) {
        const std::string file = dir + "/title" + std::to_string(i + 1) + ".mpg";
        jobs.push_back({infos[i], file});
        titles.push_back({file, infos[i].widescreen, infos[i].chapterStarts, {}, {}});
        for (const TitleAudio& sound : infos[i].audio)
            titles.back().audioLanguages.push_back(sound.language);
    }
    TitlesBridge bridge(progress);
    try {
        Media().encodeTitles(jobs, plan, system, options.jobs, bridge);
    } catch (const TitlesCancelled&) {
        throw DvdCancelled();
    }
    return titles;
}

// Each title's subtitles as subpicture streams; what is left out is a note, not a failure.
void addSubtitles(const std::vector<TitleInfo>& infos, std::vector<AuthoredTitle>& titles,
                  DiscSystem system, const DiscFolder& folder, DvdProgress& progress)
{
    for (std::size_t i = 0; i < titles.size(); ++i) {
        const SubpictureFrame frame{720, system == DiscSystem::Pal ? 576 : 480, titles[i].wide};
        const TitleSubtitleJob job{
            infos[i].movie,   titles[i].file, static_cast<int>(i) + 1,
            infos[i].seconds, frame,          folder.workDir() + "/subtitles"};
        const TitleSubtitles added =
            AddTitleSubtitles(job, [&progress] { return progress.cancelled(); });
        checkCancel(progress);
        for (const std::string& warning : added.warnings)
            progress.note(warning);
        titles[i].subtitles = added.languages;
    }
}

// The ISO must not be made from a folder that holds it, also through a symbolic link.
void checkImagePlace(const DvdOptions& options)
{
    if (options.isoFile.empty())
        return;
    std::error_code ec;
    const fs::path iso = fs::weakly_canonical(fs::absolute(options.isoFile), ec);
    const fs::path dir = fs::weakly_canonical(fs::absolute(options.folder), ec);
    const auto [d, i] = std::mismatch(dir.begin(), dir.end(), iso.begin(), iso.end());
    if (d == dir.end())
        throw Failure("Cannot write the disc image " + options.isoFile,
                      "it would lie inside the disc folder " + options.folder);
    if (const std::string kind = NonRegularKind(options.isoFile); !kind.empty())
        throw Failure("Cannot write the disc image " + options.isoFile, "it is " + kind);
    // Found out now rather than after the titles are encoded.
    const fs::path folder = iso.parent_path();
    if (!fs::is_directory(folder, ec))
        throw Failure("Cannot write the disc image " + options.isoFile,
                      "the folder " + folder.string() + " does not exist");
    if (::access(folder.c_str(), W_OK) != 0)
        throw Failure::FromErrno("Cannot write the disc image " + options.isoFile, errno);
}

} // namespace

std::string NonRegularKind(const std::string& path)
{
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || S_ISREG(st.st_mode))
        return {};
    if (S_ISDIR(st.st_mode))
        return "a folder";
    if (S_ISFIFO(st.st_mode))
        return "a FIFO (named pipe)";
    if (S_ISCHR(st.st_mode) || S_ISBLK(st.st_mode))
        return "a device";
    if (S_ISSOCK(st.st_mode))
        return "a socket";
    return "no regular file";
}

std::string ItemTitleMovie(const MenuDocument& doc, int n)
{
    const menurec& rec = doc.item(n);
    if (!rec.menutitle.empty()) {
        const fs::path title(rec.menutitle);
        if (title.is_relative() && !doc.CurrentFileName.empty())
            return (fs::path(doc.CurrentFileName).parent_path() / title).string();
        return rec.menutitle;
    }
    if (!rec.source.menuclip.empty() && !rec.source.isPicture())
        return rec.source.menuclip;
    return {};
}

DvdResult MakeDvd(const std::vector<const MenuDocument*>& pages, const DvdOptions& options,
                  DvdProgress& progress)
{
    if (pages.empty())
        throw Failure("Cannot make a DVD", "there is no menu");
    const DiscSystem system = systemOf(*pages.front());
    checkImagePlace(options);
    DvdResult result;

    progress.stage(DvdStage::Checking, "Checking the movies");
    const std::vector<DiscItem> items = collectItems(pages);
    result.titles = probeAll(items, system, options.chapterMinutes, progress);
    result.plan = PlanBitrate(result.titles, options.capacityBytes, kMenuBytesGuess * pages.size());
    progress.note("Video at " + std::to_string(result.plan.videoBitRate / 1000) + " kb/s for " +
                  std::to_string(result.titles.size()) + " titles");

    DiscFolder folder(options.folder);
    progress.stage(DvdStage::Menus, "Making the menu");
    const std::vector<AuthoredPage> menus = makeMenus(pages, folder.workDir(), progress);

    progress.stage(DvdStage::Titles, "Encoding the titles");
    std::vector<AuthoredTitle> titles =
        encodeAll(result.titles, result.plan, system, folder, options, progress);
    if (options.subtitles)
        addSubtitles(result.titles, titles, system, folder, progress);

    checkCancel(progress);
    progress.stage(DvdStage::Authoring, "Authoring the disc");
    const MenuDocument& first = *pages.front();
    const DiscFormat format{first.ImageWidth, first.ImageHeight, first.aspect == MenuAspect::Wide};
    author(folder, WholeDiscXml(format, menus, titles), system, progress);
    checkCancel(progress);
    folder.publish();
    result.videoTs = (fs::path(folder.dir()) / "VIDEO_TS").string();

    if (!options.isoFile.empty()) {
        progress.stage(DvdStage::Image, "Writing the disc image");
        MakeDiscImage(folder.dir(), options.isoFile, first.title, kToolTimeoutMs,
                      [&progress] { return progress.cancelled(); });
        result.iso = options.isoFile;
    }
    // A cancel once the disc is finished skips only the check.
    if (options.selfCheck && !progress.cancelled()) {
        progress.stage(DvdStage::SelfCheck, "Playing the disc");
        try {
            // The movies' shapes let the check see a stretched or sideways title.
            DiscCheckOptions check;
            for (const TitleInfo& t : result.titles)
                check.titleShapes.push_back(t.shape);
            result.check = VerifyDiscApart(result.iso.empty() ? folder.dir() : result.iso, check,
                                           [&progress] { return progress.cancelled(); });
            result.checked = true;
        } catch (const DiscCheckCancelled&) {
            // The disc is finished; only its check is skipped.
        } catch (const Failure& e) {
            result.checkFailure = e.what(); // the disc is finished all the same
        }
    }
    return result;
}
