#pragma once

#include <string>
#include <vector>

// A family name as the user knows it: Qt's foundry suffix (" [urw]", " [UKWN]") removed.
std::string PlainFamilyName(const std::string& family);

// The faces a menu can name, sorted without regard to case, each once: every installed
// family by its plain name, and the well-known faces that are not installed but that
// fontconfig maps to a metric-compatible substitute ("Arial" to Liberation Sans), under
// their own names, so that menus made elsewhere keep their font and its measures.
// Needs a QGuiApplication.
std::vector<std::string> InstalledFontFamilies();
