#!/usr/bin/env python3
"""An object block of version "U" read field by field from the stream's
tables, independently of the library: prints the header as JSON on the first
line and each object record as JSON on the lines after it. Exits 1 when the
block does not parse to its end."""
import json
import struct
import sys
import zlib


class Reader:
    def __init__(self, data):
        self.d, self.p = data, 0

    def take(self, n):
        if self.p + n > len(self.d):
            raise ValueError("short")
        b = self.d[self.p:self.p + n]
        self.p += n
        return b

    def u8(self):
        return self.take(1)[0]

    def i32(self):
        return struct.unpack("<i", self.take(4))[0]

    def f64(self):
        return struct.unpack("<d", self.take(8))[0]

    def ansi(self):
        return self.take(self.i32()).decode("cp1252")

    def text(self):
        return self.take(2 * self.i32()).decode("utf-16-le")

    def font(self):
        if self.u8() != 1:
            return None
        h, w, esc, ori, weight = struct.unpack("<5i", self.take(20))
        ital, und, strike, cs, op, cp, q, pf = self.take(8)
        face = self.take(64).decode("utf-16-le").split("\0")[0]
        return {"height": h, "escapement": esc, "weight": weight, "italic": ital, "underline": und,
                "strikeout": strike, "face": face}


def record(r, out):
    o = {"handle": r.i32()}
    o["rect"] = [r.i32() for _ in range(4)]
    k = o["kind"] = r.u8()
    o["aspect"] = r.u8()
    o["blend"] = r.u8()
    o["layer"] = r.i32()
    o["shadow"] = [r.u8(), r.f64(), r.i32(), r.i32(), r.i32(), list(r.take(3))]
    o["name"] = r.ansi()
    o["id"] = r.i32()
    o["pencolor"] = r.i32()
    o["penstyle"] = r.u8()
    o["penwidth"] = r.i32()
    o["brushcolor"] = r.i32()
    o["brushstyle"] = r.u8()
    o["style"] = r.u8()
    o["transparency"] = r.i32()
    o["highlight"] = r.u8()
    o["quality"] = r.u8()
    o["userdata"] = list(r.take(r.i32()))
    group = r.i32() if k == 0 else 0
    if k == 11:
        o["label"] = [r.i32(), r.u8(), r.u8(), r.u8()]
    if k in (1, 11):
        o["shapes"] = [r.u8(), r.u8(), r.i32(), r.i32()]
    if k == 4:
        o["angles"] = [r.f64(), r.f64()]
    if k == 5:
        o["bitmap"] = [r.i32(), r.u8()]
        o["text"] = r.text()
    if k in (6, 11, 12):
        o["align"], o["autosize"] = r.u8(), r.u8()
        o["text"] = r.text()
        o["font"] = r.font()
        n = r.i32()
        if n > 0:
            o["curve"] = [[r.f64(), r.f64()] for _ in range(n)]
            o["charrot"] = r.i32()
        o["keepalign"] = r.u8()
    if k == 10:
        o["text"] = r.text()
        o["font"] = r.font()
        if r.u8() == 1:
            o["refs"] = [r.i32() for _ in o["text"]]
        formats = []
        for _ in range(r.i32()):
            f = r.take(280)
            formats.append({"refcount": struct.unpack("<i", f[0:4])[0],
                            "name": f[5:5 + f[4]].decode("cp1252"),
                            "height": struct.unpack("<i", f[260:264])[0], "style": f[264],
                            "color": struct.unpack("<i", f[268:272])[0],
                            "brushcolor": struct.unpack("<i", f[272:276])[0],
                            "brushstyle": f[276], "align": f[277]})
        o["formats"] = formats
        o["memo"] = [r.u8(), r.u8(), r.i32(), r.i32(), r.u8(), r.u8(), r.i32()]
        if r.u8():
            o["bitmap"] = [r.i32(), r.u8()]
        o["margins"] = [r.f64() for _ in range(4)]
        o["charsbrush"] = r.u8()
    o["editable"] = r.u8()
    if k == 7:
        o["ruler"] = [r.u8(), r.u8()]
        o["font"] = r.font()
    if k == 8:
        o["points"] = [[r.i32(), r.i32()] for _ in range(r.i32())]
        o["base"] = [r.i32() for _ in range(4)]
        o["closed"] = r.u8()
    if k == 9:
        o["anglepoints"] = [[r.i32(), r.i32()] for _ in range(3)]
        o["font"] = r.font()
    if k == 12 and r.u8() == 1:
        o["class"] = r.ansi()
    out.append(o)
    for _ in range(group):
        record(r, out)


def png_end(data, p):
    if data[p:p + 8] != b"\x89PNG\r\n\x1a\n":
        raise ValueError("no PNG")
    p += 8
    while True:
        n = struct.unpack(">I", data[p:p + 4])[0]
        kind = data[p + 4:p + 8]
        p += 12 + n
        if kind == b"IEND":
            return p


def main():
    data = open(sys.argv[1], "rb").read()
    if data[:4] != b"VXVU":
        return 1
    length, scale, n = struct.unpack("<idi", data[4:20])
    p = 20
    slots = []
    for _ in range(n):
        count = struct.unpack("<i", data[p:p + 4])[0]
        p += 4
        if count > 0:
            end = png_end(data, p)
            slots.append([count, end - p])
            p = end
        else:
            slots.append([count, 0])
    d = zlib.decompressobj()
    section = d.decompress(data[p:])
    if not d.eof or d.unused_data:
        return 1
    r = Reader(section)
    out = []
    for _ in range(r.i32()):
        record(r, out)
    if r.p != len(section):
        return 1
    print(json.dumps({"length": length, "size": len(data), "scale": scale, "slots": slots}, sort_keys=True))
    for o in out:
        print(json.dumps(o, sort_keys=True, ensure_ascii=False))
    return 0


if __name__ == "__main__":
    sys.exit(main())
