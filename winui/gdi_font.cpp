#include "winui/gdi_font.h"

#include <fontconfig/fontconfig.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <mutex>
#include <optional>

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

std::u16string ToU16(const std::string& s) {
  std::u16string out;
  for (size_t i = 0; i < s.size();) {
    unsigned char c = static_cast<unsigned char>(s[i]);
    uint32_t cp = c;
    size_t n = 1;
    if (c >= 0xF0 && i + 3 < s.size()) {
      cp = ((c & 7u) << 18) | ((s[i + 1] & 0x3Fu) << 12) | ((s[i + 2] & 0x3Fu) << 6) | (s[i + 3] & 0x3Fu);
      n = 4;
    } else if (c >= 0xE0 && i + 2 < s.size()) {
      cp = ((c & 15u) << 12) | ((s[i + 1] & 0x3Fu) << 6) | (s[i + 2] & 0x3Fu);
      n = 3;
    } else if (c >= 0xC0 && i + 1 < s.size()) {
      cp = ((c & 31u) << 6) | (s[i + 1] & 0x3Fu);
      n = 2;
    }
    if (cp >= 0x10000) {
      cp -= 0x10000;
      out += char16_t(0xD800 + (cp >> 10));
      out += char16_t(0xDC00 + (cp & 0x3FF));
    } else {
      out += char16_t(cp);
    }
    i += n;
  }
  return out;
}

std::string ToU8(const char16_t* s, size_t max) {
  std::string out;
  for (size_t i = 0; i < max && s[i]; ++i) {
    uint32_t cp = s[i];
    if (cp >= 0xD800 && cp < 0xDC00 && i + 1 < max && s[i + 1] >= 0xDC00 && s[i + 1] < 0xE000) {
      cp = 0x10000 + ((cp - 0xD800) << 10) + (s[i + 1] - 0xDC00);
      ++i;
    }
    if (cp < 0x80) {
      out += char(cp);
    } else if (cp < 0x800) {
      out += char(0xC0 | (cp >> 6));
      out += char(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
      out += char(0xE0 | (cp >> 12));
      out += char(0x80 | ((cp >> 6) & 0x3F));
      out += char(0x80 | (cp & 0x3F));
    } else {
      out += char(0xF0 | (cp >> 18));
      out += char(0x80 | ((cp >> 12) & 0x3F));
      out += char(0x80 | ((cp >> 6) & 0x3F));
      out += char(0x80 | (cp & 0x3F));
    }
  }
  return out;
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
    std::u16string u = ToU16(fam);
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
