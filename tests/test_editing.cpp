// The editor's file handling and editing: modified state and the save question, rejected
// projects, undo and redo, recent projects, keys, the cursor over dialogs and the hand-over
// of a project from a second start.
#include "app/aboutform.h"
#include "app/discpanel.h"
#include "app/helpviewer.h"
#include "app/instancelink.h"
#include "app/mainwindow.h"
#include "app/previewbox.h"
#include "app/savechanges.h"
#include "app/settings.h"
#include "app/singleinstance.h"
#include "document/projectfile.h"
#include "guitestsupport.h"
#include "widgets/busycursor.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QElapsedTimer>
#include <QFile>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QProcess>
#include <QSettings>
#include <QShortcut>
#include <QSlider>
#include <QTemporaryDir>
#include <QTimer>

#include <memory>

void PrintTo(const QString& text, std::ostream* out)
{
    *out << '"' << text.toStdString() << '"';
}

namespace {

QByteArray fileBytes(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Answers the save question with a fixed answer and counts the questions.
class Answering {
public:
    explicit Answering(SaveChangesAnswer answer)
    {
        SetSaveChangesAnswerer([this, answer] {
            ++asked;
            return answer;
        });
    }
    ~Answering()
    {
        SetSaveChangesAnswerer([] { return SaveChangesAnswer::Discard; });
    }
    int asked = 0;
};

// Fails the test and closes any modal dialog: the commands below must not open one.
class NoDialogExpected {
public:
    NoDialogExpected()
    {
        QObject::connect(&m_timer, &QTimer::timeout, [] {
            if (auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget())) {
                ADD_FAILURE() << "unexpected dialog " << dialog->windowTitle().toStdString();
                dialog->reject();
            }
        });
        m_timer.start(50);
    }

private:
    QTimer m_timer;
};

class EditingTest : public WindowTest {
protected:
    QString path(const char* name) const { return m_dir.filePath(QLatin1String(name)); }

    QTemporaryDir m_dir;
    MessageLog m_log;
};

} // namespace

TEST_F(EditingTest, UnsavedWorkIsMarkedAndNeverThrownAwaySilently)
{
    auto form = makeShownWindow();
    const NoDialogExpected noDialog;
    EXPECT_EQ(form->windowTitle(), "Tavrel Lite 2.00 - Untitled");
    EXPECT_FALSE(form->isModified());
    control<QLineEdit>(*form, QStringLiteral("TitleEdit"))->setText(QStringLiteral("Holiday"));
    EXPECT_EQ(form->windowTitle(), "Tavrel Lite 2.00 - *Untitled");

    const QString file = path("holiday.tavrel");
    ASSERT_TRUE(form->saveProjectAs(file));
    EXPECT_EQ(form->windowTitle(), "Tavrel Lite 2.00 - holiday.tavrel");
    control<QLineEdit>(*form, QStringLiteral("SubtitleEdit"))->setText(QStringLiteral("Summer"));
    EXPECT_EQ(form->windowTitle(), "Tavrel Lite 2.00 - *holiday.tavrel");
    // Save writes to the current file without a dialog.
    control<QAction>(*form, QStringLiteral("Save1"))->trigger();
    EXPECT_TRUE(fileBytes(file).contains("subtitle=Summer\r\n"));
    EXPECT_EQ(form->windowTitle(), "Tavrel Lite 2.00 - holiday.tavrel");

    // Cancel keeps everything: New, closing the window, another project.
    control<QLineEdit>(*form, QStringLiteral("FootnoteEdit"))->setText(QStringLiteral("Unsaved"));
    {
        Answering cancel(SaveChangesAnswer::Cancel);
        control<QAction>(*form, QStringLiteral("New1"))->trigger();
        EXPECT_FALSE(form->close());
        form->openProjectAsking(file);
        EXPECT_EQ(cancel.asked, 3);
    }
    EXPECT_TRUE(form->isVisible());
    EXPECT_EQ(form->doc().footnote, "Unsaved");
    EXPECT_EQ(control<QLineEdit>(*form, QStringLiteral("FootnoteEdit"))->text(), "Unsaved");

    // Save first, then go on.
    {
        Answering save(SaveChangesAnswer::Save);
        control<QAction>(*form, QStringLiteral("New1"))->trigger();
        EXPECT_EQ(save.asked, 1);
    }
    EXPECT_TRUE(fileBytes(file).contains("footnote=Unsaved\r\n"));
    EXPECT_EQ(form->doc().footnote, "Footnote");
    EXPECT_EQ(form->windowTitle(), "Tavrel Lite 2.00 - Untitled");

    // Discard goes on without writing; an unmodified menu asks nothing.
    control<QLineEdit>(*form, QStringLiteral("TitleEdit"))->setText(QStringLiteral("Thrown away"));
    {
        Answering discard(SaveChangesAnswer::Discard);
        form->openProjectAsking(file);
        EXPECT_EQ(discard.asked, 1);
        EXPECT_EQ(form->doc().title, "Holiday");
        EXPECT_FALSE(form->isModified());
        EXPECT_TRUE(form->close());
        EXPECT_EQ(discard.asked, 1);
    }
    EXPECT_FALSE(fileBytes(file).contains("Thrown away"));
    EXPECT_TRUE(m_log.messages.empty());
}

