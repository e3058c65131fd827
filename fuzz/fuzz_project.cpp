// Project-file text: encoding detection, line splitting, key lookup and the number
// syntaxes, on arbitrary bytes.
#include "document/projectparse.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

namespace {

void check(bool condition)
{
    if (!condition)
        std::abort();
}

// A decimal written the way the writer writes it must read back as itself.
void checkDecimal(std::string_view text)
{
    const auto value = ParseDecimal(text);
    if (value && !text.empty() && text[0] != '+' &&
        !(text.size() > 1 && (text[0] == '0' || text.starts_with("-0"))))
        check(std::to_string(*value) == text);
}

void checkHex(std::string_view text)
{
    const auto value = ParseHexColor(text);
    if (value) {
        check(text.size() >= 1);
        check(*ParseHexColor(FormatHexColor(*value)) == *value);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size > kMaxProjectFileBytes)
        return 0;
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);

    // Paths keep their bytes (file names are bytes); every other text is UTF-8.
    const std::string text = DecodeProjectText(bytes);
    check(IsValidUtf8(Windows1252ToUtf8(bytes)));

    const ProjectValues values(text);
    std::size_t total = 0;
    for (const ProjectKey& key : ProjectKeys()) {
        const std::string& value = values.value(key.name);
        total += value.size();
        if (key.name != "bgimage" && !key.name.starts_with("menuclip"))
            check(IsValidUtf8(value));
        // A value never holds a line break: it would have split the line.
        check(value.find_first_of("\r\n") == std::string::npos);
        checkDecimal(value);
        checkHex(value);
    }
    check(total <= text.size());
    checkDecimal(bytes);
    checkHex(bytes);
    return 0;
}
