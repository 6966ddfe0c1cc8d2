// The applet sandbox's one way out: a Unix socket relayed to its code base's host and port only.
#include "AppletRelay.h"

#include <QFile>
#include <QLocalSocket>
#include <QTcpSocket>

namespace {

// A connection's two ends; when either closes, both go. The inside first
// hears whether the outside could connect: "ok", or "error REASON".
void join(QLocalSocket* inside, QTcpSocket* outside)
{
    QObject::connect(inside, &QLocalSocket::readyRead, outside, [inside, outside] {
        if (outside->state() == QAbstractSocket::ConnectedState)
            outside->write(inside->readAll());
    });
    QObject::connect(outside, &QTcpSocket::readyRead, inside, [inside, outside] { inside->write(outside->readAll()); });
    QObject::connect(outside, &QTcpSocket::connected, outside, [inside, outside] {
        inside->write("ok\n");
        if (inside->bytesAvailable() > 0)
            outside->write(inside->readAll());
    });
    const auto close = [inside, outside] {
        inside->disconnectFromServer();
        outside->disconnectFromHost();
        inside->deleteLater();
        outside->deleteLater();
    };
    QObject::connect(inside, &QLocalSocket::disconnected, outside, close);
    QObject::connect(outside, &QTcpSocket::disconnected, inside, close);
    QObject::connect(outside, &QTcpSocket::errorOccurred, inside, [inside, outside, close] {
        if (outside->state() != QAbstractSocket::ConnectedState) {
            QString reason = outside->errorString();
            reason = reason.left(1).toLower() + reason.mid(1);
            inside->write("error " + reason.toUtf8() + "\n");
            inside->flush();
        }
        close();
    });
}

} // namespace

AppletRelay::AppletRelay(const QString& host, quint16 port, QObject* parent)
    : QObject(parent), host_(host), port_(port)
{
    server_.setSocketOptions(QLocalServer::UserAccessOption);
    connect(&server_, &QLocalServer::newConnection, this, &AppletRelay::accept);
}

AppletRelay::~AppletRelay()
{
    const QString path = server_.fullServerName();
    server_.close();
    QFile::remove(path);
}

bool AppletRelay::listen(const QString& path, QString* error)
{
    QLocalServer::removeServer(path);
    if (server_.listen(path))
        return true;
    *error = server_.errorString();
    return false;
}

void AppletRelay::accept()
{
    while (QLocalSocket* inside = server_.nextPendingConnection()) {
        inside->setParent(this);
        auto* outside = new QTcpSocket(this);
        join(inside, outside);
        outside->connectToHost(host_, port_);
    }
}
