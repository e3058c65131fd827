#include "projectparse.h"

#include "base/asciicase.h"

#include <algorithm>
#include <cstdio>
#include <limits>
#include <stdexcept>

namespace {

using K = ProjectValueKind;

// clang-format off
constexpr std::array<ProjectKey, kProjectKeyCount> kKeys = {{
    {"id", K::Fixed}, {"version", K::Fixed},
    {"menustart", K::Decimal}, {"menucount", K::Decimal},
    {"thumbs", K::Boolean}, {"numbers", K::Boolean},
    {"bgimage", K::Text}, {"bgcolor", K::HexColor}, {"textcolor", K::HexColor},
    {"textfont", K::Text}, {"boldtext", K::Boolean}, {"shadowtext", K::Boolean},
    {"title", K::Text}, {"subtitle", K::Text}, {"footnote", K::Text},
    {"titlesize", K::SizeFactor}, {"captionsize", K::SizeFactor},
    {"menucaption1", K::Text}, {"menuclip1", K::Text}, {"menuframe1", K::Decimal},
    {"menucaption2", K::Text}, {"menuclip2", K::Text}, {"menuframe2", K::Decimal},
    {"menucaption3", K::Text}, {"menuclip3", K::Text}, {"menuframe3", K::Decimal},
    {"menucaption4", K::Text}, {"menuclip4", K::Text}, {"menuframe4", K::Decimal},
    {"menucaption5", K::Text}, {"menuclip5", K::Text}, {"menuframe5", K::Decimal},
    {"menucaption6", K::Text}, {"menuclip6", K::Text}, {"menuframe6", K::Decimal},
    {"menucaption7", K::Text}, {"menuclip7", K::Text}, {"menuframe7", K::Decimal},
    {"menucaption8", K::Text}, {"menuclip8", K::Text}, {"menuframe8", K::Decimal},
    {"menucaption9", K::Text}, {"menuclip9", K::Text}, {"menuframe9", K::Decimal},
    {"menucaption10", K::Text}, {"menuclip10", K::Text}, {"menuframe10", K::Decimal},
    {"quality", K::Boolean},
    {"aspect", K::Choice}, {"fittext", K::Boolean}, {"tvsafe", K::Boolean},
    {"buttonstyle", K::Choice}, {"highlightcolor", K::HexColor}, {"selectcolor", K::HexColor},
    {"safelayout", K::Boolean},
    {"menutitle1", K::Text}, {"menutitle2", K::Text}, {"menutitle3", K::Text},
    {"menutitle4", K::Text}, {"menutitle5", K::Text}, {"menutitle6", K::Text},
    {"menutitle7", K::Text}, {"menutitle8", K::Text}, {"menutitle9", K::Text},
    {"menutitle10", K::Text},
}};
// clang-format on

constexpr int kFirstItemKey = 17;
constexpr int kItemKeyCount = 30;
constexpr int kFirstTitleKey = 55;
constexpr int kTitleKeyCount = 10;
constexpr std::size_t kLongestKey = 14; // "highlightcolor"

int hexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

void appendUtf8(std::string& out, std::uint32_t cp)
{
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

// Code points of Windows-1252 bytes 0x80..0x9F; the unassigned ones keep their value.
constexpr std::array<std::uint16_t, 32> kCp1252High = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

} // namespace

const std::array<ProjectKey, kProjectKeyCount>& ProjectKeys()
{
    return kKeys;
}

int FindProjectKey(std::string_view key)
{
    if (key.empty() || key.size() > kLongestKey)
        return -1;
    for (int i = 0; i < kProjectKeyCount; ++i)
        if (EqualsNoCase(key, kKeys[static_cast<std::size_t>(i)].name))
            return i;
    return -1;
}

int ProjectKeyItem(int keyIndex)
{
    if (keyIndex < kFirstItemKey || keyIndex >= kFirstItemKey + kItemKeyCount)
        return 0;
    return (keyIndex - kFirstItemKey) / 3 + 1;
}

int ProjectTitleKeyItem(int keyIndex)
{
    if (keyIndex < kFirstTitleKey || keyIndex >= kFirstTitleKey + kTitleKeyCount)
        return 0;
    return keyIndex - kFirstTitleKey + 1;
}

ProjectValues::ProjectValues(std::string_view text)
{
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t end = text.find_first_of("\r\n", pos);
        if (end == std::string_view::npos)
            end = text.size();
        const std::string_view line = text.substr(pos, end - pos);
        pos = end;
        if (pos < text.size()) {
            // CR LF is one break; a lone CR or LF is one too.
            if (text[pos] == '\r' && pos + 1 < text.size() && text[pos + 1] == '\n')
                pos += 2;
            else
                pos += 1;
        }
        const std::size_t eq = line.find('=');
        if (eq == std::string_view::npos)
            continue;
        const int index = FindProjectKey(line.substr(0, eq));
        if (index < 0 || m_found[static_cast<std::size_t>(index)])
            continue;
        m_found[static_cast<std::size_t>(index)] = true;
        m_values[static_cast<std::size_t>(index)] = std::string(line.substr(eq + 1));
    }
}

const std::string& ProjectValues::value(std::string_view key) const
{
    static const std::string empty;
    const int index = FindProjectKey(key);
    return index < 0 ? empty : m_values[static_cast<std::size_t>(index)];
}

std::optional<std::int32_t> ParseDecimal(std::string_view text)
{
    bool negative = false;
    if (!text.empty() && (text[0] == '-' || text[0] == '+')) {
        negative = text[0] == '-';
        text.remove_prefix(1);
    }
    if (text.empty())
        return std::nullopt;
    // Accumulate the magnitude in 64 bits; the limit check keeps it from overflowing.
    const std::int64_t limit =
        negative ? -static_cast<std::int64_t>(std::numeric_limits<std::int32_t>::min())
                 : std::numeric_limits<std::int32_t>::max();
    std::int64_t magnitude = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return std::nullopt;
        magnitude = magnitude * 10 + (c - '0');
        if (magnitude > limit)
            return std::nullopt;
    }
    return static_cast<std::int32_t>(negative ? -magnitude : magnitude);
}

