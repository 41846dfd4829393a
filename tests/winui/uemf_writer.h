// Enhanced and Windows metafiles written with libuemf's record builders, for
// tests that need a small metafile showing one behaviour. A metafile written
// by a library we did not write also checks our player's reading of it.
//
// Every U_EMR…_set / U_WMR…_set builder returns a record allocated with
// malloc; Add appends it and frees it. The files are built in memory (the
// tracker's file is /dev/null) and handed out as bytes.
#pragma once
#include <uemf.h>
#include <uwmf.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace vxtest {

inline void Put32(std::vector<uint8_t>& b, uint32_t v) {
  for (int i = 0; i < 4; ++i) b.push_back(uint8_t(v >> (8 * i)));
}
inline void Put16(std::vector<uint8_t>& b, uint16_t v) {
  b.push_back(uint8_t(v));
  b.push_back(uint8_t(v >> 8));
}
inline void Set32(std::vector<uint8_t>& b, size_t o, uint32_t v) {
  for (int i = 0; i < 4; ++i) b[o + i] = uint8_t(v >> (8 * i));
}
inline void Set16(std::vector<uint8_t>& b, size_t o, uint16_t v) {
  b[o] = uint8_t(v);
  b[o + 1] = uint8_t(v >> 8);
}
inline uint32_t Get32(const std::vector<uint8_t>& b, size_t o) {
  return uint32_t(b[o]) | uint32_t(b[o + 1]) << 8 | uint32_t(b[o + 2]) << 16 | uint32_t(b[o + 3]) << 24;
}

inline U_RECTL Rectl(int32_t l, int32_t t, int32_t r, int32_t b) { return U_RECTL{l, t, r, b}; }
inline U_POINTL Ptl(int32_t x, int32_t y) { return U_POINTL{x, y}; }
inline U_SIZEL Szl(int32_t cx, int32_t cy) { return U_SIZEL{cx, cy}; }
inline U_POINT16 Pt16(int16_t x, int16_t y) { return U_POINT16{x, y}; }
inline U_RECT16 Rect16(int16_t l, int16_t t, int16_t r, int16_t b) { return U_RECT16{l, t, r, b}; }
// A colour given as 0x00BBGGRR (a COLORREF).
inline U_COLORREF Cref(uint32_t c) { return colorref3_set(uint8_t(c), uint8_t(c >> 8), uint8_t(c >> 16)); }
// Bounds a record may state when the player does not use them.
inline U_RECTL NoBounds() { return U_RECTL{0, 0, -1, -1}; }

// A face name as the UTF-16 array of 32 the font records hold.
inline std::vector<uint16_t> Face16(const std::u16string& Face) {
  std::vector<uint16_t> f(32, 0);
  for (size_t i = 0; i < Face.size() && i < 31; ++i) f[i] = uint16_t(Face[i]);
  return f;
}

// malloc'ed results of libuemf's helpers, freed with free.
template <class T>
struct TFreed {
  void operator()(T* p) const { std::free(p); }
};
template <class T>
using TMalloced = std::unique_ptr<T, TFreed<T>>;

// A DIB header with its colour table (0x00RRGGBB quads as stored), from
// libuemf's bitmap info builder. A DIB of 8 bits or fewer needs its table:
// the builder copies as many colours as the depth allows when none are
// counted.
inline TMalloced<U_BITMAPINFO> DibInfo(int32_t W, int32_t H, uint16_t Bpp, std::vector<uint32_t> Table = {}) {
  U_BITMAPINFOHEADER h = bitmapinfoheader_set(W, H, 1, Bpp, U_BI_RGB, 0, 0, 0, uint32_t(Table.size()), 0);
  return TMalloced<U_BITMAPINFO>(
      bitmapinfo_set(h, Table.empty() ? nullptr : reinterpret_cast<PU_RGBQUAD>(Table.data())));
}

// The offset of the first record of this type in an enhanced metafile
// (records follow one another by their sizes), for tests that damage one.
inline size_t FindEmfRecord(const std::vector<uint8_t>& Emf, uint32_t Type) {
  for (size_t o = 0; o + 8 <= Emf.size() && Get32(Emf, o + 4) >= 8;) {
    if (Get32(Emf, o) == Type) return o;
    o += Get32(Emf, o + 4);
  }
  throw std::runtime_error("no such record");
}

