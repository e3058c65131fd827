#include "instancelink.h"

#include "mainwindow.h"
#include "singleinstance.h"

#include <QApplication>
#include <QPointer>
#include <QTimer>

namespace {

constexpr int kRetryMs = 300;

void bringForward(TForm1& window)
{
    if (window.isMinimized())
        window.setWindowState((window.windowState() & ~Qt::WindowMinimized) | Qt::WindowActive);
    window.show();
    window.raise();
    window.activateWindow();
}

void openWhenFree(QPointer<TForm1> window, const QString& path)
{
    if (!window)
        return;
    if (QApplication::activeModalWidget() || QApplication::activePopupWidget()) {
        QTimer::singleShot(kRetryMs, window, [window, path] { openWhenFree(window, path); });
        return;
    }
    window->openProjectAsking(path);
}

} // namespace

void ServeLaterStarts(SingleInstance& instance, TForm1& window)
{
    QObject::connect(&instance, &SingleInstance::showRequested, &window,
                     [&window] { bringForward(window); });
    QObject::connect(&instance, &SingleInstance::openRequested, &window,
                     [&window](const QString& path) {
                         bringForward(window);
                         // Queued: the request's socket is served before any dialog opens.
                         QTimer::singleShot(0, &window, [target = QPointer<TForm1>(&window), path] {
                             openWhenFree(target, path);
                         });
                     });
}
