// Scan planning, symbol statistics and optimal Huffman tables (ISO/IEC
// 10918-1 Annex K.2, code lengths limited to 16 bits).
#include "cJpeg.h"
#include "cJpegBlocks.h"

#include "platform/NumberedError.h"

#include <algorithm>
#include <bit>
#include <limits>

namespace {

using Counts = jpeg::SymbolCounts;

using jpeg::Frequencies;
using jpegblocks::category;

// Adds locally gathered counts to the table's 32-bit counters.
void addCounts(const Counts& counts, Frequencies& freq)
{
    for (std::size_t s = 0; s < counts.size(); ++s) {
        const std::int64_t total = freq[s] + counts[s];
        if (total > std::numeric_limits<std::int32_t>::max())
            throw platform::NumberedError::overflow();
        freq[s] = static_cast<std::int32_t>(total);
    }
}

[[noreturn]] void badHuffmanTable() { throw platform::NumberedError(1, "Bad Huffman Table"); }

} // namespace

std::vector<jpeg::ScanGroup> cJpeg::FormScanGroups(const ScanLists& lists, std::int32_t first, std::int32_t last) const
{
    std::vector<ScanGroup> groups;
    std::int32_t p = first;
    while (p <= last) {
        std::int32_t sum = 0;
        for (std::int32_t j = p;; ++j) {
            const Component& c = Components[static_cast<std::size_t>(lists.component[static_cast<std::size_t>(j)])];
            sum += c.H * c.V;
            if (sum < 11) {
                if (j == p + 2 || j == last) {
                    groups.push_back({p, j});
                    p = j + 1;
                    break;
                }
            } else {
                // Too many blocks for one unit: close the group before j
                // (or take j alone when it is the first member).
                const std::int32_t end = j == p ? p : j - 1;
                groups.push_back({p, end});
                p = end + 1;
                break;
            }
        }
    }
    return groups;
}

void cJpeg::CountDCSymbols(const jpeg::PackedCoefficients& coefficients, Frequencies& freq)
{
    Counts counts{};
    std::int32_t predictor = 0;
    for (std::int64_t i = 0; i < coefficients.blockCount(); ++i) {
        const std::int32_t dc = coefficients.block(i).dc;
        ++counts[static_cast<std::size_t>(category(dc - predictor))];
        predictor = dc;
    }
    addCounts(counts, freq);
}

void cJpeg::CountInterleavedDCSymbols(std::int32_t component, Frequencies& freq) const
{
    const jpeg::PackedCoefficients& data = Components[static_cast<std::size_t>(component)].Data;
    Counts counts{};
    std::int32_t predictor = 0;
    jpeg::walkInterleaved(BlockGrids(&component, 1), 1, McuColumns(), McuRows(), [&](std::int32_t, std::int64_t offset) {
        if (offset < 0) {
            ++counts[0]; // a filler block repeats the predictor
            return;
        }
        const std::int32_t dc = data.block(offset / 64).dc;
        ++counts[static_cast<std::size_t>(category(dc - predictor))];
        predictor = dc;
    });
    addCounts(counts, freq);
}

