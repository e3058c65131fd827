#include "clipform.h"

#include "busycursor.h"
#include "clipvideowidget.h"
#include "document/menudocument.h"
#include "fixedframe.h"
#include "imageio/imageunit.h"
#include "imageio/picturefailure.h"
#include "messages.h"
#include "picturedialog.h"
#include "render/fitrect.h"
#include "thumbs/autoframe.h"
#include "thumbs/mediaplayer.h"
#include "thumbs/moviefailure.h"
#include "thumbs/timecode.h"

#include <QCoreApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QFrame>
#include <QGuiApplication>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QPushButton>
#include <QScreen>
#include <QShortcut>
#include <QShowEvent>
#include <QSlider>

#include <algorithm>
#include <chrono>
#include <climits>
#include <cmath>
#include <exception>

namespace {

const QString kMovieTitle = QStringLiteral("Select movie file");
// What FFmpeg opens in practice; anything else is one "All files" away.
const QString kMovieFilter =
    QStringLiteral("Movie files (*.mpg *.mpeg *.m2v *.vob *.ts *.m2ts *.mts *.mp4 *.m4v *.mov "
                   "*.mkv *.webm *.avi *.wmv *.asf *.flv *.3gp *.ogv *.dv);;All files (*)");
const QString kPictureTitle = QStringLiteral("Select image file");
const QString kPictureFilter =
    QStringLiteral("Image files (*.bmp *.gif *.jpg *.jpeg *.png);;All files (*)");

void Place(QWidget* w, int left, int top, int width, int height)
{
    w->setGeometry(left, top, width, height);
}

} // namespace

TClipForm::TClipForm(MenuDocument& doc, QString& lastClipDir, QWidget* parent)
    : QDialog(parent), m_doc(doc), m_lastClipDir(lastClipDir)
{
    setWindowTitle(QStringLiteral("Thumbnail Image"));
    setFixedSize(313, 362);
    UseFixedDialogFrame(this);

    MovieBtn = new QPushButton(QStringLiteral("Movie Frame"), this);
    MovieBtn->setObjectName(QStringLiteral("MovieBtn"));
    Place(MovieBtn, 13, 13, 93, 20);
    ImageBtn = new QPushButton(QStringLiteral("Image File"), this);
    ImageBtn->setObjectName(QStringLiteral("ImageBtn"));
    Place(ImageBtn, 111, 13, 92, 20);
    ClearBtn = new QPushButton(QStringLiteral("Clear"), this);
    ClearBtn->setObjectName(QStringLiteral("ClearBtn"));
    Place(ClearBtn, 207, 13, 93, 20);

    MovieEdit = new QLineEdit(this);
    MovieEdit->setObjectName(QStringLiteral("MovieEdit"));
    MovieEdit->setReadOnly(true);
    MovieEdit->setFocusPolicy(Qt::ClickFocus);
    QPalette face = MovieEdit->palette();
    face.setColor(QPalette::Base, face.color(QPalette::Window));
    MovieEdit->setPalette(face);
    Place(MovieEdit, 13, 46, 288, 21);

    Panel1 = new QFrame(this);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel1->setFrameShape(QFrame::Panel);
    Panel1->setFrameShadow(QFrame::Sunken);
    Panel1->setLineWidth(1);
    Place(Panel1, 13, 72, 288, 196);
    VideoPanel = new QWidget(Panel1);
    VideoPanel->setObjectName(QStringLiteral("VideoPanel"));
    Place(VideoPanel, 1, 1, 286, 194);

    Image1 = new QLabel(VideoPanel);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setScaledContents(true);
    Place(Image1, 0, 0, 286, 194);
    Image1->hide();
    VideoWindow1 = new ClipVideoWidget(VideoPanel);
    VideoWindow1->setObjectName(QStringLiteral("VideoWindow1"));
    Place(VideoWindow1, 0, 0, 286, 194);

    TrackBar1 = new QSlider(Qt::Horizontal, this);
    TrackBar1->setObjectName(QStringLiteral("TrackBar1"));
    TrackBar1->setRange(0, 0);
    TrackBar1->setValue(0);
    TrackBar1->setPageStep(100);
    TrackBar1->setSingleStep(1);
    TrackBar1->setTickPosition(QSlider::NoTicks);
    TrackBar1->setEnabled(false);
    Place(TrackBar1, 13, 280, 288, 20);

    FrameLabel = new QLabel(QStringLiteral("Frame: 0"), this);
    FrameLabel->setObjectName(QStringLiteral("FrameLabel"));
    FrameLabel->setAlignment(Qt::AlignCenter);
    Place(FrameLabel, 75, 302, 163, 20);
    buildStepButtons();

    // Apart from OK and Cancel, at the left of their row.
    AutoBtn = new QPushButton(QStringLiteral("Auto"), this);
    AutoBtn->setObjectName(QStringLiteral("AutoBtn"));
    AutoBtn->setToolTip(QStringLiteral("Choose a representative frame of the movie"));
    AutoBtn->setAutoDefault(false);
    AutoBtn->setEnabled(false);
    Place(AutoBtn, 13, 332, 40, 20);

    OKBtn = new QPushButton(QStringLiteral("OK"), this);
    OKBtn->setObjectName(QStringLiteral("OKBtn"));
    Place(OKBtn, 56, 332, 90, 20);
    CancelBtn = new QPushButton(QStringLiteral("Cancel"), this);
    CancelBtn->setObjectName(QStringLiteral("CancelBtn"));
    Place(CancelBtn, 167, 332, 90, 20);
    // Enter takes the frame on show whichever file button was pressed last.
    OKBtn->setDefault(true);
    for (QPushButton* button : {MovieBtn, ImageBtn, ClearBtn})
        button->setAutoDefault(false);

    setTabOrder(MovieBtn, ImageBtn);
    setTabOrder(ImageBtn, ClearBtn);
    setTabOrder(ClearBtn, TrackBar1);
    setTabOrder(TrackBar1, AutoBtn);
    setTabOrder(AutoBtn, OKBtn);
    setTabOrder(OKBtn, CancelBtn);

    connect(MovieBtn, &QPushButton::clicked, this, &TClipForm::MovieBtnClick);
    connect(ImageBtn, &QPushButton::clicked, this, &TClipForm::ImageBtnClick);
    connect(ClearBtn, &QPushButton::clicked, this, &TClipForm::ClearBtnClick);
    connect(AutoBtn, &QPushButton::clicked, this, &TClipForm::AutoBtnClick);
    connect(OKBtn, &QPushButton::clicked, this, &TClipForm::OKBtnClick);
    connect(CancelBtn, &QPushButton::clicked, this, &TClipForm::reject); // Esc rejects as well
    connect(TrackBar1, &QSlider::valueChanged, this, &TClipForm::TrackBar1Change);

    // The application's boxes, so that whatever catches them elsewhere catches these.
    showMessage = [this](QMessageBox::Icon icon, const QString& title, const QString& text) {
        const MessageKind kind = title == QLatin1String("Tavrel Lite") ? MessageKind::ErrorBox
                                 : icon == QMessageBox::Information    ? MessageKind::Information
                                                                       : MessageKind::Error;
        ShowMessage(kind, text, this);
    };
}

