// The forward DCT used by the encoder: a plain version, the reference, and
// vector versions that give identical results.
#pragma once

#include "jpeg/cJpegCodePath.h"

// x86-64 compilers build an AVX2 version beside the SSE2 one; which runs is
// decided on the processor at run time.
#if defined(__x86_64__) && defined(__GNUC__)
#define OSTREL_JPEG_AVX2 1
// Marks a function compiled for AVX2 (GCC and Clang alike).
#define OSTREL_TARGET_AVX2 __attribute__((target("avx2")))
#endif

namespace jpegdct {

// Transforms block[row][column] in place: columns first, then rows. The result
// in row v, column u is the DCT coefficient F(v, u) scaled by 8 A(u) A(v),
// A(0) = 1, A(k) = sqrt(2) cos(k pi / 16).
void forwardDctScalar(float (&block)[8][8]);
// The same values with the instructions of `path` (one the build and
// processor have).
void forwardDct(float (&block)[8][8], jpeg::CodePath path);
// The same values transposed: F(v, u) in row u, column v. The vector versions
// finish with the coefficients in this order, so the encoder's quantiser
// reads them so and the transpose back is saved.
void forwardDctTransposed(float (&block)[8][8], jpeg::CodePath path);

#if defined(OSTREL_JPEG_AVX2)
bool hasAvx2();
#endif

} // namespace jpegdct
