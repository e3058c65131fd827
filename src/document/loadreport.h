#pragma once

#include <string>
#include <vector>

// What loading a project did with its sources, told once at the end instead of in a box
// per movie.
struct LoadReport {
    struct Source {
        std::string what;   // "item 3" or "background"
        std::string stored; // the path in the project file
        std::string found;  // where it was found instead (relinked only)
    };
    int moviesLoaded = 0;
    int picturesLoaded = 0;
    std::vector<Source> relinked;
    std::vector<Source> notFound;
    std::vector<std::string> failures; // sentences: "Cannot open movie x.mpg: ..."

    // Something the user must act on: a source missing or unreadable.
    bool hasProblems() const { return !notFound.empty() || !failures.empty(); }
};

// "3 movie clips loaded; 1 source relinked: a.mpg (item 2) in /new/place; 2 sources not
// found: b.mpg (item 4), c.png (background)." followed by a line per failure; empty when
// there is nothing to tell.
std::string LoadSummaryText(const LoadReport& report);
