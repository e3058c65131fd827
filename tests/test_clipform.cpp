#include "document/menudocument.h"
#include "guitestsupport.h"
#include "imageio/imageunit.h"
#include "testmovies.h"
#include "thumbs/autoframe.h"
#include "thumbs/mediaplayer.h"
#include "thumbs/timecode.h"
#include "widgets/clipform.h"
#include "widgets/clipvideowidget.h"
#include "widgets/messages.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>
#include <QTest>

#include <filesystem>
#include <fstream>
#include <regex>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

struct Shown {
    QMessageBox::Icon icon;
    QString title;
    QString text;
};

class ClipFormTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        testApplication();
        folder = fs::temp_directory_path() / ("tavrel_clipform_" + std::to_string(getpid()));
        fs::create_directories(folder / "pictures");
        movie = (folder / "movie.mpg").string();
        fs::copy_file(TestMoviePath("movie.mpg"), movie, fs::copy_options::overwrite_existing);
    }
    static void TearDownTestSuite() { fs::remove_all(folder); }

    void SetUp() override
    {
        form = std::make_unique<TClipForm>(doc, lastClipDir);
        form->showMessage = [this](QMessageBox::Icon icon, const QString& title,
                                   const QString& text) {
            messages.push_back({icon, title, text});
        };
    }

    void showItem(int n)
    {
        form->CurrentItem = n;
        form->show();
        QCoreApplication::processEvents();
    }

    static Picture marked(int w, int h)
    {
        Picture p(w, h);
        p.fill(1, 2, 3);
        return p;
    }

    static inline fs::path folder;
    static inline std::string movie;
    MenuDocument doc;
    QString lastClipDir = QStringLiteral("/start/");
    std::unique_ptr<TClipForm> form;
    std::vector<Shown> messages;
};

TEST_F(ClipFormTest, ControlsHaveTheirNamesPlacesAndCaptions)
{
    EXPECT_EQ(form->size(), QSize(313, 388));
    struct Control {
        const char* name;
        QRect place;
        const char* text;
    };
    const Control controls[] = {
        {"MovieBtn", {13, 13, 93, 20}, "&Movie Frame"},
        {"ImageBtn", {111, 13, 92, 20}, "&Image File"},
        {"ClearBtn", {207, 13, 93, 20}, "C&lear"},
        {"MovieEdit", {13, 46, 288, 21}, ""},
        {"Panel1", {13, 72, 288, 196}, nullptr},
        {"VideoPanel", {1, 1, 286, 194}, nullptr},
        {"TrackBar1", {13, 280, 288, 20}, nullptr},
        {"FrameLabel", {75, 302, 163, 20}, "Frame: 0"},
        {"BackSecondBtn", {13, 302, 30, 20}, "<<"},
        {"BackFrameBtn", {44, 302, 30, 20}, "<"},
        {"ForwardFrameBtn", {239, 302, 30, 20}, ">"},
        {"ForwardSecondBtn", {270, 302, 30, 20}, ">>"},
        {"GotoLabel", {13, 330, 42, 20}, "&Go to:"},
        {"GotoEdit", {56, 330, 244, 20}, nullptr},
        {"AutoBtn", {13, 358, 40, 20}, "&Auto"},
        {"OKBtn", {56, 358, 90, 20}, "OK"},
        {"CancelBtn", {167, 358, 90, 20}, "Cancel"},
    };
    for (const Control& c : controls) {
        auto* w = form->findChild<QWidget*>(QString::fromLatin1(c.name));
        ASSERT_NE(w, nullptr) << c.name;
        EXPECT_EQ(w->geometry(), c.place) << c.name;
        if (!c.text)
            continue;
        if (auto* b = qobject_cast<QPushButton*>(w)) {
            EXPECT_EQ(b->text(), QString::fromLatin1(c.text));
        } else if (auto* l = qobject_cast<QLabel*>(w)) {
            EXPECT_EQ(l->text(), QString::fromLatin1(c.text));
        }
    }
    EXPECT_TRUE(form->MovieEdit->isReadOnly());
    EXPECT_FALSE(form->MovieEdit->focusPolicy() & Qt::TabFocus);
    EXPECT_EQ(form->TrackBar1->pageStep(), 100);
    EXPECT_EQ(form->TrackBar1->singleStep(), 1);
    EXPECT_EQ(form->TrackBar1->tickPosition(), QSlider::NoTicks);
    EXPECT_TRUE(form->Image1->isHidden());
    EXPECT_NE(form->findChild<QWidget*>(QStringLiteral("VideoWindow1")), nullptr);

    // Tab order among the tab stops: the three buttons, the slider, Go to, Auto, OK, Cancel.
    std::vector<QString> order;
    QWidget* w = form->MovieBtn;
    for (int i = 0; i < 8; ++i, w = w->nextInFocusChain()) {
        while (!(w->focusPolicy() & Qt::TabFocus))
            w = w->nextInFocusChain();
        order.push_back(w->objectName());
    }
    EXPECT_EQ(order, (std::vector<QString>{"MovieBtn", "ImageBtn", "ClearBtn", "TrackBar1",
                                           "GotoEdit", "AutoBtn", "OKBtn", "CancelBtn"}));

    // Larger, the view takes the room and the rows below it follow.
    form->resize(613, 588);
    form->show();
    QCoreApplication::processEvents();
    EXPECT_EQ(form->Panel1->geometry(), QRect(13, 72, 588, 396));
    EXPECT_EQ(form->ForwardSecondBtn->geometry(), QRect(570, 502, 30, 20));
    EXPECT_EQ(form->OKBtn->geometry(), QRect(56, 558, 90, 20));
}

