#pragma once

#include "document/menudocument.h"
#include "document/projectfile.h"
#include "thumbs/autoframe.h"

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

using Setting = std::pair<std::string, std::string>; // key, value

// Frames chosen once per movie for many menus made at once; safe to use from several
// threads. Choices beyond the byte budget are made again each time instead of kept.
class AutoFrameMemo {
public:
    explicit AutoFrameMemo(std::uint64_t budgetBytes = 256ULL * 1024 * 1024);
    // The frame ChooseMovieFrame(path) chooses; throws as it does (failures are not kept).
    AutoFrame choose(const std::string& path);
    // Forgets the kept choices' pictures; returns the bytes they held.
    std::uint64_t clear();

private:
    std::mutex m_mutex;
    std::map<std::string, std::shared_ptr<const AutoFrame>> m_frames;
    std::uint64_t m_bytes = 0;
    std::uint64_t m_budget;
};

// Applies settings in order as the project reader applies values, then takes again the
// thumbnail of every item whose source or frame was set. `menuframeN=auto` chooses the
// frame of item N's movie once all values are in, so its place among the settings does
// not matter; the chosen number is stored. The items' sources are told once through
// host.reportLoad, a background that cannot be read through showError, a font that is
// not installed through showInformation. Throws std::runtime_error with the reader's
// message for a malformed value. With a `memo`, automatic frames come from it.
void ApplySettings(MenuDocument& doc, const std::vector<Setting>& settings, ProjectLoadHost& host,
                   AutoFrameMemo* memo = nullptr);

// Item n's movie frame chosen automatically into menuframe and ThumbnailImage; a
// missing or unreadable movie goes into the report and leaves no picture.
void ChooseAutoFrame(MenuDocument& doc, int n, LoadReport& report, AutoFrameMemo* memo = nullptr);
