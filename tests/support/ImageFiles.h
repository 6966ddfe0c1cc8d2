#pragma once

// Small image files written byte by byte, for formats Qt reads but does not
// write (GIF, run-length and 16-bit bitmaps, cursors, icons of several sizes,
// JPEG files with an orientation tag).

#include <QByteArray>
#include <QImage>
#include <QRgb>
#include <QVector>

namespace testsupport {

// A GIF of `indices` (width x height, row by row) with the given colours.
QByteArray gifFile(int width, int height, const QVector<QRgb>& colours, const QByteArray& indices);

// A GIF of one colour coded as tightly as LZW allows: the smallest file a
// GIF of that size can be.
QByteArray singleColourGif(int width, int height);

// A bitmap file compressed with run-length coding: 8 bits (RLE8) or 4 bits (RLE4)
// per pixel, every row as literal runs, with the given colours.
QByteArray rleBitmapFile(int bits, int width, int height, const QVector<QRgb>& colours, const QByteArray& indices);

// An uncompressed 16-bit (5-5-5) bitmap file of the image.
QByteArray bitmap16File(const QImage& image);

// The ICO file `ico` turned into a cursor with its hot spot at (x, y).
QByteArray cursorFromIcon(QByteArray ico, int x, int y);

// One ICO file holding the images of single-image ICO files, in that order.
QByteArray iconOfSizes(const QList<QByteArray>& icos);

// The JPEG file with an Exif orientation tag (1 to 8) after its start marker.
QByteArray withOrientation(const QByteArray& jpeg, int orientation);

} // namespace testsupport
