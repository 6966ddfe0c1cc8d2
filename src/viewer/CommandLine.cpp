// The command-line option lookup the viewer's start-up uses.
#include "CommandLine.h"

namespace modOstrel {

QString GetCmdOption(QString sCmdLine, QString sOption, bool bFlag)
{
    // Compared letter by letter without changing the text: upper-casing the
    // whole line would make "ß" two letters and shift every later position.
    const QString padded = " " + sCmdLine + " ";
    const qsizetype position = padded.indexOf(sOption, 0, Qt::CaseInsensitive);
    if (position < 0)
        return bFlag ? QStringLiteral("0") : QString();
    if (bFlag)
        return QStringLiteral("-1");
    // Exactly one character after the option name is skipped, whatever it is.
    const qsizetype start = position + sOption.size() + 1;
    if (start >= padded.size())
        return {};
    const qsizetype end = padded.indexOf(' ', start);
    if (end < 0)
        return {};
    return padded.mid(start, end - start);
}

QString CmdOptionToNextOption(const QString& commandLine, const QString& option)
{
    const QString padded = " " + commandLine + " ";
    const qsizetype position = padded.indexOf(option, 0, Qt::CaseInsensitive);
    if (position < 0)
        return {};
    const qsizetype start = position + option.size() + 1;
    qsizetype end = padded.size();
    for (const char* next : {" -name ", " -host ", " -port ", " -ontop ", " -hide "}) {
        const qsizetype at = padded.indexOf(QLatin1String(next), start - 1, Qt::CaseInsensitive);
        if (at >= 0 && at < end)
            end = at;
    }
    return start < end ? padded.mid(start, end - start).trimmed() : QString();
}

} // namespace modOstrel