TEST_F(EditingTest, RejectedProjectLeavesTheWindowAsItWas)
{
    auto form = makeShownWindow();
    const QString good = path("good.tavrel");
    control<QLineEdit>(*form, QStringLiteral("TitleEdit"))->setText(QStringLiteral("Good"));
    ASSERT_TRUE(form->saveProjectAs(good));
    const QString bad = path("bad.tavrel");
    {
        QFile file(bad);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("id=Something else\r\nversion=100\r\ntitle=Bad\r\n");
    }
    const QByteArray badBytes = fileBytes(bad);

    EXPECT_FALSE(form->openProject(bad));
    ASSERT_EQ(m_log.messages.size(), 1u);
    EXPECT_EQ(m_log.messages[0].text, "Invalid file format");
    EXPECT_EQ(form->windowTitle(), "Tavrel Lite 2.00 - good.tavrel");
    EXPECT_EQ(form->doc().CurrentFileName, good.toStdString());
    EXPECT_EQ(form->doc().title, "Good");
    EXPECT_FALSE(form->recentFiles().files().contains(bad));

    // The next Save goes to the good file; the rejected one stays as it was.
    control<QLineEdit>(*form, QStringLiteral("SubtitleEdit"))->setText(QStringLiteral("Changed"));
    control<QAction>(*form, QStringLiteral("Save1"))->trigger();
    EXPECT_EQ(fileBytes(bad), badBytes);
    EXPECT_TRUE(fileBytes(good).contains("subtitle=Changed\r\n"));
}

