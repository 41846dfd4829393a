// ZoLib file listing and wildcard matching.
#include "tool/zolib.h"

#include <algorithm>
#include <set>
#include <stdexcept>
#include <utility>

namespace {

// ---- wildcard masks -------------------------------------------------------

struct TSetItem {
  char32_t Low, High;
};

struct TMaskToken {
  enum TKind { Literal, AnyChar, Star, Set } Kind;
  char32_t Ch = 0;
  bool Negated = false;
  std::vector<TSetItem> Items;
};

[[noreturn]] void BadMask(const char* What) { throw std::invalid_argument(What); }

// Parses the set that starts at S[Pos] == '['; Pos ends past the closing ']'.
TMaskToken ParseSet(const std::u32string& S, size_t& Pos) {
  TMaskToken t;
  t.Kind = TMaskToken::Set;
  size_t k = Pos + 1;
  if (k < S.size() && S[k] == U'~') {
    t.Negated = true;
    ++k;
  }
  for (;;) {
    if (k >= S.size()) BadMask("Unclosed character set in mask");
    if (S[k] == U']') break;
    char32_t low = S[k];
    if (low == U'\\') {
      if (++k >= S.size()) BadMask("Unclosed character set in mask");
      low = S[k];
    }
    ++k;
    char32_t high = low;
    if (k + 1 < S.size() && S[k] == U'-') {
      ++k;
      high = S[k];
      if (high == U'\\') {
        if (++k >= S.size()) BadMask("Unclosed character set in mask");
        high = S[k];
      }
      ++k;
    }
    t.Items.push_back({low, high});
  }
  Pos = k + 1;
  return t;
}

bool SetMatches(const TMaskToken& T, char32_t Ch) {
  bool found = false;
  for (const auto& it : T.Items) {
    if (it.Low <= Ch && Ch <= it.High) {
      found = true;
      break;
    }
  }
  return found != T.Negated;
}

std::vector<TMaskToken> ParseMask(const std::u32string& M, bool Simple) {
  std::vector<TMaskToken> out;
  size_t i = 0;
  while (i < M.size()) {
    const char32_t c = M[i];
    TMaskToken t;
    if (c == U'*') {
      t.Kind = TMaskToken::Star;
      ++i;
    } else if (c == U'?') {
      t.Kind = TMaskToken::AnyChar;
      ++i;
    } else if (!Simple && c == U'+') {
      // one character, then any run
      t.Kind = TMaskToken::AnyChar;
      out.push_back(t);
      t.Kind = TMaskToken::Star;
      ++i;
    } else if (!Simple && c == U'[') {
      t = ParseSet(M, i);
    } else if (!Simple && c == U'\\') {
      if (i + 1 >= M.size()) BadMask("Mask ends with an escape character");
      t.Kind = TMaskToken::Literal;
      t.Ch = M[i + 1];
      i += 2;
    } else {
      t.Kind = TMaskToken::Literal;
      t.Ch = c;
      ++i;
    }
    out.push_back(std::move(t));
  }
  return out;
}

bool TokenMatches(const TMaskToken& T, char32_t Ch) {
  switch (T.Kind) {
    case TMaskToken::AnyChar: return true;
    case TMaskToken::Literal: return T.Ch == Ch;
    case TMaskToken::Set: return SetMatches(T, Ch);
    default: return false;
  }
}

// Star matching that backtracks to the last star: linear memory, no recursion.
bool MatchTokens(const std::vector<TMaskToken>& Tokens, const std::u32string& Text) {
  size_t ti = 0, j = 0;
  size_t starTi = std::string::npos, starJ = 0;
  while (j < Text.size()) {
    if (ti < Tokens.size() && Tokens[ti].Kind == TMaskToken::Star) {
      starTi = ti++;
      starJ = j;
    } else if (ti < Tokens.size() && TokenMatches(Tokens[ti], Text[j])) {
      ++ti;
      ++j;
    } else if (starTi != std::string::npos) {
      ti = starTi + 1;
      j = ++starJ;
    } else {
      return false;
    }
  }
  while (ti < Tokens.size() && Tokens[ti].Kind == TMaskToken::Star) ++ti;
  return ti == Tokens.size();
}

std::u32string PrepareText(const std::string& S, bool IgnoreCase) {
  return Utf8ToUtf32(IgnoreCase ? UpperCaseText(S) : S);
}

// ---- listing ----------------------------------------------------------------

struct TFileListRecord {
  uint8_t Kind = 0;
  uint8_t Order = 0;
  int64_t Size = 0;
  double Time = 0;
};

struct TFileListEntry {
  std::string Path;
  bool HasRecord = false;
  TFileListRecord Rec;
};

std::string Trim(const std::string& S) {
  const auto b = S.find_first_not_of(' ');
  if (b == std::string::npos) return std::string();
  const auto e = S.find_last_not_of(' ');
  return S.substr(b, e - b + 1);
}

void AddFileListEntry(std::vector<TFileListEntry>& List, const std::string& Path, const WIN32_FIND_DATAW& Data,
                      uint8_t Order, uint8_t Kind) {
  TFileListEntry e;
  e.Path = Path;
  if (Kind != 0 || Order != 0) {
    e.HasRecord = true;
    e.Rec.Kind = Kind;
    e.Rec.Order = Order;
    const bool dir = (Data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    switch (Kind) {
      case 1: e.Rec.Size = dir ? 0 : static_cast<int64_t>(Data.nFileSize); break;
      case 2: e.Rec.Time = FileTimeToLocalDateTime(Data.ftCreationTime); break;
      case 3: e.Rec.Time = FileTimeToLocalDateTime(Data.ftLastAccessTime); break;
      case 4: e.Rec.Time = FileTimeToLocalDateTime(Data.ftLastWriteTime); break;
      default: break;
    }
  }
  List.push_back(std::move(e));
}

template <typename T>
int Sign(T a, T b) {
  return a < b ? -1 : (a > b ? 1 : 0);
}

int CompareFileListEntries(const TFileListEntry& A, const TFileListEntry& B) {
  const uint8_t o = A.Rec.Order, k = A.Rec.Kind;
  if (o > 1) {
    // folders without their trailing delimiter, so that a parent is a prefix of its sub-folders
    const std::string fa = JoinPath(ExtractFilePath(A.Path), ""), fb = JoinPath(ExtractFilePath(B.Path), "");
    if (CompareText(fa, fb) != 0) {
      const auto pa = SplitTextSimple(fa, "/", false, false, false);
      const auto pb = SplitTextSimple(fb, "/", false, false, false);
      const size_t n = std::min(pa.size(), pb.size());
      for (size_t i = 0; i < n; ++i) {
        int c = CompareText(pa[i], pb[i]);
        if (c != 0) return (o == 3 || o == 5) ? -c : c;
      }
      if (pa.size() != pb.size()) {
        const int moreFirst = pa.size() > pb.size() ? -1 : 1;
        return (o == 2 || o == 3) ? moreFirst : -moreFirst;
      }
    }
  }
  int r = 0;
  if (k == 1)
    r = Sign(A.Rec.Size, B.Rec.Size);
  else if (k >= 2 && k <= 4)
    r = Sign(A.Rec.Time, B.Rec.Time);
  if (r == 0) r = CompareText(A.Path, B.Path);
  if (o == 1 || o == 3 || o == 5) r = -r;
  return r;
}

}  // namespace

bool WildcardMatch(const std::string& Text, const std::string& Mask, bool IgnoreCase, bool Simple) {
  const auto tokens = ParseMask(PrepareText(Mask, IgnoreCase), Simple);
  return MatchTokens(tokens, PrepareText(Text, IgnoreCase));
}

bool MaskCharSetMatch(const std::string& SetText, char32_t Ch) {
  const std::u32string s = Utf8ToUtf32(SetText);
  if (s.empty() || s[0] != U'[') BadMask("Character set must begin with '['");
  size_t pos = 0;
  return SetMatches(ParseSet(s, pos), Ch);
}

std::vector<std::string> GetFileList(const std::string& Path, bool Recursive, bool IncludeHidden, bool ListFiles,
                                     bool ListDirs, uint8_t Order, uint8_t Kind) {
  std::vector<TFileListEntry> entries;
  try {
    std::string folder = Trim(ExtractFilePath(Path));
    std::string mask = Trim(ExtractFileName(Path));
    if (folder.size() > 1 && folder.back() == '/') folder.pop_back();
    if (folder.empty()) folder = GetCurrentDir();
    if (!DirExists(folder)) return {};
    if (mask.empty()) mask.assign(1, '*');
    const bool all = mask == "*";
    std::vector<std::vector<TMaskToken>> masks;
    std::vector<bool> endsWithDot;
    for (const auto& m : SplitText(mask, ";", "", "", true, true, true, false)) {
      masks.push_back(ParseMask(PrepareText(m, true), false));
      endsWithDot.push_back(!m.empty() && m.back() == '.');
    }

    std::vector<std::string> queue{folder};
    std::set<std::pair<uint64_t, uint64_t>> searched;  // a folder reached twice is searched once
    size_t i = 0;
    while (i < queue.size()) {
      const std::string current = queue[i];
      ++i;
      uint64_t dev = 0, ino = 0;
      if (GetFileIdentity(current, dev, ino) && !searched.insert({dev, ino}).second) continue;
      WIN32_FIND_DATAW d;
      HFIND h = FindFirstFileW(JoinPath(current, "*"), d);
      if (h == INVALID_FIND_HANDLE) continue;
      size_t insertAt = i;
      do {
        if (d.cFileName == "." || d.cFileName == "..") continue;
        const bool hidden = (d.dwFileAttributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM)) != 0;
        const std::string full = JoinPath(current, d.cFileName);
        if (d.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
          if (hidden && !IncludeHidden) continue;
          if (ListDirs) AddFileListEntry(entries, full, d, Order, Kind);
          if (Recursive) queue.insert(queue.begin() + static_cast<std::ptrdiff_t>(insertAt), full);
          continue;
        }
        if (!ListFiles) continue;
        bool match = all;
        if (!match) {
          const bool noExt = d.cFileName.find('.') == std::string::npos;
          const std::u32string name = PrepareText(d.cFileName, true);
          for (size_t m = 0; m < masks.size() && !match; ++m)
            match = MatchTokens(masks[m], (endsWithDot[m] && noExt) ? name + U"." : name);
        }
        if (match && (IncludeHidden || !hidden)) AddFileListEntry(entries, full, d, Order, Kind);
      } while (FindNextFileW(h, d));
      FindClose(h);
    }
  } catch (...) {
    entries.clear();
  }

  if (Kind == 0 && Order == 0) {
    std::sort(entries.begin(), entries.end(), [](const TFileListEntry& a, const TFileListEntry& b) {
      const int c = CompareText(a.Path, b.Path);
      return c != 0 ? c < 0 : a.Path < b.Path;
    });
  } else {
    std::sort(entries.begin(), entries.end(),
              [](const TFileListEntry& a, const TFileListEntry& b) { return CompareFileListEntries(a, b) < 0; });
  }
  std::vector<std::string> result;
  result.reserve(entries.size());
  for (auto& e : entries) result.push_back(std::move(e.Path));
  return result;
}
