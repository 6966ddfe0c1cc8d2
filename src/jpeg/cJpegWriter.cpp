// The file writer: optimal tables first, then the whole JFIF file assembled in
// memory (headers, Huffman-coded scans with byte stuffing) and handed to disk
// in one piece, never replacing an existing file.
#include "cJpeg.h"
#include "cJpegBlocks.h"

#include "platform/Latin1.h"
#include "platform/NewFile.h"
#include "platform/NumberedError.h"

#include "Version.h"

#include <array>
#include <bit>
#include <cmath>
#include <cstring>
#include <new>

namespace {

// The most one block can take: a 16-bit DC code with 11 extra bits, 63
// coefficients each with a 16-bit code and 10 extra bits, three ZRL codes and
// an EOB code, every byte possibly stuffed, and the padding of a flush.
constexpr std::int64_t kMaxBlockBytes = 2 * ((27 + 63 * 26 + 3 * 16 + 16 + 7) / 8) + 2;

const char* const kCredit = "JPEG Encoder Class\r\n"
                            "Ostrel " OSTREL_VERSION " baseline JPEG encoder with optimal Huffman tables\r\n"
                            "Part of Ostrel, the desktop viewer for Brimcast webcam servers";

enum Marker : std::uint8_t {
    SOI = 0xD8,
    EOI = 0xD9,
    SOF0 = 0xC0,
    DHT = 0xC4,
    SOS = 0xDA,
    DQT = 0xDB,
    APP0 = 0xE0,
    COM = 0xFE,
};

using jpegblocks::category;

// Releases the output buffer however SaveFile ends.
struct BufferRelease {
    jpeg::OutputBuffer& buffer;
    ~BufferRelease() { jpeg::OutputBuffer().swap(buffer); }
};

} // namespace

void cJpeg::ReserveOutput(std::int64_t bytes)
{
    const auto needed = static_cast<std::size_t>(OutPos + bytes);
    if (needed <= OutBuffer.size())
        return;
    try {
        OutBuffer.resize(std::max(needed, OutBuffer.size() + OutBuffer.size() / 2));
    } catch (const std::bad_alloc&) {
        throw platform::NumberedError::outOfMemory();
    }
}

void cJpeg::PutByte(std::uint8_t value)
{
    ReserveOutput(1);
    OutBuffer[static_cast<std::size_t>(OutPos++)] = value;
}

void cJpeg::PutWord(std::int64_t value)
{
    if (value < 0 || value > 65535)
        throw platform::NumberedError::overflow();
    PutByte(static_cast<std::uint8_t>(value / 256));
    PutByte(static_cast<std::uint8_t>(value % 256));
}

void cJpeg::ResetBitWriter()
{
    BitAccumulator = 0;
    BitMask = 128;
}

void cJpeg::WriteBits(std::int32_t lead, std::int32_t value)
{
    // Appends the bits of value worth lead down to 1, filling the partial byte
    // from its next free bit; a completed FF byte is followed by a stuffed 00.
    // Callers reserve the room (at most two bytes per byte completed).
    if (lead <= 0)
        return;
    std::int32_t count = static_cast<std::int32_t>(std::bit_width(static_cast<std::uint32_t>(lead)));
    const auto bits = static_cast<std::uint32_t>(value);
    std::int32_t free = static_cast<std::int32_t>(std::bit_width(static_cast<std::uint32_t>(BitMask)));
    while (count > 0) {
        const std::int32_t take = std::min(count, free);
        const std::uint32_t chunk = (bits >> (count - take)) & ((1u << take) - 1);
        BitAccumulator |= static_cast<std::int32_t>(chunk << (free - take));
        count -= take;
        free -= take;
        if (free == 0) {
            std::uint8_t* out = OutBuffer.data() + OutPos;
            out[0] = static_cast<std::uint8_t>(BitAccumulator);
            if (BitAccumulator == 0xFF) {
                out[1] = 0;
                OutPos += 2;
            } else {
                OutPos += 1;
            }
            BitAccumulator = 0;
            free = 8;
        }
    }
    BitMask = 1 << (free - 1);
}

void cJpeg::FlushBits()
{
    ReserveOutput(2);
    if (BitMask != 128)
        WriteBits(BitMask, -1);
}

// A Huffman table's codes as the scan writer uses them: each symbol's code
// right-aligned and its length in bits (0 = no code).
struct cJpeg::PackedCodes {
    explicit PackedCodes(const HuffmanTable& table)
    {
        for (std::size_t s = 0; s < 256; ++s) {
            length[s] = static_cast<std::uint8_t>(std::bit_width(static_cast<std::uint32_t>(table.EHUFSI[s])));
            code[s] = static_cast<std::uint32_t>(table.EHUFCO[s]) & ((std::uint32_t{1} << length[s]) - 1);
        }
    }
    std::array<std::uint32_t, 256> code{};
    std::array<std::uint8_t, 256> length{};
};

