#pragma once

#include <chrono>
#include <string>
#include <vector>

// Bounds on every action of the check (reaching the menu, following a button, playing a
// title to its end) and on the whole check: a broken disc that loops or never comes back
// fails the check instead of hanging it.
struct DiscCheckOptions {
    long stepLimit = 200000;                          // blocks and events read per action
    std::chrono::milliseconds actionTimeLimit{20000}; // wall time per action
    std::chrono::milliseconds totalTimeLimit{300000}; // wall time for the whole check
    // The display shape (width over height, upright) of each title's movie, in title
    // order, where the caller knows it; 0 or missing: unknown. Lets the check tell a
    // stretched or sideways picture from a movie with bars of its own.
    std::vector<double> titleShapes;
};

// The checks the table reports, one row each, in this order.
enum class DiscCheck {
    StartsOnMenu, // playing from the start reaches a menu
    MenuStays,    // the menu holds still (pause="inf") instead of running on
    ButtonsLight, // every button of every page can be selected and has a highlight
    ButtonsPlay,  // item buttons reach consecutive titles in menu order
    PagesLink,    // Previous/Next buttons reach the neighbouring page
    TitlesReturn, // each title's end comes back to the menu with its button selected
    MenuKeys,     // Title/Top Menu and Menu bring the menu back from inside a title
    TitleStreams, // a title set's stream keeps the DVD rules (one row per title set)
    MenuStreams,  // so do the menus' streams
};

struct DiscCheckRow {
    DiscCheck check;
    std::string what; // "Every button lights"
    bool passed = false;
    std::string detail; // "23 buttons on 3 pages" or what went wrong, with page and button
};

class DiscCheckReport {
public:
    std::vector<DiscCheckRow> rows;

    // True when every row passed and there is at least one row.
    bool passed() const;
    // The row of `check`, or nullptr when it was not reached.
    const DiscCheckRow* row(DiscCheck check) const;
};

// Plays the disc in `folderOrIso` (the folder that holds VIDEO_TS, the VIDEO_TS folder
// itself or a DVD-Video ISO image) the way a player does, following every button of
// every menu page. Throws Failure when the disc cannot be opened at all; everything
// found while playing goes into the report's rows.
DiscCheckReport VerifyDisc(const std::string& folderOrIso, const DiscCheckOptions& options = {});

// The short table users see: one line per row, "ok" or "FAILED", the check and its detail.
std::string FormatDiscCheckTable(const DiscCheckReport& report);
