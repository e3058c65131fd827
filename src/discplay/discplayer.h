#pragma once

#include "disccheck.h"
#include "subpicture.h"

#include <chrono>
#include <cstdarg>
#include <cstdint>
#include <optional>
#include <string>

struct dvdnav_s;

// The options with the moment the whole check must be over.
struct CheckLimits : DiscCheckOptions {
    std::chrono::steady_clock::time_point deadline = std::chrono::steady_clock::time_point::max();
};

// A menu page as the player sees it: its domain, titleset and the sector of the
// navigation pack it holds still on.
struct MenuPage {
    bool inTitleset = false; // a titleset's own menu rather than the disc's
    int titleset = 0;
    std::uint32_t sector = 0;
    bool operator==(const MenuPage&) const = default;
};

// Where playing stopped.
struct Halt {
    enum class Kind {
        MenuStill,      // a menu holds still for good; `page`, `buttons`, `highlighted` are set
        TitleStarted,   // a title other than the one playing began; `title` is set
        Stopped,        // the disc stopped playing
        StepLimit,      // the step limit ran out
        TimeLimit,      // the time limit of the action ran out
        CheckTimeLimit, // the time limit of the whole check ran out
        ReadError,      // libdvdnav failed; `error` says why
    };
    Kind kind = Kind::ReadError;
    int title = 0;
    MenuPage page;
    int buttons = 0;
    int highlighted = 0;
    bool passedMenu = false; // a menu with buttons was shown on the way
    std::string error;
};

// What selecting a button shows.
struct ButtonLight {
    bool selected = false; // the player moved the selection to it
    bool hasArea = false;  // a highlight rectangle inside the picture
    bool visible = false;  // selecting it changes pixels of the subpicture: it can be seen
};

// Steps taken by every player of this process so far: a watchdog sees from it that
// libdvdnav has stopped coming back (a menu that jumps to itself loops inside it).
long DiscPlayerSteps();

// One playback of a disc through libdvdnav, bounded by the options' step and time
// limits on every play() call. libdvdnav's messages are kept, not printed.
class DiscPlayer {
public:
    // Throws Failure when the disc cannot be opened.
    DiscPlayer(const std::string& path, const CheckLimits& options);
    ~DiscPlayer();
    DiscPlayer(const DiscPlayer&) = delete;
    DiscPlayer& operator=(const DiscPlayer&) = delete;

    // Plays on until a menu holds still, a title other than `playingTitle` starts, the
    // disc stops or a limit runs out (0: no title is playing).
    Halt play(int playingTitle = 0);

    // At a menu still: what selecting `button` shows, then whether activating it worked.
    ButtonLight light(int button);
    bool activate(int button);
    // In a title: jump to its last few sectors, as a user skipping to the end would.
    bool seekNearEnd();
    // The remote's Title/Top Menu (root = false) or Menu key (root = true).
    bool menuKey(bool root);

    int titleCount();
    // libdvdnav's last error or log message.
    std::string lastMessage() const;

private:
    bool step(Halt& halt, int playingTitle);
    void noteNavPacket(Halt& halt);
    void holdStill(Halt& halt);

    dvdnav_s* m_nav = nullptr;
    CheckLimits m_options;
    int m_titleset = 0;
    std::uint32_t m_sector = 0;
    std::string m_message;
    SubpictureCollector m_subpictures;
    std::optional<SubpictureMask> m_mask; // the held menu's buttons, as drawn
};
