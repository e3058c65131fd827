#pragma once

#include "base/picture.h"

#include <QDialog>
#include <QMessageBox>
#include <QString>

#include <cstdint>
#include <functional>
#include <memory>

class ClipVideoWidget;
class MoviePlayer;
class MenuDocument;
class QFrame;
class QLabel;
class QLineEdit;
class QSettings;
class QPushButton;
class QSlider;

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

    enum class ViewMode {
        None,
        Picture,
        Movie,
    };
    ViewMode viewMode() const { return m_viewMode; }
    // The open movie, or nullptr when none is open.
    MoviePlayer* mediaPlayer() const;
    // The picture shown in picture mode (what OK stores then).
    const Picture& previewPicture() const { return m_preview; }

    // Every message box of the dialog goes through here (icon, title, text); the
    // default shows a modal QMessageBox with an OK button. Tests replace it.
    std::function<void(QMessageBox::Icon, const QString&, const QString&)> showMessage;

    // What the file buttons do once their chooser has returned `path`: remember its
    // folder and show it at frame 0. A file that does not load is reported and the
    // dialog keeps the source it had.
    void showMovieFile(const QString& path);
    void showPictureFile(const QString& path);

    // Keeps the dialog's size between runs in the store `openStore` opens (the editor's
    // settings); reads it at once.
    void rememberSize(std::function<std::unique_ptr<QSettings>()> openStore);

    // How long OK waits for the frame at the slider's position.
    static constexpr int kFrameWaitMs = 3000;
    // The smallest size, which is also the first.
    static constexpr int kBaseWidth = 313;
    static constexpr int kBaseHeight = 388;
    // How much lower than that the view lets the dialog be on a small (or magnified) screen.
    static constexpr int kViewShrink = 140;

    QPushButton* MovieBtn = nullptr;
    QPushButton* ImageBtn = nullptr;
    QPushButton* ClearBtn = nullptr;
    QLineEdit* MovieEdit = nullptr;
    QFrame* Panel1 = nullptr;
    QWidget* VideoPanel = nullptr;
    QLabel* Image1 = nullptr;
    ClipVideoWidget* VideoWindow1 = nullptr;
    QSlider* TrackBar1 = nullptr;
    QLabel* FrameLabel = nullptr; // "Frame: 37  (0:00:01.07)"
    QPushButton* BackSecondBtn = nullptr;
    QPushButton* BackFrameBtn = nullptr;
    QPushButton* ForwardFrameBtn = nullptr;
    QPushButton* ForwardSecondBtn = nullptr;
    QLabel* GotoLabel = nullptr;
    QLineEdit* GotoEdit = nullptr; // a time code or seconds; Enter jumps there
    QPushButton* AutoBtn = nullptr;
    QPushButton* OKBtn = nullptr;
    QPushButton* CancelBtn = nullptr;

public slots:
    // Stores the pending source, frame and picture into the item and closes with OK.
    void OKBtnClick();
    void MovieBtnClick();
    void ImageBtnClick();
    void ClearBtnClick();
    void TrackBar1Change();
    // Moves the slider to a representative frame of the open movie, chosen as
    // menuframeN=auto chooses it.
    void AutoBtnClick();
    // Every way of closing ends here; the view is reset afterwards.
    void done(int result) override;

protected:
    void showEvent(QShowEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void FormShow();
    // Show `path` (at `frame`); false, with the reason told and nothing changed, when
    // the file does not load.
    bool ShowMovie(const QString& path, int frame);
    bool ShowPicture(const QString& path);
    void ResetView();
    // Makes `path` the source shown in `mode` and sets the controls for that mode.
    void showSource(const QString& path, ViewMode mode);
    void buildButtons();
    void layOut();
    void fitView();
    void jumpToTyped();
    void showFrameInGoto();
    void showApplicationError(const QString& text);
    void buildStepButtons();
    // Moves the slider by `frames` within its range (movies only).
    void stepBy(int frames);
    void updateStepButtons();
    void rememberFolderOf(const QString& path);

    MenuDocument& m_doc;
    QString& m_lastClipDir;
    QString m_path; // the source shown, which OK stores
    // The item's own source did not load: OK leaves the item as it is.
    bool m_keepItem = false;
    std::function<std::unique_ptr<QSettings>()> m_openStore;
    ViewMode m_viewMode = ViewMode::None;
    std::int64_t m_frameCount = 0;
    std::int64_t m_duration = 0;
    double m_timePerFrame = 0;
    int m_framesPerSecond = 1; // whole frames that make a second of the time code
    double m_realFramesPerSecond = 1;
    std::unique_ptr<MoviePlayer> m_player;
    Picture m_preview;
    bool m_centred = false;
};
