#pragma once

#include <string>

// The folder a disc is authored into, which the program owns: a marker file of its own
// says so. A new or empty folder is taken (and marked); a folder that holds anything but
// is not marked is refused, so nothing the program did not make is ever touched.
// Everything is made in a temporary folder inside it, and VIDEO_TS (with an empty
// AUDIO_TS) replaces the old one only when complete, so a failure, a cancel or a killed
// run never leaves a disc that looks finished. Temporaries a killed run left are
// removed when the folder is taken again.
class DiscFolder {
public:
    // Throws Failure when the folder cannot be made, is not empty and not ours, or the
    // work folder cannot be made.
    explicit DiscFolder(const std::string& dir);
    // Removes the work folder and everything in it; a folder this run made new (or found
    // empty) and never published a disc into is left as it was found.
    ~DiscFolder();
    DiscFolder(const DiscFolder&) = delete;
    DiscFolder& operator=(const DiscFolder&) = delete;

    const std::string& dir() const { return m_dir; }
    // The temporary folder for menus, titles and dvdauthor's output.
    const std::string& workDir() const { return m_work; }
    // Where dvdauthor writes: its VIDEO_TS appears inside.
    std::string authorDir() const { return m_work + "/disc"; }

    // Moves authorDir()'s VIDEO_TS into place, replacing the previous disc in one step,
    // then removes the work folder. Throws Failure when it cannot.
    void publish();

private:
    std::string m_dir;
    std::string m_work;
    int m_lock = -1;           // the marker, locked while this run owns the folder
    bool m_madeFolder = false; // the folder did not exist before this run
    bool m_madeMarker = false; // it was empty: the marker is this run's
    bool m_published = false;
};

// The marker file's name inside a disc folder (left out of the ISO).
inline constexpr const char* kDiscFolderMarker = ".tavrel-disc";
