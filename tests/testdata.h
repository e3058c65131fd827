#pragma once

// The files under tests/data/. A missing folder or file is a clear test failure that
// names it, not an exception from a directory iterator.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

inline std::filesystem::path TestDataPath(const std::string& relative)
{
    return std::filesystem::path(TAVREL_TEST_DATA) / relative;
}

// The regular files directly in `folder`, sorted by name (README.md aside).
inline std::vector<std::filesystem::path> FilesIn(const std::filesystem::path& folder)
{
    std::vector<std::filesystem::path> files;
    std::error_code error;
    if (!std::filesystem::is_directory(folder, error)) {
        ADD_FAILURE() << "Test data folder " << folder.string()
                      << " is missing: the tests need the whole repository.";
        return files;
    }
    for (const auto& entry : std::filesystem::directory_iterator(folder, error))
        if (entry.is_regular_file() && entry.path().filename().string() != "README.md")
            files.push_back(entry.path());
    if (error)
        ADD_FAILURE() << "Cannot list " << folder.string() << ": " << error.message();
    std::sort(files.begin(), files.end());
    return files;
}

inline std::vector<std::filesystem::path> TestDataFiles(const std::string& relative)
{
    return FilesIn(TestDataPath(relative));
}

inline std::vector<std::uint8_t> ReadTestFile(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        ADD_FAILURE() << "Cannot read test file " << path.string();
        return {};
    }
    return std::vector<std::uint8_t>((std::istreambuf_iterator<char>(in)),
                                     std::istreambuf_iterator<char>());
}

// Crashers whose name starts with "partial-" are damaged in a way a reader may still
// show: they must decode. Every other crasher must be refused.
inline bool CrasherMayDecode(const std::filesystem::path& path)
{
    return path.filename().string().starts_with("partial-");
}
