// Loading into the thumbnail viewer: substitute pictures, frames of a
// multi-frame file through one kept component, loading by URL, saving an
// image, and the preset cell frames.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <fstream>
#include <sstream>
#include <thread>

#include "core/streams.h"
#include "io/params.h"
#include "io/vexlaneio.h"
#include "mview/presetimages.h"
#include "mview/vexlanemio.h"
#include "mview_fixture.h"

namespace {

std::string ReadFile(const std::string& Name) {
  std::ifstream f(Name, std::ios::binary);
  std::stringstream ss;
  ss << f.rdbuf();
  return ss.str();
}

// Serves Body as image/png to every request on 127.0.0.1 until destroyed.
class TOneFileServer {
 public:
  explicit TOneFileServer(std::string Body) : body(std::move(Body)) {
    listener = socket(AF_INET, SOCK_STREAM, 0);
    int one = 1;
    setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(listener, reinterpret_cast<sockaddr*>(&a), sizeof a);
    listen(listener, 4);
    socklen_t len = sizeof a;
    getsockname(listener, reinterpret_cast<sockaddr*>(&a), &len);
    port = ntohs(a.sin_port);
    worker = std::thread([this] { Run(); });
  }
  ~TOneFileServer() {
    stop = true;
    worker.join();
    close(listener);
  }
  std::string URL(const std::string& Path) const { return "http://127.0.0.1:" + std::to_string(port) + Path; }

 private:
  void Run() {
    while (!stop) {
      pollfd p{listener, POLLIN, 0};
      if (poll(&p, 1, 20) <= 0) continue;
      const int fd = accept(listener, nullptr, nullptr);
      if (fd < 0) continue;
      std::string request;
      char buf[2048];
      while (request.find("\r\n\r\n") == std::string::npos) {
        pollfd q{fd, POLLIN, 0};
        if (poll(&q, 1, 2000) <= 0) break;
        const ssize_t n = recv(fd, buf, sizeof buf, 0);
        if (n <= 0) break;
        request.append(buf, size_t(n));
      }
      const std::string out = "HTTP/1.1 200 OK\r\nContent-Type: image/png\r\nContent-Length: " +
                              std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n" + body;
      size_t done = 0;
      while (done < out.size()) {
        const ssize_t n = send(fd, out.data() + done, out.size() - done, MSG_NOSIGNAL);
        if (n <= 0) break;
        done += size_t(n);
      }
      close(fd);
    }
  }
  std::string body;
  int listener = -1;
  int port = 0;
  std::atomic<bool> stop{false};
  std::thread worker;
};

int CountColour(TVXBitmap& b, TRGB c) {
  int n = 0;
  for (int y = 0; y < b.Height(); ++y)
    for (int x = 0; x < b.Width(); ++x)
      if (b.Pixels(x, y) == c) ++n;
  return n;
}

}  // namespace

TEST_F(MViewTest, AnUndecodableFileShowsTheQuestionMark) {
  const std::string f = MViewTempPath("broken.png");
  std::ofstream(f, std::ios::binary) << "this is not a picture at all";
  TVexlaneMView* v = NewMView();
  v->SetThumbnailOptionsEx(0);
  const int i = v->AppendImage(f, true, vxdtNone, vxdtNone, vxdtNone, true);
  EXPECT_FALSE(v->LoadImageNow(i));
  EXPECT_EQ(v->ImageSourceType(i), vxstFileIcon);
  TVXBitmap b;
  v->CopyToVXBitmap(i, &b);
  // The cell's image box: the cell less the text gaps.
  ASSERT_EQ(b.Width(), 100);
  ASSERT_EQ(b.Height(), 100 - v->UpperGap() - v->BottomGap());
  EXPECT_EQ(b.Pixels(0, 0), (TRGB{255, 255, 255}));
  EXPECT_EQ(b.Pixels(99, b.Height() - 1), (TRGB{255, 255, 255}));
  const TRGB blueRGB{255, 0, 0};  // blue, green, red
  const int blue = CountColour(b, blueRGB);
  const int grey = CountColour(b, TRGB{128, 128, 128});
  EXPECT_GT(blue, 100);
  EXPECT_GT(grey, 20);
  // The blue glyph lies over the shadow: its centre is left of and above the grey's.
  long bx = 0, by = 0, gx = 0, gy = 0;
  for (int y = 0; y < b.Height(); ++y)
    for (int x = 0; x < b.Width(); ++x) {
      const TRGB p = b.Pixels(x, y);
      if (p.b == 255 && p.r == 0 && p.g == 0) bx += x, by += y;
      if (p == TRGB{128, 128, 128}) gx += x, gy += y;
    }
  EXPECT_LT(double(bx) / blue, double(gx) / grey);
  EXPECT_LT(double(by) / blue, double(gy) / grey);
  std::remove(f.c_str());
}

