#include "clipform.h"

#include "busycursor.h"
#include "clipvideowidget.h"
#include "document/menudocument.h"
#include "fitscreen.h"
#include "imageio/imageunit.h"
#include "imageio/picturereadreason.h"
#include "mediamodule/mediamodule.h"
#include "mediamodule/movieplayer.h"
#include "messages.h"
#include "picturedialog.h"
#include "render/fitrect.h"
#include "thumbs/autoframe.h"
#include "thumbs/timecode.h"

#include <QCoreApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QFrame>
#include <QGuiApplication>
#include <QImage>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QPushButton>
#include <QResizeEvent>
#include <QScreen>
#include <QSettings>
#include <QShortcut>
#include <QShowEvent>
#include <QSlider>

#include <algorithm>
#include <chrono>
#include <climits>
#include <cmath>
#include <exception>
#include <optional>

namespace {

const QString kMovieTitle = QStringLiteral("Select movie file");
// What FFmpeg opens in practice; anything else is one "All files" away.
const QString kMovieFilter =
    QStringLiteral("Movie files (*.mpg *.mpeg *.m2v *.vob *.ts *.m2ts *.mts *.mp4 *.m4v *.mov "
                   "*.mkv *.webm *.avi *.wmv *.asf *.flv *.3gp *.ogv *.dv);;All files (*)");
const QString kPictureTitle = QStringLiteral("Select image file");
const QString kPictureFilter =
    QStringLiteral("Image files (*.bmp *.gif *.jpg *.jpeg *.png);;All files (*)");

const QString kSizeKey = QStringLiteral("ThumbnailDialogSize"); // "313x388"

void Place(QWidget* w, int left, int top, int width, int height)
{
    w->setGeometry(left, top, width, height);
}

} // namespace

TClipForm::TClipForm(MenuDocument& doc, QString& lastClipDir, QWidget* parent)
    : QDialog(parent), m_doc(doc), m_lastClipDir(lastClipDir)
{
    setWindowTitle(QStringLiteral("Thumbnail Image"));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint | Qt::WindowMaximizeButtonHint);
    setMinimumSize(kBaseWidth, kBaseHeight - kViewShrink);
    resize(kBaseWidth, kBaseHeight);

    MovieBtn = new QPushButton(QStringLiteral("&Movie Frame"), this);
    MovieBtn->setObjectName(QStringLiteral("MovieBtn"));
    ImageBtn = new QPushButton(QStringLiteral("&Image File"), this);
    ImageBtn->setObjectName(QStringLiteral("ImageBtn"));
    ClearBtn = new QPushButton(QStringLiteral("C&lear"), this);
    ClearBtn->setObjectName(QStringLiteral("ClearBtn"));

    MovieEdit = new QLineEdit(this);
    MovieEdit->setObjectName(QStringLiteral("MovieEdit"));
    MovieEdit->setReadOnly(true);
    MovieEdit->setFocusPolicy(Qt::ClickFocus);
    QPalette face = MovieEdit->palette();
    face.setColor(QPalette::Base, face.color(QPalette::Window));
    MovieEdit->setPalette(face);

    Panel1 = new QFrame(this);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel1->setFrameShape(QFrame::Panel);
    Panel1->setFrameShadow(QFrame::Sunken);
    Panel1->setLineWidth(1);
    VideoPanel = new QWidget(Panel1);
    VideoPanel->setObjectName(QStringLiteral("VideoPanel"));

    Image1 = new QLabel(VideoPanel);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setScaledContents(true);
    Image1->hide();
    VideoWindow1 = new ClipVideoWidget(VideoPanel);
    VideoWindow1->setObjectName(QStringLiteral("VideoWindow1"));

    TrackBar1 = new QSlider(Qt::Horizontal, this);
    TrackBar1->setObjectName(QStringLiteral("TrackBar1"));
    TrackBar1->setRange(0, 0);
    TrackBar1->setValue(0);
    TrackBar1->setPageStep(100);
    TrackBar1->setSingleStep(1);
    TrackBar1->setTickPosition(QSlider::NoTicks);
    TrackBar1->setEnabled(false);

    FrameLabel = new QLabel(QStringLiteral("Frame: 0"), this);
    FrameLabel->setObjectName(QStringLiteral("FrameLabel"));
    FrameLabel->setAlignment(Qt::AlignCenter);
    buildStepButtons();
    buildButtons();
    layOut();

    // The application's boxes, so that whatever catches them elsewhere catches these.
    showMessage = [this](QMessageBox::Icon icon, const QString& title, const QString& text) {
        const MessageKind kind = title == QLatin1String("Tavrel Lite") ? MessageKind::ErrorBox
                                 : icon == QMessageBox::Information    ? MessageKind::Information
                                                                       : MessageKind::Error;
        ShowMessage(kind, text, this);
    };
}

