#include "editor.h"

#include "aboutform.h"
#include "appicon.h"
#include "mainwindow.h"
#include "singleinstance.h"
#include "thumbs/clipform.h"

#include <QApplication>

#include <memory>

int RunEditor(int argc, char** argv)
{
    QApplication app(argc, argv);

    // The lock is named after the executable, before the program's own title is set.
    SingleInstance guard(SingleInstance::LockNameFor(QCoreApplication::applicationFilePath()));
    if (!guard.isFirst()) {
        // The running copy comes forward; this one quits before showing anything.
        guard.requestShow();
        return 0;
    }

    QCoreApplication::setApplicationName(QStringLiteral("Tavrel Lite"));
    QGuiApplication::setDesktopFileName(QStringLiteral("tavrel"));
    QApplication::setWindowIcon(AppIcon());

    auto form1 = std::make_unique<TForm1>();
    QString& lastClipDir = form1->lastClipDir();
    auto clipForm = std::make_unique<TClipForm>(form1->doc(), lastClipDir, form1.get());
    auto aboutForm = std::make_unique<TAboutForm>(form1.get());
    form1->attachDialogs(clipForm.get(), aboutForm.get());
    form1->setStartupArguments(QCoreApplication::arguments().mid(1));

    QObject::connect(&guard, &SingleInstance::showRequested, form1.get(), [&form1] {
        if (form1->isMinimized())
            form1->setWindowState((form1->windowState() & ~Qt::WindowMinimized) | Qt::WindowActive);
        form1->show();
        form1->raise();
        form1->activateWindow();
    });

    form1->show();
    const int result = app.exec();
    aboutForm.reset();
    clipForm.reset();
    form1.reset();
    return result;
}
