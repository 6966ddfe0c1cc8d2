// Test helper: a small web server for the test applets' files and the hostile applet's reports.
#include "AppletServer.h"

#include "AppletJar.h"

#include <QTcpSocket>
#include <QUrl>

#include <zlib.h>

AppletServer::AppletServer(const QHostAddress& address, quint16 port)
{
    server_.listen(address, port);
    connect(&server_, &QTcpServer::newConnection, this, [this] {
        while (QTcpSocket* socket = server_.nextPendingConnection()) {
            connect(socket, &QTcpSocket::readyRead, this, [this, socket] { answer(socket); });
            connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        }
    });
}

void AppletServer::addJarEntries(const QByteArray& jar)
{
    AppletJar entries;
    QString error;
    if (!entries.load(jar, &error))
        qFatal("test jar: %s", qPrintable(error));
    for (const QString& name : entries.names())
        files_.insert("/" + name, *entries.entry(name));
}

void AppletServer::addFile(const QString& path, const QByteArray& bytes)
{
    files_.insert(path, bytes);
}

void AppletServer::addRedirect(const QString& path, const QByteArray& location)
{
    redirects_.insert(path, location);
}

void AppletServer::addStall(const QString& path)
{
    stalls_ << path;
}

void AppletServer::answer(QTcpSocket* socket)
{
    QByteArray request = socket->property("request").toByteArray() + socket->readAll();
    qsizetype end;
    while ((end = request.indexOf("\r\n\r\n")) >= 0) {
        const QList<QByteArray> line = request.left(request.indexOf("\r\n")).split(' ');
        const qsizetype at = request.toLower().indexOf("content-length:");
        const qsizetype length = at >= 0 && at < end ? request.mid(at + 15, request.indexOf("\r\n", at) - at - 15).trimmed().toLongLong() : 0;
        if (request.size() < end + 4 + length)
            break; // the body is still coming
        const QByteArray content = request.mid(end + 4, length);
        request.remove(0, end + 4 + length);
        const QByteArray method = line.value(0);
        const QUrl target(QString::fromLatin1(line.value(1)));
        requested_ << method + " " + target.path();
        QByteArray body;
        int status = 404;
        if (redirects_.contains(target.path())) {
            socket->write("HTTP/1.1 302 Found\r\nLocation: " + redirects_.value(target.path()) +
                          "\r\nContent-Length: 0\r\n\r\n");
            continue;
        }
        if (stalls_.contains(target.path())) {
            socket->write("HTTP/1.1 200 OK\r\nContent-Length: 1000\r\n\r\nCAFEBABE");
            continue;
        }
        if (method == "POST" && target.path() == "/upload") {
            const auto crc = ::crc32(0, reinterpret_cast<const Bytef*>(content.constData()), static_cast<uInt>(content.size()));
            status = 200;
            body = QByteArray::number(content.size()) + " " + QByteArray::number(static_cast<qulonglong>(crc));
        } else if (target.path() == "/report") {
            reports_ << target.query();
            status = 200;
            body = "ok";
        } else if (files_.contains(target.path())) {
            status = 200;
            body = files_.value(target.path());
        }
        socket->write("HTTP/1.1 " + QByteArray::number(status) + (status == 200 ? " OK" : " Not Found") +
                      "\r\nContent-Length: " + QByteArray::number(body.size()) + "\r\n\r\n");
        if (method != "HEAD")
            socket->write(body);
    }
    socket->setProperty("request", request);
}
