// The command-line option lookup on any argument text: flags are "-1" or
// "0", and a value is the text after an occurrence of its option name (and
// one more character) up to the next blank, in its own letter case.
#include "FuzzSupport.h"

#include "viewer/CommandLine.h"

namespace {

const char* const kOptions[] = {"-name", "-host", "-port", "-ontop", "-hide"};

bool followsTheOption(const QString& padded, const QString& option, const QString& value)
{
    for (qsizetype at = padded.indexOf(option, 0, Qt::CaseInsensitive); at >= 0;
         at = padded.indexOf(option, at + 1, Qt::CaseInsensitive)) {
        const qsizetype start = at + option.size() + 1;
        if (padded.mid(start, value.size()) == value && padded.mid(start + value.size(), 1) == " ")
            return true;
    }
    return false;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QString line = QString::fromUtf8(fuzz::bytesOf(data, size));
    const QString padded = " " + line + " ";
    for (const char* name : kOptions) {
        const QString option = QString::fromLatin1(name);
        const bool present = padded.contains(option, Qt::CaseInsensitive);
        const QString flag = modOstrel::GetCmdOption(line, option, true);
        fuzz::require(flag == (present ? "-1" : "0"), "a flag is -1 when named and 0 when not");
        const QString value = modOstrel::GetCmdOption(line, option, false);
        if (!present)
            fuzz::require(value.isEmpty(), "an option not named has no value");
        fuzz::require(!value.contains(' '), "a value ends at a blank");
        if (!value.isEmpty())
            fuzz::require(followsTheOption(padded, option, value), "a value is the text after its option");
    }
    return 0;
}