TEST_F(ClipFormTest, TypedTimeCodesAndSecondsAndHomeEndJump)
{
    doc.item(2).source.menuclip = movie;
    showItem(2);
    QApplication::setActiveWindow(form.get());
    const struct {
        const char* typed;
        int frame; // 25 frames a second, 120 frames
    } jumps[] = {{"0:00:01.12", 37}, {"2.5", 62}, {" 3s ", 75}, {"0:02", 50},
                 {"0:00:01.30", 50}, {"abc", 50}, {"1:00", 119}};
    for (const auto& jump : jumps) {
        form->GotoEdit->setText(QString::fromLatin1(jump.typed));
        QTest::keyClick(form->GotoEdit, Qt::Key_Return);
        EXPECT_EQ(form->TrackBar1->value(), jump.frame) << jump.typed;
    }
    EXPECT_EQ(messages.size(), 2u); // ".30" is no frame of a 25-a-second code, "abc" no time
    EXPECT_TRUE(form->isVisible()); // Enter in the field jumps, it does not take the frame
    form->GotoEdit->setFocus();
    QTest::keyClick(form->GotoEdit, Qt::Key_Home); // the field's own
    EXPECT_EQ(form->TrackBar1->value(), 119);
    form->OKBtn->setFocus();
    QTest::keyClick(form->OKBtn, Qt::Key_Home);
    EXPECT_EQ(form->TrackBar1->value(), 0);
    QTest::keyClick(form->OKBtn, Qt::Key_End);
    EXPECT_EQ(form->TrackBar1->value(), 119);
    // Where the focus is after a jump, a second Enter goes there again; the field then
    // follows the frame wherever it is moved.
    form->GotoEdit->setFocus();
    form->GotoEdit->setText(QStringLiteral("2.5"));
    for (int enter = 0; enter < 2; ++enter)
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    EXPECT_TRUE(form->isVisible());
    EXPECT_EQ(form->TrackBar1->value(), 62);
    EXPECT_EQ(form->GotoEdit->text(), QString::fromStdString(FrameTimeCode(62, 25)));
    form->TrackBar1->setFocus();
    form->TrackBar1->setValue(75);
    EXPECT_EQ(form->GotoEdit->text(), QString::fromStdString(FrameTimeCode(75, 25)));
}

