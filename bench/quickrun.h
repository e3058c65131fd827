#pragma once

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <string_view>

// scripts/test runs every benchmark once with TAVREL_BENCH_QUICK=1 so that none rots
// unnoticed; benchmarks whose sizes or counts are fixed take their short form then.
inline bool QuickBenchRun()
{
    const char* value = std::getenv("TAVREL_BENCH_QUICK");
    return value && *value && std::string_view(value) != "0";
}

// `n`, or 1 in the quick run.
inline benchmark::IterationCount QuickOr(benchmark::IterationCount n)
{
    return QuickBenchRun() ? 1 : n;
}
