"""Fails unless every PNG named exists and has more than one colour.

Only the standard library: the check runs on a fresh machine before anything
else is installed. Decodes 8-bit RGB and RGBA PNGs without interlacing, which
is what the program writes.
"""
import struct
import sys
import zlib


def pixels_vary(path):
    with open(path, "rb") as f:
        data = f.read()
    if data[:8] != b"\x89PNG\r\n\x1a\n":
        raise ValueError("not a PNG")
    pos, idat, header = 8, b"", None
    while pos < len(data):
        length, kind = struct.unpack(">I4s", data[pos:pos + 8])
        body = data[pos + 8:pos + 8 + length]
        if kind == b"IHDR":
            header = struct.unpack(">IIBBBBB", body)
        elif kind == b"IDAT":
            idat += body
        pos += 12 + length
    width, height, depth, colour, _, _, interlace = header
    if depth != 8 or colour not in (2, 6) or interlace:
        raise ValueError(f"unexpected PNG layout (depth {depth}, colour type {colour})")
    bpp = 3 if colour == 2 else 4
    stride = width * bpp
    raw = zlib.decompress(idat)
    previous = bytearray(stride)
    first = None
    for y in range(height):
        kind = raw[y * (stride + 1)]
        row = bytearray(raw[y * (stride + 1) + 1:(y + 1) * (stride + 1)])
        for x in range(stride):
            a = row[x - bpp] if x >= bpp else 0
            b = previous[x]
            c = previous[x - bpp] if x >= bpp else 0
            if kind == 1:
                row[x] = (row[x] + a) & 0xFF
            elif kind == 2:
                row[x] = (row[x] + b) & 0xFF
            elif kind == 3:
                row[x] = (row[x] + (a + b) // 2) & 0xFF
            elif kind == 4:
                p = a + b - c
                pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
                row[x] = (row[x] + (a if pa <= pb and pa <= pc else b if pb <= pc else c)) & 0xFF
        if first is None:
            first = bytes(row[:bpp])
        if row != first * width:
            return True
        previous = row
    return False


failed = 0
for path in sys.argv[1:]:
    try:
        if not pixels_vary(path):
            print(f"{path}: blank (one colour)")
            failed = 1
    except (OSError, ValueError, TypeError, zlib.error) as e:
        print(f"{path}: {e}")
        failed = 1
sys.exit(failed)
