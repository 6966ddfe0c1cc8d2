// Opening an 8000 x 8000 photograph as the image window does (the file read
// into an image buffer) beside a plain decode of the same file by Qt's
// reader, for JPEG and PNG. Prints both times and their ratio.
#include "image/cImage.h"
#include "platform/Picture.h"

#include "Photos.h"

#include <QDir>
#include <QGuiApplication>
#include <QImageReader>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <map>
#include <string>

namespace {

constexpr int kSide = 8000;

struct Files {
    QTemporaryDir dir;
    QString jpeg = dir.filePath("photo.jpg");
    QString png = dir.filePath("photo.png");
    Files()
    {
        const QImage photo = tiledPhoto("astronaut.png", kSide, kSide);
        photo.save(jpeg, "JPEG", 90);
        photo.save(png, "PNG");
    }
    const QString& of(int format) const { return format == 0 ? jpeg : png; }
};

const Files& files()
{
    static const Files instance;
    return instance;
}

void BM_Open(benchmark::State& state)
{
    const QString& path = files().of(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        QString error;
        cImage image;
        if (!image.TakeStdPicture(platform::Picture::load(path, &error, Qt::white, nullptr, true)))
            state.SkipWithError(qPrintable(error));
        benchmark::DoNotOptimize(image.DIBitsPtr());
    }
}
void BM_Decode(benchmark::State& state)
{
    const QString& path = files().of(static_cast<int>(state.range(0)));
    QImageReader::setAllocationLimit(0);
    for (auto _ : state) {
        QImageReader reader(path);
        benchmark::DoNotOptimize(reader.read().constBits());
    }
}

BENCHMARK(BM_Open)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(BM_Decode)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

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
    QGuiApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    files();
    SummaryReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    std::printf("\n%-6s %12s %12s %14s\n", "file", "open ms", "decode ms", "open / decode");
    const char* names[] = {"JPEG", "PNG"};
    for (int format = 0; format < 2; ++format) {
        const std::string arg = "/" + std::to_string(format) + "/iterations:3/real_time";
        const double open = reporter.times["BM_Open" + arg];
        const double decode = reporter.times["BM_Decode" + arg];
        if (open > 0 && decode > 0)
            std::printf("%-6s %12.0f %12.0f %14.2f\n", names[format], open, decode, open / decode);
    }
    benchmark::Shutdown();
    return 0;
}
