#pragma once

#include "thumbs/displayorientation.h"
#include "thumbs/ffmpegptr.h"

extern "C" {
#include <libavfilter/avfilter.h>
}

#include <memory>
#include <string>

// Stands a movie's pictures upright and weaves their fields into whole pictures where the
// title cannot keep them (libavfilter's transpose, flips and bwdif), before they are
// scaled to the disc's frame. Without work to do it is not made at all.
class PictureFilter {
public:
    struct Needs {
        DisplayOrientation orientation;
        bool deinterlace = false;
        bool topFieldFirst = true;
        bool twicePerFrame = false; // one picture per field, for a title at another rate
    };

    // The filters `needs` asks for, as a graph description; empty when there are none.
    static std::string Chain(const Needs& needs);

    // `timeBase`: of the frames given to push(). Throws MediaError.
    PictureFilter(const Needs& needs, AVRational timeBase);
    // Any chain of filters that keeps one input and one output ("idet").
    PictureFilter(std::string chain, AVRational timeBase);
    ~PictureFilter();
    PictureFilter(const PictureFilter&) = delete;
    PictureFilter& operator=(const PictureFilter&) = delete;

    // The time base of the pictures pull() gives (bwdif halves it for field rate).
    AVRational outTimeBase() const;
    // Takes the frame's data; nullptr flushes the end.
    void push(AVFrame* frame);
    // The next filtered picture, or nullptr when none is ready.
    FramePtr pull();

private:
    void build(const AVFrame* first);

    std::string m_chain;
    AVRational m_timeBase;
    AVFilterGraph* m_graph = nullptr;
    AVFilterContext* m_source = nullptr;
    AVFilterContext* m_sink = nullptr;
    int m_width = 0, m_height = 0, m_format = -1; // of the pictures the graph is built for
};
