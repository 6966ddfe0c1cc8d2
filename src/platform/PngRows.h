#pragma once

#include <cstdint>

class QIODevice;
struct png_struct_def;
struct png_info_def;

namespace platform {

// An 8-bit true-colour PNG file (with or without alpha, not interlaced),
// read a row at a time into memory the caller gives, so that a large
// picture is decoded straight into its bitmap with no full-size buffer of
// the decoder's own. Other kinds of PNG are left to Qt's reader, which
// turns palettes, grey levels, 16-bit samples and transparent colours into
// pixels its own way; pixel values are taken as they are stored, as Qt's
// reader takes them.
class PngRows {
public:
    PngRows() = default;
    PngRows(const PngRows&) = delete;
    PngRows& operator=(const PngRows&) = delete;
    ~PngRows();

    // Reads the file's header from `device`; false where it is not such a
    // PNG, or it carries an orientation (eXIf) and `upright` asks for it.
    bool open(QIODevice& device, bool upright);
    int width() const { return width_; }
    int height() const { return height_; }
    bool hasAlpha() const { return alpha_; }
    // The next row from the top: width() blue-green-red pixels, or with
    // alpha width() red-green-blue-alpha ones. False where the file is
    // damaged or cannot be read further.
    bool readRow(std::uint8_t* row);

private:
    png_struct_def* png_ = nullptr;
    png_info_def* info_ = nullptr;
    int width_ = 0;
    int height_ = 0;
    bool alpha_ = false;
};

} // namespace platform
