#pragma once

#include "discplayer.h"

#include <memory>
#include <string>
#include <vector>

// Where activating a button led.
struct ButtonTarget {
    enum class Kind {
        Title,   // a title started
        Page,    // a menu page held still
        Nowhere, // the player refused to activate it
        Halted,  // the disc stopped, a limit ran out or reading failed: see `halt`
    };
    Kind kind = Kind::Nowhere;
    int title = 0;
    MenuPage page;
    Halt halt;
};

struct ButtonFacts {
    ButtonLight light;
    ButtonTarget target;
};

struct PageFacts {
    MenuPage page;
    std::vector<int> path; // the buttons pressed from the first menu to reach it
    std::vector<ButtonFacts> buttons;
    int firstTitle = 0; // the lowest title its buttons start, 0 for none
};

// A fresh player on the first menu, or with the halt that kept it from getting there.
struct StartedPlayer {
    std::unique_ptr<DiscPlayer> player;
    Halt halt;
};

// Plays `path` from its start to the first menu, then presses `presses` one menu after
// the other. `player` is null when a menu was not reached; `halt` says what happened.
StartedPlayer OpenAtMenu(const std::string& path, const CheckLimits& options,
                         const std::vector<int>& presses = {});

// Every page reachable from the first menu through its buttons, each button tried, in
// menu order: pages by the lowest title their buttons start, pages without titles last.
std::vector<PageFacts> ExplorePages(const std::string& path, const CheckLimits& options,
                                    const Halt& firstMenu);

// The index of `page` in `pages`, or -1.
int PageIndex(const std::vector<PageFacts>& pages, const MenuPage& page);

// Words for a halt that is not a menu: "the disc stops", "still going after 200000 steps".
std::string DescribeHalt(const Halt& halt, const CheckLimits& options);
