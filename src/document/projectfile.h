#pragma once

#include "menudocument.h"

#include <string>

// What loading a project needs of its surroundings: the editor shows message boxes and
// drives the thumbnail dialog, the headless command prints and grabs frames directly.
class ProjectLoadHost {
public:
    virtual ~ProjectLoadHost() = default;
    // Modal "Error" message (the load goes on afterwards).
    virtual void showError(const std::string& message) = 0;
    // Modal "Information" message.
    virtual void showInformation(const std::string& message) = 0;
    virtual void beginBusy() {}
    virtual void endBusy() {}
    virtual void processEvents() {}
    // Takes item n's thumbnail again from its movie source (menuclip exists, menuframe
    // is not -1): stores the frame into ThumbnailImage and the frame actually shown into
    // menuframe, and shows "Movie clip #n loaded" itself while the movie is on show.
    // Reports its own failures; does not throw.
    virtual void retakeMovieFrame(MenuDocument& doc, int n) = 0;
    // An item's picture source could not be loaded (the thumbnail is left empty); `why`
    // is the reason, possibly empty. The editor stays silent here, as it always has.
    virtual void pictureFailed(const std::string& path, const std::string& why)
    {
        (void)path;
        (void)why;
    }
};

// The 48 CR LF-terminated lines of the project file, UTF-8. A CR or LF inside a text
// is written as a blank, so that no value can add lines of its own.
std::string ProjectFileText(const MenuDocument& doc);

// Writes the project file safely (temporary file renamed over the target); throws
// std::runtime_error("Cannot create file " + path + ": " + the system's reason) on
// failure. On success sets CurrentFileName.
void SaveProject(MenuDocument& doc, const std::string& path);

// Reads a project file into the document. A failure that ends the load is thrown as
// std::runtime_error with the exact message text ("Cannot open file " + path,
// "'x' is not a valid integer value", ...); RenderEnabled is true again in every case.
// Returns false when the file failed the format check ("Invalid file format" was shown,
// the document is unchanged, but the file became CurrentFileName all the same).
bool LoadProject(MenuDocument& doc, const std::string& path, ProjectLoadHost& host);

// Applies one project-file value with the reader's syntax and clamps (key in any case).
// Item keys store only the text or number; RetakeThumbnail takes the picture. Throws
// std::runtime_error with the reader's message for a malformed number, and
// std::invalid_argument for an unknown key or for id and version.
void ApplyProjectValue(MenuDocument& doc, const std::string& key, const std::string& value);

// Takes item n's thumbnail again from menuclip / menuframe as the reader does: no source
// leaves it empty, a missing file is reported through the host, -1 decodes a picture
// (silently empty on failure), any other frame goes to host.retakeMovieFrame.
void RetakeThumbnail(MenuDocument& doc, int n, ProjectLoadHost& host);
