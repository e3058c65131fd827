#include "mpeg2settings.h"

#include "thumbs/mediaerror.h"

extern "C" {
#include <libavutil/opt.h>
}

#include <algorithm>
#include <cmath>

namespace {

// The video buffer a DVD player has: 224 KiB.
constexpr int kVbvBits = 1'835'008;
// Below this the bits are scarce enough that trellis quantisation pays for its time
// (about three times the encoder's); above it, it buys a few tenths of a decibel at
// four to five times.
constexpr std::int64_t kTrellisRate = 5'000'000;

void setOption(AVCodecContext* c, const char* name, std::int64_t value)
{
    const int r = av_opt_set_int(c, name, value, AV_OPT_SEARCH_CHILDREN);
    if (r < 0)
        throw MediaError(r);
}

} // namespace

void SetUpDiscMpeg2(AVCodecContext* c, DiscSystem system, bool widescreen,
                    const Mpeg2Request& request)
{
    const DiscFrame frame = DiscFrameOf(system);
    c->width = frame.width;
    c->height = frame.height;
    c->pix_fmt = AV_PIX_FMT_YUV420P;
    c->framerate = frame.rate;
    c->time_base = av_inv_q(frame.rate);
    c->sample_aspect_ratio = DiscSampleAspect(system, widescreen);
    c->bit_rate = request.bitRate;
    c->rc_max_rate = request.maxBitRate;
    c->rc_min_rate = 0;
    c->rc_buffer_size = kVbvBits;
    c->gop_size = frame.maxGop;
    // Two B-pictures between references, as discs are made: at any rate they cost little
    // time, and a GOP of 15 or 18 keeps its whole length with them.
    c->max_b_frames = 2;
    // Closed GOPs: a chapter, or a jump by time, can start at any GOP without the
    // B-pictures that open it reaching back into the one before.
    // libavcodec cannot close a GOP it opens at a scene change, so it opens them only at
    // the GOP length and at chapters; a cut codes its blocks as intra on its own.
    c->flags |= AV_CODEC_FLAG_CLOSED_GOP;
    setOption(c, "sc_threshold", 1'000'000'000);
    c->colorspace = system == DiscSystem::Pal ? AVCOL_SPC_BT470BG : AVCOL_SPC_SMPTE170M;
    c->color_range = AVCOL_RANGE_MPEG;
    // The encoder threads over slices; frames stay in order.
    c->thread_count = request.threads;
    c->thread_type = FF_THREAD_SLICE;
    // The second VLC table codes intra blocks in fewer bits, for nothing.
    setOption(c, "intra_vlc", 1);
    if (request.bitRate < kTrellisRate)
        setOption(c, "trellis", 1);
}

ChapterPictures::ChapterPictures(const std::vector<double>& startSeconds, AVRational frameRate)
{
    for (const double s : startSeconds)
        if (std::isfinite(s) && s > 0 && s < 1e7) // a hostile chapter table stays in range
            m_starts.push_back(std::llround(s * av_q2d(frameRate)));
    std::sort(m_starts.begin(), m_starts.end());
}

AVPictureType ChapterPictures::typeOf(std::int64_t picture)
{
    while (m_next < m_starts.size() && m_starts[m_next] < picture)
        ++m_next;
    return m_next < m_starts.size() && m_starts[m_next] == picture ? AV_PICTURE_TYPE_I
                                                                   : AV_PICTURE_TYPE_NONE;
}