TEST_F(EditingTest, UndoAndRedoTakeBackEveryEditAndThePreviewFollows)
{
    auto form = makeShownWindow();
    EXPECT_FALSE(control<QAction>(*form, QStringLiteral("Undo1"))->isEnabled());
    typeKey(control<QLineEdit>(*form, QStringLiteral("TitleEdit")), Qt::Key_End, QString());
    for (const char* letter : {"s", "!", "!"})
        typeKey(control<QLineEdit>(*form, QStringLiteral("TitleEdit")), letter[0],
                QString::fromLatin1(letter));
    EXPECT_EQ(form->doc().title, "Titles!!");
    control<QLineEdit>(*form, QStringLiteral("Edit2"))->setText(QStringLiteral("Second"));
    control<QCheckBox>(*form, QStringLiteral("BoldText"))->click();
    auto* slider = control<QSlider>(*form, QStringLiteral("TitleSize"));
    slider->setSliderDown(true); // a drag through four values is one step
    for (int size = 11; size <= 14; ++size)
        slider->setSliderPosition(size);
    slider->setSliderDown(false);
    EXPECT_EQ(form->doc().titlesize, 14);
    EXPECT_TRUE(control<QAction>(*form, QStringLiteral("Undo1"))->isEnabled());
    EXPECT_EQ(control<QAction>(*form, QStringLiteral("Undo1"))->text(), "&Undo Title size");

    const auto compositions = [&] { return form->previewBox()->compositionCount(); };
    int before = compositions();
    control<QAction>(*form, QStringLiteral("Undo1"))->trigger();
    EXPECT_EQ(compositions(), before + 1);
    EXPECT_EQ(control<QSlider>(*form, QStringLiteral("TitleSize"))->value(), 10);
    control<QAction>(*form, QStringLiteral("Undo1"))->trigger();
    EXPECT_TRUE(control<QCheckBox>(*form, QStringLiteral("BoldText"))->isChecked());
    control<QAction>(*form, QStringLiteral("Undo1"))->trigger();
    EXPECT_EQ(control<QLineEdit>(*form, QStringLiteral("Edit2"))->text(), "");
    // The three keystrokes were one step.
    control<QAction>(*form, QStringLiteral("Undo1"))->trigger();
    EXPECT_EQ(control<QLineEdit>(*form, QStringLiteral("TitleEdit"))->text(), "Title");
    EXPECT_EQ(form->doc().title, "Title");
    EXPECT_FALSE(control<QAction>(*form, QStringLiteral("Undo1"))->isEnabled());
    EXPECT_FALSE(form->isModified());
    EXPECT_EQ(form->windowTitle(), "Tavrel Lite 2.00 - Untitled");

    control<QAction>(*form, QStringLiteral("Redo1"))->trigger();
    EXPECT_EQ(control<QLineEdit>(*form, QStringLiteral("TitleEdit"))->text(), "Titles!!");
    EXPECT_TRUE(form->isModified());
    EXPECT_TRUE(control<QAction>(*form, QStringLiteral("Redo1"))->isEnabled());

    // Ctrl+Z in a text field is the window's undo, not the field's own, and Ctrl+E exports
    // instead of moving to the end of the line; other keys stay the field's.
    for (const auto& [key, taken] :
         {std::pair{Qt::Key_Z, false}, std::pair{Qt::Key_E, false}, std::pair{Qt::Key_A, true}}) {
        QKeyEvent override(QEvent::ShortcutOverride, key, Qt::ControlModifier);
        override.ignore();
        QCoreApplication::sendEvent(control<QLineEdit>(*form, QStringLiteral("TitleEdit")),
                                    &override);
        EXPECT_EQ(override.isAccepted(), taken) << key;
    }

    // The disc-button settings are document edits like any other.
    QComboBox* style = nullptr;
    for (QComboBox* box : form->findChild<DiscPanel*>()->findChildren<QComboBox*>()) {
        const ButtonStyle before = form->doc().buttonstyle;
        box->setCurrentIndex((box->currentIndex() + 1) % box->count());
        if (form->doc().buttonstyle != before) {
            style = box;
            break;
        }
    }
    ASSERT_NE(style, nullptr);
    const int changed = style->currentIndex();
    control<QAction>(*form, QStringLiteral("Undo1"))->trigger();
    EXPECT_EQ(form->doc().buttonstyle, ButtonStyle::Underline);
    EXPECT_NE(style->currentIndex(), changed); // the panel follows
    control<QAction>(*form, QStringLiteral("Redo1"))->trigger();
    EXPECT_EQ(style->currentIndex(), changed);

    // New and Open start a fresh history.
    form->New1Click();
    EXPECT_FALSE(control<QAction>(*form, QStringLiteral("Undo1"))->isEnabled());
    EXPECT_FALSE(control<QAction>(*form, QStringLiteral("Redo1"))->isEnabled());
    EXPECT_TRUE(m_log.messages.empty());
}

TEST_F(EditingTest, RecentProjectsAreKeptGreyedWhenMissingAndRemovable)
{
    const QString a = path("a.tavrel");
    const QString b = path("b.tavrel");
    {
        auto form = makeShownWindow();
        ASSERT_TRUE(form->saveProjectAs(a));
        ASSERT_TRUE(form->saveProjectAs(b));
        ASSERT_TRUE(form->openProject(a));
        EXPECT_EQ(form->recentFiles().files(), (QStringList{a, b}));
        for (int n = 1; n <= 9; ++n)
            form->saveProjectAs(path("many") + QString::number(n) + QStringLiteral(".tavrel"));
        EXPECT_EQ(form->recentFiles().files().size(), RecentFiles::kMax);
        EXPECT_EQ(form->recentFiles().files().front(), path("many9.tavrel"));
        ASSERT_TRUE(form->openProject(b));
        ASSERT_TRUE(form->openProject(a));
    }
    // The list lives in the settings.
    auto form = makeShownWindow();
    ASSERT_GE(form->recentFiles().files().size(), 2);
    EXPECT_EQ(form->recentFiles().files().mid(0, 2), (QStringList{a, b}));

    ASSERT_TRUE(QFile::remove(b));
    emit control<QMenu>(*form, QStringLiteral("Recent1"))->aboutToShow();
    const QList<QAction*> actions = control<QMenu>(*form, QStringLiteral("Recent1"))->actions();
    ASSERT_GE(actions.size(), 2);
    EXPECT_TRUE(actions[0]->text().endsWith(a));
    EXPECT_TRUE(actions[0]->isEnabled());
    EXPECT_TRUE(actions[1]->text().endsWith(b));
    EXPECT_FALSE(actions[1]->isEnabled()); // greyed out
    auto* removeMissing = control<QMenu>(*form, QStringLiteral("Recent1"))
                              ->findChild<QAction*>(QStringLiteral("RecentRemoveMissing"));
    if (!removeMissing) {
        for (QAction* action : actions)
            if (action->objectName() == QStringLiteral("RecentRemoveMissing"))
                removeMissing = action;
    }
    ASSERT_NE(removeMissing, nullptr);
    ASSERT_TRUE(removeMissing->isEnabled());
    removeMissing->trigger();
    EXPECT_FALSE(form->recentFiles().files().contains(b));
    EXPECT_TRUE(form->recentFiles().files().contains(a));
    auto store = OpenSettingsStore();
    EXPECT_EQ(store->value(QStringLiteral("Recent1")).toString(), a);

    // Choosing an entry opens it.
    form->New1Click();
    control<QMenu>(*form, QStringLiteral("Recent1"))->actions().front()->trigger();
    EXPECT_EQ(form->doc().CurrentFileName, a.toStdString());
}