// A Windows metafile record of these 16-bit words after its size and
// function, allocated as the builders' records are: only for what they
// cannot write (a DIB whose colour table holds 16-bit palette indexes).
inline char* RawWmr(uint16_t Function, std::initializer_list<int32_t> Words) {
  std::vector<uint8_t> b;
  Put32(b, uint32_t(3 + Words.size()));
  Put16(b, Function);
  for (int32_t v : Words) Put16(b, uint16_t(v));
  char* r = static_cast<char*>(std::malloc(b.size()));
  std::memcpy(r, b.data(), b.size());
  return r;
}

// The offset of the first record of this function in a Windows metafile.
inline size_t FindWmfRecord(const std::vector<uint8_t>& Wmf, uint16_t Function) {
  size_t o = Get32(Wmf, 0) == 0x9AC6CDD7u ? 22 : 0;
  for (o += 18; o + 6 <= Wmf.size() && Get32(Wmf, o) >= 3; o += size_t(Get32(Wmf, o)) * 2)
    if ((Wmf[o + 4] | Wmf[o + 5] << 8) == Function) return o;
  throw std::runtime_error("no such record");
}

// An enhanced metafile whose frame is Width x Height pixels at 96 pixels
// per inch, recorded on a reference device of 960 pixels on 254 mm. Objects
// made through Handles() take the lowest free index and count in the
// header's handle total.
class TEmf {
 public:
  // Description: the header's text (application and picture names, each
  // ended by a zero), none when empty.
  TEmf(int Width, int Height, const std::u16string& Description = u"") {
    emf_start("/dev/null", 4096, 4096, &fEt);
    emf_htable_create(16, 16, &fHt);
    std::vector<uint16_t> text(Description.begin(), Description.end());
    Add(U_EMRHEADER_set(Rectl(0, 0, Width - 1, Height - 1),
                        Rectl(0, 0, Width * 2540 / 96, Height * 2540 / 96), nullptr, uint32_t(text.size()),
                        text.empty() ? nullptr : text.data(), Szl(960, 960), Szl(254, 254), 0));
  }
  ~TEmf() {
    emf_free(&fEt);
    emf_htable_free(&fHt);
  }
  TEmf(const TEmf&) = delete;
  TEmf& operator=(const TEmf&) = delete;

  // Appends a record a builder made and frees it.
  TEmf& Add(char* Record) {
    if (!Record) throw std::runtime_error("a libuemf builder refused its record");
    emf_append(reinterpret_cast<U_ENHMETARECORD*>(Record), fEt, 1);
    return *this;
  }
  EMFHANDLES* Handles() { return fHt; }

  // A solid brush or a pen in the next free object, selected at once.
  uint32_t SolidBrush(uint32_t Colour) {
    uint32_t ih = 0;
    Add(createbrushindirect_set(&ih, fHt, logbrush_set(U_BS_SOLID, Cref(Colour), 0)));
    Add(U_EMRSELECTOBJECT_set(ih));
    return ih;
  }
  uint32_t Pen(uint32_t Style, int32_t Width, uint32_t Colour) {
    uint32_t ih = 0;
    Add(createpen_set(&ih, fHt, logpen_set(Style, U_POINT{Width, 0}, Cref(Colour))));
    Add(U_EMRSELECTOBJECT_set(ih));
    return ih;
  }
  // A font of this height and face in the next free object, selected; Long:
  // the record's longer form, with full name, style and PANOSE after the
  // LOGFONTW.
  uint32_t Font(int32_t Height, const std::u16string& Face, int32_t Weight = 400, bool Long = false) {
    std::vector<uint16_t> face = Face16(Face), style = Face16(u"Book");
    U_LOGFONT lf = logfont_set(Height, 0, 0, 0, Weight, 0, 0, 0, U_DEFAULT_CHARSET, 0, 0, 0, 0, face.data());
    U_LOGFONT_PANOSE elf = logfont_panose_set(lf, face.data(), style.data(), 0, U_PANOSE{});
    uint32_t ih = 0;
    Add(Long ? extcreatefontindirectw_set(&ih, fHt, nullptr, reinterpret_cast<const char*>(&elf))
             : extcreatefontindirectw_set(&ih, fHt, reinterpret_cast<const char*>(&lf), nullptr));
    Add(U_EMRSELECTOBJECT_set(ih));
    return ih;
  }
  // EMR_EXTTEXTOUTW at (X, Y) with the advance of each character.
  TEmf& Text(int32_t X, int32_t Y, const std::u16string& S, const std::vector<uint32_t>& Dx, uint32_t Options = 0,
             U_RECTL Box = NoBounds()) {
    std::vector<uint16_t> s(S.begin(), S.end());
    s.push_back(0);
    std::vector<uint32_t> dx = Dx;
    dx.resize(S.size(), 0);
    TMalloced<char> t(emrtext_set(Ptl(X, Y), uint32_t(S.size()), 2, s.data(), Options, Box, dx.data()));
    if (!t) throw std::runtime_error("a libuemf builder refused its text");
    return Add(U_EMREXTTEXTOUTW_set(NoBounds(), U_GM_COMPATIBLE, 0, 0, reinterpret_cast<PU_EMRTEXT>(t.get())));
  }

