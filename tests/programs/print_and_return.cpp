// A user's program that prints an image through the application's printer
// object and returns from main, the printer still holding its device context
// and the library started as the README shows: the exit must end with code 0
// (the GUI tests run it, also in the sanitizer build).
//   print_and_return <PDF file>
#include <cstdio>

#include "core/bitmap.h"
#include "gui/printers.h"
#include "io/vexlaneio.h"
#include "vexlane/vexlane.h"
#include "winui/headless.h"

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  TVexlaneLibrary library;
  VXHeadless::ClearPrinters();
  VXHeadless::UseCUPS(false);
  VXHeadless::AddPDFPrinter("Exit test", argv[1], 2, 2, 72);
  TVXBitmap picture;
  picture.Allocate(8, 6, vx24RGB);
  for (int32_t y = 0; y < 6; ++y)
    for (int32_t x = 0; x < 8; ++x) picture.SetPixels_vx24RGB(x, y, TRGB{uint8_t(30 * x), 90, uint8_t(40 * y)});
  auto io = TVexlaneIO::CreateFromBitmap(&picture);
  Printer()->SetTitle("Exit test");
  Printer()->BeginDoc();
  io->PrintImage(Printer()->Canvas(), 0.1, 0.1, 0.1, 0.1, vxvpCenter, vxhpCenter, vxsFitToPage, 0, 0, 1);
  Printer()->EndDoc();
  std::printf("printed\n");
  return 0;
}
