#pragma once

#include "base/picture.h"
#include "render/drawmenu.h"
#include "render/legibilitycheck.h"
#include "render/scaledpicturecache.h"

#include <QWidget>

#include <functional>
#include <vector>

class MenuDocument;
class QPainter;

// The preview box: the menu composed at the box's own size (in device pixels) into an
// off-screen picture, which the paint event copies to the screen, so that a repaint
// never flickers. In 4:3 and 16:9 the box has the display shape and shows the display
// canvas. Every composition is checked for legibility; the safe areas can be drawn over
// it (never into the picture).
class PreviewBox : public QWidget {
    Q_OBJECT
public:
    PreviewBox(MenuDocument& doc, Picture& scratch, QWidget* parent = nullptr);

    // Composes the menu again now (nothing while the document's RenderEnabled is false)
    // and schedules the copy to the screen. Composition failures propagate.
    void Refresh();

    // How many compositions have run; tests count refreshes with it.
    int compositionCount() const { return m_compositions; }
    const Picture& picture() const { return m_picture; }
    // What the last composition drew where, in the composed picture's (device) pixels.
    const MenuGeometry& menuGeometry() const { return m_geometry; }
    // Found on the full-size menu, whatever the preview's size.
    const std::vector<LegibilityWarning>& warnings() const { return m_warnings; }

    void setSafeAreasShown(bool shown);
    bool safeAreasShown() const { return m_safeAreasShown; }

    // What the full-size menu the warnings were found on drew where.
    const MenuGeometry& fullGeometry() const { return m_fullGeometry; }
    // Offered every key pressed while the box has the focus; true when taken.
    std::function<bool(int key)> onKey;

    // Called after each composition to draw over it (the disc buttons' look).
    std::function<void(Picture&, const MenuGeometry&)> decorate;

    // Called with the error text when composing fails during a paint.
    std::function<void(const QString&)> onPaintError;
    // Called after each composition with what the legibility check found.
    std::function<void(const std::vector<LegibilityWarning>&)> onWarnings;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    bool compose();
    void checkFullSize();
    void PaintBox1Paint();
    void paintSafeAreas(QPainter& painter);

    MenuDocument& m_doc;
    Picture& m_scratch;
    Picture m_picture;
    MenuGeometry m_geometry;
    ScaledPictureCache m_cache;      // rescaled pictures kept between "Better quality" drawings
    ScaledPictureCache m_checkCache; // those of the full-size menu the check looks at
    bool m_stale = true;             // the picture does not show the current size yet
    bool m_safeAreasShown = false;
    std::vector<LegibilityWarning> m_warnings;
    MenuGeometry m_fullGeometry;
    int m_compositions = 0;
};
