// The forward DCT used by the encoder, in a vector and a scalar version that
// give identical results (the scalar one is the reference and the fallback).
#pragma once

namespace jpegdct {

// Transforms block[row][column] in place: columns first, then rows. The result
// in row v, column u is the DCT coefficient F(v, u) scaled by 8 A(u) A(v),
// A(0) = 1, A(k) = sqrt(2) cos(k pi / 16).
void forwardDct(float (&block)[8][8]);
void forwardDctScalar(float (&block)[8][8]);
#if defined(__SSE2__)
void forwardDctVector(float (&block)[8][8]);
#endif

} // namespace jpegdct
