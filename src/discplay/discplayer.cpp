#include "discplayer.h"

#include "base/failure.h"

#include <dvdnav/dvdnav.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <fcntl.h>
#include <mutex>
#include <unistd.h>

namespace {

// libdvdread prints a banner about encrypted discs straight to standard error when it
// opens a disc; our output is the table, so standard error is pointed at /dev/null for
// the open. One open at a time, as the descriptor is the process's.
class QuietStderr {
public:
    QuietStderr() : m_lock(mutex())
    {
        std::fflush(stderr);
        m_saved = ::dup(STDERR_FILENO);
        const int null = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
        if (m_saved >= 0 && null >= 0)
            ::dup2(null, STDERR_FILENO);
        if (null >= 0)
            ::close(null);
    }
    ~QuietStderr()
    {
        std::fflush(stderr);
        if (m_saved >= 0) {
            ::dup2(m_saved, STDERR_FILENO);
            ::close(m_saved);
        }
    }
    QuietStderr(const QuietStderr&) = delete;
    QuietStderr& operator=(const QuietStderr&) = delete;

private:
    static std::mutex& mutex()
    {
        static std::mutex m;
        return m;
    }
    std::lock_guard<std::mutex> m_lock;
    int m_saved = -1;
};

void KeepMessage(void* owner, dvdnav_logger_level_t level, const char* format, va_list args)
{
    if (level != DVDNAV_LOGGER_LEVEL_ERROR && level != DVDNAV_LOGGER_LEVEL_WARN)
        return;
    char text[512];
    std::vsnprintf(text, sizeof text, format, args);
    *static_cast<std::string*>(owner) = text;
}

const dvdnav_logger_cb kLogger = {KeepMessage};

bool InMenu(dvdnav_t* nav)
{
    return dvdnav_is_domain_vmgm(nav) || dvdnav_is_domain_vtsm(nav);
}

// Whether some pixel of the mask inside the box shows with the highlight's contrast.
bool Lights(const SubpictureMask& mask, int sx, int sy, int ex, int ey, std::uint32_t palette)
{
    // The low 16 bits hold a contrast per pixel value: background, pattern, emphasis 1, 2.
    bool shows[4];
    for (int v = 0; v < 4; ++v)
        shows[v] = ((palette >> (4 * v)) & 15) != 0;
    for (int y = sy; y <= ey; ++y)
        for (int x = sx; x <= ex; ++x) {
            const int v = mask.at(x, y);
            if (v >= 0 && shows[v])
                return true;
        }
    return false;
}

std::atomic<long> g_steps{0};

} // namespace

long DiscPlayerSteps()
{
    return g_steps.load(std::memory_order_relaxed);
}

DiscPlayer::DiscPlayer(const std::string& path, const CheckLimits& options) : m_options(options)
{
    {
        QuietStderr quiet;
        if (dvdnav_open2(&m_nav, &m_message, &kLogger, path.c_str()) != DVDNAV_STATUS_OK)
            m_nav = nullptr;
    }
    if (!m_nav)
        throw Failure("Cannot open the disc " + path,
                      m_message.empty() ? "not a DVD-Video folder or image" : m_message);
    // Positions and seeks count within the playing program chain, not the whole title.
    dvdnav_set_PGC_positioning_flag(m_nav, 1);
}

DiscPlayer::~DiscPlayer()
{
    if (m_nav)
        dvdnav_close(m_nav);
}

Halt DiscPlayer::play(int playingTitle)
{
    using Clock = std::chrono::steady_clock;
    const auto deadline = std::min(Clock::now() + m_options.actionTimeLimit, m_options.deadline);
    Halt halt;
    for (long steps = 0;; ++steps) {
        if (steps >= m_options.stepLimit) {
            halt.kind = Halt::Kind::StepLimit;
            return halt;
        }
        if (steps % 256 == 0 && Clock::now() > deadline) {
            halt.kind = Clock::now() > m_options.deadline ? Halt::Kind::CheckTimeLimit
                                                          : Halt::Kind::TimeLimit;
            return halt;
        }
        g_steps.fetch_add(1, std::memory_order_relaxed);
        if (step(halt, playingTitle))
            return halt;
    }
}