  // Ends with EMR_EOF and the header's totals (bytes, records, handles).
  std::vector<uint8_t> Finish() {
    Add(U_EMREOF_set(0, nullptr, fEt));
    emf_finish(fEt, fHt);
    return std::vector<uint8_t>(fEt->buf, fEt->buf + fEt->used);
  }

 private:
  EMFTRACK* fEt = nullptr;
  EMFHANDLES* fHt = nullptr;
};

// A Windows metafile; with Dpi, a placeable header whose box is WidthInch x
// HeightInch inches in units of Dpi per inch comes first. Objects made
// through Handles() take the lowest free slot and count in the header's
// object total.
class TWmf {
 public:
  explicit TWmf(double WidthInch = 0, double HeightInch = 0, unsigned Dpi = 0) {
    wmf_start("/dev/null", 4096, 4096, &fWt);
    wmf_htable_create(16, 16, &fHt);
    wmf_highwater(U_HIGHWATER_CLEAR);
    TMalloced<U_PAIRF> size(Dpi ? U_PAIRF_set(float(WidthInch), float(HeightInch)) : nullptr);
    wmf_header_append(reinterpret_cast<U_METARECORD*>(U_WMRHEADER_set(size.get(), Dpi)), fWt, 1);
  }
  ~TWmf() {
    wmf_free(&fWt);
    wmf_htable_free(&fHt);
  }
  TWmf(const TWmf&) = delete;
  TWmf& operator=(const TWmf&) = delete;

  TWmf& Add(char* Record) {
    if (!Record) throw std::runtime_error("a libuemf builder refused its record");
    wmf_append(reinterpret_cast<U_METARECORD*>(Record), fWt, 1);
    return *this;
  }
  WMFHANDLES* Handles() { return fHt; }

  uint32_t SolidBrush(uint32_t Colour) {
    uint32_t ih = 0;
    Add(wcreatebrushindirect_set(&ih, fHt, U_WLOGBRUSH_set(U_BS_SOLID, Cref(Colour), 0)));
    return ih;
  }
  uint32_t Pen(uint16_t Style, uint16_t Width, uint32_t Colour) {
    uint32_t ih = 0;
    Add(wcreatepenindirect_set(&ih, fHt, U_PEN_set(Style, Width, Cref(Colour))));
    return ih;
  }
  uint32_t Font(int16_t Height, const char* Face, int16_t Weight = 400) {
    TMalloced<U_FONT> f(U_FONT_set(Height, 0, 0, 0, Weight, 0, 0, 0, U_DEFAULT_CHARSET, 0, 0, 0, 0,
                                   const_cast<char*>(Face)));
    uint32_t ih = 0;
    Add(wcreatefontindirect_set(&ih, fHt, f.get()));
    return ih;
  }
  TWmf& Select(uint32_t Slot) { return Add(wselectobject_set(Slot, fHt)); }
  TWmf& Delete(uint32_t Slot) { return Add(wdeleteobject_set(&Slot, fHt)); }

  // Ends with the end record and the header's totals.
  std::vector<uint8_t> Finish() {
    Add(U_WMREOF_set());
    wmf_finish(fWt);
    return std::vector<uint8_t>(fWt->buf, fWt->buf + fWt->used);
  }

 private:
  WMFTRACK* fWt = nullptr;
  WMFHANDLES* fHt = nullptr;
};

}  // namespace vxtest
