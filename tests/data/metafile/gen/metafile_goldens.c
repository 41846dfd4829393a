/* Records seeded scenes through the platform's recording device contexts
   (enhanced metafiles, and Windows metafiles behind a placeable header) and
   plays each into 24-bit DIB sections: at its own size on white, at another
   size on white, and at its own size on the key colour (red 3, green 2,
   blue 1). Writes NAME.emf / NAME.wmf and NAME_own.ppm, NAME_big.ppm,
   NAME_key.ppm into the folder given. Built with x86_64-w64-mingw32-gcc and
   run under wine64 by make-goldens; the tests only read what it wrote. */
#include <windows.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

static char outdir[1024];
static unsigned seed = 12345;
static int rnd(int n) {
  seed = seed * 1103515245u + 12345u;
  return (int)((seed >> 16) % (unsigned)n);
}

static void write_file(const char* name, const void* data, size_t n) {
  char path[1200];
  snprintf(path, sizeof path, "%s\\%s", outdir, name);
  FILE* f = fopen(path, "wb");
  if (!f) exit(2);
  fwrite(data, 1, n, f);
  fclose(f);
}

static void play(HENHMETAFILE h, const char* name, const char* suffix, int w, int h2, COLORREF fill) {
  BITMAPINFO bi;
  memset(&bi, 0, sizeof bi);
  bi.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  bi.bmiHeader.biWidth = w;
  bi.bmiHeader.biHeight = -h2;
  bi.bmiHeader.biPlanes = 1;
  bi.bmiHeader.biBitCount = 24;
  void* bits = NULL;
  HDC dc = CreateCompatibleDC(NULL);
  HBITMAP bm = CreateDIBSection(dc, &bi, DIB_RGB_COLORS, &bits, NULL, 0);
  HGDIOBJ old = SelectObject(dc, bm);
  HBRUSH b = CreateSolidBrush(fill);
  RECT r = {0, 0, w, h2};
  FillRect(dc, &r, b);
  DeleteObject(b);
  PlayEnhMetaFile(dc, h, &r);
  GdiFlush();
  int stride = (w * 3 + 3) & ~3;
  char head[64];
  int hn = snprintf(head, sizeof head, "P6\n%d %d\n255\n", w, h2);
  size_t n = (size_t)hn + (size_t)w * h2 * 3;
  unsigned char* out = malloc(n);
  memcpy(out, head, hn);
  unsigned char* p = out + hn;
  for (int y = 0; y < h2; ++y)
    for (int x = 0; x < w; ++x) {
      unsigned char* s = (unsigned char*)bits + y * stride + x * 3;
      *p++ = s[2];
      *p++ = s[1];
      *p++ = s[0];
    }
  char fn[256];
  snprintf(fn, sizeof fn, "%s_%s.ppm", name, suffix);
  write_file(fn, out, n);
  free(out);
  SelectObject(dc, old);
  DeleteObject(bm);
  DeleteDC(dc);
}

static COLORREF colour(void) {
  static const COLORREF c[] = {RGB(200, 30, 30), RGB(30, 160, 40), RGB(40, 50, 210), RGB(230, 200, 20),
                               RGB(120, 20, 140), RGB(0, 0, 0)};
  return c[rnd(6)];
}

