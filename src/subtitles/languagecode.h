#pragma once

#include <string>

// The two-letter ISO 639-1 code a DVD's tables hold for a language tag as movies and
// file names carry it: "en", "eng", "EN" and "en-US" all give "en", "ger" and "deu"
// give "de". Empty for a tag it does not know ("und", "english", garbage).
std::string DiscLanguageCode(const std::string& tag);

// The language's English name for messages ("German"); the code itself when unknown.
std::string LanguageName(const std::string& code);
