#include "app/makedvddialog.h"
#include "app/makedvdprogress.h"
#include "childrun.h"
#include "discplay/checkapart.h"
#include "discplay/disccheck.h"
#include "guitestsupport.h"
#include "testmovies.h"

#include <QDeadlineTimer>
#include <QDialogButtonBox>
#include <QPlainTextEdit>
#include <QSpinBox>
#include <QTimer>

#include "dvd/discfolder.h"
#include "widgets/messages.h"

#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

namespace {

// A PAL menu of one item whose movie is already fit for the disc, so that it is copied.
class MakeDvdDialogTest : public WindowTest {
protected:
    void SetUp() override
    {
        WindowTest::SetUp();
        SetDiscCheckProgram(TAVREL_BINARY); // the program whose check mode plays the disc
        dir = FreshTestDir("makedvddialog");
        doc.RenderEnabled = true; // as in the window
        doc.selectVideoMode(3);
        doc.menucount = 1;
        doc.item(1).menucaption = "Holiday";
        doc.item(1).source.menuclip = TestMoviePath("titledvd.mpg");
        options.folder = (dir / "disc").string();
        options.jobs = 1;
    }
    void TearDown() override { fs::remove_all(dir); }

    // Runs the dialog as the window does, `before` acting on it first; waits for the end.
    DvdOutcome run(const std::function<void(MakeDvdProgressDialog&)>& before = {})
    {
        MakeDvdProgressDialog progress(doc, options);
        progress.show();
        if (before)
            before(progress);
        progress.start();
        const QDeadlineTimer deadline(120'000);
        while (progress.outcome() == DvdOutcome::Running && !deadline.hasExpired())
            QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
        summary = progress.summary();
        log = control<QPlainTextEdit>(progress, QStringLiteral("DvdLog"))->toPlainText();
        return progress.outcome();
    }

    fs::path dir;
    MenuDocument doc;
    DvdOptions options;
    QString summary;
    QString log;
};

TEST_F(MakeDvdDialogTest, MakesTheDiscOffTheGuiThreadAndShowsTheSelfCheck)
{
    options.isoFile = (dir / "disc.iso").string();
    // At the end, Play disc hands the image to the desktop and Open folder the folder.
    std::vector<std::string> opened;
    SetUrlOpener(
        [&](const QUrl& url) { return opened.push_back(url.toLocalFile().toStdString()), true; });
    ASSERT_EQ(run([](MakeDvdProgressDialog& d) {
                  QObject::connect(&d, &MakeDvdProgressDialog::finished, &d, [&d] {
                      for (const char* name : {"DvdPlay", "DvdOpenFolder"})
                          control<QPushButton>(d, QString::fromLatin1(name))->click();
                  });
              }),
              DvdOutcome::Made)
        << summary.toStdString() << log.toStdString();
    SetUrlOpener({});
    EXPECT_EQ(opened, (std::vector<std::string>{options.isoFile, options.folder}));
    EXPECT_TRUE(summary.contains(QString::fromStdString(options.isoFile))) << summary.toStdString();
    // The table the user sees is the self-check's, and libdvdnav agrees with it.
    const DiscCheckReport report = VerifyDisc(options.isoFile);
    EXPECT_TRUE(report.passed()) << FormatDiscCheckTable(report);
    EXPECT_TRUE(log.contains(QString::fromStdString(FormatDiscCheckTable(report)).trimmed()))
        << log.toStdString();
}

// A player that crashes on the finished disc: the disc and image are made and stay, and
// the dialog says its check could not finish instead of that the DVD was not made.
TEST_F(MakeDvdDialogTest, ACheckThatCannotFinishLeavesTheDiscMade)
{
    options.isoFile = (dir / "disc.iso").string();
    const fs::path crash = dir / "crash";
    std::ofstream(crash) << "#!/bin/sh\nkill -ABRT $$\n";
    fs::permissions(crash, fs::perms::owner_all);
    SetDiscCheckProgram(crash.string());
    EXPECT_EQ(run(), DvdOutcome::Made) << summary.toStdString();
    EXPECT_TRUE(summary.contains(QStringLiteral("The DVD was made; its check could not finish: "
                                                "Cannot check the disc disc.iso: the player "
                                                "stopped on it (Aborted)")))
        << summary.toStdString();
    EXPECT_TRUE(fs::exists(options.isoFile));
    EXPECT_TRUE(fs::exists(dir / "disc" / "VIDEO_TS" / "VIDEO_TS.IFO"));
}

TEST_F(MakeDvdDialogTest, CancelAndFailuresLeaveNoDiscThatLooksFinished)
{
    options.isoFile = (dir / "disc.iso").string();
    struct Case {
        const char* name;
        std::function<void(MakeDvdProgressDialog&)> before;
        std::function<void()> setUp;
        DvdOutcome outcome;
        const char* says;
    };
    const Case cases[] = {
        {"cancel",
         [](MakeDvdProgressDialog& d) {
             control<QPushButton>(d, QStringLiteral("DvdCancel"))->click();
         },
         {},
         DvdOutcome::Cancelled,
         "Cancelled"},
        {"no movie",
         {},
         [this] { doc.item(1).source.menuclip.clear(); },
         DvdOutcome::Failed,
         "Item 1"},
        {"VCD size",
         {},
         [this] {
             doc.item(1).source.menuclip = TestMoviePath("titledvd.mpg");
             doc.selectVideoMode(0);
         },
         DvdOutcome::Failed,
         "720 x 576"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.setUp)
            c.setUp();
        EXPECT_EQ(run(c.before), c.outcome) << summary.toStdString();
        EXPECT_TRUE(summary.contains(QLatin1String(c.says))) << summary.toStdString();
        EXPECT_FALSE(summary.contains(QStringLiteral("The disc is in")));
        EXPECT_FALSE(fs::exists(dir / "disc" / "VIDEO_TS" / "VIDEO_TS.IFO"));
        EXPECT_FALSE(fs::exists(options.isoFile));
    }
}

TEST_F(MakeDvdDialogTest, ChoicesBecomeTheOptions)
{
    MakeDvdDialog choices(QString::fromStdString((dir / "new folder").string()), QString());
    EXPECT_TRUE(choices.isoFile().isEmpty()); // no image unless asked for
    control<QCheckBox>(choices, QStringLiteral("DvdIsoWanted"))->setChecked(true);
    control<QLineEdit>(choices, QStringLiteral("DvdIso"))->setText(QStringLiteral("rel/x.iso"));
    control<QComboBox>(choices, QStringLiteral("DvdCapacity"))->setCurrentIndex(1);
    control<QSpinBox>(choices, QStringLiteral("DvdChapters"))->setValue(0);
    const DvdOptions chosen = choices.options();
    EXPECT_EQ(chosen.folder, (dir / "new folder").string());
    EXPECT_TRUE(fs::path(chosen.isoFile).is_absolute());
    EXPECT_EQ(chosen.capacityBytes, kDualLayerBytes);
    EXPECT_EQ(chosen.chapterMinutes, 0);
    // Without a folder there is nothing to make.
    control<QLineEdit>(choices, QStringLiteral("DvdFolder"))->clear();
    EXPECT_FALSE(choices.findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok)->isEnabled());
}

// A VCD-size menu is not refused after all the choices: Make DVD offers its standard at
// the DVD size and leaves the editor's size alone, so there is nothing to undo.
TEST_F(MakeDvdDialogTest, AVcdSizeMenuIsOfferedItsDvdSizeFirst)
{
    for (const char* mode : {"VCDPAL", "VCDNTSC"}) {
        auto form = makeShownWindow();
        form->doc().menucount = 1;
        form->doc().item(1).source.menuclip = TestMoviePath("titledvd.mpg");
        control<QAction>(*form, QString::fromLatin1(mode))->trigger();
        const int height = form->doc().ImageHeight;
        int standard = -1;
        QTimer::singleShot(0, [&] {
            if (QWidget* modal = QApplication::activeModalWidget()) {
                standard =
                    control<QComboBox>(*modal, QStringLiteral("DvdStandard"))->currentIndex();
                modal->close();
            }
        });
        form->MakeDvdClick();
        EXPECT_EQ(standard, height == 576 ? 1 : 0) << mode;
        EXPECT_EQ(form->doc().ImageWidth, 704);
        EXPECT_FALSE(form->history().canUndo());
    }
}

// What the dialog would replace is checked when Make DVD is pressed: a folder of other
// files is refused, another menu's disc and any file that is not this menu's image are
// replaced only when the user says so (here: no), and this menu's own are taken.
TEST_F(MakeDvdDialogTest, WhatWouldBeReplacedIsRefusedOrAskedFirst)
{
    const auto file = [](const fs::path& path, const std::string& data) {
        fs::create_directories(path.parent_path());
        std::ofstream(path, std::ios::binary) << data;
    };
    file(dir / "photos" / "a.jpg", "photo");
    file(dir / "old" / kDiscFolderMarker, "");
    file(dir / "old" / "VIDEO_TS" / "VIDEO_TS.IFO", "ifo");
    file(dir / "notes.iso", "my notes");
    std::string image(16 * 2048 + 72, ' ');
    image.replace(16 * 2048, 6,
                  std::string("\x01"
                              "CD001"));
    image.replace(16 * 2048 + 40, 7, "HOLIDAY");
    file(dir / "holiday.iso", image);
    const struct {
        const char* folder;
        const char* iso; // empty: none
        bool own;        // the folder and image are this menu's
        int asked;
        int refused;
        bool accepted;
    } cases[] = {
        {"new", "", false, 0, 0, true},
        {"photos", "", true, 0, 1, false},
        {"old", "", true, 0, 0, true},
        {"old", "", false, 1, 0, false},
        {"new", "notes.iso", true, 1, 0, false},
        {"new", "holiday.iso", true, 0, 0, true},
        {"new", "holiday.iso", false, 1, 0, false},
    };
    for (const auto& c : cases) {
        const QString folder = QString::fromStdString((dir / c.folder).string());
        const QString iso = *c.iso ? QString::fromStdString((dir / c.iso).string()) : QString();
        MakeDvdDialog choices(folder, iso, nullptr, QStringLiteral("Holiday"), true);
        if (c.own)
            choices.setOwnDisc(folder, iso);
        int asked = 0;
        int refused = 0;
        SetQuestionSink([&](const QString&) { return ++asked, false; });
        SetMessageSink([&](MessageKind, const QString&) { ++refused; });
        choices.accept();
        SetQuestionSink([](const QString&) { return true; });
        SetMessageSink({});
        EXPECT_EQ(asked, c.asked) << c.folder << " " << c.iso;
        EXPECT_EQ(refused, c.refused) << c.folder << " " << c.iso;
        EXPECT_EQ(choices.result() == QDialog::Accepted, c.accepted) << c.folder << " " << c.iso;
    }
    EXPECT_TRUE(fs::exists(dir / "photos" / "a.jpg"));
    EXPECT_EQ(fs::file_size(dir / "notes.iso"), 8u);
}

// The window proposes each project's own disc folder and image, beside it and named after
// it, not the last project's; an item without a movie is named before any choice.
TEST_F(MakeDvdDialogTest, EachProjectIsProposedItsOwnDiscAndItemsWithoutAMovieComeFirst)
{
    auto form = makeShownWindow();
    form->doc().menucount = 1;
    form->doc().item(1).source.menuclip = TestMoviePath("titledvd.mpg");
    for (const char* name : {"a", "b"}) {
        const fs::path project = dir / name / (std::string(name) + ".tavrel");
        fs::create_directories(project.parent_path());
        ASSERT_TRUE(form->saveProjectAs(QString::fromStdString(project.string())));
        QString folder;
        QString iso;
        // The first project's disc is begun (then cancelled), so that it was last used.
        const bool begin = *name == 'a';
        QTimer closer;
        QObject::connect(&closer, &QTimer::timeout, [&] {
            QWidget* modal = QApplication::activeModalWidget();
            if (!modal)
                return;
            if (modal->objectName() == QStringLiteral("MakeDvdDialog") && folder.isEmpty()) {
                folder = control<QLineEdit>(*modal, QStringLiteral("DvdFolder"))->text();
                control<QCheckBox>(*modal, QStringLiteral("DvdIsoWanted"))->setChecked(true);
                iso = control<QLineEdit>(*modal, QStringLiteral("DvdIso"))->text();
            }
            if (begin && modal->objectName() == QStringLiteral("MakeDvdDialog"))
                static_cast<QDialog*>(modal)->accept();
            else
                modal->close();
        });
        closer.start(20);
        form->MakeDvdClick();
        EXPECT_EQ(folder.toStdString(), (dir / name / (std::string(name) + " DVD")).string());
        EXPECT_EQ(iso.toStdString(), (dir / name / (std::string(name) + ".iso")).string());
    }
    form->doc().item(1).source.menuframe = -1; // a picture
    QString refusal;
    SetMessageSink([&](MessageKind, const QString& text) { refusal = text; });
    form->MakeDvdClick(); // a dialog shown now would wait for ever
    SetMessageSink({});
    EXPECT_TRUE(refusal.contains(QStringLiteral("Item 1"))) << refusal.toStdString();
    EXPECT_TRUE(refusal.contains(QStringLiteral("Movie Frame"))) << refusal.toStdString();
}

} // namespace
