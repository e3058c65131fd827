#pragma once

#include "imageio/picture.h"
#include "render/drawmenu.h"
#include "render/scaledpicturecache.h"

#include <QWidget>

#include <functional>

class MenuDocument;

// The preview box: the menu composed at the box's own size into an off-screen picture,
// which the paint event copies to the screen, so that a repaint never flickers.
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
    // What the last composition drew where, in the box's own coordinates.
    const MenuGeometry& menuGeometry() const { return m_geometry; }

    // Called after each composition to draw over it (the disc buttons' look).
    std::function<void(Picture&, const MenuGeometry&)> decorate;

    // Called with the error text when composing fails during a paint.
    std::function<void(const QString&)> onPaintError;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    bool compose();
    void PaintBox1Paint();

    MenuDocument& m_doc;
    Picture& m_scratch;
    Picture m_picture;
    MenuGeometry m_geometry;
    ScaledPictureCache m_cache; // rescaled pictures kept between "Better quality" drawings
    bool m_stale = true;        // the picture does not show the current size yet
    int m_compositions = 0;
};
