// The live preview from the user's side: one keystroke in the title field to a finished
// preview on screen, at the default window size, with a picture background and ten
// thumbnails. Targets: "Better speed" at most 3 ms, "Better quality" at most 25 ms
// (medians); start-up to a shown window at most 400 ms.
#include "app/aboutform.h"
#include "app/mainwindow.h"
#include "app/previewbox.h"
#include "busyeditor.h"

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>

#include <memory>

namespace {

void keystrokes(benchmark::State& state, bool quality)
{
    auto form = BusyEditor(quality);
    auto* title = form->findChild<QLineEdit*>("TitleEdit");
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
    BenchApplication();
    for (auto _ : state) {
        auto form = std::make_unique<TForm1>();
        auto about = std::make_unique<TAboutForm>(form.get());
        form->show();
        Settle();
        benchmark::DoNotOptimize(form->previewBox()->compositionCount());
        state.PauseTiming();
        about.reset();
        form.reset();
        Settle();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_StartupToShownWindow)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(10)
    ->Repetitions(3)
    ->ReportAggregatesOnly();

} // namespace