// One block or event; true, with `halt` filled in, when playing halts here.
bool DiscPlayer::step(Halt& halt, int playingTitle)
{
    std::uint8_t block[DVD_VIDEO_LB_LEN];
    int32_t event = 0;
    int32_t length = 0;
    if (dvdnav_get_next_block(m_nav, block, &event, &length) != DVDNAV_STATUS_OK) {
        halt.kind = Halt::Kind::ReadError;
        halt.error = dvdnav_err_to_string(m_nav);
        return true;
    }
    switch (event) {
    case DVDNAV_BLOCK_OK:
        if (InMenu(m_nav))
            m_subpictures.feed({block, static_cast<std::size_t>(length)});
        break;
    case DVDNAV_VTS_CHANGE:
        m_subpictures.clear();
        m_titleset = reinterpret_cast<dvdnav_vts_change_event_t*>(block)->new_vtsN;
        break;
    case DVDNAV_NAV_PACKET:
        noteNavPacket(halt);
        break;
    case DVDNAV_CELL_CHANGE:
        m_subpictures.clear();
        if (dvdnav_is_domain_vts(m_nav)) {
            int32_t title = 0;
            int32_t part = 0;
            if (dvdnav_current_title_info(m_nav, &title, &part) == DVDNAV_STATUS_OK &&
                title != playingTitle) {
                halt.kind = Halt::Kind::TitleStarted;
                halt.title = title;
                return true;
            }
        }
        break;
    case DVDNAV_STILL_FRAME: {
        const int seconds = reinterpret_cast<dvdnav_still_event_t*>(block)->length;
        // 255 is "for ever": a menu waiting for the viewer. A timed still would move on by
        // itself, so it is skipped; so is a still inside a title.
        if (seconds == 0xff && InMenu(m_nav)) {
            holdStill(halt);
            return true;
        }
        dvdnav_still_skip(m_nav);
        break;
    }
    case DVDNAV_WAIT:
        dvdnav_wait_skip(m_nav);
        break;
    case DVDNAV_STOP:
        halt.kind = Halt::Kind::Stopped;
        return true;
    default:
        break;
    }
    return false;
}

void DiscPlayer::holdStill(Halt& halt)
{
    halt.kind = Halt::Kind::MenuStill;
    // The disc's own menus belong to no titleset, whatever played before them.
    const bool inTitleset = dvdnav_is_domain_vtsm(m_nav) != 0;
    halt.page = {inTitleset, inTitleset ? m_titleset : 0, m_sector};
    pci_t* pci = dvdnav_get_current_nav_pci(m_nav);
    halt.buttons = pci ? pci->hli.hl_gi.btn_ns : 0;
    int32_t button = 0;
    dvdnav_get_current_highlight(m_nav, &button);
    halt.highlighted = button;
    // The stream the player shows (widescreen or letterbox masks), else the first there is.
    int stream = dvdnav_get_active_spu_stream(m_nav);
    for (int s = 0; s < 32 && (stream < 0 || m_subpictures.unit(stream).empty()); ++s)
        stream = s;
    m_mask = DecodeSubpicture(m_subpictures.unit(stream));
}

void DiscPlayer::noteNavPacket(Halt& halt)
{
    pci_t* pci = dvdnav_get_current_nav_pci(m_nav);
    if (!pci)
        return;
    m_sector = pci->pci_gi.nv_pck_lbn;
    if (InMenu(m_nav) && pci->hli.hl_gi.btn_ns > 0)
        halt.passedMenu = true;
}

ButtonLight DiscPlayer::light(int button)
{
    ButtonLight light;
    pci_t* pci = dvdnav_get_current_nav_pci(m_nav);
    if (!pci || dvdnav_button_select(m_nav, pci, button) != DVDNAV_STATUS_OK)
        return light;
    int32_t current = 0;
    light.selected =
        dvdnav_get_current_highlight(m_nav, &current) == DVDNAV_STATUS_OK && current == button;
    uint32_t width = 0;
    uint32_t height = 0;
    dvdnav_get_video_resolution(m_nav, &width, &height);
    for (int32_t mode : {0, 1}) { // 0 selected, 1 activated
        dvdnav_highlight_area_t area{};
        if (dvdnav_get_highlight_area(pci, button, mode, &area) != DVDNAV_STATUS_OK)
            return light;
        light.hasArea = area.sx < area.ex && area.sy < area.ey && (width == 0 || area.ex < width) &&
                        (height == 0 || area.ey < height);
        if (mode == 0)
            light.visible =
                m_mask && Lights(*m_mask, area.sx, area.sy, area.ex, area.ey, area.palette);
        if (!light.hasArea)
            return light;
    }
    return light;
}

bool DiscPlayer::activate(int button)
{
    pci_t* pci = dvdnav_get_current_nav_pci(m_nav);
    return pci && dvdnav_button_select_and_activate(m_nav, pci, button) == DVDNAV_STATUS_OK;
}

bool DiscPlayer::seekNearEnd()
{
    uint32_t position = 0;
    uint32_t length = 0;
    if (dvdnav_get_position(m_nav, &position, &length) != DVDNAV_STATUS_OK)
        return false;
    // The last VOBUs of a title: enough to play through its end and its post commands.
    constexpr uint32_t kTail = 256;
    const uint32_t target = length > kTail ? length - kTail : 0;
    return target <= position || dvdnav_sector_search(m_nav, target, SEEK_SET) == DVDNAV_STATUS_OK;
}

bool DiscPlayer::menuKey(bool root)
{
    return dvdnav_menu_call(m_nav, root ? DVD_MENU_Root : DVD_MENU_Title) == DVDNAV_STATUS_OK;
}

int DiscPlayer::titleCount()
{
    int32_t titles = 0;
    return dvdnav_get_number_of_titles(m_nav, &titles) == DVDNAV_STATUS_OK ? titles : 0;
}

std::string DiscPlayer::lastMessage() const
{
    return m_nav ? dvdnav_err_to_string(m_nav) : m_message;
}
