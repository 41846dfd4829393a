// The file dialogs' templates in the platform's DLGTEMPLATE layout.
#include "dialogs/dialogtemplates.h"

#include <cstdint>
#include <string>
#include <vector>

#include "platform/win_resource.h"
#include "winui/win_dialog.h"

namespace {

// Child, visible, clipping its siblings, 3-D look, a control parent, with
// its own font.
constexpr uint32_t kTemplateStyle = 0x54000440;
// The placeholder: child, visible, starting a group.
constexpr uint32_t kPlaceholderStyle = 0x50020000;
constexpr uint16_t kStaticAtom = 0x0082;

void Word(std::vector<uint8_t>& b, uint16_t v) {
  b.push_back(uint8_t(v));
  b.push_back(uint8_t(v >> 8));
}

void DWord(std::vector<uint8_t>& b, uint32_t v) {
  Word(b, uint16_t(v));
  Word(b, uint16_t(v >> 16));
}

void Text(std::vector<uint8_t>& b, const std::string& s) {
  for (char c : s) Word(b, uint16_t(uint8_t(c)));
  Word(b, 0);
}

// One template: the dialog of Cx x Cy with the placeholder at (X, Y) of
// Width x Height.
std::vector<uint8_t> Build(int Cx, int Cy, int X, int Y, int Width, int Height) {
  std::vector<uint8_t> b;
  DWord(b, kTemplateStyle);
  DWord(b, 0);  // extended style
  Word(b, 1);   // one control
  for (int v : {0, 0, Cx, Cy}) Word(b, uint16_t(v));
  Word(b, 0);  // no menu
  Word(b, 0);  // the dialog class
  Text(b, "");
  Word(b, 8);
  Text(b, "Helv");
  while (b.size() % 4) b.push_back(0);
  DWord(b, kPlaceholderStyle);
  DWord(b, 0);
  for (int v : {X, Y, Width, Height}) Word(b, uint16_t(v));
  Word(b, uint16_t(VXStc32));
  Word(b, 0xFFFF);
  Word(b, kStaticAtom);
  Text(b, "");
  Word(b, 0);  // no creation data
  return b;
}

}  // namespace

void VXRegisterFileDialogTemplates() {
  // The bytes stay for the life of the process, as the resource table wants.
  static const std::vector<uint8_t> normal = Build(443, 168, 2, 4, 278, 145);
  static const std::vector<uint8_t> large = Build(543, 168, 2, 4, 278, 145);
  static const std::vector<uint8_t> noPreview = Build(288, 168, 10, 4, 270, 145);
  RegisterResource(RT_DIALOG, "IDD_VXTEMPLATE", normal.data(), normal.size());
  RegisterResource(RT_DIALOG, "IDD_VXTEMPLATE2", large.data(), large.size());
  RegisterResource(RT_DIALOG, "IDD_VXTEMPLATE1", noPreview.data(), noPreview.size());
}
