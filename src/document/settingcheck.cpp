#include "settingcheck.h"

#include "base/asciicase.h"
#include "menudocument.h"
#include "projectparse.h"

namespace {

bool isPathKey(const std::string& key)
{
    const std::string lower = LowerAscii(key);
    return lower == "bgimage" || lower.starts_with("menuclip") || lower.starts_with("menutitle");
}

const ProjectKey* settableKey(const std::string& key)
{
    const int index = FindProjectKey(key);
    if (index < 0)
        return nullptr;
    const ProjectKey& found = ProjectKeys()[static_cast<std::size_t>(index)];
    return found.kind == ProjectValueKind::Fixed ? nullptr : &found;
}

} // namespace

bool IsSettableKey(const std::string& key)
{
    return settableKey(key) != nullptr;
}

bool IsAutoFrame(const std::string& key, const std::string& value)
{
    return LowerAscii(key).starts_with("menuframe") && IsSettableKey(key) &&
           LowerAscii(value) == "auto";
}

std::string SettingProblem(const std::string& key, const std::string& value)
{
    const ProjectKey* found = settableKey(key);
    if (!found)
        return "unknown key '" + key + "'";
    switch (found->kind) {
    case ProjectValueKind::Decimal:
    case ProjectValueKind::SizeFactor:
        if (!ParseDecimal(value) && !IsAutoFrame(key, value))
            return key + ": " + InvalidDecimalMessage(value);
        break;
    case ProjectValueKind::HexColor:
        if (!ParseHexColor(value))
            return key + ": " + InvalidHexMessage(value);
        break;
    case ProjectValueKind::Boolean:
        if (value != "true" && value != "false")
            return key + ": '" + value + "' is not true or false";
        break;
    case ProjectValueKind::Choice: {
        MenuAspect aspect;
        ButtonStyle style;
        if (EqualsNoCase(key, "aspect") && !ParseMenuAspect(value, aspect))
            return key + ": '" + value + "' is not pixels, 4:3 or 16:9";
        if (EqualsNoCase(key, "buttonstyle") && !ParseButtonStyle(value, style))
            return key + ": '" + value + "' is not underline, frame, text or none";
        break;
    }
    case ProjectValueKind::Text:
        if (isPathKey(key))
            if (std::string problem = PathProblem(value); !problem.empty())
                return key + ": " + problem;
        break;
    case ProjectValueKind::Fixed:
        break;
    }
    return {};
}

std::string PathProblem(const std::string& path)
{
    if (path.find_first_of("\r\n") == std::string::npos)
        return {};
    return "'" + path + "' holds a line break, which a project file cannot keep";
}

std::string SettingText(const std::string& key, std::string value)
{
    if (isPathKey(key) || IsValidUtf8(value))
        return value;
    return Windows1252ToUtf8(value);
}
