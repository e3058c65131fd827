#include "discexportcommand.h"

#include "disc/discmenuexport.h"
#include "widgets/busycursor.h"
#include "widgets/messages.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>

#include <exception>

void DiscMenuExportClick(QWidget* parent, const MenuDocument& doc, QString& folder)
{
    QFileDialog dialog(parent, QStringLiteral("Export disc menu to folder"), folder);
    dialog.setObjectName(QStringLiteral("DiscMenuDialog"));
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOption(QFileDialog::ShowDirsOnly);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return;
    folder = dialog.selectedFiles().front();
    ExportDiscMenuTo(parent, doc, folder);
}

void ExportDiscMenuTo(QWidget* parent, const MenuDocument& doc, const QString& folder)
{
    QCoreApplication::processEvents(); // the closed dialog leaves the screen first
    DiscMenuResult result;
    {
        BusyCursor busy;
        try {
            result = ExportDiscMenu(doc, QFile::encodeName(folder).toStdString());
        } catch (const std::exception& e) {
            busy.restore();
            ShowErrorBox(QString::fromUtf8(e.what()), parent);
            return;
        }
    }
    QString text = QStringLiteral("Written to %1:\n").arg(QDir::toNativeSeparators(folder));
    for (const std::string& path : result.written)
        text += QStringLiteral("\n  ") + QFileInfo(QString::fromStdString(path)).fileName();
    if (!result.note.empty())
        text += QStringLiteral("\n\n") + QString::fromStdString(result.note);
    if (result.subpicture == SubpictureOutcome::Added)
        text += QStringLiteral("\n\nTo make the disc: dvdauthor -o dvd -x dvdauthor.xml, after "
                               "putting your titles where dvdauthor.xml names them.");
    const bool complete = result.subpicture == SubpictureOutcome::Added ||
                          result.subpicture == SubpictureOutcome::NotForVcd;
    ShowMessage(complete ? MessageKind::Information : MessageKind::Error, text, parent);
}
