// Objects drawn into a bitmap against references drawn with Pillow's
// ImageDraw from the objects' geometry: each object's drawn box agrees
// within one pixel, and at least 90 % of either drawing lies within one
// pixel of the other.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <tuple>
#include <unistd.h>
#include <vector>

#include "../winui/pinned_fonts.h"
#include "vect_fixture.h"

namespace {

namespace fs = std::filesystem;

const char* kPython = "/usr/bin/python3";

bool HavePillow() {
  static const bool have =
      std::system((std::string(kPython) + " -c 'import PIL.ImageDraw, numpy' >/dev/null 2>&1").c_str()) == 0;
  return have;
}

// The reference drawer and the comparison. Each line of the object list:
// name, kind, colour (r g b), pen width, then the kind's numbers. Prints
// "name box-difference share-of-ours share-of-reference" for each object.
const char* kCompare = R"PY(
import math, sys
import numpy as np
from PIL import Image, ImageDraw

ours_img = np.array(Image.open(sys.argv[1]).convert('RGB')).astype(int)
H, W, _ = ours_img.shape

def trunc(v):
    return int(math.trunc(v))

def end_shape(P, Q, B, L, kind):
    dx, dy = Q[0] - P[0], Q[1] - P[1]
    n = math.hypot(dx, dy)
    ux, uy = dx / n, dy / n
    nx, ny = -uy, ux
    def at(O, k, vx, vy):
        return (O[0] + trunc(k * vx), O[1] + trunc(k * vy))
    A = at(P, L, ux, uy)
    if kind == 1:
        return [at(P, B / 2, nx, ny), at(P, -B / 2, nx, ny), A]
    return [at(A, B / 2, nx, ny), at(A, -B / 2, nx, ny), P]

def grow(m):
    g = m.copy()
    g[1:, :] |= m[:-1, :]
    g[:-1, :] |= m[1:, :]
    h = g.copy()
    h[:, 1:] |= g[:, :-1]
    h[:, :-1] |= g[:, 1:]
    return h

def box(m):
    ys, xs = np.nonzero(m)
    return (xs.min(), ys.min(), xs.max(), ys.max())

for line in open(sys.argv[2]):
    f = line.split()
    name, kind = f[0], f[1]
    col = tuple(int(v) for v in f[2:5])
    pw = int(f[5])
    a = [float(v) for v in f[6:]]
    ref = Image.new('L', (W, H), 0)
    d = ImageDraw.Draw(ref)
    ours = np.all(ours_img == col, axis=2)
    if kind == 'line':
        x1, y1, x2, y2, B, L, b, e = a
        d.line([(x1, y1), (x2, y2)], fill=255, width=pw)
        if pw > 1:
            r = pw / 2
            for (x, y) in ((x1, y1), (x2, y2)):
                d.ellipse([x - r, y - r, x + r - 1, y + r - 1], fill=255)
        for (P, Q, k) in (((x1, y1), (x2, y2), b), ((x2, y2), (x1, y1), e)):
            if k:
                t = end_shape(P, Q, B, L, int(k))
                d.polygon(t, fill=255)
                d.line(t + [t[0]], fill=255, width=pw)
    elif kind == 'box':
        x1, y1, x2, y2, filled = a
        d.rectangle([x1, y1, x2, y2], outline=255, fill=255 if filled else None, width=pw)
    elif kind == 'ellipse':
        d.ellipse(a[:4], outline=255, width=pw)
    elif kind == 'arc':
        x1, y1, x2, y2, a1, a2 = a
        rx, ry = (x2 - x1) / 2, (y2 - y1) / 2
        cx, cy = (x1 + x2 + 1) / 2, (y1 + y2 + 1) / 2
        def P(t):
            return (x1 + trunc(rx + math.cos(t) * rx), y1 + trunc(ry + math.sin(t) * ry))
        def deg(p):
            return math.degrees(math.atan2(p[1] - cy, p[0] - cx))
        # Drawn counter-clockwise on the screen from P(a1) to P(a2): in
        # ImageDraw's clockwise angles, from P(a2) to P(a1).
        d.arc([x1, y1, x2, y2], deg(P(a2)), deg(P(a1)), fill=255, width=pw)
    elif kind == 'poly':
        closed = int(a[0])
        pts = [(a[i], a[i + 1]) for i in range(1, len(a), 2)]
        if closed:
            pts = pts + [pts[0]]
        d.line(pts, fill=255, width=pw)
    elif kind == 'bitmap':
        # The picture stretched into the box over black with its alpha
        # ramp, the border's pw nested rectangles in the object's colour.
        x1, y1, x2, y2, pwid, phgt, seed = [int(v) for v in a]
        w, h = x2 - x1 + 1, y2 - y1 + 1
        rgb = np.zeros((H, W, 3), dtype=int)
        for y in range(h):
            sy = y * phgt // h
            for x in range(w):
                sx = x * pwid // w
                al = (sx * 255) // max(1, pwid - 1)
                c = ((sx * 7 + seed) & 255, (sy * 5) & 255, seed & 255)
                rgb[y1 + y, x1 + x] = [(v * al) // 255 for v in c]
        ink = np.any(rgb > 2, axis=2)
        for k in range(pw):
            d.rectangle([x1 + k, y1 + k, x2 - k, y2 - k], outline=255)
        refm = (np.array(ref) > 0) | ink
        region = np.zeros((H, W), dtype=bool)
        region[y1 - 2:y2 + 3, x1 - 2:x2 + 3] = True
        ours = np.any(ours_img > 2, axis=2) & region
        ref = Image.fromarray((refm * 255).astype(np.uint8))
    refm = np.array(ref) > 0
    if not ours.any() or not refm.any():
        print(name, 99, 0, 0)
        continue
    bo, br = box(ours), box(refm)
    diff = max(abs(int(p) - int(q)) for p, q in zip(bo, br))
    f1 = (ours & grow(refm)).sum() / ours.sum()
    f2 = (refm & grow(ours)).sum() / refm.sum()
    print(name, diff, '%.4f' % f1, '%.4f' % f2)
)PY";

// Runs a script with arguments and gives its output's whitespace-separated
// words.
std::vector<std::string> RunScript(const fs::path& Dir, const std::string& Script, const std::string& Args) {
  std::ofstream(Dir / "script.py") << Script;
  std::vector<std::string> words;
  const std::string cmd = std::string(kPython) + " " + (Dir / "script.py").string() + " " + Args;
  if (FILE* f = popen(cmd.c_str(), "r")) {
    char word[256];
    while (std::fscanf(f, "%255s", word) == 1) words.push_back(word);
    pclose(f);
  }
  return words;
}

// A scratch folder of the test's own, removed with it.
struct TScratch {
  fs::path Dir = fs::temp_directory_path() / ("vx_vect_pillow_" + std::to_string(::getpid()));
  TScratch() { fs::create_directories(Dir); }
  ~TScratch() { fs::remove_all(Dir); }
};

void WritePPM(TVXBitmap* b, const fs::path& File) {
  std::ofstream ppm(File, std::ios::binary);
  ppm << "P6\n" << b->Width() << " " << b->Height() << "\n255\n";
  for (int y = 0; y < b->Height(); ++y)
    for (int x = 0; x < b->Width(); ++x) {
      const TRGB p = b->Pixels_vx24RGB(x, y);
      ppm.put(char(p.r)).put(char(p.g)).put(char(p.b));
    }
}

class VectPillowTest : public VectTest {};

TEST_F(VectPillowTest, ShapesAgreeWithImageDraw) {
  if (!HavePillow()) GTEST_SKIP() << "/usr/bin/python3 with PIL (python3-pil) and numpy is missing";
  TVexlaneVect* v = NewVect();
  v->SetObjBitmap(-1, nullptr);
  v->SetObjAntialias(false);
  std::ostringstream list;
  int colourIndex = 0;
  // Each object in a colour of its own, pen and brush alike.
  auto add = [&](TVXVObjectKind Kind, const TRect& R, int32_t Pen, bool Fill, int32_t& Handle) {
    ++colourIndex;
    const uint8_t r = uint8_t(40 + 13 * colourIndex), g = uint8_t(255 - 17 * colourIndex), b = uint8_t(90 + 29 * colourIndex);
    const TColor c = TColor(r | (g << 8) | (b << 16));
    Handle = v->AddNewObject(Kind, R, c, false);
    v->SetObjPenColor(Handle, c);
    v->SetObjPenWidth(Handle, Pen);
    v->SetObjBrushColor(Handle, c);
    v->SetObjBrushStyle(Handle, Fill ? bsSolid : bsClear);
    return std::to_string(r) + " " + std::to_string(g) + " " + std::to_string(b) + " " + std::to_string(Pen);
  };
  int32_t h = 0;
  // Lines of pen widths 1 to 5, an arrow into the line at the begin and
  // out of it at the end, and the other way round; one slanted.
  for (int pw = 1; pw <= 5; ++pw) {
    const bool swap = pw % 2 == 0;
    const int y = 20 + 30 * (pw - 1), y2 = pw == 5 ? y + 25 : y;
    const std::string c = add(vxkLINE, TRect{20, y, 160, y2}, pw, true, h);
    v->SetObjBeginShape(h, swap ? vxsOUTARROW : vxsINARROW);
    v->SetObjEndShape(h, swap ? vxsINARROW : vxsOUTARROW);
    list << "line" << pw << " line " << c << " 20 " << y << " 160 " << y2 << " 10 20 " << (swap ? 2 : 1) << " "
         << (swap ? 1 : 2) << "\n";
  }
  for (int pw : {1, 3}) {
    const int x = pw == 1 ? 200 : 260;
    std::string c = add(vxkBOX, TRect{x, 20, x + 40, 50}, pw, false, h);
    list << "box" << pw << " box " << c << " " << x << " 20 " << x + 40 << " 50 0\n";
    c = add(vxkBOX, TRect{x + 120, 20, x + 160, 50}, pw, true, h);
    list << "filledbox" << pw << " box " << c << " " << x + 120 << " 20 " << x + 160 << " 50 1\n";
  }
  std::string c = add(vxkELLIPSE, TRect{200, 70, 270, 110}, 1, false, h);
  list << "ellipse ellipse " << c << " 200 70 270 110\n";
  c = add(vxkELLIPSE, TRect{290, 70, 330, 130}, 2, false, h);
  list << "ellipse2 ellipse " << c << " 290 70 330 130\n";
  for (const auto& [a1, a2, x] : {std::tuple{0.3, 2.5, 350}, std::tuple{4.0, 1.0, 420}}) {
    c = add(vxkARC, TRect{x, 70, x + 60, 130}, 1, false, h);
    v->SetObjArcStartingAngle(h, a1);
    v->SetObjArcEndingAngle(h, a2);
    list << "arc" << x << " arc " << c << " " << x << " 70 " << x + 60 << " 130 " << a1 << " " << a2 << "\n";
  }
  for (const bool closed : {true, false}) {
    const int x = closed ? 200 : 300;
    const std::vector<TPoint> pts{{x, 150}, {x + 60, 160}, {x + 30, 200}, {x + 70, 210}};
    c = add(vxkPOLYLINE, TRect{0, 0, 1, 1}, 1, false, h);
    v->SetObjPolylinePoints(h, pts);
    v->SetObjPolylineClosed(h, closed);
    list << (closed ? "closed" : "open") << " poly " << c << " " << int(closed);
    for (const TPoint& p : pts) list << " " << p.X << " " << p.Y;
    list << "\n";
  }
  // A 10 x 10 picture with an alpha ramp stretched to 40 x 40, with a
  // border of two nested rectangles; the lowest and rightmost object.
  auto pic = Picture(10, 10, 200, true);
  c = add(vxkBITMAP, TRect{440, 180, 479, 219}, 2, false, h);
  v->SetObjBitmap(h, pic.get());
  v->SetObjBitmapBorder(h, true);
  list << "bitmap bitmap " << c << " 440 180 479 219 10 10 200\n";

  TVXBitmap b;
  v->DrawObjectsToBitmap(&b, false, true);
  EXPECT_EQ(b.Width(), 480 + 2);  // the second arc reaches x = 480
  EXPECT_EQ(b.Height(), 219 + 2);
  TScratch scratch;
  WritePPM(&b, scratch.Dir / "ours.ppm");
  std::ofstream(scratch.Dir / "objects.txt") << list.str();
  const std::vector<std::string> words =
      RunScript(scratch.Dir, kCompare, (scratch.Dir / "ours.ppm").string() + " " + (scratch.Dir / "objects.txt").string());
  std::map<std::string, std::tuple<int, double, double>> got;
  for (size_t i = 0; i + 3 < words.size(); i += 4)
    got[words[i]] = {std::atoi(words[i + 1].c_str()), std::atof(words[i + 2].c_str()), std::atof(words[i + 3].c_str())};
  std::istringstream names(list.str());
  std::string line;
  int objects = 0;
  while (std::getline(names, line)) {
    const std::string name = line.substr(0, line.find(' '));
    ++objects;
    ASSERT_TRUE(got.count(name)) << name << ": no reference";
    const auto [diff, ours, ref] = got[name];
    EXPECT_LE(diff, 1) << name << ": drawn boxes differ";
    EXPECT_GE(ours, 0.9) << name << ": share of our drawing near the reference";
    EXPECT_GE(ref, 0.9) << name << ": share of the reference near our drawing";
  }
  EXPECT_EQ(v->ObjDrawed(), objects);
}

// The same string put by FreeType through Pillow at the offsets of a
// straight text at 0 degrees: left, right or centred in the box, centred
// vertically by the text's extent. Prints the ink box "left top right bottom".
const char* kText = R"PY(
import math, sys
import numpy as np
from PIL import Image, ImageDraw, ImageFont

text, align = sys.argv[1], sys.argv[2]
x1, y1, x2, y2, size, W, H = [int(v) for v in sys.argv[3:10]]
font = ImageFont.truetype('/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf', size)
cx = sum(int(round(font.getlength(ch))) for ch in text)
ascent, descent = font.getmetrics()
cy = ascent + descent
w, hgt = x2 - x1, y2 - y1
v = math.trunc(hgt - cy) // 2
h = {'left': 0, 'right': math.trunc(w - cx), 'centre': math.trunc(w - cx) // 2}[align]
im = Image.new('L', (W, H), 0)
ImageDraw.Draw(im).text((x1 + h, y1 + v), text, font=font, fill=255)
ys, xs = np.nonzero(np.array(im) > 96)
print(xs.min(), ys.min(), xs.max(), ys.max())
)PY";

TEST_F(VectPillowTest, StraightTextsSitWhereFreeTypePutsThem) {
  if (!HavePillow()) GTEST_SKIP() << "/usr/bin/python3 with PIL (python3-pil) and numpy is missing";
  struct TCase {
    TVXAlignment Align;
    const char* Name;
  };
  TScratch scratch;
  for (const TCase& c : {TCase{vxjLeft, "left"}, TCase{vxjCenter, "centre"}, TCase{vxjRight, "right"}}) {
    SCOPED_TRACE(c.Name);
    TVexlaneVect* v = NewVect();
    v->SetObjBitmap(-1, nullptr);
    v->SetObjAntialias(false);
    v->SetObjFontName(-1, "DejaVu Sans");
    v->SetObjFontHeight(-1, -16);
    const int32_t h = v->AddNewObject(vxkTEXT, TRect{10, 10, 209, 49}, 0xFFFFFF, false);
    v->SetObjText(h, u"Wxyz Hg");
    v->SetObjTextAlign(h, c.Align);
    v->SetObjPenStyle(h, psClear);
    TVXBitmap b;
    b.Allocate(220, 60, vx24RGB);
    b.Fill(0);
    v->DrawObjectsToBitmap(&b, false, true);
    TRect ink{INT32_MAX, INT32_MAX, INT32_MIN, INT32_MIN};
    for (int y = 0; y < b.Height(); ++y)
      for (int x = 0; x < b.Width(); ++x)
        if (b.Pixels_vx24RGB(x, y).g > 96) {
          ink.Left = std::min(ink.Left, x), ink.Right = std::max(ink.Right, x);
          ink.Top = std::min(ink.Top, y), ink.Bottom = std::max(ink.Bottom, y);
        }
    ASSERT_LE(ink.Left, ink.Right) << "no ink";
    const std::vector<std::string> want =
        RunScript(scratch.Dir, kText, std::string("'Wxyz Hg' ") + c.Name + " 10 10 209 49 16 220 60");
    ASSERT_EQ(want.size(), 4u) << "no reference";
    EXPECT_NEAR(ink.Left, std::atoi(want[0].c_str()), 2);
    EXPECT_NEAR(ink.Top, std::atoi(want[1].c_str()), 2);
    EXPECT_NEAR(ink.Right, std::atoi(want[2].c_str()), 2);
    EXPECT_NEAR(ink.Bottom, std::atoi(want[3].c_str()), 2);
    delete v;
  }
}

}  // namespace
