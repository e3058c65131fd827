#!/usr/bin/env python3
"""Writes the hostile inputs under tests/data/crashers/<format>/: one file per way a file
can lie to a reader. Names starting with "partial-" are damaged but may still be shown;
every other file must be refused. The files are committed; this script documents them."""
import os
import struct
import zlib

here = os.path.dirname(os.path.abspath(__file__))


def write(fmt, name, data):
    folder = os.path.join(here, fmt)
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, name), "wb") as f:
        f.write(data)


# BMP ----------------------------------------------------------------------------------

def bmp(width, height, bpp, compression, palette, pixels, offset=None, colors=0):
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, bpp, compression, len(pixels),
                       2835, 2835, colors, 0)
    if offset is None:
        offset = 14 + len(info) + len(palette)
    size = 14 + len(info) + len(palette) + len(pixels)
    return b"BM" + struct.pack("<IHHI", size, 0, 0, offset) + info + palette + pixels


grey = b"".join(bytes((i, i, i, 0)) for i in range(256))
# Declares a picture of a million by a million pixels in a 60-byte file.
write("bmp", "huge-size.bmp", bmp(1 << 20, 1 << 20, 24, 0, b"", b"\0" * 6))
# RLE8 whose data ends mid-picture without the end-of-bitmap mark.
write("bmp", "rle8-truncated.bmp", bmp(16, 16, 8, 1, grey, bytes([16, 7, 0, 0, 16, 9, 0, 0, 5])))
# RLE8 absolute run of 200 pixels with four bytes behind it.
write("bmp", "rle8-absolute-overrun.bmp", bmp(16, 16, 8, 1, grey, bytes([0, 200, 1, 2, 3, 4])))
# RLE4 delta that jumps past the top row: the rest stays background, nothing is
# written outside the picture.
write("bmp", "partial-rle4-delta-past-top.bmp",
      bmp(8, 8, 4, 2, grey[:64], bytes([0, 2, 255, 255, 8, 0x12, 0, 0])))
# 64 x 64 at 24 bits with ten bytes of pixels.
write("bmp", "short-pixels.bmp", bmp(64, 64, 24, 0, b"", b"\x55" * 10))
# Pixel data offset far past the end of the file.
write("bmp", "offset-past-end.bmp", bmp(4, 4, 24, 0, b"", b"\0" * 48, offset=0x7FFFFFF0))
# Height of INT_MIN: its negation overflows.
write("bmp", "int-min-height.bmp", bmp(4, -(1 << 31), 24, 0, b"", b"\0" * 48))
# Bit fields at 24 bits per pixel.
write("bmp", "bitfields-24bit.bmp", bmp(4, 4, 24, 3, b"\0" * 12, b"\0" * 48))


# GIF ----------------------------------------------------------------------------------

