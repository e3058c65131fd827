// Undo from the user's side: a title edit and its undo back to the first state, each to a
// finished preview on screen, with a picture background and ten thumbnails. Target: the
// undo is no slower than the edit (it restores values and shared pictures; nothing is
// decoded again).
#include "app/mainwindow.h"
#include "app/previewbox.h"

#include <benchmark/benchmark.h>

#include <QAction>
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
        qputenv("XDG_CONFIG_HOME", QDir::tempPath().toLocal8Bit() + "/tavrel-bench-config");
        static int argc = 1;
        static char name[] = "bench_undo";
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

void typeLetter(QLineEdit* field)
{
    QKeyEvent press(QEvent::KeyPress, Qt::Key_X, Qt::NoModifier, QStringLiteral("x"));
    QCoreApplication::sendEvent(field, &press);
}

// state.range(0): 0 "Better speed", 1 "Better quality".
void BM_TitleEdit(benchmark::State& state)
{
    auto form = busyEditor(state.range(0) != 0);
    PreviewBox* box = form->previewBox();
    for (auto _ : state) {
        typeLetter(form->TitleEdit);
        box->repaint();
        state.PauseTiming();
        form->Undo1->trigger();
        form->TitleEdit->setFocus(); // a fresh step each time
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
    auto form = busyEditor(state.range(0) != 0);
    PreviewBox* box = form->previewBox();
    const std::string first = form->doc().title;
    for (auto _ : state) {
        state.PauseTiming();
        typeLetter(form->TitleEdit);
        state.ResumeTiming();
        form->Undo1->trigger();
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
    doc.BackgroundPicture = gradient(1024, 768, 0);
    for (int n = 1; n <= kItemCount; ++n)
        doc.item(n).source.ThumbnailImage = gradient(352, 240, n);
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
