// Drawing vector objects: 10,000 mixed opaque objects (lines, boxes,
// ellipses, polylines) drawn into a 1920 x 1080 bitmap by the vector layer,
// and in the same run the same primitives drawn by cairo into a 1920 x 1080
// image surface, neither antialiased. Then 1,000 half-transparent boxes
// composited onto a target with an alpha channel of 480 x 270 and of
// 1920 x 1080: the compositing cost should follow the objects, not the
// target. Prints "vect-paint composite: <g>x time for a 16x larger target",
// then last "vect-paint: <r>x cairo" (cairo's time over ours).
#include <cairo.h>

#include <cstdio>
#include <random>
#include <vector>

#include "bench/bench_util.h"
#include "core/startup.h"
#include "vect/vexlanevect.h"

namespace {

struct TPrim {
  TVXVObjectKind Kind;
  TRect R;
  int32_t Pen;
  TColor Colour;
  bool Filled;
  std::vector<TPoint> Points;
};

std::vector<TPrim> MakePrims(int N, int W, int H) {
  std::mt19937 rng(7);
  std::vector<TPrim> out;
  for (int i = 0; i < N; ++i) {
    TPrim p;
    const TVXVObjectKind kinds[] = {vxkLINE, vxkBOX, vxkELLIPSE, vxkPOLYLINE};
    p.Kind = kinds[i % 4];
    const int x = int(rng() % uint32_t(W - 80)), y = int(rng() % uint32_t(H - 80));
    p.R = TRect{x, y, x + 10 + int(rng() % 60), y + 10 + int(rng() % 60)};
    p.Pen = 1 + int(rng() % 3);
    p.Colour = TColor(rng() & 0xFFFFFF);
    p.Filled = (i / 4) % 2 == 0;
    if (p.Kind == vxkPOLYLINE)
      for (int k = 0; k < 5; ++k) p.Points.push_back(TPoint{x + int(rng() % 60), y + int(rng() % 60)});
    out.push_back(p);
  }
  return out;
}

void Fill(TVexlaneVect& v, const std::vector<TPrim>& prims, int32_t Transparency) {
  v.RemoveAllObjects();
  for (const TPrim& p : prims) {
    const int32_t h = v.AddNewObject(p.Kind, p.R, p.Colour, false);
    v.SetObjPenWidth(h, p.Pen);
    v.SetObjTransparency(h, Transparency);
    if (p.Filled && p.Kind != vxkLINE) {
      v.SetObjBrushStyle(h, bsSolid);
      v.SetObjBrushColor(h, TColor(p.Colour ^ 0x808080));
    }
    if (p.Kind == vxkPOLYLINE) v.SetObjPolylinePoints(h, p.Points);
  }
}

void CairoDraw(cairo_t* cr, const std::vector<TPrim>& prims) {
  cairo_set_antialias(cr, CAIRO_ANTIALIAS_NONE);
  for (const TPrim& p : prims) {
    const double r = (p.Colour & 0xFF) / 255.0, g = ((p.Colour >> 8) & 0xFF) / 255.0, b = ((p.Colour >> 16) & 0xFF) / 255.0;
    cairo_set_line_width(cr, p.Pen);
    cairo_new_path(cr);
    switch (p.Kind) {
      case vxkLINE:
        cairo_move_to(cr, p.R.Left + 0.5, p.R.Top + 0.5);
        cairo_line_to(cr, p.R.Right + 0.5, p.R.Bottom + 0.5);
        break;
      case vxkBOX:
        cairo_rectangle(cr, p.R.Left + 0.5, p.R.Top + 0.5, p.R.Right - p.R.Left, p.R.Bottom - p.R.Top);
        break;
      case vxkELLIPSE: {
        const double cx = (p.R.Left + p.R.Right + 1) / 2.0, cy = (p.R.Top + p.R.Bottom + 1) / 2.0;
        cairo_save(cr);
        cairo_translate(cr, cx, cy);
        cairo_scale(cr, (p.R.Right - p.R.Left + 1) / 2.0, (p.R.Bottom - p.R.Top + 1) / 2.0);
        cairo_arc(cr, 0, 0, 1, 0, 6.283185307179586);
        cairo_restore(cr);
        break;
      }
      default:
        for (size_t k = 0; k < p.Points.size(); ++k)
          (k ? cairo_line_to : cairo_move_to)(cr, p.Points[k].X + 0.5, p.Points[k].Y + 0.5);
        break;
    }
    if (p.Filled && p.Kind != vxkLINE) {
      const TColor f = TColor(p.Colour ^ 0x808080);
      cairo_set_source_rgb(cr, (f & 0xFF) / 255.0, ((f >> 8) & 0xFF) / 255.0, ((f >> 16) & 0xFF) / 255.0);
      cairo_fill_preserve(cr);
    }
    cairo_set_source_rgb(cr, r, g, b);
    cairo_stroke(cr);
  }
}

template <class F>
double Best(int Runs, F f) {
  double best = 1e9;
  for (int i = 0; i < Runs; ++i) {
    const auto t0 = vxbench::Clock::now();
    f();
    best = std::min(best, vxbench::Seconds(t0, vxbench::Clock::now()));
  }
  return best;
}

}  // namespace

int main() {
  TVXLibraryGuard library;
  constexpr int W = 1920, H = 1080;
  TVexlaneVect v(nullptr);
  v.SetObjAntialias(false);

  // Compositing: the same 1,000 boxes on a small and a 16 times larger target.
  const std::vector<TPrim> boxes = [] {
    std::vector<TPrim> b = MakePrims(4000, 480, 270);
    std::vector<TPrim> only;
    for (const TPrim& p : b)
      if (p.Kind == vxkBOX && only.size() < 1000) only.push_back(p);
    return only;
  }();
  Fill(v, boxes, 128);
  auto composite = [&](int w, int h) {
    return Best(3, [&] {
      TVXBitmap t;
      t.Allocate(w, h, vx24RGB);
      t.Fill(0);
      t.AlphaChannel()->Fill(0);
      v.DrawObjectsToBitmap(&t, false, false);
    });
  };
  const double small = composite(480, 270), large = composite(W, H);
  std::printf("composite 1,000 boxes: %.1f ms on 480 x 270, %.1f ms on 1920 x 1080\n", small * 1e3, large * 1e3);
  std::printf("vect-paint composite: %.2fx time for a 16x larger target\n", large / small);

  // Opaque objects against cairo.
  const std::vector<TPrim> prims = MakePrims(10000, W, H);
  Fill(v, prims, 255);
  TVXBitmap target;
  target.Allocate(W, H, vx24RGB);
  const double ours = Best(3, [&] {
    target.Fill(0);
    v.DrawObjectsToBitmap(&target, false, false);
  });
  cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_RGB24, W, H);
  const double cairo = Best(3, [&] {
    cairo_t* cr = cairo_create(s);
    cairo_set_source_rgb(cr, 0, 0, 0);
    cairo_paint(cr);
    CairoDraw(cr, prims);
    cairo_destroy(cr);
    cairo_surface_flush(s);
  });
  cairo_surface_destroy(s);
  std::printf("10,000 objects into 1920 x 1080: %.1f ms, cairo %.1f ms\n", ours * 1e3, cairo * 1e3);
  std::printf("vect-paint: %.2fx cairo\n", cairo / ours);
  return 0;
}
