// The main window's commands: files, export, colours, help, settings.
#include "mainwindow.h"

#include "aboutform.h"
#include "colorswatch.h"
#include "document/projectfile.h"
#include "editorloadhost.h"
#include "exportdialog.h"
#include "helpviewer.h"
#include "imageio/imageunit.h"
#include "output/menuoutputs.h"
#include "render/drawmenu.h"
#include "savechanges.h"
#include "widgets/busycursor.h"
#include "widgets/messages.h"

#include <QColorDialog>
#include <QCoreApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QScreen>
#include <QSettings>

#include <QStatusBar>
#include <utility>

#include <array>

namespace {

const QStringList kProjectFilters = {QStringLiteral("Tavrel files (*.tavrel)"),
                                     QStringLiteral("All files (*)")};

// The folder part of a chosen path, with its trailing separator.
QString folderOf(const QString& path)
{
    return path.left(path.lastIndexOf(QLatin1Char('/')) + 1);
}

// What a custom colour slot shows; an empty slot (-1) shows white.
QColor slotColor(std::int32_t value)
{
    return value == -1 ? QColor(Qt::white) : ToQColor(static_cast<Color>(value) & 0xFFFFFF);
}

} // namespace

void TForm1::New1Click()
{
    if (!maybeSave())
        return;
    m_loading = true;
    guarded([&] {
        // Composed once, when the blank menu is complete.
        auto refresh = std::exchange(m_doc.onRefresh, {});
        try {
            m_doc.Reset();
        } catch (...) {
            m_doc.onRefresh = std::move(refresh);
            throw;
        }
        StartBlankMenu(m_doc);
        m_doc.onRefresh = std::move(refresh);
        SyncPanel();
        m_doc.refresh();
    });
    m_loading = false;
    m_history.reset(m_doc);
    updateEditActions();
    updateCaption();
}

void TForm1::Open1Click()
{
    if (!maybeSave())
        return;
    QFileDialog dialog(this);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setNameFilters(kProjectFilters);
    if (!LastFileDir.isEmpty())
        dialog.setDirectory(LastFileDir);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return;
    const QString path = dialog.selectedFiles().front();
    QCoreApplication::processEvents();
    LastFileDir = folderOf(path);
    openProject(path);
}

bool TForm1::openProject(const QString& path)
{
    const std::string previousFile = m_doc.CurrentFileName;
    bool completed = false;
    bool formatOk = false;
    m_loading = true;
    {
        EditorLoadHost host(m_clipForm, this, LastClipDir);
        guarded([&] {
            formatOk = LoadProject(m_doc, path.toStdString(), host);
            completed = true;
        });
    }
    m_loading = false;
    m_doc.RenderEnabled = true;
    // A rejected file is not the current file: the next Save must not overwrite it.
    if (completed && !formatOk)
        m_doc.setCurrentFileName(previousFile);
    SyncPanel();
    if (completed && formatOk) {
        m_history.reset(m_doc);
        rememberRecent(path);
    } else if (m_history.record(m_doc)) {
        // A load that stopped half-way changed fields: one step that Undo takes back.
        m_history.closeStep();
    }
    updateEditActions();
    updateCaption();
    return completed && formatOk;
}

void TForm1::Save1Click()
{
    if (m_doc.CurrentFileName.empty())
        saveAsCommand();
    else
        saveProjectAs(QString::fromStdString(m_doc.CurrentFileName));
}

void TForm1::SaveAs1Click()
{
    saveAsCommand();
}

bool TForm1::saveAsCommand()
{
    QFileDialog dialog(this);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setNameFilters(kProjectFilters);
    dialog.setDefaultSuffix(QStringLiteral("tavrel"));
    dialog.setOption(QFileDialog::DontConfirmOverwrite, false);
    if (m_doc.CurrentFileName.empty()) {
        if (!LastFileDir.isEmpty())
            dialog.setDirectory(LastFileDir);
    } else {
        // The folder as well as the name: not every file chooser takes it from the path.
        const QFileInfo current(QString::fromStdString(m_doc.CurrentFileName));
        dialog.setDirectory(current.absolutePath());
        dialog.selectFile(current.fileName());
    }
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return false;
    const QString path = dialog.selectedFiles().front();
    QCoreApplication::processEvents();
    return saveProjectAs(path);
}

bool TForm1::maybeSave()
{
    if (!isModified())
        return true;
    switch (AskSaveChanges(this, QString::fromStdString(m_doc.CurrentFileName))) {
    case SaveChangesAnswer::Save:
        if (m_doc.CurrentFileName.empty())
            return saveAsCommand();
        return saveProjectAs(QString::fromStdString(m_doc.CurrentFileName));
    case SaveChangesAnswer::Discard:
        return true;
    case SaveChangesAnswer::Cancel:
        break;
    }
    return false;
}

bool TForm1::saveProjectAs(const QString& path)
{
    bool saved = false;
    guarded([&] {
        SaveProject(m_doc, path.toStdString());
        saved = true;
    });
    if (saved) {
        m_history.markSaved(m_doc);
        rememberRecent(path);
        updateEditActions();
        updateCaption();
    }
    return saved;
}

ImageExportDialog* TForm1::imageSaveDialog()
{
    if (!m_imageSaveDialog)
        m_imageSaveDialog = new ImageExportDialog(this);
    return m_imageSaveDialog;
}