void cJpeg::BuildOptimalTable(HuffmanTable& table, Frequencies& frequencies)
{
    constexpr std::size_t kSymbols = 257;
    std::array<std::int64_t, kSymbols> freq{};
    std::copy(frequencies.begin(), frequencies.end(), freq.begin());
    std::array<std::int32_t, kSymbols> codesize{};
    std::array<std::int32_t, kSymbols> others;
    others.fill(-1);
    freq[256] = 1; // reserved: no real symbol may get the all-ones code

    // The symbols whose frequency is not zero, in increasing order: the
    // searches below visit only these (a dozen for a DC table, not 257).
    std::array<std::int32_t, kSymbols> live{};
    std::size_t liveCount = 0;
    for (std::size_t i = 0; i < kSymbols; ++i)
        if (freq[i] != 0)
            live[liveCount++] = static_cast<std::int32_t>(i);

    // Least non-zero frequency, the highest symbol among equals.
    const auto least = [&](std::int32_t except) {
        std::int32_t found = -1;
        std::int64_t value = std::numeric_limits<std::int64_t>::max();
        for (std::size_t n = 0; n < liveCount; ++n) {
            const std::int32_t i = live[n];
            if (freq[static_cast<std::size_t>(i)] <= value && i != except) {
                value = freq[static_cast<std::size_t>(i)];
                found = i;
            }
        }
        return found;
    };
    std::int32_t s1 = least(-1);
    for (;;) {
        std::int32_t s2 = least(s1);
        if (s2 < 0)
            break;
        freq[static_cast<std::size_t>(s1)] += freq[static_cast<std::size_t>(s2)];
        freq[static_cast<std::size_t>(s2)] = 0;
        const auto gone = std::find(live.begin(), live.begin() + static_cast<std::ptrdiff_t>(liveCount), s2);
        std::copy(gone + 1, live.begin() + static_cast<std::ptrdiff_t>(liveCount), gone);
        --liveCount;
        std::int32_t v = s1;
        ++codesize[static_cast<std::size_t>(v)];
        while (others[static_cast<std::size_t>(v)] >= 0) {
            v = others[static_cast<std::size_t>(v)];
            ++codesize[static_cast<std::size_t>(v)];
        }
        others[static_cast<std::size_t>(v)] = s2;
        v = s2;
        ++codesize[static_cast<std::size_t>(v)];
        while (others[static_cast<std::size_t>(v)] >= 0) {
            v = others[static_cast<std::size_t>(v)];
            ++codesize[static_cast<std::size_t>(v)];
        }
        s1 = least(-1);
    }
    frequencies.fill(0);

    // Number of codes of each length.
    std::array<std::int32_t, kSymbols + 1> bits{};
    std::int32_t lmax = 0;
    for (std::size_t s = 0; s < kSymbols; ++s) {
        if (codesize[s] > 0) {
            ++bits[static_cast<std::size_t>(codesize[s])];
            lmax = std::max(lmax, codesize[s]);
        }
    }
    // Limit the lengths to 16: move pairs of the longest codes up the tree.
    for (std::int32_t i = lmax; i > 16; --i) {
        while (bits[static_cast<std::size_t>(i)] > 0) {
            std::int32_t j = i - 2;
            while (bits[static_cast<std::size_t>(j)] == 0)
                --j;
            bits[static_cast<std::size_t>(i)] -= 2;
            bits[static_cast<std::size_t>(i - 1)] += 1;
            bits[static_cast<std::size_t>(j + 1)] += 2;
            bits[static_cast<std::size_t>(j)] -= 1;
        }
    }
    // Drop the reserved symbol's code, one of the longest.
    --bits[static_cast<std::size_t>(lmax > 16 ? 16 : lmax)];

    for (std::size_t length = 1; length <= 16; ++length)
        table.BITS[length - 1] = static_cast<std::uint8_t>(bits[length]);
    std::size_t k = 0;
    for (std::int32_t length = 1; length <= lmax; ++length)
        for (std::size_t s = 0; s < 256; ++s)
            if (codesize[s] == length)
                table.HUFFVAL[k++] = static_cast<std::uint8_t>(s);
}

void cJpeg::GenerateCodes(HuffmanTable& table, std::int32_t largestSymbol)
{
    table.EHUFSI.fill(0);
    table.EHUFCO.fill(-1);
    std::int32_t k = 0;
    std::int32_t code = 0;
    std::int32_t lead = 1;
    for (std::size_t length = 1; length <= 16; ++length) {
        const std::int32_t n = table.BITS[length - 1];
        if (k + n > 256)
            badHuffmanTable();
        for (std::int32_t i = 0; i < n; ++i) {
            const std::int32_t s = table.HUFFVAL[static_cast<std::size_t>(k)];
            if (s > largestSymbol || table.EHUFSI[static_cast<std::size_t>(s)] != 0)
                badHuffmanTable();
            table.EHUFSI[static_cast<std::size_t>(s)] = lead;
            table.EHUFCO[static_cast<std::size_t>(s)] = code;
            ++code;
            ++k;
        }
        lead *= 2;
        if (code >= lead)
            badHuffmanTable(); // too many codes of this length, or the all-ones code used
        code *= 2;
    }
    if (k == 0)
        badHuffmanTable();
}

