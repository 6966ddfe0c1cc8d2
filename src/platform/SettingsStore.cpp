#include "SettingsStore.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QSaveFile>
#include <QStandardPaths>

#include <algorithm>
#include <cstdio>

namespace platform {

namespace {

constexpr char kHeader[] = "# Settings, kept by the program. Sections in [brackets], then key=value lines;\n"
                           "# \\\\ \\n \\r \\= \\[ \\] \\# stand for themselves inside names and values.\n";

void warn(const QString& message) { std::fprintf(stderr, "%s\n", qPrintable(message)); }

QString configFolder()
{
    QString base = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (base.isEmpty() || !QDir::isAbsolutePath(base))
        base = QDir::homePath() + "/.config";
    return base;
}

} // namespace

SettingsStore::SettingsStore(const QString& application)
    : path_(configFolder() + "/" + (application.isEmpty() ? QStringLiteral("settings") : escape(application, true).replace('/', "%2F")) +
            "/settings.conf")
{
}

QString SettingsStore::escape(const QString& text, bool name)
{
    QString out;
    out.reserve(text.size());
    for (QChar c : text) {
        switch (c.unicode()) {
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '=':
        case '[':
        case ']':
        case '#':
            if (name) {
                out += '\\';
                out += c;
            } else {
                out += c;
            }
            break;
        default:
            out += c;
        }
    }
    return out;
}

std::optional<QString> SettingsStore::unescape(const QString& text)
{
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] != '\\') {
            out += text[i];
            continue;
        }
        if (++i >= text.size())
            return std::nullopt;
        switch (text[i].unicode()) {
        case 'n':
            out += '\n';
            break;
        case 'r':
            out += '\r';
            break;
        case '\\':
        case '=':
        case '[':
        case ']':
        case '#':
            out += text[i];
            break;
        default:
            return std::nullopt;
        }
    }
    return out;
}

std::optional<SettingsStore::Content> SettingsStore::parse(const QByteArray& bytes)
{
    const QString text = QString::fromUtf8(bytes);
    if (text.toUtf8() != bytes)
        return std::nullopt; // not valid UTF-8
    Content content;
    for (const QString& line : text.split('\n')) {
        if (line.isEmpty() || line.startsWith('#'))
            continue;
        if (line.startsWith('[')) {
            if (!line.endsWith(']') || line.size() < 2)
                return std::nullopt;
            const auto name = unescape(line.mid(1, line.size() - 2));
            if (!name)
                return std::nullopt;
            content.push_back({*name, {}});
            continue;
        }
        // The key ends at the first '=' that is not escaped.
        qsizetype equals = -1;
        for (qsizetype i = 0; i < line.size(); ++i) {
            if (line[i] == '\\') {
                ++i;
            } else if (line[i] == '=') {
                equals = i;
                break;
            }
        }
        if (equals < 0 || content.empty())
            return std::nullopt;
        const auto key = unescape(line.left(equals));
        const auto value = unescape(line.mid(equals + 1));
        if (!key || !value)
            return std::nullopt;
        content.back().pairs.emplace_back(*key, *value);
    }
    return content;
}

QByteArray SettingsStore::format(const Content& content)
{
    QString text = kHeader;
    for (const Section& section : content) {
        text += "\n[" + escape(section.name, true) + "]\n";
        for (const auto& [key, value] : section.pairs)
            text += escape(key, true) + "=" + escape(value, false) + "\n";
    }
    return text.toUtf8();
}

QString SettingsStore::setAsideIfUnreadable() const
{
    QString notice;
    load(&notice);
    return notice;
}

std::optional<SettingsStore::Content> SettingsStore::load(QString* notice) const
{
    QFile file(path_);
    if (!file.exists())
        return Content{};
    if (!file.open(QIODevice::ReadOnly)) {
        warn(QString("Cannot read settings %1: %2").arg(path_, file.errorString()));
        return std::nullopt;
    }
    const QByteArray bytes = file.readAll();
    file.close();
    if (auto content = parse(bytes))
        return *content;
    // Keep the damaged file for the user rather than writing over it.
    const QString stamp = path_ + ".unreadable-" + QDateTime::currentDateTime().toString("yyyyMMdd-hhmmss-zzz");
    QString aside = stamp;
    for (int n = 2; QFile::exists(aside); ++n)
        aside = stamp + "-" + QString::number(n);
    QString message;
    if (!QFile::rename(path_, aside)) {
        message = QString("The settings file %1 could not be read and could not be moved aside; "
                          "no settings will be saved until it is mended or removed.")
                      .arg(path_);
        warn(message);
        if (notice)
            *notice = message;
        return std::nullopt;
    }
    message = QString("The settings file %1 could not be read. It was kept as %2, and settings start afresh.")
                  .arg(path_, aside);
    warn(message);
    if (notice)
        *notice = message;
    return Content{};
}

template <class Change>
bool SettingsStore::change(Change&& edit)
{
    if (!QDir().mkpath(QFileInfo(path_).absolutePath())) {
        warn(QString("Cannot create the settings folder for %1").arg(path_));
        return false;
    }
    QLockFile lock(path_ + ".lock");
    lock.setStaleLockTime(30000);
    if (!lock.tryLock(10000)) {
        warn(QString("Settings %1 are locked by another program; the change was not saved.").arg(path_));
        return false;
    }
    std::optional<Content> content = load();
    if (!content)
        return false; // never write over a file that could not be read
    edit(*content);
    QSaveFile file(path_);
    if (!file.open(QIODevice::WriteOnly) || file.write(format(*content)) < 0 || !file.commit()) {
        warn(QString("Cannot write settings %1: %2").arg(path_, file.errorString()));
        return false;
    }
    return true;
}

QString SettingsStore::get(const QString& section, const QString& key, const QString& fallback) const
{
    const Content content = load().value_or(Content{});
    for (const Section& s : content)
        if (s.name == section)
            for (const auto& [k, v] : s.pairs)
                if (k == key)
                    return v;
    return fallback;
}

std::optional<SettingsStore::Pairs> SettingsStore::section(const QString& section) const
{
    const Content content = load().value_or(Content{});
    for (const Section& s : content)
        if (s.name == section)
            return s.pairs;
    return std::nullopt;
}

bool SettingsStore::save(const QString& section, const QString& key, const QString& value)
{
    return change([&](Content& content) {
        auto s = std::find_if(content.begin(), content.end(), [&](const Section& x) { return x.name == section; });
        if (s == content.end()) {
            content.push_back({section, {}});
            s = content.end() - 1;
        }
        for (auto& [k, v] : s->pairs) {
            if (k == key) {
                v = value; // an existing key keeps its place
                return;
            }
        }
        s->pairs.emplace_back(key, value);
    });
}

bool SettingsStore::deleteKey(const QString& section, const QString& key)
{
    return change([&](Content& content) {
        for (Section& s : content)
            if (s.name == section)
                std::erase_if(s.pairs, [&](const auto& pair) { return pair.first == key; });
    });
}

bool SettingsStore::deleteSection(const QString& section)
{
    return change([&](Content& content) {
        std::erase_if(content, [&](const Section& s) { return s.name == section; });
    });
}

} // namespace platform
