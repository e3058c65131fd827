#!/usr/bin/env python3
"""Writes the small BMP and GIF seed files under fuzz/seeds/: one per variant the readers
know, so that the fuzzer starts from every code path."""
import os
import struct

here = os.path.dirname(os.path.abspath(__file__))

W, H = 7, 5
PALETTE = [(0, 0, 0), (255, 0, 0), (0, 255, 0), (0, 0, 255), (255, 255, 0), (0, 255, 255),
           (255, 0, 255), (128, 128, 128), (64, 32, 16), (200, 100, 50), (10, 20, 30),
           (250, 240, 230), (90, 90, 200), (30, 200, 90), (200, 30, 200), (255, 255, 255)]


def index(x, y, colors):
    return (x * 3 + y * 5) % colors


def bmp(info, palette_bytes, pixel_bytes):
    offset = 14 + len(info) + len(palette_bytes)
    size = offset + len(pixel_bytes)
    return b"BM" + struct.pack("<IHHI", size, 0, 0, offset) + info + palette_bytes + pixel_bytes


def info40(bpp, compression=0, height=H, colors=0, extra=b""):
    return struct.pack("<IiiHHIIiiII", 40 + len(extra), W, height, 1, bpp, compression, 0,
                       2835, 2835, colors, 0) + extra


def pal(n, entry=4):
    return b"".join(bytes((b, g, r) + ((0,) if entry == 4 else ())) for r, g, b in PALETTE[:n]) \
        + (b"\0" * entry) * max(0, n - len(PALETTE))


