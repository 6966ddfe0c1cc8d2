#pragma once

#include <QString>

#include <optional>
#include <utility>
#include <vector>

namespace platform {

// Per-user settings of one application: sections of key/value texts kept in
// one human-readable file, $XDG_CONFIG_HOME/<application>/settings.conf
// (~/.config by default). Keys stay in the order they were written; a key
// deleted and written again moves to the end. Any text can be a section, key
// or value and comes back unchanged.
//
// Every change re-reads the file under a lock file and replaces it
// atomically, so several running programs never lose each other's changes.
// A file that cannot be parsed is renamed aside (with a ".unreadable-" suffix)
// and reported on stderr, never silently overwritten.
class SettingsStore {
public:
    using Pairs = std::vector<std::pair<QString, QString>>;

    explicit SettingsStore(const QString& application);

    QString path() const { return path_; }
    // Reads the file once: one that cannot be parsed is set aside now, and
    // the result says so, naming both files (empty when all is well).
    QString setAsideIfUnreadable() const;

    QString get(const QString& section, const QString& key, const QString& fallback = {}) const;
    // All pairs of a section in write order; nothing when it does not exist.
    std::optional<Pairs> section(const QString& section) const;
    // False (with the reason on stderr) when the file could not be written.
    bool save(const QString& section, const QString& key, const QString& value);
    bool deleteKey(const QString& section, const QString& key);
    bool deleteSection(const QString& section);

    // The text form of names and values in the file (exposed for tests).
    static QString escape(const QString& text, bool name);
    static std::optional<QString> unescape(const QString& text);

private:
    struct Section {
        QString name;
        Pairs pairs;
    };
    using Content = std::vector<Section>;

    // The file's content (empty when there is none; an unparsable file is
    // moved aside first); nothing when the file can be neither read nor moved.
    std::optional<Content> load(QString* notice = nullptr) const;
    static std::optional<Content> parse(const QByteArray& bytes);
    static QByteArray format(const Content& content);
    template <class Change>
    bool change(Change&& edit);

    QString path_;
};

} // namespace platform
