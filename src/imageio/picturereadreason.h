#pragma once

#include <exception>
#include <string>

// Why a picture could not be read, in plain words for a message ("the file is damaged
// (CRC error in IDAT)"); the reader's own detail stays in brackets.
std::string PictureFailureReason(const std::exception& error);

// "Cannot read picture x.png: <reason>." with the file's name, not its whole path.
std::string PictureFailureMessage(const std::string& path, const std::string& reason);