void TClipForm::buildButtons()
{
    GotoEdit = new QLineEdit(this);
    GotoEdit->setObjectName(QStringLiteral("GotoEdit"));
    GotoEdit->setPlaceholderText(QStringLiteral("time code 0:01:05.12 or seconds 65.5"));
    GotoEdit->setToolTip(QStringLiteral("Type a time code or a number of seconds, then Enter"));
    GotoEdit->setEnabled(false);
    GotoEdit->installEventFilter(this);
    GotoLabel = new QLabel(QStringLiteral("&Go to:"), this);
    GotoLabel->setObjectName(QStringLiteral("GotoLabel"));
    GotoLabel->setBuddy(GotoEdit);

    // Apart from OK and Cancel, at the left of their row.
    AutoBtn = new QPushButton(QStringLiteral("&Auto"), this);
    AutoBtn->setObjectName(QStringLiteral("AutoBtn"));
    AutoBtn->setToolTip(QStringLiteral("Choose a representative frame of the movie"));
    AutoBtn->setAutoDefault(false);
    AutoBtn->setEnabled(false);

    OKBtn = new QPushButton(QStringLiteral("OK"), this);
    OKBtn->setObjectName(QStringLiteral("OKBtn"));
    CancelBtn = new QPushButton(QStringLiteral("Cancel"), this);
    CancelBtn->setObjectName(QStringLiteral("CancelBtn"));
    // Enter takes the frame on show whichever file button was pressed last.
    OKBtn->setDefault(true);
    for (QPushButton* button : {MovieBtn, ImageBtn, ClearBtn})
        button->setAutoDefault(false);

    setTabOrder(MovieBtn, ImageBtn);
    setTabOrder(ImageBtn, ClearBtn);
    setTabOrder(ClearBtn, TrackBar1);
    setTabOrder(TrackBar1, GotoEdit);
    setTabOrder(GotoEdit, AutoBtn);
    setTabOrder(AutoBtn, OKBtn);
    setTabOrder(OKBtn, CancelBtn);

    connect(MovieBtn, &QPushButton::clicked, this, &TClipForm::MovieBtnClick);
    connect(ImageBtn, &QPushButton::clicked, this, &TClipForm::ImageBtnClick);
    connect(ClearBtn, &QPushButton::clicked, this, &TClipForm::ClearBtnClick);
    connect(AutoBtn, &QPushButton::clicked, this, &TClipForm::AutoBtnClick);
    connect(OKBtn, &QPushButton::clicked, this, &TClipForm::OKBtnClick);
    connect(CancelBtn, &QPushButton::clicked, this, &TClipForm::reject); // Esc rejects as well
    connect(TrackBar1, &QSlider::valueChanged, this, &TClipForm::TrackBar1Change);
    // The first and the last frame from anywhere; a focused text field keeps its own.
    const auto toEnd = [this](bool last) {
        if (m_viewMode == ViewMode::Movie && TrackBar1->isEnabled())
            TrackBar1->setValue(last ? TrackBar1->maximum() : TrackBar1->minimum());
    };
    connect(new QShortcut(QKeySequence(Qt::Key_Home), this), &QShortcut::activated, this,
            [toEnd] { toEnd(false); });
    connect(new QShortcut(QKeySequence(Qt::Key_End), this), &QShortcut::activated, this,
            [toEnd] { toEnd(true); });
}

TClipForm::~TClipForm()
{
    // The video window must not hear from a worker that outlives it.
    VideoWindow1->setPlayer(nullptr);
    m_player.reset();
}

MoviePlayer* TClipForm::mediaPlayer() const
{
    return m_player && m_player->isOpen() ? m_player.get() : nullptr;
}

