// The demo camera server as a viewer, a browser and a misbehaving client
// meet it: the real program on a free port.
#include "DemoCam.h"
#include "Version.h"

#include "support/JpegCodec.h"

#include <QElapsedTimer>
#include <QTcpSocket>
#include <QTest>

#include <gtest/gtest.h>

#include <csignal>
#include <memory>

namespace {

constexpr const char* kBoundary = "ostrelframe";

// Reads a stream for a while and counts the frames that arrive.
class StreamViewer {
public:
    StreamViewer(quint16 port, bool reads) : reads_(reads)
    {
        if (!reads)
            socket_.setReadBufferSize(1); // takes (almost) nothing: the server's queue fills
        socket_.connectToHost("127.0.0.1", port);
        QObject::connect(&socket_, &QTcpSocket::connected, [this] {
            socket_.write("GET /stream.mjpg HTTP/1.1\r\nHost: x\r\n\r\n");
        });
        QObject::connect(&socket_, &QTcpSocket::readyRead, [this] {
            if (!reads_)
                return;
            const QByteArray bytes = tail_ + socket_.readAll();
            const QByteArray marker = QByteArray("--") + kBoundary + "\r\n";
            for (qsizetype at = bytes.indexOf(marker); at >= 0; at = bytes.indexOf(marker, at + marker.size()))
                ++frames_;
            tail_ = bytes.right(marker.size() - 1);
        });
    }
    int frames() const { return frames_; }
    bool connected() const { return socket_.state() == QAbstractSocket::ConnectedState; }

private:
    bool reads_;
    QTcpSocket socket_;
    QByteArray tail_;
    int frames_ = 0;
};

class DemoCamServer : public ::testing::Test {
protected:
    void start(const QStringList& options)
    {
        ASSERT_TRUE(camera.start(options)) << qPrintable(camera.error());
    }
    DemoCam camera;
};

} // namespace

TEST_F(DemoCamServer, EveryAddressAnswersAndHeadMatchesGet)
{
    start({"--size", "320x240"});
    struct Address {
        const char* path;
        QByteArray type;
    };
    for (const Address& a : {Address{"/", "text/html; charset=utf-8"}, Address{"/snapshot.jpg", "image/jpeg"},
                             Address{"/BrimcastApplet.class", "application/java-vm"},
                             Address{"/BrimcastApplet.jar", "application/java-archive"},
                             Address{"/META-INF/MANIFEST.MF", "text/plain; charset=utf-8"}}) {
        SCOPED_TRACE(a.path);
        const HttpAnswer get = fetch(camera.port(), "GET", a.path);
        EXPECT_EQ(get.status, 200);
        EXPECT_EQ(get.header("Content-Type"), a.type);
        EXPECT_EQ(get.header("Content-Length").toLongLong(), get.body.size());
        EXPECT_FALSE(get.body.isEmpty());
        // HEAD: the same head, no body (the applet's class loader asks so first).
        const HttpAnswer head = fetch(camera.port(), "HEAD", a.path);
        EXPECT_EQ(head.status, 200);
        EXPECT_EQ(head.header("Content-Type"), a.type);
        if (QByteArray(a.path) != "/snapshot.jpg") { // a frame's size changes with the picture
            EXPECT_EQ(head.header("Content-Length"), get.header("Content-Length"));
        }
        EXPECT_TRUE(head.body.isEmpty());
    }
    EXPECT_TRUE(fetch(camera.port(), "GET", "/BrimcastApplet.class").body.startsWith("\xca\xfe\xba\xbe"));
    EXPECT_TRUE(fetch(camera.port(), "GET", "/").body.contains("ostrel -host 127.0.0.1 -port"));
    const auto frame = testsupport::decodeJpeg(fetch(camera.port(), "GET", "/snapshot.jpg?x=1").body);
    ASSERT_TRUE(frame.ok) << frame.error;
    EXPECT_EQ(frame.width, 320);
    EXPECT_EQ(frame.height, 240);

    // Two requests on one connection: both answered (keep-alive).
    const QByteArray both = exchange(camera.port(), "GET /BrimcastApplet.class HTTP/1.1\r\nHost: x\r\n\r\n"
                                                    "HEAD / HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n");
    EXPECT_EQ(both.count("HTTP/1.1 200 OK"), 2);
}

