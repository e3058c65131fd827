#include "picturefilter.h"

#include "thumbs/mediaerror.h"

extern "C" {
#include <libavfilter/buffersink.h>
#include <libavfilter/buffersrc.h>
#include <libavutil/opt.h>
}

namespace {

void append(std::string& chain, const char* filter)
{
    if (!chain.empty())
        chain += ',';
    chain += filter;
}

void appendTurn(std::string& chain, const DisplayOrientation& o)
{
    if (o.flipHorizontal)
        append(chain, "hflip");
    if (o.clockwise == 90)
        append(chain, "transpose=clock");
    else if (o.clockwise == 180)
        append(chain, "hflip,vflip");
    else if (o.clockwise == 270)
        append(chain, "transpose=cclock");
}

} // namespace

std::string PictureFilter::Chain(const Needs& needs)
{
    std::string chain;
    // Fields are woven first: a turned picture has no fields left to tell apart.
    if (needs.deinterlace)
        chain = std::string("bwdif=mode=") + (needs.twicePerFrame ? "send_field" : "send_frame") +
                ":parity=" + (needs.topFieldFirst ? "tff" : "bff") + ":deint=all";
    appendTurn(chain, needs.orientation);
    return chain;
}

PictureFilter::PictureFilter(const Needs& needs, AVRational timeBase)
    : PictureFilter(Chain(needs), timeBase)
{
}

PictureFilter::PictureFilter(std::string chain, AVRational timeBase)
    : m_chain(std::move(chain)), m_timeBase(timeBase)
{
}

PictureFilter::~PictureFilter()
{
    avfilter_graph_free(&m_graph);
}

void PictureFilter::build(const AVFrame* first)
{
    avfilter_graph_free(&m_graph);
    m_graph = avfilter_graph_alloc();
    if (!m_graph)
        throw MediaError(AVERROR(ENOMEM));
    m_graph->nb_threads = 1; // the decoder and the encoder have the cores
    const AVRational sar =
        first->sample_aspect_ratio.num > 0 ? first->sample_aspect_ratio : AVRational{1, 1};
    const std::string args =
        "video_size=" + std::to_string(first->width) + "x" + std::to_string(first->height) +
        ":pix_fmt=" + std::to_string(first->format) +
        ":time_base=" + std::to_string(m_timeBase.num) + "/" + std::to_string(m_timeBase.den) +
        ":pixel_aspect=" + std::to_string(sar.num) + "/" + std::to_string(sar.den);
    MediaCheck(avfilter_graph_create_filter(&m_source, avfilter_get_by_name("buffer"), "in",
                                            args.c_str(), nullptr, m_graph));
    MediaCheck(avfilter_graph_create_filter(&m_sink, avfilter_get_by_name("buffersink"), "out",
                                            nullptr, nullptr, m_graph));
    AVFilterInOut* outputs = avfilter_inout_alloc();
    AVFilterInOut* inputs = avfilter_inout_alloc();
    if (!outputs || !inputs) {
        avfilter_inout_free(&outputs);
        avfilter_inout_free(&inputs);
        throw MediaError(AVERROR(ENOMEM));
    }
    outputs->name = av_strdup("in");
    outputs->filter_ctx = m_source;
    inputs->name = av_strdup("out");
    inputs->filter_ctx = m_sink;
    int r = avfilter_graph_parse_ptr(m_graph, m_chain.c_str(), &inputs, &outputs, nullptr);
    avfilter_inout_free(&outputs);
    avfilter_inout_free(&inputs);
    MediaCheck(r);
    MediaCheck(avfilter_graph_config(m_graph, nullptr));
    m_width = first->width;
    m_height = first->height;
    m_format = first->format;
}

AVRational PictureFilter::outTimeBase() const
{
    if (m_sink)
        return av_buffersink_get_time_base(m_sink);
    // bwdif sending fields halves the time base.
    if (m_chain.find("send_field") != std::string::npos)
        return av_mul_q(m_timeBase, AVRational{1, 2});
    return m_timeBase;
}

void PictureFilter::push(AVFrame* frame)
{
    if (!frame) {
        if (m_source)
            MediaCheck(av_buffersrc_add_frame(m_source, nullptr));
        return;
    }
    // A movie may change its picture size midway: the graph is made anew for it.
    if (!m_graph || frame->width != m_width || frame->height != m_height ||
        frame->format != m_format)
        build(frame);
    MediaCheck(av_buffersrc_add_frame(m_source, frame));
}

FramePtr PictureFilter::pull()
{
    if (!m_sink)
        return nullptr;
    FramePtr out(av_frame_alloc());
    if (!out)
        throw MediaError(AVERROR(ENOMEM));
    const int r = av_buffersink_get_frame(m_sink, out.get());
    if (r == AVERROR(EAGAIN) || r == AVERROR_EOF)
        return nullptr;
    MediaCheck(r);
    return out;
}
