#include "childrun.h"
#include "pngjudge.h"
#include "testmovies.h"

#include <dvdnav/dvdnav.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <regex>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

// The English cues of the movie's own stream and the German ones beside it.
constexpr const char* kEnglish = "1\n00:00:00,500 --> 00:00:01,200\nHello <i>there</i>\n\n"
                                 "2\n00:00:01,600 --> 00:00:02,400\nA second line\nwith two rows\n";
// CR LF, a byte order mark and Latin-1 text, as files made on other systems come.
constexpr const char* kGerman = "\xEF\xBB\xBF"
                                "1\r\n00:00:00,800 --> 00:00:02,000\r\nGuten Tag\r\n\r\n"
                                "2\r\n00:00:02,200 --> 00:00:02,800\r\nZweite Zeile\r\n";

void writeFile(const fs::path& path, const std::string& bytes)
{
    std::ofstream(path, std::ios::binary) << bytes;
}

// What a player offers in title 1: each subpicture stream's language, and whether the
// player shows one before the viewer asks.
struct Offered {
    std::vector<std::string> languages;
    bool shownByDefault = true;
};

Offered playerOffers(const fs::path& disc)
{
    Offered out;
    dvdnav_t* nav = nullptr;
    if (dvdnav_open(&nav, disc.c_str()) != DVDNAV_STATUS_OK) {
        ADD_FAILURE() << "libdvdnav cannot open " << disc;
        return out;
    }
    EXPECT_EQ(dvdnav_title_play(nav, 1), DVDNAV_STATUS_OK);
    std::uint8_t block[DVD_VIDEO_LB_LEN];
    for (int steps = 0; steps < 200; ++steps) {
        int32_t event = 0, length = 0;
        if (dvdnav_get_next_block(nav, block, &event, &length) != DVDNAV_STATUS_OK)
            break;
        if (event == DVDNAV_NAV_PACKET && dvdnav_is_domain_vts(nav))
            break;
        if (event == DVDNAV_STILL_FRAME)
            dvdnav_still_skip(nav);
        if (event == DVDNAV_WAIT)
            dvdnav_wait_skip(nav);
    }
    for (std::uint8_t s = 0; s < 32; ++s) {
        if (dvdnav_get_spu_logical_stream(nav, s) < 0)
            break;
        const std::uint16_t lang = dvdnav_spu_stream_to_lang(nav, s); // 0xFFFF: none stated
        out.languages.push_back(lang != 0xFFFF ? std::string{char(lang >> 8), char(lang & 0xFF)}
                                               : "");
    }
    // The top bit says the stream is chosen but hidden until the Subtitle button.
    out.shownByDefault = (dvdnav_get_active_spu_stream(nav) & 0x80) == 0;
    dvdnav_close(nav);
    return out;
}

struct Unmuxed {
    double start;
    double end;
    fs::path image;
    int x;
    int y;
};

// spuunmux's reading of subpicture stream `stream` of the title, its files named `base`*.
std::vector<Unmuxed> unmux(const fs::path& vob, int stream, const fs::path& base)
{
    EXPECT_EQ(RunShell("spuunmux -s " + std::to_string(stream) + " -o " +
                       ShellQuoted(base.string()) + " " + ShellQuoted(vob.string()) +
                       " 2>/dev/null"),
              0);
    const std::string xml = ReadWholeFile(base.string() + ".xml");
    static const std::regex spu(
        R"re(image="([^"]+)" start="(\d+):(\d+):([\d.]+)" )re"
        R"re(end="(\d+):(\d+):([\d.]+)" xoffset="(\d+)" yoffset="(\d+)")re");
    std::vector<Unmuxed> out;
    for (auto it = std::sregex_iterator(xml.begin(), xml.end(), spu); it != std::sregex_iterator();
         ++it) {
        const std::smatch& m = *it;
        auto seconds = [&](int i) {
            return std::stod(m[i]) * 3600 + std::stod(m[i + 1]) * 60 + std::stod(m[i + 2]);
        };
        out.push_back({seconds(2), seconds(5), m[1].str(), std::stoi(m[8]), std::stoi(m[9])});
    }
    return out;
}

// Whether the picture holds letters: white and dark pixels that are not transparent.
bool showsLetters(const fs::path& png)
{
    JudgedPng judged;
    if (!JudgePng(png.string(), judged))
        return false;
    int opaque = 0;
    for (std::size_t i = 3; i < judged.rgba.size(); i += 4)
        opaque += judged.rgba[i] > 0;
    return judged.width > 20 && judged.height > 10 && opaque > 100;
}

class SubtitlesTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        dir = FreshTestDir("subtitles");
        writeFile(dir / "en.srt", kEnglish);
        // A phone-style MP4 with a mov_text stream marked English.
        ASSERT_EQ(RunShell("cd " + ShellQuoted(dir.string()) + " && ffmpeg -v error -i " +
                           ShellQuoted(TestMoviePath("title43.mp4")) +
                           " -i en.srt -map 0 -map 1 -c copy -c:s mov_text "
                           "-metadata:s:s:0 language=eng clip.mp4"),
                  0);
    }
    void TearDown() override { fs::remove_all(dir); }

    Outcome makeDisc(const std::vector<std::string>& extra = {}, const char* movie = "clip.mp4")
    {
        std::vector<std::string> args{"--from-movies", (dir / movie).string(), "--size", "3",
                                      "--dvd",         (dir / "disc").string()};
        args.insert(args.end(), extra.begin(), extra.end());
        return RunTavrel(dir, args);
    }

    fs::path vob() const { return dir / "disc" / "VIDEO_TS" / "VTS_01_1.VOB"; }

    fs::path dir;
};

