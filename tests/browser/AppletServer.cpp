// Test helper: a small web server for the test applets' files and the hostile applet's reports.
#include "AppletServer.h"

#include "AppletJar.h"

#include <QTcpSocket>
#include <QUrl>

AppletServer::AppletServer()
{
    server_.listen(QHostAddress::LocalHost, 0);
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

void AppletServer::answer(QTcpSocket* socket)
{
    QByteArray request = socket->property("request").toByteArray() + socket->readAll();
    qsizetype end;
    while ((end = request.indexOf("\r\n\r\n")) >= 0) {
        const QList<QByteArray> line = request.left(request.indexOf("\r\n")).split(' ');
        request.remove(0, end + 4);
        const QByteArray method = line.value(0);
        const QUrl target(QString::fromLatin1(line.value(1)));
        requested_ << method + " " + target.path();
        QByteArray body;
        int status = 404;
        if (target.path() == "/report") {
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