TEST_F(MViewTest, SubstitutesFollowTheOptionsAndTheWrongImageEvent) {
  const std::string f = MViewTempPath("broken2.gif");
  std::ofstream(f, std::ios::binary) << "GIF89a but nothing more";
  struct Case {
    TVXMThumbnailOptionsEx Options;
    bool Exists;
    int W, H;
  } cases[] = {
      {VXThumbOpt(vxtxEnableInternalIcons) | VXThumbOpt(vxtxShowIconForUnknownFormat), true, 180, 240},
      {VXThumbOpt(vxtxEnableInternalIcons), true, 180, 240},
      {VXThumbOpt(vxtxEnableInternalIcons), false, 180, 240},
  };
  TVXBitmap pics[3];
  for (int k = 0; k < 3; ++k) {
    TVexlaneMView* v = NewMView();
    v->SetThumbnailOptionsEx(cases[k].Options);
    const int i = v->AppendImage(cases[k].Exists ? f : MViewTempPath("nothing.gif"), true, vxdtNone, vxdtNone,
                                 vxdtNone, true);
    EXPECT_FALSE(v->LoadImageNow(i));
    v->CopyToVXBitmap(i, &pics[k]);
    EXPECT_EQ(pics[k].Width(), cases[k].W);
    EXPECT_EQ(pics[k].Height(), cases[k].H);
    ASSERT_TRUE(pics[k].HasAlphaChannel());
    EXPECT_EQ(pics[k].Alpha(0, 0), 0);
    delete v;
  }
  // The missing-file icon in the first and last case, the file icon between.
  auto same = [](TVXBitmap& a, TVXBitmap& b) {
    for (int y = 0; y < a.Height(); y += 7)
      for (int x = 0; x < a.Width(); x += 5)
        if (!(a.Pixels(x, y) == b.Pixels(x, y))) return false;
    return true;
  };
  EXPECT_TRUE(same(pics[0], pics[2]));
  EXPECT_FALSE(same(pics[0], pics[1]));

  TVexlaneMView* v = NewMView();
  int asked = -1;
  v->OnWrongImage = [&](void*, TVXBitmap* out, int idx, bool& handled) {
    asked = idx;
    for (int y = 0; y < out->Height(); ++y)
      for (int x = 0; x < out->Width(); ++x) out->SetPixels(x, y, TRGB{0, 99, 0});
    handled = true;
  };
  const int i = v->AppendImage(f, true, vxdtNone, vxdtNone, vxdtNone, true);
  EXPECT_FALSE(v->LoadImageNow(i));
  EXPECT_EQ(asked, i);
  EXPECT_EQ(v->ImageSourceType(i), vxstCustomImage);
  TVXBitmap b;
  v->CopyToVXBitmap(i, &b);
  EXPECT_EQ(b.Pixels(50, 50), (TRGB{0, 99, 0}));
  std::remove(f.c_str());
}

