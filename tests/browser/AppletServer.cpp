// Test helper: a small web server for the test applets' files and the hostile applet's reports.
#include "AppletServer.h"

#include "AppletJar.h"

#include <QTcpSocket>
#include <QTimer>
#include <QUrl>

#include <zlib.h>

#include <functional>

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

void AppletServer::addJarEntries(const QByteArray& jar, const QString& folder)
{
    AppletJar entries;
    QString error;
    if (!entries.load(jar, &error))
        qFatal("test jar: %s", qPrintable(error));
    for (const QString& name : entries.names())
        files_.insert(folder + "/" + name, *entries.entry(name));
}

void AppletServer::addFile(const QString& path, const QByteArray& bytes)
{
    files_.insert(path, bytes);
}

void AppletServer::addRedirect(const QString& path, const QByteArray& location)
{
    redirects_.insert(path, location);
}

namespace {

// Writes `next()` whenever what was written before has gone, until the
// other side closes.
void feedForever(QTcpSocket* socket, const std::function<QByteArray()>& next)
{
    QObject::connect(socket, &QTcpSocket::bytesWritten, socket, [socket, next] {
        if (socket->bytesToWrite() < (1 << 18))
            socket->write(next());
    });
    socket->write(next());
}

void putLittle(QByteArray& out, quint32 value, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        out.append(static_cast<char>((value >> (8 * i)) & 0xff));
}

// A zip archive of one deflated entry of 200 MB of zeros (about 200 KB).
QByteArray zipBomb()
{
    static QByteArray made;
    if (!made.isEmpty())
        return made;
    const quint32 size = 200u << 20;
    const QByteArray zeros(1 << 20, '\0');
    z_stream z{};
    deflateInit2(&z, 9, Z_DEFLATED, -15, 9, Z_DEFAULT_STRATEGY);
    QByteArray packed(size / 1000 + (1 << 16), '\0');
    z.next_out = reinterpret_cast<Bytef*>(packed.data());
    z.avail_out = static_cast<uInt>(packed.size());
    uLong crc = ::crc32(0, nullptr, 0);
    for (quint32 done = 0; done < size; done += zeros.size()) {
        z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(zeros.constData()));
        z.avail_in = static_cast<uInt>(zeros.size());
        deflate(&z, done + zeros.size() < size ? Z_NO_FLUSH : Z_FINISH);
        crc = ::crc32(crc, reinterpret_cast<const Bytef*>(zeros.constData()), static_cast<uInt>(zeros.size()));
    }
    packed.truncate(static_cast<qsizetype>(z.total_out));
    deflateEnd(&z);
    const QByteArray name = "zeros.bin";
    const auto header = [&](quint32 signature, bool central) {
        QByteArray h;
        putLittle(h, signature, 4);
        if (central)
            putLittle(h, 20, 2); // made by
        putLittle(h, 20, 2);     // needed to extract
        putLittle(h, 0, 2);      // flags
        putLittle(h, 8, 2);      // deflated
        putLittle(h, 0, 4);      // time and date
        putLittle(h, static_cast<quint32>(crc), 4);
        putLittle(h, static_cast<quint32>(packed.size()), 4);
        putLittle(h, size, 4);
        putLittle(h, static_cast<quint32>(name.size()), 2);
        putLittle(h, 0, 2); // extra
        if (central) {
            putLittle(h, 0, 2); // comment
            putLittle(h, 0, 2); // disk
            putLittle(h, 0, 2); // internal attributes
            putLittle(h, 0, 4); // external attributes
            putLittle(h, 0, 4); // offset of the local header
        }
        return h + name;
    };
    made = header(0x04034b50, false) + packed;
    const QByteArray directory = header(0x02014b50, true);
    const auto at = static_cast<quint32>(made.size());
    made += directory;
    putLittle(made, 0x06054b50, 4);
    putLittle(made, 0, 4); // disk numbers
    putLittle(made, 1, 2);
    putLittle(made, 1, 2);
    putLittle(made, static_cast<quint32>(directory.size()), 4);
    putLittle(made, at, 4);
    putLittle(made, 0, 2);
    return made;
}

} // namespace

void AppletServer::misbehave(QTcpSocket* socket, Misbehaviour how)
{
    switch (how) {
    case Misbehaviour::Stall:
        socket->write("HTTP/1.1 200 OK\r\nContent-Length: 1000\r\n\r\nCAFEBABE");
        break;
    case Misbehaviour::Trickle: {
        socket->write("HTTP/1.1 200 OK\r\nContent-Length: 1000\r\n\r\n");
        auto* ticks = new QTimer(socket);
        connect(ticks, &QTimer::timeout, socket, [socket] { socket->write("x"); });
        ticks->start(1000);
        break;
    }
    case Misbehaviour::Endless:
        socket->write("HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n");
        feedForever(socket, [] { return QByteArray(1 << 16, 'x'); });
        break;
    case Misbehaviour::CutShort:
        socket->write("HTTP/1.1 200 OK\r\nContent-Length: 5000\r\n\r\n" + QByteArray(100, 'x'));
        socket->disconnectFromHost();
        break;
    case Misbehaviour::CloseAtOnce:
        socket->disconnectFromHost();
        break;
    case Misbehaviour::NotHttp:
        socket->write("SSH-2.0-OpenSSH_9.2p1\r\n");
        socket->disconnectFromHost();
        break;
    case Misbehaviour::EndlessHeader:
        socket->write("HTTP/1.1 200 OK\r\nX-Camera: ");
        feedForever(socket, [] { return QByteArray(1 << 16, 'a'); });
        break;
    case Misbehaviour::ZipBomb: {
        const QByteArray bomb = zipBomb();
        socket->write("HTTP/1.1 200 OK\r\nContent-Length: " + QByteArray::number(bomb.size()) + "\r\n\r\n" + bomb);
        break;
    }
    }
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
        if (misbehaviours_.contains(target.path())) {
            misbehave(socket, misbehaviours_.value(target.path()));
            return; // nothing more is answered on it
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
