#pragma once

#include "base/picture.h"
#include "document/menudocument.h"

#include <string>

// Half-open rectangle [left, right) x [top, bottom).
struct Rect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
};

struct TextSize {
    int width = 0;
    int height = 0;
};

// The drawing operations the composer needs of its target.
class Canvas {
public:
    virtual ~Canvas() = default;

    virtual int width() const = 0;
    virtual int height() const = 0;

    virtual void fillRect(const Rect& rect, Color color) = 0;
    // One-pixel outline along the inside of the rectangle.
    virtual void frameRect(const Rect& rect, Color color) = 0;
    // Nearest-neighbour stretch of the whole picture onto the rectangle.
    virtual void stretchPicture(const Picture& picture, const Rect& dest) = 0;
    // 1:1 copy with the picture's top-left at (x, y).
    virtual void copyPicture(const Picture& picture, int x, int y) = 0;
    // Face (UTF-8; empty keeps the face last selected), full cell height in pixels, weight.
    virtual void selectFont(const std::string& face, int cellHeight, bool bold) = 0;
    // Advance width and cell height of a UTF-8 string in the selected font.
    virtual TextSize measureText(const std::string& text) = 0;
    // Transparent text with its cell's top-left corner at (x, y).
    virtual void drawText(int x, int y, const std::string& text, Color color) = 0;
    // The pixels drawn so far, for looking at what lies behind a text; null when the
    // canvas cannot show them. Valid until the next drawing call.
    virtual const Picture* drawnPixels() { return nullptr; }
};
