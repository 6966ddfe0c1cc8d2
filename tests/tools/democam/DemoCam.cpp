// Test helper: the real ostrel-democam on a free port, and plain HTTP exchanges with it.
#include "DemoCam.h"

#include <QElapsedTimer>
#include <QTcpSocket>
#include <QRegularExpression>

DemoCam::~DemoCam()
{
    if (process_.state() != QProcess::NotRunning) {
        process_.kill();
        process_.waitForFinished();
    }
}

bool DemoCam::start(const QStringList& options)
{
    process_.start(OSTREL_DEMOCAM, QStringList{"--port", "0"} + options);
    QByteArray output;
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < 15000 && process_.state() != QProcess::NotRunning) {
        process_.waitForReadyRead(100);
        output += process_.readAllStandardOutput();
        const auto m = QRegularExpression("listening on http://127\\.0\\.0\\.1:(\\d+)/\n").match(QString(output));
        if (m.hasMatch()) {
            port_ = static_cast<quint16>(m.captured(1).toUInt());
            return true;
        }
    }
    error_ = QString::fromLocal8Bit(output + process_.readAllStandardError());
    return false;
}

QByteArray HttpAnswer::header(const QByteArray& name) const
{
    for (const QByteArray& line : headers)
        if (line.toLower().startsWith(name.toLower() + ":"))
            return line.mid(name.size() + 1).trimmed();
    return {};
}

QByteArray exchange(quint16 port, const QByteArray& request, int timeoutMs)
{
    QTcpSocket socket;
    socket.connectToHost("127.0.0.1", port);
    if (!socket.waitForConnected(3000))
        return {};
    socket.write(request);
    socket.flush();
    QByteArray received;
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < timeoutMs) {
        if (!socket.waitForReadyRead(50) && socket.state() != QAbstractSocket::ConnectedState)
            break;
        received += socket.readAll();
    }
    return received + socket.readAll();
}

HttpAnswer parseAnswer(const QByteArray& bytes)
{
    HttpAnswer answer;
    const qsizetype end = bytes.indexOf("\r\n\r\n");
    if (end < 0)
        return answer;
    QList<QByteArray> lines = bytes.left(end).split('\n');
    for (QByteArray& line : lines)
        line = line.trimmed();
    const QList<QByteArray> first = lines.takeFirst().split(' ');
    answer.status = first.size() > 1 ? first[1].toInt() : 0;
    answer.headers = lines;
    answer.body = bytes.mid(end + 4);
    return answer;
}

HttpAnswer fetch(quint16 port, const QByteArray& method, const QByteArray& path)
{
    return parseAnswer(exchange(port, method + " " + path + " HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n"));
}

QList<StreamPart> parseParts(const QByteArray& body, const QByteArray& boundary)
{
    QList<StreamPart> parts;
    const QByteArray marker = "--" + boundary + "\r\n";
    qsizetype at = body.indexOf(marker);
    while (at >= 0) {
        const qsizetype headersEnd = body.indexOf("\r\n\r\n", at);
        if (headersEnd < 0)
            break;
        StreamPart part;
        for (const QByteArray& line : body.mid(at + marker.size(), headersEnd - at - marker.size()).split('\n')) {
            const QByteArray l = line.trimmed();
            if (l.toLower().startsWith("content-type:"))
                part.contentType = l.mid(13).trimmed();
            if (l.toLower().startsWith("content-length:"))
                part.contentLength = l.mid(15).trimmed().toLongLong();
        }
        if (part.contentLength < 0 || headersEnd + 4 + part.contentLength > body.size())
            break; // the last part has not fully arrived
        part.body = body.mid(headersEnd + 4, part.contentLength);
        parts << part;
        at = body.indexOf(marker, headersEnd + 4 + part.contentLength);
    }
    return parts;
}
