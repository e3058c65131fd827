#pragma once

#include "base/picture.h"
#include "document/menudocument.h"

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <utility>

// Decoded picture files shared by the rows of a batch, which name the same background
// and pictures again and again. Safe to use from several threads. Pictures beyond the
// byte budget are decoded every time instead of kept.
class PictureFileCache {
public:
    explicit PictureFileCache(std::uint64_t budgetBytes = 768ULL * 1024 * 1024);

    // As MenuDocument::loadPicture without a loader of its own: false (out empty,
    // `reason` saying why) for a file that cannot be read.
    bool load(const std::string& path, PictureUse use, Picture& out, std::string& reason);

    // Forgets every kept picture (those in use stay with their users); returns the bytes
    // the cache held.
    std::uint64_t clear();

private:
    std::mutex m_mutex;
    struct Entry {
        std::shared_ptr<const Picture> picture; // null: unreadable
        std::string reason;
    };
    std::map<std::pair<std::string, PictureUse>, Entry> m_pictures;
    std::uint64_t m_bytes = 0;
    std::uint64_t m_budget;
};
