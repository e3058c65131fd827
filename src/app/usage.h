#pragma once

#include <span>
#include <string>
#include <string_view>

// Every command's usage lives in one table: --help prints it whole, and a command is
// added by adding its row.
struct CommandUsage {
    std::string_view synopsis; // "tavrel --check [--size N] ..." (no line break)
    std::string_view details;  // its options, each line indented, ending in a line break
};

std::span<const CommandUsage> CommandUsageTable();

// The text --help prints.
std::string UsageText();
