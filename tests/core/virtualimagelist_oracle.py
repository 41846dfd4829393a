#!/usr/bin/env python3
"""An outside reader for the virtual image list's tests.

stream STREAM OUTDIR
    Parses a saved "VIRTUALIMAGELIST" stream with struct and numpy and writes,
    for image i, OUTDIR/i.pix (the pixel bytes of each row, top row first,
    padding dropped), OUTDIR/i.pal (768 palette bytes, vx8p only) and
    OUTDIR/i.alpha (the Full byte, then the alpha rows top row first, width
    bytes each). Prints one line per image: pos size width height bits format
    alpha.

bits ROWS WIDTH HEIGHT X Y DX DY OUT
    ROWS holds a 1-bit image, top row first, rows padded to 32 bits. Writes to
    OUT the DX x DY rectangle at (X, Y) cut from the unpacked bits and packed
    again as 1-bit rows padded to 32 bits, bottom row first.
"""
import os
import struct
import sys

import numpy as np

BITS = [0, 1, 8, 8, 16, 24, 32, 32, 48, 24, 32]


def row_len(width, bits):
    return ((width * bits + 31) // 32) * 4


def read_stream(path, outdir):
    data = open(path, "rb").read()
    (magic_len,) = struct.unpack_from("<i", data, 0)
    assert magic_len == 16, magic_len
    assert data[4:20] == b"VIRTUALIMAGELIST", data[4:20]
    version, count = struct.unpack_from("<Bi", data, 20)
    assert version == 1, version
    off = 25
    records = []
    for _ in range(count):
        rec = struct.unpack_from("<qqIB3xiiBB2xiiiB7x", data, off)
        off += 56
        records.append(rec)
    for i, (pos, size, address, in_use, ow, oh, alpha, access, w, h, bits, fmt) in enumerate(records):
        assert address == 0
        assert bits == BITS[fmt], (bits, fmt)
        block = np.frombuffer(data, dtype=np.uint8, count=size, offset=off)
        off += size
        rl = row_len(w, bits)
        pix = (w * bits + 7) // 8
        rows = block[: rl * h].reshape(h, rl)[::-1, :pix]
        rows.tofile(os.path.join(outdir, "%d.pix" % i))
        at = rl * h
        if fmt == 2:
            block[at : at + 768].tofile(os.path.join(outdir, "%d.pal" % i))
            at += 768
        if alpha:
            arl = row_len(w, 8)
            full = block[at : at + 1]
            arows = block[at + 1 : at + 1 + arl * h].reshape(h, arl)[::-1, :w]
            np.concatenate([full, arows.reshape(-1)]).tofile(os.path.join(outdir, "%d.alpha" % i))
            at += 1 + arl * h
        assert at == size, (at, size)
        print(pos, size, w, h, bits, fmt, alpha)
    assert off == len(data), (off, len(data))


def cut_bits(path, width, height, x, y, dx, dy, out):
    rl = row_len(width, 1)
    rows = np.fromfile(path, dtype=np.uint8).reshape(height, rl)
    bits = np.unpackbits(rows, axis=1)[:, :width]
    rect = bits[y : y + dy, x : x + dx][::-1]
    padded = np.zeros((dy, row_len(dx, 1) * 8), dtype=np.uint8)
    padded[:, :dx] = rect
    np.packbits(padded, axis=1).tofile(out)


if __name__ == "__main__":
    if sys.argv[1] == "stream":
        read_stream(sys.argv[2], sys.argv[3])
    elif sys.argv[1] == "bits":
        a = sys.argv[2:]
        cut_bits(a[0], *(int(v) for v in a[1:7]), a[7])
    else:
        sys.exit("unknown mode " + sys.argv[1])