/* One scene of every shape family; the same calls for both kinds. */
static void scene(HDC dc, int kind, int w, int h) {
  HPEN pen = CreatePen(PS_SOLID, 1 + rnd(3), colour());
  HBRUSH br = CreateSolidBrush(colour());
  HGDIOBJ op = SelectObject(dc, pen), ob = SelectObject(dc, br);
  switch (kind) {
    case 0:
      Rectangle(dc, 4 + rnd(8), 4 + rnd(8), w / 2 + rnd(10), h / 2 + rnd(10));
      Ellipse(dc, w / 3, h / 3, w - 3 - rnd(5), h - 3 - rnd(5));
      break;
    case 1: {
      POINT pts[5];
      for (int i = 0; i < 5; ++i) pts[i].x = 3 + rnd(w - 6), pts[i].y = 3 + rnd(h - 6);
      SetPolyFillMode(dc, WINDING);
      Polygon(dc, pts, 5);
      MoveToEx(dc, 2, h - 3, NULL);
      LineTo(dc, w - 2, 3);
      Polyline(dc, pts, 3);
      break;
    }
    case 2:
      RoundRect(dc, 3, 3, w - 4, h / 2, 12, 10);
      Pie(dc, 5, h / 3, w - 5, h - 2, w, h / 2, 0, h / 2);
      Arc(dc, 2, 2, w - 2, h - 2, 0, 0, w, 0);
      break;
    case 3: {
      SaveDC(dc);
      SelectObject(dc, GetStockObject(NULL_PEN));
      SelectObject(dc, GetStockObject(GRAY_BRUSH));
      Rectangle(dc, 2, 2, w / 2, h / 2);
      RestoreDC(dc, -1);
      HBRUSH hb = CreateHatchBrush(HS_CROSS, colour());
      SelectObject(dc, hb);
      SetBkMode(dc, TRANSPARENT);
      Rectangle(dc, w / 3, h / 3, w - 3, h - 3);
      SelectObject(dc, br);
      DeleteObject(hb);
      break;
    }
    case 4: {
      /* Text in three bands, each at a reference point and alignment. */
      HFONT f = CreateFontW(-14, 0, 0, 0, FW_NORMAL, 0, 0, 0, DEFAULT_CHARSET, 0, 0, 0, 0, L"DejaVu Sans");
      HGDIOBJ of = SelectObject(dc, f);
      SetBkMode(dc, TRANSPARENT);
      SetTextColor(dc, RGB(0, 0, 0));
      SetTextAlign(dc, TA_LEFT | TA_TOP);
      TextOutW(dc, 4, 3, L"Ag", 2);
      SetTextAlign(dc, TA_RIGHT | TA_BASELINE);
      TextOutW(dc, w - 4, h / 3 + 16, L"Hx", 2);
      SetTextAlign(dc, TA_CENTER | TA_BOTTOM);
      TextOutW(dc, w / 2, h - 2, L"Mi", 2);
      SelectObject(dc, of);
      DeleteObject(f);
      break;
    }
    case 5: {
      /* Pattern brushes: an 8 x 8 24-bit DIB and an 8 x 8 8-bit DIB of
         palette indexes in 4 x 4 blocks, and a 32 x 16 monochrome bitmap
         (the text and background colours) in 4 x 8 blocks, so that their
         inner pixels are flat. The monochrome rows are a whole number of
         both words and double words and read the same from either end, and
         the palette indexes name the default palette's entries of the same
         number: the pictures are then the same however a player aligns or
         orders rows or resolves indexes (Wine's own player differs from the
         platform's documentation in each). */
      static const COLORREF quarter24[4] = {RGB(200, 30, 30), RGB(30, 160, 40), RGB(40, 50, 210), RGB(230, 200, 20)};
      static const BYTE quarterIndex[4] = {13, 1, 9, 3};
      BYTE dib24[40 + 8 * 24], dib8[40 + 256 * 2 + 8 * 8];
      BITMAPINFOHEADER* h24 = (BITMAPINFOHEADER*)dib24;
      BITMAPINFOHEADER* h8 = (BITMAPINFOHEADER*)dib8;
      memset(dib24, 0, sizeof dib24);
      memset(dib8, 0, sizeof dib8);
      h24->biSize = h8->biSize = sizeof(BITMAPINFOHEADER);
      h24->biWidth = h8->biWidth = 8;
      h24->biHeight = h8->biHeight = 8; /* bottom-up: row 0 is the lowest */
      h24->biPlanes = h8->biPlanes = 1;
      h24->biBitCount = 24;
      h8->biBitCount = 8;
      h8->biClrUsed = 14;
      for (int i = 0; i < 14; ++i) ((WORD*)(dib8 + 40))[i] = (WORD)i;
      for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x) {
          int q = (y < 4 ? 2 : 0) + (x < 4 ? 0 : 1);
          BYTE* px = dib24 + 40 + y * 24 + x * 3;
          px[0] = GetBValue(quarter24[q]), px[1] = GetGValue(quarter24[q]), px[2] = GetRValue(quarter24[q]);
          dib8[40 + 14 * 2 + y * 8 + x] = quarterIndex[q];
        }
      DWORD monoRows[16];
      for (int y = 0; y < 16; ++y) monoRows[y] = y < 4 || y >= 12 ? 0xF0F0F0F0 : 0x0F0F0F0F;
      HBITMAP mono = CreateBitmap(32, 16, 1, 1, monoRows);
      HBRUSH b24 = CreateDIBPatternBrushPt(dib24, DIB_RGB_COLORS);
      HBRUSH bmono = CreatePatternBrush(mono);
      HBRUSH bpal = CreateDIBPatternBrushPt(dib8, DIB_PAL_COLORS);
      SelectObject(dc, GetStockObject(BLACK_PEN));
      SelectObject(dc, b24);
      Rectangle(dc, 2, 2, w / 2 - 10, h / 2 - 2);
      SetTextColor(dc, RGB(120, 20, 140));
      SetBkColor(dc, RGB(250, 250, 210));
      SetBkMode(dc, TRANSPARENT);
      SelectObject(dc, bmono);
      Rectangle(dc, w / 2 + 4, 3, w - 8, h / 2 - 1);
      SelectObject(dc, bpal);
      Ellipse(dc, 10, h / 2 + 4, w - 10, h - 2);
      SelectObject(dc, br);
      DeleteObject(b24);
      DeleteObject(bmono);
      DeleteObject(bpal);
      DeleteObject(mono);
      break;
    }
  }
  SelectObject(dc, op);
  SelectObject(dc, ob);
  DeleteObject(pen);
  DeleteObject(br);
}

