#include "fitscreen.h"

#include <QApplication>
#include <QEvent>
#include <QScreen>
#include <QStyle>
#include <QWidget>

#include <algorithm>

namespace {

class ShowFilter : public QObject {
public:
    using QObject::QObject;

    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Show && watched->isWidgetType()) {
            auto* widget = static_cast<QWidget*>(watched);
            if (widget->isWindow() && widget->windowType() != Qt::Popup &&
                widget->windowType() != Qt::ToolTip && !widget->isMaximized() &&
                !widget->isFullScreen())
                FitToScreen(widget);
        }
        return QObject::eventFilter(watched, event);
    }
};

} // namespace

void FitToScreen(QWidget* window)
{
    const QScreen* screen = window->screen();
    if (!screen)
        return;
    const QRect area = screen->availableGeometry();
    QSize frame = window->frameGeometry().size() - window->size();
    if (frame.isEmpty()) // not shown yet: room for a usual title bar and border
        frame = QSize(8, window->style()->pixelMetric(QStyle::PM_TitleBarHeight) + 8);
    const QSize most = (area.size() - frame).expandedTo(QSize(100, 100));
    if (window->width() > most.width() || window->height() > most.height())
        window->resize(window->size().boundedTo(most));
    const QSize outer = window->size() + frame;
    const int x = std::max(area.left(), std::min(window->x(), area.right() + 1 - outer.width()));
    const int y = std::max(area.top(), std::min(window->y(), area.bottom() + 1 - outer.height()));
    if (x != window->x() || y != window->y())
        window->move(x, y);
}

void KeepWindowsOnScreen(QApplication& application)
{
    application.installEventFilter(new ShowFilter(&application));
}
