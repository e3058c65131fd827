// File > Make DVD: the choices, then the disc made off the GUI thread.
#include "mainwindow.h"

#include "makedvddialog.h"
#include "makedvdprogress.h"

#include <QDir>
#include <QFileInfo>

void TForm1::MakeDvdClick()
{
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