void TClipForm::layOut()
{
    // Everything keeps its place at the smallest size; the view takes what is added.
    const int dw = std::max(0, width() - kBaseWidth);
    // Lower than that, only the view gives way, so that the buttons stay in sight.
    const int dh = std::max(-kViewShrink, height() - kBaseHeight);
    Place(MovieBtn, 13, 13, 93, 20);
    Place(ImageBtn, 111, 13, 92, 20);
    Place(ClearBtn, 207, 13, 93, 20);
    Place(MovieEdit, 13, 46, 288 + dw, 21);
    Place(Panel1, 13, 72, 288 + dw, 196 + dh);
    Place(VideoPanel, 1, 1, 286 + dw, 194 + dh);
    fitView();
    Place(TrackBar1, 13, 280 + dh, 288 + dw, 20);
    Place(FrameLabel, 75, 302 + dh, 163 + dw, 20);
    Place(BackSecondBtn, 13, 302 + dh, 30, 20);
    Place(BackFrameBtn, 44, 302 + dh, 30, 20);
    Place(ForwardFrameBtn, 239 + dw, 302 + dh, 30, 20);
    Place(ForwardSecondBtn, 270 + dw, 302 + dh, 30, 20);
    Place(GotoLabel, 13, 330 + dh, 42, 20);
    Place(GotoEdit, 56, 330 + dh, 244 + dw, 20);
    Place(AutoBtn, 13, 358 + dh, 40, 20);
    Place(OKBtn, 56, 358 + dh, 90, 20);
    Place(CancelBtn, 167, 358 + dh, 90, 20);
}

void TClipForm::fitView()
{
    const QSize panel = VideoPanel->size();
    const auto fitted = [&panel](QWidget* view, int width, int height) {
        const FitRect fit = FitInside(width, height, panel.width(), panel.height(), FitRule{});
        if (fit.visible())
            view->setGeometry(fit.left, fit.top, fit.width, fit.height);
        else
            view->setGeometry(0, 0, panel.width(), panel.height());
    };
    if (MoviePlayer* player = mediaPlayer(); player && m_viewMode == ViewMode::Movie)
        fitted(VideoWindow1, player->videoWidth(), player->videoHeight());
    else
        VideoWindow1->setGeometry(0, 0, panel.width(), panel.height());
    fitted(Image1, m_preview.width(), m_preview.height());
}

void TClipForm::resizeEvent(QResizeEvent* event)
{
    QDialog::resizeEvent(event);
    layOut();
}

void TClipForm::rememberSize(std::function<std::unique_ptr<QSettings>()> openStore)
{
    m_openStore = std::move(openStore);
    if (!m_openStore)
        return;
    const QStringList size = m_openStore()->value(kSizeKey).toString().split(QLatin1Char('x'));
    if (size.size() != 2)
        return;
    QSize wanted(size[0].toInt(), size[1].toInt());
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        wanted = wanted.boundedTo(screen->availableGeometry().size());
    resize(wanted.expandedTo(QSize(kBaseWidth, kBaseHeight)));
}

void TClipForm::showEvent(QShowEvent* event)
{
    if (!m_centred && !event->spontaneous()) {
        if (const QScreen* screen = QGuiApplication::primaryScreen())
            move(screen->availableGeometry().center() - rect().center());
        m_centred = true;
    }
    FitToScreen(this);
    QDialog::showEvent(event);
    if (!event->spontaneous())
        FormShow();
}

