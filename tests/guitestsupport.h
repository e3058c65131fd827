#pragma once

// Shared by the window tests: one application per test binary whose settings and
// runtime files live in a scratch folder, and a log that takes message boxes instead
// of showing them.
#include "app/colorswatch.h"
#include "app/legibilitypanel.h"
#include "app/mainwindow.h"
#include "app/numberedit.h"
#include "app/pagecontrol.h"
#include "app/savechanges.h"
#include "app/settings.h"
#include "app/tvmenus.h"
#include "widgets/messages.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFrame>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QSettings>
#include <QSlider>
#include <QSplitter>
#include <QString>
#include <QTemporaryDir>
#include <QWidget>

#include <memory>
#include <stdexcept>
#include <vector>

inline QTemporaryDir& scratchDir()
{
    static QTemporaryDir dir;
    return dir;
}

// Never destroyed: at exit Qt's own globals may already be gone.
inline QApplication& testApplication()
{
    static QApplication* instance = [] {
        const QByteArray root = scratchDir().path().toLocal8Bit();
        qputenv("XDG_CONFIG_HOME", root + "/config");
        qputenv("XDG_RUNTIME_DIR", root + "/runtime");
        QDir().mkpath(QString::fromLocal8Bit(root + "/runtime"));
        QFile::setPermissions(QString::fromLocal8Bit(root + "/runtime"),
                              QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                  QFileDevice::ExeOwner);
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
            qputenv("QT_QPA_PLATFORM", "offscreen");
        static int argc = 1;
        static char name[] = "tavrel_test";
        static char* argv[] = {name, nullptr};
        auto* application = new QApplication(argc, argv);
        // Windows open and close all through the run; none of that may end a dialog's loop.
        application->setQuitOnLastWindowClosed(false);
        // Unsaved edits are thrown away unless a test answers the question itself.
        SetSaveChangesAnswerer([] { return SaveChangesAnswer::Discard; });
        SetQuestionSink([](const QString&) { return true; });
        return application;
    }();
    return *instance;
}

// The window's control of that object name; a test that names a missing control fails.
template <class T = QWidget> T* control(const QObject& root, const QString& name)
{
    T* found = root.findChild<T*>(name);
    if (!found)
        throw std::runtime_error("no control named " + name.toStdString());
    return found;
}

struct Message {
    MessageKind kind;
    QString text;
};

// Collects the message boxes instead of showing them, and answers questions with `goOn`.
class MessageLog {
public:
    MessageLog()
    {
        SetMessageSink([this](MessageKind kind, const QString& text) {
            messages.push_back({kind, text});
        });
        SetQuestionSink([this](const QString& text) {
            questions.push_back(text);
            return goOn;
        });
    }
    ~MessageLog()
    {
        SetMessageSink({});
        SetQuestionSink([](const QString&) { return true; }); // as testApplication() leaves it
    }
    MessageLog(const MessageLog&) = delete;
    MessageLog& operator=(const MessageLog&) = delete;
    std::vector<Message> messages;
    std::vector<QString> questions;
    bool goOn = true;
};

// Lets posted events and queued work run, as the window would between two user actions.
inline void settle()
{
    for (int i = 0; i < 5; ++i)
        QCoreApplication::processEvents();
}

// A key pressed and released on `widget`, as typing it.
inline void typeKey(QWidget* widget, int key, const QString& text)
{
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, text);
    QCoreApplication::sendEvent(widget, &press);
    QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier, text);
    QCoreApplication::sendEvent(widget, &release);
}

// Every stored setting gone: the next window starts from the defaults.
inline void clearSettings()
{
    auto store = OpenSettingsStore();
    store->clear();
    store->sync();
}

// A window test: the application is there and the settings are the defaults.
class WindowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        testApplication();
        clearSettings();
    }

    std::unique_ptr<TForm1> makeShownWindow()
    {
        auto form = std::make_unique<TForm1>();
        form->show();
        settle();
        return form;
    }
};
