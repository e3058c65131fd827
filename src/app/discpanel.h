#pragma once

#include "document/menudocument.h"

#include <QWidget>

#include <functional>

struct MenuGeometry;
class Picture;
class QComboBox;
class QToolButton;

// What the preview shows of the disc buttons.
enum class ButtonPreview {
    Off,
    Highlight, // every button as when the cursor is on it
    Select,    // every button as when it is pressed
};

// The disc-button settings on the panel, in two compact rows: the highlight style, its
// two colours (small colour buttons) and the switch that shows them over the preview.
class DiscPanel : public QWidget {
    Q_OBJECT
public:
    // `chooseColor` asks the user for a colour, starting from the first argument; false
    // when cancelled.
    DiscPanel(MenuDocument& doc, std::function<bool(Color, Color&)> chooseColor,
              QWidget* parent = nullptr);

    // Shows the document's values again (after New or Open).
    void sync();
    ButtonPreview preview() const;

signals:
    void previewChanged();

private:
    MenuDocument& m_doc;
    std::function<bool(Color, Color&)> m_chooseColor;
    QComboBox* m_style = nullptr;
    QToolButton* m_highlight = nullptr;
    QToolButton* m_select = nullptr;
    QComboBox* m_preview = nullptr;
};

// Paints the buttons' look over a composed preview `picture` whose drawing filled
// `geometry`; nothing for Off, or when the buttons cannot be laid out at this size.
void PaintButtonPreview(const MenuDocument& doc, const MenuGeometry& geometry, Picture& picture,
                        ButtonPreview preview);
