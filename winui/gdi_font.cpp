#include "winui/gdi_font.h"

#include <fontconfig/fontconfig.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <mutex>
#include <optional>

#include "platform/utf.h"
#include "winui/gdi_internal.h"

using namespace vxgdi;

namespace {

std::mutex gFontLock;
std::optional<std::vector<std::string>> gFamilies;  // set by the driver
std::optional<std::vector<std::string>> gInstalled;

std::vector<std::string> ReadInstalled() {
  std::vector<std::string> out;
  FcConfig* cfg = FcInitLoadConfigAndFonts();
  if (!cfg) return out;
  FcPattern* pat = FcPatternCreate();
  FcObjectSet* os = FcObjectSetBuild(FC_FAMILY, nullptr);
  FcFontSet* fs = FcFontList(cfg, pat, os);
  if (fs) {
    for (int i = 0; i < fs->nfont; ++i) {
      FcChar8* fam = nullptr;
      if (FcPatternGetString(fs->fonts[i], FC_FAMILY, 0, &fam) == FcResultMatch && fam)
        out.emplace_back(reinterpret_cast<const char*>(fam));
    }
    FcFontSetDestroy(fs);
  }
  FcObjectSetDestroy(os);
  FcPatternDestroy(pat);
  FcConfigDestroy(cfg);
  std::sort(out.begin(), out.end());
  out.erase(std::unique(out.begin(), out.end()), out.end());
  return out;
}

std::string Lower(std::string s) {
  for (char& c : s) c = char(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

// A fixed-size face name up to its terminator.
std::string ToU8(const char16_t* s, size_t max) {
  size_t n = 0;
  while (n < max && s[n]) ++n;
  return VXUTF16ToUTF8(std::u16string(s, n));
}

}  // namespace

HFONT CreateFontIndirectW(const LOGFONTW* lplf) {
  if (!lplf) return nullptr;
  auto o = std::make_shared<Object>();
  o->Kind = ObjKind::Font;
  o->F = std::make_shared<Font>();
  o->F->Log = *lplf;
  o->F->Log.lfFaceName[LF_FACESIZE - 1] = 0;
  return reinterpret_cast<HFONT>(AddObject(o));
}

int EnumFontFamiliesExW(HDC, LOGFONTW* lf, FONTENUMPROCW proc, LPARAM lParam, DWORD) {
  if (!lf || !proc) return 0;
  std::string want = Lower(ToU8(lf->lfFaceName, LF_FACESIZE));
  int result = 1;
  for (const std::string& fam : VXFonts::Families()) {
    if (!want.empty() && Lower(fam) != want) continue;
    ENUMLOGFONTEXW e;
    e.elfLogFont.lfHeight = 16;
    e.elfLogFont.lfWeight = FW_NORMAL;
    e.elfLogFont.lfCharSet = ANSI_CHARSET;
    e.elfLogFont.lfOutPrecision = 3;   // OUT_STROKE_PRECIS
    e.elfLogFont.lfClipPrecision = 2;  // CLIP_STROKE_PRECIS
    e.elfLogFont.lfQuality = 1;        // DRAFT_QUALITY
    std::u16string u = VXUTF8ToUTF16(fam);
    size_t n = std::min(u.size(), size_t(LF_FACESIZE - 1));
    std::copy(u.begin(), u.begin() + long(n), e.elfLogFont.lfFaceName);
    size_t m = std::min(u.size(), size_t(63));
    std::copy(u.begin(), u.begin() + long(m), e.elfFullName);
    const char16_t regular[] = u"Regular", western[] = u"Western";
    std::copy(std::begin(regular), std::end(regular), e.elfStyle);
    std::copy(std::begin(western), std::end(western), e.elfScript);
    TEXTMETRICW tm;
    tm.tmHeight = 16;
    tm.tmAscent = 13;
    tm.tmDescent = 3;
    tm.tmWeight = FW_NORMAL;
    tm.tmCharSet = ANSI_CHARSET;
    tm.tmDigitizedAspectX = tm.tmDigitizedAspectY = 96;
    result = proc(&e.elfLogFont, &tm, TRUETYPE_FONTTYPE, lParam);
    if (!result) break;
  }
  return result;
}

namespace VXFonts {

std::vector<std::string> Families() {
  std::lock_guard<std::mutex> l(gFontLock);
  if (gFamilies) return *gFamilies;
  if (!gInstalled) gInstalled = ReadInstalled();
  return *gInstalled;
}

void SetFamilies(const std::vector<std::string>& Families) {
  std::lock_guard<std::mutex> l(gFontLock);
  gFamilies = Families;
  std::sort(gFamilies->begin(), gFamilies->end());
  gFamilies->erase(std::unique(gFamilies->begin(), gFamilies->end()), gFamilies->end());
}

void UseInstalledFamilies() {
  std::lock_guard<std::mutex> l(gFontLock);
  gFamilies.reset();
}

}  // namespace VXFonts
