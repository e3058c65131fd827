#pragma once

#include "base/failure.h"
#include "discplay/disccheck.h"
#include "document/menudocument.h"
#include "titles/bitrateplan.h"
#include "titles/encodetitles.h"

#include <cstdint>
#include <string>
#include <vector>

// What a finished disc is made with.
struct DvdOptions {
    std::string folder;  // the disc folder the program owns (see DiscFolder)
    std::string isoFile; // empty: no image
    std::uint64_t capacityBytes = kSingleLayerBytes;
    int chapterMinutes = 5; // chapters where a movie has none of its own; 0: none
    int jobs = 0;           // titles encoded at once; 0: one, over every core
    bool selfCheck = true;  // play the finished disc through libdvdnav
    bool subtitles = true;  // the movies' subtitles as subpicture streams
};

// The steps, in order.
enum class DvdStage {
    Checking,  // every item has a title that can be read
    Menus,     // the menu pages with their buttons
    Titles,    // encoding or copying the movies
    Authoring, // dvdauthor
    Image,     // the ISO
    SelfCheck, // playing the disc
};

// Told what is going on; the terminal and the editor's dialog each implement it. Calls
// come from the thread that runs MakeDvd except titles(), which may come from encoding
// threads (one at a time).
class DvdProgress {
public:
    virtual ~DvdProgress() = default;
    virtual void stage(DvdStage stage, const std::string& text) = 0;
    virtual void titles(const TitlesStatus& status) = 0;
    // A note worth showing (an item's title, the bit rate chosen).
    virtual void note(const std::string& text) { (void)text; }
    // Polled between steps and by the encoders; once true MakeDvd stops, leaves no
    // half-made disc and throws DvdCancelled.
    virtual bool cancelled() { return false; }
};

class DvdCancelled : public Failure {
public:
    DvdCancelled() : Failure("Making the DVD was cancelled") {}
};

struct DvdResult {
    std::string videoTs; // the finished VIDEO_TS folder
    std::string iso;     // the image, when one was asked for
    BitratePlan plan;
    std::vector<TitleInfo> titles; // in disc order
    bool checked = false;          // whether the self-check ran to its end
    DiscCheckReport check;
    std::string checkFailure; // why the self-check could not finish (a crash, no time)
};

// Makes the whole disc from `pages` (the first is the project's menu; each shows up to
// ten items whose titles follow one another on the disc; all pages share the first's
// size): checks that every item has a movie to play (its menutitleN, else its
// thumbnail's movie) and probes each, plans the bit rate, makes each page's menu,
// encodes the titles, authors the disc and moves it into place, writes the image and
// plays the disc. Throws Failure naming the item, title or tool at fault; nothing that
// looks like a finished disc or image is left then (an earlier disc in the folder
// stays as it was). The self-check's findings, and why it could not finish, are in the
// result, not thrown. Text
// drawing needs a QGuiApplication.
DvdResult MakeDvd(const std::vector<const MenuDocument*>& pages, const DvdOptions& options,
                  DvdProgress& progress);

// The movie item `n` (1..10) of `doc` plays on a disc: menutitleN, else the thumbnail's
// movie; empty when it has neither. A relative menutitleN is taken from the project's
// folder.
std::string ItemTitleMovie(const MenuDocument& doc, int n);

// What `path` is when it exists and is no regular file ("a folder", "a FIFO (named
// pipe)", "a device"); empty otherwise.
std::string NonRegularKind(const std::string& path);
