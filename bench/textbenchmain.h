#pragma once

#include <QGuiApplication>

#include <benchmark/benchmark.h>

// Runs the benchmarks as a benchmark main does, inside a QGuiApplication: text needs one,
// and the offscreen platform needs no display. Returns main's status.
inline int RunBenchmarksWithText(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
