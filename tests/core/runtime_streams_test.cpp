// Stream classes: file, temporary, memory, counting, buffered and hash streams.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "core/streams.h"
#include "platform/win_errors.h"
#include "runtime_test_util.h"

namespace {

std::string Pattern(size_t n, uint32_t seed = 7) {
  std::mt19937 rng(seed);
  std::string s(n, '\0');
  for (char& c : s) c = char(rng() & 0xFF);
  return s;
}

std::string ReadAll(TStream& s) {
  std::string r(size_t(s.Size() - s.Position()), '\0');
  s.ReadBuffer(r.data(), int64_t(r.size()));
  return r;
}

template <class E, class F>
std::string MessageOf(F f) {
  try {
    f();
  } catch (const E& e) {
    return e.what();
  }
  return "(no exception)";
}

// --- file streams ------------------------------------------------------------

TEST(RuntimeStreams, FileStreamRoundTripKeepsBytesAndPositions) {
  TRuntimeScratchDir dir;
  const std::string name = dir.File("data.bin");
  const std::string data = Pattern(200000);
  {
    TVXWideFileStream f(name, fmCreate);
    EXPECT_EQ(f.FileName(), name);
    f.WriteBuffer(data.data(), 100000);
    EXPECT_EQ(f.Position(), 100000);
    f.WriteBuffer(data.data() + 100000, 100000);
    EXPECT_EQ(f.Size(), 200000);
    EXPECT_EQ(f.Position(), 200000);  // Size() leaves the position alone
    EXPECT_EQ(f.Seek(-10, soEnd), 199990);
    char tail[10];
    f.ReadBuffer(tail, 10);
    EXPECT_EQ(std::string(tail, 10), data.substr(199990));
    f.SetPosition(5);
    char five[3];
    f.ReadBuffer(five, 3);
    EXPECT_EQ(std::string(five, 3), data.substr(5, 3));
  }
  EXPECT_EQ(RuntimeReadFile(name), data);
  {
    TVXWideFileStream f(name, fmOpenRead | fmShareDenyWrite);
    EXPECT_EQ(ReadAll(f), data);
    char c;
    EXPECT_EQ(f.Read(&c, 1), 0);
    EXPECT_THROW(f.ReadBuffer(&c, 1), EReadError);
    EXPECT_EQ(f.Write("x", 1), 0);  // opened for reading only
    EXPECT_THROW(f.WriteBuffer("x", 1), EWriteError);
  }
  {
    TVXWideFileStream f(name, fmOpenReadWrite | fmShareExclusive);
    f.SetSize(1000);
    EXPECT_EQ(f.Size(), 1000);
    EXPECT_EQ(f.Position(), 1000);
    f.SetPosition(0);
    f.WriteBuffer("ABC", 3);
  }
  std::string expect = data.substr(0, 1000);
  expect.replace(0, 3, "ABC");
  EXPECT_EQ(RuntimeReadFile(name), expect);
  {
    TVXWideFileStream f(name, fmCreate);  // create truncates
    EXPECT_EQ(f.Size(), 0);
  }
}

// Reads and writes over a descriptor go on until the count is done, and stop
// short at the end of the data or at an error.
TEST(RuntimeStreams, HandleStreamTransfersUntilDoneEndOrError) {
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  THandleStream reader(fds[0]), writer(fds[1]);
  const std::string data = "handle stream bytes";
  EXPECT_EQ(writer.Write(data.data(), int64_t(data.size())), int64_t(data.size()));
  EXPECT_EQ(writer.Write(data.data(), 0), 0);
  EXPECT_EQ(reader.Write(data.data(), 4), 0);  // the reading end takes nothing
  close(fds[1]);
  char got[64] = {};
  struct Case {
    int64_t Count, Done;
    std::string Bytes;
  } cases[] = {{0, 0, ""}, {6, 6, "handle"}, {-3, 0, ""}, {40, 13, " stream bytes"}, {5, 0, ""}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Count);
    std::memset(got, 0, sizeof got);
    EXPECT_EQ(reader.Read(got, c.Count), c.Done);
    EXPECT_EQ(std::string(got), c.Bytes);
  }
  close(fds[0]);
  THandleStream none(-1);
  EXPECT_EQ(none.Read(got, 4), 0);
  EXPECT_EQ(none.Write(got, 4), 0);
}

