#pragma once

#include "disc/discmenuexport.h"
#include "document/menudocument.h"
#include "imageio/picturetype.h"

#include <cstddef>
#include <string>

class ScaledPictureCache;

// What a command (or the editor's export) asks to be made of one menu. Empty names
// are not written.
struct MenuOutputs {
    std::string exportFile;
    PictureType type = PictureType::None; // the writer for exportFile
    std::string discMenuDir;
    std::string saveFile;
    bool check = false; // report the TV warnings even when no picture is written
    // Refuse to write anything when a named background or thumbnail did not load: the
    // written menu would not be the one the project describes.
    bool requireSources = true;
    DiscMenuOptions disc;
    ScaledPictureCache* scaled = nullptr; // rescales kept between menus (batch rows)
};

// Hears about each result as it happens. Texts are raw: escaping for a terminal is the
// listener's business.
class OutputReporter {
public:
    virtual ~OutputReporter() = default;
    virtual void warning(const std::string& text) = 0; // what will go wrong on a TV
    virtual void saved(const std::string& path) = 0;
    virtual void note(const std::string& text) = 0;    // worth knowing, nothing failed
    virtual void failure(const std::string& text) = 0; // something was not written
};

struct OutputResult {
    bool sourceMissing = false;    // nothing was written
    bool writeFailed = false;      // a file could not be written (the others were)
    bool subpictureFailed = false; // the disc menu lacks its buttons (spumux)
    std::size_t warnings = 0;
    bool ok() const { return !sourceMissing && !writeFailed && !subpictureFailed; }
};

// Composes the menu once (when a picture is wanted), reports the TV warnings, writes the
// picture, the disc-menu folder and the project in that order, and reports each with
// the system's reason on failure. A failed output does not stop the next one. Never
// throws for a failed write; `doc` must have RenderEnabled set and text drawing needs a
// QGuiApplication. Saving the project sets doc.CurrentFileName.
OutputResult WriteMenuOutputs(MenuDocument& doc, const MenuOutputs& outputs,
                              OutputReporter& reporter);