def rows(bpp, colors, top_down=False):
    out = b""
    order = range(H) if top_down else range(H - 1, -1, -1)
    for y in order:
        if bpp <= 8:
            bits = "".join(format(index(x, y, colors), "0%db" % bpp) for x in range(W))
            bits += "0" * (-len(bits) % 8)
            row = int(bits, 2).to_bytes(len(bits) // 8, "big")
        elif bpp == 16:
            row = b"".join(struct.pack("<H", (x * 4 + y * 3) & 0xFFFF) for x in range(W))
        elif bpp == 24:
            row = b"".join(bytes((x * 30, y * 50, 200)) for x in range(W))
        else:
            row = b"".join(bytes((x * 30, y * 50, 200, 7)) for x in range(W))
        out += row + b"\0" * (-len(row) % 4)
    return out


def bmp_seeds():
    s = {}
    s["1bit.bmp"] = bmp(info40(1), pal(2), rows(1, 2))
    s["4bit.bmp"] = bmp(info40(4), pal(16), rows(4, 16))
    s["8bit_used12.bmp"] = bmp(info40(8, colors=12), pal(12), rows(8, 12))
    s["16bit_555.bmp"] = bmp(info40(16), b"", rows(16, 0))
    masks565 = struct.pack("<III", 0xF800, 0x07E0, 0x001F)
    s["16bit_565.bmp"] = bmp(info40(16, 3), masks565, rows(16, 0))
    s["24bit.bmp"] = bmp(info40(24), b"", rows(24, 0))
    s["24bit_topdown.bmp"] = bmp(info40(24, height=-H), b"", rows(24, 0, True))
    v5 = struct.pack("<IIII", 0x00FF0000, 0x0000FF00, 0x000000FF, 0xFF000000) + b"\0" * 68
    s["32bit_v5_bitfields.bmp"] = bmp(info40(32, 3, extra=v5), b"", rows(32, 0))
    s["32bit.bmp"] = bmp(info40(32), b"", rows(32, 0))
    core = struct.pack("<IHHHH", 12, W, H, 1, 8)
    s["os2_8bit.bmp"] = bmp(core, pal(256, 3), rows(8, 16))
    # RLE8: a run, a delta, an absolute run (odd length, padded), end of line, end of bitmap.
    rle8 = bytes([3, 1, 0, 2, 1, 1, 0, 3, 4, 5, 6, 0, 0, 0, 2, 7, 0, 0, 5, 9, 0, 1])
    s["rle8.bmp"] = bmp(info40(8, 1), pal(16), rle8)
    rle4 = bytes([5, 0x12, 0, 0, 0, 2, 2, 1, 0, 3, 0x45, 0x60, 0, 0, 7, 0xAB, 0, 1])
    s["rle4.bmp"] = bmp(info40(4, 2), pal(16), rle4)
    return s


def lzw(pixels, min_code):
    clear, end = 1 << min_code, (1 << min_code) + 1
    bits, nxt = min_code + 1, end + 1
    table = {bytes([i]): i for i in range(clear)}
    codes = [(clear, bits)]
    w = b""
    for p in pixels:
        wk = w + bytes([p])
        if wk in table:
            w = wk
            continue
        codes.append((table[w], bits))
        if nxt < 4096:
            table[wk] = nxt
            nxt += 1
            if nxt > (1 << bits) and bits < 12:
                bits += 1
        w = bytes([p])
    if w:
        codes.append((table[w], bits))
    codes.append((end, bits))
    acc = count = 0
    out = bytearray()
    for code, width in codes:
        acc |= code << count
        count += width
        while count >= 8:
            out.append(acc & 0xFF)
            acc >>= 8
            count -= 8
    if count:
        out.append(acc)
    blocks = b"".join(bytes([len(out[i:i + 255])]) + bytes(out[i:i + 255])
                      for i in range(0, len(out), 255))
    return bytes([min_code]) + blocks + b"\0"


def gif_table(n):
    return b"".join(bytes(c) for c in (PALETTE * 16)[:n])


def image(left, top, w, h, pixels, min_code=4, interlace=False, local=None):
    flags = (0x40 if interlace else 0)
    table = b""
    if local:
        flags |= 0x80 | (local.bit_length() - 2)
        table = gif_table(local)
    return b"\x2C" + struct.pack("<HHHHB", left, top, w, h, flags) + table + lzw(pixels, min_code)


def gif(version, sw, sh, body, table=16):
    flags = 0x80 | (table.bit_length() - 2) if table else 0
    return version + struct.pack("<HHBBB", sw, sh, flags, 0, 0) + (gif_table(table) if table else b"") \
        + body + b"\x3B"


def frame_pixels(w, h, colors=16):
    return [index(x, y, colors) for y in range(h) for x in range(w)]


def interlaced_order(w, h, colors=16):
    order = [y for start, step in ((0, 8), (4, 8), (2, 4), (1, 2)) for y in range(start, h, step)]
    return [index(x, y, colors) for y in order for x in range(w)]


def gif_seeds():
    s = {}
    s["plain87.gif"] = gif(b"GIF87a", W, H, image(0, 0, W, H, frame_pixels(W, H)))
    s["interlaced.gif"] = gif(b"GIF89a", W, 11, image(0, 0, W, 11, interlaced_order(W, 11), interlace=True))
    gce = b"\x21\xF9\x04\x01\x0A\x00\x03\x00"
    comment = b"\x21\xFE\x05hello\x00"
    app = b"\x21\xFF\x0BNETSCAPE2.0\x03\x01\x00\x00\x00"
    s["transparent_ext.gif"] = gif(b"GIF89a", W, H, comment + app + gce + image(0, 0, W, H, frame_pixels(W, H)))
    animated = gce + image(2, 1, 3, 2, frame_pixels(3, 2)) + b"\x21\xF9\x04\x00\x0A\x00\x00\x00" \
        + image(0, 0, W, H, frame_pixels(W, H))
    s["animated_offset.gif"] = gif(b"GIF89a", W, H, animated)
    s["local_table.gif"] = gif(b"GIF89a", W, H, image(0, 0, W, H, frame_pixels(W, H, 4), min_code=2, local=4), table=0)
    s["long_runs.gif"] = gif(b"GIF89a", 40, 30, image(0, 0, 40, 30, [(i // 37) % 2 for i in range(1200)], min_code=2), table=2)
    return s


for folder, seeds in (("bmp", bmp_seeds()), ("gif", gif_seeds())):
    os.makedirs(os.path.join(here, "seeds", folder), exist_ok=True)
    for name, data in seeds.items():
        with open(os.path.join(here, "seeds", folder, name), "wb") as f:
            f.write(data)
