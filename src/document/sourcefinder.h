#pragma once

#include <string>
#include <unordered_map>
#include <vector>

// Finds source files that moved: a project folder moved or copied with its pictures and
// movies keeps working. Files are looked up by name in a few folders and their
// subfolders; the walk is bounded in depth and in entries, so that a huge tree (a home
// folder, a network share) cannot hang the load.
class SourceFinder {
public:
    struct Root {
        std::string folder;
        int depth = 0; // subfolder levels below the folder that are searched
    };
    static constexpr int kProjectDepth = 4;
    static constexpr int kMaxEntries = 20000;

    explicit SourceFinder(std::vector<Root> roots, int maxEntries = kMaxEntries);

    // A regular file named like the stored path's file name (the part after the last
    // "/" or "\"), the nearest one first, an exact match before one that differs only
    // in case; empty when there is none. The folders are read on the first call only.
    std::string find(const std::string& storedPath);

private:
    void index();

    std::vector<Root> m_roots;
    int m_maxEntries;
    bool m_indexed = false;
    std::unordered_map<std::string, std::string> m_byName;
    std::unordered_map<std::string, std::string> m_byLowerName;
};
