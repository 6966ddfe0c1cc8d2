#pragma once

#include <QHostAddress>
#include <QSize>
#include <QString>
#include <QStringList>

#include <optional>

// The demo camera's command line.
struct DemoCamOptions {
    QHostAddress listen = QHostAddress(QHostAddress::LocalHost);
    quint16 port = 8081; // the viewer's default port
    QSize size{640, 480};
    int fps = 25;
    int quality = 75;
    int duration = 0;    // seconds; 0 runs until stopped
    int maxClients = 64; // connections at once; more get 503
    int timeout = 10;    // seconds for a request to arrive and for idle connections
};

// What the command line asks instead of a camera.
enum class DemoCamQuestion { None, Help, Version };

// Parses the arguments (without the program's name). Returns the options,
// or nothing with a one-line reason in `error`; `question` is set for
// --help and --version.
std::optional<DemoCamOptions> parseDemoCamOptions(const QStringList& arguments, QString* error,
                                                  DemoCamQuestion* question);

// The --help text.
QString demoCamUsage();