TEST_F(SubtitlesTest, EmbeddedAndSideFileSubtitlesBecomeStreamsThePlayerOffers)
{
    writeFile(dir / "clip.de.srt", kGerman);
    const Outcome run = makeDisc();
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ((run.out + run.err).find("title 1:"), std::string::npos) << run.err; // no warning
    const Offered offered = playerOffers(dir / "disc");
    EXPECT_EQ(offered.languages, (std::vector<std::string>{"en", "de"}));
    EXPECT_FALSE(offered.shownByDefault);

    struct Expected {
        int stream;
        std::vector<std::pair<double, double>> times;
    };
    const Expected streams[] = {{0, {{0.5, 1.2}, {1.6, 2.4}}}, {1, {{0.8, 2.0}, {2.2, 2.8}}}};
    for (const Expected& e : streams) {
        SCOPED_TRACE("stream " + std::to_string(e.stream));
        const std::vector<Unmuxed> cues = unmux(vob(), e.stream, dir / "sub");
        ASSERT_EQ(cues.size(), e.times.size());
        for (std::size_t i = 0; i < cues.size(); ++i) {
            EXPECT_NEAR(cues[i].start, e.times[i].first, 0.05);
            EXPECT_NEAR(cues[i].end, e.times[i].second, 0.05);
            EXPECT_TRUE(showsLetters(cues[i].image)) << cues[i].image;
        }
    }

    // Asked for none, the title holds none.
    fs::remove_all(dir / "disc");
    const Outcome none = makeDisc({"--subtitles", "none"});
    ASSERT_EQ(none.status, 0) << none.err;
    EXPECT_TRUE(playerOffers(dir / "disc").languages.empty());
}

TEST_F(SubtitlesTest, DvdSubtitlesAreCarriedOverAndOtherPicturesNamed)
{
    ASSERT_EQ(makeDisc().status, 0);
    const std::vector<Unmuxed> before = unmux(vob(), 0, dir / "before");
    // The disc's own DVD subtitles in a Matroska file, and the same turned into DVB ones.
    ASSERT_EQ(RunShell("cd " + ShellQuoted(dir.string()) + " && ffmpeg -v error -i " +
                       ShellQuoted(vob().string()) +
                       " -map 0:v -map 0:s:0 -map 0:s:0 -c copy -c:s:1 dvbsub pictures.mkv"),
              0);
    fs::remove_all(dir / "disc");
    const Outcome run = makeDisc({}, "pictures.mkv");
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.err.find("title 1: its DVB subtitles are not carried over"), std::string::npos)
        << run.err;
    const std::vector<Unmuxed> after = unmux(vob(), 0, dir / "after");
    ASSERT_EQ(after.size(), before.size());
    for (std::size_t i = 0; i < after.size(); ++i) {
        EXPECT_NEAR(after[i].start, before[i].start, 0.05);
        EXPECT_NEAR(after[i].end, before[i].end, 0.05);
        EXPECT_EQ(std::make_pair(after[i].x, after[i].y), std::make_pair(before[i].x, before[i].y));
        EXPECT_EQ(ReadWholeFile(after[i].image), ReadWholeFile(before[i].image));
    }
    EXPECT_EQ(playerOffers(dir / "disc").languages, std::vector<std::string>{""});
}

TEST_F(SubtitlesTest, HostileSideFilesAreNamedAndLeftOutWhileTheDiscIsMade)
{
    struct Hostile {
        const char* file;
        std::string bytes;
        const char* reason; // in the warning; empty: the file is usable
    };
    std::string huge(5 << 20, 'x');
    std::string binary = "1\n00:00:01,000 --> 00:00:02,000\n";
    for (int i = 0; i < 4096; ++i)
        binary += static_cast<char>(i * 131 % 256);
    const Hostile files[] = {
        {"clip.big.srt", huge, "MB"},
        {"clip.bin.srt", binary, "binary"},
        {"clip.cut.srt", "1\n00:00:00,500 --> 00:0", "no subtitles"},
        {"clip.ten.srt", std::string(100'000, '\n') + "--> 00:00:01,000\n", "no subtitles"},
        // No blank line after its last cue: still a subtitle file.
        {"clip.fr.srt", "1\n00:00:00,500 --> 00:00:01,500\nSans fin", ""},
    };
    for (const Hostile& h : files)
        writeFile(dir / h.file, h.bytes);
    const Outcome run = makeDisc();
    ASSERT_EQ(run.status, 0) << run.err;
    const std::string said = run.out + run.err;
    for (const Hostile& h : files) {
        const std::size_t at = said.find(h.file);
        EXPECT_EQ(at != std::string::npos, *h.reason != 0) << h.file << "\n" << said;
        if (*h.reason && at != std::string::npos) {
            const std::string line = said.substr(at, said.find('\n', at) - at);
            EXPECT_NE(line.find(h.reason), std::string::npos) << line;
        }
    }
    EXPECT_EQ(playerOffers(dir / "disc").languages, (std::vector<std::string>{"en", "fr"}));
}

} // namespace
