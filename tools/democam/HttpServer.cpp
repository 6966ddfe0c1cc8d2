// The demo camera's HTTP server: connections, answers, the MJPEG stream, time-outs.
#include "HttpServer.h"

#include "Camera.h"

#include <algorithm>

#include <QTcpSocket>

namespace {

constexpr const char* kBoundary = "ostrelframe";
// A stream viewer with more than this still queued misses the next frame.
constexpr qint64 kMaxQueuedBytes = 512 * 1024;
constexpr int kSweepMs = 250;

QByteArray reason(int status)
{
    switch (status) {
    case 200:
        return "OK";
    case 400:
        return "Bad Request";
    case 404:
        return "Not Found";
    case 405:
        return "Method Not Allowed";
    case 408:
        return "Request Timeout";
    case 431:
        return "Request Header Fields Too Large";
    case 503:
        return "Service Unavailable";
    case 505:
        return "HTTP Version Not Supported";
    default:
        return "Error";
    }
}

QByteArray head(int status, const QByteArray& type, qint64 length, bool close, const QByteArray& extra)
{
    QByteArray text = "HTTP/1.1 " + QByteArray::number(status) + " " + reason(status) + "\r\n";
    text += "Server: ostrel-democam\r\n";
    if (!type.isEmpty())
        text += "Content-Type: " + type + "\r\n";
    if (length >= 0)
        text += "Content-Length: " + QByteArray::number(length) + "\r\n";
    text += "Cache-Control: no-cache\r\n";
    text += extra;
    text += close ? "Connection: close\r\n" : "Connection: keep-alive\r\n";
    return text + "\r\n";
}

} // namespace

HttpServer::HttpServer(const DemoCamOptions& options, Camera& camera, AppletJar applet, QObject* parent)
    : QObject(parent), options_(options), camera_(camera), applet_(std::move(applet))
{
    clock_.start();
    connect(&server_, &QTcpServer::newConnection, this, &HttpServer::accept);
    connect(&camera_, &Camera::frameReady, this, &HttpServer::sendFrame);
    camera_.setWatched([this] {
        return std::any_of(connections_.begin(), connections_.end(),
                           [](const auto& entry) { return entry.second.streaming && !entry.second.closing; });
    });
    connect(&sweeper_, &QTimer::timeout, this, &HttpServer::sweep);
    sweeper_.start(kSweepMs);
}

HttpServer::~HttpServer()
{
    camera_.setWatched({}); // the camera may outlive its server
}

bool HttpServer::listen(QString* error)
{
    server_.setMaxPendingConnections(options_.maxClients + 16);
    if (server_.listen(options_.listen, options_.port))
        return true;
    *error = QString("cannot listen on %1:%2: %3")
                 .arg(options_.listen.toString())
                 .arg(options_.port)
                 .arg(server_.errorString());
    return false;
}

QString HttpServer::url() const
{
    const QHostAddress address = server_.serverAddress();
    const QString host =
        address.protocol() == QAbstractSocket::IPv6Protocol ? "[" + address.toString() + "]" : address.toString();
    return QString("http://%1:%2/").arg(host).arg(server_.serverPort());
}

void HttpServer::accept()
{
    while (QTcpSocket* socket = server_.nextPendingConnection()) {
        if (connections() >= options_.maxClients) {
            // Past the limit: a short answer, then the connection goes.
            const QByteArray body = "503 Service Unavailable: too many viewers\n";
            socket->write(head(503, "text/plain; charset=utf-8", body.size(), true, "Retry-After: 5\r\n") + body);
            connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
            socket->disconnectFromHost();
            continue;
        }
        Connection& connection = connections_[socket];
        connection.deadline = clock_.elapsed() + options_.timeout * 1000LL;
        connection.lastProgress = clock_.elapsed();
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] { read(socket); });
        connect(socket, &QTcpSocket::bytesWritten, this, [this, socket] {
            if (auto found = connections_.find(socket); found != connections_.end())
                found->second.lastProgress = clock_.elapsed();
        });
        connect(socket, &QTcpSocket::disconnected, this, [this, socket] {
            connections_.erase(socket);
            socket->deleteLater();
        });
    }
}

void HttpServer::read(QTcpSocket* socket)
{
    auto found = connections_.find(socket);
    if (found == connections_.end())
        return;
    Connection& connection = found->second;
    const QByteArray bytes = socket->readAll();
    if (connection.streaming || connection.closing)
        return; // nothing more is read from a stream viewer
    connection.request += bytes;
    // Answer every whole request that has come (pipelining), one by one.
    while (!connection.closing && !connection.streaming) {
        QByteArray request;
        switch (takeRequest(connection.request, &request)) {
        case Framing::NeedMore:
            return;
        case Framing::TooLarge:
            fail(socket, 431);
            return;
        case Framing::Whole:
            answer(socket, connection, parseRequest(request));
            connection.deadline = clock_.elapsed() + options_.timeout * 1000LL;
            break;
        }
    }
}