TEST_F(DemoCamServer, TheStreamIsMultipartJpegFramesThatChange)
{
    start({"--size", "160x120", "--fps", "10"});
    const HttpAnswer stream = parseAnswer(exchange(camera.port(), "GET /stream.mjpg HTTP/1.1\r\nHost: x\r\n\r\n", 1500));
    EXPECT_EQ(stream.status, 200);
    EXPECT_EQ(stream.header("Content-Type"), QByteArray("multipart/x-mixed-replace; boundary=") + kBoundary);
    const QList<StreamPart> parts = parseParts(stream.body, kBoundary);
    ASSERT_GE(parts.size(), 8) << "frames in 1.5 s at 10 a second";
    for (const StreamPart& part : parts) {
        EXPECT_EQ(part.contentType, "image/jpeg");
        EXPECT_EQ(part.contentLength, part.body.size());
    }
    const auto first = testsupport::decodeJpeg(parts.first().body);
    const auto last = testsupport::decodeJpeg(parts.last().body);
    ASSERT_TRUE(first.ok && last.ok);
    EXPECT_EQ(first.width, 160);
    EXPECT_NE(first.pixels, last.pixels) << "the picture does not move";

    // HEAD of the stream: its head only, then the connection ends.
    const HttpAnswer head = parseAnswer(exchange(camera.port(), "HEAD /stream.mjpg HTTP/1.1\r\nHost: x\r\n\r\n", 2000));
    EXPECT_EQ(head.status, 200);
    EXPECT_TRUE(head.body.isEmpty());

    // Nobody watching the stream now: the camera only counts its ticks, and a
    // snapshot is drawn when it is asked for, so the picture still moves.
    const auto before = testsupport::decodeJpeg(fetch(camera.port(), "GET", "/snapshot.jpg").body);
    QTest::qWait(300);
    const auto after = testsupport::decodeJpeg(fetch(camera.port(), "GET", "/snapshot.jpg").body);
    ASSERT_TRUE(before.ok && after.ok);
    EXPECT_NE(before.pixels, after.pixels) << "an idle camera's snapshot is stale";
}

TEST_F(DemoCamServer, BadRequestsGetAClearStatusAndNothingElse)
{
    start({"--size", "160x120", "--timeout", "1"});
    const auto status = [&](const QByteArray& request) { return parseAnswer(exchange(camera.port(), request)).status; };
    EXPECT_EQ(status("HELLO\r\n\r\n"), 400);
    EXPECT_EQ(status("GET nothing HTTP/1.1\r\n\r\n"), 400);
    EXPECT_EQ(status("GET / HTTP/1.1\r\nno colon here\r\n\r\n"), 400);
    EXPECT_EQ(status("GET / HTTP/3.0\r\n\r\n"), 505);
    const HttpAnswer post = parseAnswer(exchange(camera.port(), "POST / HTTP/1.1\r\nContent-Length: 0\r\n\r\n"));
    EXPECT_EQ(post.status, 405);
    EXPECT_EQ(post.header("Allow"), "GET, HEAD");
    EXPECT_EQ(status("DELETE /snapshot.jpg HTTP/1.1\r\n\r\n"), 405);
    // No file outside the applet is ever served.
    for (const char* path : {"/../../etc/passwd", "/etc/passwd", "/%2e%2e/etc/passwd", "/BrimcastApplet.java",
                             "/META-INF/", "//BrimcastApplet.class"})
        EXPECT_EQ(fetch(camera.port(), "GET", path).status, 404) << path;
    // Over 8 KiB of request line or headers.
    EXPECT_EQ(status("GET /" + QByteArray(9000, 'a') + " HTTP/1.1\r\n\r\n"), 431);
    QByteArray headers = "GET / HTTP/1.1\r\n";
    for (int i = 0; i < 200; ++i)
        headers += "X-Filler-" + QByteArray::number(i) + ": " + QByteArray(40, 'b') + "\r\n";
    EXPECT_EQ(status(headers + "\r\n"), 431);
    EXPECT_EQ(status(QByteArray(10000, 'x')), 431) << "no end of headers in sight";
}

TEST_F(DemoCamServer, ATricklingRequestTimesOut)
{
    start({"--size", "160x120", "--timeout", "1"});
    QTcpSocket socket;
    socket.connectToHost("127.0.0.1", camera.port());
    ASSERT_TRUE(socket.waitForConnected(3000));
    QElapsedTimer clock;
    clock.start();
    QByteArray received;
    const QByteArray slow = "GET / HTTP/1.1\r\nX-Slow: ";
    for (int i = 0; clock.elapsed() < 5000 && socket.state() == QAbstractSocket::ConnectedState; ++i) {
        socket.write(slow.mid(i % slow.size(), 1)); // a byte every 100 ms, never finishing
        socket.waitForBytesWritten(100);
        socket.waitForReadyRead(100);
        received += socket.readAll();
    }
    EXPECT_NE(socket.state(), QAbstractSocket::ConnectedState) << "still connected after 5 s";
    EXPECT_LT(clock.elapsed(), 3000);
    EXPECT_EQ(parseAnswer(received).status, 408);

    // An idle connection that never asks anything is closed too.
    QTcpSocket idle;
    idle.connectToHost("127.0.0.1", camera.port());
    ASSERT_TRUE(idle.waitForConnected(3000));
    EXPECT_TRUE(QTest::qWaitFor([&] { return idle.state() != QAbstractSocket::ConnectedState; }, 4000));
}