TEST(RuntimeStreams, FileStreamFailuresNameTheFullPath) {
  TRuntimeScratchDir dir;
  const std::string missing = dir.File("missing.png");
  EXPECT_EQ(MessageOf<EFOpenError>([&] { TVXWideFileStream f(missing, fmOpenRead); }),
            "Cannot open file \"" + missing + "\". No such file or directory");
  EXPECT_EQ(MessageOf<EFCreateError>([&] { TVXWideFileStream f(dir.File("no/such/dir.png"), fmCreate); }),
            "Cannot create file \"" + dir.File("no/such/dir.png") + "\". No such file or directory");

  // A relative name is reported made absolute.
  std::string rel = MessageOf<EFOpenError>([] { TVXWideFileStream f("vx-not-here.bin", fmOpenRead); });
  EXPECT_EQ(rel.find("Cannot open file \"" + std::filesystem::current_path().string() + "/vx-not-here.bin\"."), 0u)
      << rel;

  const std::string name = dir.File("ro.bin");
  RuntimeWriteFile(name, "hello");
  struct Case {
    uint16_t mode;
    bool opens;
  } cases[] = {
      {fmOpenRead, true},       {fmOpenRead | fmShareDenyNone, true}, {3, false},  // access 3 is not a mode
      {fmOpenRead | 0x50, false},                                                    // sharing 5 is not a mode
  };
  for (const Case& c : cases) {
    bool opened = true;
    try {
      TVXWideFileStream f(name, c.mode);
    } catch (const EFOpenError&) {
      opened = false;
    }
    EXPECT_EQ(opened, c.opens) << std::hex << c.mode;
  }
  // A read-only file (no write bits) refuses writing, whoever runs the test.
  chmod(name.c_str(), 0444);
  EXPECT_THROW(TVXWideFileStream(name, fmOpenWrite), EFOpenError);
  EXPECT_THROW(TVXWideFileStream(name, fmCreate), EFCreateError);
  EXPECT_EQ(RuntimeReadFile(name), "hello");
  // A folder is not a file.
  EXPECT_THROW(TVXWideFileStream(dir.Path(), fmOpenRead), EFOpenError);
}

TEST(RuntimeStreams, TemporaryFileStreamVanishesWithItsHandle) {
  TRuntimeScratchDir dir;
  const std::string name = dir.File("scratch.tmp");
  const std::string data = Pattern(70000, 3);
  {
    TVXTemporaryFileStream t(name);
    t.WriteBuffer(data.data(), int64_t(data.size()));
    EXPECT_EQ(t.Size(), int64_t(data.size()));
    t.SetPosition(1234);
    std::string back(100, '\0');
    t.ReadBuffer(back.data(), 100);
    EXPECT_EQ(back, data.substr(1234, 100));
    t.SetPosition(0);
    EXPECT_EQ(ReadAll(t), data);
  }
  EXPECT_FALSE(std::filesystem::exists(name));
  EXPECT_EQ(MessageOf<EInOutError>([&] { TVXTemporaryFileStream t(dir.File("none/x.tmp")); }),
            "Unable to create " + dir.File("none/x.tmp"));
}

// --- memory streams ----------------------------------------------------------

TEST(RuntimeStreams, MemoryStreamGrowsAndFillsGapsWithZeros) {
  TMemoryStream m;
  m.WriteBuffer("abc", 3);
  EXPECT_EQ(m.Seek(5, soCurrent), 8);
  m.WriteBuffer("Z", 1);
  EXPECT_EQ(m.Size(), 9);
  EXPECT_EQ(std::string(static_cast<char*>(m.Memory()), 9), std::string("abc\0\0\0\0\0Z", 9));
  EXPECT_EQ(m.Seek(-2, soEnd), 7);
  m.SetSize(4);
  EXPECT_EQ(m.Position(), 4);
  m.SetPosition(0);
  EXPECT_EQ(ReadAll(m), std::string("abc\0", 4));
  // Big writes keep every byte.
  const std::string data = Pattern(1 << 20);
  TMemoryStream big;
  for (size_t off = 0; off < data.size(); off += 4099)
    big.WriteBuffer(data.data() + off, int64_t(std::min<size_t>(4099, data.size() - off)));
  TMemoryStream copy;
  copy.LoadFromStream(&big);
  EXPECT_EQ(copy.Size(), int64_t(data.size()));
  EXPECT_EQ(std::memcmp(copy.Memory(), data.data(), data.size()), 0);
  copy.Clear();
  EXPECT_EQ(copy.Size(), 0);
  EXPECT_EQ(copy.Position(), 0);
}

