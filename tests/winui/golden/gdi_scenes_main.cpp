// The golden generator: built with mingw and run once under Wine, it runs
// the call script on the platform's GDI and writes what it sees. See
// make-goldens.
#include <windows.h>

#include <cstdio>
#include <cstring>

#include "gdi_scenes.inc"

namespace {

struct FileSink : SceneSink {
  FILE* f;
  explicit FileSink(FILE* F) : f(F) {}
  void Name(const char* n) {
    unsigned char len = (unsigned char)strlen(n);
    fwrite(&len, 1, 1, f);
    fwrite(n, 1, len, f);
  }
  void Pixels(const char* n, bool exact, int w, int h, const unsigned* px) override {
    fputc('P', f);
    Name(n);
    fputc(exact ? 1 : 0, f);
    fwrite(&w, 4, 1, f);
    fwrite(&h, 4, 1, f);
    fwrite(px, 4, size_t(w) * size_t(h), f);
  }
  void Rects(const char* n, const RECT* r, int count) override {
    fputc('R', f);
    Name(n);
    fwrite(&count, 4, 1, f);
    for (int i = 0; i < count; ++i) {
      int v[4] = {int(r[i].left), int(r[i].top), int(r[i].right), int(r[i].bottom)};
      fwrite(v, 4, 4, f);
    }
  }
};

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return 2;
  FILE* f = fopen(argv[1], "wb");
  if (!f) return 1;
  FileSink sink(f);
  RunGdiScenes(sink);
  fclose(f);
  return 0;
}
