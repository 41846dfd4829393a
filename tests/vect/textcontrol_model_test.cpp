// Random key scripts typed into the rich-text control against a model of
// its editing rules and its layout, the model measuring characters on a
// canvas of its own.
#include <random>

#include "platform/utf.h"
#include "textcontrol_fixture.h"
#include "winui/gdi_text.h"
#include "winui/win_clipboard.h"

namespace {

// The control as its rules describe it.
struct TModel {
  std::u16string Text;
  std::vector<TVXCharInfo> Table;
  std::vector<int32_t> Refs;
  int32_t Caret = 0, SelStart = 0, SelStop = 0;
  bool Ins = true;
  TVXCharInfo Inserting;
  std::vector<std::pair<char16_t, TVXCharInfo>> Clip;

  int32_t Len() const { return int32_t(Text.size()); }
  char16_t U(int32_t i) const { return i >= 0 && i < Len() ? Text[size_t(i)] : u'\0'; }
  bool Sel() const { return SelStart < SelStop; }
  static bool Same(const TVXCharInfo& a, const TVXCharInfo& b) {
    TVXCharInfo x = a, y = b;
    x.refcount = y.refcount = 0;
    return x == y;
  }
  void Ref(int32_t i, const TVXCharInfo& f) {
    size_t r = 0;
    while (r < Table.size() && !Same(Table[r], f)) ++r;
    if (r == Table.size()) {
      Table.push_back(f);
      Table.back().refcount = 0;
    }
    Refs[size_t(i)] = int32_t(r);
    ++Table[r].refcount;
  }
  TVXCharInfo Fmt(int32_t i) const {
    return Table[size_t(Refs[size_t(std::clamp(i, 0, Len() - 1))])];
  }
  void Add(char16_t c) {
    Text.insert(Text.begin() + Caret, c);
    Refs.insert(Refs.begin() + Caret, 0);
    Ref(Caret, Inserting);
    ++Caret;
  }
  void Del(int32_t i) {
    if (i < 0 || i >= Len()) return;
    TVXCharInfo& f = Table[size_t(Refs[size_t(i)])];
    if (f.refcount > 0) --f.refcount;
    Text.erase(Text.begin() + i);
    Refs.erase(Refs.begin() + i);
  }
  void DelSel() {
    if (!Sel()) return;
    for (int32_t i = SelStop - 1; i >= SelStart; --i) Del(i);
    Caret = SelStart;
    SelStart = SelStop = 0;
  }
  template <typename F>
  void Change(F f, bool inserting = true) {
    for (int32_t i = SelStart; Sel() && i < SelStop; ++i) {
      TVXCharInfo c = Fmt(i);
      f(c);
      Ref(i, c);
    }
    if (inserting) f(Inserting);
  }
  void Moved(int32_t old, bool shift) {
    if (Caret == old) return;
    if (Len() > 0) Inserting = Fmt(Caret - 1);
    if (!shift) {
      SelStart = SelStop = 0;
    } else if (SelStop == 0) {
      SelStart = old, SelStop = Caret;
    } else if (old < Caret) {
      (SelStop < Caret ? SelStop : SelStart) = Caret;
    } else {
      (Caret < SelStart ? SelStart : SelStop) = Caret;
    }
    if (SelStop < SelStart) std::swap(SelStart, SelStop);
  }
  int32_t WordLeft() const {
    int32_t p = Caret - 1;
    while (p >= 1 && U(p) < 33) --p;
    while (p > 0 && U(p) > 32) --p;
    p = std::max(p, 0);
    if (U(p) <= 32 && p < Len()) ++p;
    return std::max(0, std::min(p, Len() - 1));
  }
  int32_t WordRight() const {
    int32_t p = Caret + 1;
    while (U(p) < 33 && p < Len()) ++p;
    while (p < Len() && U(p) > 32) ++p;
    return std::max(0, std::min(p, Len() - 1));
  }
};

struct TKey {
  int Key;
  int Mod;  // 0, VK_SHIFT, VK_CONTROL or both (-1)
  char16_t Ch;  // typed character (0: a key)
};

void Apply(TModel& m, const TKey& k) {
  const bool ctrl = k.Mod == VK_CONTROL || k.Mod == -1, shift = k.Mod == VK_SHIFT || k.Mod == -1;
  if (k.Ch) {
    m.DelSel();
    if (!m.Ins) m.Del(m.Caret);
    m.Add(k.Ch);
    return;
  }
  const int32_t old = m.Caret;
  switch (k.Key) {
    case VK_RETURN: m.Add(u'\n'); return;
    case VK_BACK:
      if (m.Sel()) m.DelSel();
      else if (m.Caret > 0) m.Del(--m.Caret);
      return;
    case VK_DELETE:
      if (m.Sel()) m.DelSel();
      else m.Del(m.Caret);
      return;
    case VK_INSERT: m.Ins = !m.Ins; return;
    case VK_LEFT: m.Caret = ctrl ? m.WordLeft() : std::max(0, m.Caret - 1); m.Moved(old, shift); return;
    case VK_RIGHT: m.Caret = ctrl ? m.WordRight() : std::min(m.Len(), m.Caret + 1); m.Moved(old, shift); return;
    case VK_HOME: m.Caret = 0; m.Moved(old, shift); return;
    case VK_END: m.Caret = m.Len(); m.Moved(old, shift); return;
    case VK_F1:
      m.Change([](TVXCharInfo& f) { f.height = f.height < 0 ? f.height + 1 : f.height - 1; if (!f.height) f.height = 1; });
      return;
    case VK_F1 + 1:
      m.Change([](TVXCharInfo& f) { f.height += f.height < 0 ? -1 : 1; if (!f.height) f.height = 1; });
      return;
    case 'B': case 'I': case 'U': {
      const TFontStyles bit = TFontStyles(1u << (k.Key == 'B' ? 0 : k.Key == 'I' ? 1 : 2));
      if (m.Sel()) {
        const TFontStyles s = TFontStyles(m.Fmt(m.SelStart).style ^ bit);
        m.Change([s](TVXCharInfo& f) { f.style = s; }, false);
      } else {
        m.Inserting.style ^= bit;
      }
      return;
    }
    case 'L': case 'E': case 'R': case 'J': {
      const TVXAlignment a = k.Key == 'L' ? vxjLeft : k.Key == 'E' ? vxjCenter : k.Key == 'R' ? vxjRight : vxjJustify;
      int32_t from = m.Caret, to = m.Caret;
      while (from > 0 && m.U(from - 1) != u'\n') --from;
      while (to < m.Len() && m.U(to) != u'\n') ++to;
      for (int32_t i = from; i < to; ++i) {
        TVXCharInfo f = m.Fmt(i);
        f.align = a;
        m.Ref(i, f);
      }
      m.Inserting.align = a;
      return;
    }
    case 'C': case 'X':
      if (m.Sel()) {
        m.Clip.clear();
        for (int32_t i = m.SelStart; i < m.SelStop; ++i) m.Clip.push_back({m.U(i), m.Fmt(i)});
      }
      if (k.Key == 'X') m.DelSel();
      return;
    case 'V':
      m.DelSel();
      for (const auto& [c, f] : m.Clip) {
        m.Inserting = f;
        m.Add(c);
      }
      return;
  }
}

// The layout of the model's text in a W0 x H0 box without margins at zoom
// 1: the formatted string and the caret's pixel position.
struct TLayout {
  std::u16string Formatted;
  int32_t CaretX = 0, CaretY = 0;
};

TLayout Lay(const TModel& m, int32_t W0, int32_t H0) {
  TBitmap b(4, 4);
  TCanvas* c = b.Canvas();
  const int32_t n = m.Len(), left = 1, top = 1, textW = W0 - 2, textH = H0 - 2;
  std::vector<int32_t> w(size_t(n) + 1), h(size_t(n) + 1), il(size_t(n) + 1);
  for (int32_t i = 0; i <= n; ++i) {
    const TVXCharInfo f = n ? m.Fmt(i) : m.Inserting;
    c->Font()->SetName(f.name);
    c->Font()->SetHeight(f.height);
    c->Font()->SetStyle(f.style);
    const char16_t u = i < n && m.U(i) >= 31 && m.U(i) != 127 ? m.U(i) : u' ';
    w[size_t(i)] = c->TextWidth(VXUTF16ToUTF8(std::u16string(1, u)));
    TEXTMETRICW tm;
    GetTextMetricsW(c->Handle(), &tm);
    h[size_t(i)] = std::abs(tm.tmHeight);
    il[size_t(i)] = std::abs(tm.tmInternalLeading);
  }
  TLayout r;
  r.CaretX = left, r.CaretY = top;
  std::vector<int32_t> px(size_t(n) + 1, -1);  // laid-out x, as the last pass left it
  if (n == 0) return r;
  int32_t start = 0, y = 0;
  for (;;) {
    // The line: [start, end) drawn, next the following line's start.
    int32_t x = 0, end = -1, next = -1, lineH = 0;
    bool last = false;
    for (int32_t i = start;; ++i) {
      px[size_t(i)] = left + x;
      lineH = std::max(lineH, h[size_t(i)]);
      if (i == n) { end = n, last = true; break; }
      if (m.U(i) == u'\n') { end = i, next = i + 1, last = i == n - 1; break; }
      if (x + w[size_t(i)] + 2 >= textW) {
        int32_t blank = -1;
        for (int32_t j = i - 1; j >= start; --j)
          if (m.U(j) == u' ') { blank = j; break; }
        end = next = blank < 0 ? i : blank + 1;
        break;
      }
      x += w[size_t(i)];
    }
    if (end == start && next == start) break;  // nothing fits
    // The natural end of the line's last character (before a trailing
    // blank), its alignment.
    int32_t a = end - 1;
    if (a >= 0 && m.U(a) == u' ') --a;
    a = std::max(a, 0);
    // (A line of only a blank measures the line feed of the line before.)
    const int32_t lineEnd = px[size_t(a)] - left + w[size_t(a)];
    const TVXAlignment al = m.Fmt(a).align;
    int32_t off = 0;
    double factor = 1;
    if (al == vxjRight) off = textW - lineEnd - 1;
    if (al == vxjCenter) off = (textW - lineEnd) / 2;
    const bool endsParagraph = m.U(a + 1) == 0 || m.U(a + 1) == u'\n' || (a + 2 >= n && m.U(a + 2) == 0);
    if (al == vxjJustify && !endsParagraph) factor = double(textW) / (lineEnd + 1);
    int32_t nat = off;
    x = off;
    for (int32_t i = start; i < end; ++i) {
      px[size_t(i)] = left + x;
      if (i == m.Caret) r.CaretX = left + x, r.CaretY = top + y;
      if (i < m.Caret) r.CaretX = left + x + w[size_t(i)], r.CaretY = top + y;
      r.Formatted.push_back(m.U(i));
      nat += w[size_t(i)];
      x = int32_t(nat * factor);
    }
    px[size_t(end)] = left + x;
    if (end < n && m.U(end) == u'\n' && m.Caret > end) r.CaretX = left, r.CaretY = top + y + lineH;
    if (last) break;
    r.Formatted.push_back(u'\n');
    y += lineH;
    start = next;
    if (y > textH) break;
  }
  return r;
}

TEST_F(TextControlTest, RandomKeyScriptsFollowTheModel) {
  const TKey keys[] = {
      {0, 0, u'a'}, {0, 0, u'W'}, {0, 0, u'i'}, {0, 0, u' '}, {0, 0, u' '}, {0, 0, u'm'}, {VK_RETURN, 0, 0},
      {VK_LEFT, 0, 0}, {VK_RIGHT, 0, 0}, {VK_LEFT, VK_CONTROL, 0}, {VK_RIGHT, VK_CONTROL, 0},
      {VK_LEFT, VK_SHIFT, 0}, {VK_RIGHT, VK_SHIFT, 0}, {VK_LEFT, -1, 0}, {VK_RIGHT, -1, 0},
      {VK_HOME, VK_CONTROL, 0}, {VK_END, VK_CONTROL, 0}, {VK_HOME, -1, 0}, {VK_END, -1, 0},
      {VK_BACK, 0, 0}, {VK_DELETE, 0, 0}, {VK_INSERT, 0, 0}, {'B', VK_CONTROL, 0}, {'I', VK_CONTROL, 0},
      {'U', VK_CONTROL, 0}, {VK_F1, VK_SHIFT, 0}, {VK_F1 + 1, VK_SHIFT, 0}, {'L', VK_CONTROL, 0},
      {'E', VK_CONTROL, 0}, {'R', VK_CONTROL, 0}, {'J', VK_CONTROL, 0}, {'C', VK_CONTROL, 0},
      {'X', VK_CONTROL, 0}, {'V', VK_CONTROL, 0},
  };
  const int kScripts = 40, kLength = 60;
  for (int s = 0; s < kScripts; ++s) {
    std::mt19937 rng(uint32_t(1000 + s));
    ASSERT_TRUE(OpenClipboard(nullptr));
    EmptyClipboard();
    CloseClipboard();
    TVXTextControl* t = Control();
    t->SetBounds(10, 10, 400, 300);
    t->SetWriteFormattedString(true);
    TModel m;
    m.Inserting = t->InsertingCharInfo();
    std::string log;
    for (int k = 0; k < kLength; ++k) {
      const TKey& key = keys[rng() % std::size(keys)];
      if (key.Ch) {
        Type(std::u16string(1, key.Ch));
        log += char(key.Ch);
      } else {
        if (key.Mod == -1) {
          VXHeadless::KeyDown(VK_SHIFT);
          Press(key.Key, VK_CONTROL);
          VXHeadless::KeyUp(VK_SHIFT);
          VXHeadless::RunUntilIdle();
        } else {
          Press(key.Key, key.Mod);
        }
        log += "<" + std::to_string(key.Key) + "," + std::to_string(key.Mod) + ">";
      }
      Apply(m, key);
      Repaint(t);
      ASSERT_EQ(t->Text().value_or(u""), m.Text) << "script " << s << ": " << log;
      ASSERT_EQ(t->InsertPos(), m.Caret) << "script " << s << ": " << log;
      ASSERT_EQ(t->SelStart(), m.SelStart) << "script " << s << ": " << log;
      ASSERT_EQ(t->SelStop(), m.SelStop) << "script " << s << ": " << log;
      ASSERT_EQ(t->TextFormat(), m.Table) << "script " << s << ": " << log;
      if (m.Len()) ASSERT_EQ(*t->TextFormatRef(), m.Refs) << "script " << s << ": " << log;
      ASSERT_EQ(t->InsertingCharInfo().style, m.Inserting.style) << "script " << s << ": " << log;
      const TLayout l = Lay(m, 400, 300);
      ASSERT_EQ(t->FormattedString(), l.Formatted) << "script " << s << ": " << log;
      ASSERT_EQ(t->CaretX(), l.CaretX) << "script " << s << ": " << log;
      ASSERT_EQ(t->CaretY(), l.CaretY) << "script " << s << ": " << log;
    }
    delete t;
  }
}

}  // namespace
