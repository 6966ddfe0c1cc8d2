#pragma once

#include <QObject>
#include <QSocketNotifier>
#include <QString>

#include <memory>

// The sandboxed applet host's one way to the network: connections that come
// in on a Unix socket (which the sandbox is given) are carried on to one
// address, the applet's code base, and nowhere else. Every byte is carried
// both ways, each direction through a buffer of its own of fixed size: a
// side that does not read holds the other back (as TCP would) instead of
// making Ostrel keep what it sends. An end of data is passed on as such (a
// half close), and a connection goes once both directions have ended.
class AppletRelay : public QObject {
    Q_OBJECT
public:
    AppletRelay(const QString& host, quint16 port, QObject* parent = nullptr);
    ~AppletRelay() override;
    // Listens at `path`; false, with the reason, when it cannot.
    bool listen(const QString& path, QString* error);
    QString path() const { return path_; }
    // Connections being carried now (at most kMostConnections).
    int connections() const;

    static constexpr int kMostConnections = 32;

private:
    void accept();

    QString host_;
    quint16 port_;
    QString path_;
    int listener_ = -1;
    std::unique_ptr<QSocketNotifier> incoming_;
};
