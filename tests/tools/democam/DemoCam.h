#pragma once

// The real ostrel-democam program, started for one test on a free port, and
// plain HTTP exchanges with it.

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QStringList>

class DemoCam {
public:
    ~DemoCam();
    // Starts the server with these options (and --port 0); false, with its
    // output in error(), when it does not say it is listening.
    bool start(const QStringList& options = {});
    quint16 port() const { return port_; }
    QProcess& process() { return process_; }
    QString error() const { return error_; }

private:
    QProcess process_;
    quint16 port_ = 0;
    QString error_;
};

// One answer: the status code, the header lines, the body.
struct HttpAnswer {
    int status = 0;
    QList<QByteArray> headers; // "Name: value" lines as sent
    QByteArray body;
    QByteArray header(const QByteArray& name) const; // the value, or empty
};

// Sends `request` as it stands and reads until the server closes the
// connection or `timeoutMs` passes; gives all bytes received.
QByteArray exchange(quint16 port, const QByteArray& request, int timeoutMs = 3000);
// Splits the bytes of one answer.
HttpAnswer parseAnswer(const QByteArray& bytes);
// GET or HEAD of a path with Connection: close.
HttpAnswer fetch(quint16 port, const QByteArray& method, const QByteArray& path);

// The parts of a multipart stream's bytes: each part's headers and body.
struct StreamPart {
    QByteArray contentType;
    qint64 contentLength = -1;
    QByteArray body;
};
QList<StreamPart> parseParts(const QByteArray& body, const QByteArray& boundary);
