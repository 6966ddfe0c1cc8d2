#pragma once

// The saved connection profiles, kept in the program's settings: a "name"
// section listing the names in the order they were last used, and one
// section per profile with its host and port.

#include "platform/SettingsStore.h"

#include <QString>
#include <QStringList>

namespace profiles {

// One connection: a profile's name (empty for an unnamed one), host and port.
struct Connection {
    QString name;
    QString host;
    QString port;
};

class ProfileStore {
public:
    // The port of a profile that names none, and of an empty panel.
    static QString defaultPort() { return QStringLiteral("8081"); }

    explicit ProfileStore(platform::SettingsStore store) : store_(std::move(store)) {}

    // The saved names, least recently used first.
    QStringList names() const;
    bool contains(const QString& name) const;
    // The profile of that name; a missing host is empty, a missing port the default.
    Connection load(const QString& name) const;
    // Saves host and port under the name and moves the name to the end of
    // the list. False when a change could not be written (the store tells
    // the user, and writes it with a later change).
    bool save(const Connection& profile);
    // Forgets the profile: its name and its section.
    bool remove(const QString& name);

    platform::SettingsStore& settings() { return store_; }

private:
    platform::SettingsStore store_;
};

} // namespace profiles
