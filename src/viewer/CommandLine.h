#pragma once

// The viewer's command-line parser, apart from its windows.

#include <QString>

namespace modOstrel {

// Looks an option up in the argument text (the arguments joined by blanks):
// a plain, case-insensitive substring search of " " + line + " ". A flag gives
// "-1" when found and "0" otherwise; a value option gives the text after the
// option name and one more character (whatever it is) up to the next blank,
// in its own letter case, or empty text.
QString GetCmdOption(QString sCmdLine, QString sOption, bool bFlag);

// The text after `option` and one more character, up to the next of the
// viewer's own options (-name, -host, -port, -ontop, -hide, after a blank)
// or the end, blanks around it removed: a value that has blanks in it.
QString CmdOptionToNextOption(const QString& commandLine, const QString& option);

} // namespace modOstrel
