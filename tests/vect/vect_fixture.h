// A started library and a shown headless form to put vector layers on, with
// helpers for the object stream.
#pragma once
#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "core/bitmap.h"
#include "core/startup.h"
#include "core/streams.h"
#include "gui/forms.h"
#include "vect/vexlanevect.h"
#include "winui/headless.h"

class VectTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { Library = new TVXLibraryGuard(); }
  static void TearDownTestSuite() {
    delete Library;
    Library = nullptr;
  }
  void SetUp() override {
    VXHeadless::Reset();
    VXHeadless::SetClock(100000);
    Form = std::make_unique<TForm>();
    Form->SetBounds(0, 0, 800, 600);
    Form->Show();
    VXHeadless::RunUntilIdle();
  }
  void TearDown() override {
    Form.reset();
    VXHeadless::Reset();
  }

  TVexlaneVect* NewVect() {
    auto* v = new TVexlaneVect(Form.get());
    v->SetParent(Form.get());
    v->SetBounds(10, 10, 400, 300);
    v->Handle();
    VXHeadless::RunUntilIdle();
    return v;
  }

  static std::vector<uint8_t> Save(TVexlaneVect* v, int32_t hobj = -3) {
    TMemoryStream m;
    v->SaveToStreamVXV(&m, hobj);
    const uint8_t* p = static_cast<const uint8_t*>(m.Memory());
    return std::vector<uint8_t>(p, p + m.Size());
  }
  static bool Load(TVexlaneVect* v, const std::vector<uint8_t>& Bytes, bool Append = false) {
    TVXMemStream s(Bytes.data(), int64_t(Bytes.size()));
    return v->LoadFromStreamVXV(&s, Append);
  }

  // A W x H 24-bit picture of a pattern of Seed, with an alpha ramp when
  // Alpha is set.
  static std::unique_ptr<TVXBitmap> Picture(int W, int H, int Seed, bool Alpha) {
    auto b = std::make_unique<TVXBitmap>();
    b->Allocate(W, H, vx24RGB);
    for (int y = 0; y < H; ++y)
      for (int x = 0; x < W; ++x) b->SetPixels(x, y, TRGB{uint8_t(x * 7 + Seed), uint8_t(y * 5), uint8_t(Seed)});
    if (Alpha) {
      TVXBitmap* a = b->AlphaChannel();
      for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) static_cast<uint8_t*>(a->Scanline(y))[x] = uint8_t((x * 255) / std::max(1, W - 1));
      a->SyncFull();
    }
    return b;
  }

  static inline TVXLibraryGuard* Library = nullptr;
  std::unique_ptr<TForm> Form;
};
