#!/usr/bin/python3
# The raw reader's output stage evaluated with numpy over LibRaw's own
# decoding, for the camera raw tests.
#
#   camera_raw_oracle.py IN.ppm GAMMA BRIGHT MAKE BORDER OUT24 OUT48
#       IN.ppm is `dcraw_emu -4 -W -q 0` output (16-bit linear, no automatic
#       brightness). Writes the expected 24-bit result (R, G, B bytes per
#       pixel) to OUT24 and the 48-bit one (R, G, B little-endian words) to
#       OUT48, BORDER pixels dropped on every side.
import sys

import numpy as np


def read_ppm16(path):
    data = open(path, "rb").read()
    fields, pos = [], 0
    while len(fields) < 4:
        while data[pos:pos + 1].isspace():
            pos += 1
        if data[pos:pos + 1] == b"#":
            pos = data.index(b"\n", pos)
            continue
        end = pos
        while not data[end:end + 1].isspace():
            end += 1
        fields.append(data[pos:end])
        pos = end
    pos += 1
    assert fields[0] == b"P6" and int(fields[3]) == 65535
    w, h = int(fields[1]), int(fields[2])
    return np.frombuffer(data, dtype=">u2", count=w * h * 3, offset=pos).reshape(h, w, 3).astype(np.int64)


def main():
    src, gamma, bright, make, border, out24, out48 = sys.argv[1:8]
    gamma, bright, border = float(gamma), float(bright), int(border)
    img = read_ppm16(src)
    h, w, _ = img.shape
    lum = (299 * img[:, :, 0] + 587 * img[:, :, 1] + 114 * img[:, :, 2]) // 1000
    hist = np.bincount((lum >> 3).ravel(), minlength=8192)
    share = 0.005 if make == "FUJIFILM" else 0.01
    p = int(w * h * share)
    white, total = 0, 0
    for b in range(8191, 0, -1):
        total += int(hist[b])
        if total > p:
            white = b * 16
            break
    if white == 0:
        white = 1
    i = np.arange(65536, dtype=np.float64)
    with np.errstate(divide="ignore"):
        tone = np.power(2.0 * i / white, gamma - 1.0) * bright * 442.0 / white
    tone[0] = 0.0
    crop = slice(border, h - border), slice(border, w - border)
    f = tone[lum][crop][:, :, None]
    values = img[crop].astype(np.float64)
    v8 = np.minimum(np.trunc(values * f), 255).astype(np.uint8)
    v16 = np.minimum(np.trunc(values * (f * (65535.0 / 255.0))), 65535).astype("<u2")
    open(out24, "wb").write(v8.tobytes())
    open(out48, "wb").write(v16.tobytes())


main()
