#include "escapecontrols.h"

#include <cstdint>
#include <cstdio>

namespace {

// Length of the well-formed UTF-8 sequence at the start of `s`, 0 if there is none.
std::size_t utf8Length(std::string_view s)
{
    const auto b = [&](std::size_t i) { return static_cast<std::uint8_t>(s[i]); };
    const std::uint8_t lead = b(0);
    std::size_t length;
    std::uint32_t min;
    if (lead < 0x80)
        return 1;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        min = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        min = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        min = 0x10000;
    } else {
        return 0;
    }
    if (s.size() < length)
        return 0;
    std::uint32_t cp = lead & (0x7F >> length);
    for (std::size_t i = 1; i < length; ++i) {
        if ((b(i) & 0xC0) != 0x80)
            return 0;
        cp = (cp << 6) | (b(i) & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
        return 0;
    return length;
}

void appendEscaped(std::string& out, std::uint8_t byte)
{
    char text[5];
    std::snprintf(text, sizeof text, "\\x%02x", byte);
    out += text;
}

} // namespace

std::string EscapeControls(std::string_view text, bool keepNewlines)
{
    std::string out;
    out.reserve(text.size());
    while (!text.empty()) {
        const auto first = static_cast<std::uint8_t>(text[0]);
        const std::size_t length = utf8Length(text);
        if (length == 0) {
            appendEscaped(out, first);
            text.remove_prefix(1);
            continue;
        }
        const bool c0 = first < 0x20 && !(keepNewlines && first == '\n');
        const bool c1 = length == 2 && first == 0xC2 && static_cast<std::uint8_t>(text[1]) < 0xA0;
        if (c0 || first == 0x7F) {
            appendEscaped(out, first);
        } else if (c1) {
            appendEscaped(out, static_cast<std::uint8_t>(text[1])); // U+0080..U+009F
        } else {
            out.append(text.substr(0, length));
        }
        text.remove_prefix(length);
    }
    return out;
}
