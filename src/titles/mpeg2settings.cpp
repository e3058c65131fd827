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
    // A player starts a title with its buffer nearly empty; a title that begins as if the
    // buffer were full packs its first second with more than the disc's peak rate.
    c->rc_initial_buffer_occupancy = kVbvBits / 4;
    c->gop_size = frame.maxGop;
    // Two B-pictures between references, as discs are made: at any rate they cost little
    // time, and a GOP of 15 or 18 keeps its whole length with them.
    c->max_b_frames = 2;
    c->colorspace = system == DiscSystem::Pal ? AVCOL_SPC_BT470BG : AVCOL_SPC_SMPTE170M;
    c->color_range = AVCOL_RANGE_MPEG;
    // The encoder threads over slices; frames stay in order.
    c->thread_count = request.threads;
    c->thread_type = FF_THREAD_SLICE;
    // The finest quantiser too: a quiet scene at a high rate otherwise stops at the
    // second finest and leaves the rest of its bits unspent.
    c->qmin = 1;
    setOption(c, "lmin", FF_QP2LAMBDA);
    // The second VLC table codes intra blocks in fewer bits, for nothing.
    setOption(c, "intra_vlc", 1);
    // No trellis quantisation: it buys 0.3-0.4 dB at 3.5 Mb/s but triples the encoding
    // time, and the long discs that get such rates are the ones that cannot afford it.
}

ChapterPictures::ChapterPictures(const std::vector<double>& startSeconds, AVRational frameRate)
{
    for (const double s : startSeconds)
        if (std::isfinite(s) && s > 0 && s < 1e7) // a hostile chapter table stays in range
            m_starts.push_back(std::llround(s * av_q2d(frameRate)));
    std::sort(m_starts.begin(), m_starts.end());
}

// A chapter's picture is coded intra and the one before it as a reference: with no
// B-pictures between the two, none of the new GOP's pictures reaches back into the old
// one, so a player that jumps there shows every picture. (libavcodec closes a GOP only
// when it closes all of them, and then only after a P-picture, which cuts a 15-picture
// GOP to 13 and drops the scene-change keyframes.)
AVPictureType ChapterPictures::typeOf(std::int64_t picture)
{
    while (m_next < m_starts.size() && m_starts[m_next] < picture)
        ++m_next;
    if (m_next == m_starts.size())
        return AV_PICTURE_TYPE_NONE;
    if (m_starts[m_next] == picture)
        return AV_PICTURE_TYPE_I;
    return m_starts[m_next] == picture + 1 && picture > 0 ? AV_PICTURE_TYPE_P
                                                          : AV_PICTURE_TYPE_NONE;
}
