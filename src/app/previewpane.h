#pragma once

#include "document/menudocument.h"

#include <QWidget>

class LegibilityPanel;
class PreviewBox;
class QFrame;
class QLabel;
struct LegibilityWarning;

// The right side of the window: the size strip, the live preview in its sunken panel,
// and the legibility warnings under it.
class PreviewPane : public QWidget {
    Q_OBJECT
public:
    // `scratch` is the window's reusable picture the preview composes into.
    PreviewPane(MenuDocument& doc, Picture& scratch, QWidget* parent = nullptr);

    PreviewBox* box() const { return PaintBox1; }
    // Lays the preview box out for the panel's size, the image size and the aspect.
    void UpdatePreviewBounds();
    // The document's aspect differs from the one the box is laid out for.
    bool aspectChanged() const { return m_doc.aspect != m_previewAspect; }

signals:
    // The user picked a warning from the list.
    void warningChosen(const LegibilityWarning& warning);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    MenuDocument& m_doc;
    MenuAspect m_previewAspect = MenuAspect::Pixels; // the aspect the box is laid out for
    QLabel* ISizePanel = nullptr;
    QFrame* PaintPanel = nullptr;
    PreviewBox* PaintBox1 = nullptr;
    LegibilityPanel* LegibilityPanel1 = nullptr;
};
