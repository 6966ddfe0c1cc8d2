#pragma once

#include <QString>

namespace platform {

// This process's private folder for short-lived files (the viewer page, the
// snapshot bitmap, an applet's pictures): <base>/ostrel-<user id>/<process
// id>, where <base> is $XDG_RUNTIME_DIR or else the temporary folder. A base
// that other users may write to without the sticky bit is refused (they
// could swap our folder for a link). The per-user folder is made with mode
// 0700 and must belong to the user and not be a link. Both folders are held
// open for the life of the process, and the path returned leads through the
// held folder (/proc/self/fd/N), so files are made, written and deleted in
// the folder that was checked even if a name on the way changes later. At
// exit the process's files and folder are removed through the same handle;
// folders left by processes that are gone (killed outright) are removed at
// the next start. Empty, with `error` set, when no such folder can be had.
QString runtimeFolder(QString* error = nullptr);

// The same folder by its real path, for other processes (a child cannot
// follow this process's /proc/self/fd).
QString runtimeFolderPath();

} // namespace platform
