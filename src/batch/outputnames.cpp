#include "outputnames.h"

#include "base/asciicase.h"

#include <algorithm>
#include <set>
#include <string_view>

namespace {

bool refused(unsigned char c)
{
    return c < 0x20 || c == 0x7F ||
           std::string_view("/\\:*?\"<>|").find(static_cast<char>(c)) != std::string_view::npos;
}

bool trimmed(char c)
{
    return c == ' ' || c == '.';
}

// Cuts before a UTF-8 continuation byte would be split from its lead byte.
std::string cutAt(std::string text, std::size_t maxBytes)
{
    if (text.size() <= maxBytes)
        return text;
    std::size_t end = maxBytes;
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80)
        --end;
    text.resize(end);
    return text;
}

// Windows keeps these names for devices, whatever the case or extension: "con.png" cannot
// be created there, and a disc or stick taken to Windows would hide the file.
bool reservedOnWindows(const std::string& name)
{
    const std::string stem = LowerAscii(name.substr(0, name.find('.')));
    if (stem == "con" || stem == "prn" || stem == "aux" || stem == "nul")
        return true;
    return stem.size() == 4 && (stem.starts_with("com") || stem.starts_with("lpt")) &&
           stem[3] >= '1' && stem[3] <= '9';
}

} // namespace

std::string SafeFileName(const std::string& name, const std::string& fallback, std::size_t maxBytes)
{
    std::string out;
    out.reserve(name.size());
    for (char c : name)
        out += refused(static_cast<unsigned char>(c)) ? '_' : c;
    out = cutAt(std::move(out), maxBytes);
    std::size_t begin = 0;
    while (begin < out.size() && trimmed(out[begin]))
        ++begin;
    std::size_t end = out.size();
    while (end > begin && trimmed(out[end - 1]))
        --end;
    out = out.substr(begin, end - begin);
    if (out.empty())
        return fallback;
    if (!reservedOnWindows(out))
        return out;
    const std::size_t dot = std::min(out.find('.'), out.size());
    return out.substr(0, dot) + "_" + out.substr(dot);
}

void MakeNamesUnique(std::vector<std::string>& names)
{
    std::set<std::string> given;
    for (const std::string& name : names)
        given.insert(LowerAscii(name));
    std::set<std::string> taken;
    for (std::string& name : names) {
        std::string lower = LowerAscii(name);
        if (taken.insert(lower).second)
            continue;
        for (int n = 2;; ++n) {
            std::string suffix = "-";
            suffix.append(std::to_string(n));
            std::string candidate = lower;
            candidate.append(suffix);
            // A later row named "x-2" keeps its name; this one moves on to "x-3".
            if (!taken.contains(candidate) && !given.contains(candidate)) {
                name.append(suffix);
                taken.insert(std::move(candidate));
                break;
            }
        }
    }
}
