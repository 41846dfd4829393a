# Straightforward numpy references of the automatic enhancements, for
# tests/proc/autoenhance_test.cpp. Images are (height, width, 3) arrays of
# bytes in memory order blue, green, red.
import numpy as np


def auto_enhance1(img, S, slope_deg, cut, neighbour):
    """Local equalisation of img, S being its subsampled copy."""
    H, W, _ = img.shape
    h, w, _ = S.shape
    img = img.astype(np.int64)
    S = S.astype(np.int64)
    slope = np.tan(slope_deg * np.pi / 180)
    limit = cut / 100 * (slope * 255)
    yy, xx = np.mgrid[0:h, 0:w]
    D = np.sqrt((xx * xx + yy * yy).astype(np.float64)).astype(np.float32)
    D[0, 0] = 1000000.0
    res = np.zeros((h, w, 3), np.float32)
    for py in range(h):
        for px in range(w):
            d = D[np.abs(py - yy), np.abs(px - xx)].astype(np.float64)
            for c in range(3):
                r = (S[py, px, c] - S[:, :, c]) * slope
                r = np.where(r > limit, limit, np.where(r < -limit, -limit, r))
                a = np.abs(r).max()
                s = (r / d).sum()
                t = (a / d).sum()
                res[py, px, c] = np.float32(s / t if t != 0 else s)
    mx = res.max(axis=(0, 1))
    mn = res.min(axis=(0, 1))
    E = np.empty((h, w, 3), np.int64)
    for c in range(3):
        sc = 255.0 / (float(mx[c]) - float(mn[c])) if mx[c] != mn[c] else 255.0
        E[:, :, c] = np.clip(np.rint(sc * (res[:, :, c].astype(np.float64) - float(mn[c]))), 0, 255)
    b = W / w
    out = np.empty((H, W, 3), np.uint8)
    for y in range(H):
        cy = int(y / b)
        r0, r1 = max(0, cy - 1), min(h - 1, cy + 1)
        for x in range(W):
            cx = int(x / b)
            c0, c1 = max(0, cx - neighbour), min(w - 1, cx + neighbour)
            for c in range(3):
                t = img[y, x, c]
                cs = S[r0:r1 + 1, c0:c1 + 1, c].ravel()
                ce = E[r0:r1 + 1, c0:c1 + 1, c].ravel()
                su, eu, sl, el = 255, 255, 0, 0
                up = np.nonzero(cs >= t)[0]
                if up.size:
                    k = up[np.argmin(cs[up] - t)]
                    su, eu = cs[k], ce[k]
                lo = np.nonzero(cs <= t)[0]
                if lo.size:
                    k = lo[np.argmin(t - cs[lo])]
                    sl, el = cs[k], ce[k]
                v = np.rint((eu - el) * (t - sl) / max(1, su - sl) + el)
                out[y, x, c] = min(max(v, 0), 255)
    return out


def auto_sharp_by_map(img, edge, intensity):
    """Sharpening by a given blurred edge map (0 on edges)."""
    H, W, _ = img.shape
    img = img.astype(np.int64)
    amount = np.rint((255 - edge.astype(np.float64)) / 255 * intensity)
    out = np.empty((H, W, 3), np.uint8)
    for y in range(H):
        ys = [v for v in range(y - 2, y + 3) if v != y and 0 <= v < H]
        for x in range(W):
            xs = [v for v in range(x - 2, x + 3) if v != x and 0 <= v < W]
            n = len(ys) * len(xs)
            s = img[np.ix_(ys, xs)].reshape(-1, 3).sum(axis=0) if n else np.zeros(3, np.int64)
            mean = s // n if n else s
            v = img[y, x]
            out[y, x] = np.clip(np.trunc(v + (v - mean) * amount[y, x] / 10), 0, 255)
    return out
