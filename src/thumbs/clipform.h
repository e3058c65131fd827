#pragma once

#include <QDialog>
#include <QString>

class MenuDocument;

// The thumbnail dialog: takes item CurrentItem's thumbnail from a picture file or a
// movie frame. Created once at start-up, shown modally by the item buttons and
// non-modally by the project reader, which then presses OK in code.
class TClipForm : public QDialog {
    Q_OBJECT
public:
    // `lastClipDir` is the main window's remembered folder, shared with the
    // background picture chooser; the dialog reads and updates it.
    TClipForm(MenuDocument& doc, QString& lastClipDir, QWidget* parent = nullptr);
    ~TClipForm() override;

    int CurrentItem = 1; // 1..10, set by the caller before showing

public slots:
    // Stores the pending source, frame and picture into the item and closes with OK.
    void OKBtnClick();
};
