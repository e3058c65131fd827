#pragma once

#include <string>
#include <string_view>

// Text for a message: control characters (C0, DEL, C1 also as UTF-8) and bytes that are
// not UTF-8 are written as \xHH, so that a file name cannot drive the terminal or the
// message's layout. `keepNewlines` leaves line breaks of a multi-line box alone.
std::string EscapeControls(std::string_view text, bool keepNewlines = false);
