#pragma once

#include "base/picture.h"

#include <string>

// Decodes a BMP, GIF, JPEG or PNG file, chosen by the lower-cased extension only,
// onto `target` (resized keeping the overlap, new pixels white; transparency shows
// what was there). False for a missing, unreadable or malformed file or an unknown
// extension (then the target is untouched). Never throws.
bool LoadPictureFile(const std::string& fileName, Picture& target);
// The same, saying on failure why in plain words (see PictureFailureReason).
bool LoadPictureFile(const std::string& fileName, Picture& target, std::string& reason);

// A picture for an item's thumbnail: loaded as above, then reduced to about 16
// megapixels where it is larger (invisible at menu sizes, and it keeps ten thumbnails
// small); smaller pictures stay exact.
bool LoadThumbnailPicture(const std::string& fileName, Picture& target, std::string& reason);
void ReduceThumbnail(Picture& picture);

// The part of the file name (after the last "/") behind its last dot, ASCII letters
// lowered: "Menu.JPEG" gives "jpeg"; empty when the name has no dot.
std::string LowerCaseExtension(const std::string& fileName);

// The export writers: the whole file is written to a temporary file beside the
// target and renamed over it only when complete, so a failure leaves an existing
// file as it was. True when the file was written. Never throw.
bool SaveAsBMP(const std::string& fileName, const Picture& image);
bool SaveAsGIF(const std::string& fileName, const Picture& image);
bool SaveAsJPG(const std::string& fileName, const Picture& image);
bool SaveAsPNG(const std::string& fileName, const Picture& image);
