// The fill routines: English from the string resources, every other language
// from its bytes in its row's code page.
#include <string_view>

#include "platform/win_resource.h"
#include "words/words.h"
#include "words/wordsdata.h"

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

void VXRegisterWordTableItalian() { VXFillWordRowFromBytes(msItalian); }
void VXRegisterWordTableGerman() { VXFillWordRowFromBytes(msGerman); }
void VXRegisterWordTableSpanish() { VXFillWordRowFromBytes(msSpanish); }
void VXRegisterWordTableFrench() { VXFillWordRowFromBytes(msFrench); }
void VXRegisterWordTablePortuguese() { VXFillWordRowFromBytes(msPortuguese); }
void VXRegisterWordTableGreek() { VXFillWordRowFromBytes(msGreek); }
void VXRegisterWordTableRussian() { VXFillWordRowFromBytes(msRussian); }
void VXRegisterWordTableDutch() { VXFillWordRowFromBytes(msDutch); }
void VXRegisterWordTableSwedish() { VXFillWordRowFromBytes(msSwedish); }
void VXRegisterWordTablePolish() { VXFillWordRowFromBytes(msPolish); }
void VXRegisterWordTableJapanese() { VXFillWordRowFromBytes(msJapanese); }
void VXRegisterWordTableCzech() { VXFillWordRowFromBytes(msCzech); }
void VXRegisterWordTableFinnish() { VXFillWordRowFromBytes(msFinnish); }
void VXRegisterWordTableFarsi() { VXFillWordRowFromBytes(msFarsi); }
void VXRegisterWordTableChinese() { VXFillWordRowFromBytes(msChinese); }
void VXRegisterWordTableChineseTraditional() { VXFillWordRowFromBytes(msChineseTraditional); }
void VXRegisterWordTableChineseTraditionalBig5() { VXFillWordRowFromBytes(msChineseTraditionalBig5); }
void VXRegisterWordTableDanish() { VXFillWordRowFromBytes(msDanish); }
void VXRegisterWordTableTurkish() { VXFillWordRowFromBytes(msTurkish); }
void VXRegisterWordTableKorean() { VXFillWordRowFromBytes(msKorean); }
void VXRegisterWordTableHungarian() { VXFillWordRowFromBytes(msHungarian); }
void VXRegisterWordTableArabic() { VXFillWordRowFromBytes(msArabic); }
void VXRegisterWordTableSerbian() { VXFillWordRowFromBytes(msSerbian); }
void VXRegisterWordTableNorwegian() { VXFillWordRowFromBytes(msNorwegian); }

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
