#pragma once

#include "document/projectfile.h"

#include <string>
#include <vector>

// ProjectLoadHost::retakeMovieFrame for a host without the thumbnail dialog: a negative
// frame decodes menuclip as a picture (through doc.loadPicture), any other frame is
// taken from the movie directly.
bool RetakeWithoutDialog(MenuDocument& doc, int n, std::string& failure);

// Loading without anybody to ask: messages are collected for the caller to report,
// movie frames are taken directly, and a source that is missing or fails to load is
// an error.
class QuietLoadHost : public ProjectLoadHost {
public:
    void showError(const std::string& text) override { errors.push_back(text); }
    void showInformation(const std::string& text) override { notes.push_back(text); }
    bool retakeMovieFrame(MenuDocument& doc, int n, std::string& failure) override
    {
        return RetakeWithoutDialog(doc, n, failure);
    }
    void reportLoad(const LoadReport& report) override;

    std::vector<std::string> errors;
    std::vector<std::string> notes;
};
