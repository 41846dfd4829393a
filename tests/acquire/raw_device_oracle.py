#!/usr/bin/env python3
"""Raw device strings decoded by the rules, written down apart from the
library: random texts (from a seed) with their shape test and decoding.

Each line: the text in hex, the shape test (0 or 1), then either "RAISE" or
the interface, the location, the device type (numbers) and the name in hex,
tab-separated.
"""
import random
import sys

API_TOKENS = ["TWN", "WIA", "DCM"]  # interfaces 0, 1, 2; anything else: none (3)
TYPE_TOKENS = {"SCN": 1, "CAM": 2, "DRV": 3, "DEV": 4}  # otherwise unknown (0)


def is_raw(t):
    n = len(t)
    return n >= 12 and t[n - 5:n - 3] == b"||" and t[n - 10:n - 8] == b"||"


def upper_ascii(b):
    return bytes(c - 32 if 97 <= c <= 122 else c for c in b)


def location(b):
    s = b
    neg = False
    if s[:1] in (b"+", b"-"):
        neg = s[:1] == b"-"
        s = s[1:]
    if not s or any(c < 48 or c > 57 for c in s):
        return None
    v = int(s)
    v = -v if neg else v
    if v < -2**31 or v > 2**31 - 1:
        return None
    return v


def decode(t):
    """(api, location, type, name), or None when it raises."""
    if not t:
        return (3, -1, 0, b"")
    n = len(t)
    head = t[:n - 10] if n > 10 else b""
    bar = head.find(b"||")
    if bar < 0:
        return None
    name, loc = head[:bar], head[bar + 2:]
    typ = TYPE_TOKENS.get(upper_ascii(t[n - 3:]).decode("latin-1"), 0)
    api_token = upper_ascii(t[n - 8:n - 5]).decode("latin-1")
    if api_token not in API_TOKENS:
        return (3, -1, 0, b"")
    v = location(loc)
    if v is None:
        return None
    return (API_TOKENS.index(api_token), v, typ, name)


def random_text(rng):
    pieces = [b"|", b"||", b"-", b"+", b"0", b"7", b"12", b"2147483648", b"-2147483648", b"x", b" ",
              b"TWN", b"twn", b"WIA", b"wIa", b"DCM", b"---", b"SCN", b"cam", b"DRV", b"DEV", b"Scanner", b"\xc3\xa9"]
    if rng.random() < 0.5:
        # The shape with random fields.
        fields = [b"".join(rng.choice(pieces) for _ in range(rng.randint(0, 3))) for _ in range(2)]
        return (fields[0] + b"||" + fields[1] + b"||" + rng.choice(pieces[10:20]).ljust(3, b"-")[:3] + b"||" +
                rng.choice(pieces[10:20]).ljust(3, b"-")[:3])
    return b"".join(rng.choice(pieces) for _ in range(rng.randint(0, 12)))


def main():
    rng = random.Random(int(sys.argv[1]) if len(sys.argv) > 1 else 111)
    count = int(sys.argv[2]) if len(sys.argv) > 2 else 2000
    for _ in range(count):
        t = random_text(rng)
        r = decode(t)
        line = [t.hex() or "-", "1" if is_raw(t) else "0"]
        if r is None:
            line.append("RAISE")
        else:
            line += [str(r[0]), str(r[1]), str(r[2]), r[3].hex() or "-"]
        print("\t".join(line))


if __name__ == "__main__":
    main()
