#include "languagecode.h"

#include <algorithm>
#include <array>
#include <cctype>

namespace {

struct Language {
    const char* two;
    const char* three;  // ISO 639-2/T
    const char* biblio; // ISO 639-2/B where it differs
};

// The languages films are dubbed and subtitled in, and those of Europe.
constexpr std::array<Language, 74> kLanguages{{
    {"af", "afr", ""},    {"ar", "ara", ""},    {"be", "bel", ""},    {"bg", "bul", ""},
    {"bn", "ben", ""},    {"bs", "bos", ""},    {"ca", "cat", ""},    {"cs", "ces", "cze"},
    {"cy", "cym", "wel"}, {"da", "dan", ""},    {"de", "deu", "ger"}, {"el", "ell", "gre"},
    {"en", "eng", ""},    {"eo", "epo", ""},    {"es", "spa", ""},    {"et", "est", ""},
    {"eu", "eus", "baq"}, {"fa", "fas", "per"}, {"fi", "fin", ""},    {"fo", "fao", ""},
    {"fr", "fra", "fre"}, {"ga", "gle", ""},    {"gd", "gla", ""},    {"gl", "glg", ""},
    {"gu", "guj", ""},    {"he", "heb", ""},    {"hi", "hin", ""},    {"hr", "hrv", ""},
    {"hu", "hun", ""},    {"hy", "hye", "arm"}, {"id", "ind", ""},    {"is", "isl", "ice"},
    {"it", "ita", ""},    {"ja", "jpn", ""},    {"ka", "kat", "geo"}, {"kk", "kaz", ""},
    {"km", "khm", ""},    {"kn", "kan", ""},    {"ko", "kor", ""},    {"ku", "kur", ""},
    {"la", "lat", ""},    {"lb", "ltz", ""},    {"lt", "lit", ""},    {"lv", "lav", ""},
    {"mk", "mkd", "mac"}, {"ml", "mal", ""},    {"mn", "mon", ""},    {"mr", "mar", ""},
    {"ms", "msa", "may"}, {"mt", "mlt", ""},    {"nb", "nob", ""},    {"ne", "nep", ""},
    {"nl", "nld", "dut"}, {"nn", "nno", ""},    {"no", "nor", ""},    {"pa", "pan", ""},
    {"pl", "pol", ""},    {"pt", "por", ""},    {"ro", "ron", "rum"}, {"ru", "rus", ""},
    {"sk", "slk", "slo"}, {"sl", "slv", ""},    {"sq", "sqi", "alb"}, {"sr", "srp", ""},
    {"sv", "swe", ""},    {"sw", "swa", ""},    {"ta", "tam", ""},    {"te", "tel", ""},
    {"th", "tha", ""},    {"tr", "tur", ""},    {"uk", "ukr", ""},    {"zh", "zho", "chi"},
    {"ur", "urd", ""},    {"vi", "vie", ""},
}};

} // namespace

std::string DiscLanguageCode(const std::string& tag)
{
    std::string code;
    for (char c : tag) {
        if (!std::isalpha(static_cast<unsigned char>(c)))
            return {};
        code += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    const auto found = std::find_if(kLanguages.begin(), kLanguages.end(), [&](const Language& l) {
        return code == l.two || code == l.three || code == l.biblio;
    });
    if (code.size() < 2 || found == kLanguages.end())
        return {};
    return found->two;
}