TEST_F(ClipFormTest, ItemWithoutSourceShowsAnEmptyDialog)
{
    showItem(4);
    EXPECT_EQ(form->windowTitle(), QStringLiteral("Thumbnail Image 4"));
    EXPECT_EQ(form->MovieEdit->text(), QString());
    EXPECT_FALSE(form->TrackBar1->isEnabled());
    EXPECT_EQ(form->TrackBar1->maximum(), 0);
    EXPECT_EQ(form->FrameLabel->text(), QStringLiteral("Frame: 0"));
    EXPECT_EQ(form->viewMode(), TClipForm::ViewMode::None);
    form->OKBtnClick();
    EXPECT_EQ(doc.item(4).source.menuclip, "");
    EXPECT_EQ(doc.item(4).source.menuframe, 0);
    EXPECT_TRUE(messages.empty());
}

TEST_F(ClipFormTest, MovieItemReopensAtItsFrameAndOkTakesThatFrame)
{
    doc.item(2).source.menuclip = movie;
    doc.item(2).source.menuframe = 37;
    showItem(2);
    EXPECT_EQ(form->viewMode(), TClipForm::ViewMode::Movie);
    EXPECT_EQ(form->MovieEdit->text(), QString::fromStdString(movie));
    EXPECT_TRUE(form->TrackBar1->isEnabled());
    EXPECT_EQ(form->TrackBar1->maximum(), 119); // the last frame
    EXPECT_EQ(form->TrackBar1->value(), 37);
    EXPECT_EQ(form->FrameLabel->text(), QStringLiteral("Frame: 37  (0:00:01.12)")); // 25 a second
    EXPECT_EQ(form->VideoWindow1->geometry(), QRect(13, 0, 259, 194)); // 320 x 240 fitted
    ASSERT_NE(form->mediaPlayer(), nullptr);

    // The project reader's way: shown without modality, OK pressed in code.
    form->repaint();
    form->OKBtnClick();
    const ThumbnailSource& s = doc.item(2).source;
    EXPECT_EQ(s.menuclip, movie);
    EXPECT_EQ(s.menuframe, 37);
    EXPECT_EQ(s.ThumbnailImage.width(), 320);
    EXPECT_EQ(s.ThumbnailImage.height(), 240);
    EXPECT_EQ(FrameIndexOf(s.ThumbnailImage), 37);
    EXPECT_FALSE(form->isVisible());
    EXPECT_EQ(form->result(), QDialog::Accepted);
    EXPECT_EQ(form->mediaPlayer(), nullptr); // released on closing
    EXPECT_EQ(form->MovieEdit->text(), QString());
}

TEST_F(ClipFormTest, SliderMovesSeekAndOkStoresTheFrameAtThePosition)
{
    doc.item(1).source.menuclip = movie;
    showItem(1);
    for (int v : {5, 90, 3, 61})
        form->TrackBar1->setValue(v); // a drag: every change seeks, none blocks
    EXPECT_EQ(form->FrameLabel->text(), QStringLiteral("Frame: 61  (0:00:02.11)"));
    form->OKBtnClick(); // waits for the frame of the last position
    EXPECT_EQ(doc.item(1).source.menuframe, 61);
    EXPECT_EQ(FrameIndexOf(doc.item(1).source.ThumbnailImage), 61);
}

TEST_F(ClipFormTest, AutoMovesToTheChosenFrameOnlyForAMovie)
{
    showItem(3);
    EXPECT_FALSE(form->AutoBtn->isEnabled());
    form->AutoBtnClick(); // no movie: nothing happens
    EXPECT_EQ(form->TrackBar1->value(), 0);

    doc.item(3).source.menuclip = movie;
    form->hide();
    showItem(3);
    ASSERT_TRUE(form->AutoBtn->isEnabled());
    const AutoFrame chosen = ChooseMovieFrame(movie);
    form->AutoBtn->click();
    EXPECT_EQ(form->TrackBar1->value(), chosen.frame);
    EXPECT_TRUE(form->FrameLabel->text().startsWith(
        QStringLiteral("Frame: ") + QString::number(chosen.frame) + QLatin1Char(' ')));
    form->OKBtnClick();
    EXPECT_EQ(doc.item(3).source.menuframe, chosen.frame);
    EXPECT_EQ(FrameIndexOf(doc.item(3).source.ThumbnailImage), chosen.frame);
    EXPECT_TRUE(messages.empty());
}