// Writes whole codes into a 64-bit accumulator and moves them to the output
// four bytes at a time, stuffing a 00 after every FF byte. It starts from the
// bit writer's partial byte and leaves the new partial byte there, so its
// output is exactly that of WriteBits. One sink serves a whole scan; room is
// asked for block by block (reserve).
struct cJpeg::BitSink {
    explicit BitSink(cJpeg& encoder)
        : encoder_(encoder), count_(7 - std::countr_zero(static_cast<std::uint32_t>(encoder.BitMask))),
          bits_(static_cast<std::uint64_t>(encoder.BitAccumulator) >> (8 - count_))
    {
        bind();
    }
    ~BitSink()
    {
        while (count_ >= 8) {
            count_ -= 8;
            byte(static_cast<std::uint8_t>(bits_ >> count_));
        }
        encoder_.OutPos = out_ - start_;
        encoder_.BitAccumulator = static_cast<std::int32_t>((bits_ << (8 - count_)) & 0xFF);
        encoder_.BitMask = 1 << (7 - count_);
    }
    BitSink(const BitSink&) = delete;
    BitSink& operator=(const BitSink&) = delete;

    // Makes room for `bytes` more output bytes.
    void reserve(std::int64_t bytes)
    {
        if (end_ - out_ >= bytes)
            return;
        encoder_.OutPos = out_ - start_;
        encoder_.ReserveOutput(bytes);
        bind();
    }

    // Appends the low `count` bits of `value` (count at most 27).
    void put(std::uint32_t value, std::int32_t count)
    {
        bits_ = (bits_ << count) | (value & ((std::uint32_t{1} << count) - 1));
        count_ += count;
        if (count_ >= 32) {
            count_ -= 32;
            word(static_cast<std::uint32_t>(bits_ >> count_));
        }
    }
    // A symbol's code followed by `size` extra bits of `extra`.
    void put(const PackedCodes& codes, std::size_t symbol, std::int32_t extra, std::int32_t size)
    {
        put((codes.code[symbol] << size) | (static_cast<std::uint32_t>(extra) & ((std::uint32_t{1} << size) - 1)),
            codes.length[symbol] + size);
    }

private:
    void bind()
    {
        start_ = encoder_.OutBuffer.data();
        out_ = start_ + encoder_.OutPos;
        end_ = start_ + encoder_.OutBuffer.size();
    }
    void byte(std::uint8_t value)
    {
        *out_++ = value;
        if (value == 0xFF)
            *out_++ = 0;
    }
    void word(std::uint32_t value)
    {
        // No FF byte among the four (no zero byte in the complement): one store.
        const std::uint32_t inverse = ~value;
        if (((inverse - 0x01010101u) & ~inverse & 0x80808080u) == 0) {
            const std::uint32_t bigEndian = __builtin_bswap32(value);
            std::memcpy(out_, &bigEndian, 4);
            out_ += 4;
            return;
        }
        for (int shift = 24; shift >= 0; shift -= 8)
            byte(static_cast<std::uint8_t>(value >> shift));
    }

    cJpeg& encoder_;
    std::uint8_t* start_ = nullptr;
    std::uint8_t* out_ = nullptr;
    std::uint8_t* end_ = nullptr;
    std::int32_t count_; // bits pending in bits_ (the low ones)
    std::uint64_t bits_;
};

void cJpeg::EncodeBlock(const std::int16_t* coefficients, std::int32_t& predictor, const HuffmanTable& dc,
                        const HuffmanTable& ac)
{
    // The 64 plain values packed as a store of one block keeps them.
    jpeg::PackedCoefficients one;
    one.reset(1, 1);
    one.put(0, coefficients, jpegblocks::nonZeroMaskScalar(coefficients) & ~std::uint64_t{1});
    BitSink sink(*this);
    EncodeBlock(sink, one.block(0), one.acValues(one.block(0)), predictor, PackedCodes(dc), PackedCodes(ac));
}

void cJpeg::EncodeBlock(BitSink& sink, const jpeg::PackedBlock& block, const std::int16_t* acValues,
                        std::int32_t& predictor, const PackedCodes& dc, const PackedCodes& ac)
{
    std::int32_t diff = block.dc - predictor;
    predictor = block.dc;
    const std::int32_t size = category(diff);
    if (diff < 0)
        diff -= 1; // its low bits are then the one's complement JPEG wants
    sink.put(dc, static_cast<std::size_t>(size), diff, size);

    jpegblocks::forEachAcSymbol(block.nonZero, acValues, [&](std::int32_t symbol, std::int32_t value) {
        if (value < 0)
            value -= 1;
        sink.put(ac, static_cast<std::size_t>(symbol), value, symbol & 15);
    });
}

