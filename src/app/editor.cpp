#include "editor.h"

#include "aboutform.h"
#include "appicon.h"
#include "instancelink.h"
#include "mainwindow.h"
#include "settings.h"
#include "singleinstance.h"
#include "widgets/clipform.h"
#include "widgets/fitscreen.h"

#include <QApplication>
#include <QFileInfo>
#include <QSettings>

#include <cstdio>
#include <memory>

int RunEditor(int argc, char** argv)
{
    QApplication app(argc, argv);

    // The lock is named after the program users start (tavrel, which starts tavrel-editor),
    // before the program's own title is set.
    QString program = QCoreApplication::applicationFilePath();
    if (program.endsWith(QLatin1String("-editor")))
        program.chop(7);
    SingleInstance guard(SingleInstance::InstanceNameFor(program));
    const QStringList arguments = QCoreApplication::arguments().mid(1);
    if (!guard.isFirst()) {
        // The running copy comes forward and opens our project; this one quits before
        // showing anything.
        const bool delivered =
            arguments.size() == 1
                ? guard.requestOpen(QFileInfo(arguments.front()).absoluteFilePath())
                : guard.requestShow();
        if (!delivered)
            std::fprintf(stderr, "tavrel: the running copy did not answer\n");
        return delivered ? 0 : 1;
    }

    QCoreApplication::setApplicationName(QStringLiteral("Tavrel Lite"));
    QGuiApplication::setDesktopFileName(QStringLiteral("tavrel"));
    QApplication::setWindowIcon(AppIcon());
    KeepWindowsOnScreen(app);

    auto form1 = std::make_unique<TForm1>();
    QString& lastClipDir = form1->lastClipDir();
    auto clipForm = std::make_unique<TClipForm>(form1->doc(), lastClipDir, form1.get());
    clipForm->rememberSize(&OpenSettingsStore);
    auto aboutForm = std::make_unique<TAboutForm>(form1.get());
    form1->attachDialogs(clipForm.get(), aboutForm.get());
    form1->setStartupArguments(arguments);
    ServeLaterStarts(guard, *form1);

    form1->show();
    const int result = app.exec();
    aboutForm.reset();
    clipForm.reset();
    form1.reset();
    return result;
}
