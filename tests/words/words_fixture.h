#pragma once
// The word tests run with the library started (the start-up fills the word
// tables). A test that changes the interface language, the thread locale or
// table entries gets them back through this fixture.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "core/settings.h"
#include "platform/win_locale.h"
#include "words/words.h"

namespace vxtest {

class TWordsTest : public ::testing::Test {
protected:
  void SetUp() override {
    fLanguage = VXGetGlobalSettings()->MsgLanguage();
    fLocale = GetThreadLocale();
  }
  void TearDown() override {
    VXGetGlobalSettings()->SetMsgLanguage(fLanguage);
    SetThreadLocale(fLocale);
    VXRegisterAllWordTables();
    for (int i = 0; i < VXWordCount; ++i) {
      VXWordTable[msSystem][i].clear();
      VXWordTable[msUser][i].clear();
    }
  }
  static void Choose(TMsgLanguage Language) { VXGetGlobalSettings()->SetMsgLanguage(Language); }
  static const std::string& Entry(TMsgLanguage Language, int Index) { return VXWordTable[Language][Index]; }

private:
  TMsgLanguage fLanguage = msSystem;
  LCID fLocale = 0;
};

}  // namespace vxtest
