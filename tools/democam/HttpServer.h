#pragma once

#include "AppletJar.h"
#include "HttpRequest.h"
#include "Options.h"

#include <QElapsedTimer>
#include <QObject>
#include <QTcpServer>
#include <QTimer>

#include <unordered_map>

class Camera;
class QTcpSocket;

// The camera's HTTP/1.1 server, all on one thread: GET and HEAD of the
// applet's files, the MJPEG stream, single frames and a small page. A viewer
// that cannot keep up misses frames instead of having them queue up; slow,
// idle and stalled connections time out; past the client limit, 503.
class HttpServer : public QObject {
    Q_OBJECT
public:
    HttpServer(const DemoCamOptions& options, Camera& camera, AppletJar applet, QObject* parent = nullptr);
    ~HttpServer() override;
    bool listen(QString* error);
    // "http://ADDRESS:PORT/"
    QString url() const;
    int connections() const { return static_cast<int>(connections_.size()); }

private:
    struct Connection {
        QByteArray request;        // bytes received and not yet answered
        qint64 deadline = 0;       // by when the next whole request must be in
        bool streaming = false;    // sending the MJPEG stream
        qint64 lastProgress = 0;   // when bytes last left the send queue
        bool closing = false;
    };

    void accept();
    void read(QTcpSocket* socket);
    void answer(QTcpSocket* socket, Connection& connection, const HttpRequest& request);
    void respond(QTcpSocket* socket, int status, const QByteArray& type, const QByteArray& body, bool headOnly,
                 bool close, const QByteArray& extraHeaders = {});
    void fail(QTcpSocket* socket, int status, const QByteArray& extraHeaders = {});
    void startStream(QTcpSocket* socket, Connection& connection, bool headOnly);
    void sendFrame(const QByteArray& jpeg);
    void sweep();
    void close(QTcpSocket* socket, bool abort);
    QByteArray indexPage() const;

    DemoCamOptions options_;
    Camera& camera_;
    AppletJar applet_;
    QTcpServer server_;
    QTimer sweeper_;
    QElapsedTimer clock_;
    std::unordered_map<QTcpSocket*, Connection> connections_;
};
