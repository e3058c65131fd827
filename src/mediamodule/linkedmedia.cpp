#include "mediamodule.h"
#include "movieplayer.h"

#include "base/failure.h"
#include "disc/menustream.h"
#include "motion/motionmenu.h"
#include "streamscan/streamscan.h"
#include "subtitles/embeddedsubtitles.h"
#include "thumbs/autoframe.h"
#include "thumbs/mediaframe.h"
#include "thumbs/mediaplayer.h"
#include "thumbs/moviefailure.h"
#include "titles/encodetitles.h"
#include "titles/titleinfo.h"

#include <new>

namespace {

// The commands show this failure as it stands, so it says in words which movie failed
// and why, never FFmpeg's code.
AutoFrame chooseMovieFrame(const std::string& path)
{
    try {
        return ChooseMovieFrame(path);
    } catch (const std::bad_alloc&) {
        throw;
    } catch (const std::exception& e) {
        throw Failure(MovieFailureMessage(path, e));
    }
}

class LinkedPlayer : public MoviePlayer {
public:
    void open(const std::string& path) override { m_player.open(path); }
    bool isOpen() const override { return m_player.isOpen(); }
    int videoWidth() const override { return m_player.videoWidth(); }
    int videoHeight() const override { return m_player.videoHeight(); }
    std::int64_t frameCount() const override { return m_player.frameCount(); }
    std::int64_t duration() const override { return m_player.duration(); }
    void pause() override { m_player.pause(); }
    void seek(std::int64_t time) override { m_player.seek(time); }
    bool takeFrame(Picture& out, std::int64_t* frameNumber, std::int64_t* time) const override
    {
        return m_player.takeFrame(out, frameNumber, time);
    }
    std::uint64_t frameSerial() const override { return m_player.frameSerial(); }
    bool waitForFrame(std::chrono::milliseconds timeout) override
    {
        return m_player.waitForFrame(timeout);
    }
    void setFrameReadyCallback(std::function<void()> callback) override
    {
        m_player.setFrameReadyCallback(std::move(callback));
    }

private:
    MediaPlayer m_player;
};

std::unique_ptr<MoviePlayer> makeMoviePlayer()
{
    return std::make_unique<LinkedPlayer>();
}

} // namespace

const MediaFunctions& LinkedMediaFunctions()
{
    static const MediaFunctions table{
        kMediaFunctionsVersion, TakeMovieFrame, chooseMovieFrame,   EncodeMenuStream,
        CheckMenuStream,        ProbeTitle,     EncodeTitles,       makeMoviePlayer,
        MovieFailureMessage,    ScanDiscStream, ReadMovieSubtitles, EncodeMotionMenu};
    return table;
}