TClipForm::~TClipForm()
{
    // The video window must not hear from a worker that outlives it.
    VideoWindow1->setPlayer(nullptr);
    m_player.reset();
}

MediaPlayer* TClipForm::mediaPlayer() const
{
    return m_player && m_player->isOpen() ? m_player.get() : nullptr;
}

void TClipForm::showEvent(QShowEvent* event)
{
    if (!m_centred && !event->spontaneous()) {
        if (const QScreen* screen = QGuiApplication::primaryScreen())
            move(screen->availableGeometry().center() - rect().center());
        m_centred = true;
    }
    QDialog::showEvent(event);
    if (!event->spontaneous())
        FormShow();
}

void TClipForm::FormShow()
{
    if (m_viewMode != ViewMode::None)
        ResetView(); // hidden without closing: start clean
    setWindowTitle(QStringLiteral("Thumbnail Image ") + QString::number(CurrentItem));
    if (CurrentItem >= 1 && CurrentItem <= kItemCount) {
        const ThumbnailSource& source = m_doc.item(CurrentItem).source;
        m_pendingPath = QString::fromStdString(source.menuclip);
        m_pendingFrame = source.menuframe;
        if (!m_pendingPath.isEmpty()) {
            if (m_pendingFrame < 0)
                ShowPicture();
            else
                ShowMovie();
        }
    }
    OKBtn->setFocus();
}

void TClipForm::rememberFolderOf(const QString& path)
{
    QString folder = QFileInfo(path).absolutePath();
    if (!folder.endsWith(QLatin1Char('/')))
        folder += QLatin1Char('/');
    m_lastClipDir = folder;
}

void TClipForm::MovieBtnClick()
{
    const QString path =
        QFileDialog::getOpenFileName(this, kMovieTitle, m_lastClipDir, kMovieFilter);
    if (!path.isEmpty())
        showMovieFile(path);
}

void TClipForm::ImageBtnClick()
{
    PictureFileDialog chooser(this);
    chooser.setWindowTitle(kPictureTitle);
    chooser.setDirectory(m_lastClipDir);
    chooser.setNameFilter(kPictureFilter);
    if (chooser.exec() != QDialog::Accepted || chooser.selectedFiles().isEmpty())
        return;
    showPictureFile(chooser.selectedFiles().constFirst());
}

