// The icon cache against a model of its most-recently-used list.
#include <algorithm>
#include <cctype>
#include <random>

#include "mview/iconcache.h"
#include "mview_fixture.h"

namespace {

std::string UpperKey(std::string s) {
  for (char& c : s) c = char(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

}  // namespace

TEST_F(MViewTest, IconKeys) {
  struct Case {
    TCachedIconType Type;
    const char* Name;
    bool Folder;
    const char* Key;
  } cases[] = {
      {citIconOnly, "/a/b/Photo.JpG", false, ".JpG~I"},
      {citFullDraw, "/a/b/Photo.JpG", false, ".JpG~F"},
      {citFullDraw, "/a/b/anything", true, "~FOLDER~F"},
      {citIconOnly, "/a/b.d/README", false, ""},
      {citIconOnly, "noext", false, ""},
  };
  for (const Case& c : cases) EXPECT_EQ(BuildIconKey(c.Type, c.Name, c.Folder), c.Key) << c.Name;
}

TEST_F(MViewTest, IconCacheFollowsAnLruModel) {
  TVexlaneMView* v = NewMView();
  for (uint32_t seed = 1; seed <= 8; ++seed) {
    SCOPED_TRACE(testing::Message() << "seed " << seed);
    std::mt19937 rng(seed);
    TVXCachedIconList cache(v, 50);
    std::vector<std::string> model;  // upper-case keys, most recent first
    std::vector<std::pair<std::string, int>> pictures;  // key -> the width saved first
    const char* specials[] = {"setup.exe", "a.LNK", "b.ico", "noext"};
    for (int step = 0; step < 400; ++step) {
      std::string name;
      const uint32_t pick = rng() % 20;
      if (pick == 0) {
        name = std::string("/d/") + specials[rng() % 4];
      } else {
        std::string ext = "e" + std::to_string(rng() % 70);
        if (rng() % 2) ext = UpperKey(ext);
        name = "/d/file." + ext;
      }
      const TCachedIconType type = rng() % 3 == 0 ? citFullDraw : citIconOnly;
      const bool folder = rng() % 25 == 0;
      const std::string key = UpperKey(BuildIconKey(type, name, folder));
      const bool noCacheExt = name.find(".exe") != std::string::npos || name.find(".LNK") != std::string::npos ||
                              name.find(".ico") != std::string::npos;
      auto at = std::find(model.begin(), model.end(), key);
      if (rng() % 2) {
        TVXBitmap* got = nullptr;
        const bool hit = cache.RetrieveFromCache(type, name, folder, got, false);
        const bool expect = !folder && !noCacheExt && !key.empty() && at != model.end();
        ASSERT_EQ(hit, expect) << name;
        if (hit) {
          model.erase(at);
          model.insert(model.begin(), key);
          auto p = std::find_if(pictures.begin(), pictures.end(), [&](auto& e) { return e.first == key; });
          ASSERT_NE(p, pictures.end());
          EXPECT_EQ(got->Width(), p->second);  // saving again kept the first picture
        }
      } else {
        const int w = 2 + int(rng() % 40);
        TVXBitmap pic(w, 3, vx24RGB);
        cache.SaveToCache(&pic, type, name, folder);
        if (!key.empty()) {
          if (at == model.end()) {
            model.insert(model.begin(), key);
            pictures.erase(std::remove_if(pictures.begin(), pictures.end(), [&](auto& e) { return e.first == key; }),
                           pictures.end());
            pictures.emplace_back(key, w);
          } else {
            model.erase(at);
            model.insert(model.begin(), key);
          }
          if (model.size() > 50) model.pop_back();
        }
      }
      ASSERT_EQ(cache.Keys(), model) << "step " << step;
    }
  }
}

TEST_F(MViewTest, IconCacheEdges) {
  TVexlaneMView* v = NewMView();
  TVXCachedIconList cache(v, 50);
  TVXBitmap wide(10, 4, vx24RGB), narrow(1, 4, vx24RGB);
  cache.SaveToCache(&narrow, citIconOnly, "a.png", false);
  EXPECT_EQ(cache.Count(), 0);
  // 51 keys: the first one saved goes.
  for (int i = 0; i < 51; ++i) cache.SaveToCache(&wide, citIconOnly, "f.x" + std::to_string(i), false);
  EXPECT_EQ(cache.Count(), 50);
  TVXBitmap* got = nullptr;
  EXPECT_FALSE(cache.RetrieveFromCache(citIconOnly, "f.x0", false, got, false));
  EXPECT_TRUE(cache.RetrieveFromCache(citIconOnly, "F.X1", false, got, false));
  // A copy goes into the caller's bitmap.
  TVXBitmap mine;
  TVXBitmap* dest = &mine;
  EXPECT_TRUE(cache.RetrieveFromCache(citIconOnly, "g.x2", false, dest, true));
  EXPECT_EQ(dest, &mine);
  EXPECT_EQ(mine.Width(), 10);
  // Turning the soft shadow on empties the cache at the next lookup.
  v->SoftShadow().Enabled = true;
  EXPECT_FALSE(cache.RetrieveFromCache(citIconOnly, "f.x3", false, got, false));
  EXPECT_EQ(cache.Count(), 0);
  cache.SaveToCache(&wide, citIconOnly, "f.x3", false);
  v->SoftShadow().Radius = 5;
  cache.SaveToCache(&wide, citIconOnly, "f.x4", false);
  EXPECT_EQ(cache.Keys(), (std::vector<std::string>{".X4~I"}));
  // Unlimited below 1.
  TVXCachedIconList all(v, 0);
  for (int i = 0; i < 70; ++i) all.SaveToCache(&wide, citFullDraw, "f.y" + std::to_string(i), false);
  EXPECT_EQ(all.Count(), 70);
}

TEST_F(MViewTest, TheViewersIconCacheEmptiesWithItsCaches) {
  TVexlaneMView* v = NewMView();
  TVXBitmap wide(10, 4, vx24RGB);
  ASSERT_NE(v->IconList(), nullptr);
  EXPECT_EQ(v->IconList()->MaxIconCount(), 50);
  v->IconList()->SaveToCache(&wide, citIconOnly, "a.txt", false);
  v->ClearCache();
  EXPECT_EQ(v->IconList()->Count(), 0);
  v->IconList()->SaveToCache(&wide, citIconOnly, "a.txt", false);
  v->Clear();
  EXPECT_EQ(v->IconList()->Count(), 0);
}
