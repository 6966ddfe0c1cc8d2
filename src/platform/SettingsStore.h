#pragma once

#include <QString>

#include <functional>
#include <map>
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
// Every change re-reads the file under a lock (an advisory lock on
// settings.conf.lock, which ends with its holder) and replaces it
// atomically, so several running programs never lose each other's changes.
// While another program holds the lock, changes are kept in memory (and
// seen by reads) and written with the next change that gets it. Files an
// editor made (CRLF, a byte-order mark, Latin-1) read as expected; a file
// that still cannot be parsed, or is over 1 MiB, is renamed aside under the
// lock (with a ".unreadable-" suffix), never silently overwritten. Troubles
// are told on stderr and, once each, to the notifier (a message box in the
// viewer).
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
    // Changes not written yet (the file was locked or could not be written).
    bool hasUnsavedChanges() const;
    // Where the user hears of settings troubles, once each.
    static void setNotifier(std::function<void(const QString&)> tell);

    // The text form of names and values in the file (exposed for tests).
    static QString escape(const QString& text, bool name);
    static std::optional<QString> unescape(const QString& text);

private:
    friend struct SettingsStoreProbe; // the parser and formatter, for tests and fuzzing

    struct Section {
        QString name;
        Pairs pairs;
    };
    using Content = std::vector<Section>;

    // The file's content (empty when there is none; an unparsable file is
    // moved aside first); nothing when the file can be neither read nor moved.
    std::optional<Content> load(QString* notice = nullptr, bool mayMoveAside = false) const;
    // What reads see: the file's content with the changes waiting for it.
    Content current() const;
    static std::optional<Content> parse(const QByteArray& bytes);
    static QByteArray format(const Content& content);
    template <class Change>
    bool change(Change&& edit);
    // Changes waiting for the lock, per settings file, for the whole run.
    static std::map<QString, std::vector<std::function<void(Content&)>>>& pending();
    static std::function<void(const QString&)>& notifier();
    static void tellOnce(const QString& message);

    QString path_;
};

} // namespace platform
