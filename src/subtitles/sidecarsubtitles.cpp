#include "sidecarsubtitles.h"

#include "languagecode.h"
#include "srtreader.h"

#include "base/failure.h"

#include <algorithm>
#include <cctype>
#include <filesystem>

namespace fs = std::filesystem;

namespace {

// A folder of downloads may hold thousands of files; the ones that matter sort together.
constexpr int kMaxFolderEntries = 100'000;

bool endsWithSrt(const std::string& name)
{
    if (name.size() < 4)
        return false;
    std::string ext = name.substr(name.size() - 4);
    std::transform(ext.begin(), ext.end(), ext.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return ext == ".srt";
}

// The files whose name is the movie's stem, then an optional ".tag", then ".srt".
std::vector<fs::path> sidecarFiles(const fs::path& movie)
{
    const std::string stem = movie.stem().string() + ".";
    std::vector<fs::path> found;
    std::error_code ec;
    fs::directory_iterator it(movie.parent_path().empty() ? "." : movie.parent_path(), ec);
    int seen = 0;
    for (; !ec && it != fs::directory_iterator() && ++seen <= kMaxFolderEntries; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (!name.starts_with(stem) || !endsWithSrt(name) || name.size() < stem.size() + 3)
            continue;
        const std::string tag = name.substr(stem.size(), name.size() - stem.size() - 4);
        if (tag.find('.') != std::string::npos)
            continue; // clip.part2.en.srt belongs to clip.part2
        if (it->is_regular_file(ec))
            found.push_back(it->path());
    }
    std::sort(found.begin(), found.end());
    return found;
}

std::string languageTag(const fs::path& file, const fs::path& movie)
{
    const std::string name = file.filename().string();
    const std::size_t from = movie.stem().string().size() + 1;
    return name.size() > from + 4 ? name.substr(from, name.size() - from - 4) : std::string();
}

} // namespace

MovieSubtitles ReadSidecarSubtitles(const std::string& movie)
{
    MovieSubtitles out;
    const fs::path moviePath(movie);
    for (const fs::path& file : sidecarFiles(moviePath)) {
        const std::string name = file.filename().string();
        if (out.tracks.size() >= static_cast<std::size_t>(kMaxSubtitleTracks)) {
            out.warnings.push_back("the subtitles " + name + " are left out: a disc holds " +
                                   std::to_string(kMaxSubtitleTracks) + " subtitle streams");
            continue;
        }
        SubtitleTrack track;
        track.source = name;
        track.language = DiscLanguageCode(languageTag(file, moviePath));
        track.markup = CueMarkup::Srt;
        try {
            std::size_t skipped = 0;
            track.cues = ReadSrtFile(file.string(), skipped);
            if (skipped)
                out.warnings.push_back(name + ": " + std::to_string(skipped) +
                                       " cues are left out (their times are wrong or there "
                                       "are too many)");
        } catch (const Failure& e) {
            out.warnings.push_back(std::string(e.what()) + ", so they are left out");
            continue;
        }
        out.tracks.push_back(std::move(track));
    }
    return out;
}