void TClipForm::FormShow()
{
    if (m_viewMode != ViewMode::None || !m_path.isEmpty() || m_keepItem)
        ResetView(); // hidden without closing: start clean
    setWindowTitle(QStringLiteral("Thumbnail Image ") + QString::number(CurrentItem));
    if (CurrentItem >= 1 && CurrentItem <= kItemCount) {
        const ThumbnailSource& source = m_doc.item(CurrentItem).source;
        const QString path = QString::fromStdString(source.menuclip);
        if (!path.isEmpty()) {
            const bool shown =
                source.menuframe < 0 ? ShowPicture(path) : ShowMovie(path, source.menuframe);
            if (!shown) {
                // Named so the user sees what is missing; OK keeps it as it is.
                MovieEdit->setText(path);
                m_keepItem = true;
            }
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
    ShowMovie(path, 0);
}

void TClipForm::showPictureFile(const QString& path)
{
    QCoreApplication::processEvents();
    rememberFolderOf(path);
    ShowPicture(path);
}

bool TClipForm::ShowMovie(const QString& path, int frame)
{
    BusyCursor busy;
    // Opened beside the movie shown, which stays until this one has loaded.
    const MediaFunctions* media = nullptr; // none: the movie support did not load
    std::unique_ptr<MoviePlayer> player;
    try {
        media = &Media();
        player = media->makeMoviePlayer();
        player->open(path.toStdString());
    } catch (const std::exception& e) {
        busy.restore();
        showApplicationError(QString::fromStdString(
            media ? media->movieFailureMessage(path.toStdString(), e) : std::string(e.what())));
        return false;
    }
    VideoWindow1->setPlayer(nullptr);
    m_player = std::move(player);
    showSource(path, ViewMode::Movie);
    VideoWindow1->setPlayer(m_player.get());

    // The player refuses movies without frames, so the division is safe.
    m_frameCount = m_player->frameCount();
    m_duration = m_player->duration();
    m_timePerFrame = static_cast<double>(m_duration) / static_cast<double>(m_frameCount);
    m_realFramesPerSecond = m_timePerFrame > 0 ? 1e7 / m_timePerFrame : 1;
    m_framesPerSecond = m_duration > 0 ? FramesPerSecond(m_realFramesPerSecond) : 1;
    fitView();

    // The slider's last position is the last frame.
    TrackBar1->setMaximum(static_cast<int>(std::min<std::int64_t>(m_frameCount - 1, INT_MAX)));
    TrackBar1->setEnabled(true);
    AutoBtn->setEnabled(true);
    GotoEdit->setEnabled(true);

    QCoreApplication::processEvents();
    if (!mediaPlayer())
        return true; // closed meanwhile
    m_player->pause();

    TrackBar1->setValue(std::clamp(frame, 0, TrackBar1->maximum()));
    TrackBar1Change();
    return true;
}

void TClipForm::showSource(const QString& path, ViewMode mode)
{
    m_path = path;
    m_keepItem = false;
    m_viewMode = mode;
    MovieEdit->setText(path);
    VideoWindow1->setVisible(mode != ViewMode::Picture);
    Image1->setVisible(mode == ViewMode::Picture);
    if (mode != ViewMode::Picture) {
        m_preview.clear();
        Image1->clear();
    }
    const bool movie = mode == ViewMode::Movie;
    if (!movie)
        TrackBar1->setMaximum(0);
    TrackBar1->setEnabled(movie);
    AutoBtn->setEnabled(movie);
    GotoEdit->setEnabled(movie);
    GotoEdit->clear();
    updateStepButtons();
}

void TClipForm::TrackBar1Change()
{
    const int position = TrackBar1->value();
    if (MoviePlayer* player = mediaPlayer()) {
        const auto target = static_cast<std::int64_t>(std::nearbyint(position * m_timePerFrame));
        player->seek(target); // served by the player's worker; returns at once
    }
    QString text = QStringLiteral("Frame: ") + QString::number(position);
    if (m_viewMode == ViewMode::Movie)
        text += QStringLiteral("  (") +
                QString::fromStdString(FrameTimeCode(position, m_framesPerSecond)) +
                QLatin1Char(')');
    else if (m_viewMode == ViewMode::Picture)
        text.clear(); // a picture has no frames
    FrameLabel->setText(text);
    // Followed unless the user is typing a place there.
    if (!GotoEdit->hasFocus())
        showFrameInGoto();
    updateStepButtons();
}

void TClipForm::jumpToTyped()
{
    if (m_viewMode != ViewMode::Movie || !TrackBar1->isEnabled())
        return;
    const std::optional<std::int64_t> frame = ParseFramePosition(
        GotoEdit->text().toStdString(), m_framesPerSecond, m_realFramesPerSecond);
    if (!frame) {
        showMessage(QMessageBox::Information, QStringLiteral("Information"),
                    QStringLiteral("Type a time code such as 0:01:05.12 (hours, minutes, "
                                   "seconds and frames) or a number of seconds such as 65.5."));
        GotoEdit->selectAll();
        return;
    }
    TrackBar1->setValue(static_cast<int>(
        std::clamp<std::int64_t>(*frame, TrackBar1->minimum(), TrackBar1->maximum())));
    // The field keeps the focus, showing where it went: another Enter goes there again
    // rather than taking the frame as OK would.
    showFrameInGoto();
    GotoEdit->selectAll();
}

void TClipForm::showFrameInGoto()
{
    if (m_viewMode == ViewMode::Movie)
        GotoEdit->setText(
            QString::fromStdString(FrameTimeCode(TrackBar1->value(), m_framesPerSecond)));
}

bool TClipForm::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == GotoEdit && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            jumpToTyped(); // not OK: the frame typed is to be seen first
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void TClipForm::AutoBtnClick()
{
    if (!mediaPlayer())
        return;
    BusyCursor busy;
    int frame = 0;
    try {
        frame = Media().chooseMovieFrame(m_path.toStdString()).frame;
    } catch (const std::exception& e) {
        busy.restore();
        // The media table's choice already says in words which movie failed and why.
        showApplicationError(QString::fromUtf8(e.what()));
        return;
    }
    TrackBar1->setValue(std::clamp(frame, 0, TrackBar1->maximum()));
}

bool TClipForm::ShowPicture(const QString& path)
{
    BusyCursor busy;
    Picture picture;
    std::string reason;
    if (!LoadThumbnailPicture(path.toStdString(), picture, reason)) {
        busy.restore();
        showMessage(QMessageBox::Critical, QStringLiteral("Error"),
                    QString::fromStdString(PictureFailureMessage(path.toStdString(), reason)));
        return false;
    }
    VideoWindow1->setPlayer(nullptr);
    m_player.reset();
    showSource(path, ViewMode::Picture);
    FrameLabel->clear(); // a picture has no frames
    m_preview = std::move(picture);
    fitView();
    Image1->setPixmap(QPixmap::fromImage(
        QImage(m_preview.data(), m_preview.width(), m_preview.height(),
               static_cast<qsizetype>(m_preview.stride()), QImage::Format_RGB888)));
    return true;
}

void TClipForm::ClearBtnClick()
{
    ResetView();
}

void TClipForm::ResetView()
{
    VideoWindow1->setPlayer(nullptr);
    m_player.reset();
    showSource(QString(), ViewMode::None);
    FrameLabel->setText(QStringLiteral("Frame: 0"));
    fitView();
}

void TClipForm::OKBtnClick()
{
    if (CurrentItem < 1 || CurrentItem > kItemCount) {
        reject();
        return;
    }
    if (m_keepItem) {
        accept(); // its source did not load here; nothing else was chosen
        return;
    }
    ThumbnailSource& source = m_doc.item(CurrentItem).source;
    source.menuclip = m_path.toStdString();
    if (m_path.isEmpty()) {
        source.ThumbnailImage.clear();
    } else if (m_viewMode == ViewMode::Picture) {
        source.ThumbnailImage = m_preview;
        source.menuframe = -1;
    } else {
        // The frame at the slider's position, not whatever the worker last had: wait
        // (bounded) for the pending seek; without it the old picture stays.
        if (MoviePlayer* player = mediaPlayer()) {
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
    if (m_openStore) {
        const QSize size = isMaximized() ? normalGeometry().size() : this->size();
        auto store = m_openStore();
        store->setValue(kSizeKey, QStringLiteral("%1x%2").arg(size.width()).arg(size.height()));
    }
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
        int frames;  // frames to move, or
        int seconds; // seconds to move
        QKeySequence key;
        QKeySequence otherKey;
    };
    const Step steps[] = {
        {BackSecondBtn, "BackSecondBtn", "<<", "One second back (Shift+Left, Page Up)", 0, -1,
         QKeySequence(Qt::SHIFT | Qt::Key_Left), QKeySequence(Qt::Key_PageUp)},
        {BackFrameBtn, "BackFrameBtn", "<", "One frame back (Left)", -1, 0,
         QKeySequence(Qt::Key_Left), QKeySequence()},
        {ForwardFrameBtn, "ForwardFrameBtn", ">", "One frame forward (Right)", 1, 0,
         QKeySequence(Qt::Key_Right), QKeySequence()},
        {ForwardSecondBtn, "ForwardSecondBtn", ">>", "One second forward (Shift+Right, Page Down)",
         0, 1, QKeySequence(Qt::SHIFT | Qt::Key_Right), QKeySequence(Qt::Key_PageDown)},
    };
    for (const Step& step : steps) {
        step.button = new QPushButton(QLatin1String(step.caption), this);
        step.button->setObjectName(QLatin1String(step.name));
        step.button->setToolTip(QLatin1String(step.hint));
        step.button->setAutoDefault(false);
        // The keys do the same; the tab stops stay the dialog's main controls.
        step.button->setFocusPolicy(Qt::NoFocus);
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
