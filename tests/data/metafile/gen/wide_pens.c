/* Draws single strokes of wide pens (CreatePen, widths 2 to 6) on 40 x 40
   24-bit DIB sections, one picture per call: lines in nineteen directions,
   a polyline, a polygon, a rectangle, and ellipses, arcs, pies and a
   rounded rectangle in several boxes; two strokes whose parts overlap
   with R2_XORPEN; and closed shapes with PS_INSIDEFRAME pens. Writes them
   to the file given, each as a line naming the call (the call's name, the
   width, "copy", "xor" or "frame" for the last, and its numbers) and 40
   rows: '.' white, '#' the pen's colour, 'm' white xored with the pen's
   green, '?' anything else. Built with x86_64-w64-mingw32-gcc and run under
   wine by make-probes; the tests only read what it wrote. */
#include <windows.h>
#include <stdio.h>
#include <string.h>

enum { LINE, POLYLINE, POLYGON, RECT_, ELLIPSE, ARC, PIE, ROUNDRECT };
static const char* names[] = {"line", "polyline", "polygon", "rectangle", "ellipse", "arc", "pie", "roundrect"};
static FILE* out;

static void one(int shape, int w, int rop, const int* v, int n) {
  int frame = rop < 0;
  if (frame) rop = R2_COPYPEN;
  BITMAPINFO bi;
  memset(&bi, 0, sizeof bi);
  bi.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  bi.bmiHeader.biWidth = 40;
  bi.bmiHeader.biHeight = -40;
  bi.bmiHeader.biPlanes = 1;
  bi.bmiHeader.biBitCount = 24;
  unsigned char* bits = NULL;
  HDC dc = CreateCompatibleDC(NULL);
  HBITMAP bm = CreateDIBSection(dc, &bi, DIB_RGB_COLORS, (void**)&bits, NULL, 0);
  HGDIOBJ oldBm = SelectObject(dc, bm);
  RECT r = {0, 0, 40, 40};
  FillRect(dc, &r, (HBRUSH)GetStockObject(WHITE_BRUSH));
  HPEN pen = CreatePen(frame ? PS_INSIDEFRAME : PS_SOLID, w, rop == R2_XORPEN ? RGB(0, 255, 0) : RGB(0, 0, 0));
  HGDIOBJ oldPen = SelectObject(dc, pen);
  HGDIOBJ oldBrush = SelectObject(dc, GetStockObject(NULL_BRUSH));
  SetROP2(dc, rop);
  POINT pts[16];
  for (int i = 0; i + 1 < n && i / 2 < 16; i += 2) pts[i / 2].x = v[i], pts[i / 2].y = v[i + 1];
  switch (shape) {
    case LINE: MoveToEx(dc, v[0], v[1], NULL); LineTo(dc, v[2], v[3]); break;
    case POLYLINE: Polyline(dc, pts, n / 2); break;
    case POLYGON: Polygon(dc, pts, n / 2); break;
    case RECT_: Rectangle(dc, v[0], v[1], v[2], v[3]); break;
    case ELLIPSE: Ellipse(dc, v[0], v[1], v[2], v[3]); break;
    case ARC: Arc(dc, v[0], v[1], v[2], v[3], v[4], v[5], v[6], v[7]); break;
    case PIE: Pie(dc, v[0], v[1], v[2], v[3], v[4], v[5], v[6], v[7]); break;
    case ROUNDRECT: RoundRect(dc, v[0], v[1], v[2], v[3], v[4], v[5]); break;
  }
  GdiFlush();
  fprintf(out, "%s %d %s", names[shape], w, frame ? "frame" : rop == R2_XORPEN ? "xor" : "copy");
  for (int i = 0; i < n; ++i) fprintf(out, " %d", v[i]);
  fprintf(out, "\n");
  for (int y = 0; y < 40; ++y) {
    for (int x = 0; x < 40; ++x) {
      const unsigned char* s = bits + y * 120 + x * 3;
      int c = s[0] | s[1] << 8 | s[2] << 16;
      fputc(c == 0xFFFFFF ? '.' : c == 0 ? '#' : c == 0xFF00FF ? 'm' : '?', out);
    }
    fputc('\n', out);
  }
  SelectObject(dc, oldPen);
  SelectObject(dc, oldBrush);
  SelectObject(dc, oldBm);
  DeleteObject(pen);
  DeleteObject(bm);
  DeleteDC(dc);
}

int main(int argc, char** argv) {
  if (argc < 2 || !(out = fopen(argv[1], "wb"))) return 1;
  static const int dirs[][2] = {{30, 0},   {30, 5},    {30, 13},  {30, 30},  {13, 30},  {5, 30},    {0, 30},
                                {-30, 13}, {-13, 30},  {30, -13}, {13, -30}, {-30, -13}, {-13, -30}, {-30, -5},
                                {30, -30}, {-30, 0},   {0, -30},  {-30, 30}, {-30, -30}};
  static const int boxes[][4] = {{6, 8, 33, 29}, {5, 5, 35, 35}, {3, 10, 36, 24}, {10, 3, 24, 36}};
  for (int w = 2; w <= 6; ++w) {
    for (int d = 0; d < 19; ++d) {
      int x0 = dirs[d][0] < 0 ? 34 : 5, y0 = dirs[d][1] < 0 ? 34 : 5;
      int v[4] = {x0, y0, x0 + dirs[d][0], y0 + dirs[d][1]};
      one(LINE, w, R2_COPYPEN, v, 4);
    }
    int pl[] = {5, 5, 30, 12, 10, 33};
    one(POLYLINE, w, R2_COPYPEN, pl, 6);
    int pg[] = {5, 5, 30, 12, 33, 30, 8, 25};
    one(POLYGON, w, R2_COPYPEN, pg, 8);
    int rc[] = {8, 8, 30, 28};
    one(RECT_, w, R2_COPYPEN, rc, 4);
    for (int k = 0; k < 4; ++k) {
      int e[8] = {boxes[k][0], boxes[k][1], boxes[k][2], boxes[k][3], 40, 18, 0, 0};
      one(ELLIPSE, w, R2_COPYPEN, e, 4);
      one(ARC, w, R2_COPYPEN, e, 8);
      e[7] = 18;
      one(PIE, w, R2_COPYPEN, e, 8);
    }
    int rr[] = {3, 3, 36, 20, 12, 10};
    one(ROUNDRECT, w, R2_COPYPEN, rr, 6);
  }
  int xl[] = {3, 3, 5, 3};
  one(LINE, 3, R2_XORPEN, xl, 4);
  int xp[] = {5, 5, 30, 12, 10, 33, 30, 30};
  one(POLYLINE, 5, R2_XORPEN, xp, 8);
  /* Inside the frame: the outline pulled in so that the pen stays within
     the box (rop -1 stands for PS_INSIDEFRAME). */
  for (int w = 1; w <= 6; ++w) {
    int rc2[] = {8, 8, 30, 28}, el[] = {6, 8, 33, 29, 40, 18, 0, 18}, el2[] = {10, 3, 24, 36}, rr[] = {3, 3, 36, 20, 12, 10};
    one(RECT_, w, -1, rc2, 4);
    one(ELLIPSE, w, -1, el, 4);
    one(ELLIPSE, w, -1, el2, 4);
    one(PIE, w, -1, el, 8);
    one(ARC, w, -1, el, 8);
    one(ROUNDRECT, w, -1, rr, 6);
  }
  fclose(out);
  return 0;
}
