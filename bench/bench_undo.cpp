// Undo from the user's side: a title edit and its undo back to the first state, each to a
// finished preview on screen, with a picture background and ten thumbnails. Target: the
// undo is no slower than the edit (it restores values and shared pictures; nothing is
// decoded again).
#include "app/mainwindow.h"
#include "app/previewbox.h"
#include "busyeditor.h"

#include <benchmark/benchmark.h>

#include <QAction>
#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>

#include <memory>

namespace {

void typeLetter(QLineEdit* field)
{
    QKeyEvent press(QEvent::KeyPress, Qt::Key_X, Qt::NoModifier, QStringLiteral("x"));
    QCoreApplication::sendEvent(field, &press);
}

// state.range(0): 0 "Better speed", 1 "Better quality".
void BM_TitleEdit(benchmark::State& state)
{
    auto form = BusyEditor(state.range(0) != 0);
    PreviewBox* box = form->previewBox();
    auto* title = form->findChild<QLineEdit*>("TitleEdit");
    auto* undo = form->findChild<QAction*>("Undo1");
    for (auto _ : state) {
        typeLetter(title);
        box->repaint();
        state.PauseTiming();
        undo->trigger();
        title->setFocus(); // a fresh step each time
        state.ResumeTiming();
    }
}
BENCHMARK(BM_TitleEdit)
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(5)
    ->ReportAggregatesOnly();

void BM_UndoTitleEdit(benchmark::State& state)
{
    auto form = BusyEditor(state.range(0) != 0);
    PreviewBox* box = form->previewBox();
    auto* title = form->findChild<QLineEdit*>("TitleEdit");
    auto* undo = form->findChild<QAction*>("Undo1");
    const std::string first = form->doc().title;
    for (auto _ : state) {
        state.PauseTiming();
        typeLetter(title);
        state.ResumeTiming();
        undo->trigger();
        box->repaint();
    }
    if (form->doc().title != first)
        state.SkipWithError("undo did not bring the first title back");
}
BENCHMARK(BM_UndoTitleEdit)
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(5)
    ->ReportAggregatesOnly();

// What the history adds to every keystroke: taking the state and comparing it.
void BM_RecordTitleKeystroke(benchmark::State& state)
{
    MenuDocument doc;
    doc.BackgroundPicture = BenchGradient(1024, 768, 0);
    for (int n = 1; n <= kItemCount; ++n)
        doc.item(n).source.ThumbnailImage = BenchGradient(352, 240, n);
    EditHistory history;
    history.reset(doc);
    bool type = true;
    for (auto _ : state) {
        doc.title = type ? "Titlex" : "Title";
        benchmark::DoNotOptimize(history.record(doc));
        type = !type;
    }
}
BENCHMARK(BM_RecordTitleKeystroke)->Unit(benchmark::kMicrosecond);

} // namespace
