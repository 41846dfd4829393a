#!/usr/bin/env python3
"""Reference evaluation of the geometry helpers, written from their formulas.

Reads one case a line ("name arg arg ...") from the file named by argv[1]
and prints one line of results per case. Floats are printed with repr so
that the C++ side can compare them bit for bit.
"""
import math
import sys


def tdiv(a, b):
    q = abs(a) // abs(b)
    return q if (a >= 0) == (b >= 0) else -q


def constrain45(x0, y0, X, Y):
    dx, dy = x0 - X, y0 - Y
    ax, ay = abs(dx), abs(dy)
    if ay > ax + 30:
        return x0, Y
    if ay < ax - 30:
        return X, y0
    d = abs(ax - ay)
    if dx < 0 and dy < 0:
        if ax >= ay: Y += d
        else: X += d
    elif dx > 0 and dy > 0:
        if ax >= ay: X += d
        else: Y += d
    elif dx > 0 and dy <= 0:
        if ax >= ay: Y += d
        else: X -= d
    elif dx <= 0 and dy > 0:
        if ax >= ay: Y -= d
        else: X += d
    return X, Y


def dist(x1, y1, x2, y2):
    dx, dy = float(x2 - x1), float(y2 - y1)
    return math.sqrt(dx * dx + dy * dy)


def line_dist(px, py, ax, ay, bx, by):
    num = abs(px * (ay - by) + py * (bx - ax) + ax * by - bx * ay)
    fa, fb = float(ay - by), float(bx - ax)
    return float(num) / math.sqrt(fa * fa + fb * fb)


def seg(px, py, ax, ay, bx, by):
    if ax == bx and ay == by:
        return dist(px, py, ax, ay)
    num = (px - ax) * (bx - ax) + (py - ay) * (by - ay)
    den = (bx - ax) ** 2 + (by - ay) ** 2
    t = float(num) / float(den)
    if t > 1:
        return 1000000.0 if abs(px - bx) > 45000 or abs(py - by) > 45000 else dist(px, py, bx, by)
    if t < 0:
        return 1000000.0 if abs(ax - px) > 45000 or abs(ay - py) > 45000 else dist(px, py, ax, ay)
    return line_dist(px, py, ax, ay, bx, by)


def stretch_factor(side, box, other, other_box, stretch):
    if stretch <= 0:
        return box / side
    f = 1000.0 if stretch == 100 else box / ((100 - stretch) * side / 100)
    if round(other * f) > other_box:
        f = other_box / other
    return f


def thumb(w, h, bw, bh, stretch):
    stretch = min(stretch, 100)
    if 0 in (w, h, bw, bh):
        return 0, 0, 0, 0
    wide = w / bw > h / bh
    f = stretch_factor(w, bw, h, bh, stretch) if wide else stretch_factor(h, bh, w, bw, stretch)
    W, H = round(w * f), round(h * f)
    if stretch <= 0:
        return W, H, W, H
    return min(bw, W), min(bh, H), W, H


def fitrect(w, h, bw, bh, bl, bt, enlarge, shrink, ch, cv, stretch, fill):
    stretch = min(stretch, 100)
    if 0 in (w, h, bw, bh):
        return bl, bt, 0, 0
    taller = w / bw <= h / bh
    by_height = (taller and not fill) or (not taller and fill)
    side, box = (h, bh) if by_height else (w, bw)
    width, height = w, h
    if (shrink if side > box else enlarge):
        if by_height:
            f = stretch_factor(h, bh, w, bw, stretch)
        else:
            f = stretch_factor(w, bw, h, bh, stretch)
        width, height = round(w * f), round(h * f)
    left, top = bl, bt
    if ch: left += int(bw / 2 - width / 2)
    if cv: top += int(bh / 2 - height / 2)
    return left, top, left + width, top + height


def zoom(zin, ideal, z):
    if not zin and z < 6:
        return 1.0
    e = z + 1 if zin else z - 1
    step = 5 if e < 26 else 100 if e >= 300 else 25
    nxt = tdiv(int(e), step) * step
    if zin:
        nxt += step
    tz = int(z)
    if ideal > 0 and ideal != z and int(ideal) != tz and min(nxt, tz) < ideal < max(nxt, tz):
        return ideal
    return float(nxt)


def reduce_angle(a):
    r = a - math.floor(a / 360) * 360
    return r if a >= 0 else r - 360


def pip(x, y, pts):
    inside = False
    n = len(pts)
    j = n - 1
    for i in range(n):
        xi, yi = map(float, pts[i])
        xj, yj = map(float, pts[j])
        if ((yi <= y < yj) or (yj <= y < yi)) and x < (xj - xi) * (y - yi) / (yj - yi) + xi:
            inside = not inside
        j = i
    return int(inside)


def rot(cx, cy, angle, pts):
    th = -angle * math.pi / 180
    c, s = math.cos(th), math.sin(th)
    out = []
    for x, y in pts:
        dx, dy = float(x - cx), float(y - cy)
        out += [cx + int(c * dx - s * dy), cy + int(s * dx + c * dy)]
    return out


def pal(color, entries):
    r, g, b = color & 255, (color >> 8) & 255, (color >> 16) & 255
    best, best_d = 0, 195076
    for i, (er, eg, eb) in enumerate(entries):
        d = (er - r) ** 2 + (eg - g) ** 2 + (eb - b) ** 2
        if d < best_d:
            best, best_d = i, d
    return best


def pairs(v):
    return [(v[i], v[i + 1]) for i in range(0, len(v), 2)]


for line in open(sys.argv[1]):
    name, *a = line.split()
    if name in ("zoom", "reduce"):
        f = [float(x) for x in a]
        out = [zoom(f[0] != 0, f[1], f[2])] if name == "zoom" else [reduce_angle(f[0])]
    elif name == "rot":
        out = rot(int(a[0]), int(a[1]), float(a[2]), pairs([int(x) for x in a[3:]]))
    else:
        v = [int(x) for x in a]
        if name == "c45": out = constrain45(*v)
        elif name == "seg": out = [seg(*v)]
        elif name == "thumb": out = thumb(*v)
        elif name == "fit": out = fitrect(*v)
        elif name == "pip": out = [pip(v[0], v[1], pairs(v[2:]))]
        elif name == "pal": out = [pal(v[0], [tuple(v[i:i + 3]) for i in range(1, len(v), 3)])]
        else: raise SystemExit("unknown case " + name)
    print(" ".join(repr(float(x)) if isinstance(x, float) else str(x) for x in out))
