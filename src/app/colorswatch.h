#pragma once

#include "document/menudocument.h"

#include <QLabel>

// Black for a light colour, white for a dark one: the average of the three
// components, truncated, above 127 counts as light.
Color ContrastColor(Color color);

// QColor of a colour integer (red in the lowest byte) and back.
QColor ToQColor(Color color);
Color FromQColor(const QColor& color);

// A coloured box with its caption in the contrasting colour; never takes focus. A click
// asks for the colour chooser, as its button does.
class ColorSwatch : public QLabel {
    Q_OBJECT
public:
    ColorSwatch(const QString& caption, Color color, QWidget* parent = nullptr);
    void setColor(Color color);
    Color color() const { return m_color; }

signals:
    void clicked();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    Color m_color = kWhite;
};
