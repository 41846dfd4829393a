#include <gtest/gtest.h>

#include <cstdlib>

#include "platform/win_errors.h"
#include "platform/win_version.h"
#include "tool/infoversion.h"
#include "tool_test_util.h"

using tooltest::TempDir;

namespace {

// Copies a small ELF program and adds the version block of Contents to it.
std::string MakeVersionedExecutable(const TempDir& Dir, const std::string& Name,
                                    const TVersionBlockContents& Contents) {
  const auto block = BuildVersionInfoBlock(Contents);
  const std::string bin = Dir / (Name + ".bin"), exe = Dir / Name;
  tooltest::WriteFile(bin, std::string(block.begin(), block.end()));
  const std::string cmd = "objcopy --add-section .vxversion=" + tooltest::ShellQuote(bin) + " /bin/true " +
                          tooltest::ShellQuote(exe);
  if (std::system(cmd.c_str()) != 0) return std::string();
  return exe;
}

}  // namespace

TEST(InfoVersion, VersionTextsAndPacking) {
  struct Case {
    const char *Text, *Short, *Medium;
    uint32_t Packed;
  } cases[] = {
      {"1.4.0.12", "1.04", "1.04.00", 0x0104000Cu},
      {"2.10.3.1", "2.10", "2.10.03", 0x020A0301u},
      {"1,4,0,12", "1,4,0,12", "1,4,0,12", 0x0104000Cu},  // texts look for dots only
      {"1.4", "1.4", "1.4", 0x01040000u},
      {"1.4.7", "1.04", "1.4.7", 0x01040700u},
      {"1.256.0.0", "1.256", "1.256.00", 0x02000000u},  // parts are not masked
      {"1.2.3.4.5", "1.02", "1.02.03", 0x01020304u},
      {"", "", "", 0u},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(TInfoVersion::ShortVersionText(c.Text), c.Short) << c.Text;
    EXPECT_EQ(TInfoVersion::MediumVersionText(c.Text), c.Medium) << c.Text;
    EXPECT_EQ(TInfoVersion::PackVersion(c.Text), c.Packed) << c.Text;
  }
  EXPECT_EQ(TInfoVersion::PackVersion("1.2.x.4"), 0x01020004u);  // a non-number counts 0
  EXPECT_EQ(TInfoVersion::ShortVersionText("1.2.x.4"), "1.02");
  EXPECT_THROW(TInfoVersion::MediumVersionText("1.2.x.4"), EConvertError);
  EXPECT_THROW(TInfoVersion::ShortVersionText("a.b.c"), EConvertError);
}

TEST(InfoVersion, TheProgramsOwnResource) {
  TInfoVersion v;
  v.SetProgramName(std::string(VX_BINARY_DIR) + "/tarvello");
  v.Execute();
  EXPECT_EQ(v.ProductName(), "Tarvello");
  EXPECT_EQ(v.FileVersion(), "1.4.0.12");
  EXPECT_EQ(v.ShortFileVersion(), "1.04");
  EXPECT_EQ(v.MediumFileVersion(), "1.04.00");
  EXPECT_EQ(v.FileVersionNumber(), 0x0104000Cu);
  EXPECT_EQ(v.ProductVersion(), "1.4.0.0");
  EXPECT_EQ(v.ShortProductVersion(), "1.04");
  EXPECT_EQ(v.ProductVersionNumber(), 0x01040000u);
  EXPECT_EQ(v.FileDescription(), "Create Android resource images");
  EXPECT_EQ(v.InternalName(), "TARVELLO");
  EXPECT_EQ(v.OriginalFilename(), "Tarvello");
  EXPECT_FALSE(v.LegalCopyright().empty());
  EXPECT_FALSE(v.Mail().empty());
  EXPECT_FALSE(v.Licence().empty());
  EXPECT_FALSE(v.Internet().empty());
  EXPECT_FALSE(v.Comments().empty());
  EXPECT_EQ(v.CompanyName(), "");
  EXPECT_EQ(v.EndTime(), "");
  EXPECT_FALSE(v.Debugversion());
  EXPECT_EQ(v.CompareFileVersion(1, 4, 0, 12), 0);
  EXPECT_EQ(v.CompareFileVersion(1, 4, 0, 13), -1);
  EXPECT_EQ(v.CompareFileVersion(1, 3, 255, 255), 1);
  EXPECT_EQ(v.CompareProductVersion(1, 4, 0, 0), 0);
  EXPECT_EQ(v.CompareProductVersion(0, 255, 0, 0), 1);
}

