// Build tool: turns the word files words/text/<language>.txt (UTF-8) into the
// C++ source of the word data: the English words as RT_STRING blocks and every
// other language's words as bytes in its row's code page.
//
//   mkwords <text folder> <output .cpp>
//
// A word file holds one line per word, "<number> <text>" (one space between),
// and may hold one line "english: <numbers and ranges>" naming the words that
// carry the English text unchanged. Every word from 0 to 458 appears exactly
// once, either way. Empty lines and lines starting with '#' are skipped. Any
// fault stops the build with the file and line.
#include <iconv.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "words/words.h"
#include "words/wordsdata.h"

namespace {

using TWords = std::vector<std::string>;

[[noreturn]] void Fail(const std::string& Where, const std::string& What) {
  throw std::runtime_error(Where + ": " + What);
}

int ParseNumber(const std::string& S, const std::string& Where) {
  if (S.empty() || S.size() > 3 || S.find_first_not_of("0123456789") != std::string::npos)
    Fail(Where, "bad word number \"" + S + "\"");
  const int n = std::stoi(S);
  if (n >= VXWordCount) Fail(Where, "word number " + S + " out of range");
  return n;
}

std::string Trim(const std::string& S) {
  const size_t a = S.find_first_not_of(" \t");
  if (a == std::string::npos) return {};
  return S.substr(a, S.find_last_not_of(" \t") - a + 1);
}

// Reads a word file. English words of the "english:" line are marked in
// FromEnglish and left empty in the result.
TWords ReadWordFile(const std::string& Path, std::vector<bool>& FromEnglish, bool AllowEnglishLine) {
  std::ifstream f(Path, std::ios::binary);
  if (!f) Fail(Path, "cannot open");
  TWords words(VXWordCount);
  std::vector<bool> seen(VXWordCount, false);
  FromEnglish.assign(VXWordCount, false);
  auto mark = [&](int n, const std::string& where) {
    if (seen[size_t(n)]) Fail(where, "word " + std::to_string(n) + " given twice");
    seen[size_t(n)] = true;
  };
  std::string line;
  int lineNo = 0;
  while (std::getline(f, line)) {
    ++lineNo;
    const std::string where = Path + ":" + std::to_string(lineNo);
    if (!line.empty() && line.back() == '\r') Fail(where, "carriage return in line");
    if (line.empty() || line[0] == '#') continue;
    if (line.rfind("english:", 0) == 0) {
      if (!AllowEnglishLine) Fail(where, "the English file cannot refer to itself");
      std::stringstream list(line.substr(8));
      std::string item;
      while (std::getline(list, item, ',')) {
        item = Trim(item);
        const size_t dash = item.find('-');
        const int a = ParseNumber(dash == std::string::npos ? item : item.substr(0, dash), where);
        const int b = dash == std::string::npos ? a : ParseNumber(item.substr(dash + 1), where);
        if (b < a) Fail(where, "empty range " + item);
        for (int n = a; n <= b; ++n) {
          mark(n, where);
          FromEnglish[size_t(n)] = true;
        }
      }
      continue;
    }
    const size_t space = line.find(' ');
    if (space == std::string::npos) Fail(where, "no space between number and text");
    const int n = ParseNumber(line.substr(0, space), where);
    const std::string text = line.substr(space + 1);
    if (text.empty()) Fail(where, "empty text");
    if (text.find_first_of("\t\r") != std::string::npos) Fail(where, "control character in the text");
    if (text.front() == ' ' || text.back() == ' ') Fail(where, "blank at the start or end of the text");
    mark(n, where);
    words[size_t(n)] = text;
  }
  for (int n = 0; n < VXWordCount; ++n)
    if (!seen[size_t(n)]) Fail(Path, "word " + std::to_string(n) + " missing");
  return words;
}

std::string Convert(const std::string& Text, const char* To, const std::string& Where) {
  iconv_t cd = iconv_open(To, "UTF-8");
  if (cd == reinterpret_cast<iconv_t>(-1)) Fail(Where, std::string("no converter to ") + To);
  std::string out(Text.size() * 4 + 16, '\0');
  char* in = const_cast<char*>(Text.data());
  size_t inLeft = Text.size();
  char* o = out.data();
  size_t outLeft = out.size();
  const size_t r = iconv(cd, &in, &inLeft, &o, &outLeft);
  iconv_close(cd);
  if (r == size_t(-1) || inLeft != 0 || r != 0)
    Fail(Where, std::string("\"") + Text + "\" has characters outside " + To);
  out.resize(out.size() - outLeft);
  return out;
}

std::u16string ToUTF16(const std::string& Text, const std::string& Where) {
  const std::string bytes = Convert(Text, "UTF-16LE", Where);
  std::u16string r;
  for (size_t i = 0; i + 1 < bytes.size(); i += 2)
    r += char16_t(static_cast<unsigned char>(bytes[i]) | (static_cast<unsigned char>(bytes[i + 1]) << 8));
  return r;
}

std::string CLiteral(const std::string& Bytes) {
  std::string r = "\"";
  size_t col = 0;
  for (unsigned char c : Bytes) {
    if (c == '"' || c == '\\') {
      r += '\\';
      r += char(c);
    } else if (c >= 0x20 && c < 0x7F && c != '?') {
      r += char(c);
    } else {
      char b[8];
      std::snprintf(b, sizeof b, "\\%03o", c);
      r += b;
    }
    if (++col >= 100) {
      r += "\"\n    \"";
      col = 0;
    }
  }
  return r + "\"";
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: mkwords <text folder> <output .cpp>\n");
    return 2;
  }
  try {
    const std::string dir = argv[1];
    std::vector<bool> fromEnglish;
    const TWords english = ReadWordFile(dir + "/english.txt", fromEnglish, false);
    std::ostringstream o;
    o << "// Made by mkwords from words/text/*.txt at build time.\n"
         "#include <mutex>\n\n#include \"platform/win_resource.h\"\n#include \"words/wordsdata.h\"\n\n"
         "namespace {\n\n";

    // English: RT_STRING blocks of 16 strings.
    const uint32_t firstBlock = VXWordStringBase / 16;
    const uint32_t lastBlock = (VXWordStringBase + VXWordCount - 1) / 16;
    for (uint32_t b = firstBlock; b <= lastBlock; ++b) {
      o << "const char16_t kStringBlock" << (b + 1) << "[] = {";
      for (uint32_t k = 0; k < 16; ++k) {
        const uint32_t id = b * 16 + k;
        std::u16string s;
        if (id >= VXWordStringBase && id < VXWordStringBase + VXWordCount)
          s = ToUTF16(english[id - VXWordStringBase], dir + "/english.txt word " + std::to_string(id - VXWordStringBase));
        o << "\n    " << s.size() << ",";
        for (char16_t c : s) o << " " << unsigned(c) << ",";
      }
      o << "\n};\n";
    }

    // The other languages: bytes in the code page of their row.
    std::vector<bool> hasBytes(VXMsgLanguageCount, false);
    for (int row = 0; row < VXMsgLanguageCount; ++row) {
      const std::string name = VXWordTextFileNames[row];
      if (name.empty() || row == msEnglish) continue;
      const std::string path = dir + "/" + name + ".txt";
      const TWords words = ReadWordFile(path, fromEnglish, true);
      const std::string cp = "CP" + std::to_string(VXLanguageCharInfo[size_t(row)].CodePage);
      std::string all;
      std::vector<uint32_t> offsets;
      for (int n = 0; n < VXWordCount; ++n) {
        offsets.push_back(uint32_t(all.size()));
        const std::string& text = fromEnglish[size_t(n)] ? english[size_t(n)] : words[size_t(n)];
        all += Convert(text, cp.c_str(), path + " word " + std::to_string(n));
      }
      offsets.push_back(uint32_t(all.size()));
      o << "\n// " << name << " (" << cp << ")\nconst char kBytes" << row << "[] =\n    " << CLiteral(all) << ";\n";
      o << "const uint32_t kOffsets" << row << "[] = {";
      for (size_t k = 0; k < offsets.size(); ++k) o << (k % 16 == 0 ? "\n    " : " ") << offsets[k] << ",";
      o << "\n};\n";
      hasBytes[size_t(row)] = true;
    }
    o << "\n}  // namespace\n\nconst TVXWordBytes VXWordBytes[VXMsgLanguageCount] = {\n";
    for (int row = 0; row < VXMsgLanguageCount; ++row) {
      if (hasBytes[size_t(row)])
        o << "    {kBytes" << row << ", kOffsets" << row << "},\n";
      else
        o << "    {nullptr, nullptr},\n";
    }
    o << "};\n\nvoid VXRegisterWordStringResources() {\n  static std::once_flag once;\n  std::call_once(once, [] {\n";
    for (uint32_t b = firstBlock; b <= lastBlock; ++b)
      o << "    RegisterResource(RT_STRING, \"#" << (b + 1) << "\", kStringBlock" << (b + 1)
        << ", sizeof kStringBlock" << (b + 1) << ");\n";
    o << "  });\n}\n";

    const std::string out = argv[2];
    const std::string tmp = out + ".tmp";
    {
      std::ofstream f(tmp, std::ios::binary);
      f << o.str();
      if (!f) Fail(tmp, "cannot write");
    }
    if (std::rename(tmp.c_str(), out.c_str()) != 0) Fail(out, "cannot rename");
  } catch (const std::exception& e) {
    std::fprintf(stderr, "mkwords: %s\n", e.what());
    return 1;
  }
  return 0;
}
