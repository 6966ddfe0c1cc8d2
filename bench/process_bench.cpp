// ostrel-jpeg against libjpeg-turbo's cjpeg as whole processes on the same
// 4096 x 4096 photographic PPM (quality 75, 4:2:0, optimised Huffman tables,
// float DCT): wall time and peak memory of each run, alternating the two
// programs, then the medians and their ratios. Then ostrel-jpeg's peak
// memory a pixel for the same picture in each format it reads (above a run
// on a tiny picture), with cjpeg's beside it where cjpeg reads the format.
#include "Photos.h"

#include <QGuiApplication>
#include <QImage>
#include <QTemporaryDir>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <span>
#include <cstdio>
#include <string>
#include <vector>

namespace {

struct Run {
    double seconds;
    double peakMiB;
};

// Runs the program with its arguments, standard output to `output` if given.
Run run(const std::vector<std::string>& args, const std::string& output)
{
    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = ::fork();
    if (pid == 0) {
        if (!output.empty() && !std::freopen(output.c_str(), "wb", stdout))
            ::_exit(126);
        std::vector<char*> argv;
        for (const std::string& a : args)
            argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        ::execvp(argv[0], argv.data());
        ::_exit(127);
    }
    int status = 0;
    rusage usage{};
    ::wait4(pid, &status, 0, &usage);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::fprintf(stderr, "%s failed (status %d)\n", args[0].c_str(), status);
        std::exit(1);
    }
    return {seconds, static_cast<double>(usage.ru_maxrss) / 1024.0};
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

} // namespace

int main(int argc, char** argv)
{
    QGuiApplication::setAttribute(Qt::AA_PluginApplication); // image plugins without a display
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 7;
    QTemporaryDir dir;
    const std::string input = dir.filePath("photo.ppm").toStdString();
    if (!tiledPhoto("astronaut.png", 4096, 4096).save(QString::fromStdString(input), "PPM")) {
        std::fprintf(stderr, "cannot write %s\n", input.c_str());
        return 1;
    }
    const std::string ours = dir.filePath("ours.jpg").toStdString();
    const std::string theirs = dir.filePath("theirs.jpg").toStdString();
    std::vector<double> ourTimes, theirTimes, ourPeaks, theirPeaks;
    for (int i = 0; i < runs; ++i) {
        ::unlink(ours.c_str());
        const Run a = run({OSTREL_JPEG, "--quality", "75", input, ours}, "");
        const Run b = run({"cjpeg", "-quality", "75", "-optimize", "-dct", "float", "-sample", "2x2", input}, theirs);
        std::printf("run %d: ostrel-jpeg %.3f s %.1f MiB   cjpeg %.3f s %.1f MiB\n", i + 1, a.seconds, a.peakMiB,
                    b.seconds, b.peakMiB);
        ourTimes.push_back(a.seconds);
        theirTimes.push_back(b.seconds);
        ourPeaks.push_back(a.peakMiB);
        theirPeaks.push_back(b.peakMiB);
    }
    const double t1 = median(ourTimes), t2 = median(theirTimes);
    const double m1 = median(ourPeaks), m2 = median(theirPeaks);
    std::printf("\n4096 x 4096 PPM, median of %d runs\n", runs);
    std::printf("%-12s %10s %12s\n", "program", "seconds", "peak MiB");
    std::printf("%-12s %10.3f %12.1f\n", "ostrel-jpeg", t1, m1);
    std::printf("%-12s %10.3f %12.1f\n", "cjpeg", t2, m2);
    std::printf("%-12s %10.2f %12.2f\n", "ratio", t1 / t2, m1 / m2);

    const std::string tiny = dir.filePath("tiny.ppm").toStdString();
    QImage(16, 16, QImage::Format_RGB888).save(QString::fromStdString(tiny), "PPM");
    ::unlink(ours.c_str());
    const double base = run({OSTREL_JPEG, tiny, ours}, "").peakMiB;
    ::unlink(ours.c_str());
    const double cjpegBase = run({"cjpeg", tiny}, theirs).peakMiB;
    constexpr double kPixels = 4096.0 * 4096.0;
    std::printf("\npeak memory a pixel above a 16 x 16 picture's run, 4096 x 4096 (goal: 3.5 at most)\n");
    std::printf("%-10s %12s %8s\n", "input", "ostrel-jpeg", "cjpeg");
    const struct {
        const char* name;
        const char* format;
        QImage::Format pixels;
        bool cjpegReads;
    } inputs[] = {{"ppm", "ppm", QImage::Format_RGB888, true},   {"bmp", "bmp", QImage::Format_RGB888, true},
                  {"png", "png", QImage::Format_RGB888, false},  {"png alpha", "png", QImage::Format_ARGB32, false},
                  {"png grey", "png", QImage::Format_Grayscale8, false}, {"jpg", "jpg", QImage::Format_RGB888, false}};
    for (const auto& in : inputs) {
        const QString file = dir.filePath(QString("photo.") + in.format);
        // Written in a scope of its own: a child's peak counts the memory
        // this process held when it forked, so the picture must be gone.
        {
            QImage image = tiledPhoto("astronaut.png", 4096, 4096).convertToFormat(in.pixels);
            if (in.pixels == QImage::Format_ARGB32)
                for (int y = 0; y < image.height(); y += 2) // every other row half transparent
                    for (QRgb& c : std::span(reinterpret_cast<QRgb*>(image.scanLine(y)), image.width()))
                        c = (c & 0x00ffffffu) | 0x80000000u;
            if (!image.save(file, in.format)) {
                std::printf("%-10s %12s\n", in.name, "(Qt cannot write it here)");
                continue;
            }
        }
        ::unlink(ours.c_str());
        const double mine = (run({OSTREL_JPEG, file.toStdString(), ours}, "").peakMiB - base) * 1048576 / kPixels;
        if (in.cjpegReads) {
            const double other = (run({"cjpeg", "-optimize", file.toStdString()}, theirs).peakMiB - cjpegBase) *
                                 1048576 / kPixels;
            std::printf("%-10s %12.2f %8.2f\n", in.name, mine, other);
        } else {
            std::printf("%-10s %12.2f %8s\n", in.name, mine, "-");
        }
    }
    return 0;
}
