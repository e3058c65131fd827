#pragma once

#include "subtitletrack.h"

#include "codecs/pngencoder.h"

#include <cstdint>
#include <string>
#include <vector>

class Picture;

// The frame of a title that its subpictures lie on.
struct SubpictureFrame {
    int width = 720;
    int height = 576;
    bool wide = false; // 16:9 anamorphic: drawn squeezed so that it shows unstretched
};

// One subpicture as spumux takes it: palette indices placed on the frame, with the
// palette (index 0 transparent, at most four entries).
struct SubpictureImage {
    int x = 0;
    int y = 0;
    int width = 0; // 0: the cue shows nothing
    int height = 0;
    std::vector<std::uint8_t> index;
    std::vector<PaletteEntry> palette;
};

// Draws cue text the way a DVD shows it: white letters with a black outline and a grey
// edge between, centred at the foot of the title-safe area, long lines wrapped and the
// size reduced where the text would not fit otherwise. Text drawing needs a
// QGuiApplication.
class SubtitlePainter {
public:
    explicit SubtitlePainter(const SubpictureFrame& frame);

    SubpictureImage paint(const std::vector<std::string>& lines);

private:
    // Draws the lines white on black, wrapped to `maxWidth`, the last line's cell ending a
    // margin above the foot; returns the top of the first line.
    int drawLines(Picture& drawing, const std::vector<std::string>& lines, int baseCell,
                  int maxWidth) const;

    // The drawing's pixels that make one pixel of the frame, weighted by overlap (x 256).
    struct Tap {
        int first = 0;
        int count = 0;
        int weight[3] = {};
    };

    SubpictureFrame m_frame;
    int m_drawWidth; // the frame's width in square pixels, as the text is drawn
    std::vector<Tap> m_taps;
};

// A DVD subpicture of a movie placed on `frame`: copied as it is where the movie's frame
// has the disc's size, else scaled by nearest neighbour to the same place.
SubpictureImage PlaceSubtitleBitmap(const SubtitleBitmap& bitmap, int sourceWidth, int sourceHeight,
                                    const SubpictureFrame& frame);
