#pragma once

#include <QString>

namespace platform {

// The program's name as message boxes and the settings file show it: its
// executable's base name ("ostrel" as installed, the test program's in tests).
QString applicationName();

} // namespace platform
