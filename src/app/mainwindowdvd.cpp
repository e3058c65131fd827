// File > Make DVD: the choices, then the disc made off the GUI thread.
#include "mainwindow.h"

#include "burndialog.h"
#include "dvd/makedvd.h"
#include "makedvddialog.h"
#include "makedvdprogress.h"
#include "widgets/messages.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>

namespace {

// Why an item's button would have nothing to play, in the editor's words; empty when it
// has a movie. Said before any choice is asked for.
QString itemsWithoutMovie(const MenuDocument& doc)
{
    QStringList empty;
    QStringList pictures;
    for (int n = 1; n <= doc.visibleItemCount(); ++n) {
        if (!ItemTitleMovie(doc, n).empty())
            continue;
        const menurec& item = doc.item(n);
        const QString caption = QString::fromStdString(item.menucaption);
        if (item.source.menuclip.empty())
            empty << QString::number(n);
        else
            pictures << (caption.isEmpty() ? QString::number(n)
                                           : QStringLiteral("%1 (\"%2\")").arg(n).arg(caption));
    }
    QString text;
    const auto line = [&text](const QStringList& items, const QString& one, const QString& many) {
        if (!items.isEmpty())
            text += (items.size() == 1 ? one : many).arg(items.join(QStringLiteral(", "))) +
                    QLatin1Char('\n');
    };
    line(empty, QStringLiteral("Item %1 has no thumbnail movie."),
         QStringLiteral("Items %1 have no thumbnail movie."));
    line(pictures, QStringLiteral("Item %1 shows a picture, not a movie frame."),
         QStringLiteral("Items %1 show a picture, not a movie frame."));
    if (text.isEmpty())
        return {};
    return text + QStringLiteral("\nA button on the disc plays the movie its thumbnail comes "
                                 "from. On the Items page, press the item's thumbnail button "
                                 "and choose \"Movie Frame\", or lower \"Total items\" to "
                                 "leave the item out.");
}

} // namespace

void TForm1::MakeDvdClick()
{
    if (const QString missing = itemsWithoutMovie(m_doc); !missing.isEmpty()) {
        ShowMessage(MessageKind::Error, QStringLiteral("The DVD cannot be made yet.\n\n") + missing,
                    this);
        return;
    }
    // Beside the project, named after it; an unsaved menu has no disc of its own yet.
    const QString project = QString::fromStdString(m_doc.CurrentFileName);
    QString folder;
    QString iso;
    if (!project.isEmpty() && project == m_dvdProject) {
        folder = LastDvdDir;
        iso = LastIsoFile;
    } else {
        const QString base =
            project.isEmpty() ? QStringLiteral("menu") : QFileInfo(project).completeBaseName();
        const QString parent = !project.isEmpty()       ? QFileInfo(project).absolutePath()
                               : !LastFileDir.isEmpty() ? LastFileDir
                                                        : QDir::homePath();
        folder = QDir(parent).filePath(base + QStringLiteral(" DVD"));
    }
    // A VCD-size menu makes the DVD of its standard; the editor's own size stays.
    MakeDvdDialog choices(folder, iso, this, QString::fromStdString(m_doc.title),
                          m_doc.ImageHeight == 576);
    if (!project.isEmpty())
        choices.setOwnDisc(folder, iso);
    if (choices.exec() != QDialog::Accepted)
        return;
    m_dvdProject = project;
    LastDvdDir = choices.folder();
    LastIsoFile = choices.isoFile();
    MakeDvdProgressDialog progress(m_doc, choices.options(), this, choices.videoMode());
    progress.start();
    progress.exec();
}

void TForm1::BurnImageClick()
{
    // This project's own image is the likely one; the chooser starts beside it.
    const QFileInfo project(QString::fromStdString(m_doc.CurrentFileName));
    const QString image = QFileDialog::getOpenFileName(
        this, QStringLiteral("Burn disc image"),
        m_doc.CurrentFileName.empty() ? QDir::homePath() : project.absolutePath(),
        QStringLiteral("Disc images (*.iso);;All files (*)"));
    if (image.isEmpty())
        return;
    BurnDialog burn(image, this);
    burn.exec();
}
