// The settings file: sections of key=value lines, locked, kept in memory when busy, replaced atomically.
#include "SettingsStore.h"

#include "NewFile.h"
#include "UniqueFd.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QThread>

#include <algorithm>
#include <cstdio>
#include <map>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

namespace {

constexpr char kHeader[] = "# Settings, kept by the program. Sections in [brackets], then key=value lines;\n"
                           "# \\\\ \\n \\r \\= \\[ \\] \\# stand for themselves inside names and values.\n";

void warn(const QString& message) { std::fprintf(stderr, "%s\n", qPrintable(message)); }

// Larger files are no settings file of ours: read as unreadable.
constexpr qint64 kMaxFileBytes = 1024 * 1024;
// How long a change waits for another program's lock.
constexpr int kLockWaitMs = 3000;

// An advisory lock on the lock file, held while the descriptor is open: it
// ends with its holder, however the holder ends.
class FileLock {
public:
    enum class State { Held, Busy, Broken };
    FileLock(const QString& path, int waitMs, QString* error)
    {
        file_.reset(::open(QFile::encodeName(path).constData(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK, 0600));
        struct stat info {};
        if (!file_.valid() || ::fstat(file_.get(), &info) != 0 || !S_ISREG(info.st_mode)) {
            *error = !file_.valid() && errno != ELOOP && errno != EISDIR && errno != ENXIO
                         ? QString("Cannot open the lock file %1: %2").arg(path, QString::fromLocal8Bit(std::strerror(errno)))
                         : QString("The settings lock %1 is not a file; remove it so that settings can be saved.").arg(path);
            state_ = State::Broken;
            return;
        }
        for (int waited = 0;; waited += 20) {
            if (::flock(file_.get(), LOCK_EX | LOCK_NB) == 0) {
                state_ = State::Held;
                return;
            }
            if (errno != EWOULDBLOCK || waited >= waitMs)
                break;
            QThread::msleep(20);
        }
        state_ = State::Busy;
    }
    State state() const { return state_; }

private:
    UniqueFd file_; // closing it releases the lock
    State state_ = State::Broken;
};

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
    // As an editor may leave it: a byte-order mark, CRLF line ends, or
    // Latin-1 text (bytes that are not UTF-8 are read as Latin-1).
    QByteArray body = bytes.startsWith("\xEF\xBB\xBF") ? bytes.mid(3) : bytes;
    QString text = QString::fromUtf8(body);
    if (text.toUtf8() != body)
        text = QString::fromLatin1(body);
    Content content;
    for (QString line : text.split('\n')) {
        if (line.endsWith('\r'))
            line.chop(1);
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
    if (!QFileInfo::exists(path_))
        return {};
    QString error;
    const FileLock lock(path_ + ".lock", kLockWaitMs, &error);
    if (lock.state() == FileLock::State::Broken)
        return error;
    if (lock.state() == FileLock::State::Busy)
        return {}; // another program holds it; it or a later change will see to the file
    QString notice;
    load(&notice, true);
    return notice;
}

std::map<QString, std::vector<std::function<void(SettingsStore::Content&)>>>& SettingsStore::pending()
{
    static std::map<QString, std::vector<std::function<void(Content&)>>> edits;
    return edits;
}

std::function<void(const QString&)>& SettingsStore::notifier()
{
    static std::function<void(const QString&)> tell;
    return tell;
}

void SettingsStore::setNotifier(std::function<void(const QString&)> tell)
{
    notifier() = std::move(tell);
}

bool SettingsStore::hasUnsavedChanges() const
{
    const auto found = pending().find(path_);
    return found != pending().end() && !found->second.empty();
}

void SettingsStore::tellOnce(const QString& message)
{
    static QStringList told;
    warn(message);
    if (told.contains(message))
        return;
    told << message;
    if (notifier())
        notifier()(message);
}

std::optional<SettingsStore::Content> SettingsStore::load(QString* notice, bool mayMoveAside) const
{
    QFile file(path_);
    if (!file.exists())
        return Content{};
    if (!file.open(QIODevice::ReadOnly)) {
        warn(QString("Cannot read settings %1: %2").arg(path_, file.errorString()));
        return std::nullopt;
    }
    if (file.size() <= kMaxFileBytes) {
        const QByteArray bytes = file.read(kMaxFileBytes + 1);
        file.close();
        if (auto content = parse(bytes); content && bytes.size() <= kMaxFileBytes)
            return *content;
    }
    file.close();
    // Only a holder of the lock moves the file: a reader just sees defaults.
    if (!mayMoveAside)
        return std::nullopt;
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
    // Kept until it is written: a change never goes missing because another
    // program held the file for a while.
    auto& queue = pending()[path_];
    queue.emplace_back(std::forward<Change>(edit));
    if (!QDir().mkpath(QFileInfo(path_).absolutePath())) {
        tellOnce(QString("Cannot create the settings folder for %1").arg(path_));
        return false;
    }
    QString error;
    // Changes already waiting have waited: the next ones only try.
    const FileLock lock(path_ + ".lock", queue.size() > 1 ? 0 : kLockWaitMs, &error);
    if (lock.state() == FileLock::State::Broken) {
        tellOnce(error);
        return false;
    }
    if (lock.state() == FileLock::State::Busy) {
        tellOnce(QString("Settings %1 are locked by another program; changes are kept and saved as soon as it lets "
                         "go.").arg(path_));
        return false;
    }
    QString notice;
    std::optional<Content> content = load(&notice, true);
    if (!notice.isEmpty())
        tellOnce(notice);
    if (!content)
        return false; // never write over a file that could not be read
    for (const auto& apply : queue)
        apply(*content);
    const QByteArray text = format(*content);
    QString reason;
    if (!replaceFile(path_, [&text](const FileSink& write) { write(text.constData(), text.size()); }, &reason)) {
        tellOnce(QString("Cannot write settings %1: %2").arg(path_, reason));
        return false;
    }
    queue.clear();
    return true;
}

SettingsStore::Content SettingsStore::current() const
{
    // What the file holds, with the changes still waiting to be written to it.
    Content content = load().value_or(Content{});
    if (const auto waiting = pending().find(path_); waiting != pending().end())
        for (const auto& apply : waiting->second)
            apply(content);
    return content;
}

QString SettingsStore::get(const QString& section, const QString& key, const QString& fallback) const
{
    const Content content = current();
    for (const Section& s : content)
        if (s.name == section)
            for (const auto& [k, v] : s.pairs)
                if (k == key)
                    return v;
    return fallback;
}

std::optional<SettingsStore::Pairs> SettingsStore::section(const QString& section) const
{
    const Content content = current();
    for (const Section& s : content)
        if (s.name == section)
            return s.pairs;
    return std::nullopt;
}

bool SettingsStore::save(const QString& section, const QString& key, const QString& value)
{
    // Kept by value: the change may be applied after this call returns.
    return change([section, key, value](Content& content) {
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
    return change([section, key](Content& content) {
        for (Section& s : content)
            if (s.name == section)
                std::erase_if(s.pairs, [&key](const auto& pair) { return pair.first == key; });
    });
}

bool SettingsStore::deleteSection(const QString& section)
{
    return change([section](Content& content) {
        std::erase_if(content, [&](const Section& s) { return s.name == section; });
    });
}

} // namespace platform
