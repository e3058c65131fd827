// File > Make DVD: the choices, then the disc made off the GUI thread.
#include "mainwindow.h"

#include "makedvddialog.h"
#include "makedvdprogress.h"
#include "widgets/messages.h"

#include <QDir>
#include <QFileInfo>

void TForm1::MakeDvdClick()
{
    // A DVD's menu is 720 wide; rather than refuse a VCD-size menu after all the choices,
    // offer the DVD size of the same lines, as one change that Undo takes back.
    if (m_doc.ImageWidth != 720) {
        const bool pal = m_doc.ImageHeight == 576;
        const QString size =
            pal ? QStringLiteral("720 x 576 (PAL)") : QStringLiteral("720 x 480 (NTSC)");
        if (!AskToGoOn(QStringLiteral("This menu is %1 x %2, a VCD size; a DVD's menu is %3.\n\n"
                                      "Change the menu to %3 and make the DVD?")
                           .arg(m_doc.ImageWidth)
                           .arg(m_doc.ImageHeight)
                           .arg(size),
                       QStringLiteral("&Change size"), this))
            return;
        selectPreset(pal ? 3 : 2);
    }
    QString folder = LastDvdDir;
    if (folder.isEmpty()) {
        // Beside the project, named after it.
        const QString base =
            m_doc.CurrentFileName.empty()
                ? QStringLiteral("menu")
                : QFileInfo(QString::fromStdString(m_doc.CurrentFileName)).completeBaseName();
        const QString parent = LastFileDir.isEmpty() ? QDir::homePath() : LastFileDir;
        folder = QDir(parent).filePath(base + QStringLiteral(" DVD"));
    }
    MakeDvdDialog choices(folder, LastIsoFile, this);
    if (choices.exec() != QDialog::Accepted)
        return;
    LastDvdDir = choices.folder();
    LastIsoFile = choices.isoFile();
    MakeDvdProgressDialog progress(m_doc, choices.options(), this);
    progress.start();
    progress.exec();
}
