// The file dialogs' properties, the shell view commands and the open
// dialog's filter list.
#include "dialogs/opensavedlg.h"

#include <algorithm>
#include <cctype>

#include "core/settings.h"
#include "io/fileformats.h"
#include "words/words.h"

namespace {

std::string Lower(std::string s) {
  for (char& c : s) c = char(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

std::string Trim(const std::string& s) {
  const size_t b = s.find_first_not_of(' ');
  if (b == std::string::npos) return std::string();
  return s.substr(b, s.find_last_not_of(' ') - b + 1);
}

// Words of the interface.
constexpr uint16_t kWordVideoForWindows = 125;
constexpr uint16_t kWordAllGraphicFiles = 131;
constexpr uint16_t kWordAllFiles = 132;

}  // namespace

int32_t TVXCommonDialog::ViewCommand(TVXCommonDialogView View, TVXOpSys OS) {
  // By mode: the command of Windows 2000, XP and 2003, and of Vista and later.
  static const int32_t kOlder[] = {-1, 0x7029, 0x702D, 0x702D, 0x702D, 0x702E, 0x702B, 0x702C};
  static const int32_t kNewer[] = {-1, 0x7050, 0x704E, 0x704F, 0x704D, 0x704C, 0x7051, 0x704B};
  const size_t i = size_t(View);
  if (i >= std::size(kOlder)) return -1;
  switch (OS) {
    case vxosWin2000:
    case vxosWinXP:
    case vxosWin2003:
      return kOlder[i];
    case vxosWinVista:
    case vxosWin7:
    case vxosWin8:
    case vxosUnknown:
      return kNewer[i];
    default:
      return -1;
  }
}

TOpenVexlaneDialog::TOpenVexlaneDialog(TComponent* AOwner) : TVXCommonDialog(AOwner) {
  VXUpdateGIFFileFormat();
  FFilter = BuildStrFilter(-1, false);
}

void TOpenVexlaneDialog::SetInitialDir(const std::string& Value) {
  FInitialDir = Value;
  if (FInitialDir.size() > 1 && FInitialDir.back() == '/') FInitialDir.pop_back();
}

void TOpenVexlaneDialog::SetAlwaysAnimate(bool Value) {
  fAlwaysAnimate = Value;
  if (Value) fShowAllFrames = true;
}

std::string TOpenVexlaneDialog::BuildStrFilter(int32_t LimitToType, bool /*bMultiFrameSaveOnly*/) {
  VXUpdateGIFFileFormat();
  std::string R, A, L;
  if (fShowFormats != vxsfVideosOnly) {
    for (const TVXFileFormatInfo* info : VXGetGlobalSettings()->FileFormats()) {
      if (info->Extensions.empty() || !info->ReadFunction) continue;
      std::string P;
      const int32_t n = VXGetFileFormatExtensionCount(info->FileType);
      for (int32_t k = 0; k < n; ++k) {
        const std::string piece = "*." + Lower(VXGetFileFormatExtension(info->FileType, k)) + ";";
        P += piece;
        A += piece;
      }
      if (!P.empty()) P.pop_back();
      const std::string E = "|" + info->FullName + " (" + P + ")|" + P;
      if (info->FileType == 3)
        R = E + R;
      else
        R += E;
      if (info->FileType == LimitToType) L = info->FullName + " (" + P + ")|" + P;
    }
  }
  if (fShowFormats != vxsfImagesOnly) {
    const std::string avi = VXLocalizedMessage(kWordVideoForWindows) + " (*.avi)|*.avi";
    A += "*.avi;";
    R += "|" + avi;
    if (LimitToType == 15) L = avi;
    A += "*.mpeg;*.mpg;";
    R += "|MPEG (*.mpeg;*.mpg)|*.mpeg;*.mpg";
    if (LimitToType == 23) L = "MPEG (*.mpeg;*.mpg)|*.mpeg;*.mpg";
    A += "*.wmv;";
    R += "|Windows Media Video (*.wmv)|*.wmv";
    if (LimitToType == 22) L = "Windows Media Video (*.wmv)|*.wmv";
  }
  // The extended pairs: all of it as given (X), their patterns (Y).
  std::string X, Y;
  bool inPattern = false;
  for (size_t i = 0; i < fExtendedFilters.size(); ++i) {
    const char c = fExtendedFilters[i];
    const bool last = i + 1 == fExtendedFilters.size();
    X += c;
    if (!inPattern) {
      if (c == '|') inPattern = true;
      continue;
    }
    if (c != '|') Y += c;
    if (c == '|' || last) {
      inPattern = false;
      if (!last) Y += ';';
    }
  }
  X = Trim(X);
  Y = Trim(Y);
  if (!X.empty()) {
    R += "|" + X;
    if (!L.empty()) L += "|" + X;
  }
  if (!Y.empty()) A += Y + ";";
  std::string M;
  if (fShowFormats != vxsfAllOnly) {
    if (!A.empty()) A.pop_back();
    M = VXLocalizedMessage(kWordAllGraphicFiles) + "|" + A + "|";
  }
  const std::string all = VXLocalizedMessage(kWordAllFiles) + " (*.*)|*.*";
  if (!L.empty()) return L + "|" + M + all;
  return M + all + R;
}

int32_t TOpenVexlaneDialog::FindFilterIndex(const std::string& Ext) const {
  const std::string e = Lower(Ext);
  if (e.empty()) return 1;
  size_t p = FFilter.find(e);
  if (p == std::string::npos) return 1;
  // The open dialog looks for the third occurrence: the all-formats pair and
  // the pattern list's description hold the first two.
  size_t use = p;
  size_t q = p;
  for (int k = 0; k < 2 && q != std::string::npos; ++k) {
    q = FFilter.find(e, q + 1);
    if (k == 1 && q != std::string::npos) use = q;
  }
  const auto bars = std::count(FFilter.begin(), FFilter.begin() + ptrdiff_t(use), '|');
  return int32_t(bars / 2 + 1);
}

int32_t TOpenVexlaneDialog::FilterIndexOfFileType(int32_t FileType) const {
  if (VXGetFileFormatExtensionCount(FileType) < 1) return 0;
  return FindFilterIndex("." + VXGetFileFormatExtension(FileType, 0));
}