TEST(InfoVersion, FlagsKeysAndTranslation) {
  TempDir d;
  TVersionBlockContents contents;
  contents.Fixed.dwFileFlags = VS_FF_DEBUG | VS_FF_PRIVATEBUILD | VS_FF_SPECIALBUILD;
  contents.Language = 0x0409;
  contents.CodePage = 0x04B0;
  contents.Strings = {{"FileVersion", "1,4,0,12"}, {"productversion", "2.10.3.1"}, {"EndTime", "  31.12.2030 "},
                  {"CompanyName", "Größe & Co"}};
  const std::string exe = MakeVersionedExecutable(d, "prog", contents);
  ASSERT_FALSE(exe.empty()) << "objcopy failed";
  TInfoVersion v;
  v.SetProgramName(exe);
  v.Execute();
  EXPECT_TRUE(v.Debugversion());
  EXPECT_FALSE(v.Prerelease());
  EXPECT_TRUE(v.PrivateBuild());
  EXPECT_TRUE(v.SpecialBuild());
  EXPECT_EQ(v.FileVersion(), "1,4,0,12");
  EXPECT_EQ(v.ShortFileVersion(), "1,4,0,12");
  EXPECT_EQ(v.FileVersionNumber(), 0x0104000Cu);
  EXPECT_EQ(v.ProductVersion(), "2.10.3.1");  // keys are found without regard to case
  EXPECT_EQ(v.MediumProductVersion(), "2.10.03");
  EXPECT_EQ(v.EndTime(), "31.12.2030");
  EXPECT_EQ(v.CompanyName(), "Größe & Co");
  EXPECT_EQ(v.ProductName(), "");

  // without a translation table only the flags are read
  contents.WithTranslation = false;
  TInfoVersion w;
  w.SetProgramName(MakeVersionedExecutable(d, "prog2", contents));
  w.Execute();
  EXPECT_TRUE(w.Debugversion());
  EXPECT_EQ(w.FileVersion(), "");
  EXPECT_EQ(w.FileVersionNumber(), 0u);

  // a version text that does not convert raises out of Execute
  contents.WithTranslation = true;
  contents.Strings = {{"FileVersion", "a.b.c"}};
  TInfoVersion x;
  x.SetProgramName(MakeVersionedExecutable(d, "prog3", contents));
  EXPECT_THROW(x.Execute(), EConvertError);
}

TEST(InfoVersion, FilesWithoutResource) {
  TempDir d;
  for (const std::string& name : {d / "missing.exe", std::string("/bin/true"), d.Path}) {
    TInfoVersion v;
    v.SetProgramName(name);
    v.Execute();
    EXPECT_EQ(v.ProductName(), "") << name;
    EXPECT_EQ(v.FileVersionNumber(), 0u) << name;
    EXPECT_FALSE(v.Debugversion()) << name;
  }
  tooltest::WriteFile(d / "junk", std::string("\x7F" "ELF\2\1garbage", 13));
  TInfoVersion j;
  j.SetProgramName(d / "junk");
  j.Execute();
  EXPECT_EQ(j.ProductName(), "");
  // the running test program carries no version block
  TInfoVersion self;
  self.Execute();
  EXPECT_EQ(self.ProductName(), "");
  EXPECT_EQ(self.ShortFileVersion(), "");
}
