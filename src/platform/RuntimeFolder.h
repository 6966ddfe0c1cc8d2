#pragma once

#include <QString>

namespace platform {

// This process's private folder for short-lived files (the viewer page, the
// snapshot bitmap): <base>/ostrel-<user id>/<process id>, where <base> is
// $XDG_RUNTIME_DIR or else the temporary folder. The per-user folder is made
// with mode 0700 and must belong to the user and not be a link, so no other
// user can see, swap or pre-create the files. Empty, with `error` set, when no
// such folder can be had. The per-process folder is removed at exit.
QString runtimeFolder(QString* error = nullptr);

} // namespace platform
