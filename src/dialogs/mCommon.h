#pragma once

// File dialogs and small path and file routines.

#include <QString>

#include <optional>

class QWidget;

namespace mCommon {

// Filters are pairs of display text and pattern separated by "|", each entry
// named by its own pattern. The image files the image window opens: the
// classic picture types, then every other type the picture reader knows.
QString ImageFilter();
// JPEG files.
inline constexpr const char* kJpegFilter = "*.jpg;*.jpeg|*.jpg;*.jpeg|*.*|*.*";

// Shows the open (bSave false) or save dialog for `owner`, which is disabled
// while it is open, with the filter's first entry selected. The save dialog
// asks before replacing a file; the open dialog asks before taking the name
// of a file that does not exist. Returns the chosen path, or empty text when
// cancelled. A proposed name longer than 260 characters shows the message
// "FileDialog" and gives empty text.
QString ShowFileDialog(QWidget* owner, bool bSave, const QString& Title, const QString& Filter,
                       const std::optional<QString>& ProposedName = std::nullopt,
                       const std::optional<QString>& DefExt = std::nullopt,
                       const std::optional<QString>& InitDir = std::nullopt);

// Where a dialog opens when no folder is asked for: the folder of the file
// last chosen in this run, or the user's Pictures folder (home without one).
QString StartFolder();

// A file name with its extension (if any) replaced by ".jpg".
QString JpegFileName(const QString& name);

// The Qt name filters of a "display|pattern|..." filter text.
QStringList NameFilters(const QString& Filter);

// True for an existing file of any kind (hidden and read-only included), false
// for folders and empty text.
bool FileExists(const QString& path);

// The folder part (with its trailing "/") or the name part of a path.
QString GetFilePart(const QString& path, bool bPathOnly);

// Deletes the file if it exists, read-only or not; a file that cannot be
// deleted raises a file error (platform::NumberedError).
void DeleteFileIfExists(const QString& path);

// A name that can stand as a file name in the current folder: characters a
// file name cannot hold ("/", control characters) become "_".
QString SafeFileName(const QString& name);

} // namespace mCommon
