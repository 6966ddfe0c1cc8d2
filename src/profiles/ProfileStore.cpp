// ProfileStore, the saved connection profiles: names, load, the save rule and delete.
#include "ProfileStore.h"

namespace profiles {

namespace {
const QString kNames = QStringLiteral("name");
} // namespace

QStringList ProfileStore::names() const
{
    QStringList list;
    if (const auto pairs = store_.section(kNames))
        for (const auto& [key, value] : *pairs)
            list << key;
    return list;
}

bool ProfileStore::contains(const QString& name) const
{
    return !store_.get(kNames, name, QString()).isEmpty();
}

Connection ProfileStore::load(const QString& name) const
{
    return {name, store_.get(name, "host", QString()), store_.get(name, "port", defaultPort())};
}

bool ProfileStore::save(const Connection& profile)
{
    // Written again at the end, the name becomes the most recently used.
    bool written = !contains(profile.name) || store_.deleteKey(kNames, profile.name);
    written &= store_.save(kNames, profile.name, profile.name);
    written &= store_.save(profile.name, "host", profile.host);
    written &= store_.save(profile.name, "port", profile.port);
    return written;
}

bool ProfileStore::remove(const QString& name)
{
    bool written = store_.deleteKey(kNames, name);
    written &= store_.deleteSection(name);
    return written;
}

} // namespace profiles
