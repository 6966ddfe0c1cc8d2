#!/usr/bin/env python3
"""Writes the fuzz targets' seed inputs: small valid files of every kind the
targets read, from which the fuzzer makes its damaged ones.
    make-seeds.py OSTREL_JPEG OUTPUT_FOLDER
OSTREL_JPEG is the built ostrel-jpeg tool, which makes the JPEG seeds."""
import os
import struct
import subprocess
import sys
import tempfile
import zlib

ostrel_jpeg, out = sys.argv[1], sys.argv[2]


def put(target, name, data):
    folder = os.path.join(out, target)
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, name), "wb") as f:
        f.write(data)


W, H = 5, 3
PALETTE = [(0, 0, 0), (255, 255, 255), (255, 0, 0), (0, 128, 255)]


def index(x, y, colours):
    return (x + 2 * y) % colours


def rgb(x, y):
    return (40 * x, 80 * y, 255 - 40 * x)


# --- bitmaps -------------------------------------------------------------

def bmp(bits, width=W, height=H, top_down=False, compression=0, pixels=None, masks=None,
        header=40, colours=None):
    table = b""
    if bits <= 8:
        n = colours or (1 << bits)
        table = b"".join(bytes((b, g, r, 0)) for r, g, b in (PALETTE * 64)[:n])
    if pixels is None:
        stride = (width * bits + 31) // 32 * 4
        rows = []
        for y in range(height):
            row = bytearray()
            if bits in (1, 4, 8):
                acc, n = 0, 0
                for x in range(width):
                    acc = acc << bits | index(x, y, 1 << min(bits, 2))
                    n += bits
                    if n == 8:
                        row.append(acc)
                        acc, n = 0, 0
                if n:
                    row.append(acc << (8 - n))
            elif bits == 16:
                for x in range(width):
                    r, g, b = rgb(x, y)
                    row += struct.pack("<H", (r >> 3) << 11 | (g >> 2) << 5 | b >> 3 if masks else
                                       (r >> 3) << 10 | (g >> 3) << 5 | b >> 3)
            else:
                for x in range(width):
                    r, g, b = rgb(x, y)
                    row += bytes((b, g, r)) + (b"\0" if bits == 32 else b"")
            row += b"\0" * (stride - len(row))
            rows.append(bytes(row))
        if not top_down:
            rows.reverse()
        pixels = b"".join(rows)
    mask_bytes = b"".join(struct.pack("<I", m) for m in masks) if masks else b""
    if header == 12:
        info = struct.pack("<IHHHH", 12, width, height, 1, bits)
        table = b"".join(bytes((b, g, r)) for r, g, b in (PALETTE * 64)[:1 << bits]) if bits <= 8 else b""
    else:
        info = struct.pack("<IiiHHIIiiII", header, width, -height if top_down else height, 1, bits,
                           compression, len(pixels), 2835, 2835, colours or 0, 0)
        if header > 40:
            info += mask_bytes + b"\0" * (header - 40 - len(mask_bytes))
            mask_bytes = b""
    offset = 14 + len(info) + len(mask_bytes) + len(table)
    return b"BM" + struct.pack("<IHHI", offset + len(pixels), 0, 0, offset) + info + mask_bytes + table + pixels


def rle8():
    rows = []
    for y in range(H):
        rows.append(bytes((2, 1, 3, 2)) + bytes((0, 0)))  # runs, end of line
    return b"".join(rows) + bytes((0, 1))


def rle4():
    return bytes((5, 0x12, 0, 0, 0, 3, 0x12, 0x30, 0, 0, 3, 0x21, 2, 0x33, 0, 1))


