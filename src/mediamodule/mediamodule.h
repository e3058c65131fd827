#pragma once

#include <cstdint>
#include <exception>
#include <memory>
#include <string>
#include <vector>

struct AutoFrame;
struct BitratePlan;
struct DiscFormat;
class MoviePlayer;
struct MovieSubtitles;
struct MotionMenuRequest;
class Picture;
class SectorSource;
struct StreamFacts;
struct StreamScanRequest;
struct TitleInfo;
struct TitleJob;
class TitleProgress;
enum class DiscSystem;

// Everything that needs FFmpeg, reached through one table. FFmpeg's libraries pull in
// about 150 shared libraries on Debian, which doubles the start-up of a program that
// never touches a movie; so the tests link the table in, and the command program and the
// editor load it from libtavrel-media.so beside them the first time a movie or a stream
// is needed. The functions behave as the ones they stand for (thumbs/mediaframe.h,
// thumbs/autoframe.h, disc/menustream.h, titles/titleinfo.h, titles/encodetitles.h,
// thumbs/moviefailure.h; makeMoviePlayer: a new, closed thumbs/mediaplayer.h;
// scanDiscStream: streamscan/streamscan.h;
// readMovieSubtitles: subtitles/embeddedsubtitles.h;
// encodeMotionMenu: motion/motionmenu.h).
struct MediaFunctions {
    int version;
    bool (*takeMovieFrame)(const std::string& path, std::int32_t& frame, Picture& out,
                           std::string& error, std::string* message);
    // Throws Failure with the whole sentence for the user ("Cannot open movie x.mp3: it
    // has no video track.").
    AutoFrame (*chooseMovieFrame)(const std::string& path);
    std::vector<std::uint8_t> (*encodeMenuStream)(const Picture& still, const DiscFormat& format);
    void (*checkMenuStream)(int fd, const DiscFormat& format, int subpictureStreams,
                            std::uint64_t backgroundBytes);
    TitleInfo (*probeTitle)(const std::string& movie, DiscSystem system, int chapterMinutes);
    void (*encodeTitles)(const std::vector<TitleJob>& titles, const BitratePlan& plan,
                         DiscSystem system, int jobs, TitleProgress& progress);
    std::unique_ptr<MoviePlayer> (*makeMoviePlayer)();
    std::string (*movieFailureMessage)(const std::string& path, const std::exception& error);
    StreamFacts (*scanDiscStream)(SectorSource& source, const StreamScanRequest& request);
    MovieSubtitles (*readMovieSubtitles)(const std::string& movie);
    void (*encodeMotionMenu)(const MotionMenuRequest& request, const std::string& path);
};

// Raised whenever the table changes shape, so that a stale module is refused by name
// rather than called through the wrong pointers.
inline constexpr int kMediaFunctionsVersion = 2;

// The table. Throws Failure when the module cannot be loaded (a broken installation);
// a later call tries again.
const MediaFunctions& Media();

// The table of the functions linked into this binary (what the module hands out).
const MediaFunctions& LinkedMediaFunctions();
