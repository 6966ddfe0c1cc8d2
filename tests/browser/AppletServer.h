#pragma once

#include <QByteArray>
#include <QHash>
#include <QStringList>
#include <QTcpServer>

// A small web server for the test applets: the files of a jar by path (HEAD
// and GET), whole jars by name, redirects, a file that stalls, uploads
// (POST /upload answers with the size and CRC-32 of what came), and the
// reports the hostile applet sends.
class AppletServer : public QObject {
    Q_OBJECT
public:
    explicit AppletServer(const QHostAddress& address = QHostAddress::LocalHost, quint16 port = 0);
    quint16 port() const { return server_.serverPort(); }
    void addJarEntries(const QByteArray& jar);
    void addFile(const QString& path, const QByteArray& bytes);
    void addRedirect(const QString& path, const QByteArray& location);
    // Sends the headers and the first bytes of a file of 1000, then nothing.
    void addStall(const QString& path);
    // "ACTION=RESULT" texts of /report requests, in the order they came.
    QStringList reports() const { return reports_; }
    void clearReports() { reports_.clear(); }
    QStringList requested() const { return requested_; }

private:
    void answer(class QTcpSocket* socket);

    QTcpServer server_;
    QHash<QString, QByteArray> files_;
    QHash<QString, QByteArray> redirects_;
    QStringList stalls_;
    QStringList reports_;
    QStringList requested_;
};
