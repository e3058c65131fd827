// The live preview from the user's side: one keystroke in the title field to a finished
// preview on screen, at the default window size, with a picture background and ten
// thumbnails. Targets: "Better speed" at most 3 ms, "Better quality" at most 25 ms
// (medians); start-up to a shown window at most 400 ms.
#include "app/aboutform.h"
#include "app/mainwindow.h"
#include "app/previewbox.h"

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QDir>
#include <QKeyEvent>
#include <QLineEdit>

#include <cstdint>
#include <memory>

namespace {

QApplication& app()
{
    // Never destroyed: at exit Qt's own globals may already be gone.
    static QApplication* instance = [] {
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
            qputenv("QT_QPA_PLATFORM", "offscreen");
        // Default settings, whatever the user running the benchmark has stored.
        qputenv("XDG_CONFIG_HOME", QDir::tempPath().toLocal8Bit() + "/tavrel-bench-config");
        static int argc = 1;
        static char name[] = "bench_preview";
        static char* argv[] = {name, nullptr};
        auto* application = new QApplication(argc, argv);
        application->setQuitOnLastWindowClosed(false);
        return application;
    }();
    return *instance;
}

Picture gradient(int width, int height, int seed)
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

void settle()
{
    for (int i = 0; i < 5; ++i)
        QCoreApplication::processEvents();
}

// A shown editor at its default size with a busy menu.
std::unique_ptr<TForm1> busyEditor(bool quality)
{
    app();
    auto form = std::make_unique<TForm1>();
    form->resize(800, 570);
    form->show();
    settle();
    MenuDocument& doc = form->doc();
    doc.bgimage = "background.jpg";
    doc.BackgroundPicture = gradient(1024, 768, 0);
    for (int n = 1; n <= kItemCount; ++n) {
        menurec& item = doc.item(n);
        item.menucaption = "Chapter " + std::to_string(n);
        item.source.menuclip = "clip" + std::to_string(n) + ".mpg";
        item.source.ThumbnailImage = gradient(352, 240, n);
    }
    doc.setQuality(quality);
    settle();
    return form;
}

void keystrokes(benchmark::State& state, bool quality)
{
    auto form = busyEditor(quality);
    QLineEdit* title = form->TitleEdit;
    PreviewBox* box = form->previewBox();
    bool type = true;
    for (auto _ : state) {
        // Type a letter, then take it back, so the text stays short.
        const int key = type ? Qt::Key_X : Qt::Key_Backspace;
        const QString text = type ? QStringLiteral("x") : QString();
        QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, text);
        QCoreApplication::sendEvent(title, &press);
        box->repaint(); // the composed picture reaches the screen
        type = !type;
    }
    state.counters["preview_w"] = box->width();
    state.counters["preview_h"] = box->height();
    state.counters["compositions"] = box->compositionCount();
}

void BM_TitleKeystrokeBetterSpeed(benchmark::State& state)
{
    keystrokes(state, false);
}
BENCHMARK(BM_TitleKeystrokeBetterSpeed)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(5)
    ->ReportAggregatesOnly();

void BM_TitleKeystrokeBetterQuality(benchmark::State& state)
{
    keystrokes(state, true);
}
BENCHMARK(BM_TitleKeystrokeBetterQuality)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(5)
    ->ReportAggregatesOnly();

// Creating the main window and the About box and showing the window, in a running
// application (process start and library loading come on top; see the report).
void BM_StartupToShownWindow(benchmark::State& state)
{
    app();
    for (auto _ : state) {
        auto form = std::make_unique<TForm1>();
        auto about = std::make_unique<TAboutForm>(form.get());
        form->show();
        settle();
        benchmark::DoNotOptimize(form->previewBox()->compositionCount());
        state.PauseTiming();
        about.reset();
        form.reset();
        settle();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_StartupToShownWindow)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(10)
    ->Repetitions(3)
    ->ReportAggregatesOnly();

} // namespace