void TClipForm::showMovieFile(const QString& path)
{
    QCoreApplication::processEvents(); // repaint what the chooser covered
    rememberFolderOf(path);
    m_pendingPath = path;
    m_pendingFrame = 0;
    ShowMovie();
}

void TClipForm::showPictureFile(const QString& path)
{
    QCoreApplication::processEvents();
    rememberFolderOf(path);
    m_pendingPath = path;
    m_pendingFrame = 0;
    ShowPicture();
}

void TClipForm::ShowMovie()
{
    BusyCursor busy;
    MovieEdit->setText(m_pendingPath);
    Image1->hide();
    VideoWindow1->show();
    m_viewMode = ViewMode::Movie;
    AutoBtn->setEnabled(false);

    try {
        if (!m_player)
            m_player = std::make_unique<MediaPlayer>();
        VideoWindow1->setPlayer(nullptr);
        m_player->release();
        m_player->open(m_pendingPath.toStdString());
    } catch (const std::exception& e) {
        busy.restore();
        showApplicationError(
            QString::fromStdString(MovieFailureMessage(m_pendingPath.toStdString(), e)));
        return;
    }
    VideoWindow1->setPlayer(m_player.get());

    if (const FitRect fit = FitInside(m_player->videoWidth(), m_player->videoHeight(),
                                      VideoPanel->width(), VideoPanel->height(), FitRule{});
        fit.visible())
        VideoWindow1->setGeometry(fit.left, fit.top, fit.width, fit.height);

    // The player refuses movies without frames, so the division is safe.
    m_frameCount = m_player->frameCount();
    m_duration = m_player->duration();
    m_timePerFrame = static_cast<double>(m_duration) / static_cast<double>(m_frameCount);
    m_framesPerSecond = m_duration > 0 ? FramesPerSecond(static_cast<double>(m_frameCount) * 1e7 /
                                                         static_cast<double>(m_duration))
                                       : 1;

    // The slider's last position is the last frame.
    TrackBar1->setMaximum(static_cast<int>(std::min<std::int64_t>(m_frameCount - 1, INT_MAX)));
    TrackBar1->setEnabled(true);
    AutoBtn->setEnabled(true);

    QCoreApplication::processEvents();
    if (!m_player || !m_player->isOpen())
        return; // closed meanwhile
    m_player->pause();

    TrackBar1->setValue(std::clamp(m_pendingFrame, 0, TrackBar1->maximum()));
    TrackBar1Change();
}

void TClipForm::TrackBar1Change()
{
    const int position = TrackBar1->value();
    if (MediaPlayer* player = mediaPlayer()) {
        const auto target = static_cast<std::int64_t>(std::nearbyint(position * m_timePerFrame));
        player->seek(target); // served by the player's worker; returns at once
    }
    QString text = QStringLiteral("Frame: ") + QString::number(position);
    if (m_viewMode == ViewMode::Movie)
        text += QStringLiteral("  (") +
                QString::fromStdString(FrameTimeCode(position, m_framesPerSecond)) +
                QLatin1Char(')');
    FrameLabel->setText(text);
    updateStepButtons();
}

void TClipForm::AutoBtnClick()
{
    if (!mediaPlayer())
        return;
    BusyCursor busy;
    int frame = 0;
    try {
        frame = ChooseMovieFrame(m_pendingPath.toStdString()).frame;
    } catch (const std::exception& e) {
        busy.restore();
        showApplicationError(QString::fromStdString(e.what()));
        return;
    }
    TrackBar1->setValue(std::clamp(frame, 0, TrackBar1->maximum()));
}

void TClipForm::ShowPicture()
{
    BusyCursor busy;
    MovieEdit->setText(m_pendingPath);
    VideoWindow1->hide();
    Image1->show();
    m_viewMode = ViewMode::Picture;
    TrackBar1->setMaximum(0);
    TrackBar1->setEnabled(false);
    AutoBtn->setEnabled(false);
    FrameLabel->setText(QStringLiteral("Frame: 0"));
    updateStepButtons();

    std::string reason;
    const bool loaded = LoadThumbnailPicture(m_pendingPath.toStdString(), m_preview, reason);
    if (const FitRect fit = FitInside(m_preview.width(), m_preview.height(), VideoPanel->width(),
                                      VideoPanel->height(), FitRule{});
        fit.visible())
        Image1->setGeometry(fit.left, fit.top, fit.width, fit.height);
    if (m_preview.isEmpty())
        Image1->clear();
    else
        Image1->setPixmap(QPixmap::fromImage(
            QImage(m_preview.data(), m_preview.width(), m_preview.height(),
                   static_cast<qsizetype>(m_preview.stride()), QImage::Format_RGB888)));

    busy.restore();
    if (!loaded)
        showMessage(
            QMessageBox::Critical, QStringLiteral("Error"),
            QString::fromStdString(PictureFailureMessage(m_pendingPath.toStdString(), reason)));
}

