#pragma once

// The text side of the project file, standard library only: keys, value syntaxes,
// line splitting and the character encoding. Nothing here touches a document.

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

enum class ProjectValueKind {
    Fixed,      // id and version: written as they are, never set
    Decimal,    // optional sign and digits, 32-bit
    Boolean,    // exactly "true"; anything else reads as false
    Text,       // taken literally
    HexColor,   // hexadecimal digits in either case, 32-bit
    SizeFactor, // decimal; missing or malformed counts as 10, then 5..15
    Choice,     // one of a few names (aspect, buttonstyle); anything else is the default
};

struct ProjectKey {
    std::string_view name;
    ProjectValueKind kind;
};

// The 48 lines every project file has, then keys of later settings that are written
// only when they differ from their defaults (readers of the 48 lines ignore them).
constexpr int kProjectFileLineCount = 48;
constexpr int kProjectKeyCount = 65;

// Whether a key index is one of the later settings after the 48 lines.
constexpr bool IsExtraProjectKey(int keyIndex)
{
    return keyIndex >= kProjectFileLineCount && keyIndex < kProjectKeyCount;
}

// The keys of a project file in the order the writer puts them.
const std::array<ProjectKey, kProjectKeyCount>& ProjectKeys();

// Index into ProjectKeys() of `key`, compared without regard to ASCII case; -1 if none.
int FindProjectKey(std::string_view key);

// For an item key (menucaptionN, menuclipN, menuframeN) the item number 1..10, else 0.
int ProjectKeyItem(int keyIndex);

// For a menutitleN key the item number 1..10, else 0.
int ProjectTitleKeyItem(int keyIndex);

// Files larger than this are refused: a real project is a few kilobytes, and the cap
// keeps a hostile file from exhausting memory.
constexpr std::uint64_t kMaxProjectFileBytes = 1024 * 1024;

// The values of a project file's text (UTF-8), found by key: only lines holding "="
// take part, the key is the text before the first "=", compared without regard to
// case, and the first line with a key wins. Lines break at CR, LF and CR LF.
class ProjectValues {
public:
    explicit ProjectValues(std::string_view text);

    // The value of `key` (any case); empty when no line has it or the key is unknown.
    const std::string& value(std::string_view key) const;

private:
    std::array<std::string, kProjectKeyCount> m_values;
    std::array<bool, kProjectKeyCount> m_found{};
};

// Decimal: an optional "+" or "-" and one or more ASCII digits, nothing else; values
// outside the 32-bit signed range are malformed.
std::optional<std::int32_t> ParseDecimal(std::string_view text);
// Hexadecimal colour: one or more hex digits in either case (no prefix), at most 32 bits.
std::optional<std::uint32_t> ParseHexColor(std::string_view text);

// The messages of a malformed number, as the reader reports them.
std::string InvalidDecimalMessage(std::string_view value);
std::string InvalidHexMessage(std::string_view value);

// Throw std::runtime_error with the message above when the value is malformed.
std::int32_t ReadDecimal(std::string_view text);
std::uint32_t ReadHexColor(std::string_view text);

// Upper-case hexadecimal with at least six digits (white FFFFFF).
std::string FormatHexColor(std::uint32_t color);

// Whether `bytes` is well-formed UTF-8 (no overlong forms, surrogates or values past
// U+10FFFF).
bool IsValidUtf8(std::string_view bytes);
// Windows-1252 to UTF-8; the five unassigned bytes map to the C1 controls of the same value.
std::string Windows1252ToUtf8(std::string_view bytes);
// A project file's bytes as UTF-8 text, line by line: a line that is UTF-8 as it is,
// any other read as Windows-1252. A path (bgimage, menuclipN, menutitleN) is a file name, which is
// bytes: its bytes stay as they are when `pathExists` finds a file by them or finds
// none by the Windows-1252 reading either, so that saving again writes them unchanged.
// A leading byte-order mark is dropped.
std::string DecodeProjectText(std::string_view bytes,
                              const std::function<bool(const std::string&)>& pathExists = {});