def gif(screen_w, screen_h, frame_w, frame_h, min_code, data, table=b"\0\0\0\xff\xff\xff"):
    size_bits = (len(table) // 3).bit_length() - 2  # a table of 2 << n entries
    head = b"GIF89a" + struct.pack("<HHBBB", screen_w, screen_h, 0x80 | size_bits, 0, 0) + table
    image = b"\x2c" + struct.pack("<HHHHB", 0, 0, frame_w, frame_h, 0) + bytes([min_code])
    return head + image + data


def sub_blocks(data):
    out = b""
    for i in range(0, len(data), 255):
        out += bytes([len(data[i:i + 255])]) + data[i:i + 255]
    return out + b"\0"


def lzw_codes(codes, min_code):
    """Packs codes LSB first, widening as a decoder would (one code per dictionary entry)."""
    clear = 1 << min_code
    bits, next_code, acc, count, out, first = min_code + 1, clear + 2, 0, 0, b"", True
    for code in codes:
        acc |= code << count
        count += bits
        while count >= 8:
            out += bytes([acc & 255])
            acc >>= 8
            count -= 8
        if code == clear:
            bits, next_code, first = min_code + 1, clear + 2, True
        elif first:
            first = False
        elif next_code < 4096:
            next_code += 1
            if next_code >= (1 << bits) and bits < 12:
                bits += 1
    if count:
        out += bytes([acc & 255])
    return out


# Screen of 65535 x 65535.
write("gif", "huge-screen.gif", gif(65535, 65535, 1, 1, 2, sub_blocks(lzw_codes([4, 0, 5], 2))))
# Tiny screen, frame of 65535 x 65535: four billion pixels of decoding work.
write("gif", "huge-frame.gif", gif(8, 8, 65535, 65535, 2, sub_blocks(lzw_codes([4, 0, 5], 2))))
# Minimum code size 12: codes of 13 bits do not exist.
write("gif", "min-code-size-12.gif", gif(8, 8, 8, 8, 12, sub_blocks(b"\0" * 8)))
# Global colour table cut short.
write("gif", "truncated-color-table.gif",
      b"GIF89a" + struct.pack("<HHBBB", 8, 8, 0x87, 0, 0) + b"\1\2\3" * 20)
# Extension whose sub-block chain runs off the end of the file.
write("gif", "extension-runs-off.gif",
      b"GIF89a" + struct.pack("<HHBBB", 8, 8, 0, 0, 0) + b"\x21\xfe\x40" + b"x" * 20)
# LZW data cut in the middle of a 64 x 64 frame: what was decoded stays.
codes = [4] + [(i * 3) % 4 for i in range(900)] + [5]
write("gif", "partial-truncated-lzw.gif",
      gif(64, 64, 64, 64, 2, sub_blocks(lzw_codes(codes, 2))[:60],
          table=b"\0\0\0\xff\xff\xff\xff\0\0\0\xff\0"))
# A code far past the dictionary's next entry ends the frame.
write("gif", "partial-code-past-dictionary.gif",
      gif(16, 16, 16, 16, 2, sub_blocks(lzw_codes([4, 1, 1, 7, 7, 7, 2, 5], 2))))
# Sub-block lengths that claim more than the file holds.
write("gif", "partial-sub-block-overrun.gif",
      gif(16, 16, 16, 16, 2, bytes([255]) + lzw_codes([4, 1, 2, 3, 1], 2)))


# PNG ----------------------------------------------------------------------------------

def chunk(kind, body):
    return struct.pack(">I", len(body)) + kind + body + struct.pack(
        ">I", zlib.crc32(kind + body) & 0xFFFFFFFF)


def ihdr(w, h, depth=8, color=0, interlace=0):
    return chunk(b"IHDR", struct.pack(">IIBBBBB", w, h, depth, color, 0, 0, interlace))


SIG = b"\x89PNG\r\n\x1a\n"
raw = b"".join(b"\0" + bytes((x * 16 + y) & 255 for x in range(16)) for y in range(16))
stream = zlib.compress(raw, 9)
good = SIG + ihdr(16, 16) + chunk(b"IDAT", stream) + chunk(b"IEND", b"")

# Width and height of 2^31 - 1.
write("png", "huge-ihdr.png", SIG + ihdr(0x7FFFFFFF, 0x7FFFFFFF) + chunk(b"IDAT", stream)
      + chunk(b"IEND", b""))
# 16000 x 16000 grey with 30 bytes of data: cannot fill it, refused before allocating.
write("png", "undersized-idat.png", SIG + ihdr(16000, 16000) + chunk(b"IDAT", stream[:30])
      + chunk(b"IEND", b""))
# One bit flipped inside IDAT, CRC left as it was.
bad = bytearray(good)
bad[8 + 25 + 8 + 5] ^= 0x10
write("png", "bad-crc.png", bytes(bad))
# The last IDAT holds only the Adler-32 trailer, and it is damaged.
adler = bytearray(stream[-4:])
adler[1] ^= 0xFF
write("png", "damaged-adler-alone.png", SIG + ihdr(16, 16) + chunk(b"IDAT", stream[:-4])
      + chunk(b"IDAT", bytes(adler)) + chunk(b"IEND", b""))
# Deflate data cut in the middle of the rows, then IEND.
write("png", "truncated-idat.png", SIG + ihdr(16, 16) + chunk(b"IDAT", stream[:len(stream) // 2])
      + chunk(b"IEND", b""))
# Chunk length of 0xFFFFFFF0.
write("png", "chunk-length-overflow.png", SIG + ihdr(16, 16)
      + struct.pack(">I", 0xFFFFFFF0) + b"IDAT" + stream)
# A text chunk between two IDATs.
half = len(stream) // 2
write("png", "idat-not-consecutive.png", SIG + ihdr(16, 16) + chunk(b"IDAT", stream[:half])
      + chunk(b"tEXt", b"a\0b") + chunk(b"IDAT", stream[half:]) + chunk(b"IEND", b""))
# Filter type 9 on every row.
bad_filter = b"".join(b"\x09" + bytes(16) for _ in range(16))
write("png", "bad-filter.png", SIG + ihdr(16, 16) + chunk(b"IDAT", zlib.compress(bad_filter))
      + chunk(b"IEND", b""))
# Palette image whose PLTE has 300 entries.
write("png", "palette-too-long.png", SIG + ihdr(4, 4, 8, 3) + chunk(b"PLTE", b"\0" * 900)
      + chunk(b"IDAT", zlib.compress(b"\0" * 20)) + chunk(b"IEND", b""))


# Project ------------------------------------------------------------------------------

head = b"id=Tavrel\r\nversion=100\r\n"
# A 64 KB line without a line break or an "=": no keys at all.
write("project", "long-line.tavrel", b"T" * 65536)
# A menu count past 32 bits.
write("project", "huge-number.tavrel", head + b"menucount=99999999999\r\n")
# A colour that is no hexadecimal number.
write("project", "bad-color.tavrel", head + b"bgcolor=$FFGG00\r\n")
# Binary noise: invalid UTF-8, NULs, lone CRs, a byte-order mark in the middle.
noise = bytes((i * 7919 + 13) % 256 for i in range(3000))
write("project", "binary-noise.tavrel", noise[:1500] + b"\xef\xbb\xbfid=Tavrel\r" + noise[1500:])
# The right header in the wrong case of its value.
write("project", "wrong-version.tavrel", b"id=tavrel\r\nversion=0100\r\ntitle=x\r\n")
