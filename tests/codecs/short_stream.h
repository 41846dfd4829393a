// A memory stream that takes only its first Limit bytes, for the writers'
// short-write handling.
#pragma once

#include <algorithm>
#include <cstdint>

#include "core/streams.h"

namespace vxtest {

class TShortStream : public TMemoryStream {
 public:
  explicit TShortStream(int64_t Limit) : fLimit(Limit) {}
  int64_t Write(const void* Buffer, int64_t Count) override {
    const int64_t n = std::max<int64_t>(0, std::min(Count, fLimit - Size()));
    return n > 0 ? TMemoryStream::Write(Buffer, n) : 0;
  }

 private:
  int64_t fLimit;
};

}  // namespace vxtest
