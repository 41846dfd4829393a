// The metadata readers on arbitrary bytes: they stay inside their input and
// never produce more data than the input holds.
#include <gtest/gtest.h>

#include <random>

#include "core/streams.h"
#include "io/annotations.h"
#include "io/dicomtags.h"
#include "io/iptc.h"
#include "io/markers.h"
#include "io/xmp.h"

namespace {

int64_t DicomDataBytes(const TVXDicomTags& t) {
  int64_t n = 0;
  for (int32_t i = 0; i < t.Count(); ++i) {
    const TVXDicomTag* tag = t.GetTag(i);
    n += tag->DataLen;
    if (tag->Children)
      for (const auto& c : *tag->Children) n += DicomDataBytes(*c);
  }
  return n;
}

// Random buffers that often begin like the real forms, so that the readers
// get past their first checks.
std::vector<uint8_t> RandomInput(std::mt19937& rng, const std::vector<uint8_t>& prefix) {
  std::vector<uint8_t> b = prefix;
  size_t extra = rng() % 200;
  for (size_t i = 0; i < extra; ++i) {
    uint32_t r = rng();
    // Mostly small values: counts and lengths that nearly fit.
    b.push_back(uint8_t(r % 4 == 0 ? r >> 8 : r % 8));
  }
  if (!b.empty() && rng() % 3 == 0) b.resize(rng() % b.size());
  return b;
}

}  // namespace

TEST(MetaRobustness, ArbitraryBytes) {
  std::mt19937 rng(12345);
  const std::vector<uint8_t> prefixes[] = {
      {},
      {0, 3, 0, 0, 0},
      {3, 2, 0, 0, 0, 8, 0, 0x60, 0, 3, 0, 0, 0},
      {'P', 'h', 'o', 't', 'o', 's', 'h', 'o', 'p', ' ', '3', '.', '0', 0, '8', 'B', 'I', 'M', 4, 4, 0, 0},
      {0x1C, 2, 5, 0, 4},
      {0, 0, 0, 0, 1, 0, 0, 0, 5, 0, 0, 0, 164, 0, 0, 0},
  };
  for (int iter = 0; iter < 3000; ++iter) {
    std::vector<uint8_t> in = RandomInput(rng, prefixes[size_t(iter) % std::size(prefixes)]);
    const int64_t n = int64_t(in.size());
    {
      TVXIPTCInfoList l;
      l.LoadFromStandardBuffer(in.data(), n);
      int64_t total = 0;
      for (int32_t i = 0; i < l.Count(); ++i) total += l.GetItemLength(i);
      EXPECT_LE(total, n);
      TVXMemStream s(in.data(), n);
      l.LoadFromStream(s);
      total = 0;
      for (int32_t i = 0; i < l.Count(); ++i) total += l.GetItemLength(i);
      EXPECT_LE(total, n);
    }
    {
      TVXMemStream s(in.data(), n);
      TVXMarkerList m;
      m.LoadFromStream(s);
      int64_t total = 0;
      for (int32_t i = 0; i < m.Count(); ++i) total += m.MarkerSize(i);
      EXPECT_LE(total, n);
      m.Sort();
    }
    {
      TVXMemStream s(in.data(), n);
      TVXDicomTags t;
      t.LoadFromStream(s);
      EXPECT_LE(DicomDataBytes(t), n);
    }
    {
      TVXImagingAnnot a;
      a.LoadFromStandardBuffer(in.data(), n);
      EXPECT_LE(int64_t(a.ObjectsCount()) * 172, n + 172);
      TVXMemStream s(in.data(), n);
      TVXVexlaneAnnot v;
      v.LoadFromStream(s);
      EXPECT_LE(v.Data().Size(), n);
    }
    const uint8_t* packet = VXFindXMPPacket(in.data(), n);
    if (packet) {
      EXPECT_GT(packet, in.data());
      EXPECT_LE(packet, in.data() + n);
    }
  }
}
