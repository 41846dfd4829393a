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


def rg_coefs(sigma):
    """Coefficients B, b1, b2, b3 of the retinex's recursive Gaussian."""
    s = float(np.float32(sigma))
    if s >= 2.5:
        q = np.float32(0.98711 * s - 0.96330)
    elif s >= 0.5:
        q = np.float32(3.97156 - 4.14554 * np.sqrt(1 - 0.26891 * s))
    else:
        q = np.float32(0.1147705)
    q = float(q)
    b0 = float(np.float32(1.57825 + 2.44413 * q + 1.4281 * q ** 2 + 0.422205 * q ** 3))
    b1 = np.float32((2.44413 * q + 2.85619 * q ** 2 + 1.26661 * q ** 3) / b0)
    b2 = np.float32(-(1.4281 * q ** 2 + 1.26661 * q ** 3) / b0)
    b3 = np.float32(0.422205 * q ** 3 / b0)
    B = np.float32(1 - (float(b1) + float(b2) + float(b3)))
    return B, b1, b2, b3


def rg_lines(X, c):
    """The retinex's recursive Gaussian along axis 1 of the float32 array X:
    mirrored to 3n samples, causal and anticausal from zero states."""
    B, b1, b2, b3 = c
    m, n = X.shape
    e = np.concatenate([X[:, ::-1], X, X[:, ::-1]], axis=1).astype(np.float32)
    w = np.zeros((m, 3 * n + 3), np.float32)
    for k in range(3 * n):
        w[:, k + 3] = B * e[:, k] + b1 * w[:, k + 2] + b2 * w[:, k + 1] + b3 * w[:, k]
    w = w[:, 3:]
    y = np.zeros((m, 3 * n + 3), np.float32)
    for k in range(3 * n - 1, n - 1, -1):
        y[:, k] = B * w[:, k] + b1 * y[:, k + 1] + b2 * y[:, k + 2] + b3 * y[:, k + 3]
    return y[:, n:2 * n]


def rg_plane(P, c):
    return rg_lines(rg_lines(P, c).T.copy(), c).T.copy()


def retinex_scales(count, curve, high):
    if count <= 2:
        return [high / 2, float(high)][:count]
    p = [10 ** (i * np.log(high - 2) / count / np.log(10)) for i in range(count)]
    if curve == 0:
        return [2 + v for v in p]
    if curve == 1:
        return [high - v for v in p]
    return [2 + high / count * i for i in range(count)]


def ycbcr(img):
    f = img.astype(np.float64)
    b, g, r = f[:, :, 0], f[:, :, 1], f[:, :, 2]
    t = lambda v: np.clip(np.trunc(v), 0, 255)
    return (t(0.299 * r + 0.587 * g + 0.114 * b), t(-0.16874 * r - 0.33126 * g + 0.5 * b + 128),
            t(0.5 * r - 0.41869 * g - 0.08131 * b + 128))


def from_ycbcr(Y, Cb, Cr):
    t = lambda v: np.clip(np.trunc(v), 0, 255)
    return np.stack([t(Y + 1.772 * (Cb - 128)), t(Y - 0.34414 * (Cb - 128) - 0.71414 * (Cr - 128)),
                     t(Y + 1.402 * (Cr - 128))], axis=2).astype(np.uint8)


def auto_enhance2(img, scales, lum, variance):
    H, W, _ = img.shape
    if lum:
        Y, Cb, Cr = ycbcr(img)
        planes = [(Y + 1).astype(np.float32)]
    else:
        planes = [img[:, :, c].astype(np.float32) + np.float32(1) for c in range(3)]
    K = len(scales)
    tiny = np.nextafter(0, 1)
    lg = lambda a: np.log(np.where(a > 0, a, tiny))
    R = [np.zeros((H, W), np.float32) for _ in planes]
    for s in scales:
        c = rg_coefs(s)
        for p, I in enumerate(planes):
            bl = rg_plane(I, c)
            R[p] = (R[p].astype(np.float64) + (1 / K) * (lg(I.astype(np.float64)) - lg(bl.astype(np.float64)))
                    ).astype(np.float32)
    if lum:
        I0 = planes[0].astype(np.float64)
        R[0] = ((lg(128 * I0) - lg(I0)) * R[0]).astype(np.float32)
    else:
        L = lg(sum(p.astype(np.float64) for p in planes))
        R = [((lg(128 * p.astype(np.float64)) - L) * r).astype(np.float32) for p, r in zip(planes, R)]
    allv = np.concatenate([r.astype(np.float64).ravel() for r in R])
    m = allv.mean()
    d = np.sqrt(max(0.0, (allv * allv).mean() - m * m))
    if d <= 1e-4 * max(1.0, abs(m)):
        d = 0.0
    low = m - variance * d
    rng = (m + variance * d) - low
    if rng == 0:
        rng = 1.0
    out = [np.clip(np.trunc((r.astype(np.float64) - low) * 255 / rng), 0, 255) for r in R]
    if lum:
        return from_ycbcr(out[0], Cb, Cr)
    return np.stack(out, axis=2).astype(np.uint8)


