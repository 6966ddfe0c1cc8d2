// Which instructions the encoder's inner loops use.
#pragma once

namespace jpeg {

// Plain C++, SSE2 vectors where the build has them, and AVX2 for the
// transform where the processor has it too. Every path writes the same bytes;
// tests encode with each in turn.
enum class CodePath { Scalar, Sse2, Avx2 };

// The fastest path this build and this processor have.
CodePath fastestCodePath();
// Whether this build and processor can take the path.
bool hasCodePath(CodePath path);

} // namespace jpeg
