#include "cuetext.h"

#include <algorithm>
#include <cctype>

namespace {

// FFmpeg hands out a dialogue line without its "Dialogue:" and start and end:
// ReadOrder, Layer, Style, Name, MarginL, MarginR, MarginV, Effect, then the text.
std::string assText(const std::string& line)
{
    std::size_t at = 0;
    for (int field = 0; field < 8; ++field) {
        at = line.find(',', at);
        if (at == std::string::npos)
            return line; // not a dialogue line after all: all of it is text
        ++at;
    }
    return line.substr(at);
}

bool isTag(const std::string& text, std::size_t open, std::size_t close)
{
    std::string name = text.substr(open + 1, close - open - 1);
    if (!name.empty() && name[0] == '/')
        name.erase(0, 1);
    name = name.substr(0, name.find(' '));
    std::transform(name.begin(), name.end(), name.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return name == "i" || name == "b" || name == "u" || name == "s" || name == "font" ||
           name == "c" || name == "v" || name == "ruby" || name == "rt" || name == "lang";
}

// Removes {...} override blocks and, in SubRip text, the HTML-like tags it allows; a
// lone brace or angle bracket stays as text.
std::string stripMarkup(const std::string& text, bool tags)
{
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        const char closing = c == '{' ? '}' : c == '<' && tags ? '>' : 0;
        if (closing) {
            const std::size_t end = text.find(closing, i + 1);
            if (end != std::string::npos && (c == '{' || isTag(text, i, end))) {
                i = end;
                continue;
            }
        }
        out += c;
    }
    return out;
}

// ASS escapes: \N and \n break the line, \h is a hard space.
std::string assBreaks(const std::string& text)
{
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\' && i + 1 < text.size() &&
            (text[i + 1] == 'N' || text[i + 1] == 'n' || text[i + 1] == 'h')) {
            out += text[i + 1] == 'h' ? ' ' : '\n';
            ++i;
        } else {
            out += text[i];
        }
    }
    return out;
}

std::string trimmed(const std::string& line)
{
    std::string out;
    for (const char c : line) {
        const auto u = static_cast<unsigned char>(c);
        out += u < 0x20 || u == 0x7F ? ' ' : c; // tabs and stray controls become spaces
    }
    const std::size_t first = out.find_first_not_of(' ');
    if (first == std::string::npos)
        return {};
    return out.substr(first, out.find_last_not_of(' ') - first + 1);
}

// A few entities that SubRip and WebVTT files carry.
std::string entities(std::string text)
{
    static const std::pair<const char*, const char*> kEntities[] = {
        {"&amp;", "&"}, {"&lt;", "<"}, {"&gt;", ">"}, {"&nbsp;", " "}, {"&quot;", "\""}};
    for (const auto& [from, to] : kEntities)
        for (std::size_t at; (at = text.find(from)) != std::string::npos;)
            text.replace(at, std::char_traits<char>::length(from), to);
    return text;
}

} // namespace

std::vector<std::string> CueLines(const std::string& text, CueMarkup markup)
{
    std::string plain = markup == CueMarkup::Ass
                            ? entities(assBreaks(stripMarkup(assText(text), false)))
                            : entities(stripMarkup(text, true));
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start <= plain.size()) {
        const std::size_t end = std::min(plain.find('\n', start), plain.size());
        std::string line = trimmed(plain.substr(start, end - start));
        if (!line.empty())
            lines.push_back(std::move(line));
        start = end + 1;
    }
    return lines;
}
