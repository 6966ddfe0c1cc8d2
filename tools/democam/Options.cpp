// The demo camera's command-line options.
#include "Options.h"

#include <QRegularExpression>

namespace {

bool number(const QString& text, int low, int high, int* out)
{
    bool ok = false;
    const int value = text.toInt(&ok);
    if (!ok || value < low || value > high)
        return false;
    *out = value;
    return true;
}

} // namespace

QString demoCamUsage()
{
    return QStringLiteral(
        "Usage: ostrel-democam [options]\n"
        "A demo camera server: a moving test picture as an MJPEG stream, with the\n"
        "streaming applet that the Ostrel viewer shows.\n"
        "\n"
        "  --listen ADDRESS   address to listen on (default 127.0.0.1)\n"
        "  --port N           port to listen on, 1 to 65535, or 0 for any free one (default 8081)\n"
        "  --size WxH         picture size, 16x16 to 4096x4096 (default 640x480)\n"
        "  --fps N            frames a second, 1 to 60 (default 25)\n"
        "  --quality Q        JPEG quality, 1 to 100 (default 75)\n"
        "  --duration S       stop after S seconds (default: run until stopped)\n"
        "  --max-clients N    connections at once, 1 to 1024; more are refused with 503 (default 64)\n"
        "  --timeout S        seconds a request may take to arrive and an idle connection may stay\n"
        "                     (default 10)\n"
        "  --help             show this text\n"
        "  --version          show the version\n"
        "\n"
        "Then view it with: ostrel -host 127.0.0.1 -port 8081\n");
}

std::optional<DemoCamOptions> parseDemoCamOptions(const QStringList& arguments, QString* error,
                                                  DemoCamQuestion* question)
{
    static const QStringList withValues = {"--listen", "--port",        "--size",   "--fps",
                                           "--quality", "--duration", "--max-clients", "--timeout"};
    DemoCamOptions options;
    *question = DemoCamQuestion::None;
    const auto fail = [&](const QString& why) {
        *error = why;
        return std::nullopt;
    };
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString name = arguments[i];
        if (name == "--help" || name == "-h") {
            *question = DemoCamQuestion::Help;
            return options;
        }
        if (name == "--version") {
            *question = DemoCamQuestion::Version;
            return options;
        }
        if (!name.startsWith("--"))
            return fail(QString("unexpected argument '%1' (see --help)").arg(name));
        if (!withValues.contains(name))
            return fail(QString("unknown option %1 (see --help)").arg(name));
        if (i + 1 >= arguments.size())
            return fail(QString("%1 needs a value (see --help)").arg(name));
        const QString value = arguments[++i];
        int n = 0;
        if (name == "--listen") {
            if (!options.listen.setAddress(value))
                return fail(QString("--listen: '%1' is not an IP address").arg(value));
        } else if (name == "--port") {
            if (!number(value, 0, 65535, &n))
                return fail(QString("--port: '%1' is not a port from 0 to 65535").arg(value));
            options.port = static_cast<quint16>(n);
        } else if (name == "--size") {
            const auto m = QRegularExpression("^(\\d{1,4})x(\\d{1,4})$").match(value);
            int w = 0;
            int h = 0;
            if (!m.hasMatch() || !number(m.captured(1), 16, 4096, &w) || !number(m.captured(2), 16, 4096, &h))
                return fail(QString("--size: '%1' is not WxH from 16x16 to 4096x4096").arg(value));
            options.size = QSize(w, h);
        } else if (name == "--fps") {
            if (!number(value, 1, 60, &options.fps))
                return fail(QString("--fps: '%1' is not a number from 1 to 60").arg(value));
        } else if (name == "--quality") {
            if (!number(value, 1, 100, &options.quality))
                return fail(QString("--quality: '%1' is not a number from 1 to 100").arg(value));
        } else if (name == "--duration") {
            if (!number(value, 1, 31'536'000, &options.duration))
                return fail(QString("--duration: '%1' is not a number of seconds").arg(value));
        } else if (name == "--max-clients") {
            if (!number(value, 1, 1024, &options.maxClients))
                return fail(QString("--max-clients: '%1' is not a number from 1 to 1024").arg(value));
        } else if (name == "--timeout") {
            if (!number(value, 1, 3600, &options.timeout))
                return fail(QString("--timeout: '%1' is not a number of seconds from 1 to 3600").arg(value));
        }
    }
    return options;
}
