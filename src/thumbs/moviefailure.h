#pragma once

#include <exception>
#include <string>

// Why a movie could not be opened or read, in plain words ("it has no video track"),
// with FFmpeg's own text in brackets only for failures without a plainer name; never
// FFmpeg's code.
std::string MovieFailureReason(const std::exception& error);

// "Cannot open movie clip.mp4: <reason>." with the file's name, not its whole path.
std::string MovieFailureMessage(const std::string& path, const std::exception& error);
