// Build tool: turns the cursor pictures of gui/cursors/ into a source file
// of the gui library holding each as an RT_CURSOR resource (hot spot,
// monochrome DIB header and colour table, XOR and AND masks bottom-up) and
// an RT_GROUP_CURSOR directory that names it.
//
// A picture is a text file: a first line "# NAME" (the resource name), then
// 32 rows of 32 characters: '.' transparent, '#' black, 'o' white. The hot
// spot is the centre (16, 16).
//
// Usage: mkcursors <picture folder> <output .cpp>
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

namespace {

constexpr int kSize = 32;

struct Picture {
  std::string Name;
  std::vector<std::string> Rows;
};

bool ReadPicture(const std::filesystem::path& File, Picture& Out, std::string& Error) {
  std::ifstream f(File);
  std::string line;
  if (!std::getline(f, line) || line.rfind("# ", 0) != 0 || line.size() < 3) {
    Error = "first line must be \"# NAME\"";
    return false;
  }
  Out.Name = line.substr(2);
  while (std::getline(f, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty()) continue;
    if (int(line.size()) != kSize || line.find_first_not_of(".#o") != std::string::npos) {
      Error = "rows are 32 characters of '.', '#' and 'o'";
      return false;
    }
    Out.Rows.push_back(line);
  }
  if (int(Out.Rows.size()) != kSize) {
    Error = "a picture has 32 rows";
    return false;
  }
  return true;
}

void Put16(std::vector<uint8_t>& b, uint32_t v) {
  b.push_back(uint8_t(v));
  b.push_back(uint8_t(v >> 8));
}
void Put32(std::vector<uint8_t>& b, uint32_t v) {
  Put16(b, v & 0xFFFF);
  Put16(b, v >> 16);
}

std::vector<uint8_t> CursorBytes(const Picture& P) {
  std::vector<uint8_t> b;
  Put16(b, kSize / 2);  // hot spot
  Put16(b, kSize / 2);
  Put32(b, 40);
  Put32(b, kSize);
  Put32(b, kSize * 2);  // colour image and mask
  Put16(b, 1);
  Put16(b, 1);
  Put32(b, 0);                  // BI_RGB
  Put32(b, kSize * 4 * 2);      // image size
  Put32(b, 0);
  Put32(b, 0);
  Put32(b, 2);
  Put32(b, 0);
  Put32(b, 0x00000000);  // black
  Put32(b, 0x00FFFFFF);  // white
  // XOR: white pixels; AND: transparent ones. Rows bottom-up.
  for (int pass = 0; pass < 2; ++pass)
    for (int y = kSize - 1; y >= 0; --y)
      for (int x0 = 0; x0 < kSize; x0 += 8) {
        uint8_t v = 0;
        for (int k = 0; k < 8; ++k) {
          char c = P.Rows[size_t(y)][size_t(x0 + k)];
          if ((pass == 0 && c == 'o') || (pass == 1 && c == '.')) v |= uint8_t(0x80 >> k);
        }
        b.push_back(v);
      }
  return b;
}

std::vector<uint8_t> GroupBytes(size_t CursorSize, int Id) {
  std::vector<uint8_t> b;
  Put16(b, 0);
  Put16(b, 2);  // cursors
  Put16(b, 1);
  Put16(b, kSize);
  Put16(b, kSize * 2);
  Put16(b, 1);
  Put16(b, 1);
  Put32(b, uint32_t(CursorSize));
  Put16(b, uint32_t(Id));
  return b;
}

void WriteArray(std::ostream& o, const std::string& Name, const std::vector<uint8_t>& B) {
  o << "const unsigned char " << Name << "[] = {";
  for (size_t i = 0; i < B.size(); ++i) o << (i % 20 ? "" : "\n    ") << int(B[i]) << ",";
  o << "\n};\n";
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::cerr << "usage: mkcursors <picture folder> <output .cpp>\n";
    return 2;
  }
  std::vector<std::filesystem::path> files;
  for (auto& e : std::filesystem::directory_iterator(argv[1]))
    if (e.path().extension() == ".txt") files.push_back(e.path());
  std::sort(files.begin(), files.end());
  std::ostringstream o;
  o << "// Made by the build (gui/build_tool/mkcursors) from gui/cursors/*.txt.\n"
       "#include \"gui/cursors.h\"\n\nnamespace {\n";
  std::vector<Picture> pics;
  for (size_t i = 0; i < files.size(); ++i) {
    Picture p;
    std::string err;
    if (!ReadPicture(files[i], p, err)) {
      std::cerr << files[i].string() << ": " << err << "\n";
      return 1;
    }
    for (const Picture& q : pics)
      if (q.Name == p.Name) {
        std::cerr << files[i].string() << ": the name " << p.Name << " is taken\n";
        return 1;
      }
    std::vector<uint8_t> cur = CursorBytes(p);
    WriteArray(o, "kCursor" + std::to_string(i), cur);
    WriteArray(o, "kGroup" + std::to_string(i), GroupBytes(cur.size(), int(i + 1)));
    pics.push_back(p);
  }
  o << "}  // namespace\n\nconst TVXCursorPicture VXCursorPictures[] = {\n";
  for (size_t i = 0; i < pics.size(); ++i)
    o << "    {\"" << pics[i].Name << "\", " << (i + 1) << ", kCursor" << i << ", sizeof kCursor" << i << ", kGroup" << i
      << ", sizeof kGroup" << i << "},\n";
  o << "};\nconst size_t VXCursorPictureCount = " << pics.size() << ";\n";
  std::ofstream out(argv[2], std::ios::binary);
  out << o.str();
  if (!out) {
    std::cerr << "cannot write " << argv[2] << "\n";
    return 1;
  }
  return 0;
}
