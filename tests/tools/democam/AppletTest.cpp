// The camera's own applet in a plain Java host (a Frame on a private X
// display): it connects, paints the server's frames, says why when it cannot
// connect, and stops cleanly.
#include "DemoCam.h"

#include "support/JpegCodec.h"

#include <QImage>
#include <QProcess>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

struct HostRun {
    int exitCode = -1;
    QString output;
    QImage picture;
};

// Runs the host on HOST:PORT until it has shown `frames` frames (0: for the
// whole timeout).
HostRun runHost(quint16 port, int frames, int timeoutMs)
{
    QTemporaryDir dir;
    const QString png = dir.filePath("applet.png");
    QProcess host;
    host.setProcessChannelMode(QProcess::MergedChannels);
    host.start(OSTREL_JAVA, QString(OSTREL_JAVA_APPLET_OPTIONS).split(' ', Qt::SkipEmptyParts)
                                << "-cp" << OSTREL_APPLET_CLASSPATH << "AppletTestHost" << "127.0.0.1"
                                << QString::number(port) << "320" << "240" << png << QString::number(frames)
                                << QString::number(timeoutMs));
    HostRun run;
    if (!host.waitForFinished(timeoutMs + 30000)) {
        host.kill();
        host.waitForFinished();
    }
    run.exitCode = host.exitStatus() == QProcess::NormalExit ? host.exitCode() : -1;
    run.output = QString::fromLocal8Bit(host.readAll());
    run.picture = QImage(png).convertToFormat(QImage::Format_RGB32);
    return run;
}

int distance(QRgb a, QRgb b)
{
    return std::abs(qRed(a) - qRed(b)) + std::abs(qGreen(a) - qGreen(b)) + std::abs(qBlue(a) - qBlue(b));
}

quint16 closedPort()
{
    QTcpServer server;
    server.listen(QHostAddress::LocalHost, 0);
    return server.serverPort(); // free again once the server goes
}

} // namespace

TEST(CameraApplet, PaintsTheServersFramesAndStopsCleanly)
{
    DemoCam camera;
    ASSERT_TRUE(camera.start({"--size", "320x240", "--fps", "2"})) << qPrintable(camera.error());
    const HostRun run = runHost(camera.port(), 3, 20000);
    ASSERT_EQ(run.exitCode, 0) << qPrintable(run.output);
    EXPECT_TRUE(run.output.contains(QRegularExpression("frames [3-9]"))) << qPrintable(run.output);
    EXPECT_TRUE(run.output.contains("stopped")) << qPrintable(run.output);
    ASSERT_EQ(run.picture.size(), QSize(320, 240));

    // The server's current frame: the bars lie where the applet shows them
    // (away from their edges, which move a few pixels a frame).
    const auto frame = testsupport::decodeJpeg(fetch(camera.port(), "GET", "/snapshot.jpg").body);
    ASSERT_TRUE(frame.ok) << frame.error;
    const QImage served = frame.toImage().convertToFormat(QImage::Format_RGB32);
    int compared = 0;
    int matching = 0;
    for (int x = 12; x < 320 - 12; x += 4) {
        const int y = 60;
        const QRgb c = served.pixel(x, y);
        if (distance(served.pixel(x - 12, y), c) > 30 || distance(served.pixel(x + 12, y), c) > 30)
            continue; // near an edge between bars
        ++compared;
        matching += distance(run.picture.pixel(x, y), c) < 60;
    }
    ASSERT_GE(compared, 20);
    EXPECT_GE(matching, compared * 9 / 10) << matching << " of " << compared << " points match";
    // The caption band below the bars.
    EXPECT_LT(distance(run.picture.pixel(2, 230), served.pixel(2, 230)), 60);
}

TEST(CameraApplet, SaysWhyItCannotConnectAndKeepsTrying)
{
    const quint16 port = closedPort();
    const HostRun run = runHost(port, 0, 3000);
    ASSERT_EQ(run.exitCode, 0) << qPrintable(run.output);
    EXPECT_TRUE(run.output.contains(QString("status Cannot reach 127.0.0.1:%1: connection refused").arg(port)))
        << qPrintable(run.output);
    EXPECT_TRUE(run.output.contains("frames 0"));
    EXPECT_TRUE(run.output.contains("stopped")) << qPrintable(run.output);
    // The reason is painted in the box: light pixels on black.
    int light = 0;
    for (int y = 0; y < run.picture.height(); ++y)
        for (int x = 0; x < run.picture.width(); ++x)
            light += qGray(run.picture.pixel(x, y)) > 100;
    EXPECT_GT(light, 50);
}