TEST(RuntimeStreams, MemStreamOverCallersBlockIsReadOnly) {
  char block[6] = {'1', '2', '3', '4', '5', '6'};
  TVXMemStream s(block, 6);
  EXPECT_EQ(s.Write("xx", 2), 0);
  s.SetSize(2);
  EXPECT_EQ(s.Size(), 6);
  EXPECT_EQ(s.Seek(2, soBeginning), 2);
  EXPECT_EQ(ReadAll(s), "3456");
  EXPECT_EQ(std::string(block, 6), "123456");
  TMemoryStream out;
  s.SaveToStream(&out);
  EXPECT_EQ(std::string(static_cast<char*>(out.Memory()), 6), "123456");
}

TEST(RuntimeStreams, NulStreamCountsWhatAWriterWouldProduce) {
  TNulStream n;
  for (int i = 0; i < 3; ++i) EXPECT_EQ(n.Write(nullptr, 10), 10);
  EXPECT_EQ(n.Position(), 30);
  EXPECT_EQ(n.Size(), 30);
  EXPECT_EQ(n.Seek(0, soEnd), 30);
  EXPECT_EQ(n.Seek(5, soEnd), 25);  // from the end means size - offset
  EXPECT_EQ(n.Size(), 30);
  EXPECT_EQ(n.Seek(40, soBeginning), 40);
  EXPECT_EQ(n.Size(), 40);
  EXPECT_EQ(n.Read(nullptr, 5), 5);
  EXPECT_EQ(n.Size(), 45);
}

// --- buffered streams --------------------------------------------------------

TEST(RuntimeStreams, BufferedReadStreamEdgeCases) {
  const std::string ten = "0123456789";
  TVXMemStream inner(ten.data(), 10);
  {
    TVXBufferedReadStream b(&inner, 4, false);
    char buf[16];
    EXPECT_EQ(b.Read(buf, 10), 10);
    EXPECT_EQ(std::string(buf, 10), ten);
    EXPECT_FALSE(b.OverPosition());
    EXPECT_EQ(b.Read(buf, 3), 0);
    EXPECT_TRUE(b.OverPosition());
    EXPECT_EQ(b.Seek(0, soEnd), 10);
    EXPECT_EQ(b.Seek(3, soEnd), 7);  // size - offset
    EXPECT_EQ(b.Read(buf, 5), 3);
    EXPECT_TRUE(b.OverPosition());
    EXPECT_EQ(b.Seek(-4, soBeginning), 0);  // negative targets become 0
    EXPECT_EQ(b.Seek(20, soBeginning), 10);
    EXPECT_TRUE(b.OverPosition());
    EXPECT_THROW(b.Write("x", 1), EVXException);
    EXPECT_EQ(MessageOf<EVXException>([&] { b.Write("x", 1); }), "TVXBufferedReadStream cannot write!");
  }
  // Freeing it leaves the inner stream just behind what was read.
  inner.SetPosition(0);
  {
    TVXBufferedReadStream b(&inner, 4, false);
    char buf[5];
    b.ReadBuffer(buf, 5);
    EXPECT_EQ(inner.Position(), 8);  // prefetched two buffers
  }
  EXPECT_EQ(inner.Position(), 5);
}

TEST(RuntimeStreams, BufferedReadStreamRelativePosition) {
  const std::string data = Pattern(300);
  TVXMemStream inner(data.data(), 300);
  inner.SetPosition(100);
  TVXBufferedReadStream b(&inner, 16, true);
  EXPECT_EQ(b.Position(), 0);
  EXPECT_EQ(b.Size(), 200);
  EXPECT_EQ(b.Seek(0, soEnd), 200);
  EXPECT_EQ(b.Seek(0, soBeginning), 0);
  char c;
  b.ReadBuffer(&c, 1);
  EXPECT_EQ(c, data[100]);
}

