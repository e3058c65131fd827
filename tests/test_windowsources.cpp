// The main window's sources as a user sets and sees them: files dropped on rows, fields,
// the preview and the window; the Items tab's state; the background field's mark.
#include "app/colorswatch.h"
#include "app/mainwindow.h"
#include "app/numberedit.h"
#include "app/previewbox.h"
#include "document/projectfile.h"
#include "guitestsupport.h"
#include "imageio/imageunit.h"
#include "moviemaker.h"
#include "render/fontfamilies.h"
#include "widgets/clipform.h"

#include <gtest/gtest.h>

#include <QColorDialog>
#include <QComboBox>
#include <QFont>
#include <QFontDatabase>
#include <QFontInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QPushButton>
#include <QSlider>
#include <QStatusBar>
#include <QTest>
#include <QTimer>
#include <QUrl>

#include <fstream>
#include <functional>
#include <memory>

namespace {

std::string scratchPath(const char* name)
{
    return scratchDir().filePath(QString::fromLatin1(name)).toStdString();
}

// Runs `onModal` once on the first modal dialog that opens while the object lives.
class ModalWatch {
public:
    explicit ModalWatch(std::function<void(QDialog*)> onModal) : m_onModal(std::move(onModal))
    {
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            if (auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget())) {
                ++seen;
                m_onModal(dialog);
            }
        });
        m_timer.start(20);
    }
    int seen = 0;

private:
    std::function<void(QDialog*)> m_onModal;
    QTimer m_timer;
};

class WindowSourcesTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        testApplication();
        MovieSpec spec;
        spec.path = scratchPath("clip.mpg");
        spec.width = 160;
        spec.height = 120;
        spec.frames = 50;
        ASSERT_EQ(MakeMovie(spec), "");
        Picture p(64, 48);
        p.fill(10, 200, 30);
        ASSERT_TRUE(SaveAsPNG(scratchPath("green.png"), p));
        std::ofstream(scratchPath("broken.png"), std::ios::binary) << "\x89PNG\r\n\x1a\nbroken";
    }

    void SetUp() override
    {
        form = std::make_unique<TForm1>();
        clipForm = std::make_unique<TClipForm>(form->doc(), form->lastClipDir(), form.get());
        form->attachDialogs(clipForm.get(), nullptr);
        form->resize(900, 620);
        form->show();
        settle();
    }

    void TearDown() override
    {
        form->attachDialogs(nullptr, nullptr);
        clipForm.reset();
        form.reset();
    }

    // A drag of one file entering `target` at `at`, then dropped there; whether the
    // target took it.
    // As a real drag: it enters at the widget's edge and moves to `at`.
    static bool drop(QWidget* target, const std::string& path, QPoint at = QPoint(3, 3))
    {
        return drop(target, std::vector<std::string>{path}, at);
    }
    static bool drop(QWidget* target, const std::vector<std::string>& paths,
                     QPoint at = QPoint(3, 3))
    {
        QMimeData data;
        QList<QUrl> urls;
        for (const std::string& path : paths)
            urls.push_back(QUrl::fromLocalFile(QString::fromStdString(path)));
        data.setUrls(urls);
        QDragEnterEvent enter(QPoint(0, 0), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(target, &enter);
        if (!enter.isAccepted())
            return false;
        QDragMoveEvent move(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(target, &move);
        if (!move.isAccepted())
            return false;
        QDropEvent dropped(QPointF(at), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(target, &dropped);
        settle();
        return dropped.isAccepted();
    }

    const ThumbnailSource& source(int n) { return form->doc().item(n).source; }

    std::unique_ptr<TForm1> form;
    std::unique_ptr<TClipForm> clipForm;
};

TEST_F(WindowSourcesTest, DroppedFilesBecomeSourcesBackgroundOrTheOpenProject)
{
    MessageLog log;
    const std::string picture = scratchPath("green.png");
    const std::string movie = scratchPath("clip.mpg");

    // A picture on an item's caption field: that item's picture source.
    ASSERT_TRUE(drop(control<QLineEdit>(*form, QStringLiteral("Edit3")), picture));
    EXPECT_EQ(source(3).menuclip, picture);
    EXPECT_EQ(source(3).menuframe, -1);
    EXPECT_EQ(source(3).ThumbnailImage.width(), 64);
    EXPECT_EQ(control<QLineEdit>(*form, QStringLiteral("Edit3"))->text().toStdString(),
              form->doc().item(3).menucaption); // no text dropped in

    // A movie on a row's number: frame 0, then the thumbnail dialog opens at that frame.
    QString shownInDialog;
    int frameInDialog = -1;
    {
        ModalWatch watch([&](QDialog* dialog) {
            if (dialog == clipForm.get()) {
                shownInDialog = clipForm->MovieEdit->text();
                frameInDialog = clipForm->TrackBar1->value();
            }
            dialog->reject();
        });
        ASSERT_TRUE(drop(control<QLabel>(*form, QStringLiteral("CN5")), movie));
        EXPECT_EQ(watch.seen, 1);
    }
    EXPECT_EQ(shownInDialog, QString::fromStdString(movie));
    EXPECT_EQ(frameInDialog, 0);
    EXPECT_EQ(source(5).menuclip, movie);
    EXPECT_EQ(source(5).menuframe, 0);
    EXPECT_EQ(FrameIndexOf(source(5).ThumbnailImage), 0);

    // On the preview: inside item 1's box it is item 1's, outside the boxes the background.
    PreviewBox* preview = form->previewBox();
    const MenuGeometry& drawn = preview->menuGeometry();
    ASSERT_FALSE(drawn.items.empty());
    const Rect box = drawn.items.front().button;
    ASSERT_EQ(drawn.items.front().item, 1);
    ASSERT_TRUE(
        drop(preview, picture, QPoint((box.left + box.right) / 2, (box.top + box.bottom) / 2)));
    EXPECT_EQ(source(1).menuclip, picture);
    EXPECT_TRUE(form->doc().bgimage.empty());
    ASSERT_TRUE(drop(preview, picture, QPoint(1, 1)));
    EXPECT_EQ(form->doc().bgimage, picture);
    EXPECT_EQ(control<QLineEdit>(*form, QStringLiteral("BGImage"))->text(),
              QString::fromStdString(picture));
    EXPECT_EQ(form->doc().BackgroundPicture.width(), 64);

    // A movie entering the preview outside the boxes may still go onto one.
    {
        ModalWatch watch([](QDialog* dialog) { dialog->reject(); });
        const Rect seventh = drawn.items[6].button;
        ASSERT_TRUE(
            drop(preview, movie,
                 QPoint((seventh.left + seventh.right) / 2, (seventh.top + seventh.bottom) / 2)));
        EXPECT_EQ(watch.seen, 1);
    }
    EXPECT_EQ(source(7).menuclip, movie);

    // A movie is no background; the preview outside the boxes refuses it.
    EXPECT_FALSE(drop(control<QLineEdit>(*form, QStringLiteral("BGImage")), movie));
    EXPECT_FALSE(drop(preview, movie, QPoint(1, 1)));
    EXPECT_EQ(form->doc().bgimage, picture);
    EXPECT_TRUE(log.messages.empty());

    // A damaged picture is refused with the reason, and the item keeps its source.
    EXPECT_TRUE(
        drop(control<QPushButton>(*form, QStringLiteral("tn3btn")), scratchPath("broken.png")));
    ASSERT_EQ(log.messages.size(), 1u);
    EXPECT_TRUE(log.messages[0].text.startsWith(
        QStringLiteral("Cannot read picture broken.png: the file is damaged (")))
        << log.messages[0].text.toStdString();
    EXPECT_EQ(source(3).menuclip, picture);

    // Several files on a row fill it and the rows after it; what is left over is told.
    ASSERT_TRUE(drop(control<QLineEdit>(*form, QStringLiteral("Edit9")), {movie, picture, movie}));
    EXPECT_EQ(source(9).menuclip, movie);
    EXPECT_EQ(FrameIndexOf(source(9).ThumbnailImage), 0);
    EXPECT_EQ(source(10).menuclip, picture);
    EXPECT_TRUE(form->statusBar()->currentMessage().startsWith(QStringLiteral("1 of the files")));
    EXPECT_EQ(log.messages.size(), 1u);

    // A project dropped on the window opens.
    MenuDocument other;
    other.title = "Dropped";
    const std::string project = scratchPath("dropped.tavrel");
    SaveProject(other, project);
    ASSERT_TRUE(drop(form.get(), project));
    EXPECT_EQ(form->doc().CurrentFileName, project);
    EXPECT_EQ(control<QLineEdit>(*form, QStringLiteral("TitleEdit"))->text(),
              QStringLiteral("Dropped"));
}

TEST_F(WindowSourcesTest, ItemsTabShowsEachSourceAndGreysRowsPastTheCount)
{
    MenuDocument& doc = form->doc();
    ASSERT_TRUE(LoadPictureFile(scratchPath("green.png"), doc.item(1).source.ThumbnailImage));
    doc.item(1).source.menuclip = scratchPath("green.png");
    doc.item(1).source.menuframe = -1;
    doc.item(2).source.menuclip = "/away/holiday.mpg"; // not found: no picture
    doc.titlesize = 7;
    form->SyncPanel();

    EXPECT_FALSE(control<QLabel>(*form, QStringLiteral("ItemState1"))->pixmap().isNull());
    EXPECT_LE(control<QLabel>(*form, QStringLiteral("ItemState1"))->pixmap().width(),
              control<QLabel>(*form, QStringLiteral("ItemState1"))->width());
    EXPECT_TRUE(control<QLabel>(*form, QStringLiteral("ItemState2"))->pixmap().isNull());
    EXPECT_TRUE(QStringLiteral("holiday.mpg")
                    .startsWith(control<QLabel>(*form, QStringLiteral("ItemState2"))
                                    ->text()
                                    .section(QChar(0x2026), 0, 0)));
    EXPECT_EQ(control<QLabel>(*form, QStringLiteral("ItemState2"))->toolTip(),
              QStringLiteral("/away/holiday.mpg\nNot found"));
    EXPECT_TRUE(control<QLabel>(*form, QStringLiteral("ItemState3"))->text().isEmpty());
    EXPECT_TRUE(control<QLabel>(*form, QStringLiteral("ItemState3"))->pixmap().isNull());
    EXPECT_EQ(control<QLabel>(*form, QStringLiteral("TitleSizeValue"))->text(),
              QStringLiteral("7"));
    control<QSlider>(*form, QStringLiteral("CaptionSize"))->setValue(13);
    EXPECT_EQ(control<QLabel>(*form, QStringLiteral("CaptionSizeValue"))->text(),
              QStringLiteral("13"));

    // The count applies while it is typed; rows past it are grey.
    control<NumberEdit>(*form, QStringLiteral("TotalItems"))
        ->findChild<QLineEdit*>()
        ->setText(QStringLiteral("3"));
    EXPECT_EQ(doc.menucount, 3);
    EXPECT_TRUE(control<QLabel>(*form, QStringLiteral("CN3"))->isEnabled());
    EXPECT_FALSE(control<QLabel>(*form, QStringLiteral("CN4"))->isEnabled());
    const QPalette grey = control<QLineEdit>(*form, QStringLiteral("Edit4"))->palette();
    EXPECT_EQ(grey.color(QPalette::Text), grey.color(QPalette::Disabled, QPalette::Text));
    EXPECT_NE(control<QLineEdit>(*form, QStringLiteral("Edit3"))->palette().color(QPalette::Text),
              grey.color(QPalette::Disabled, QPalette::Text));
    EXPECT_TRUE(
        control<QLineEdit>(*form, QStringLiteral("Edit4"))->isEnabled()); // still takes a caption

    // Clearing a source empties its row.
    doc.item(1).source.menuclip.clear();
    doc.item(1).source.ThumbnailImage.clear();
    doc.refresh();
    EXPECT_TRUE(control<QLabel>(*form, QStringLiteral("ItemState1"))->pixmap().isNull());
}

TEST_F(WindowSourcesTest, SwatchesOpenTheTitledChooserAndBadBackgroundIsMarked)
{
    QStringList titles;
    {
        ModalWatch watch([&](QDialog* dialog) {
            if (qobject_cast<QColorDialog*>(dialog))
                titles << dialog->windowTitle();
            dialog->reject();
        });
        QTest::mouseClick(control<ColorSwatch>(*form, QStringLiteral("BGColorPanel")),
                          Qt::LeftButton);
        QTest::mouseClick(control<ColorSwatch>(*form, QStringLiteral("TextColorPanel")),
                          Qt::LeftButton);
    }
    EXPECT_EQ(titles,
              (QStringList{QStringLiteral("Background colour"), QStringLiteral("Text colour")}));

    const std::string missing = scratchPath("missing.png");
    control<QLineEdit>(*form, QStringLiteral("BGImage"))->setText(QString::fromStdString(missing));
    EXPECT_FALSE(control<QLineEdit>(*form, QStringLiteral("BGImage"))->styleSheet().isEmpty());
    EXPECT_EQ(control<QLineEdit>(*form, QStringLiteral("BGImage"))->toolTip(),
              QStringLiteral("Cannot read picture missing.png: the file does not exist."));
    control<QLineEdit>(*form, QStringLiteral("BGImage"))
        ->setText(QString::fromStdString(scratchPath("broken.png")));
    EXPECT_TRUE(control<QLineEdit>(*form, QStringLiteral("BGImage"))
                    ->toolTip()
                    .contains(QStringLiteral("the file is damaged")));
    control<QLineEdit>(*form, QStringLiteral("BGImage"))
        ->setText(QString::fromStdString(scratchPath("green.png")));
    EXPECT_TRUE(control<QLineEdit>(*form, QStringLiteral("BGImage"))->styleSheet().isEmpty());
    EXPECT_TRUE(control<QLineEdit>(*form, QStringLiteral("BGImage"))->toolTip().isEmpty());
    control<QLineEdit>(*form, QStringLiteral("BGImage"))->clear();
    EXPECT_TRUE(control<QLineEdit>(*form, QStringLiteral("BGImage"))->styleSheet().isEmpty());
}

TEST_F(WindowSourcesTest, FontListHoldsPlainFamiliesOnceAndArialByItsName)
{
    QComboBox* fonts = control<QComboBox>(*form, QStringLiteral("TextFontCB"));
    QStringList names;
    for (int i = 1; i < fonts->count(); ++i)
        names << fonts->itemText(i);
    for (const QString& name : names) {
        EXPECT_FALSE(name.contains(QLatin1Char('['))) << name.toStdString();
        EXPECT_EQ(names.count(name), 1) << name.toStdString();
    }
    // Every family Qt lists with its foundry is there by its plain name, and is found so.
    for (const QString& family : QFontDatabase::families()) {
        const std::string plain = PlainFamilyName(family.toStdString());
        EXPECT_TRUE(names.contains(QString::fromStdString(plain))) << plain;
        EXPECT_EQ(form->doc().findInstalledFont(plain), plain);
    }
    EXPECT_EQ(PlainFamilyName("Nimbus Sans [UKWN]"), "Nimbus Sans");
    EXPECT_EQ(PlainFamilyName("DejaVu Sans"), "DejaVu Sans");

    // Liberation Sans is drawn to Arial's measures: a new menu starts with "Arial".
    if (QFontInfo(QFont(QStringLiteral("Arial")))
            .family()
            .startsWith(QStringLiteral("Liberation Sans"))) {
        EXPECT_EQ(fonts->currentText(), QStringLiteral("Arial"));
        EXPECT_EQ(form->doc().textfont, "Arial");
    }
    // The first entry goes back to the default face.
    EXPECT_EQ(fonts->itemText(0), QStringLiteral("(Default face)"));
    fonts->setCurrentIndex(0);
    EXPECT_EQ(form->doc().textfont, "");
    fonts->setCurrentIndex(1);
    EXPECT_EQ(form->doc().textfont, fonts->itemText(1).toStdString());
    form->doc().textfont.clear();
    form->SyncPanel();
    EXPECT_EQ(fonts->currentIndex(), 0);
}

} // namespace
