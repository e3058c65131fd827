#pragma once

#include "canvas.h"

#include <QImage>

#include <memory>
#include <string>

class QPainter;
struct CanvasFont;

// A canvas that draws straight into a Picture's memory. Fills, outlines and picture
// copies write the bytes themselves; text goes through QPainter on a QImage that wraps
// the same buffer. Everything is clipped to the picture. Text needs a QGuiApplication
// (text calls throw std::runtime_error without one). The picture must outlive the
// canvas; its pixels are complete once the canvas is destroyed.
class PictureCanvas : public Canvas {
public:
    explicit PictureCanvas(Picture& target);
    ~PictureCanvas() override;

    PictureCanvas(const PictureCanvas&) = delete;
    PictureCanvas& operator=(const PictureCanvas&) = delete;

    int width() const override;
    int height() const override;

    void fillRect(const Rect& rect, Color color) override;
    void frameRect(const Rect& rect, Color color) override;
    void stretchPicture(const Picture& picture, const Rect& dest) override;
    void copyPicture(const Picture& picture, int x, int y) override;
    // Heights below 1 are taken as 1. A fresh canvas starts with the face "Arial"
    // (as the font service resolves it), regular, 1 pixel high.
    void selectFont(const std::string& face, int cellHeight, bool bold) override;
    TextSize measureText(const std::string& text) override;
    void drawText(int x, int y, const std::string& text, Color color) override;
    const Picture* drawnPixels() override;

private:
    // Text and byte writes share one buffer: the painter is ended before any byte write.
    void endPainting();
    QPainter* painter();
    const CanvasFont& currentFont();

    Picture& m_target;
    QImage m_image;
    std::unique_ptr<QPainter> m_painter;
    std::string m_face = "Arial";
    int m_cellHeight = 1;
    bool m_bold = false;
    std::shared_ptr<const CanvasFont> m_font;
};