bitmaps = {
    "1bit.bmp": bmp(1), "4bit.bmp": bmp(4), "8bit.bmp": bmp(8), "8bit-4colours.bmp": bmp(8, colours=4),
    "16bit-555.bmp": bmp(16), "16bit-565.bmp": bmp(16, compression=3, masks=(0xF800, 0x07E0, 0x001F)),
    "24bit.bmp": bmp(24), "24bit-topdown.bmp": bmp(24, top_down=True), "32bit.bmp": bmp(32),
    "32bit-bitfields-v5.bmp": bmp(32, compression=3, masks=(0xFF0000, 0xFF00, 0xFF, 0xFF000000), header=124),
    "rle8.bmp": bmp(8, compression=1, pixels=rle8()), "rle4.bmp": bmp(4, compression=2, pixels=rle4()),
    "os2-core.bmp": bmp(8, header=12), "1x1.bmp": bmp(24, 1, 1),
}
for name, data in bitmaps.items():
    put("fuzz_picture_bmp", name, data)
for name in ("24bit.bmp", "24bit-topdown.bmp", "1x1.bmp"):
    put("fuzz_bitmap_reader", name, bitmaps[name])
put("fuzz_bitmap_reader", "7x2.bmp", bmp(24, 7, 2))

# --- GIF -----------------------------------------------------------------

def lzw(indices, min_size):
    clear, end = 1 << min_size, (1 << min_size) + 1
    table = {bytes((i,)): i for i in range(clear)}
    size, next_code = min_size + 1, end + 1
    out, acc, n = bytearray(), 0, 0

    def emit(code):
        nonlocal acc, n
        acc |= code << n
        n += size
        while n >= 8:
            out.append(acc & 255)
            acc >>= 8
            n -= 8

    emit(clear)
    run = b""
    for i in indices:
        grown = run + bytes((i,))
        if grown in table:
            run = grown
            continue
        emit(table[run])
        if next_code < 4096:
            table[grown] = next_code
            next_code += 1
            if next_code > (1 << size) and size < 12:
                size += 1
        run = bytes((i,))
    if run:
        emit(table[run])
    emit(end)
    if n:
        out.append(acc & 255)
    blocks = b"".join(bytes((len(out[i:i + 255]),)) + bytes(out[i:i + 255]) for i in range(0, len(out), 255))
    return bytes((min_size,)) + blocks + b"\0"


def gif(frames=1, transparent=None, interlaced=False):
    data = b"GIF89a" + struct.pack("<HHBBB", W, H, 0xF1, 0, 0)
    data += b"".join(bytes(c) for c in PALETTE)
    if frames > 1:
        data += b"\x21\xFF\x0BNETSCAPE2.0\x03\x01\x00\x00\x00"
    for f in range(frames):
        if transparent is not None or frames > 1:
            flags = 1 if transparent is not None else 0
            data += b"\x21\xF9\x04" + bytes((flags | 8,)) + struct.pack("<H", 10) + bytes((transparent or 0, 0))
        data += b"," + struct.pack("<HHHHB", 0, 0, W, H, 0x40 if interlaced else 0)
        data += lzw([index(x + f, y, 4) for y in range(H) for x in range(W)], 2)
    return data + b";"


put("fuzz_picture_gif", "plain.gif", gif())
put("fuzz_picture_gif", "transparent.gif", gif(transparent=1))
put("fuzz_picture_gif", "interlaced.gif", gif(interlaced=True))
put("fuzz_picture_gif", "animated.gif", gif(frames=2))

# --- PNG -----------------------------------------------------------------

def chunk(kind, body):
    return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body))


def png(colour_type, depth, extra=b""):
    channels = {0: 1, 2: 3, 3: 1, 4: 2, 6: 4}[colour_type]
    rows = b""
    for y in range(H):
        if depth < 8:
            bits = "".join(format(index(x, y, 1 << depth), "0%db" % depth) for x in range(W))
            bits += "0" * (-len(bits) % 8)
            row = bytes(int(bits[i:i + 8], 2) for i in range(0, len(bits), 8))
        else:
            values = []
            for x in range(W):
                r, g, b = rgb(x, y)
                values += {0: [g], 2: [r, g, b], 3: [index(x, y, 4)], 4: [g, 40 * y], 6: [r, g, b, 60 * x]}[colour_type]
            row = b"".join(struct.pack(">H", v * 257) if depth == 16 else bytes((v,)) for v in values)
        rows += b"\0" + row
    data = b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", W, H, depth, colour_type, 0, 0, 0))
    if colour_type == 3:
        data += chunk(b"PLTE", b"".join(bytes(c) for c in PALETTE))
    data += extra + chunk(b"IDAT", zlib.compress(rows)) + chunk(b"IEND", b"")
    return data


