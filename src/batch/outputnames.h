#pragma once

#include <string>
#include <vector>

// A name from a table made fit to be a file name on any disc-authoring system: path
// separators, characters Windows refuses and control characters become "_", leading
// and trailing blanks and dots go, a name Windows keeps for a device ("CON", "nul.png",
// "Com1") gets "_" after its stem, the length stays within `maxBytes` (cut at a UTF-8
// character boundary). A name with nothing left becomes `fallback`.
std::string SafeFileName(const std::string& name, const std::string& fallback,
                         std::size_t maxBytes = 120);

// Makes `names` unique without regard to ASCII case (file systems on discs and sticks
// ignore it): the first keeps its name, later ones get "-2", "-3" ... appended, never
// clashing with a name given elsewhere in the list.
void MakeNamesUnique(std::vector<std::string>& names);
