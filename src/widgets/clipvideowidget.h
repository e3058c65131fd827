#pragma once

#include "base/picture.h"

#include <QWidget>

#include <cstdint>

class MoviePlayer;

// The movie preview: paints the frame the player last delivered, stretched to the
// widget; only the background shows while there is none.
class ClipVideoWidget : public QWidget {
    Q_OBJECT
public:
    explicit ClipVideoWidget(QWidget* parent = nullptr);

    // The player to show; nullptr shows nothing. The widget must be detached (or the
    // player released) before the player is destroyed.
    void setPlayer(MoviePlayer* player);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void fetchFrame();

    MoviePlayer* m_player = nullptr;
    Picture m_frame;
    std::uint64_t m_serial = 0;
};