TEST_F(MViewTest, FramesOfAGifLoadThroughOneKeptComponent) {
  const std::string gif = MViewTempPath("anim.gif");
  const std::string made = MViewRunPython(
      "import sys\n"
      "from PIL import Image\n"
      "cols=[(255,0,0),(0,255,0),(0,0,255),(255,255,0),(0,255,255)]\n"
      "fr=[Image.new('RGB',(24,16),c) for c in cols]\n"
      "fr[0].save(sys.argv[1],save_all=True,append_images=fr[1:],duration=[10,20,30,70,40],loop=0)\n"
      "im=Image.open(sys.argv[1]); im.seek(3); print(im.info['duration'])\n",
      gif);
  ASSERT_EQ(made, "70\n");
  TVexlaneMView* v = NewMView();
  const int a = v->AppendImage(gif + "::3");
  const int b = v->AppendImage(gif + "::1");
  EXPECT_EQ(v->ImageInfo(a)->image, nullptr);  // recorded, loaded when needed
  EXPECT_TRUE(v->LoadImageNow(a));
  EXPECT_TRUE(v->LoadImageNow(b));
  EXPECT_EQ(v->MultiOnDemandsCount(), 1);
  EXPECT_EQ(v->ImageDelayTime(a), 70);
  EXPECT_EQ(v->ImageDelayTime(b), 20);
  TVXBitmap p3, p1;
  v->CopyToVXBitmap(a, &p3);
  v->CopyToVXBitmap(b, &p1);
  ASSERT_EQ(p3.Width(), 24);
  EXPECT_EQ(p3.Pixels(5, 5), (TRGB{0, 255, 255}));  // yellow
  EXPECT_EQ(p1.Pixels(5, 5), (TRGB{0, 255, 0}));
  EXPECT_EQ(v->GetMIO()->GetParams(a)->FileType(), 2);
  std::remove(gif.c_str());
}

TEST_F(MViewTest, APngServedOverHttpLoadsByUrl) {
  const std::string png = MViewTempPath("served.png");
  ASSERT_EQ(MViewRunPython("import sys\nfrom PIL import Image\nImage.new('RGB',(13,9),(10,20,30)).save(sys.argv[1])\n",
                           png),
            "");
  TOneFileServer server(ReadFile(png));
  TVexlaneMView* v = NewMView();
  const int i = v->AppendImage();
  ASSERT_TRUE(v->SetImageFromFile(i, server.URL("/pics/served.png")));
  TVXBitmap b;
  v->CopyToVXBitmap(i, &b);
  ASSERT_EQ(b.Width(), 13);
  EXPECT_EQ(b.Height(), 9);
  EXPECT_EQ(b.Pixels(6, 4), (TRGB{30, 20, 10}));
  EXPECT_EQ(v->GetImageOriginalWidth(i), 13);
  // A file that is not there: false and the substitute.
  EXPECT_FALSE(v->SetImageFromFile(i, MViewTempPath("absent.png")));
  EXPECT_EQ(v->ImageSourceType(i), vxstFileIcon);
  EXPECT_FALSE(v->SetImageFromFile(5, png));
  std::remove(png.c_str());
}

TEST_F(MViewTest, GetImageToFileWritesTheImagePixelForPixel) {
  TVexlaneMView* v = NewMView();
  TVXBitmap src(7, 5, vx24RGB);
  for (int y = 0; y < 5; ++y)
    for (int x = 0; x < 7; ++x) src.SetPixels(x, y, TRGB{uint8_t(x * y), uint8_t(y * 50), uint8_t(x * 30)});
  const int i = v->AppendImage(&src);
  const std::string out = MViewTempPath("out.png");
  v->GetImageToFile(i, out);
  const std::string r = MViewRunPython(
      "import sys\nfrom PIL import Image\nim=Image.open(sys.argv[1]).convert('RGB')\n"
      "print(im.size, all(im.getpixel((x,y))==(x*30,y*50,x*y) for x in range(7) for y in range(5)))\n",
      out);
  EXPECT_EQ(r, "(7, 5) True\n");
  // The image can be had again afterwards (the loan went back).
  TVXBitmap* b = v->GetTVXBitmap(i);
  ASSERT_NE(b, nullptr);
  v->ReleaseBitmap(i, false);
  TMemoryStream ms;
  v->GetImageToStream(i, &ms, 8);
  EXPECT_GT(ms.Size(), 8);
  std::remove(out.c_str());
}

