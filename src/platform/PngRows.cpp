// 8-bit true-colour PNG files read row by row through libpng.
#include "PngRows.h"

#include <QIODevice>

#include <csetjmp>

#include <png.h>

namespace platform {

namespace {

void readFromDevice(png_structp png, png_bytep data, size_t length)
{
    auto* device = static_cast<QIODevice*>(png_get_io_ptr(png));
    if (device->read(reinterpret_cast<char*>(data), static_cast<qint64>(length)) != static_cast<qint64>(length))
        png_error(png, "the file ends early or cannot be read");
}

// libpng's warnings (a colour profile it finds odd, say) change nothing read.
void ignoreWarning(png_structp, png_const_charp) {}

// The header, read where libpng may jump back on an error: nothing here
// has a destructor to skip.
bool readHeader(png_structp png, png_infop info, png_uint_32* width, png_uint_32* height, int* depth, int* colour,
                int* interlace)
{
    if (setjmp(png_jmpbuf(png)))
        return false;
    png_read_info(png, info);
    png_get_IHDR(png, info, width, height, depth, colour, interlace, nullptr, nullptr);
    return true;
}

} // namespace

PngRows::~PngRows()
{
    if (png_)
        png_destroy_read_struct(&png_, info_ ? &info_ : nullptr, nullptr);
}

bool PngRows::open(QIODevice& device, bool upright)
{
    png_ = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, ignoreWarning);
    if (!png_)
        return false;
    info_ = png_create_info_struct(png_);
    if (!info_)
        return false;
    png_set_read_fn(png_, &device, readFromDevice);
    png_uint_32 width = 0;
    png_uint_32 height = 0;
    int depth = 0;
    int colour = 0;
    int interlace = 0;
    if (!readHeader(png_, info_, &width, &height, &depth, &colour, &interlace))
        return false;
    if (depth != 8 || (colour != PNG_COLOR_TYPE_RGB && colour != PNG_COLOR_TYPE_RGB_ALPHA) ||
        interlace != PNG_INTERLACE_NONE || png_get_valid(png_, info_, PNG_INFO_tRNS) ||
        (upright && png_get_valid(png_, info_, PNG_INFO_eXIf)) || width > INT32_MAX || height > INT32_MAX)
        return false;
    width_ = static_cast<int>(width);
    height_ = static_cast<int>(height);
    alpha_ = colour == PNG_COLOR_TYPE_RGB_ALPHA;
    if (!alpha_)
        png_set_bgr(png_); // as the bitmap stores them
    return true;
}

bool PngRows::readRow(std::uint8_t* row)
{
    if (setjmp(png_jmpbuf(png_)))
        return false;
    png_read_row(png_, row, nullptr);
    return true;
}

} // namespace platform
