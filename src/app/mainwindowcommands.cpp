// The main window's commands: files, export, colours, help, settings.
#include "mainwindow.h"

#include "aboutform.h"
#include "busycursor.h"
#include "colorswatch.h"
#include "document/projectfile.h"
#include "editorloadhost.h"
#include "helpviewer.h"
#include "imageio/imageunit.h"
#include "messages.h"
#include "picturedialog.h"
#include "render/drawmenu.h"

#include <QColorDialog>
#include <QCoreApplication>
#include <QFileDialog>
#include <QLineEdit>
#include <QScreen>
#include <QSettings>

#include <array>

namespace {

const QStringList kProjectFilters = {QStringLiteral("Tavrel files (*.tavrel)"),
                                     QStringLiteral("All files (*)")};

const std::array<const char*, 4> kImageSuffixes = {"bmp", "gif", "jpg", "png"};

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
    guarded([&] { m_doc.Reset(); });
}

void TForm1::Open1Click()
{
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

void TForm1::openProject(const QString& path)
{
    {
        EditorLoadHost host(m_clipForm, this, LastClipDir);
        guarded([&] { LoadProject(m_doc, path.toStdString(), host); });
    }
    m_doc.RenderEnabled = true;
    SyncPanel();
}

void TForm1::Save1Click()
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
        dialog.selectFile(QString::fromStdString(m_doc.CurrentFileName));
    }
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return;
    const QString path = dialog.selectedFiles().front();
    QCoreApplication::processEvents();
    saveProjectAs(path);
}

void TForm1::saveProjectAs(const QString& path)
{
    guarded([&] { SaveProject(m_doc, path.toStdString()); });
}

QFileDialog* TForm1::imageSaveDialog()
{
    if (!m_imageSaveDialog) {
        m_imageSaveDialog = new QFileDialog(this, QStringLiteral("Save Image File"));
        m_imageSaveDialog->setObjectName(QStringLiteral("ImageSaveDialog"));
        // Qt's own dialog reports the change of file type, which keeps the suffix in step.
        m_imageSaveDialog->setOption(QFileDialog::DontUseNativeDialog, true);
        m_imageSaveDialog->setAcceptMode(QFileDialog::AcceptSave);
        m_imageSaveDialog->setFileMode(QFileDialog::AnyFile);
        m_imageSaveDialog->setNameFilters(
            {QStringLiteral("BMP image (*.bmp)"), QStringLiteral("GIF image (*.gif)"),
             QStringLiteral("JPG image (*.jpg)"), QStringLiteral("PNG image (*.png)")});
        m_imageSaveDialog->setDefaultSuffix(QStringLiteral("bmp"));
        connect(m_imageSaveDialog, &QFileDialog::filterSelected, this,
                [this](const QString& filter) {
                    ImageSaveDialogTypeChange(
                        static_cast<int>(m_imageSaveDialog->nameFilters().indexOf(filter)) + 1);
                });
    }
    return m_imageSaveDialog;
}

void TForm1::ImageSaveDialogTypeChange(int fileType)
{
    if (fileType >= 1 && fileType <= 4)
        imageSaveDialog()->setDefaultSuffix(
            QLatin1String(kImageSuffixes[static_cast<std::size_t>(fileType - 1)]));
}

void TForm1::ImageSaveClick()
{
    QFileDialog* dialog = imageSaveDialog();
    if (!LastSaveImageDir.isEmpty())
        dialog->setDirectory(LastSaveImageDir);
    // Every export starts with an empty name.
    if (auto* name = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit")))
        name->clear();
    if (dialog->exec() != QDialog::Accepted || dialog->selectedFiles().isEmpty())
        return;
    const QString path = dialog->selectedFiles().front();
    LastSaveImageDir = folderOf(path);
    const int fileType =
        static_cast<int>(dialog->nameFilters().indexOf(dialog->selectedNameFilter())) + 1;
    exportTo(path, fileType);
}

bool TForm1::exportTo(const QString& path, int fileType)
{
    QCoreApplication::processEvents(); // the closed dialog leaves the screen first
    bool saved = false;
    {
        const BusyCursor busy;
        try {
            const Picture image = ComposeMenuImage(m_doc, ScratchImage);
            const std::string name = path.toStdString();
            switch (fileType) {
            case 1:
                saved = SaveAsBMP(name, image);
                break;
            case 2:
                saved = SaveAsGIF(name, image);
                break;
            case 3:
                saved = SaveAsJPG(name, image);
                break;
            case 4:
                saved = SaveAsPNG(name, image);
                break;
            default:
                break;
            }
        } catch (...) {
            saved = false; // the cause is not shown: only that the file was not saved
        }
    }
    if (saved)
        ShowMessage(MessageKind::Information, path + QStringLiteral(" saved"), this);
    else
        ShowMessage(MessageKind::Error, QStringLiteral("Error saving ") + path, this);
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

void TForm1::BGImageBtnClick()
{
    if (!m_pictureDialog) {
        m_pictureDialog = new PictureFileDialog(this);
        m_pictureDialog->setWindowTitle(QStringLiteral("Select Image"));
        m_pictureDialog->setNameFilters(
            {QStringLiteral("Image files (*.jpg *.jpeg *.bmp *.gif *.png)"),
             QStringLiteral("All files (*)")});
    }
    if (!LastClipDir.isEmpty())
        m_pictureDialog->setDirectory(LastClipDir);
    if (m_pictureDialog->exec() != QDialog::Accepted || m_pictureDialog->selectedFiles().isEmpty())
        return;
    const QString path = m_pictureDialog->selectedFiles().front();
    BGImage->setText(path);
    LastClipDir = folderOf(path);
}

bool TForm1::chooseColor(Color initial, Color& chosen)
{
    CustomColorList::Slots stored = m_customColors.values();
    for (int i = 0; i < CustomColorList::kSlots; ++i)
        QColorDialog::setCustomColor(i, slotColor(stored[static_cast<std::size_t>(i)]));
    QColorDialog dialog(ToQColor(initial), this);
    dialog.setObjectName(QStringLiteral("ColorDialog"));
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

void TForm1::BGColorBtnClick()
{
    guarded([&] {
        Color color = m_doc.bgcolor;
        if (!chooseColor(m_doc.bgcolor, color))
            return;
        BGColorPanel->setColor(color);
        m_doc.setBgcolor(color);
    });
}

void TForm1::TextColorBtnClick()
{
    guarded([&] {
        Color color = m_doc.textcolor;
        if (!chooseColor(m_doc.textcolor, color))
            return;
        TextColorPanel->setColor(color);
        m_doc.setTextcolor(color);
    });
}

void TForm1::LoadSettings()
{
    const std::unique_ptr<QSettings> store = OpenSettingsStore();
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
    s.VideoMode = m_doc.VideoMode;
    s.CustomColors = m_customColors.text();
    const std::unique_ptr<QSettings> store = OpenSettingsStore();
    WriteSettings(*store, s);
}

void TForm1::FormCloseQuery()
{
    if (m_helpViewer)
        m_helpViewer->close();
    // A failure to store the settings is reported; the window closes all the same.
    guarded([&] { SaveSettings(); });
}
