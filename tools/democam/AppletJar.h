#pragma once

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QStringList>

#include <optional>

// The applet's jar (a zip archive) read into memory: its classes and
// resources by path, as the server hands them out.
class AppletJar {
public:
    // Reads every file entry (stored or deflated). False, with a reason,
    // when the bytes are not a zip archive this reader understands.
    bool load(const QByteArray& zip, QString* error);
    std::optional<QByteArray> entry(const QString& name) const;
    QStringList names() const { return entries_.keys(); }
    // The archive itself.
    QByteArray archive() const { return archive_; }

private:
    QByteArray archive_;
    QHash<QString, QByteArray> entries_;
};

// The Content-Type for a file name, by its extension.
QByteArray contentTypeFor(const QString& name);
