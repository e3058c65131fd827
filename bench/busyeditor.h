#pragma once

#include "app/mainwindow.h"

#include <QApplication>
#include <QDir>

#include <cerrno>
#include <cstdint>
#include <memory>
#include <string>

// The editor window as the window benchmarks drive it.

inline QApplication& BenchApplication()
{
    // Never destroyed: at exit Qt's own globals may already be gone.
    static QApplication* instance = [] {
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
            qputenv("QT_QPA_PLATFORM", "offscreen");
        // Default settings, whatever the user running the benchmark has stored.
        qputenv("XDG_CONFIG_HOME", QDir::tempPath().toLocal8Bit() + "/tavrel-bench-config");
        static int argc = 1;
        static char* argv[] = {program_invocation_short_name, nullptr};
        auto* application = new QApplication(argc, argv);
        application->setQuitOnLastWindowClosed(false);
        return application;
    }();
    return *instance;
}

inline Picture BenchGradient(int width, int height, int seed)
{
    Picture picture(width, height);
    for (int y = 0; y < height; ++y) {
        std::uint8_t* row = picture.row(y);
        for (int x = 0; x < width; ++x) {
            row[3 * x] = static_cast<std::uint8_t>(x * 255 / width);
            row[3 * x + 1] = static_cast<std::uint8_t>(y * 255 / height);
            row[3 * x + 2] = static_cast<std::uint8_t>((x + y + seed * 40) & 0xFF);
        }
    }
    return picture;
}

inline void Settle()
{
    for (int i = 0; i < 5; ++i)
        QCoreApplication::processEvents();
}

// A shown editor at its default size with a busy menu: a picture background and ten
// captioned thumbnails.
inline std::unique_ptr<TForm1> BusyEditor(bool quality)
{
    BenchApplication();
    auto form = std::make_unique<TForm1>();
    form->resize(800, 570);
    form->show();
    Settle();
    MenuDocument& doc = form->doc();
    doc.bgimage = "background.jpg";
    doc.BackgroundPicture = BenchGradient(1024, 768, 0);
    for (int n = 1; n <= kItemCount; ++n) {
        menurec& item = doc.item(n);
        item.menucaption = "Chapter " + std::to_string(n);
        item.source.menuclip = "clip" + std::to_string(n) + ".mpg";
        item.source.ThumbnailImage = BenchGradient(352, 240, n);
    }
    doc.setQuality(quality);
    Settle();
    return form;
}
