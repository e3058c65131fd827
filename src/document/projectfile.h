#pragma once

#include "loadreport.h"
#include "menudocument.h"

class SourceFinder;

#include <string>

// What loading a project needs of its surroundings: the editor shows message boxes and
// drives the thumbnail dialog, the headless command prints and grabs frames directly.
// Missing and unreadable sources are gathered and told once, through reportLoad.
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
    // menuframe. On failure returns false with the sentence for the user in `failure`
    // ("Cannot open movie x.mpg: ..."); does not throw.
    virtual bool retakeMovieFrame(MenuDocument& doc, int n, std::string& failure) = 0;
    // Folders searched (without their subfolders) for sources that are not at their
    // stored paths, after the project file's own folder: the last chosen source's.
    virtual std::vector<std::string> searchFolders() const { return {}; }
    // The outcome of the sources, once at the end of a load. The default shows the
    // summary as an error when something is missing or unreadable, otherwise as
    // information, and nothing when there is nothing to tell.
    virtual void reportLoad(const LoadReport& report);
};

// The 48 CR LF-terminated lines of the project file, UTF-8, then a line for each later
// setting that is not at its default. A CR or LF inside a text is written as a blank,
// so that no value can add lines of its own.
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
// Sources that are not at their stored paths are looked for by name in the project
// file's folder (and its subfolders) and in host.searchFolders(); found ones are used
// from there (the document holds the new path, the file is untouched until saved).
bool LoadProject(MenuDocument& doc, const std::string& path, ProjectLoadHost& host);

// Applies one project-file value with the reader's syntax and clamps (key in any case).
// Item keys store only the text or number; RetakeThumbnail takes the picture. Throws
// std::runtime_error with the reader's message for a malformed number, and
// std::invalid_argument for an unknown key or for id and version.
void ApplyProjectValue(MenuDocument& doc, const std::string& key, const std::string& value);

// Takes item n's thumbnail again from menuclip / menuframe as the reader does: no source
// leaves it empty; a missing file is looked for with `finder` (when given) and taken
// from where it is found, or else counted as not found; -1 decodes a picture, any other
// frame goes to host.retakeMovieFrame. Outcomes go into `report`.
void RetakeThumbnail(MenuDocument& doc, int n, ProjectLoadHost& host, LoadReport& report,
                     SourceFinder* finder = nullptr);
// The same for one item on its own, reported through host.reportLoad at once.
void RetakeThumbnail(MenuDocument& doc, int n, ProjectLoadHost& host);
