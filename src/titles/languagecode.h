#pragma once

#include <string>

// The two-letter ISO 639-1 code a disc's tables carry for a language a movie names by its
// ISO 639-2 code ("eng", "ger" or "deu") or by its two letters; empty for "und", for a
// name not known here, and for anything that is not a code.
std::string DiscLanguageCode(const std::string& tag);