TEST_F(EditingTest, KeysAndWindowDecorations)
{
    auto form = makeShownWindow();
    const std::pair<QAction*, QKeySequence> keys[] = {
        {control<QAction>(*form, QStringLiteral("New1")), QKeySequence(Qt::CTRL | Qt::Key_N)},
        {control<QAction>(*form, QStringLiteral("Open1")), QKeySequence(Qt::CTRL | Qt::Key_O)},
        {control<QAction>(*form, QStringLiteral("Save1")), QKeySequence(Qt::CTRL | Qt::Key_S)},
        {control<QAction>(*form, QStringLiteral("SaveAs1")),
         QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_S)},
        {control<QAction>(*form, QStringLiteral("ImageSave")), QKeySequence(Qt::CTRL | Qt::Key_E)},
        {control<QAction>(*form, QStringLiteral("Exit1")), QKeySequence(Qt::CTRL | Qt::Key_Q)},
        {control<QAction>(*form, QStringLiteral("Undo1")), QKeySequence(Qt::CTRL | Qt::Key_Z)},
        {control<QAction>(*form, QStringLiteral("Redo1")),
         QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z)},
        {control<QAction>(*form, QStringLiteral("Contents1")), QKeySequence(Qt::Key_F1)},
    };
    for (const auto& [action, key] : keys)
        EXPECT_EQ(action->shortcut(), key) << action->text().toStdString();
    EXPECT_EQ(control<QAction>(*form, QStringLiteral("Save1"))->text(), "&Save");
    EXPECT_EQ(control<QAction>(*form, QStringLiteral("SaveAs1"))->text(), "Save &as...");

    // Escape closes the help window.
    form->Contents1Click();
    HelpViewer* help = form->helpViewer();
    ASSERT_NE(help, nullptr);
    ASSERT_TRUE(help->isVisible());
    bool escapes = false;
    for (QShortcut* shortcut : help->findChildren<QShortcut*>()) {
        if (shortcut->key() == QKeySequence(Qt::Key_Escape)) {
            escapes = true;
            emit shortcut->activated();
        }
    }
    EXPECT_TRUE(escapes);
    EXPECT_FALSE(help->isVisible());

    // Fixed-size dialogs offer neither minimise nor maximise.
    TAboutForm about(form.get());
    const Qt::WindowFlags flags = about.windowFlags();
    EXPECT_TRUE(flags & Qt::CustomizeWindowHint);
    EXPECT_FALSE(flags & Qt::WindowMinimizeButtonHint);
    EXPECT_FALSE(flags & Qt::WindowMaximizeButtonHint);
    EXPECT_TRUE(flags & Qt::WindowCloseButtonHint);
}

TEST_F(EditingTest, BusyCursorGivesWayToADialogWaitingForTheUser)
{
    std::vector<Qt::CursorShape> seen;
    {
        const BusyCursor busy;
        QMessageBox box(QMessageBox::Information, QStringLiteral("t"), QStringLiteral("m"));
        QTimer::singleShot(0, &box, [&] {
            seen.push_back(QApplication::overrideCursor()->shape());
            box.accept();
        });
        box.exec();
        seen.push_back(QApplication::overrideCursor()->shape());
        // A second box in the same operation gets the arrow too.
        QDialog dialog;
        QTimer::singleShot(0, &dialog, [&] {
            seen.push_back(QApplication::overrideCursor()->shape());
            dialog.reject();
        });
        dialog.exec();
        seen.push_back(QApplication::overrideCursor()->shape());
    }
    EXPECT_EQ(seen, (std::vector<Qt::CursorShape>{Qt::ArrowCursor, Qt::WaitCursor, Qt::ArrowCursor,
                                                  Qt::WaitCursor}));
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);

    // Without a busy cursor a dialog changes nothing.
    QDialog dialog;
    QTimer::singleShot(0, &dialog, [&] {
        EXPECT_EQ(QApplication::overrideCursor(), nullptr);
        dialog.reject();
    });
    dialog.exec();
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

