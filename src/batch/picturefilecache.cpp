#include "picturefilecache.h"

#include "base/memorybudget.h"
#include "imageio/imageunit.h"

#include <optional>

PictureFileCache::PictureFileCache(std::uint64_t budgetBytes) : m_budget(budgetBytes) {}

bool PictureFileCache::load(const std::string& path, PictureUse use, Picture& out,
                            std::string& reason)
{
    const auto key = std::make_pair(path, use);
    std::optional<Entry> kept;
    {
        std::lock_guard lock(m_mutex);
        if (const auto it = m_pictures.find(key); it != m_pictures.end())
            kept = it->second;
    }
    if (kept) {
        // Copied outside the lock: the pixels are shared and never change.
        if (!kept->picture) {
            out.clear();
            reason = kept->reason;
            return false;
        }
        out = *kept->picture;
        return true;
    }
    // Decoded outside the lock, so that rows wanting different files do not wait on
    // each other; two rows asking for the same new file may both decode it.
    auto picture = std::make_shared<Picture>();
    std::string why;
    const std::uint64_t refusals = MemoryBudget::threadRefusals();
    const bool ok = use == PictureUse::Thumbnail ? LoadThumbnailPicture(path, *picture, why)
                                                 : LoadPictureFile(path, *picture, why);
    const std::uint64_t bytes = ok ? static_cast<std::uint64_t>(picture->stride()) *
                                         static_cast<std::uint64_t>(picture->height())
                                   : 0;
    bool stored = false;
    {
        std::lock_guard lock(m_mutex);
        // A file refused for want of memory may load later: only its own faults are kept.
        const bool kept = ok || MemoryBudget::threadRefusals() == refusals;
        if (kept && m_bytes + bytes <= m_budget && !m_pictures.contains(key)) {
            m_pictures.emplace(key,
                               Entry{ok ? std::shared_ptr<const Picture>(picture) : nullptr, why});
            m_bytes += bytes;
            stored = true;
        }
    }
    if (!ok) {
        out.clear();
        reason = why;
        return false;
    }
    if (stored)
        out = *picture;
    else
        out = std::move(*picture);
    return true;
}

std::uint64_t PictureFileCache::clear()
{
    std::lock_guard lock(m_mutex);
    const std::uint64_t bytes = m_bytes;
    m_pictures.clear();
    m_bytes = 0;
    return bytes;
}