put("fuzz_picture_png", "grey1.png", png(0, 1))
put("fuzz_picture_png", "grey8.png", png(0, 8))
put("fuzz_picture_png", "grey16.png", png(0, 16))
put("fuzz_picture_png", "rgb8.png", png(2, 8))
put("fuzz_picture_png", "rgb16.png", png(2, 16))
put("fuzz_picture_png", "palette2.png", png(3, 2))
put("fuzz_picture_png", "palette8-trns.png", png(3, 8, chunk(b"tRNS", b"\xff\x00")))
put("fuzz_picture_png", "grey-alpha.png", png(4, 8))
put("fuzz_picture_png", "rgba.png", png(6, 8))

# --- JPEG (written by ostrel-jpeg) ---------------------------------------

with tempfile.TemporaryDirectory() as work:
    source = os.path.join(work, "in.png")
    with open(source, "wb") as f:
        f.write(png(2, 8))
    jpegs = {}
    for name, sampling in (("420", "2,2,1,1,1,1"), ("444", "1,1,1,1,1,1"), ("grey", "1,1,0,0,0,0"),
                           ("4x1", "4,1,2,1,1,1")):
        target = os.path.join(work, name + ".jpg")
        subprocess.run([ostrel_jpeg, "--quality", "80", "--sampling", sampling, "--comment", "seed",
                        source, target], check=True, stdout=subprocess.DEVNULL)
        with open(target, "rb") as f:
            jpegs[name] = f.read()
for name, data in jpegs.items():
    put("fuzz_picture_jpeg", name + ".jpg", data)
# The same picture turned by an Exif orientation tag (6: turn right).
exif = b"Exif\0\0" + b"II*\0" + struct.pack("<I", 8) + struct.pack("<H", 1) + \
    struct.pack("<HHII", 0x0112, 3, 1, 6) + struct.pack("<I", 0)
put("fuzz_picture_jpeg", "orientation6.jpg",
    jpegs["420"][:2] + b"\xFF\xE1" + struct.pack(">H", len(exif) + 2) + exif + jpegs["420"][2:])

# --- ICO -----------------------------------------------------------------

def ico(images):
    data = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    body = b""
    for width, height, bits, image in images:
        data += struct.pack("<BBBBHHII", width, height, 0, 0, 1, bits, len(image), offset + len(body))
        body += image
    return data + body


def dib_for_icon(bits):
    whole = bmp(bits, W, H)
    info = bytearray(whole[14:])
    struct.pack_into("<i", info, 8, 2 * H)  # colour rows plus the AND mask
    mask = b"\0\0\0\0" * H
    return bytes(info) + mask


put("fuzz_picture_ico", "bmp24.ico", ico([(W, H, 24, dib_for_icon(24))]))
put("fuzz_picture_ico", "bmp8.ico", ico([(W, H, 8, dib_for_icon(8))]))
put("fuzz_picture_ico", "png.ico", ico([(W, H, 32, png(6, 8))]))
put("fuzz_picture_ico", "two.ico", ico([(W, H, 4, dib_for_icon(4)), (W, H, 32, png(6, 8))]))