TEST(RuntimeStreams, BufferedReadStreamMatchesDirectReads) {
  const std::string data = Pattern(50000, 11);
  TVXMemStream inner(data.data(), int64_t(data.size()));
  std::mt19937 rng(5);
  // The last case starts 10 bytes before the end: its buffer is no larger
  // than those 10 bytes, and the reads that seek back still see every byte.
  const std::pair<int32_t, int64_t> cases[] = {{1, 0}, {7, 0}, {4096, 0}, {65536, 49990}};
  for (const auto& [bufSize, start] : cases) {
    inner.SetPosition(start);
    TVXBufferedReadStream b(&inner, bufSize, false);
    int64_t pos = start;
    for (int step = 0; step < 400; ++step) {
      if (rng() % 5 == 0) {
        int64_t target = int64_t(rng() % data.size());
        if (rng() % 2)
          ASSERT_EQ(b.Seek(target, soBeginning), target);
        else
          ASSERT_EQ(b.Seek(target - pos, soCurrent), target);
        pos = target;
      }
      int64_t want = int64_t(rng() % 700);
      std::string got(size_t(want), '\0');
      int64_t n = b.Read(got.data(), want);
      int64_t expectN = std::min<int64_t>(want, int64_t(data.size()) - pos);
      ASSERT_EQ(n, expectN) << "buffer " << bufSize << " step " << step;
      ASSERT_EQ(got.substr(0, size_t(n)), data.substr(size_t(pos), size_t(n)));
      pos += n;
      ASSERT_EQ(b.Position(), pos);
    }
  }
}

TEST(RuntimeStreams, BufferedWriteStreamKeepsOrderAcrossFlushes) {
  const std::string data = Pattern(30000, 21);
  TMemoryStream inner;
  {
    TVXBufferedWriteStream w(&inner, 1000);
    size_t off = 0;
    std::mt19937 rng(9);
    while (off < data.size()) {
      size_t n = std::min<size_t>(rng() % 2500, data.size() - off);
      EXPECT_EQ(w.Write(data.data() + off, int64_t(n)), int64_t(n));
      off += n;
    }
    EXPECT_EQ(w.Position(), int64_t(data.size()));  // a seek flushes
    EXPECT_EQ(inner.Size(), int64_t(data.size()));
    w.Seek(10, soBeginning);
    w.WriteBuffer("#", 1);
    EXPECT_EQ(MessageOf<EVXException>([&] {
                char c;
                w.Read(&c, 1);
              }),
              "TVXBufferedWriteStream cannot read!");
  }  // freeing flushes
  std::string expect = data;
  expect[10] = '#';
  EXPECT_EQ(std::string(static_cast<char*>(inner.Memory()), size_t(inner.Size())), expect);
}

TEST(RuntimeStreams, BufferedWriteStreamOverFileReportsFailedFlush) {
  TRuntimeScratchDir dir;
  RuntimeWriteFile(dir.File("r.bin"), "abc");
  TVXWideFileStream f(dir.File("r.bin"), fmOpenRead);
  TVXBufferedWriteStream w(&f, 4);
  EXPECT_THROW(w.WriteBuffer("12345678", 8), EWriteError);  // the inner stream cannot take the data
}

// --- hash stream -------------------------------------------------------------

