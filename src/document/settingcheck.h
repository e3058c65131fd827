#pragma once

#include <string>

// Settings given outside a project file (the command line's --set, a table's columns):
// the same keys and value syntaxes as the file, checked strictly so that a typing error
// is reported instead of silently read as false or 10.

// Whether `key` names a value that may be set (any case; not id or version).
bool IsSettableKey(const std::string& key);

// What is wrong with `value` for `key` ("unknown key 'x'", "thumbs: 'yes' is not true or
// false", ...), or "" when it is fine. `menuframeN=auto` is fine: see IsAutoFrame.
std::string SettingProblem(const std::string& key, const std::string& value);

// Why `path` cannot be a source of a project ("" when it can): the project file keeps a
// value per line, so a path holding a line break would be stored as a different one.
std::string PathProblem(const std::string& path);

// Whether the setting asks for an automatically chosen movie frame (menuframeN=auto).
bool IsAutoFrame(const std::string& key, const std::string& value);

// A value as the document holds it: texts are UTF-8, and one stray byte would make a
// saved project read back as Windows-1252, so text that is not UTF-8 is taken as
// Windows-1252. Paths (bgimage, menuclipN) stay as they are: they name files byte for byte.
std::string SettingText(const std::string& key, std::string value);