void cJpeg::EncodeFillerBlock(BitSink& sink, const PackedCodes& dc, const PackedCodes& ac)
{
    // DC equal to the predictor (category 0) and no AC values: the predictor stays.
    sink.put(dc, 0, 0, 0);
    sink.put(ac, 0x00, 0, 0);
}

void cJpeg::WriteMarker(std::uint8_t code)
{
    PutByte(0xFF);
    PutByte(code);
}

void cJpeg::WriteAPP0()
{
    static constexpr std::uint8_t kJfif[] = {
        0xFF, APP0,              // APP0 marker
        0x00, 0x10,              // segment length: 16 bytes, these two included
        'J',  'F', 'I', 'F', 0x00, // identifier "JFIF", zero-terminated
        0x01, 0x01,              // JFIF version 1.01
        0x00,                    // density units: none (the two values give the pixel aspect)
        0x00, 0x01,              // horizontal density 1
        0x00, 0x01,              // vertical density 1: square pixels
        0x00, 0x00,              // no thumbnail (width 0, height 0)
    };
    for (std::uint8_t byte : kJfif)
        PutByte(byte);
}

void cJpeg::WriteCOM(const QString& text)
{
    const QByteArray bytes = platform::latin1Bytes(text);
    if (bytes.isEmpty())
        return;
    WriteMarker(COM);
    PutWord(bytes.size() + 2); // length: the text and these two bytes
    for (char c : bytes)
        PutByte(static_cast<std::uint8_t>(c));
}

void cJpeg::WriteDQT(std::int32_t t)
{
    const QuantTable& table = QTables[static_cast<std::size_t>(t)];
    for (std::int16_t q : table.Qk)
        if (q > 255)
            throw platform::NumberedError(1, "Illegal precission in Quantization Table");
    WriteMarker(DQT);
    PutWord(2 + 1 + 64);                   // length: itself, Pq/Tq, 64 values
    PutByte(static_cast<std::uint8_t>(t)); // Pq = 0 (8-bit values) in the high nibble, Tq = table number
    for (std::int16_t q : table.Qk)        // the values in zig-zag order
        PutByte(static_cast<std::uint8_t>(q));
}

void cJpeg::WriteSOF(std::uint8_t code)
{
    WriteMarker(code);                                  // SOF0: baseline sequential
    PutWord(8 + 3 * ComponentCount);                    // length
    PutByte(static_cast<std::uint8_t>(Precision));      // P: bits per sample (8)
    PutWord(ImageHeight);                               // Y: lines
    PutWord(ImageWidth);                                // X: samples per line
    PutByte(static_cast<std::uint8_t>(ComponentCount)); // Nf: components, then 3 bytes each:
    for (const Component& c : Components) {
        PutByte(static_cast<std::uint8_t>(c.Ci));           // Ci: identifier
        PutByte(static_cast<std::uint8_t>(c.H * 16 + c.V)); // Hi (high nibble), Vi: sampling factors
        PutByte(static_cast<std::uint8_t>(c.Tq));           // Tqi: quantisation table
    }
}

void cJpeg::WriteDHT(std::int32_t tableClass, std::int32_t t)
{
    const HuffmanTable& table = tableClass == 0 ? DCTables[static_cast<std::size_t>(t)]
                                                : ACTables[static_cast<std::size_t>(t)];
    std::int32_t n = 0;
    for (std::uint8_t count : table.BITS)
        n += count;
    WriteMarker(DHT);
    PutWord(2 + 1 + 16 + n);                                 // length: itself, Tc/Th, BITS, HUFFVAL
    PutByte(static_cast<std::uint8_t>(tableClass * 16 + t)); // Tc (0 = DC, 1 = AC) high nibble, Th = table number
    for (std::uint8_t count : table.BITS)                    // BITS: how many codes of each length 1..16
        PutByte(count);
    for (std::int32_t i = 0; i < n; ++i)                     // HUFFVAL: the symbols, shortest codes first
        PutByte(table.HUFFVAL[static_cast<std::size_t>(i)]);
}

void cJpeg::WriteSOS(const ScanLists& lists, ScanGroup group)
{
    const std::int32_t count = group.last - group.first + 1;
    WriteMarker(SOS);
    PutWord(6 + 2 * count);                    // length
    PutByte(static_cast<std::uint8_t>(count)); // Ns: components in the scan, then 2 bytes each:
    for (std::int32_t p = group.first; p <= group.last; ++p) {
        const auto i = static_cast<std::size_t>(p);
        PutByte(static_cast<std::uint8_t>(Components[static_cast<std::size_t>(lists.component[i])].Ci)); // Csj
        PutByte(static_cast<std::uint8_t>(lists.dcTable[i] * 16 + lists.acTable[i])); // Tdj (DC) high, Taj (AC)
    }
    PutByte(0x00); // Ss: first coefficient 0
    PutByte(0x3F); // Se: last coefficient 63 (sequential: the whole block)
    PutByte(0x00); // Ah, Al: no successive approximation
}

