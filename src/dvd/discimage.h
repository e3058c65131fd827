#pragma once

#include <functional>
#include <string>

// Writes the DVD-Video image (ISO 9660 with the UDF bridge) of `discDir`, the folder
// holding VIDEO_TS, to `isoFile` with genisoimage, through a temporary file beside it
// that is renamed only when genisoimage succeeded. Throws Failure naming the Debian
// package when genisoimage is missing, and with genisoimage's complaint when it fails
// or does not finish within `timeoutMs`; `isoFile` is then unchanged. Once `cancelled`
// (asked while genisoimage runs) turns true, genisoimage is stopped and DvdCancelled thrown.
void MakeDiscImage(const std::string& discDir, const std::string& isoFile, const std::string& label,
                   int timeoutMs, const std::function<bool()>& cancelled = {});

// A volume label from free text: upper-case letters, digits and '_', at most 32 of them.
std::string DiscLabel(const std::string& text);
