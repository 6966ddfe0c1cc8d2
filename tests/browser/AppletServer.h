#pragma once

#include <QByteArray>
#include <QHash>
#include <QStringList>
#include <QTcpServer>

// A small web server for the test applets: the files of a jar by path (HEAD
// and GET), whole jars by name, redirects, files a hostile camera answers
// for in its ways, uploads (POST /upload answers with the size and CRC-32 of
// what came), and the reports the hostile applet sends.
class AppletServer : public QObject {
    Q_OBJECT
public:
    explicit AppletServer(const QHostAddress& address = QHostAddress::LocalHost, quint16 port = 0);
    quint16 port() const { return server_.serverPort(); }
    // The jar's files below `folder` ("" or "/cam").
    void addJarEntries(const QByteArray& jar, const QString& folder = {});
    void addFile(const QString& path, const QByteArray& bytes);
    void addRedirect(const QString& path, const QByteArray& location);
    // How a hostile camera answers for a file, in place of the file.
    enum class Misbehaviour {
        Stall,          // headers and the first bytes of 1000, then nothing
        Trickle,        // a file of 1000 bytes, a byte a second
        Endless,        // a body without length or end, as fast as it is taken
        CutShort,       // 100 bytes of 5000 said, then the connection closed
        CloseAtOnce,    // the connection closed without a word
        NotHttp,        // another protocol's greeting
        EndlessHeader,  // a header line without end
        ZipBomb,        // an archive whose one entry unpacks to 200 MB
    };
    void addMisbehaviour(const QString& path, Misbehaviour how) { misbehaviours_.insert(path, how); }
    // Answers as a camera should again.
    void behave() { misbehaviours_.clear(); }
    // "ACTION=RESULT" texts of /report requests, in the order they came.
    QStringList reports() const { return reports_; }
    void clearReports() { reports_.clear(); }
    QStringList requested() const { return requested_; }

private:
    void answer(class QTcpSocket* socket);
    void misbehave(QTcpSocket* socket, Misbehaviour how);

    QTcpServer server_;
    QHash<QString, QByteArray> files_;
    QHash<QString, QByteArray> redirects_;
    QHash<QString, Misbehaviour> misbehaviours_;
    QStringList reports_;
    QStringList requested_;
};