TEST_F(ClipFormTest, StoredFrameBeyondTheMovieIsClampedToTheLastFrame)
{
    doc.item(5).source.menuclip = movie;
    doc.item(5).source.menuframe = 5000;
    showItem(5);
    EXPECT_EQ(form->TrackBar1->value(), 119);
    EXPECT_EQ(form->FrameLabel->text(), QStringLiteral("Frame: 119  (0:00:04.19)"));
    form->OKBtnClick();
    EXPECT_EQ(doc.item(5).source.menuframe, 119);
    EXPECT_EQ(FrameIndexOf(doc.item(5).source.ThumbnailImage), 119); // the last frame
}

TEST_F(ClipFormTest, KeysAndStepButtonsMoveByFramesAndSecondsEnterTakesTheFrame)
{
    doc.item(2).source.menuclip = movie;
    doc.item(2).source.menuframe = 37;
    showItem(2);
    QApplication::setActiveWindow(form.get());
    const auto at = [&] { return form->TrackBar1->value(); };
    form->ForwardFrameBtn->click();
    EXPECT_EQ(at(), 38);
    form->BackSecondBtn->click(); // 25 frames a second
    EXPECT_EQ(at(), 13);
    QTest::keyClick(form.get(), Qt::Key_Right, Qt::ShiftModifier);
    EXPECT_EQ(at(), 38);
    QTest::keyClick(form.get(), Qt::Key_Left);
    EXPECT_EQ(at(), 37);
    QTest::keyClick(form.get(), Qt::Key_PageDown);
    EXPECT_EQ(at(), 62);
    for (int i = 0; i < 6; ++i)
        form->ForwardSecondBtn->click(); // stops at the last frame
    EXPECT_EQ(at(), 119);
    EXPECT_FALSE(form->ForwardFrameBtn->isEnabled());
    EXPECT_TRUE(form->BackFrameBtn->isEnabled());
    QTest::keyClick(form.get(), Qt::Key_PageUp);
    EXPECT_EQ(at(), 94);

    // Enter on the file button pressed last presses OK, not the file button.
    form->MovieBtn->setFocus();
    QTest::keyClick(form->MovieBtn, Qt::Key_Return);
    EXPECT_FALSE(form->isVisible());
    EXPECT_EQ(form->result(), QDialog::Accepted);
    EXPECT_EQ(doc.item(2).source.menuframe, 94);
    EXPECT_EQ(FrameIndexOf(doc.item(2).source.ThumbnailImage), 94);

    // Escape cancels; without a movie the steps do nothing.
    showItem(4);
    EXPECT_FALSE(form->ForwardSecondBtn->isEnabled());
    QTest::keyClick(form.get(), Qt::Key_Right);
    EXPECT_EQ(at(), 0);
    QTest::keyClick(form.get(), Qt::Key_Escape);
    EXPECT_FALSE(form->isVisible());
    EXPECT_EQ(form->result(), QDialog::Rejected);
    EXPECT_TRUE(messages.empty());
}

TEST_F(ClipFormTest, ChoosingAMovieStartsAtFrameZeroAndMovesTheSharedFolder)
{
    doc.item(3).source.menuclip = movie;
    doc.item(3).source.menuframe = 37;
    showItem(3);
    form->showMovieFile(QString::fromStdString(movie));
    EXPECT_EQ(form->TrackBar1->value(), 0);
    EXPECT_EQ(form->FrameLabel->text(), QStringLiteral("Frame: 0  (0:00:00.00)"));
    EXPECT_EQ(lastClipDir, QString::fromStdString(folder.string()) + "/");
    form->OKBtnClick();
    EXPECT_EQ(doc.item(3).source.menuframe, 0);
    EXPECT_EQ(FrameIndexOf(doc.item(3).source.ThumbnailImage), 0);
}

