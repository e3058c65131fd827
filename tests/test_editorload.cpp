// Opening projects with movie thumbnails in the editor: the main window's open path
// drives the thumbnail dialog for every movie item.
#include "app/mainwindow.h"
#include "app/previewbox.h"
#include "document/projectfile.h"
#include "guitestsupport.h"
#include "imageio/imageunit.h"
#include "testmovies.h"
#include "widgets/clipform.h"
#include "widgets/messages.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QMessageBox>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTimer>

#include <fstream>
#include <iterator>
#include <memory>
#include <regex>
#include <string>
#include <vector>

namespace {

constexpr int kFrames = 80;

std::string scratchPath(const char* name)
{
    return scratchDir().filePath(QString::fromLatin1(name)).toStdString();
}

class EditorLoadTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        testApplication();

        ASSERT_EQ(TestMovieNamed("small.mpg").spec.frames, kFrames);
        std::filesystem::copy_file(TestMoviePath("small.mpg"), movie(),
                                   std::filesystem::copy_options::overwrite_existing);
        Picture p(40, 30);
        p.fill(10, 200, 30);
        ASSERT_TRUE(SaveAsBMP(picture(), p));
    }

    void SetUp() override
    {
        form = std::make_unique<TForm1>();
        clipForm = std::make_unique<TClipForm>(form->doc(), form->lastClipDir(), form.get());
        form->attachDialogs(clipForm.get(), nullptr);
        form->show();
        for (int i = 0; i < 5; ++i)
            QCoreApplication::processEvents();
    }

    void TearDown() override
    {
        form->attachDialogs(nullptr, nullptr);
        clipForm.reset();
        form.reset();
    }

    static std::string movie() { return scratchPath("clip.mpg"); }
    static std::string picture() { return scratchPath("cover.bmp"); }

    static void writeProject(const std::string& path,
                             const std::vector<std::pair<std::string, int>>& sources)
    {
        MenuDocument doc;
        for (std::size_t i = 0; i < sources.size(); ++i) {
            doc.items[i].menucaption = "Item " + std::to_string(i + 1);
            doc.items[i].source.menuclip = sources[i].first;
            doc.items[i].source.menuframe = sources[i].second;
        }
        SaveProject(doc, path);
    }

    int compositions() const { return form->previewBox()->compositionCount(); }
    const ThumbnailSource& source(int n) { return form->doc().item(n).source; }

    std::unique_ptr<TForm1> form;
    std::unique_ptr<TClipForm> clipForm;
};

TEST_F(EditorLoadTest, MovieItemsComeBackAtTheirStoredFrames)
{
    const std::string missing = scratchPath("gone.mpg");
    const std::string project = scratchPath("movies.tavrel");
    writeProject(project,
                 {{"", 0}, {movie(), 37}, {picture(), -1}, {missing, 12}, {movie(), 5000}});

    MessageLog log;
    const int before = compositions();
    form->openProject(QString::fromStdString(project));

    // One box at the end, not one per movie.
    ASSERT_EQ(log.messages.size(), 1u);
    EXPECT_EQ(log.messages[0].kind, MessageKind::Error);
    EXPECT_EQ(log.messages[0].text,
              QStringLiteral("2 movie clips loaded; 1 picture loaded; 1 source not found: ") +
                  QString::fromStdString(missing) + QStringLiteral(" (item 4)."));
    EXPECT_EQ(compositions(), before + 1);

    EXPECT_EQ(source(2).menuclip, movie());
    EXPECT_EQ(source(2).menuframe, 37);
    EXPECT_EQ(source(2).ThumbnailImage.width(), 160);
    EXPECT_EQ(source(2).ThumbnailImage.height(), 120);
    EXPECT_EQ(FrameIndexOf(source(2).ThumbnailImage), 37);

    EXPECT_EQ(source(3).menuframe, -1);
    Picture cover;
    ASSERT_TRUE(LoadPictureFile(picture(), cover));
    EXPECT_TRUE(source(3).ThumbnailImage.samePixels(cover));

    EXPECT_EQ(source(4).menuclip, missing);
    EXPECT_EQ(source(4).menuframe, 12);
    EXPECT_TRUE(source(4).ThumbnailImage.isEmpty());

    // Beyond the end: the slider's end, the last frame.
    EXPECT_EQ(source(5).menuframe, kFrames - 1);
    EXPECT_EQ(FrameIndexOf(source(5).ThumbnailImage), kFrames - 1);

    EXPECT_TRUE(source(1).ThumbnailImage.isEmpty());
    EXPECT_FALSE(clipForm->isVisible());
    EXPECT_EQ(clipForm->mediaPlayer(), nullptr); // the movie is released after each item
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    EXPECT_TRUE(form->doc().RenderEnabled);
    EXPECT_EQ(form->windowTitle(), "Tavrel Lite 2.00 - movies.tavrel");
    EXPECT_EQ(control<QLineEdit>(*form, QStringLiteral("Edit5"))->text(), "Item 5");

    // Saving writes the frames actually shown.
    const std::string resaved = scratchPath("resaved.tavrel");
    form->saveProjectAs(QString::fromStdString(resaved));
    std::ifstream in(resaved, std::ios::binary);
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_NE(text.find("\r\nmenuframe2=37\r\n"), std::string::npos);
    EXPECT_NE(text.find("\r\nmenuframe5=" + std::to_string(kFrames - 1) + "\r\n"),
              std::string::npos);
}

