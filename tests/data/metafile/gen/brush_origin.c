/* Where a recorded brush origin puts a pattern when the platform plays an
   enhanced metafile. The recording DC does not write EMR_SETBRUSHORGEX, so
   the record (origin 3, 5) is put in by hand after the header of a recorded
   picture: a red HS_CROSS rectangle (1, 1)-(29, 19) without outline, on a
   transparent background, in a 30 x 20 frame. Each metafile, without and
   with the record, is played at its own size, moved to (5, 2) on a larger
   surface and doubled; the pictures are written to the file given, each as
   a line naming it and its rows: '.' white, 'r' red, '?' anything else.
   Built with x86_64-w64-mingw32-gcc and run under wine by make-probes. */
#include <windows.h>
#include <stdio.h>
#include <string.h>

static FILE* out;

static void play(HENHMETAFILE h, const char* name, int W, int H, RECT r) {
  BITMAPINFO bi;
  memset(&bi, 0, sizeof bi);
  bi.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  bi.bmiHeader.biWidth = W;
  bi.bmiHeader.biHeight = -H;
  bi.bmiHeader.biPlanes = 1;
  bi.bmiHeader.biBitCount = 24;
  unsigned char* bits = NULL;
  HDC dc = CreateCompatibleDC(NULL);
  HBITMAP bm = CreateDIBSection(dc, &bi, DIB_RGB_COLORS, (void**)&bits, NULL, 0);
  HGDIOBJ old = SelectObject(dc, bm);
  RECT all = {0, 0, W, H};
  FillRect(dc, &all, (HBRUSH)GetStockObject(WHITE_BRUSH));
  PlayEnhMetaFile(dc, h, &r);
  GdiFlush();
  int stride = (W * 3 + 3) & ~3;
  fprintf(out, "%s %d %d at %ld %ld %ld %ld\n", name, W, H, r.left, r.top, r.right, r.bottom);
  for (int y = 0; y < H; ++y) {
    for (int x = 0; x < W; ++x) {
      const unsigned char* s = bits + y * stride + x * 3;
      int c = s[0] | s[1] << 8 | s[2] << 16;
      fputc(c == 0xFFFFFF ? '.' : c == 0xFF0000 ? 'r' : '?', out);
    }
    fputc('\n', out);
  }
  SelectObject(dc, old);
  DeleteObject(bm);
  DeleteDC(dc);
}

int main(int argc, char** argv) {
  if (argc < 2 || !(out = fopen(argv[1], "wb"))) return 1;
  for (int withOrigin = 0; withOrigin < 2; ++withOrigin) {
    HDC ref = GetDC(NULL);
    int hs = GetDeviceCaps(ref, HORZSIZE), vs = GetDeviceCaps(ref, VERTSIZE);
    int hr = GetDeviceCaps(ref, HORZRES), vr = GetDeviceCaps(ref, VERTRES);
    RECT frame = {0, 0, MulDiv(30, hs * 100, hr), MulDiv(20, vs * 100, vr)};
    HDC dc = CreateEnhMetaFileW(ref, NULL, &frame, NULL);
    ReleaseDC(NULL, ref);
    SelectObject(dc, GetStockObject(NULL_PEN));
    HBRUSH hatch = CreateHatchBrush(HS_CROSS, RGB(255, 0, 0));
    SelectObject(dc, hatch);
    SetBkMode(dc, TRANSPARENT);
    Rectangle(dc, 1, 1, 29, 19);
    HENHMETAFILE em = CloseEnhMetaFile(dc);
    DeleteObject(hatch);
    if (withOrigin) {
      static BYTE was[65536], now[65536];
      UINT n = GetEnhMetaFileBits(em, 0, NULL);
      if (n + 16 > sizeof now) return 2;
      GetEnhMetaFileBits(em, n, was);
      DWORD head = *(DWORD*)(was + 4);
      DWORD rec[4] = {EMR_SETBRUSHORGEX, 16, 3, 5};
      memcpy(now, was, head);
      memcpy(now + head, rec, 16);
      memcpy(now + head + 16, was + head, n - head);
      ENHMETAHEADER* eh = (ENHMETAHEADER*)now;
      eh->nBytes += 16;
      eh->nRecords += 1;
      DeleteEnhMetaFile(em);
      em = SetEnhMetaFileBits(n + 16, now);
    }
    const char* tag = withOrigin ? "origin-3-5" : "no-origin";
    char name[64];
    RECT own = {0, 0, 30, 20}, moved = {5, 2, 35, 22}, doubled = {0, 0, 60, 40};
    snprintf(name, sizeof name, "%s own", tag);
    play(em, name, 30, 20, own);
    snprintf(name, sizeof name, "%s moved", tag);
    play(em, name, 40, 24, moved);
    snprintf(name, sizeof name, "%s doubled", tag);
    play(em, name, 60, 40, doubled);
    DeleteEnhMetaFile(em);
  }
  fclose(out);
  return 0;
}
