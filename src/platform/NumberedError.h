#pragma once

#include <stdexcept>
#include <string>

namespace platform {

// An error with a number and a fixed description, raised to the caller the way
// the program's components report failures (the encoder's own errors carry 1).
class NumberedError : public std::runtime_error {
public:
    NumberedError(int number, const std::string& description);

    int number() const noexcept { return number_; }
    const std::string& description() const noexcept { return description_; }

    // The standard errors that the components share.
    static NumberedError overflow();            // 6 "Overflow"
    static NumberedError outOfMemory();         // 7 "Out of memory"
    static NumberedError subscriptOutOfRange(); // 9 "Subscript out of range"
    // A file error for `path` carrying the system's message for `errnoValue`.
    static NumberedError fileError(int errnoValue, const std::string& path);

private:
    int number_;
    std::string description_;
};

} // namespace platform