TEST_F(ClipFormTest, ClearThenOkKeepsTheFrameNumberOnly)
{
    ThumbnailSource& s = doc.item(6).source;
    s.menuclip = movie;
    s.menuframe = 37;
    s.ThumbnailImage = marked(8, 8);
    showItem(6);
    form->ClearBtnClick();
    EXPECT_EQ(form->MovieEdit->text(), QString());
    EXPECT_FALSE(form->TrackBar1->isEnabled());
    EXPECT_EQ(form->FrameLabel->text(), QStringLiteral("Frame: 0"));
    EXPECT_EQ(form->mediaPlayer(), nullptr);
    form->OKBtnClick();
    EXPECT_EQ(s.menuclip, "");
    EXPECT_EQ(s.menuframe, 37);
    EXPECT_TRUE(s.ThumbnailImage.isEmpty());
}

TEST_F(ClipFormTest, CancelAndEscapeLeaveTheItemAsItWas)
{
    ThumbnailSource& s = doc.item(7).source;
    s.menuclip = movie;
    s.menuframe = 12;
    s.ThumbnailImage = marked(8, 8);
    const std::string otherMovie = (folder / "pictures" / "other.mpg").string();
    fs::copy_file(movie, otherMovie, fs::copy_options::overwrite_existing);

    showItem(7);
    form->TrackBar1->setValue(80);
    form->ClearBtnClick();
    form->showMovieFile(QString::fromStdString(otherMovie));
    form->reject(); // Cancel
    EXPECT_EQ(s.menuclip, movie);
    EXPECT_EQ(s.menuframe, 12);
    EXPECT_TRUE(s.ThumbnailImage.samePixels(marked(8, 8)));
    EXPECT_EQ(lastClipDir, QString::fromStdString((folder / "pictures").string()) + "/"); // kept
    EXPECT_EQ(form->mediaPlayer(), nullptr);

    showItem(7);
    form->TrackBar1->setValue(99);
    QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    QCoreApplication::sendEvent(form.get(), &escape);
    EXPECT_FALSE(form->isVisible());
    EXPECT_EQ(form->result(), QDialog::Rejected);
    EXPECT_EQ(s.menuframe, 12);
    EXPECT_TRUE(s.ThumbnailImage.samePixels(marked(8, 8)));
}

// A source that does not load is never stored: the dialog keeps the one it had.
TEST_F(ClipFormTest, FileThatDoesNotLoadLeavesTheLastGoodSource)
{
    const std::string bad = (folder / "notamovie.mpg").string();
    std::ofstream(bad) << std::string(4000, 'x');
    const std::string wav = (folder / "sound.wav").string();
    {
        // A WAV header with no samples: opens, but holds no video.
        const char header[] =
            "RIFF\x24\0\0\0WAVEfmt "
            "\x10\0\0\0\x01\0\x01\0\x40\x1f\0\0\x80\x3e\0\0\x02\0\x10\0data\0\0\0\0";
        std::ofstream(wav, std::ios::binary).write(header, sizeof header - 1);
    }
    ThumbnailSource& s = doc.item(8).source;
    for (const std::string& path : {bad, wav}) {
        // Stored: shown by name, and OK leaves path, frame and picture alone.
        messages.clear();
        s.menuclip = path;
        s.menuframe = 25;
        s.ThumbnailImage = marked(4, 4);
        showItem(8);
        ASSERT_EQ(messages.size(), 1u) << path;
        EXPECT_EQ(messages[0].title, QStringLiteral("Tavrel Lite"));
        const QString name = QString::fromStdString(fs::path(path).filename().string());
        EXPECT_TRUE(messages[0].text.startsWith(QStringLiteral("Cannot open movie ") + name +
                                                QStringLiteral(": ")))
            << messages[0].text.toStdString();
        EXPECT_TRUE(form->isVisible());
        EXPECT_EQ(form->MovieEdit->text(), QString::fromStdString(path));
        EXPECT_FALSE(form->TrackBar1->isEnabled());
        form->OKBtnClick();
        EXPECT_EQ(s.menuclip, path);
        EXPECT_EQ(s.menuframe, 25);
        EXPECT_TRUE(s.ThumbnailImage.samePixels(marked(4, 4)));

        // Chosen over a good movie: the movie, its slider and its frame stay.
        s.menuclip = movie;
        s.menuframe = 37;
        showItem(8);
        messages.clear();
        form->showMovieFile(QString::fromStdString(path));
        form->showPictureFile(QString::fromStdString(path));
        EXPECT_EQ(messages.size(), 2u);
        EXPECT_EQ(form->MovieEdit->text(), QString::fromStdString(movie));
        EXPECT_EQ(form->viewMode(), TClipForm::ViewMode::Movie);
        EXPECT_EQ(form->TrackBar1->maximum(), 119);
        form->TrackBar1->setValue(40); // still drives the movie shown
        form->OKBtnClick();
        EXPECT_EQ(s.menuclip, movie);
        EXPECT_EQ(s.menuframe, 40);
        EXPECT_EQ(FrameIndexOf(s.ThumbnailImage), 40);
    }
}

