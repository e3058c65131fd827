#include "remotewalk.h"

#include "disc/discmasks.h"
#include "dvd/makedvd.h"

#include <QFileInfo>

#include <algorithm>
#include <exception>

namespace {

const DiscButton* buttonOf(const std::vector<DiscButton>& buttons, int item)
{
    const auto found = std::find_if(buttons.begin(), buttons.end(),
                                    [item](const DiscButton& b) { return b.item == item; });
    return found == buttons.end() ? nullptr : &*found;
}

} // namespace

void RemoteWalk::setActive(bool on)
{
    m_active = on;
    m_current = 0;
    m_pressed = false;
}

bool RemoteWalk::key(int key, const std::vector<DiscButton>& buttons)
{
    if (!m_active || buttons.empty())
        return false;
    const DiscButton* at = buttonOf(buttons, m_current);
    if (!at)
        at = &buttons.front();
    int next = at->item;
    switch (key) {
    case Qt::Key_Up:
        next = at->up ? at->up : next;
        break;
    case Qt::Key_Down:
        next = at->down ? at->down : next;
        break;
    case Qt::Key_Left:
        next = at->left ? at->left : next;
        break;
    case Qt::Key_Right:
        next = at->right ? at->right : next;
        break;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        m_current = at->item;
        m_pressed = true;
        return true;
    default:
        return false;
    }
    m_current = next;
    m_pressed = false;
    return true;
}

void RemoteWalk::paint(const MenuDocument& doc, const MenuGeometry& geometry,
                       Picture& picture) const
{
    if (!m_active || geometry.items.empty())
        return;
    try {
        std::vector<DiscButton> buttons = LayoutDiscButtons(geometry);
        const int item = m_current ? m_current : buttons.empty() ? 0 : buttons.front().item;
        std::erase_if(buttons, [item](const DiscButton& b) { return b.item != item; });
        if (buttons.empty())
            return;
        PaintMask(picture, DrawDiscMask(doc, geometry, buttons),
                  m_pressed ? doc.selectcolor : doc.highlightcolor);
    } catch (const std::exception&) {
        // A preview too small for buttons of their own shows the menu alone.
    }
}

QString RemoteWalk::describe(const MenuDocument& doc) const
{
    if (!m_active || m_current < 1 || m_current > kItemCount)
        return QStringLiteral("Arrow keys move between the buttons, Enter presses one");
    const std::string movie = ItemTitleMovie(doc, m_current);
    const QString plays = movie.empty() ? QStringLiteral("nothing yet (no movie)")
                                        : QFileInfo(QString::fromStdString(movie)).fileName();
    return QStringLiteral("Button %1 (title %1)%2 plays %3")
        .arg(m_current)
        .arg(m_pressed ? QStringLiteral(", pressed,") : QString())
        .arg(plays);
}
