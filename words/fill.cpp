// The fill routines: English from the string resources, every other language
// from its bytes in its row's code page.
#include <string_view>

#include "platform/win_resource.h"
#include "words/words.h"
#include "words/wordsdata.h"

namespace {

void FillFromBytes(TMsgLanguage Language) {
  const TVXWordBytes& w = VXWordBytes[Language];
  if (w.Bytes == nullptr) return;
  for (uint16_t i = 0; i < VXWordCount; ++i)
    VXSetMessageAnsi(Language, i, std::string_view(w.Bytes + w.Offsets[i], w.Offsets[i + 1] - w.Offsets[i]));
}

}  // namespace

void VXRegisterWordTableEnglish() {
  VXRegisterWordStringResources();
  // A resource string holds at most 65,535 units: 3 bytes each as UTF-8.
  // Words are short, so the stack serves unless one is not.
  char local[3 * 256];
  std::string heap;
  for (uint16_t i = 0; i < VXWordCount; ++i) {
    const char16_t* p = nullptr;
    const int n = LoadStringW(nullptr, VXWordStringBase + i, reinterpret_cast<char16_t*>(&p), 0);
    size_t len = 0;
    char* out = local;
    if (n > 0) {
      if (size_t(n) > 256) out = (heap.resize(3 * size_t(n)), heap.data());
      len = VXUTF16ToUTF8(out, p, size_t(n));
    }
    VXSetMessage(msEnglish, i, std::string_view(out, len));
  }
}

void VXRegisterWordTableItalian() { FillFromBytes(msItalian); }
void VXRegisterWordTableGerman() { FillFromBytes(msGerman); }
void VXRegisterWordTableSpanish() { FillFromBytes(msSpanish); }
void VXRegisterWordTableFrench() { FillFromBytes(msFrench); }
void VXRegisterWordTablePortuguese() { FillFromBytes(msPortuguese); }
void VXRegisterWordTableGreek() { FillFromBytes(msGreek); }
void VXRegisterWordTableRussian() { FillFromBytes(msRussian); }
void VXRegisterWordTableDutch() { FillFromBytes(msDutch); }
void VXRegisterWordTableSwedish() { FillFromBytes(msSwedish); }
void VXRegisterWordTablePolish() { FillFromBytes(msPolish); }
void VXRegisterWordTableJapanese() { FillFromBytes(msJapanese); }
void VXRegisterWordTableCzech() { FillFromBytes(msCzech); }
void VXRegisterWordTableFinnish() { FillFromBytes(msFinnish); }
void VXRegisterWordTableFarsi() { FillFromBytes(msFarsi); }
void VXRegisterWordTableChinese() { FillFromBytes(msChinese); }
void VXRegisterWordTableChineseTraditional() { FillFromBytes(msChineseTraditional); }
void VXRegisterWordTableChineseTraditionalBig5() { FillFromBytes(msChineseTraditionalBig5); }
void VXRegisterWordTableDanish() { FillFromBytes(msDanish); }
void VXRegisterWordTableTurkish() { FillFromBytes(msTurkish); }
void VXRegisterWordTableKorean() { FillFromBytes(msKorean); }
void VXRegisterWordTableHungarian() { FillFromBytes(msHungarian); }
void VXRegisterWordTableArabic() { FillFromBytes(msArabic); }
void VXRegisterWordTableSerbian() { FillFromBytes(msSerbian); }
void VXRegisterWordTableNorwegian() { FillFromBytes(msNorwegian); }

void VXRegisterAllWordTables() {
  VXRegisterWordTableEnglish();
  VXRegisterWordTableItalian();
  VXRegisterWordTableGerman();
  VXRegisterWordTableSpanish();
  VXRegisterWordTableFrench();
  VXRegisterWordTablePortuguese();
  VXRegisterWordTableGreek();
  VXRegisterWordTableRussian();
  VXRegisterWordTableDutch();
  VXRegisterWordTableSwedish();
  VXRegisterWordTablePolish();
  VXRegisterWordTableJapanese();
  VXRegisterWordTableCzech();
  VXRegisterWordTableFinnish();
  VXRegisterWordTableFarsi();
  VXRegisterWordTableChinese();
  VXRegisterWordTableChineseTraditional();
  VXRegisterWordTableChineseTraditionalBig5();
  VXRegisterWordTableDanish();
  VXRegisterWordTableTurkish();
  VXRegisterWordTableKorean();
  VXRegisterWordTableHungarian();
  VXRegisterWordTableArabic();
  VXRegisterWordTableSerbian();
  VXRegisterWordTableNorwegian();
}