TEST_F(ClipFormTest, BoxesGoThroughTheApplicationsMessages)
{
    // Without a replaced hook, the dialog's boxes reach the application's message
    // sink (which the project reader's tests also use).
    std::vector<std::pair<MessageKind, QString>> seen;
    SetMessageSink([&](MessageKind kind, const QString& text) { seen.emplace_back(kind, text); });
    TClipForm plain(doc, lastClipDir);
    doc.item(1).source.menuclip = (folder / "missing.avi").string();
    doc.item(1).source.menuframe = 0;
    plain.CurrentItem = 1;
    plain.show();
    doc.item(2).source.menuclip = (folder / "missing.png").string();
    doc.item(2).source.menuframe = -1;
    plain.reject();
    plain.CurrentItem = 2;
    plain.show();
    plain.reject();
    SetMessageSink({});
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0].first, MessageKind::ErrorBox);
    EXPECT_EQ(seen[0].second,
              QStringLiteral("Cannot open movie missing.avi: the file does not exist."));
    EXPECT_EQ(seen[1].first, MessageKind::Error);
    EXPECT_EQ(seen[1].second,
              QStringLiteral("Cannot read picture missing.png: the file does not exist."));
}

TEST_F(ClipFormTest, NegativeFrameIsAPictureSourceThatOkKeeps)
{
    // A movie stored with a frame below -1 goes the picture way and fails to load.
    ThumbnailSource& s = doc.item(9).source;
    s.menuclip = movie;
    s.menuframe = -3;
    showItem(9);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].title, QStringLiteral("Error"));
    EXPECT_EQ(messages[0].text,
              QStringLiteral(
                  "Cannot read picture movie.mpg: it is not a BMP, GIF, JPEG or PNG picture."));
    form->OKBtnClick();
    EXPECT_EQ(s.menuclip, movie);
    EXPECT_EQ(s.menuframe, -3);
    EXPECT_TRUE(s.ThumbnailImage.isEmpty());
}

TEST_F(ClipFormTest, PictureFileIsLoadedAgainAndStoredWithMinusOne)
{
    Picture source(40, 20);
    source.fill(200, 30, 60);
    const std::string bmp = (folder / "pictures" / "thumb.bmp").string();
    Picture probe;
    ASSERT_TRUE(SaveAsBMP(bmp, source));
    ASSERT_TRUE(LoadPictureFile(bmp, probe));

    ThumbnailSource& s = doc.item(10).source;
    s.menuclip = bmp;
    s.menuframe = -1;
    s.ThumbnailImage = marked(3, 3); // not used for the preview
    showItem(10);
    EXPECT_TRUE(messages.empty());
    EXPECT_EQ(form->FrameLabel->text(), QString()); // a picture has no frames
    EXPECT_TRUE(form->previewPicture().samePixels(source));
    EXPECT_EQ(form->Image1->geometry(), QRect(0, 25, 286, 143)); // 2:1 fitted
    form->OKBtnClick();
    EXPECT_EQ(s.menuframe, -1);
    EXPECT_TRUE(s.ThumbnailImage.samePixels(source));

    // Choosing a picture for a movie item stores -1 as well.
    doc.item(1).source.menuclip = movie;
    doc.item(1).source.menuframe = 10;
    showItem(1);
    form->showPictureFile(QString::fromStdString(bmp));
    form->OKBtnClick();
    EXPECT_EQ(doc.item(1).source.menuclip, bmp);
    EXPECT_EQ(doc.item(1).source.menuframe, -1);
}

} // namespace
