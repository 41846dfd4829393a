// TVexlaneProc: the undo and redo histories, alone and with a viewer.

#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "core/bitmap.h"
#include "core/mask.h"
#include "core/settings.h"
#include "core/streams.h"
#include "fake_viewhost.h"
#include "proc/proc.h"
#include "core/rowops.h"

namespace {

void Picture(TVXBitmap* b, int32_t w, int32_t h, uint8_t seed) {
  ASSERT_TRUE(b->Allocate(w, h, vx24RGB));
  for (int32_t y = 0; y < h; ++y)
    for (int32_t x = 0; x < w; ++x)
      b->SetPixels_vx24RGB(x, y, TRGB{uint8_t(x * 9 + seed), uint8_t(y * 13 + seed), uint8_t(x * y + seed)});
}

// A component on a viewer host whose image is a 12 x 8 picture, with a
// second layer and a log of the events.
struct UndoRig {
  TFakeViewHost host;
  TVexlaneProc proc;
  std::vector<std::string> events;
  UndoRig() {
    Picture(host.Image(), 12, 8, 1);
    host.layers.push_back(TFakeViewHost::Layer{std::make_unique<TVXBitmap>(), TFakeViewHost::MakeGUID(2), 20});
    Picture(host.layers[1].bitmap.get(), 6, 4, 50);
    proc.SetAttachedVexlane(&host);
    proc.OnSaveUndo = [this](void*, TVXUndoSource s) { events.push_back("save " + std::to_string(int(s))); };
  }
  uint8_t P(int32_t x, int32_t y) { return host.Image()->Pixels_vx24RGB(x, y).b; }
};

struct UndoCase {
  const char* name;
  std::function<void(UndoRig&)> check;
};

TEST(ProcUndo, Cases) {
  const UndoCase cases[] = {
      {"limit 1 replaces",
       [](UndoRig& s) {
         s.proc.SaveUndoCaptioned("first", vxuImage);
         s.proc.SaveUndoCaptioned("second", vxuImage);
         EXPECT_EQ(s.proc.UndoCount(), 1);
         EXPECT_EQ(s.proc.GetUndoCaptions(0), "second");
       }},
      {"limit 0 and below save nothing and raise nothing",
       [](UndoRig& s) {
         for (int32_t limit : {0, -3}) {
           s.proc.SetUndoLimit(limit);
           s.proc.SaveUndo(vxuImage);
           s.proc.SaveUndo(vxuLayer);
           s.proc.SaveRedo(vxuImage);
           EXPECT_EQ(s.proc.UndoCount(), 0);
           EXPECT_EQ(s.proc.RedoCount(), 0);
           EXPECT_TRUE(s.events.empty());
         }
       }},
      {"1 x 5 image: event without entry",
       [](UndoRig& s) {
         s.host.Image()->Allocate(1, 5, vx24RGB);
         s.proc.SaveUndo(vxuImage);
         EXPECT_EQ(s.proc.UndoCount(), 0);
         EXPECT_EQ(s.events, std::vector<std::string>{"save 1"});
       }},
      {"Undo (true) then Redo returns to the state before the undo",
       [](UndoRig& s) {
         s.proc.SetUndoLimit(5);
         s.proc.SaveUndo(vxuImage);
         s.proc.Negative();
         TVXBitmap changed(s.host.Image());
         s.proc.Undo(true);
         EXPECT_EQ(s.P(3, 2), uint8_t(3 * 9 + 1));
         s.proc.Redo();
         EXPECT_TRUE(VXBitmapsEqual(s.host.Image(), &changed));
         EXPECT_EQ(s.proc.UndoCount(), 1);
         EXPECT_EQ(s.proc.RedoCount(), 1);
       }},
      {"captions count from the newest",
       [](UndoRig& s) {
         s.proc.SetUndoLimit(3);
         s.proc.SetAutoUndo(true);
         s.proc.Negative();
         s.proc.ImageResize(40, 30, vxhLeft, vxvTop, 255);
         EXPECT_EQ(s.proc.GetUndoCaptions(0), "ImageResize 40, 30");
         EXPECT_EQ(s.proc.GetUndoCaptions(1), "Negative");
         EXPECT_EQ(s.proc.GetUndoCaptions(2), "");
         EXPECT_EQ(s.proc.UndoPeekAt(0), vxuImage);
         EXPECT_EQ(s.proc.UndoPeekAt(2), vxuUnknown);
         s.proc.SetUndoCaptions(1, "renamed");
         s.proc.ClearUndoAt(0);
         EXPECT_EQ(s.proc.GetUndoCaptions(0), "renamed");
         // The older entry restores the image before the negative.
         s.proc.Undo(false);
         EXPECT_EQ(s.host.Image()->Width(), 12);
         EXPECT_EQ(s.P(3, 2), uint8_t(3 * 9 + 1));
       }},
      {"UndoRect after a selection snapshot does nothing",
       [](UndoRig& s) {
         s.host.NewMask(8)->SetRectangle(1, 1, 4, 4, 255);
         s.proc.SetUndoLimit(2);
         s.proc.SaveUndo(vxuImage);
         s.proc.SaveUndo(vxuSelection);
         s.host.Image()->Fill(0);
         s.proc.UndoRect(0, 0, 11, 7);
         EXPECT_EQ(s.P(3, 2), 0);
         // An image snapshot on top: only the rectangle comes back.
         s.proc.SaveUndoCaptioned("x", vxuImage);
         s.host.mask->Empty();
         s.proc.Negative();
         s.proc.UndoRect(5, 3, 2, 1);  // corners in any order
         EXPECT_EQ(s.P(3, 2), 0);
         EXPECT_EQ(s.P(6, 2), 255);
       }},
      {"selection snapshot round trip",
       [](UndoRig& s) {
         TVXMask* m = s.host.NewMask(8);
         m->SetRectangle(2, 2, 5, 5, 200);
         s.proc.SaveUndo(vxuSelection);
         s.host.mask->Empty();
         s.proc.Undo(false);
         EXPECT_EQ(s.host.mask->GetPixel(3, 3), 200);
         EXPECT_EQ(s.host.mask->GetPixel(1, 1), 0);
       }},
      {"a layer snapshot restores only layers whose GUID still exists",
       [](UndoRig& s) {
         s.host.current = 1;
         s.host.layers[0].property = 7;
         s.proc.SaveUndo(vxuFullLayer);  // layer 1 with its bitmap
         TVXBitmap layer1(s.host.layers[1].bitmap.get());
         s.host.layers[0].property = 8;
         s.host.layers[1].property = 9;
         s.host.layers[1].bitmap->Fill(0);
         s.host.layers[0].guid = TFakeViewHost::MakeGUID(99);  // layer 0 replaced
         s.proc.Undo(false);
         EXPECT_EQ(s.host.layers[0].property, 8);
         EXPECT_EQ(s.host.layers[1].property, 20);
         EXPECT_TRUE(VXBitmapsEqual(s.host.layers[1].bitmap.get(), &layer1));
         EXPECT_EQ(s.host.Count("Update"), 1);
       }},
      {"a handler setting bHandled stops the restore",
       [](UndoRig& s) {
         s.proc.SetMViewIndex(4);
         s.proc.SaveUndo(vxuImage);
         s.host.Image()->Fill(0);
         void* seen = nullptr;
         s.proc.OnUndoRedoEvent = [&](void*, bool isUndo, TVXUndoSource src, void* obj, int32_t index, bool& handled) {
           EXPECT_TRUE(isUndo);
           EXPECT_EQ(src, vxuImage);
           EXPECT_EQ(index, 4);
           seen = obj;
           handled = true;
         };
         s.proc.Undo(false);
         EXPECT_NE(seen, nullptr);
         EXPECT_EQ(s.P(3, 2), 0);
       }},
      {"an image snapshot restores into the layer it names",
       [](UndoRig& s) {
         s.host.current = 1;
         s.proc.SaveUndo(vxuImage);  // the attached bitmap, noted as layer 1
         s.host.Image()->Fill(0);
         s.proc.Undo(false);
         EXPECT_EQ(s.P(3, 2), 0);  // layer 0 untouched
         EXPECT_EQ(s.host.layers[1].bitmap->Width(), 12);
         EXPECT_EQ(s.host.layers[1].bitmap->Pixels_vx24RGB(3, 2).b, uint8_t(3 * 9 + 1));
       }},
      {"objects and layers of a vector viewer",
       [](UndoRig& s) {
         s.host.kind = vxvhVectView;
         s.proc.SetUndoLimit(2);
         s.host.objects = 5;
         s.proc.SaveUndo(vxuObject);
         s.host.layers[1].property = 33;
         s.proc.SaveUndo(vxuObjectsAndLayers);
         s.host.objects = 6;
         s.host.layers[1].property = 0;
         s.proc.Undo(false);
         EXPECT_EQ(s.host.objects, 5);
         EXPECT_EQ(s.host.layers[1].property, 33);
         s.host.objects = 1;
         s.proc.UndoAt(1, false);
         EXPECT_EQ(s.host.objects, 5);
         EXPECT_EQ(s.host.Count("LayersSaveToStream"), 0);
       }},
      {"snapshots that do not fit the viewer make no entry",
       [](UndoRig& s) {
         s.host.kind = vxvhView;
         s.proc.SaveUndo(vxuSelection);
         s.proc.SaveUndo(vxuObject);
         s.proc.SaveUndo(vxuLayer);
         s.proc.SaveUndo(vxuUnknown);
         EXPECT_EQ(s.proc.UndoCount(), 0);
         EXPECT_EQ(s.events.size(), 4u);
         s.proc.UndoAt(0, true);
         s.proc.RedoAt(3);
         s.proc.ClearUndo();
         s.proc.ClearRedo();
       }},
  };
  for (const UndoCase& c : cases) {
    SCOPED_TRACE(c.name);
    UndoRig s;
    c.check(s);
  }
}

// A layer record that is too short or reaches past the stream ends the
// replay instead of looping or reading outside it.
TEST(ProcUndo, DamagedLayerRecordsEndTheReplay) {
  struct BadHost : TFakeViewHost {
    uint32_t badLength = 0;
    void LayerSaveInfo(int32_t Index, TStream* Stream, bool FullBitmap) override {
      if (Index == 0) return TFakeViewHost::LayerSaveInfo(Index, Stream, FullBitmap);
      Stream->WriteBuffer(&badLength, 4);
      Stream->WriteBuffer(layers[1].guid.data(), 16);
    }
  };
  for (uint32_t length : {0u, 19u, 1000u}) {
    BadHost host;
    host.badLength = length;
    Picture(host.Image(), 4, 4, 0);
    host.layers.push_back(TFakeViewHost::Layer{std::make_unique<TVXBitmap>(), TFakeViewHost::MakeGUID(2), 20});
    TVexlaneProc proc;
    proc.SetAttachedVexlane(&host);
    host.layers[0].property = 3;
    proc.SaveUndo(vxuLayer);
    host.layers[0].property = 4;
    proc.Undo(false);
    EXPECT_EQ(host.layers[0].property, 3) << length;
    EXPECT_EQ(host.Count("LayerLoadInfo"), 1) << length;
  }
}

// With an owner every operation leaves one entry that restores the bytes
// exactly; the snapshots' temporary files go with the component.
TEST(ProcUndo, OwnedComponentRestoresEachOperation) {
  const std::string saved = VXGetGlobalSettings()->DefTempPath();
  const char* t = getenv("TMPDIR");
  std::string dir = std::string(t && *t ? t : "/tmp") + "/vxundo-XXXXXX";
  ASSERT_NE(mkdtemp(dir.data()), nullptr);
  VXGetGlobalSettings()->SetDefTempPath(dir + "/");
  // Snapshot files in the folder, named or held open after their name went.
  auto snapshotFiles = [&] {
    int n = 0;
    const std::string prefix = dir + "/IMG-";
    for (const auto& e : std::filesystem::directory_iterator(dir))
      n += e.path().string().rfind(prefix, 0) == 0 && e.path().extension() == ".tmp";
    for (const auto& e : std::filesystem::directory_iterator("/proc/self/fd")) {
      std::error_code ec;
      const std::string target = std::filesystem::read_symlink(e.path(), ec).string();
      n += !ec && target.rfind(prefix, 0) == 0;
    }
    return n;
  };
  const std::vector<std::pair<const char*, std::function<void(TVexlaneProc&)>>> ops = {
      {"Resample", [](TVexlaneProc& p) { p.Resample(7, 5, rfMitchell, false); }},
      {"ConvertToGray", [](TVexlaneProc& p) { p.ConvertToGray(); }},
      {"Negative", [](TVexlaneProc& p) { p.Negative(); }},
  };
  for (const auto& [name, op] : ops) {
    SCOPED_TRACE(name);
    TVXBitmap image;
    image.SetLocation(vxMemory);
    Picture(&image, 16, 10, 3);
    TVXBitmap original(&image);
    {
      TComponent owner;
      TVexlaneProc proc(&owner);
      proc.SetAttachedVXBitmap(&image);
      op(proc);
      EXPECT_FALSE(VXBitmapsEqual(&image, &original));
      EXPECT_EQ(proc.UndoCount(), 1);
      EXPECT_GE(snapshotFiles(), 1);
      proc.Undo(false);
      EXPECT_TRUE(VXBitmapsEqual(&image, &original));
    }
    EXPECT_EQ(snapshotFiles(), 0);
  }
  VXGetGlobalSettings()->SetDefTempPath(saved);
  std::filesystem::remove_all(dir);
}

}  // namespace
