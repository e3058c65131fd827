#pragma once

#include "base/picture.h"
#include "customcolors.h"
#include "document/edithistory.h"
#include "document/menudocument.h"
#include "imageio/picturetype.h"
#include "recentfiles.h"
#include "remotewalk.h"
#include "settings.h"

#include <QMainWindow>
#include <QStringList>

#include <functional>

class HelpViewer;
class ImageExportDialog;
class ItemsPage;
class MainPage;
class PageControl;
class PreviewBox;
class PreviewPane;
class QDragEnterEvent;
class QDragMoveEvent;
class QDropEvent;
class QSplitter;
class TAboutForm;
class TClipForm;
class TvMenus;
class WindowMenus;
struct LegibilityWarning;

// What a new menu in the editor starts with beyond the document's defaults.
void StartBlankMenu(MenuDocument& doc);

// The main window: the Main and Items pages at the left, the preview pane at the right,
// the menus. Owns the document, its history and the remembered folders, and wires the
// document to the pages.
class TForm1 : public QMainWindow {
    Q_OBJECT
public:
    // Builds the window and runs the creation steps (settings, font list, image size).
    explicit TForm1(QWidget* parent = nullptr);
    ~TForm1() override;

    // The dialogs created after the main window; either may be null (then its button does nothing).
    void attachDialogs(TClipForm* clipForm, TAboutForm* aboutForm);
    // The arguments after the program name; exactly one is opened when the window is first shown.
    void setStartupArguments(const QStringList& arguments) { m_arguments = arguments; }
    // Where the help pages live (default: "help" beside the executable).
    void setHelpFolder(const QString& folder) { m_helpFolder = folder; }

    MenuDocument& doc() { return m_doc; }
    PreviewBox* previewBox() const;
    HelpViewer* helpViewer() const { return m_helpViewer; } // null until help is first needed
    QString& lastClipDir() { return LastClipDir; }
    const QString& lastSaveImageDir() const { return LastSaveImageDir; }
    const QString& lastFileDir() const { return LastFileDir; }
    const CustomColorList& customColors() const { return m_customColors; }
    ImageExportDialog* imageSaveDialog(); // created on first use, kept for the run
    const EditHistory& history() const { return m_history; }
    // The document differs from the file it came from (or from a new menu).
    bool isModified() const { return m_history.isModified(); }
    const RecentFiles& recentFiles() const { return m_recent; }

    // Commands of the menus and buttons.
    void New1Click();
    void Open1Click();
    void Save1Click();   // to the current file; asks for a name only when there is none
    void SaveAs1Click(); // always asks for a name
    void Undo1Click();
    void Redo1Click();
    void ImageSaveClick();
    // The disc folder and image, then the disc made with a progress dialog (mainwindowdvd.cpp).
    void MakeDvdClick();
    // File > Burn disc image: an ISO chosen, then written to a DVD writer and checked.
    void BurnImageClick();
    void Exit1Click();
    void Contents1Click();
    void About1Click();
    void BGColorBtnClick();
    void TextColorBtnClick();

    // The parts of the commands that follow their dialogs.
    // Loads a project; its errors go to the error box, the panel follows the document.
    // A file that fails the format check leaves the window as it was. True when loaded.
    bool openProject(const QString& path);
    // Asks to save unsaved changes first (a project from outside: second start, recent list).
    void openProjectAsking(const QString& path);
    // "Save changes?" when the document is modified; true when the caller may go on.
    bool maybeSave();
    // Saves the project; a failure goes to the error box and changes nothing.
    bool saveProjectAs(const QString& path);
    // Composes the full-size image and writes it. A picture extension in the name chooses
    // the writer, else `selected` does and its suffix is appended. The outcome shows in
    // the status bar, a failure in a box.
    bool exportTo(const QString& path, PictureType selected);
    // Opens the help window at the topic of a context number (300: the menus).
    void ShowHelpContext(int context);

    // Sources: the thumbnail dialog for one item; a dropped file made an item's source or
    // the background (false, with a box saying why, when it cannot be read).
    void openThumbnailDialog(int item);
    bool setItemSource(int item, const QString& path);
    // Several dropped files: item `item` and those after it take them in order.
    void fillItemsFrom(int item, const QStringList& paths);
    bool setBackgroundSource(const QString& path);

    // Lays the preview box out for the panel's size and the image size.
    void UpdatePreviewBounds();
    // Fills every control from the document without composing anything.
    void SyncPanel();

    QString BaseCaption;

protected:
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildMenus();
    void connectMenus();
    void buildLayout();
    QWidget* buildPages(); // the page control with the Main and Items pages
    QWidget* buildButtonStrip();
    void buildPreviewPane();
    void buildTvParts(); // the View and TV menus
    void buildRemoteWalk();
    void selectWarningField(const LegibilityWarning& warning);
    void connectDocument();
    void FormCreate();
    void FormShow();
    void FormResize();
    void FormCloseQuery();
    void LoadSettings();
    void SaveSettings();
    void updateCaption();
    // After every change of the document: history, caption, Undo and Redo.
    void documentChanged();
    void updateEditActions();
    void rebuildRecentMenu();
    void rememberRecent(const QString& path);
    void storeRecent();
    bool saveAsCommand();
    void guarded(const std::function<void()>& command);
    // The colour chooser; false on cancel. Throws for malformed custom colours.
    bool chooseColor(Color initial, Color& chosen, const QString& title = QString());
    HelpViewer* ensureHelpViewer();
    // Drops on the window's fields and preview (mainwindowdrops.cpp); true when handled.
    bool handleDropEvent(QObject* watched, QEvent* event);
    void acceptDropsOn(QWidget* widget);
    // What follows every change of the document besides the preview.
    void followDocument();
    void selectPreset(int mode);

    MenuDocument m_doc;
    Picture ScratchImage;
    QString LastClipDir;
    QString LastSaveImageDir;
    QString LastDiscMenuDir;
    QString m_dvdProject; // the project the disc folder and image below were chosen for
    QString LastDvdDir;   // the last disc folder chosen
    QString LastIsoFile;  // the last image, empty when none was wanted
    QString LastFileDir;
    CustomColorList m_customColors;
    StoredSettings m_storedSettings; // as read, so that only what changed is written
    QString m_helpFolder;
    QStringList m_arguments;
    int m_normalWidth = 0;
    int m_normalHeight = 0;
    bool m_shown = false;
    bool m_paintErrorPending = false;
    TClipForm* m_clipForm = nullptr;
    TAboutForm* m_aboutForm = nullptr;
    HelpViewer* m_helpViewer = nullptr;
    ImageExportDialog* m_imageSaveDialog = nullptr;
    PictureType m_lastExportType = PictureType::Png; // lossless and small, what menus want
    EditHistory m_history;
    // Ended in the destructor: QWidget's own destructor hides the window, and the focus
    // change that causes must not reach the history of a destroyed window.
    QMetaObject::Connection m_focusConnection;
    RecentFiles m_recent;
    RemoteWalk m_walk;
    bool m_loading = false;

    WindowMenus* m_menus = nullptr;
    TvMenus* m_tvMenus = nullptr;
    QSplitter* Splitter1 = nullptr;
    QWidget* LeftPanel = nullptr;
    PageControl* PageControl1 = nullptr;
    MainPage* m_mainPage = nullptr;
    ItemsPage* m_itemsPage = nullptr;
    PreviewPane* m_previewPane = nullptr;
};
