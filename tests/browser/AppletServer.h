#pragma once

#include <QByteArray>
#include <QHash>
#include <QStringList>
#include <QTcpServer>

// A small web server for the test applets: the files of a jar by path (HEAD
// and GET), whole jars by name, and the reports the hostile applet sends.
class AppletServer : public QObject {
    Q_OBJECT
public:
    AppletServer();
    quint16 port() const { return server_.serverPort(); }
    void addJarEntries(const QByteArray& jar);
    void addFile(const QString& path, const QByteArray& bytes);
    // "ACTION=RESULT" texts of /report requests, in the order they came.
    QStringList reports() const { return reports_; }
    QStringList requested() const { return requested_; }

private:
    void answer(class QTcpSocket* socket);

    QTcpServer server_;
    QHash<QString, QByteArray> files_;
    QStringList reports_;
    QStringList requested_;
};
