#include "discexportcommand.h"

#include "disc/discmenuexport.h"
#include "widgets/busycursor.h"
#include "widgets/messages.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>

#include <exception>

namespace {

// A folder chooser that also takes the name of a folder yet to be made, typed in.
class NewFolderDialog : public QFileDialog {
public:
    using QFileDialog::QFileDialog;

    void accept() override
    {
        const QStringList chosen = selectedFiles();
        if (chosen.size() == 1) {
            const QFileInfo folder(chosen.front());
            if (!folder.exists() && folder.dir().exists() &&
                !QDir().mkdir(folder.absoluteFilePath())) {
                ShowErrorBox(QStringLiteral("Cannot create folder %1")
                                 .arg(QDir::toNativeSeparators(folder.absoluteFilePath())),
                             this);
                return;
            }
        }
        QFileDialog::accept();
    }
};

// Asks before the files of an earlier export are replaced (dvdauthor.xml may hold the
// user's own changes); true when there are none or the user agrees.
bool mayReplaceDiscFiles(QWidget* parent, const QString& folder)
{
    QStringList found;
    for (const char* name :
         {kDiscDvdauthorFile, kDiscMenuStreamFile, kDiscBackgroundStreamFile, kDiscStillFile,
          kDiscHighlightFile, kDiscSelectFile, kDiscSpumuxFile, kDiscHighlightLetterboxFile,
          kDiscSelectLetterboxFile, kDiscSpumuxLetterboxFile})
        if (QFileInfo::exists(QDir(folder).filePath(QLatin1String(name))))
            found.push_back(QLatin1String(name));
    if (found.isEmpty())
        return true;
    QString text = QStringLiteral("%1 already holds a disc menu:\n\n  %2\n\nReplace these files?")
                       .arg(QDir::toNativeSeparators(folder), found.join(QStringLiteral("\n  ")));
    if (found.contains(QLatin1String(kDiscDvdauthorFile)))
        text += QStringLiteral(" Changes made to %1 by hand are lost.")
                    .arg(QLatin1String(kDiscDvdauthorFile));
    return AskToGoOn(text, QStringLiteral("&Replace"), parent);
}

} // namespace

void DiscMenuExportClick(QWidget* parent, const MenuDocument& doc, QString& folder)
{
    NewFolderDialog dialog(parent, QStringLiteral("Export disc menu to folder"), folder);
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
    if (!mayReplaceDiscFiles(parent, folder))
        return;
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
        text += QStringLiteral("\n\nFile > Make DVD makes the whole disc, with its image, from "
                               "your movies; these files are for authoring it yourself.");
    const bool complete = result.subpicture == SubpictureOutcome::Added ||
                          result.subpicture == SubpictureOutcome::NotForVcd;
    ShowMessage(complete ? MessageKind::Information : MessageKind::Error, text, parent);
}
