#pragma once

#include <QString>

#include <cstddef>
#include <cstdint>
#include <functional>

namespace platform {

enum class NewFileResult {
    Written,       // the file now holds exactly the given bytes
    AlreadyExists, // a file (or link) of that name exists; nothing was changed
};

// True when `path` names an existing file of any kind (hidden, read-only,
// a link even when it dangles) other than a folder.
bool fileExists(const QString& path);

// Creates `path` holding `size` bytes, never replacing anything: the bytes go
// to a temporary file in the same folder, which is then moved into place only
// if the name is still free. No partial or temporary file is left behind on any
// failure. Errors (bad folder, no permission, disk full, `path` is a folder)
// are raised as file errors carrying the system's message. `beforeMove`, when
// given, runs just before the move (tests use it to let a rival file appear).
NewFileResult writeNewFile(const QString& path, const std::uint8_t* data, std::size_t size,
                           const std::function<void()>& beforeMove = {});

// Appends bytes to the file being written; false once anything failed.
using FileSink = std::function<bool(const void* data, std::size_t size)>;

// Writes `path` through `produce` and puts it in place of the old file only
// when whole and on disk: a failure or a kill at any point leaves the old file
// as it was. The bytes go to an unnamed file of the same folder, named
// ".NAME.ostrel-new" only for the instant before it is moved over NAME; one
// left there by a kill at that instant is removed by the next replace. A link
// is followed (the file it names is replaced, the link kept); a replaced file
// keeps its permissions, a new one gets those a new file gets. False, with
// errno and `error` set to the system's reason, when it could not be written.
bool replaceFile(const QString& path, const std::function<void(const FileSink& write)>& produce, QString* error);

} // namespace platform
