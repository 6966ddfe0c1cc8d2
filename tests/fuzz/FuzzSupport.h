#pragma once

// Helpers shared by the fuzz targets: reading numbers out of the fuzzer's
// bytes, a scratch file for code that reads paths, and a check that stops
// the run (so libFuzzer keeps the input) when a property does not hold.

#include <QByteArray>
#include <QCoreApplication>
#include <QString>
#include <QTemporaryDir>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <span>

namespace fuzz {

// Takes numbers off the front of the input; past its end, zeros.
class Bytes {
public:
    Bytes(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

    std::uint8_t byte() { return at_ < size_ ? data_[at_++] : 0; }
    std::uint16_t word() { return static_cast<std::uint16_t>(byte() | byte() << 8); }
    // A number in lo..hi.
    int inRange(int lo, int hi) { return lo + static_cast<int>(word() % static_cast<unsigned>(hi - lo + 1)); }
    // What has not been taken.
    std::span<const std::uint8_t> rest() const { return {data_ + at_, size_ - at_}; }

private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t at_ = 0;
};

inline QByteArray bytesOf(const std::uint8_t* data, std::size_t size)
{
    return QByteArray(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
}

// Stops the run with a message: libFuzzer saves the input that did this.
[[noreturn]] inline void fail(const char* what)
{
    std::fprintf(stderr, "fuzz property broken: %s\n", what);
    std::abort();
}

inline void require(bool holds, const char* what)
{
    if (!holds)
        fail(what);
}

// The application object Qt's image plugins and paths expect, made once.
inline void startQt()
{
    static int argc = 1;
    static char name[] = "ostrel-fuzz";
    static char* argv[] = {name, nullptr};
    static QCoreApplication app(argc, argv);
}

// A folder of this run for files the code under test reads by path.
inline QString scratchPath(const QString& name)
{
    static QTemporaryDir folder;
    return folder.filePath(name);
}

// Writes the bytes to the scratch file `name` and returns its path.
QString writeScratch(const QString& name, const QByteArray& bytes);

} // namespace fuzz