void TClipForm::ClearBtnClick()
{
    ResetView();
}

void TClipForm::ResetView()
{
    m_viewMode = ViewMode::None;
    MovieEdit->clear();
    TrackBar1->setMaximum(0);
    TrackBar1->setEnabled(false);
    AutoBtn->setEnabled(false);
    updateStepButtons();

    VideoWindow1->setPlayer(nullptr);
    m_player.reset();

    m_preview.clear();
    Image1->clear();
    Image1->hide();
    VideoWindow1->show();
}

void TClipForm::OKBtnClick()
{
    if (CurrentItem < 1 || CurrentItem > kItemCount) {
        reject();
        return;
    }
    ThumbnailSource& source = m_doc.item(CurrentItem).source;
    const QString clip = MovieEdit->text();
    source.menuclip = clip.toStdString();
    if (clip.isEmpty()) {
        source.ThumbnailImage.clear();
    } else if (m_viewMode == ViewMode::Picture) {
        source.ThumbnailImage = m_preview;
        source.menuframe = -1;
    } else {
        // The frame at the slider's position, not whatever the worker last had: wait
        // (bounded) for the pending seek; without it the old picture stays.
        if (MediaPlayer* player = mediaPlayer()) {
            Picture frame;
            if (player->waitForFrame(std::chrono::milliseconds(kFrameWaitMs)) &&
                player->takeFrame(frame))
                source.ThumbnailImage = std::move(frame);
        }
        source.menuframe = TrackBar1->value();
    }
    accept();
}

void TClipForm::done(int result)
{
    QDialog::done(result);
    ResetView();
}

void TClipForm::showApplicationError(const QString& text)
{
    showMessage(QMessageBox::Critical, QStringLiteral("Tavrel Lite"), ErrorBoxText(text));
}

void TClipForm::buildStepButtons()
{
    struct Step {
        QPushButton*& button;
        const char* name;
        const char* caption;
        const char* hint;
        int left;
        int frames;  // frames to move, or
        int seconds; // seconds to move
        QKeySequence key;
        QKeySequence otherKey;
    };
    const Step steps[] = {
        {BackSecondBtn, "BackSecondBtn", "<<", "One second back (Shift+Left, Page Up)", 13, 0, -1,
         QKeySequence(Qt::SHIFT | Qt::Key_Left), QKeySequence(Qt::Key_PageUp)},
        {BackFrameBtn, "BackFrameBtn", "<", "One frame back (Left)", 44, -1, 0,
         QKeySequence(Qt::Key_Left), QKeySequence()},
        {ForwardFrameBtn, "ForwardFrameBtn", ">", "One frame forward (Right)", 239, 1, 0,
         QKeySequence(Qt::Key_Right), QKeySequence()},
        {ForwardSecondBtn, "ForwardSecondBtn", ">>", "One second forward (Shift+Right, Page Down)",
         270, 0, 1, QKeySequence(Qt::SHIFT | Qt::Key_Right), QKeySequence(Qt::Key_PageDown)},
    };
    for (const Step& step : steps) {
        step.button = new QPushButton(QLatin1String(step.caption), this);
        step.button->setObjectName(QLatin1String(step.name));
        step.button->setToolTip(QLatin1String(step.hint));
        step.button->setAutoDefault(false);
        // The keys do the same; the tab stops stay the dialog's main controls.
        step.button->setFocusPolicy(Qt::NoFocus);
        Place(step.button, step.left, 302, 30, 20);
        const int frames = step.frames;
        const int seconds = step.seconds;
        const auto move = [this, frames, seconds] { stepBy(frames + seconds * m_framesPerSecond); };
        connect(step.button, &QPushButton::clicked, this, move);
        for (const QKeySequence& key : {step.key, step.otherKey})
            if (!key.isEmpty())
                connect(new QShortcut(key, this), &QShortcut::activated, this, move);
    }
    updateStepButtons();
}

void TClipForm::stepBy(int frames)
{
    if (m_viewMode != ViewMode::Movie || !TrackBar1->isEnabled())
        return;
    TrackBar1->setValue(static_cast<int>(std::clamp<std::int64_t>(
        std::int64_t{TrackBar1->value()} + frames, TrackBar1->minimum(), TrackBar1->maximum())));
}

void TClipForm::updateStepButtons()
{
    const bool movie = m_viewMode == ViewMode::Movie && TrackBar1->isEnabled();
    const int at = TrackBar1->value();
    BackSecondBtn->setEnabled(movie && at > TrackBar1->minimum());
    BackFrameBtn->setEnabled(movie && at > TrackBar1->minimum());
    ForwardFrameBtn->setEnabled(movie && at < TrackBar1->maximum());
    ForwardSecondBtn->setEnabled(movie && at < TrackBar1->maximum());
}
