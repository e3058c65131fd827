#include "makedvddialog.h"

#include "dvd/discfolder.h"
#include "dvd/discimage.h"
#include "widgets/messages.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>

namespace {

// QFileDialog's folder mode refuses a name that does not exist yet; the disc folder is
// usually a new one, so a typed name is taken when its parent folder is there.
class FolderChooser : public QFileDialog {
public:
    using QFileDialog::QFileDialog;
    QString chosen;

    void accept() override
    {
        const QStringList files = selectedFiles();
        if (files.isEmpty())
            return;
        const QFileInfo info(files.front());
        if (!info.exists() && info.dir().exists()) {
            chosen = info.absoluteFilePath();
            QDialog::accept();
            return;
        }
        QFileDialog::accept();
        if (result() == QDialog::Accepted)
            chosen = info.absoluteFilePath();
    }
};

bool samePath(const QString& a, const QString& b)
{
    return !b.isEmpty() &&
           QFileInfo(a).absoluteFilePath() ==
               QFileInfo(QDir::cleanPath(QDir::fromNativeSeparators(b))).absoluteFilePath();
}

QWidget* row(QWidget* field, QWidget* button)
{
    auto* box = new QWidget;
    auto* layout = new QHBoxLayout(box);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(field, 1);
    layout->addWidget(button);
    return box;
}

} // namespace

QString ChooseNewOrExistingFolder(QWidget* parent, const QString& caption, const QString& start)
{
    FolderChooser dialog(parent, caption, start);
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOption(QFileDialog::ShowDirsOnly);
    dialog.setOption(QFileDialog::DontUseNativeDialog); // the native one cannot take a new name
    if (dialog.exec() != QDialog::Accepted)
        return {};
    return dialog.chosen;
}