void cJpeg::WriteSingleScan(const ScanLists& lists, std::int32_t p)
{
    const auto i = static_cast<std::size_t>(p);
    WriteSOS(lists, {p, p});
    const Component& component = Components[static_cast<std::size_t>(lists.component[i])];
    const PackedCodes dc(DCTables[static_cast<std::size_t>(lists.dcTable[i])]);
    const PackedCodes ac(ACTables[static_cast<std::size_t>(lists.acTable[i])]);
    ResetBitWriter();
    {
        BitSink sink(*this);
        std::int32_t predictor = 0;
        const jpeg::PackedCoefficients& data = component.Data;
        for (std::int64_t i = 0; i < data.blockCount(); ++i) {
            sink.reserve(kMaxBlockBytes);
            const jpeg::PackedBlock& block = data.block(i);
            EncodeBlock(sink, block, data.acValues(block), predictor, dc, ac);
        }
    }
    FlushBits();
}

void cJpeg::WriteInterleavedScan(const ScanLists& lists, std::int32_t first, std::int32_t last)
{
    WriteSOS(lists, {first, last});
    const std::int32_t count = last - first + 1;
    struct Member {
        const jpeg::PackedCoefficients* data;
        PackedCodes dc;
        PackedCodes ac;
        std::int32_t predictor = 0;
    };
    std::vector<Member> members;
    members.reserve(static_cast<std::size_t>(count));
    for (std::int32_t m = 0; m < count; ++m) {
        const auto i = static_cast<std::size_t>(first + m);
        members.push_back({&Components[static_cast<std::size_t>(lists.component[i])].Data,
                           PackedCodes(DCTables[static_cast<std::size_t>(lists.dcTable[i])]),
                           PackedCodes(ACTables[static_cast<std::size_t>(lists.acTable[i])])});
    }
    ResetBitWriter();
    {
        BitSink sink(*this);
        const auto grids = BlockGrids(lists.component.data() + first, count);
        jpeg::walkInterleaved(grids, count, McuColumns(), McuRows(), [&](std::int32_t m, std::int64_t offset) {
            Member& member = members[static_cast<std::size_t>(m)];
            sink.reserve(kMaxBlockBytes);
            if (offset < 0)
                EncodeFillerBlock(sink, member.dc, member.ac);
            else {
                const jpeg::PackedBlock& block = member.data->block(offset / 64);
                EncodeBlock(sink, block, member.data->acValues(block), member.predictor, member.dc, member.ac);
            }
        });
    }
    FlushBits();
}

void cJpeg::WriteScans(const ScanLists& lists, std::int32_t first, std::int32_t last)
{
    for (const ScanGroup& group : FormScanGroups(lists, first, last)) {
        if (group.interleaved())
            WriteInterleavedScan(lists, group.first, group.last);
        else
            WriteSingleScan(lists, group.first);
    }
}

void cJpeg::WriteFile()
{
    const ScanLists lists = ScanLists::defaults(ComponentCount);
    const std::int32_t estimate = OptimizeTables(lists, 0, ComponentCount - 1);

    const double size = std::nearbyint(estimate * 1.3 + 1000.0 + static_cast<double>(StoredComment.toUcs4().size()));
    OutBuffer.clear();
    OutPos = 0;
    ReserveOutput(static_cast<std::int64_t>(size) + 1);

    WriteMarker(SOI);
    WriteAPP0();
    WriteCOM(StoredComment);
    WriteCOM(QString::fromLatin1(kCredit));
    WriteDQT(0);
    if (ComponentCount > 1)
        WriteDQT(1);
    WriteSOF(SOF0);
    WriteDHT(0, 0);
    WriteDHT(1, 0);
    if (ComponentCount > 1) {
        WriteDHT(0, 1);
        WriteDHT(1, 1);
    }
    WriteScans(lists, 0, ComponentCount - 1);
    WriteMarker(EOI);
}

std::int32_t cJpeg::SaveFile(const QString& FileName)
{
    if (FileName.isEmpty())
        return 1;
    if (platform::fileExists(FileName))
        return 2;
    BufferRelease release{OutBuffer};
    WriteFile();
    const auto result = platform::writeNewFile(FileName, OutBuffer.data(), static_cast<std::size_t>(OutPos));
    return result == platform::NewFileResult::Written ? 0 : 2;
}

QByteArray cJpeg::Encode()
{
    BufferRelease release{OutBuffer};
    WriteFile();
    return QByteArray(reinterpret_cast<const char*>(OutBuffer.data()), static_cast<qsizetype>(OutPos));
}