# Binary colour PPM files, which the loader reads itself: plain, with
# comments, one with another largest value (left to Qt), and a short one.
ppm_pixels = bytes(v for y in range(H) for x in range(W) for v in rgb(x, y))
put("fuzz_picture_ppm", "plain.ppm", b"P6\n%d %d\n255\n" % (W, H) + ppm_pixels)
put("fuzz_picture_ppm", "comments.ppm", b"P6 # c\n%d\t%d\r\n#x\n255 " % (W, H) + ppm_pixels)
put("fuzz_picture_ppm", "max100.ppm", b"P6\n%d %d\n100\n" % (W, H) + bytes(v * 100 // 255 for v in ppm_pixels))
put("fuzz_picture_ppm", "short.ppm", b"P6\n%d %d\n255\n" % (W, H) + ppm_pixels[:-7])

# --- settings, command lines, requests, encoder inputs -------------------

header = ("# Settings, kept by the program. Sections in [brackets], then key=value lines;\n"
          "# \\\\ \\n \\r \\= \\[ \\] \\# stand for themselves inside names and values.\n")
settings = {
    "written.conf": header + "\n[Settings]\nLeft=1200\nTop=900\nSize=2\n\n[Profile Home]\nHost=cam1\nPort=8081\n",
    "escapes.conf": header + "\n[A \\[b\\] \\= c]\nk\\=ey=va\\nl\\\\ue\\r\n\\#x=\\=\n",
    "crlf.conf": "[Settings]\r\nLeft=1\r\n\r\n[Profile x]\r\nHost=h\r\nPort=80\r\n",
    "bom.conf": "\ufeff[Settings]\nSize=5\n",
    "empty-values.conf": "[S]\n=\nk=\n",
}
for name, text in settings.items():
    put("fuzz_settings_parser", name, text.encode("utf-8"))
put("fuzz_settings_parser", "latin1.conf", "[Profile Caf\xe9]\nHost=\xe9t\xe9\n".encode("latin-1"))

for name, line in {
    "all.txt": "-name Home -host cam1.example.org -port 8081 -ontop -hide",
    "mixed-case.txt": "-NAME x -Host y -PoRt 80",
    "one-after.txt": "-host=cam -port:81",
    "flags.txt": "-ontop -hide",
    "unicode.txt": "-name Gr\u00fc\u00dfe -host \u0131stanbul -port 1",
}.items():
    put("fuzz_command_line", name, line.encode("utf-8"))

for name, text in {
    "get.txt": "\0GET /stream.mjpg HTTP/1.1\r\nHost: cam\r\n\r\n",
    "pipelined.txt": "\2\5\7GET / HTTP/1.1\r\n\r\nHEAD /snapshot.jpg?t=1 HTTP/1.0\r\nConnection: keep-alive\r\n\r\n",
    "post.txt": "\1\3POST / HTTP/1.1\r\nContent-Length: 5\r\n\r\nhello",
    "lf.txt": "\0GET /index.html HTTP/1.1\nUser-Agent: x\r\n\r\n",
    "version.txt": "\0GET / HTTP/2.0\r\n\r\n",
}.items():
    put("fuzz_http_request", name, text.encode("latin-1"))

# Width, height (little-endian words), quality word, grey byte, six factor
# words, surface kind, then comment and pixel bytes.
def encoder_seed(width, height, quality, grey, factors, kind, fill):
    data = struct.pack("<HHHB", width - 1, height - 1, quality + 5, 1 if not grey else 0)
    data += b"".join(struct.pack("<H", f) for f in factors) + bytes((kind,))
    return data + fill


put("fuzz_jpeg_encoder", "420.bin", encoder_seed(17, 9, 75, False, (2, 2, 1, 1, 1, 1), 0, bytes(range(64))))
put("fuzz_jpeg_encoder", "444-rgb32.bin", encoder_seed(8, 8, 100, False, (1, 1, 1, 1, 1, 1), 1, b"\xff\x00" * 20))
put("fuzz_jpeg_encoder", "grey.bin", encoder_seed(31, 33, 10, True, (1, 1, 0, 0, 0, 0), 0, bytes(range(0, 256, 3))))
put("fuzz_jpeg_encoder", "4x3-indexed.bin", encoder_seed(100, 75, 50, False, (4, 3, 2, 1, 1, 1), 2, bytes(range(200))))
put("fuzz_jpeg_encoder", "1x1.bin", encoder_seed(1, 1, 1, False, (1, 2, 1, 1, 1, 2), 0, b"\x80"))