MakeDvdDialog::MakeDvdDialog(const QString& folder, const QString& iso, QWidget* parent,
                             const QString& label, bool pal)
    : QDialog(parent), m_label(label)
{
    setObjectName(QStringLiteral("MakeDvdDialog"));
    setWindowTitle(QStringLiteral("Make DVD"));
    auto* form = new QFormLayout(this);

    m_folder = new QLineEdit(folder);
    m_folder->setObjectName(QStringLiteral("DvdFolder"));
    m_folder->setMinimumWidth(320);
    m_folder->setToolTip(QStringLiteral("A new or empty folder, or one an earlier disc was made "
                                        "in; VIDEO_TS is written inside it"));
    auto* folderButton = new QPushButton(QStringLiteral("&Browse..."));
    folderButton->setObjectName(QStringLiteral("DvdFolderBtn"));
    form->addRow(QStringLiteral("Disc &folder:"), row(m_folder, folderButton));

    m_isoWanted = new QCheckBox(QStringLiteral("Also write an &ISO image to burn"));
    m_isoWanted->setObjectName(QStringLiteral("DvdIsoWanted"));
    m_isoWanted->setChecked(!iso.isEmpty());
    form->addRow(QString(), m_isoWanted);
    m_iso = new QLineEdit(iso);
    m_iso->setObjectName(QStringLiteral("DvdIso"));
    m_isoButton = new QPushButton(QStringLiteral("Br&owse..."));
    m_isoButton->setObjectName(QStringLiteral("DvdIsoBtn"));
    form->addRow(QStringLiteral("Image &file:"), row(m_iso, m_isoButton));

    m_standard = new QComboBox;
    m_standard->setObjectName(QStringLiteral("DvdStandard"));
    m_standard->addItem(QStringLiteral("NTSC (720 x 480, 29.97 frames/s)"));
    m_standard->addItem(QStringLiteral("PAL (720 x 576, 25 frames/s)"));
    m_standard->setCurrentIndex(pal ? 1 : 0);
    m_standard->setToolTip(QStringLiteral("NTSC for players in America and Japan, PAL for "
                                          "Europe and most of the rest"));
    form->addRow(QStringLiteral("TV &standard:"), m_standard);
    buildDiscRows(form);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    m_ok = buttons->button(QDialogButtonBox::Ok);
    m_ok->setText(QStringLiteral("&Make DVD"));
    form->addRow(buttons);

    connect(buttons, &QDialogButtonBox::accepted, this, &MakeDvdDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(folderButton, &QPushButton::clicked, this, &MakeDvdDialog::chooseFolder);
    connect(m_isoButton, &QPushButton::clicked, this, &MakeDvdDialog::chooseIso);
    connect(m_folder, &QLineEdit::textChanged, this, &MakeDvdDialog::updateOk);
    connect(m_iso, &QLineEdit::textChanged, this, &MakeDvdDialog::updateOk);
    connect(m_isoWanted, &QCheckBox::toggled, this, &MakeDvdDialog::isoToggled);
    updateOk();
}

void MakeDvdDialog::buildDiscRows(QFormLayout* form)
{
    m_capacity = new QComboBox;
    m_capacity->setObjectName(QStringLiteral("DvdCapacity"));
    m_capacity->addItem(QStringLiteral("4.7 GB (single layer)"));
    m_capacity->addItem(QStringLiteral("8.5 GB (dual layer)"));
    form->addRow(QStringLiteral("Disc si&ze:"), m_capacity);

    m_chapters = new QSpinBox;
    m_chapters->setObjectName(QStringLiteral("DvdChapters"));
    m_chapters->setRange(0, 60);
    m_chapters->setValue(5);
    m_chapters->setSuffix(QStringLiteral(" min"));
    m_chapters->setSpecialValueText(QStringLiteral("None"));
    m_chapters->setToolTip(
        QStringLiteral("Chapter marks for movies without chapters of their own"));
    form->addRow(QStringLiteral("&Chapters every:"), m_chapters);
}

void MakeDvdDialog::isoToggled(bool wanted)
{
    // The image's usual place: beside the disc folder, named like it.
    if (wanted && m_iso->text().trimmed().isEmpty() && !folder().isEmpty()) {
        QString base = QFileInfo(folder()).absoluteFilePath();
        if (base.endsWith(QStringLiteral(" DVD")))
            base.chop(4);
        m_iso->setText(QDir::toNativeSeparators(base + QStringLiteral(".iso")));
    }
    updateOk();
}

void MakeDvdDialog::chooseFolder()
{
    const QString start = m_folder->text().isEmpty() ? QDir::homePath() : m_folder->text();
    const QString chosen =
        ChooseNewOrExistingFolder(this, QStringLiteral("Folder for the disc"), start);
    if (!chosen.isEmpty())
        m_folder->setText(QDir::toNativeSeparators(chosen));
}

void MakeDvdDialog::chooseIso()
{
    QFileDialog dialog(this, QStringLiteral("ISO image"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setNameFilters({QStringLiteral("Disc images (*.iso)"), QStringLiteral("All files (*)")});
    dialog.setDefaultSuffix(QStringLiteral("iso"));
    if (!m_iso->text().isEmpty())
        dialog.selectFile(m_iso->text());
    else if (!m_folder->text().isEmpty())
        dialog.setDirectory(QFileInfo(m_folder->text()).absolutePath());
    if (dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty())
        m_iso->setText(QDir::toNativeSeparators(dialog.selectedFiles().front()));
}

void MakeDvdDialog::updateOk()
{
    m_iso->setEnabled(m_isoWanted->isChecked());
    m_isoButton->setEnabled(m_isoWanted->isChecked());
    const bool isoOk = !m_isoWanted->isChecked() || !m_iso->text().trimmed().isEmpty();
    m_ok->setEnabled(!m_folder->text().trimmed().isEmpty() && isoOk);
}

QString MakeDvdDialog::folder() const
{
    return QDir::cleanPath(QDir::fromNativeSeparators(m_folder->text().trimmed()));
}

QString MakeDvdDialog::isoFile() const
{
    if (!m_isoWanted->isChecked())
        return {};
    return QDir::cleanPath(QDir::fromNativeSeparators(m_iso->text().trimmed()));
}

DvdOptions MakeDvdDialog::options() const
{
    DvdOptions options;
    options.folder = QFileInfo(folder()).absoluteFilePath().toStdString();
    if (!isoFile().isEmpty())
        options.isoFile = QFileInfo(isoFile()).absoluteFilePath().toStdString();
    options.capacityBytes = m_capacity->currentIndex() == 1 ? kDualLayerBytes : kSingleLayerBytes;
    options.chapterMinutes = m_chapters->value();
    return options;
}

bool MakeDvdDialog::pal() const
{
    return m_standard->currentIndex() == 1;
}

void MakeDvdDialog::accept()
{
    if (folderMayBeUsed() && isoMayBeReplaced())
        QDialog::accept();
}

bool MakeDvdDialog::folderMayBeUsed()
{
    const QFileInfo info(folder());
    if (!info.exists())
        return true;
    const QString shown = QDir::toNativeSeparators(info.absoluteFilePath());
    if (!info.isDir()) {
        ShowMessage(
            MessageKind::Error,
            QStringLiteral("%1 is a file, not a folder. Choose a folder for the disc.").arg(shown),
            this);
        return false;
    }
    const QDir dir(info.absoluteFilePath());
    if (dir.isEmpty(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System))
        return true;
    if (!dir.exists(QString::fromLatin1(kDiscFolderMarker))) {
        ShowMessage(MessageKind::Error,
                    QStringLiteral("%1 holds files that are not a disc made by this program; "
                                   "they are left alone. Choose a new or empty folder.")
                        .arg(shown),
                    this);
        return false;
    }
    if (samePath(info.absoluteFilePath(), m_ownFolder))
        return true;
    return AskToGoOn(QStringLiteral("%1 holds a disc made earlier, perhaps of another menu.\n\n"
                                    "Replace that disc with this menu's?")
                         .arg(shown),
                     QStringLiteral("&Replace"), this);
}

bool MakeDvdDialog::isoMayBeReplaced()
{
    if (isoFile().isEmpty())
        return true;
    const QFileInfo info(isoFile());
    if (!info.exists() && !info.isSymLink())
        return true;
    const QString shown = QDir::toNativeSeparators(info.absoluteFilePath());
    if (info.isDir() || !info.isFile()) {
        ShowMessage(MessageKind::Error,
                    QStringLiteral("%1 is not a file. Choose a name for the image.").arg(shown),
                    this);
        return false;
    }
    if (samePath(info.absoluteFilePath(), m_ownIso) && IsDiscImageLabelled(shown, m_label))
        return true;
    const QString what = IsDiscImageLabelled(shown, QString())
                             ? QStringLiteral("is the disc image of another menu")
                             : QStringLiteral("already exists and is not a disc image");
    return AskToGoOn(
        QStringLiteral("%1 %2.\n\nReplace it with this menu's disc image?").arg(shown, what),
        QStringLiteral("&Replace"), this);
}

bool IsDiscImageLabelled(const QString& path, const QString& label)
{
    // The primary volume descriptor sits in sector 16: type 1, "CD001", and the volume
    // label at byte 40, padded with spaces.
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || !file.seek(16 * 2048))
        return false;
    const QByteArray sector = file.read(72);
    if (sector.size() < 72 || sector[0] != 1 || sector.mid(1, 5) != "CD001")
        return false;
    if (label.isNull())
        return true;
    const QByteArray found = sector.mid(40, 32).trimmed();
    return found == QByteArray::fromStdString(DiscLabel(label.toStdString()));
}
