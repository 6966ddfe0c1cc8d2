#pragma once

#include <functional>

class QObject;

namespace platform {

// Runs `end` on the UI thread when the process is asked to end by a signal
// (SIGTERM, as at logout or from `kill`; SIGINT, as Ctrl+C; SIGHUP, as a
// closed terminal), so that it can close its windows and clean up as on any
// other way out. A second such signal while ending ends the process at once.
// For the life of `context`; installed once.
void onEndRequest(QObject* context, std::function<void()> end);

} // namespace platform