TEST_F(MViewTest, ImagesComeFromStreamsAndIdentifierEvents) {
  TVexlaneMView* v = NewMView();
  TVXBitmap src(6, 4, vx24RGB);
  src.Fill(0);
  TMemoryStream ms;
  {
    std::unique_ptr<TVexlaneIO> io = TVexlaneIO::CreateFromBitmap(&src);
    io->SaveToStream(&ms, 8);
  }
  ms.SetPosition(0);
  const int i = v->AppendImage(&ms);
  EXPECT_EQ(v->GetImageWidth(i), 6);

  TVXBitmap given(3, 2, vx24RGB);
  int asked = 0;
  v->OnImageIDRequestEx = [&](void*, int, int ID, TVXBitmap*& Bitmap) {
    ++asked;
    EXPECT_EQ(ID, 42);
    Bitmap = &given;
  };
  const int j = v->AppendImage();
  v->SetImageID(j, 42);
  EXPECT_TRUE(v->CanReloadImage(*v->ImageInfo(j)));
  EXPECT_EQ(v->GetImageWidth(j), 0);
  TVXBitmap copy;
  v->CopyToVXBitmap(j, &copy);
  EXPECT_EQ(asked, 1);
  EXPECT_EQ(copy.Width(), 3);
  EXPECT_FALSE(v->CanReloadImage(*v->ImageInfo(v->AppendImage())));
}

TEST_F(MViewTest, FourPresetFramesAfterStartUp) {
  ASSERT_EQ(VXPresetImageCount(), 4);
  EXPECT_EQ(VXPresetImage(4), nullptr);
  EXPECT_EQ(VXPresetImage(-1), nullptr);
  const TVXPresetImage* e1 = VXPresetImage(1);
  ASSERT_NE(e1, nullptr);
  EXPECT_EQ(e1->FileFormat, 8);
  TVXBitmap frame;
  {
    std::unique_ptr<TVexlaneIO> io = TVexlaneIO::CreateFromBitmap(&frame);
    io->LoadFromBuffer(e1->Data, e1->Size, e1->FileFormat);
  }
  EXPECT_EQ(frame.Width(), 112);
  EXPECT_EQ(frame.Height(), 100);
  const TRect r = e1->ThumbRect;
  EXPECT_EQ(r.Right - r.Left, 82);
  EXPECT_EQ(r.Bottom - r.Top, 97);
  EXPECT_EQ(r.Left, 13);
  EXPECT_EQ(r.Top, 1);

  // Outside oracles: pngcheck and Pillow read each picture.
  const char* expect[4] = {"162 159 RGBA", "112 100 RGB", "163 108 P", "150 150 P"};
  for (int k = 0; k < 4; ++k) {
    const TVXPresetImage* e = VXPresetImage(k);
    const std::string f = MViewTempPath("preset" + std::to_string(k) + ".png");
    std::ofstream(f, std::ios::binary).write(static_cast<const char*>(e->Data), e->Size);
    if (access("/usr/bin/pngcheck", X_OK) == 0)
      EXPECT_EQ(std::system(("/usr/bin/pngcheck -q " + f + " > /dev/null").c_str()), 0) << k;
    const TRect t = e->ThumbRect;
    // The inner rectangle is one plain colour or fully transparent.
    const std::string script =
        "import sys\nfrom PIL import Image\nim=Image.open(sys.argv[1])\nmode=im.mode\n"
        "rgba=im.convert('RGBA')\n"
        "px=set(rgba.getpixel((x,y)) for x in range(" +
        std::to_string(t.Left) + "," + std::to_string(t.Right) + ") for y in range(" + std::to_string(t.Top) + "," +
        std::to_string(t.Bottom) +
        "))\n"
        "plain=len(px)==1 or all(p[3]==0 for p in px)\n"
        "print(im.size[0],im.size[1],mode,plain)\n";
    EXPECT_EQ(MViewRunPython(script, f), std::string(expect[k]) + " True\n") << k;
    std::remove(f.c_str());
  }
}