std::optional<std::uint32_t> ParseHexColor(std::string_view text)
{
    if (text.empty())
        return std::nullopt;
    std::uint64_t value = 0;
    for (char c : text) {
        const int digit = hexDigit(c);
        if (digit < 0)
            return std::nullopt;
        value = value * 16 + static_cast<std::uint64_t>(digit);
        if (value > std::numeric_limits<std::uint32_t>::max())
            return std::nullopt;
    }
    return static_cast<std::uint32_t>(value);
}

namespace {

// Appending step by step keeps gcc 12 from a false -Wrestrict on "x" + std::string.
std::string invalidIntegerMessage(std::string_view prefix, std::string_view value)
{
    std::string out;
    out.reserve(prefix.size() + value.size() + 32);
    out.append(prefix).append(value).append("' is not a valid integer value");
    return out;
}

} // namespace

std::string InvalidDecimalMessage(std::string_view value)
{
    return invalidIntegerMessage("'", value);
}

std::string InvalidHexMessage(std::string_view value)
{
    return invalidIntegerMessage("'$", value);
}

std::int32_t ReadDecimal(std::string_view text)
{
    const auto value = ParseDecimal(text);
    if (!value)
        throw std::runtime_error(InvalidDecimalMessage(text));
    return *value;
}

std::uint32_t ReadHexColor(std::string_view text)
{
    const auto value = ParseHexColor(text);
    if (!value)
        throw std::runtime_error(InvalidHexMessage(text));
    return *value;
}

std::string FormatHexColor(std::uint32_t color)
{
    char buf[16];
    std::snprintf(buf, sizeof buf, "%06X", static_cast<unsigned>(color));
    return buf;
}

bool IsValidUtf8(std::string_view bytes)
{
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    const std::size_t n = bytes.size();
    std::size_t i = 0;
    while (i < n) {
        const unsigned c = p[i];
        if (c < 0x80) {
            ++i;
            continue;
        }
        // Sequence length, payload bits of the lead byte, and the smallest code point the
        // length may carry (anything below is an overlong form).
        std::size_t len = 0;
        std::uint32_t cp = 0;
        std::uint32_t min = 0;
        if ((c & 0xE0) == 0xC0) {
            len = 2;
            cp = c & 0x1F;
            min = 0x80;
        } else if ((c & 0xF0) == 0xE0) {
            len = 3;
            cp = c & 0x0F;
            min = 0x800;
        } else if ((c & 0xF8) == 0xF0) {
            len = 4;
            cp = c & 0x07;
            min = 0x10000;
        } else {
            return false;
        }
        if (n - i < len)
            return false;
        for (std::size_t k = 1; k < len; ++k) {
            if ((p[i + k] & 0xC0) != 0x80)
                return false;
            cp = (cp << 6) | (p[i + k] & 0x3F);
        }
        if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
            return false;
        i += len;
    }
    return true;
}

std::string Windows1252ToUtf8(std::string_view bytes)
{
    std::string out;
    out.reserve(bytes.size() + bytes.size() / 2);
    for (char ch : bytes) {
        const auto c = static_cast<unsigned char>(ch);
        if (c < 0x80)
            out += ch;
        else if (c < 0xA0)
            appendUtf8(out, kCp1252High[c - 0x80]);
        else
            appendUtf8(out, c); // 0xA0..0xFF are Latin-1
    }
    return out;
}

namespace {

bool isPathLine(std::string_view line)
{
    const std::size_t equals = line.find('=');
    if (equals == std::string_view::npos)
        return false;
    const std::string key = LowerAscii(std::string(line.substr(0, equals)));
    if (key == "bgimage")
        return true;
    for (const std::string_view prefix :
         {std::string_view("menuclip"), std::string_view("menutitle")})
        if (key.starts_with(prefix) && key.size() > prefix.size() &&
            std::all_of(key.begin() + static_cast<std::ptrdiff_t>(prefix.size()), key.end(),
                        [](char c) { return c >= '0' && c <= '9'; }))
            return true;
    return false;
}

} // namespace

std::string DecodeProjectText(std::string_view bytes,
                              const std::function<bool(const std::string&)>& pathExists)
{
    // Some editors put a byte-order mark in front; it is not part of the first key.
    constexpr std::string_view bom = "\xEF\xBB\xBF";
    if (bytes.starts_with(bom))
        bytes.remove_prefix(bom.size());
    // Line by line: one path that is not UTF-8 (file names are bytes) must not turn
    // every other text of the file into Windows-1252.
    std::string out;
    out.reserve(bytes.size());
    while (!bytes.empty()) {
        const std::size_t end = std::min(bytes.find_first_of("\r\n"), bytes.size());
        const std::string_view line = bytes.substr(0, end);
        if (IsValidUtf8(line)) {
            out.append(line);
        } else if (isPathLine(line)) {
            const std::size_t equals = line.find('=') + 1;
            const std::string raw(line.substr(equals));
            const std::string read = Windows1252ToUtf8(raw);
            const bool takeRead = pathExists && !pathExists(raw) && pathExists(read);
            out.append(line.substr(0, equals));
            out.append(takeRead ? read : raw);
        } else {
            out.append(Windows1252ToUtf8(line));
        }
        const std::size_t next = std::min(bytes.find_first_not_of("\r\n", end), bytes.size());
        out.append(bytes.substr(end, next - end));
        bytes.remove_prefix(next);
    }
    return out;
}