void TForm1::ImageSaveClick()
{
    ImageExportDialog* dialog = imageSaveDialog();
    const QString project =
        m_doc.CurrentFileName.empty()
            ? QString()
            : QFileInfo(QString::fromStdString(m_doc.CurrentFileName)).completeBaseName();
    // First beside the project (or where projects were last kept) rather than at home.
    QString folder = LastSaveImageDir;
    if (folder.isEmpty())
        folder = m_doc.CurrentFileName.empty()
                     ? LastFileDir
                     : folderOf(QString::fromStdString(m_doc.CurrentFileName));
    dialog->propose(folder, project, m_lastExportType);
    if (dialog->exec() != QDialog::Accepted)
        return;
    const QString path = dialog->chosenPath();
    if (path.isEmpty())
        return;
    LastSaveImageDir = folderOf(path);
    m_lastExportType = dialog->chosenType();
    exportTo(path, dialog->selectedType());
}

bool TForm1::exportTo(const QString& requested, PictureType selected)
{
    const PictureType type = ExportTypeFor(requested, selected);
    const QString path = ExportFileName(requested, type);
    QCoreApplication::processEvents(); // the closed dialog leaves the screen first
    // The TV warnings are on the panel already; only the file's fate is news here.
    class ExportReporter : public OutputReporter {
    public:
        void warning(const std::string&) override {}
        void saved(const std::string&) override {}
        void note(const std::string&) override {}
        void failure(const std::string& text) override { failed = text; }
        std::string failed;
    } reporter;
    MenuOutputs outputs;
    outputs.exportFile = path.toStdString();
    outputs.type = type;
    outputs.requireSources = false; // the preview shows the same empty frame
    {
        const BusyCursor busy;
        WriteMenuOutputs(m_doc, outputs, reporter);
    }
    const bool saved = reporter.failed.empty();
    if (saved)
        statusBar()->showMessage(path + QStringLiteral(" saved"), 15000);
    else
        ShowMessage(MessageKind::Error, QString::fromStdString(reporter.failed), this);
    return saved;
}

void TForm1::Exit1Click()
{
    close();
}

HelpViewer* TForm1::ensureHelpViewer()
{
    if (!m_helpViewer)
        m_helpViewer = new HelpViewer(m_helpFolder, this);
    return m_helpViewer;
}

void TForm1::Contents1Click()
{
    ensureHelpViewer()->showContents();
}

void TForm1::ShowHelpContext(int context)
{
    ensureHelpViewer()->showContext(context);
}

void TForm1::About1Click()
{
    if (m_aboutForm)
        m_aboutForm->exec();
}

bool TForm1::chooseColor(Color initial, Color& chosen, const QString& title)
{
    CustomColorList::Slots stored = m_customColors.values();
    for (int i = 0; i < CustomColorList::kSlots; ++i)
        QColorDialog::setCustomColor(i, slotColor(stored[static_cast<std::size_t>(i)]));
    QColorDialog dialog(ToQColor(initial), this);
    dialog.setObjectName(QStringLiteral("ColorDialog"));
    // Qt's own title spells the word the other way.
    dialog.setWindowTitle(title.isEmpty() ? QStringLiteral("Choose colour") : title);
    // A desktop's own chooser would not show the sixteen shared custom colours.
    dialog.setOption(QColorDialog::DontUseNativeDialog);
    if (dialog.exec() != QDialog::Accepted)
        return false;
    for (int i = 0; i < CustomColorList::kSlots; ++i) {
        std::int32_t& slot = stored[static_cast<std::size_t>(i)];
        const QColor now = QColorDialog::customColor(i);
        // A slot the user left alone keeps its stored value, an empty one included.
        if (now.rgb() != slotColor(slot).rgb())
            slot = static_cast<std::int32_t>(FromQColor(now));
    }
    m_customColors.store(stored);
    chosen = FromQColor(dialog.selectedColor());
    return true;
}

void TForm1::LoadSettings()
{
    const std::unique_ptr<QSettings> store = OpenSettingsStore();
    m_storedSettings = ReadStoredSettings(*store);
    const EditorSettings s =
        ReadSettings(*store, [this](const QString& text) { ShowErrorBox(text, this); });
    if (s.MainWidth > 0)
        resize(s.MainWidth, height());
    if (s.MainHeight > 0)
        resize(width(), s.MainHeight);
    m_normalWidth = width();
    m_normalHeight = height();
    if (const QScreen* screen = this->screen()) {
        QRect frame(QPoint(), size());
        frame.moveCenter(screen->availableGeometry().center());
        move(frame.topLeft());
    }
    if (s.MainMaximized)
        setWindowState(windowState() | Qt::WindowMaximized);
    LastClipDir = s.LastClipDir;
    LastSaveImageDir = s.LastSaveImageDir;
    LastFileDir = s.LastFileDir;
    if (const PictureType type = PictureTypeByName(s.LastSaveImageType.toStdString());
        type != PictureType::None)
        m_lastExportType = type;
    m_recent.read(*store);
    m_doc.VideoMode = s.VideoMode;
    m_customColors = CustomColorList(s.CustomColors);
}

void TForm1::SaveSettings()
{
    EditorSettings s;
    s.MainWidth = m_normalWidth;
    s.MainHeight = m_normalHeight;
    s.MainMaximized = isMaximized();
    s.LastClipDir = LastClipDir;
    s.LastSaveImageDir = LastSaveImageDir;
    s.LastFileDir = LastFileDir;
    s.LastSaveImageType = QLatin1String(PictureTypeSuffix(m_lastExportType));
    s.VideoMode = m_doc.VideoMode;
    s.CustomColors = m_customColors.text();
    const std::unique_ptr<QSettings> store = OpenSettingsStore();
    WriteSettings(*store, s, &m_storedSettings);
    m_storedSettings = ReadStoredSettings(*store);
}

void TForm1::FormCloseQuery()
{
    if (m_helpViewer)
        m_helpViewer->close();
    // A failure to store the settings is reported; the window closes all the same.
    guarded([&] { SaveSettings(); });
}
