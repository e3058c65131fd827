#pragma once

#include <functional>
#include <string>

// Writes the DVD-Video image (ISO 9660 with the UDF bridge) of `discDir`, the folder
// holding VIDEO_TS, to `isoFile` with genisoimage, as an AtomicFile that takes the name
// only when genisoimage succeeded and the image has the size it announced and lists
// VIDEO_TS. A target that is no regular file is refused; a symbolic link is written
// through. Throws Failure naming the Debian package when genisoimage is missing, and
// with genisoimage's complaint when it fails or does not finish within `timeoutMs`;
// `isoFile` is then unchanged. Stale temporaries of earlier killed runs are removed. Once
// `cancelled` (asked while genisoimage runs) turns true, genisoimage is stopped and DvdCancelled
// thrown.
void MakeDiscImage(const std::string& discDir, const std::string& isoFile, const std::string& label,
                   int timeoutMs, const std::function<bool()>& cancelled = {});

// A volume label from free text: upper-case letters, digits and '_', at most 32 of them.
std::string DiscLabel(const std::string& text);
