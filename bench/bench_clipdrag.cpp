// Dragging the thumbnail dialog's frame slider over a 720x576 MPEG-2 movie: every move
// asks for a seek, and the user-interface thread must keep answering while the worker
// decodes. Reports the longest and the median time the thread spends on one slider step
// (the change handler plus the events it causes); the target is no stall above 16 ms.
#include "../tests/moviemaker.h"
#include "document/menudocument.h"
#include "widgets/clipform.h"

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QSlider>
#include <QThread>

#include <algorithm>
#include <filesystem>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

QApplication& app()
{
    static QApplication* instance = [] {
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
            qputenv("QT_QPA_PLATFORM", "offscreen");
        static int argc = 1;
        static char name[] = "bench_clipdrag";
        static char* argv[] = {name, nullptr};
        auto* application = new QApplication(argc, argv);
        application->setQuitOnLastWindowClosed(false);
        return application;
    }();
    return *instance;
}

std::string movie()
{
    static const std::string path = [] {
        const fs::path folder =
            fs::temp_directory_path() / ("tavrel_bench_drag_" + std::to_string(getpid()));
        fs::create_directories(folder);
        MovieSpec spec;
        spec.path = (folder / "drag.mpg").string();
        spec.codec = "mpeg2video";
        spec.width = 720;
        spec.height = 576;
        spec.frames = 300;
        spec.gop = 15;
        spec.texture = true;
        return MakeMovie(spec).empty() ? spec.path : std::string();
    }();
    return path;
}

void BM_SliderDrag(benchmark::State& state)
{
    app();
    const std::string path = movie();
    if (path.empty()) {
        state.SkipWithError("cannot make the test movie");
        return;
    }
    MenuDocument doc;
    QString lastClipDir;
    TClipForm form(doc, lastClipDir);
    form.showMessage = [](QMessageBox::Icon, const QString&, const QString&) {};
    form.CurrentItem = 1;
    doc.item(1).source.menuclip = path;
    doc.item(1).source.menuframe = 0;
    form.show();
    QCoreApplication::processEvents();

    std::vector<double> steps;
    for (auto _ : state) {
        // A drag across the whole movie, one slider step every 10 ms of wall time.
        for (int position = 0; position <= 300; position += 3) {
            QElapsedTimer timer;
            timer.start();
            form.TrackBar1->setValue(position);
            QCoreApplication::processEvents();
            steps.push_back(static_cast<double>(timer.nsecsElapsed()) / 1e6);
            QThread::msleep(10);
            // Frames delivered meanwhile are copied out and painted here.
            timer.restart();
            QCoreApplication::processEvents();
            steps.push_back(static_cast<double>(timer.nsecsElapsed()) / 1e6);
        }
    }
    std::sort(steps.begin(), steps.end());
    state.counters["max_step_ms"] = steps.back();
    state.counters["median_step_ms"] = steps[steps.size() / 2];
    form.reject();
}
BENCHMARK(BM_SliderDrag)->Iterations(2)->Unit(benchmark::kMillisecond);

} // namespace
