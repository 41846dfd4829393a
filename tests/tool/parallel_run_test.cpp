// Several files in flight at once, and the buckets of one file side by side:
// the run prints, leaves and returns exactly what the one-after-another run
// (the program limited to one processor) does, also when a file fails in the
// middle, when a bucket fails while later ones are done, when a bucket folder
// cannot be made, and when files share a name.
#include <gtest/gtest.h>

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <map>

#include "tool_test_util.h"

using tooltest::TempDir;

namespace {

const std::string kFakeProgram = std::string(VX_BINARY_DIR) + "/tool/tarvello_fakequant";
const std::string kSamples = std::string(VX_SOURCE_DIR) + "/samples";
const std::string kMagick = "/usr/bin/convert";

// Sources large enough for their buckets to be made from their rows as they
// are decoded, of every kind the decoder turns into colour rows (and a few it
// does not), with resolutions and texts for the writer to carry over; the last
// one is cut short in its pixels. False when ImageMagick is missing.
bool MakeKinds(const std::string& Folder) {
  if (access(kMagick.c_str(), X_OK) != 0) return false;
  const std::string base = "-size 250x175 plasma:fractal -scale 1000x700! -seed 3";
  const std::pair<const char*, const char*> kinds[] = {
      {"a_rgb.png", "PNG24:"},
      {"b_rgba.png", "-alpha set -channel A -fx 'i/w' +channel PNG32:"},
      {"c_grey.png", "-colorspace Gray -depth 8 -define png:color-type=0 PNG:"},
      {"d_grey_alpha.png", "-colorspace Gray -alpha set -channel A -fx 'j/h' +channel -define png:color-type=4 PNG:"},
      {"e_palette.png", "-colors 60 PNG8:"},
      {"f_palette_transparent.png", "-colors 60 -transparent-color white -fuzz 30% -transparent white PNG8:"},
      {"g_rgb16.png", "-depth 16 PNG48:"},
      {"h_rgba16.png", "-alpha set -channel A -fx 'i/w' +channel -depth 16 PNG64:"},
      {"i_interlaced.png", "-interlace PNG PNG24:"},
      {"j_density_text.png", "-density 72x144 -units PixelsPerInch -set comment 'a comment' PNG24:"},
      {"k_one_bit.png", "-monochrome PNG:"},
      {"l_tall.png", "-rotate 90 PNG24:"},
  };
  for (const auto& k : kinds) {
    const std::string cmd = kMagick + " " + base + " " + k.second + tooltest::ShellQuote(Folder + "/" + k.first);
    if (std::system(cmd.c_str()) != 0) return false;
  }
  const std::string whole = tooltest::ReadFile(Folder + "/a_rgb.png");
  tooltest::WriteFile(Folder + "/z_cut_short.png", whole.substr(0, whole.size() * 3 / 5));
  return true;
}

// Many small files, then one whose decoded image is large enough to start
// before the files ahead of it (with Damaged, one of those cannot be read).
bool MakeMany(const std::string& Folder, bool Damaged) {
  const std::string icon = tooltest::ReadFile(kSamples + "/icon.png");
  for (int i = 0; i < 80; ++i) tooltest::WriteFile(Folder + "/" + std::to_string(100 + i) + "_icon.png", icon);
  if (Damaged) tooltest::WriteFile(Folder + "/150_damaged.png", icon.substr(0, icon.size() / 2));
  const std::string cmd = kMagick + " -size 300x200 plasma:fractal -scale 1500x1000! PNG24:" +
                          tooltest::ShellQuote(Folder + "/900_large.png");
  return access(kMagick.c_str(), X_OK) == 0 && std::system(cmd.c_str()) == 0;
}


}  // namespace

