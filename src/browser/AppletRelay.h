#pragma once

#include <QLocalServer>
#include <QObject>
#include <QString>

// The sandboxed applet host's one way to the network: connections that come
// in on a local socket (which the sandbox is given) are carried on to one
// address, the applet's code base, and nowhere else.
class AppletRelay : public QObject {
    Q_OBJECT
public:
    AppletRelay(const QString& host, quint16 port, QObject* parent = nullptr);
    ~AppletRelay() override;
    // Listens at `path`; false, with the reason, when it cannot.
    bool listen(const QString& path, QString* error);
    QString path() const { return server_.fullServerName(); }

private:
    void accept();

    QString host_;
    quint16 port_;
    QLocalServer server_;
};
