// Opening an 8000 x 8000 photograph as the image window does (the file read
// into an image buffer) beside a plain decode of the same file by Qt's
// reader, for JPEG and PNG. Prints both times and their ratio, then the
// memory the opening takes at its peak and holds after, beside what feh
// (where installed, and with a display) takes in all for the same file.
#include "image/cImage.h"
#include "platform/Picture.h"

#include "Photos.h"
#include "ProcessStats.h"

#include <QDir>
#include <QGuiApplication>
#include <QImageReader>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>

#include <benchmark/benchmark.h>

#include <fstream>
#include <map>
#include <string>

#include <sys/wait.h>
#include <unistd.h>

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

// Opens the file as the image window does in a child process (so that
// nothing this one holds counts) and gives the memory the opening took at
// its peak and what it holds after, in MiB.
std::pair<double, double> openingMiB(const QString& path)
{
    int channel[2];
    if (::pipe(channel) != 0)
        return {0, 0};
    const pid_t pid = ::fork();
    if (pid == 0) {
        const qint64 self = ::getpid();
        std::ofstream("/proc/self/clear_refs") << "5"; // the peak restarts from now
        const double before = benchstats::statusMiB(self, "VmRSS");
        QString error;
        cImage image;
        image.TakeStdPicture(platform::Picture::load(path, &error, Qt::white, nullptr, true));
        const double figures[2] = {benchstats::statusMiB(self, "VmHWM") - before,
                                   benchstats::statusMiB(self, "VmRSS") - before};
        const ssize_t written = ::write(channel[1], figures, sizeof figures);
        ::_exit(written == sizeof figures ? 0 : 1);
    }
    ::close(channel[1]);
    double figures[2] = {0, 0};
    const ssize_t got = ::read(channel[0], figures, sizeof figures);
    ::close(channel[0]);
    ::waitpid(pid, nullptr, 0);
    return got == sizeof figures ? std::pair{figures[0], figures[1]} : std::pair{0.0, 0.0};
}

// feh's whole peak for the file, once its memory stops growing; 0 where feh
// or a display is missing.
double fehMiB(const QString& path)
{
    if (QStandardPaths::findExecutable("feh").isEmpty() || qEnvironmentVariableIsEmpty("DISPLAY"))
        return 0;
    QProcess feh;
    feh.start("feh", {"--geometry", "640x480", path});
    if (!feh.waitForStarted())
        return 0;
    double peak = 0;
    for (int still = 0, i = 0; still < 10 && i < 300; ++i) {
        QThread::msleep(100);
        const double now = benchstats::statusMiB(feh.processId(), "VmHWM");
        still = now > 0 && now == peak ? still + 1 : 0;
        peak = std::max(peak, now);
    }
    feh.kill();
    feh.waitForFinished();
    return peak;
}

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
    std::printf("\nopening %d x %d: the image window's memory for it, MiB (goal: peak at most 1.2 x feh's in all)\n",
                kSide, kSide);
    std::printf("%-6s %10s %10s %12s\n", "file", "peak", "held", "feh in all");
    for (int format = 0; format < 2; ++format) {
        const auto [peak, held] = openingMiB(files().of(format));
        const double feh = fehMiB(files().of(format));
        if (feh > 0)
            std::printf("%-6s %10.0f %10.0f %12.0f\n", names[format], peak, held, feh);
        else
            std::printf("%-6s %10.0f %10.0f %12s\n", names[format], peak, held, "-");
    }
    benchmark::Shutdown();
    return 0;
}
