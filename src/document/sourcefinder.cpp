#include "sourcefinder.h"

#include "base/asciicase.h"
#include "base/fileio.h"

#include <deque>
#include <filesystem>
#include <system_error>

namespace fs = std::filesystem;

SourceFinder::SourceFinder(std::vector<Root> roots, int maxEntries)
    : m_roots(std::move(roots)), m_maxEntries(maxEntries)
{
}

void SourceFinder::index()
{
    m_indexed = true;
    int entries = 0;
    for (const Root& root : m_roots) {
        if (root.folder.empty())
            continue;
        // Breadth first: a file beside the project wins over one deep below it.
        std::deque<std::pair<fs::path, int>> pending{{fs::path(root.folder), 0}};
        while (!pending.empty() && entries < m_maxEntries) {
            const auto [folder, level] = pending.front();
            pending.pop_front();
            std::error_code ec;
            fs::directory_iterator it(folder, fs::directory_options::skip_permission_denied, ec);
            for (; !ec && it != fs::directory_iterator() && entries < m_maxEntries;
                 it.increment(ec)) {
                ++entries;
                const fs::directory_entry& entry = *it;
                const std::string name = entry.path().filename().string();
                std::error_code typeError;
                // Linked folders are not followed: they could lead in circles.
                if (entry.is_directory(typeError) && !entry.is_symlink(typeError)) {
                    if (level < root.depth && !name.starts_with('.'))
                        pending.emplace_back(entry.path(), level + 1);
                } else if (entry.is_regular_file(typeError)) {
                    m_byName.try_emplace(name, entry.path().string());
                    m_byLowerName.try_emplace(LowerAscii(name), entry.path().string());
                }
            }
        }
    }
}

std::string SourceFinder::find(const std::string& storedPath)
{
    const std::string name = FileNameOf(storedPath);
    if (name.empty())
        return {};
    if (!m_indexed)
        index();
    if (const auto it = m_byName.find(name); it != m_byName.end())
        return it->second;
    if (const auto it = m_byLowerName.find(LowerAscii(name)); it != m_byLowerName.end())
        return it->second;
    return {};
}
