// main() of the benchmarks that drive real widgets: the offscreen platform, the built-in tables,
// and a temporary folder (pointed to by `scratch` while they run) for the files they write.
#pragma once

#include "toolkit/built_in_tables.h"

#include <QApplication>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

namespace velmora {

inline int RunOffscreenBenchmarks(int argc, char** argv, QTemporaryDir*& scratch)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    InstallBuiltInTables();
    QTemporaryDir dir;
    scratch = &dir;
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    scratch = nullptr;
    return 0;
}

} // namespace velmora
