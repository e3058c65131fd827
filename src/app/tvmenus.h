#pragma once

#include "document/menudocument.h"

#include <QObject>

#include <array>
#include <functional>

class PreviewBox;
class QAction;
class QActionGroup;
class QMenu;
class QMenuBar;

// The View menu (the safe areas over the preview and which set of them) and the TV menu
// (the menu's aspect, "Fit text", "TV-safe output"), inserted before `before` in the
// menu bar. The safe-area switch and set are remembered in the settings; the rest
// belongs to the document.
class TvMenus : public QObject {
    Q_OBJECT
public:
    TvMenus(QMenuBar* bar, QMenu* before, MenuDocument& doc, PreviewBox* preview,
            QObject* parent = nullptr);

    // The marks follow the document (after New or Open).
    void sync();
    // Reads the safe-area switch and set from the settings; missing values: off, today's set.
    void loadSettings();

    // Runs each change of the document; the main window passes its error box.
    std::function<void(const std::function<void()>&)> guarded;
    // Called after the aspect changed, to re-lay the preview box.
    std::function<void()> onAspectChanged;
    QMenu* viewMenu() const { return View1; }

private:
    QMenu* View1 = nullptr;
    QMenu* Tv1 = nullptr;
    QAction* SafeAreas1 = nullptr;
    std::array<QAction*, 2> safeSetActions{}; // today's, classic CRT
    std::array<QAction*, 3> aspectActions{};  // pixels, 4:3, 16:9
    QAction* FitText1 = nullptr;
    QAction* TvSafe1 = nullptr;
    QAction* SafeLayout1 = nullptr;

    void saveSettings();
    void run(const std::function<void()>& change);

    MenuDocument& m_doc;
    PreviewBox* m_preview;
};