void cJpeg::CheckCoefficients(const ScanLists& lists, std::int32_t first, std::int32_t last) const
{
    // Every component must hold exactly the blocks of the sampled size; a save
    // before sampling (or after the layout changed) finds none.
    for (std::int32_t p = first; p <= last; ++p) {
        const std::size_t index = static_cast<std::size_t>(lists.component[static_cast<std::size_t>(p)]);
        if (index >= Components.size())
            throw platform::NumberedError::subscriptOutOfRange();
        const Component& c = Components[index];
        const std::int64_t expected = std::int64_t{BlockColumns(c)} * BlockRows(c);
        if (c.Data.empty() || c.Data.blockCount() != expected)
            throw platform::NumberedError::subscriptOutOfRange();
    }
}

std::int32_t cJpeg::OptimizeTables(const ScanLists& lists, std::int32_t first, std::int32_t last)
{
    CheckCoefficients(lists, first, last);
    std::array<bool, 4> dcUsed{};
    std::array<bool, 4> acUsed{};
    std::vector<bool> interleaved(static_cast<std::size_t>(last + 1), false);
    for (const ScanGroup& group : FormScanGroups(lists, first, last)) {
        for (std::int32_t p = group.first; p <= group.last; ++p) {
            dcUsed[static_cast<std::size_t>(lists.dcTable[static_cast<std::size_t>(p)])] = true;
            acUsed[static_cast<std::size_t>(lists.acTable[static_cast<std::size_t>(p)])] = true;
            interleaved[static_cast<std::size_t>(p)] = group.interleaved();
        }
    }

    Frequencies freq{};
    std::int64_t bytes = 0;
    std::int64_t bits = 0;
    // Adds the coded size of every counted symbol: its code plus its extra bits.
    const auto estimate = [&](const Frequencies& counts, const HuffmanTable& table, bool ac) {
        for (std::size_t s = 0; s < 256; ++s) {
            if (counts[s] <= 0)
                continue;
            const auto length = static_cast<std::int64_t>(std::bit_width(static_cast<std::uint32_t>(table.EHUFSI[s])));
            const std::int64_t extra = ac ? static_cast<std::int64_t>(s % 16) : static_cast<std::int64_t>(s);
            bits += counts[s] * (length + extra);
            bytes += bits / 8;
            bits %= 8;
        }
    };

    for (std::int32_t t = 0; t < 4; ++t) {
        const auto table = static_cast<std::size_t>(t);
        if (dcUsed[table]) {
            for (std::int32_t p = first; p <= last; ++p) {
                if (lists.dcTable[static_cast<std::size_t>(p)] != t)
                    continue;
                const std::int32_t c = lists.component[static_cast<std::size_t>(p)];
                if (interleaved[static_cast<std::size_t>(p)])
                    CountInterleavedDCSymbols(c, freq);
                else
                    CountDCSymbols(Components[static_cast<std::size_t>(c)].Data, freq);
            }
            const Frequencies counts = freq;
            BuildOptimalTable(DCTables[table], freq);
            GenerateCodes(DCTables[table], 11);
            estimate(counts, DCTables[table], false);
        }
        if (acUsed[table]) {
            for (std::int32_t p = first; p <= last; ++p) {
                if (lists.acTable[static_cast<std::size_t>(p)] != t)
                    continue;
                const Component& c = Components[static_cast<std::size_t>(lists.component[static_cast<std::size_t>(p)])];
                addCounts(c.AcCounts, freq);
                if (interleaved[static_cast<std::size_t>(p)]) {
                    // Each filler block of the interleaved scan is coded as an EOB.
                    const std::int64_t visited = std::int64_t{McuColumns()} * c.H * McuRows() * c.V;
                    Counts fillers{};
                    fillers[0] = visited - std::int64_t{BlockColumns(c)} * BlockRows(c);
                    addCounts(fillers, freq);
                }
            }
            const Frequencies counts = freq;
            BuildOptimalTable(ACTables[table], freq);
            GenerateCodes(ACTables[table], 255);
            estimate(counts, ACTables[table], true);
        }
    }
    const std::int64_t result = bytes + (bits > 0 ? 1 : 0);
    if (result > std::numeric_limits<std::int32_t>::max())
        throw platform::NumberedError::overflow();
    return static_cast<std::int32_t>(result);
}
