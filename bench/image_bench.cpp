// cImage's whole-image operations on a 4096 x 4096 24-bit photograph beside
// the same operations done by QImage (on the same pixels as RGB888): halftone
// resampling to 1024 x 1024 against smooth scaling, a quarter turn against
// transformed(), greyscale against convertToFormat(Grayscale8). Prints both
// times and their ratio.
#include "image/cImage.h"

#include "Photos.h"

#include <QGuiApplication>
#include <QTransform>

#include <benchmark/benchmark.h>

#include <map>
#include <string>

namespace {

struct Inputs {
    QImage photo = tiledPhoto("astronaut.png", 4096, 4096);
    cImage buffer;
    Inputs()
    {
        const auto surface = platform::Surface::wrap(photo);
        buffer.CopyHDC(surface.get(), photo.width(), photo.height(), 24);
    }
};

const Inputs& inputs()
{
    static const Inputs instance;
    return instance;
}

void BM_cImage_Resample(benchmark::State& state)
{
    for (auto _ : state)
        benchmark::DoNotOptimize(inputs().buffer.Resample(1024, 1024));
}
void BM_QImage_Resample(benchmark::State& state)
{
    for (auto _ : state)
        benchmark::DoNotOptimize(inputs().photo.scaled(1024, 1024, Qt::IgnoreAspectRatio, Qt::SmoothTransformation));
}
void BM_cImage_Rotate90(benchmark::State& state)
{
    for (auto _ : state)
        benchmark::DoNotOptimize(inputs().buffer.Rotate(90));
}
void BM_QImage_Rotate90(benchmark::State& state)
{
    for (auto _ : state)
        benchmark::DoNotOptimize(inputs().photo.transformed(QTransform().rotate(-90)));
}
void BM_cImage_Greyscale(benchmark::State& state)
{
    for (auto _ : state)
        benchmark::DoNotOptimize(inputs().buffer.Greyscale());
}
void BM_QImage_Greyscale(benchmark::State& state)
{
    for (auto _ : state)
        benchmark::DoNotOptimize(inputs().photo.convertToFormat(QImage::Format_Grayscale8));
}

BENCHMARK(BM_cImage_Resample)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_QImage_Resample)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_cImage_Rotate90)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_QImage_Rotate90)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_cImage_Greyscale)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_QImage_Greyscale)->Unit(benchmark::kMillisecond)->UseRealTime();

class SummaryReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override
    {
        for (const Run& run : runs)
            if (run.run_type == Run::RT_Iteration)
                times[run.benchmark_name()] = run.GetAdjustedRealTime();
        ConsoleReporter::ReportRuns(runs);
    }
    std::map<std::string, double> times;
};

} // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    inputs();
    SummaryReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    std::printf("\n%-12s %12s %12s %16s\n", "operation", "cImage ms", "QImage ms", "cImage / QImage");
    for (const char* op : {"Resample", "Rotate90", "Greyscale"}) {
        const double ours = reporter.times[std::string("BM_cImage_") + op + "/real_time"];
        const double theirs = reporter.times[std::string("BM_QImage_") + op + "/real_time"];
        if (ours > 0 && theirs > 0)
            std::printf("%-12s %12.2f %12.2f %16.2f\n", op, ours, theirs, ours / theirs);
    }
    benchmark::Shutdown();
    return 0;
}