def g3_coefs(s):
    q = 0.0561 * s * s + 0.5784 * s - 0.2568 if s < 3.556 else 2.5091 + 0.9804 * (s - 3.556)
    S = (q + 1.1668) * (q * q + 2.21566 * q + 3.2037296485)
    return (q * (3 * q * q + 6.76492 * q + 5.7889617365) / S, -q * q * (3 * q + 3.38246) / S, q ** 3 / S,
            3.7381117538698 / S)


def g3_lines(X, c, extra=2000):
    """The third-order Gaussian along axis 1 of X (float64): each line
    continued by its last sample for extra samples, causal from the steady
    state of the first sample, anticausal from zero at the far end."""
    a1, a2, a3, B = c
    m, n = X.shape
    e = np.concatenate([X, np.repeat(X[:, -1:], extra, axis=1)], axis=1)
    N = n + extra
    w = np.empty((m, N + 3))
    w[:, :3] = (X[:, 0] / B)[:, None]
    for k in range(N):
        w[:, k + 3] = e[:, k] + a1 * w[:, k + 2] + a2 * w[:, k + 1] + a3 * w[:, k]
    w = w[:, 3:]
    y = np.zeros((m, N + 3))
    B2 = B * B
    for k in range(N - 1, -1, -1):
        y[:, k] = B2 * w[:, k] + a1 * y[:, k + 1] + a2 * y[:, k + 2] + a3 * y[:, k + 3]
    return y[:, :n]


def auto_enhance3(img, gamma, saturation):
    H, W, _ = img.shape
    H2, W2 = H + 8, W + 8
    big = np.zeros((H2, W2, 3), np.uint8)
    big[:H, 8:] = img
    Y, _, _ = ycbcr(big)
    L = (Y / 255).astype(np.float32)
    F = 0.5 * L.astype(np.float64).sum() / ((W2 - 1) * (H2 - 1))

    def stage(P, sigma, F):
        c = g3_coefs(sigma)
        Pd = P.astype(np.float64)
        G = g3_lines(g3_lines(Pd, c).T.copy(), c).T + F
        den = Pd + G
        return np.where(den > 0, Pd * (G + 1) / np.where(den > 0, den, 1), 0).astype(np.float32)

    L1 = stage(L, 3.0, F)
    L2 = stage(L1, 1.5, 0.5 * L1.astype(np.float64).sum() / ((W2 - 1) * (H2 - 1)))
    i = np.arange(256) / 255
    T22 = np.clip(np.rint(255 * i ** (1 / 2.2)), 0, 255).astype(np.int64)
    T22[0] = 1
    TG = np.clip(np.rint(255 * i ** (1 / gamma)), 0, 255).astype(np.int64)
    l = T22[np.trunc(L.astype(np.float64) * 255).astype(np.int64)]
    ratio = L2.astype(np.float64) * 255 / l
    out = TG[np.clip(np.trunc(T22[big] * ratio[:, :, None]), 0, 255).astype(np.int64)].astype(np.float64)
    s = saturation / 100
    Bc, Gc, Rc = out[:, :, 0], out[:, :, 1], out[:, :, 2]
    Yl = 0.3 * Rc + 0.59 * Gc + 0.11 * Bc
    rc = lambda v: np.clip(np.rint(v), 0, 255)
    res = np.stack([rc(Yl + s * (-0.3 * Rc - 0.59 * Gc + 0.89 * Bc)), rc(Yl + s * (-0.3 * Rc + 0.41 * Gc - 0.11 * Bc)),
                    rc((0.7 * Rc - 0.59 * Gc - 0.11 * Bc) * s + Yl)], axis=2).astype(np.uint8)
    return res[:H, 8:]
