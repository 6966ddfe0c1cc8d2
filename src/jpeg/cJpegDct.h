// The forward DCT used by the encoder, in a vector and a scalar version that
// give identical results (the scalar one is the reference and the fallback).
#pragma once

// x86-64 compilers build an AVX2 version beside the SSE2 one; which runs is
// decided on the processor at run time.
#if defined(__x86_64__) && defined(__GNUC__)
#define OSTREL_JPEG_AVX2 1
#endif

namespace jpegdct {

// Transforms block[row][column] in place: columns first, then rows. The result
// in row v, column u is the DCT coefficient F(v, u) scaled by 8 A(u) A(v),
// A(0) = 1, A(k) = sqrt(2) cos(k pi / 16).
void forwardDct(float (&block)[8][8]);
void forwardDctScalar(float (&block)[8][8]);
#if defined(__SSE2__)
void forwardDctVector(float (&block)[8][8]);
#endif
#if defined(OSTREL_JPEG_AVX2)
// Eight lanes at once; only on processors with AVX2 (see hasAvx2).
void forwardDctAvx2(float (&block)[8][8]);
bool hasAvx2();
#endif

} // namespace jpegdct
