// The system icons: our own pictures, drawn at the size asked for from a few
// shapes (discs, triangles, bars), anti-aliased by 4 x 4 samples per pixel.
#include <algorithm>
#include <cmath>
#include <map>
#include <mutex>
#include <tuple>
#include <utility>
#include <vector>

#include "winui/win_icon.h"
#include "winui/win_input.h"

namespace {

struct TShapePainter {
  int W, H;
  std::vector<uint32_t> Pixels;  // 0xAARRGGBB, premultiplied while painting
  TShapePainter(int w, int h) : W(w), H(h), Pixels(size_t(w) * size_t(h), 0) {}

  // Paints Colour (0xRRGGBB) where Inside(u, v) holds, u and v in 0..1 of
  // the icon's width and height, over what is there.
  template <class F>
  void Fill(uint32_t Colour, F Inside) {
    for (int y = 0; y < H; ++y)
      for (int x = 0; x < W; ++x) {
        int hits = 0;
        for (int sy = 0; sy < 4; ++sy)
          for (int sx = 0; sx < 4; ++sx)
            if (Inside((x + (sx + 0.5) / 4) / W, (y + (sy + 0.5) / 4) / H)) ++hits;
        if (!hits) continue;
        uint32_t& p = Pixels[size_t(y) * size_t(W) + size_t(x)];
        const int a = hits * 255 / 16;
        auto mix = [&](int shift) {
          const int s = (Colour >> shift) & 0xFF, d = (p >> shift) & 0xFF;
          return uint32_t((s * a + d * (255 - a)) / 255) << shift;
        };
        const int da = int(p >> 24);
        const uint32_t na = uint32_t(a + da * (255 - a) / 255);
        p = (na << 24) | mix(16) | mix(8) | mix(0);
      }
  }
};

bool Disc(double u, double v, double cx, double cy, double r) { return (u - cx) * (u - cx) + (v - cy) * (v - cy) <= r * r; }
bool Box(double u, double v, double l, double t, double r, double b) { return u >= l && u < r && v >= t && v < b; }
// Distance from (u, v) to the segment (ax, ay)-(bx, by) below w / 2.
bool Stroke(double u, double v, double ax, double ay, double bx, double by, double w) {
  const double dx = bx - ax, dy = by - ay, l2 = dx * dx + dy * dy;
  double t = l2 > 0 ? ((u - ax) * dx + (v - ay) * dy) / l2 : 0;
  t = std::clamp(t, 0.0, 1.0);
  const double px = ax + t * dx - u, py = ay + t * dy - v;
  return px * px + py * py <= w * w / 4;
}

bool Draw(uintptr_t Id, TShapePainter& P) {
  switch (Id) {
    case IDI_APPLICATION:
      P.Fill(0x404040, [](double u, double v) { return Box(u, v, 0.06, 0.12, 0.94, 0.88); });
      P.Fill(0xFFFFFF, [](double u, double v) { return Box(u, v, 0.1, 0.26, 0.9, 0.84); });
      P.Fill(0x2060C0, [](double u, double v) { return Box(u, v, 0.1, 0.16, 0.9, 0.26); });
      return true;
    case IDI_HAND:  // a red disc with a white cross
      P.Fill(0xC01010, [](double u, double v) { return Disc(u, v, 0.5, 0.5, 0.47); });
      P.Fill(0xFFFFFF, [](double u, double v) {
        return Stroke(u, v, 0.32, 0.32, 0.68, 0.68, 0.11) || Stroke(u, v, 0.68, 0.32, 0.32, 0.68, 0.11);
      });
      return true;
    case IDI_QUESTION:  // a blue disc with a white hook and dot
      P.Fill(0x1E5AC8, [](double u, double v) { return Disc(u, v, 0.5, 0.5, 0.47); });
      P.Fill(0xFFFFFF, [](double u, double v) {
        const double r = std::hypot(u - 0.5, v - 0.37);
        const bool arc = r >= 0.09 && r <= 0.19 && !(v > 0.37 && u < 0.5);
        return arc || Box(u, v, 0.45, 0.5, 0.55, 0.64) || Disc(u, v, 0.5, 0.76, 0.06);
      });
      return true;
    case IDI_EXCLAMATION:  // a yellow triangle with a black bar and dot
      P.Fill(0xF0C000, [](double u, double v) {
        return v >= 0.06 && v <= 0.94 && std::abs(u - 0.5) <= (v - 0.06) * 0.53;
      });
      P.Fill(0x000000, [](double u, double v) { return Box(u, v, 0.45, 0.34, 0.55, 0.7) || Disc(u, v, 0.5, 0.8, 0.055); });
      return true;
    case IDI_ASTERISK:  // a blue disc with a white "i"
      P.Fill(0x1E5AC8, [](double u, double v) { return Disc(u, v, 0.5, 0.5, 0.47); });
      P.Fill(0xFFFFFF, [](double u, double v) { return Disc(u, v, 0.5, 0.27, 0.065) || Box(u, v, 0.44, 0.4, 0.56, 0.78); });
      return true;
    case IDI_WINLOGO:  // four coloured panes
      P.Fill(0xE04020, [](double u, double v) { return Box(u, v, 0.08, 0.08, 0.48, 0.48); });
      P.Fill(0x40B020, [](double u, double v) { return Box(u, v, 0.52, 0.08, 0.92, 0.48); });
      P.Fill(0x2070E0, [](double u, double v) { return Box(u, v, 0.08, 0.52, 0.48, 0.92); });
      P.Fill(0xF0C000, [](double u, double v) { return Box(u, v, 0.52, 0.52, 0.92, 0.92); });
      return true;
    case IDI_SHIELD:  // a shield of blue and yellow quarters
      P.Fill(0x2060C0, [](double u, double v) {
        const bool body = v >= 0.06 && v <= 0.6 && u >= 0.14 && u <= 0.86;
        const bool tip = v > 0.6 && v <= 0.94 && std::abs(u - 0.5) <= (0.94 - v) * 1.06;
        return body || tip;
      });
      P.Fill(0xF0C000, [](double u, double v) {
        const bool tl = v >= 0.1 && v < 0.5 && u >= 0.18 && u < 0.5;
        const bool br = v >= 0.5 && v <= 0.9 && u >= 0.5 && u <= 0.82 && std::abs(u - 0.5) <= (0.94 - v) * 1.06;
        return tl || br;
      });
      return true;
    default:
      return false;
  }
}

HICON MakeIcon(uintptr_t Id, int W, int H) {
  TShapePainter p(W, H);
  if (!Draw(Id, p)) return nullptr;
  vxwin::IconImage img;
  img.Width = W;
  img.Height = H;
  img.Icon = true;
  img.OwnAlpha = true;
  img.AndMask.resize(p.Pixels.size());
  for (size_t i = 0; i < p.Pixels.size(); ++i) {
    const uint32_t a = p.Pixels[i] >> 24;
    img.AndMask[i] = a == 0 ? 1 : 0;
    if (a == 0) p.Pixels[i] = 0;
  }
  img.Pixels = std::move(p.Pixels);
  return vxwin::AddIconImage(std::move(img));
}

std::mutex& SharedLock() {
  static std::mutex m;
  return m;
}
std::map<std::tuple<uintptr_t, int, int>, HICON>& SharedIcons() {
  static std::map<std::tuple<uintptr_t, int, int>, HICON> m;
  return m;
}

HICON SharedIcon(uintptr_t Id, int W, int H) {
  std::lock_guard<std::mutex> l(SharedLock());
  auto key = std::make_tuple(Id, W, H);
  auto it = SharedIcons().find(key);
  int w, h;
  if (it != SharedIcons().end() && VXCursorSize(it->second, w, h)) return it->second;
  HICON icon = MakeIcon(Id, W, H);
  if (icon) SharedIcons()[key] = icon;
  return icon;
}

}  // namespace

HICON LoadIconW(HINSTANCE hInstance, uintptr_t IconNumber) {
  if (hInstance) return nullptr;
  return SharedIcon(IconNumber, 32, 32);
}

HANDLE LoadImageW(HINSTANCE hInstance, uintptr_t Name, UINT Type, int cx, int cy, UINT fuLoad) {
  if (hInstance || Type != IMAGE_ICON || cx < 0 || cy < 0 || cx > 256 || cy > 256) return nullptr;
  const int w = cx ? cx : 32, h = cy ? cy : 32;
  if (fuLoad & LR_SHARED) return SharedIcon(Name, w, h);
  return MakeIcon(Name, w, h);
}