void HttpServer::answer(QTcpSocket* socket, Connection& connection, const HttpRequest& request)
{
    if (request.status != 0) {
        fail(socket, request.status, request.allowHeader);
        return;
    }
    const QByteArray& path = request.path;
    const bool headOnly = request.headOnly;
    const bool close = request.close;
    if (path == "/stream.mjpg") {
        startStream(socket, connection, headOnly);
    } else if (path == "/snapshot.jpg") {
        respond(socket, 200, "image/jpeg", camera_.currentFrame(), headOnly, close);
    } else if (path == "/" || path == "/index.html") {
        respond(socket, 200, "text/html; charset=utf-8", indexPage(), headOnly, close);
    } else if (const auto file = applet_.entry(QString::fromUtf8(path.mid(1)))) {
        // Only the applet's own files: nothing else is ever read.
        respond(socket, 200, contentTypeFor(QString::fromUtf8(path)), *file, headOnly, close);
    } else if (path == "/BrimcastApplet.jar") {
        respond(socket, 200, contentTypeFor("BrimcastApplet.jar"), applet_.archive(), headOnly, close);
    } else {
        respond(socket, 404, "text/plain; charset=utf-8", "404 Not Found\n", headOnly, close);
    }
}

void HttpServer::respond(QTcpSocket* socket, int status, const QByteArray& type, const QByteArray& body,
                         bool headOnly, bool close, const QByteArray& extraHeaders)
{
    socket->write(head(status, type, body.size(), close, extraHeaders));
    if (!headOnly)
        socket->write(body);
    if (close)
        this->close(socket, false);
}

void HttpServer::fail(QTcpSocket* socket, int status, const QByteArray& extraHeaders)
{
    const QByteArray body = QByteArray::number(status) + " " + reason(status) + "\n";
    respond(socket, status, "text/plain; charset=utf-8", body, false, true, extraHeaders);
}

void HttpServer::startStream(QTcpSocket* socket, Connection& connection, bool headOnly)
{
    socket->write(head(200, QByteArray("multipart/x-mixed-replace; boundary=") + kBoundary, -1, true, {}));
    if (headOnly) {
        close(socket, false);
        return;
    }
    connection.streaming = true;
    connection.request.clear();
    connection.lastProgress = clock_.elapsed();
    sendFrame(camera_.currentFrame()); // the viewer sees a picture at once
}

void HttpServer::sendFrame(const QByteArray& jpeg)
{
    const QByteArray partHead = QByteArray("--") + kBoundary + "\r\nContent-Type: image/jpeg\r\nContent-Length: " +
                                QByteArray::number(jpeg.size()) + "\r\n\r\n";
    for (auto& [socket, connection] : connections_) {
        if (!connection.streaming || connection.closing)
            continue;
        // A viewer that has not taken the frames already sent misses this one.
        if (socket->bytesToWrite() > kMaxQueuedBytes)
            continue;
        socket->write(partHead);
        socket->write(jpeg);
        socket->write("\r\n");
    }
}

void HttpServer::sweep()
{
    const qint64 now = clock_.elapsed();
    const qint64 stall = options_.timeout * 1000LL;
    std::vector<std::pair<QTcpSocket*, bool>> expired; // socket, whether to say 408 first
    for (auto& [socket, connection] : connections_) {
        if (connection.closing)
            continue;
        if (connection.streaming) {
            // A viewer that takes nothing for the whole timeout is gone (or stuck).
            if (socket->bytesToWrite() > 0 && now - connection.lastProgress > stall)
                expired.emplace_back(socket, false);
        } else if (now > connection.deadline) {
            expired.emplace_back(socket, !connection.request.isEmpty());
        }
    }
    for (const auto& [socket, partial] : expired) {
        if (partial)
            fail(socket, 408); // a request that never finished (slow-loris)
        else
            close(socket, true);
    }
}

void HttpServer::close(QTcpSocket* socket, bool abort)
{
    if (auto found = connections_.find(socket); found != connections_.end())
        found->second.closing = true;
    if (abort)
        socket->abort(); // emits disconnected: the entry goes
    else
        socket->disconnectFromHost(); // once the answer is out
}

QByteArray HttpServer::indexPage() const
{
    const QString address = server_.serverAddress().toString();
    const QString port = QString::number(server_.serverPort());
    return QString("<!DOCTYPE html>\n<html><head><meta charset='utf-8'><title>Ostrel demo camera</title></head>\n"
                   "<body style='background:#222;color:#ddd;font-family:sans-serif'>\n"
                   "<h1>Ostrel demo camera</h1>\n"
                   "<p><img src='/stream.mjpg' width='%1' height='%2' alt='the live picture'></p>\n"
                   "<p>To watch it in Ostrel: <code>ostrel -host %3 -port %4</code>, or make a connection "
                   "profile with host %3 and port %4.</p>\n"
                   "<p>Single frame: <a href='/snapshot.jpg' style='color:#9cf'>/snapshot.jpg</a>. "
                   "Stream: <a href='/stream.mjpg' style='color:#9cf'>/stream.mjpg</a>.</p>\n"
                   "</body></html>\n")
        .arg(options_.size.width())
        .arg(options_.size.height())
        .arg(address.toHtmlEscaped(), port)
        .toUtf8();
}