TEST(RuntimeStreams, HashDigestsEqualCoreutils) {
  TRuntimeScratchDir dir;
  const std::string data = Pattern(123457, 42);
  const std::string name = dir.File("hash.bin");
  RuntimeWriteFile(name, data);
  struct Case {
    uint32_t alg;
    const char* tool;
  } cases[] = {{CALG_MD5, "md5sum"},       {CALG_SHA1, "sha1sum"},     {CALG_SHA_256, "sha256sum"},
               {CALG_SHA_384, "sha384sum"}, {CALG_SHA_512, "sha512sum"}};
  for (const Case& c : cases) {
    if (!RuntimeHaveTool(c.tool)) {
      ADD_FAILURE() << c.tool << " is missing";
      continue;
    }
    std::string expect = RuntimeShell(std::string(c.tool) + " '" + name + "'");
    expect = expect.substr(0, expect.find(' '));
    for (bool buffered : {false, true}) {
      TVXHashStream h(c.alg, buffered);
      // Written in uneven pieces.
      size_t off = 0, piece = 1;
      while (off < data.size()) {
        size_t n = std::min(piece, data.size() - off);
        h.WriteBuffer(data.data() + off, int64_t(n));
        off += n;
        piece = piece * 3 + 1;
      }
      EXPECT_EQ(h.GetHash(), expect) << c.tool << " buffered " << buffered;
      EXPECT_EQ(h.GetHash(), expect) << "asked twice";
    }
  }
  // The empty input has a digest too.
  TVXHashStream empty(CALG_SHA_256, false);
  EXPECT_EQ(empty.GetHash(), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
}

TEST(RuntimeStreams, HashStreamBufferedKeepsItsData) {
  TRuntimeScratchDir dir;
  TVXHashStream h(CALG_MD5, true);
  h.WriteBuffer("hello world", 11);
  EXPECT_EQ(h.Seek(6, soBeginning), 6);
  char w[5];
  h.ReadBuffer(w, 5);
  EXPECT_EQ(std::string(w, 5), "world");
  h.SaveToFile(dir.File("h.bin"));
  EXPECT_EQ(RuntimeReadFile(dir.File("h.bin")), "hello world");
  TVXHashStream g(CALG_MD5, true);
  g.LoadFromFile(dir.File("h.bin"));
  EXPECT_EQ(g.GetHash(), "5eb63bbbe01eeed093cb22bb8f5acdc3");
  EXPECT_EQ(h.GetHash(), g.GetHash());
}

TEST(RuntimeStreams, UnbufferedHashStreamRefusesWhatNeedsItsData) {
  TVXHashStream h(CALG_SHA1, false);
  TMemoryStream m;
  char c;
  EXPECT_EQ(MessageOf<EVXException>([&] { h.Read(&c, 1); }),
            "Read error. Hash stream not Buffered, please create Buffered stream.");
  EXPECT_EQ(MessageOf<EVXException>([&] { h.Seek(0, soBeginning); }),
            "Seek error. Hash stream not Buffered, please create Buffered stream.");
  EXPECT_EQ(MessageOf<EVXException>([&] { h.SaveToStream(&m); }),
            "SaveToStream error. Hash stream not Buffered, please create Buffered stream.");
  EXPECT_EQ(MessageOf<EVXException>([&] { h.LoadFromStream(&m); }),
            "LoadFromStream error. Hash stream not Buffered, please create Buffered stream.");
  EXPECT_EQ(MessageOf<EVXException>([] { TVXHashStream bad(0x6601, false); }), "Unable to create Crypto Hash");
}

// --- byte array --------------------------------------------------------------

TEST(RuntimeStreams, ByteArrayGrowsShrinksAndAppends) {
  TVXByteArray a(4);
  for (int i = 0; i < 10; ++i) a.AddByte(uint8_t(i));
  ASSERT_EQ(a.Size(), 10);
  for (int i = 0; i < 10; ++i) EXPECT_EQ(a.Data()[i], i);
  a.SetSize(2);  // shrinking below the reserve copies the first bytes
  EXPECT_EQ(a.Size(), 2);
  EXPECT_EQ(a.Data()[1], 1);
  a.SetSize(100);
  EXPECT_EQ(a.Data()[0], 0);
  EXPECT_EQ(a.Data()[1], 1);
  a.Clear();
  EXPECT_EQ(a.Size(), 0);
  TVXMemStream src("abcdef", 6);
  EXPECT_EQ(a.AppendFromStream(&src, 4), 4);
  EXPECT_EQ(a.AppendFromStream(&src, 10), 2);  // only two bytes were left
  EXPECT_EQ(a.Size(), 6);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(a.Data()), 6), "abcdef");
}

TEST(RuntimeStreams, CopyFromWholeSourceWhenCountIsZero) {
  const std::string data = Pattern(100000, 8);
  TVXMemStream src(data.data(), int64_t(data.size()));
  src.SetPosition(500);
  TMemoryStream dst;
  EXPECT_EQ(dst.CopyFrom(&src, 0), int64_t(data.size()));
  EXPECT_EQ(std::memcmp(dst.Memory(), data.data(), data.size()), 0);
  src.SetPosition(99990);
  EXPECT_THROW(dst.CopyFrom(&src, 20), EReadError);
}

}  // namespace
