#pragma once

#include <QObject>

#include <array>

class QAction;
class QActionGroup;
class QMenu;
class QMenuBar;

// The File, Edit and Help menus of the main window. The window connects the actions to
// its commands; F1 on an open menu asks for the menus' own help topic.
class WindowMenus : public QObject {
    Q_OBJECT
public:
    // `captions` of the four image sizes, in the order VCD NTSC, VCD PAL, DVD NTSC, DVD PAL.
    WindowMenus(QMenuBar* bar, const std::array<QString, 4>& captions, QObject* parent);

    QMenu* recentMenu() const { return Recent1; }
    QMenu* helpMenu() const { return Help1; }
    QAction* newAction() const { return New1; }
    QAction* openAction() const { return Open1; }
    QAction* saveAction() const { return Save1; }
    QAction* saveAsAction() const { return SaveAs1; }
    QAction* imageSaveAction() const { return ImageSave; }
    QAction* discMenuSaveAction() const { return DiscMenuSave; }
    QAction* makeDvdAction() const { return MakeDvd1; }
    QAction* burnImageAction() const { return BurnImage1; }
    QAction* exitAction() const { return Exit1; }
    QAction* undoAction() const { return Undo1; }
    QAction* redoAction() const { return Redo1; }
    QAction* contentsAction() const { return Contents1; }
    QAction* aboutAction() const { return About1; }
    QAction* presetAction(int mode) const { return presetActions[static_cast<std::size_t>(mode)]; }

signals:
    void presetChosen(int mode);
    // F1 pressed while a menu was open; the menus are closed.
    void menuHelpRequested();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildFileMenu(QMenuBar* bar, const std::array<QString, 4>& captions);

    QMenu* File1 = nullptr;
    QMenu* Recent1 = nullptr;
    QMenu* EditMenu = nullptr;
    QMenu* Imagesize1 = nullptr;
    QMenu* Help1 = nullptr;
    QAction* New1 = nullptr;
    QAction* Open1 = nullptr;
    QAction* Save1 = nullptr;
    QAction* SaveAs1 = nullptr;
    QAction* ImageSave = nullptr;
    QAction* DiscMenuSave = nullptr;
    QAction* MakeDvd1 = nullptr;
    QAction* BurnImage1 = nullptr;
    QAction* Exit1 = nullptr;
    QAction* Undo1 = nullptr;
    QAction* Redo1 = nullptr;
    QAction* Contents1 = nullptr;
    QAction* About1 = nullptr;
    std::array<QAction*, 4> presetActions{};
    QActionGroup* presetGroup = nullptr;
};