TEST_F(DemoCamServer, ThirtyTwoViewersKeepTheirFrameRateBesideOneThatNeverReads)
{
    start({"--size", "320x240", "--fps", "25", "--timeout", "30"});
    StreamViewer stuck(camera.port(), false);
    std::vector<std::unique_ptr<StreamViewer>> viewers;
    for (int i = 0; i < 32; ++i)
        viewers.push_back(std::make_unique<StreamViewer>(camera.port(), true));
    QTest::qWait(500); // all connected and streaming
    std::vector<int> before;
    for (const auto& v : viewers)
        before.push_back(v->frames());
    constexpr int kSeconds = 3;
    QTest::qWait(kSeconds * 1000);
    for (std::size_t i = 0; i < viewers.size(); ++i) {
        const int got = viewers[i]->frames() - before[i];
        EXPECT_GE(got, 25 * kSeconds * 8 / 10) << "viewer " << i << " got " << got << " frames in " << kSeconds << " s";
    }
    EXPECT_TRUE(stuck.connected()) << "dropped only after the timeout";
}

TEST_F(DemoCamServer, PastTheClientLimitTheAnswerIs503)
{
    start({"--size", "160x120", "--max-clients", "2"});
    QTcpSocket a;
    QTcpSocket b;
    for (QTcpSocket* s : {&a, &b}) {
        s->connectToHost("127.0.0.1", camera.port());
        ASSERT_TRUE(s->waitForConnected(3000));
    }
    QTest::qWait(200);
    const HttpAnswer third = fetch(camera.port(), "GET", "/");
    EXPECT_EQ(third.status, 503);
    EXPECT_FALSE(third.header("Retry-After").isEmpty());
    a.abort();
    QTest::qWait(300);
    EXPECT_EQ(fetch(camera.port(), "GET", "/").status, 200) << "a place is free again";
}

TEST_F(DemoCamServer, StopsCleanlyOnASignalAndAfterItsDuration)
{
    start({"--size", "160x120"});
    ::kill(static_cast<pid_t>(camera.process().processId()), SIGTERM);
    ASSERT_TRUE(camera.process().waitForFinished(5000));
    EXPECT_EQ(camera.process().exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(camera.process().exitCode(), 0);

    DemoCam timed;
    ASSERT_TRUE(timed.start({"--size", "160x120", "--duration", "1"})) << qPrintable(timed.error());
    ASSERT_TRUE(timed.process().waitForFinished(5000));
    EXPECT_EQ(timed.process().exitCode(), 0);
}

TEST(DemoCamOptions, BadOptionsFailWithOneLineAndHelpSucceeds)
{
    for (const QStringList& bad : {QStringList{"--size", "10x10"}, QStringList{"--port", "70000"},
                                   QStringList{"--fps", "0"}, QStringList{"--quality", "abc"},
                                   QStringList{"--listen", "not-an-address"}, QStringList{"--bogus", "1"},
                                   QStringList{"--fps"}, QStringList{"extra"}}) {
        QProcess process;
        process.start(OSTREL_DEMOCAM, bad);
        ASSERT_TRUE(process.waitForFinished(5000));
        EXPECT_EQ(process.exitCode(), 1) << qPrintable(bad.join(' '));
        const QByteArray error = process.readAllStandardError().trimmed();
        EXPECT_TRUE(error.startsWith("ostrel-democam: ")) << error.constData();
        EXPECT_FALSE(error.contains('\n')) << error.constData();
        if (bad.first() == "--bogus") {
            EXPECT_EQ(error, "ostrel-democam: unknown option --bogus (see --help)");
        }
    }
    QProcess version;
    version.start(OSTREL_DEMOCAM, {"--version"});
    ASSERT_TRUE(version.waitForFinished(5000));
    EXPECT_EQ(version.readAllStandardOutput(), "ostrel-democam " OSTREL_VERSION "\n");
    QProcess help;
    help.start(OSTREL_DEMOCAM, {"--help"});
    ASSERT_TRUE(help.waitForFinished(5000));
    EXPECT_EQ(help.exitCode(), 0);
    EXPECT_TRUE(help.readAllStandardOutput().contains("--fps N"));

    // A port already taken.
    DemoCam first;
    ASSERT_TRUE(first.start({"--size", "160x120"}));
    QProcess second;
    second.start(OSTREL_DEMOCAM, {"--port", QString::number(first.port())});
    ASSERT_TRUE(second.waitForFinished(5000));
    EXPECT_EQ(second.exitCode(), 1);
    EXPECT_TRUE(second.readAllStandardError().contains("cannot listen on 127.0.0.1:"));
}
