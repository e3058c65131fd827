#include "app/burndialog.h"
#include "childrun.h"
#include "discplay/checkapart.h"
#include "guitestsupport.h"
#include "testmovies.h"

#include <QPlainTextEdit>
#include <QTest>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

namespace fs = std::filesystem;

namespace {

// One small finished disc image for every case; burning never changes it.
class BurnTest : public ::testing::Test {
protected:
    static void TearDownTestSuite()
    {
        if (suiteDir)
            fs::remove_all(*suiteDir);
        delete suiteDir;
        suiteDir = nullptr;
    }
    // The disc is made by the first case that needs it; a failure fails every case (a
    // failed suite set-up would only skip them).
    void SetUp() override
    {
        dir = FreshTestDir("burn");
        if (!suiteDir) {
            suiteDir = new fs::path(FreshTestDir("burnsuite"));
            const Outcome made =
                RunTavrel(*suiteDir, {"--from-movies", TestMoviePath("titledvd.mpg"), "--size", "3",
                                      "--dvd", "disc", "--iso", "disc.iso"});
            madeError = made.status == 0 ? "" : "exit " + std::to_string(made.status) + made.err;
        }
        ASSERT_EQ(madeError, "");
    }
    void TearDown() override { fs::remove_all(dir); }

    static std::string iso() { return (*suiteDir / "disc.iso").string(); }

    // Puts an executable `xorriso` holding `script` first on the PATH of a run.
    std::string standIn(const std::string& script)
    {
        fs::create_directories(dir / "bin");
        std::ofstream(dir / "bin" / "xorriso") << "#!/bin/sh\n" << script;
        fs::permissions(dir / "bin" / "xorriso", fs::perms::owner_all);
        return "PATH=" + ShellQuoted((dir / "bin").string() + ":" + std::getenv("PATH"));
    }

    static fs::path* suiteDir;
    static std::string madeError;
    fs::path dir;
};
fs::path* BurnTest::suiteDir = nullptr;
std::string BurnTest::madeError;

// The whole way through a file standing in for the writer: written, read back, played.
TEST_F(BurnTest, AnImageBurnedToAPseudoDriveReadsBackAndPlays)
{
    const fs::path drive = dir / "drive.bin";
    const Outcome burned = RunTavrel(dir, {"--burn", "stdio:" + drive.string(), "--iso", iso()});
    ASSERT_EQ(burned.status, 0) << burned.err;
    EXPECT_NE(burned.err.find("reads back as the image"), std::string::npos) << burned.err;
    EXPECT_NE(burned.err.find("The disc plays as it should"), std::string::npos) << burned.err;
    const std::string image = ReadWholeFile(iso());
    ASSERT_GT(image.size(), 0u);
    EXPECT_EQ(ReadWholeFile(drive).substr(0, image.size()), image);
    EXPECT_EQ(RunTavrel(dir, {"--verify-disc", drive.string()}).status, 0);
}

// Each refusal and each failing writer ends with status 9 and a message in words.
TEST_F(BurnTest, RefusalsAndFailingWritersAreNamed)
{
    // Answers the drive's questions as the real tool does, then writes half the image.
    const std::string halfWriter =
        "for a; do case \"$a\" in -tell_media_space) exec /usr/bin/xorriso \"$@\";;\n"
        "dev=stdio:*) dev=\"${a#dev=stdio:}\";; esac; img=\"$a\"; done\n"
        "head -c 100000 \"$img\" > \"$dev\"\n";
    struct Case {
        const char* name;
        std::string script; // empty: the real xorriso
        std::string device;
        bool imageIsText;
        const char* message;
    };
    const std::string drive = "stdio:" + (dir / "drive.bin").string();
    const Case cases[] = {
        {"no writer", "", "stdio:" + (dir / "none" / "x.bin").string(), false,
         "there is no DVD writer at"},
        {"not an image", "", drive, true, "it is not a disc image"},
        {"disc too small",
         "echo 'Media current: DVD+RW, overwriteable'; echo 'Media status : is blank'\n"
         "echo 'Media space  : 16s'\n",
         drive, false, "the disc holds 0.00 GB, the image needs"},
        {"written DVD-R",
         "echo 'Media current: DVD-R sequential recording'\n"
         "echo 'Media status : is written , is closed'; echo 'Media space  : 0s'\n",
         drive, false, "the disc is not blank"},
        {"fails mid-write",
         halfWriter + "echo 'xorriso : FAILURE : Write error on the disc'\nexit 1\n", drive, false,
         "xorriso failed: Write error on the disc"},
        {"claims success after half",
         halfWriter + "echo \"Writing to '$dev' completed successfully.\"\n", drive, false,
         "does not read back as written"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::string image = iso();
        if (c.imageIsText) {
            image = (dir / "notes.iso").string();
            std::ofstream(image) << "not a disc\n";
        }
        const std::string env = c.script.empty() ? "" : standIn(c.script);
        const Outcome run = RunTavrel(dir, {"--burn", c.device, "--iso", image}, env);
        EXPECT_EQ(run.status, 9) << run.err;
        EXPECT_NE(run.err.find(c.message), std::string::npos) << run.err;
        EXPECT_EQ(run.err.find("plays as it should"), std::string::npos) << run.err;
    }
}

// The editor's dialog: no writer found here, so one is typed; the disc is written, read
// back and played, and the table shows in the log.
TEST_F(BurnTest, TheDialogBurnsToATypedWriterAndShowsTheCheck)
{
    testApplication();
    SetDiscCheckProgram(TAVREL_BINARY); // the program whose check mode plays the disc
    BurnDialog dialog(QString::fromStdString(iso()));
    auto* stage = control<QLabel>(dialog, QStringLiteral("BurnStage"));
    auto* start = control<QPushButton>(dialog, QStringLiteral("BurnStart"));
    QTRY_VERIFY_WITH_TIMEOUT(start->isEnabled(), 20000);
    EXPECT_TRUE(stage->text().contains(QStringLiteral("writer"))) << stage->text().toStdString();
    const fs::path drive = dir / "drive.bin";
    control<QComboBox>(dialog, QStringLiteral("BurnWriter"))
        ->setEditText(QStringLiteral("stdio:") + QString::fromStdString(drive.string()));
    start->click();
    EXPECT_EQ(dialog.state(), BurnDialog::State::Burning);
    QTRY_VERIFY_WITH_TIMEOUT(dialog.state() != BurnDialog::State::Burning, 60000);
    EXPECT_EQ(dialog.state(), BurnDialog::State::Done) << stage->text().toStdString();
    EXPECT_TRUE(stage->text().contains(QStringLiteral("plays as it should")))
        << stage->text().toStdString();
    const QString log = control<QPlainTextEdit>(dialog, QStringLiteral("BurnLog"))->toPlainText();
    EXPECT_TRUE(log.contains(QStringLiteral("Every button plays its title"))) << log.toStdString();
    EXPECT_EQ(ReadWholeFile(drive).substr(0, fs::file_size(iso())), ReadWholeFile(iso()));
}

} // namespace
