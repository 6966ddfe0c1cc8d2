// Small helpers on one block of quantised coefficients, shared by the
// sampling, the symbol statistics and the scan writer.
#pragma once

#include <bit>
#include <cstdint>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace jpegblocks {

// Bit k set when coefficient k (zig-zag order) is non-zero.
inline std::uint64_t nonZeroMaskScalar(const std::int16_t* block)
{
    std::uint64_t mask = 0;
    for (int k = 0; k < 64; ++k)
        mask |= static_cast<std::uint64_t>(block[k] != 0) << k;
    return mask;
}

#if defined(__SSE2__)
inline std::uint64_t nonZeroMaskSse2(const std::int16_t* block)
{
    const __m128i zero = _mm_setzero_si128();
    std::uint64_t zeros = 0;
    for (int i = 0; i < 4; ++i) {
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(block + 16 * i));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(block + 16 * i + 8));
        const __m128i eq = _mm_packs_epi16(_mm_cmpeq_epi16(a, zero), _mm_cmpeq_epi16(b, zero));
        zeros |= static_cast<std::uint64_t>(static_cast<std::uint32_t>(_mm_movemask_epi8(eq))) << (16 * i);
    }
    return ~zeros;
}
#endif

inline std::uint64_t nonZeroMask(const std::int16_t* block, bool vector)
{
#if defined(__SSE2__)
    if (vector)
        return nonZeroMaskSse2(block);
#endif
    (void)vector;
    return nonZeroMaskScalar(block);
}

// Magnitude category: the number of significant bits of |v|.
inline std::int32_t category(std::int32_t v)
{
    return static_cast<std::int32_t>(std::bit_width(static_cast<std::uint32_t>(v < 0 ? -v : v)));
}

// The AC symbols of a block in coding order, from which of its AC positions
// are non-zero (bit k for position k) and those values in order:
// symbol(s, v) for each one, with s = run * 16 + category of the non-zero
// value v after `run` zeros, ZRL (0xF0, v = 0) for every sixteen zeros
// before it, and EOB (0x00, v = 0) when only zeros remain. Only the non-zero
// values are visited.
template <class Symbol>
inline void forEachAcSymbol(std::uint64_t nonZero, const std::int16_t* values, Symbol&& symbol)
{
    std::int32_t last = 0;
    while (nonZero != 0) {
        const auto k = static_cast<std::int32_t>(std::countr_zero(nonZero));
        nonZero &= nonZero - 1;
        std::int32_t run = k - last - 1;
        last = k;
        for (; run > 15; run -= 16)
            symbol(0xF0, 0);
        const std::int32_t value = *values++;
        symbol(run * 16 + category(value), value);
    }
    if (last < 63)
        symbol(0x00, 0);
}

// Adds one to the count of each AC symbol of the block.
template <class Counts>
inline void countAcSymbols(std::uint64_t nonZero, const std::int16_t* values, Counts& counts)
{
    forEachAcSymbol(nonZero, values, [&counts](std::int32_t symbol, std::int32_t) { ++counts[static_cast<std::size_t>(symbol)]; });
}

} // namespace jpegblocks