TEST_F(EditingTest, SecondStartHandsItsProjectToTheRunningCopy)
{
    ASSERT_TRUE(QFile::exists(QStringLiteral(TAVREL_BINARY))) << TAVREL_BINARY;
    const QString project = path("handed over.tavrel");
    {
        TForm1 writer;
        control<QLineEdit>(writer, QStringLiteral("TitleEdit"))
            ->setText(QStringLiteral("From the second start"));
        ASSERT_TRUE(writer.saveProjectAs(project));
    }
    SingleInstance instance(SingleInstance::InstanceNameFor(QStringLiteral(TAVREL_BINARY)));
    ASSERT_TRUE(instance.isFirst());
    auto form = makeShownWindow();
    ServeLaterStarts(instance, *form);
    control<QLineEdit>(*form, QStringLiteral("FootnoteEdit"))->setText(QStringLiteral("Unsaved"));
    Answering discard(SaveChangesAnswer::Discard);

    QProcess second;
    second.setWorkingDirectory(m_dir.path());
    second.start(QStringLiteral(TAVREL_BINARY), {QStringLiteral("handed over.tavrel")});
    ASSERT_TRUE(second.waitForStarted());
    QElapsedTimer clock;
    clock.start();
    while ((second.state() != QProcess::NotRunning ||
            form->doc().CurrentFileName != project.toStdString()) &&
           clock.elapsed() < 15000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    EXPECT_EQ(second.state(), QProcess::NotRunning);
    EXPECT_EQ(second.exitCode(), 0);
    EXPECT_EQ(discard.asked, 1); // the unsaved edit was asked about first
    EXPECT_EQ(form->doc().CurrentFileName, project.toStdString());
    EXPECT_EQ(control<QLineEdit>(*form, QStringLiteral("TitleEdit"))->text(),
              "From the second start");
    EXPECT_TRUE(m_log.messages.empty());
}

TEST_F(EditingTest, HandedOverProjectWaitsForAnOpenDialog)
{
    const QString project = path("later.tavrel");
    {
        TForm1 writer;
        control<QLineEdit>(writer, QStringLiteral("TitleEdit"))->setText(QStringLiteral("Later"));
        ASSERT_TRUE(writer.saveProjectAs(project));
    }
    QTemporaryDir runtime;
    SingleInstance instance(QStringLiteral("Handover"), runtime.path());
    auto form = makeShownWindow();
    ServeLaterStarts(instance, *form);

    // The user is in a dialog when the project arrives: it opens once the dialog is closed.
    QDialog dialog(form.get());
    std::string whileOpen = "unset";
    QTimer::singleShot(0, &dialog, [&] { emit instance.openRequested(project); });
    QTimer::singleShot(700, &dialog, [&] {
        whileOpen = form->doc().CurrentFileName;
        dialog.reject();
    });
    dialog.exec();
    EXPECT_EQ(whileOpen, "");
    QElapsedTimer clock;
    clock.start();
    while (form->doc().CurrentFileName.empty() && clock.elapsed() < 5000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    EXPECT_EQ(form->doc().CurrentFileName, project.toStdString());
    EXPECT_EQ(form->doc().title, "Later");
}

TEST(DesktopIntegration, ProjectTypeIsDeclaredAndOpenedByTheProgram)
{
    QFile desktop(QStringLiteral(TAVREL_SOURCE_DIR "/src/app/tavrel.desktop"));
    QFile mime(QStringLiteral(TAVREL_SOURCE_DIR "/src/app/tavrel-mime.xml"));
    ASSERT_TRUE(desktop.open(QIODevice::ReadOnly));
    ASSERT_TRUE(mime.open(QIODevice::ReadOnly));
    const QString entry = QString::fromUtf8(desktop.readAll());
    const QString types = QString::fromUtf8(mime.readAll());
    // The file manager hands the file to the program, which opens it (or passes it on).
    EXPECT_TRUE(entry.contains(QStringLiteral("\nExec=tavrel %f\n")));
    EXPECT_TRUE(entry.contains(QStringLiteral("\nMimeType=application/x-tavrel;")));
    EXPECT_TRUE(types.contains(QStringLiteral("<mime-type type=\"application/x-tavrel\">")));
    EXPECT_TRUE(types.contains(QStringLiteral("<glob pattern=\"*.tavrel\"/>")));
    // The magic is what the writer puts first.
    EXPECT_TRUE(types.contains(QStringLiteral("value=\"id=Tavrel\"")));
    MenuDocument doc;
    EXPECT_TRUE(ProjectFileText(doc).starts_with("id=Tavrel\r\n"));
}