int main(int argc, char** argv) {
  if (argc < 2) return 1;
  strncpy(outdir, argv[1], sizeof outdir - 1);
  SetProcessDPIAware();
  for (int kind = 0; kind < 6; ++kind) {
    int w = kind == 4 ? 120 : 48 + 8 * kind, h = kind == 4 ? 60 : 36 + 4 * kind;
    char name[64];
    /* Enhanced: recorded in the reference device's pixels. */
    HDC ref = GetDC(NULL);
    int hs = GetDeviceCaps(ref, HORZSIZE), vs = GetDeviceCaps(ref, VERTSIZE);
    int hr = GetDeviceCaps(ref, HORZRES), vr = GetDeviceCaps(ref, VERTRES);
    RECT frame = {0, 0, MulDiv(w, hs * 100, hr), MulDiv(h, vs * 100, vr)};
    HDC dc = CreateEnhMetaFileW(ref, NULL, &frame, NULL);
    ReleaseDC(NULL, ref);
    scene(dc, kind, w, h);
    HENHMETAFILE em = CloseEnhMetaFile(dc);
    UINT n = GetEnhMetaFileBits(em, 0, NULL);
    BYTE* b = malloc(n);
    GetEnhMetaFileBits(em, n, b);
    snprintf(name, sizeof name, "scene%d.emf", kind);
    write_file(name, b, n);
    free(b);
    ENHMETAHEADER eh;
    GetEnhMetaFileHeader(em, sizeof eh, &eh);
    int ow = MulDiv(eh.rclFrame.right - eh.rclFrame.left, 96, 2540);
    int oh = MulDiv(eh.rclFrame.bottom - eh.rclFrame.top, 96, 2540);
    snprintf(name, sizeof name, "scene%d_emf", kind);
    play(em, name, "own", ow, oh, RGB(255, 255, 255));
    play(em, name, "big", ow * 2 - 3, oh * 3 / 2, RGB(255, 255, 255));
    play(em, name, "key", ow, oh, RGB(3, 2, 1));
    DeleteEnhMetaFile(em);

    /* Windows metafile with a placeable header: window of w x h units on a
       box of w x h at 96 units per inch. */
    HDC wdc = CreateMetaFileW(NULL);
    SetWindowOrgEx(wdc, 0, 0, NULL);
    SetWindowExtEx(wdc, w, h, NULL);
    scene(wdc, kind, w, h);
    HMETAFILE wm = CloseMetaFile(wdc);
    UINT wn = GetMetaFileBitsEx(wm, 0, NULL);
    BYTE* wb = malloc(22 + wn);
    GetMetaFileBitsEx(wm, wn, wb + 22);
    WORD* ph = (WORD*)wb;
    memset(wb, 0, 22);
    ph[0] = 0xCDD7;
    ph[1] = 0x9AC6;
    ph[3] = 0, ph[4] = 0, ph[5] = (WORD)w, ph[6] = (WORD)h, ph[7] = 96;
    WORD sum = 0;
    for (int i = 0; i < 10; ++i) sum ^= ph[i];
    ph[10] = sum;
    snprintf(name, sizeof name, "scene%d.wmf", kind);
    write_file(name, wb, 22 + wn);
    METAFILEPICT mfp = {MM_ANISOTROPIC, MulDiv(w, 2540, 96), MulDiv(h, 2540, 96), NULL};
    HENHMETAFILE we = SetWinMetaFileBits(wn, wb + 22, NULL, &mfp);
    free(wb);
    snprintf(name, sizeof name, "scene%d_wmf", kind);
    play(we, name, "own", w, h, RGB(255, 255, 255));
    play(we, name, "big", w * 2 - 3, h * 3 / 2, RGB(255, 255, 255));
    play(we, name, "key", w, h, RGB(3, 2, 1));
    DeleteEnhMetaFile(we);
    DeleteMetaFile(wm);
  }
  return 0;
}