TEST(TarvelloParallel, SameOutcomeAsOneFileAtATime) {
  if (sysconf(_SC_NPROCESSORS_ONLN) < 2) GTEST_SKIP() << "one processor: every run is one file at a time";
  struct Case {
    const char* name;
    std::vector<std::string> args;  // after /out:
    std::vector<std::string> env;
    const char* prepare;  // "folder-file": a file stands where the hdpi folder would go
  } cases[] = {
      {"all buckets", {"/all", "/dip:20", "src"}, {}, ""},
      {"eight bit and long side", {"/mdpi", "/xhdpi", "/dip:16", "/8", "/l", "src"}, {}, ""},
      {"a damaged file in the middle", {"/all", "/dip:20", "src", "bad", "src"}, {}, ""},
      {"a damaged first file", {"/all", "/dip:20", "bad", "src"}, {}, ""},
      // The first file fails slowly: the others have gone through every bucket.
      {"a slow failure of the first file", {"/all", "/dip:20", "/8", "src"}, {"FAKEQUANT_FAIL=10_icon"}, ""},
      {"a bucket folder that cannot be made", {"/all", "/dip:20", "src"}, {}, "folder-file"},
      {"the same files twice, newer only", {"/ldpi", "/xxhdpi", "/dip:20", "/m", "src", "src"}, {}, ""},
      {"same names in sub-folders", {"/hdpi", "/dip:20", "/r", "src"}, {}, ""},
      {"quantiser skips", {"/copy", "/8", "src"}, {"FAKEQUANT_EXIT=98"}, ""},
      {"quantiser fails", {"/mdpi", "/dip:20", "/8", "src"}, {"FAKEQUANT_EXIT=99"}, ""},
      // One file: its buckets are the only work to spread.
      {"one file", {"/all", "/dip:20", "one"}, {}, ""},
      {"one nine-patch, long side", {"/all", "/dip:20", "/l", "one9"}, {}, ""},
      {"one file, a bucket folder that cannot be made", {"/all", "/dip:20", "one"}, {}, "folder-file"},
      // A bucket fails slowly while the buckets after it (and their folders) are done.
      {"one file, a slow failure of its second bucket", {"/all", "/dip:20", "/8", "one"},
       {"FAKEQUANT_FAIL=drawable-mdpi"}, ""},
      {"a slow failure of a middle bucket of a later file", {"/all", "/dip:20", "/8", "src"},
       {"FAKEQUANT_FAIL=drawable-hdpi/.13_"}, ""},
      {"large sources of every kind", {"/all", "/dip:20", "kinds"}, {}, ""},
      {"large sources of every kind, long side, eight bit", {"/ldpi", "/xxxhdpi", "/dip:24", "/l", "/8", "kinds"},
       {}, ""},
      {"large sources of every kind, one bucket", {"/xhdpi", "/dip:20", "kinds"}, {}, ""},
      {"a large file after many small ones", {"/ldpi", "/xhdpi", "/dip:20", "many"}, {}, ""},
      {"a large file after many small ones and a damaged one", {"/ldpi", "/xhdpi", "/dip:20", "manybad"}, {}, ""},
  };
  TempDir d;
  const std::string tmp = d / "tmp";
  mkdir(tmp.c_str(), 0700);
  mkdir((d / "src").c_str(), 0755);
  mkdir((d / "src/sub").c_str(), 0755);
  mkdir((d / "bad").c_str(), 0755);
  mkdir((d / "one").c_str(), 0755);
  mkdir((d / "one9").c_str(), 0755);
  tooltest::WriteFile(d / "one/photo.png", tooltest::ReadFile(kSamples + "/photo.png"));
  tooltest::WriteFile(d / "one9/button.9.png", tooltest::ReadFile(kSamples + "/button.9.png"));
  const char* samples[] = {"icon.png", "photo.png", "button.9.png"};
  for (int i = 0; i < 12; ++i) {
    const std::string sample = samples[i % 3];
    const std::string name = std::to_string(10 + i) + "_" + sample;
    tooltest::WriteFile(d / ("src/" + name), tooltest::ReadFile(kSamples + "/" + sample));
    if (i % 4 == 0) tooltest::WriteFile(d / ("src/sub/" + name), tooltest::ReadFile(kSamples + "/" + samples[(i + 1) % 3]));
  }
  mkdir((d / "kinds").c_str(), 0755);
  mkdir((d / "many").c_str(), 0755);
  mkdir((d / "manybad").c_str(), 0755);
  const bool kinds = MakeKinds(d / "kinds") && MakeMany(d / "many", false) && MakeMany(d / "manybad", true);
  tooltest::WriteFile(d / "bad/05_bad.png", "\x89PNG\r\n\x1a\nnot really");
  tooltest::WriteFile(d / "bad/50_fine.png", tooltest::ReadFile(kSamples + "/icon.png"));

  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string source = c.args.back();
    if ((source == "kinds" || source == "many" || source == "manybad") && !kinds) {
      ADD_FAILURE() << "cannot make the large sources: " << kMagick << " is missing or failed";
      continue;
    }
    std::map<std::string, std::string> trees[2];
    tooltest::RunResult runs[2];
    for (int parallel = 0; parallel < 2; ++parallel) {
      const std::string out = d / (std::string(c.name) + (parallel ? " parallel" : " one"));
      mkdir(out.c_str(), 0755);
      if (std::string(c.prepare) == "folder-file") tooltest::WriteFile(out + "/drawable-hdpi", "x");
      std::vector<std::string> args{"/out:" + out};
      args.insert(args.end(), c.args.begin(), c.args.end());
      // One processor: the files go one after another.
      const std::string program = parallel ? kFakeProgram : "/usr/bin/taskset";
      if (!parallel) args.insert(args.begin(), {"-c", "0", kFakeProgram});
      runs[parallel] = tooltest::RunProgram(program, args, d.Path, tmp, c.env);
      trees[parallel] = tooltest::FileTree(out, true);
    }
    EXPECT_EQ(runs[1].ExitCode, runs[0].ExitCode);
    EXPECT_EQ(runs[1].Out, runs[0].Out);
    EXPECT_EQ(trees[1], trees[0]);
    EXPECT_FALSE(trees[0].empty());
    EXPECT_EQ(tooltest::NamesWithPrefix(tmp, ""), std::vector<std::string>{});
  }
}
