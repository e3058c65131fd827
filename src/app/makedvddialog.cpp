#include "makedvddialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDir>
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

MakeDvdDialog::MakeDvdDialog(const QString& folder, const QString& iso, QWidget* parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("MakeDvdDialog"));
    setWindowTitle(QStringLiteral("Make DVD"));
    auto* form = new QFormLayout(this);

    m_folder = new QLineEdit(folder);
    m_folder->setObjectName(QStringLiteral("DvdFolder"));
    m_folder->setMinimumWidth(320);
    m_folder->setToolTip(QStringLiteral("A new or empty folder, or one an earlier disc was made "
                                        "in; VIDEO_TS is written inside it"));
    auto* folderButton = new QPushButton(QStringLiteral("..."));
    folderButton->setObjectName(QStringLiteral("DvdFolderBtn"));
    form->addRow(QStringLiteral("Disc folder:"), row(m_folder, folderButton));

    m_isoWanted = new QCheckBox(QStringLiteral("Also write an ISO image to burn"));
    m_isoWanted->setObjectName(QStringLiteral("DvdIsoWanted"));
    m_isoWanted->setChecked(!iso.isEmpty());
    form->addRow(QString(), m_isoWanted);
    m_iso = new QLineEdit(iso);
    m_iso->setObjectName(QStringLiteral("DvdIso"));
    m_isoButton = new QPushButton(QStringLiteral("..."));
    m_isoButton->setObjectName(QStringLiteral("DvdIsoBtn"));
    form->addRow(QStringLiteral("ISO image:"), row(m_iso, m_isoButton));

    m_capacity = new QComboBox;
    m_capacity->setObjectName(QStringLiteral("DvdCapacity"));
    m_capacity->addItem(QStringLiteral("4.7 GB (single layer)"));
    m_capacity->addItem(QStringLiteral("8.5 GB (dual layer)"));
    form->addRow(QStringLiteral("Disc size:"), m_capacity);

    m_chapters = new QSpinBox;
    m_chapters->setObjectName(QStringLiteral("DvdChapters"));
    m_chapters->setRange(0, 60);
    m_chapters->setValue(5);
    m_chapters->setSuffix(QStringLiteral(" min"));
    m_chapters->setSpecialValueText(QStringLiteral("None"));
    m_chapters->setToolTip(
        QStringLiteral("Chapter marks for movies without chapters of their own"));
    form->addRow(QStringLiteral("Chapters every:"), m_chapters);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    m_ok = buttons->button(QDialogButtonBox::Ok);
    m_ok->setText(QStringLiteral("Make DVD"));
    form->addRow(buttons);

    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(folderButton, &QPushButton::clicked, this, &MakeDvdDialog::chooseFolder);
    connect(m_isoButton, &QPushButton::clicked, this, &MakeDvdDialog::chooseIso);
    connect(m_folder, &QLineEdit::textChanged, this, &MakeDvdDialog::updateOk);
    connect(m_iso, &QLineEdit::textChanged, this, &MakeDvdDialog::updateOk);
    connect(m_isoWanted, &QCheckBox::toggled, this, &MakeDvdDialog::updateOk);
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
