#pragma once

// How failures travel in this program:
//
// - The named components (the encoder, the image, the image window's save,
//   the file writers they use) raise a NumberedError: a number callers can
//   tell kinds apart by, and a description to show as it stands. The
//   encoder's own errors carry 1; the shared ones below carry their classic
//   numbers.
// - The platform layer's other routines never throw: they return a value
//   (a bool, or a pointer/optional that is empty on failure) and, when the
//   caller passes a `QString* error`, put a sentence saying why there.
// - Windows catch at the handler the user started and tell the user once,
//   in a message box (or what a test puts in its place), naming what failed.

#include <QString>

#include <stdexcept>

namespace platform {

class NumberedError : public std::runtime_error {
public:
    NumberedError(int number, const QString& description);

    int number() const noexcept { return number_; }
    const QString& description() const noexcept { return description_; }

    // The standard errors that the components share.
    static NumberedError overflow();            // 6 "Overflow"
    static NumberedError outOfMemory();         // 7 "Out of memory"
    static NumberedError subscriptOutOfRange(); // 9 "Subscript out of range"
    // A file error for `path` carrying the system's message for `errnoValue`.
    static NumberedError fileError(int errnoValue, const QString& path);

private:
    int number_;
    QString description_;
};

} // namespace platform
