#include "languagecode.h"

#include <algorithm>
#include <array>
#include <cctype>

namespace {

struct Language {
    const char* two;
    const char* bibliographic; // ISO 639-2/B
    const char* terminology;   // ISO 639-2/T, where it differs
    const char* name;
};

// The languages films are subtitled in; others keep an empty code, which a disc allows.
constexpr std::array kLanguages = {
    Language{"ar", "ara", "", "Arabic"},
    Language{"bg", "bul", "", "Bulgarian"},
    Language{"ca", "cat", "", "Catalan"},
    Language{"cs", "cze", "ces", "Czech"},
    Language{"cy", "wel", "cym", "Welsh"},
    Language{"da", "dan", "", "Danish"},
    Language{"de", "ger", "deu", "German"},
    Language{"el", "gre", "ell", "Greek"},
    Language{"en", "eng", "", "English"},
    Language{"es", "spa", "", "Spanish"},
    Language{"et", "est", "", "Estonian"},
    Language{"eu", "baq", "eus", "Basque"},
    Language{"fa", "per", "fas", "Persian"},
    Language{"fi", "fin", "", "Finnish"},
    Language{"fr", "fre", "fra", "French"},
    Language{"ga", "gle", "", "Irish"},
    Language{"gl", "glg", "", "Galician"},
    Language{"he", "heb", "", "Hebrew"},
    Language{"hi", "hin", "", "Hindi"},
    Language{"hr", "hrv", "", "Croatian"},
    Language{"hu", "hun", "", "Hungarian"},
    Language{"id", "ind", "", "Indonesian"},
    Language{"is", "ice", "isl", "Icelandic"},
    Language{"it", "ita", "", "Italian"},
    Language{"ja", "jpn", "", "Japanese"},
    Language{"ko", "kor", "", "Korean"},
    Language{"lt", "lit", "", "Lithuanian"},
    Language{"lv", "lav", "", "Latvian"},
    Language{"mk", "mac", "mkd", "Macedonian"},
    Language{"ms", "may", "msa", "Malay"},
    Language{"nl", "dut", "nld", "Dutch"},
    Language{"no", "nor", "", "Norwegian"},
    Language{"nb", "nob", "", "Norwegian Bokmal"},
    Language{"nn", "nno", "", "Norwegian Nynorsk"},
    Language{"pl", "pol", "", "Polish"},
    Language{"pt", "por", "", "Portuguese"},
    Language{"ro", "rum", "ron", "Romanian"},
    Language{"ru", "rus", "", "Russian"},
    Language{"sk", "slo", "slk", "Slovak"},
    Language{"sl", "slv", "", "Slovenian"},
    Language{"sq", "alb", "sqi", "Albanian"},
    Language{"sr", "srp", "", "Serbian"},
    Language{"sv", "swe", "", "Swedish"},
    Language{"th", "tha", "", "Thai"},
    Language{"tr", "tur", "", "Turkish"},
    Language{"uk", "ukr", "", "Ukrainian"},
    Language{"vi", "vie", "", "Vietnamese"},
    Language{"zh", "chi", "zho", "Chinese"},
};

std::string lower(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

} // namespace

std::string DiscLanguageCode(const std::string& tag)
{
    // A region or script after the language ("en-US", "pt_BR") does not change it.
    const std::string code = lower(tag.substr(0, tag.find_first_of("-_")));
    if (code.size() < 2 || code.size() > 3)
        return {};
    for (const Language& l : kLanguages)
        if (code == l.two || code == l.bibliographic || code == l.terminology)
            return l.two;
    return {};
}

std::string LanguageName(const std::string& code)
{
    for (const Language& l : kLanguages)
        if (code == l.two)
            return l.name;
    return code;
}
