#pragma once

#include "Surface.h"

#include <QString>

#include <memory>

namespace platform {

// Writes the pixels of `surface` (any layout) to `path` as an uncompressed
// 24-bit bitmap file (rows bottom-up), replacing the file atomically. False
// with `error` set when the file cannot be written.
bool writeBmp(const QString& path, const Surface& surface, QString* error);

// Reads an uncompressed 24-bit bitmap file as writeBmp writes it (either row
// order). Null with `error` set for anything else, damaged or truncated files
// and pictures over 256 megapixels.
std::unique_ptr<Surface> readBmp(const QString& path, QString* error);

} // namespace platform
