// BENCHMARK_MAIN for benchmarks that need widgets: a QApplication, on the
// offscreen platform unless QT_QPA_PLATFORM says otherwise.
#pragma once

#include <benchmark/benchmark.h>

#include <QApplication>
#include <cstdlib>

#define WENDUL_QT_BENCHMARK_MAIN()                                          \
  int main(int argc, char** argv) {                                         \
    setenv("QT_QPA_PLATFORM", "offscreen", 0);                              \
    QApplication app(argc, argv);                                           \
    benchmark::Initialize(&argc, argv);                                     \
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;       \
    benchmark::RunSpecifiedBenchmarks();                                    \
    benchmark::Shutdown();                                                  \
    return 0;                                                               \
  }                                                                         \
  int main(int, char**)