TEST_F(EditorLoadTest, BrokenMovieIsReportedAndTheLoadCompletes)
{
    const std::string broken = scratchPath("broken.mpg");
    std::ofstream(broken) << std::string(4000, 'x') << "not a movie\n";
    const std::string project = scratchPath("broken.tavrel");
    // Item 2: a frame below -1 makes the dialog read the movie as a picture.
    writeProject(project, {{broken, 25}, {movie(), -5}, {movie(), 3}});

    // A picture from before must not survive into the new project.
    Picture old(8, 8);
    old.fill(1, 2, 3);
    form->doc().item(1).source.ThumbnailImage = old;
    form->doc().item(2).source.ThumbnailImage = old;

    MessageLog log;
    const int before = compositions();
    form->openProject(QString::fromStdString(project));

    ASSERT_EQ(log.messages.size(), 1u);
    EXPECT_EQ(log.messages[0].kind, MessageKind::Error);
    const QStringList lines = log.messages[0].text.split(QLatin1Char('\n'));
    ASSERT_EQ(lines.size(), 3);
    EXPECT_EQ(lines[0], QStringLiteral("1 movie clip loaded."));
    EXPECT_TRUE(
        std::regex_match(lines[1].toStdString(),
                         std::regex(R"(Cannot open movie broken\.mpg: the file is damaged )"
                                    R"(or not a movie[^$]*\.)"))) // FFmpeg's words, no raw tag
        << lines[1].toStdString();
    EXPECT_EQ(lines[2], QStringLiteral("Cannot read picture clip.mpg: it is not a BMP, GIF, JPEG "
                                       "or PNG picture."));

    // What did not load is kept as the file says, so that saving does not change it.
    EXPECT_EQ(source(1).menuclip, broken);
    EXPECT_EQ(source(1).menuframe, 25);
    EXPECT_TRUE(source(1).ThumbnailImage.isEmpty());
    EXPECT_EQ(source(2).menuclip, movie());
    EXPECT_EQ(source(2).menuframe, -5);
    EXPECT_TRUE(source(2).ThumbnailImage.isEmpty());
    // The failures before it leave the next movie item alone.
    EXPECT_EQ(source(3).menuframe, 3);
    EXPECT_EQ(FrameIndexOf(source(3).ThumbnailImage), 3);

    EXPECT_EQ(compositions(), before + 1);
    EXPECT_EQ(form->doc().CurrentFileName, project);
    EXPECT_EQ(form->windowTitle(), "Tavrel Lite 2.00 - broken.tavrel");
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    EXPECT_FALSE(clipForm->isVisible());
}

TEST_F(EditorLoadTest, MovedFolderWithTenMoviesOpensWithoutAClick)
{
    // A project beside its movies and pictures; the whole folder then moves.
    QTemporaryDir root;
    const QString before = root.filePath(QStringLiteral("before"));
    QDir().mkpath(before + QStringLiteral("/media"));
    const std::string clip = (before + QStringLiteral("/media/clip.mpg")).toStdString();
    const std::string cover = (before + QStringLiteral("/cover.bmp")).toStdString();
    ASSERT_TRUE(QFile::copy(QString::fromStdString(movie()), QString::fromStdString(clip)));
    ASSERT_TRUE(QFile::copy(QString::fromStdString(picture()), QString::fromStdString(cover)));
    std::vector<std::pair<std::string, int>> items;
    for (int n = 1; n <= 9; ++n)
        items.emplace_back(clip, n * 7);
    items.emplace_back(cover, -1);
    writeProject((before + QStringLiteral("/menu.tavrel")).toStdString(), items);
    const QString after = root.filePath(QStringLiteral("after"));
    ASSERT_TRUE(QDir().rename(before, after));

    MessageLog log;
    form->openProject(after + QStringLiteral("/menu.tavrel"));

    EXPECT_TRUE(log.messages.empty()); // nothing to confirm
    for (int n = 1; n <= 9; ++n) {
        EXPECT_EQ(source(n).menuclip, (after + QStringLiteral("/media/clip.mpg")).toStdString());
        EXPECT_EQ(FrameIndexOf(source(n).ThumbnailImage), n * 7) << n;
    }
    EXPECT_EQ(source(10).menuclip, (after + QStringLiteral("/cover.bmp")).toStdString());
    EXPECT_FALSE(source(10).ThumbnailImage.isEmpty());
    const QString status = form->statusBar()->currentMessage();
    EXPECT_TRUE(status.startsWith(
        QStringLiteral("9 movie clips loaded; 1 picture loaded; 10 sources relinked, found in ")))
        << status.toStdString();
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    EXPECT_FALSE(clipForm->isVisible());
}

TEST_F(EditorLoadTest, RealSummaryBoxHasNoBusyCursorOverIt)
{
    const std::string project = scratchPath("boxes.tavrel");
    writeProject(project, {{movie(), 21}, {scratchPath("nowhere.mpg"), 3}});

    std::vector<QString> boxes;
    bool busyOverBox = false;
    QTimer confirm;
    QObject::connect(&confirm, &QTimer::timeout, [&] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            boxes.push_back(box->windowTitle() + ": " + box->text());
            busyOverBox = busyOverBox || QApplication::overrideCursor() != nullptr;
            box->accept();
        }
    });
    confirm.start(10);
    form->openProject(QString::fromStdString(project));

    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_TRUE(
        boxes[0].startsWith(QStringLiteral("Error: 1 movie clip loaded; 1 source not found: ")))
        << boxes[0].toStdString();
    EXPECT_FALSE(busyOverBox);
    EXPECT_EQ(source(1).menuframe, 21);
    EXPECT_EQ(FrameIndexOf(source(1).ThumbnailImage), 21);
    EXPECT_FALSE(clipForm->isVisible());
}

} // namespace
