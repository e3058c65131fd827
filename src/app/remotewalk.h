#pragma once

#include "disc/discbuttons.h"
#include "document/menudocument.h"

#include <QString>

#include <vector>

class Picture;
struct MenuGeometry;

// Walking the menu with the remote before the disc is made: the button the player's
// cursor is on, moved by the arrow keys along the very links the disc gets, and Enter
// showing it pressed, painted over the preview.
class RemoteWalk {
public:
    bool active() const { return m_active; }
    // Starting, the cursor is on the first button, as a player starts.
    void setActive(bool on);
    int current() const { return m_current; } // the item, 0 before the first key
    bool pressed() const { return m_pressed; }

    // Takes an arrow key, Enter or Return; true when it was one. `buttons` are laid out
    // from the full-size menu, as on the disc.
    bool key(int key, const std::vector<DiscButton>& buttons);
    // Paints the current button's look over a preview composed at `geometry`.
    void paint(const MenuDocument& doc, const MenuGeometry& geometry, Picture& picture) const;
    // What the button plays, for the status bar.
    QString describe(const MenuDocument& doc) const;

private:
    bool m_active = false;
    int m_current = 0;
    bool m_pressed = false;
};
