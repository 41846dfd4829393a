// Metadata accessors of the I/O parameters and the XMP packet in APP1.
#include <gtest/gtest.h>

#include <cstring>

#include "core/dictionary.h"
#include "core/icc.h"
#include "io/annotations.h"
#include "io/dicomtags.h"
#include "io/iptc.h"
#include "io/markers.h"
#include "io/params.h"
#include "io/xmp.h"

TEST(MetaAccessors, IPTCFields) {
  TIOParamsVals p;
  TVXIPTCInfoList& l = p.IPTC_Info();
  l.AddStringItem(2, 25, "a");
  l.AddStringItem(2, 5, "title");
  l.AddStringItem(2, 25, "b");
  l.AddStringItem(2, 25, "c");
  EXPECT_EQ(p.ReadIPTCField(2, 25), "a, b, c");
  EXPECT_EQ(p.IPTC_Photoshop(5), "title");
  EXPECT_EQ(p.ReadIPTCField(2, 99), "");
  std::vector<std::string> list{"old"};
  p.ReadIPTCField(2, 25, list);
  EXPECT_EQ(list, (std::vector<std::string>{"a", "b", "c"}));

  p.WriteIPTCField(2, 25, " x , y ,,");
  p.ReadIPTCField(2, 25, list);
  EXPECT_EQ(list, (std::vector<std::string>{"x", "y"}));

  // A NUL-padded text with a carriage return reads cleaned.
  l.AddBufferItem(2, 120, "line1\rline2\0\0", 13);
  EXPECT_EQ(p.ReadIPTCField(2, 120), "line1 line2");

  // An empty text deletes only the first item of the pair.
  l.AddStringItem(2, 5, "second");
  p.WriteIPTCField(2, 5, "");
  p.ReadIPTCField(2, 5, list);
  EXPECT_EQ(list, std::vector<std::string>{"second"});
  p.SetIPTC_Photoshop(5, "changed");
  EXPECT_EQ(p.ReadIPTCField(2, 5), "changed");
  p.WriteIPTCField(2, 80, "new");
  EXPECT_EQ(p.ReadIPTCField(2, 80), "new");
  p.ClearIPTCField(2, 25);
  EXPECT_EQ(l.IndexOf(2, 25), -1);
  EXPECT_EQ(l.IndexOf(2, 5), l.IndexOf(2, 5));
}

TEST(MetaAccessors, PaperSizes) {
  TIOParamsVals p;
  p.SetPS_PaperWidth(0);
  p.SetPS_PaperHeight(0);
  p.SetPDF_PaperWidth(0);
  p.SetPDF_PaperHeight(0);
  EXPECT_EQ(p.PS_PaperSize(), vxpUnknown);
  EXPECT_EQ(p.PDF_PaperSize(), vxpAuto);
  p.SetPS_PaperSize(vxpLedger);
  EXPECT_EQ(p.PS_PaperWidth(), 1224);
  EXPECT_EQ(p.PS_PaperHeight(), 792);
  p.SetPS_PaperSize(vxpTabloid);
  EXPECT_EQ(p.PS_PaperWidth(), 792);
  EXPECT_EQ(p.PS_PaperHeight(), 1224);
  p.SetPS_PaperSize(vxpAuto);
  p.SetPS_PaperSize(vxpUnknown);
  EXPECT_EQ(p.PS_PaperSize(), vxpTabloid);
  p.SetPDF_PaperSize(vxpLetter);
  EXPECT_EQ(p.PDF_PaperSize(), vxpLetter);
  p.SetPDF_PaperSize(vxpAuto);
  EXPECT_EQ(p.PDF_PaperWidth(), 0);
  p.SetPDF_PaperWidth(100);
  EXPECT_EQ(p.PDF_PaperSize(), vxpUnknown);
}

TEST(MetaAccessors, ImageDelayTime) {
  TIOParamsVals p;
  EXPECT_EQ(p.ImageDelayTime(), 0);
  p.SetFileType(2);
  p.SetGIF_DelayTime(7);
  EXPECT_EQ(p.ImageDelayTime(), 70);
  p.SetFileType(15);
  p.SetAVI_FrameDelayTime(40.5);
  EXPECT_EQ(p.ImageDelayTime(), 40);
  p.SetAVI_FrameDelayTime(41.5);
  EXPECT_EQ(p.ImageDelayTime(), 42);
  p.SetFileType(23);
  p.SetMEDIAFILE_FrameDelayTime(33.4);
  EXPECT_EQ(p.ImageDelayTime(), 33);

  p.SetFileType(28);
  p.DICOM_Tags().SetTagString(0x0018, 0x0040, "25");
  EXPECT_EQ(p.ImageDelayTime(), 40);
  p.DICOM_Tags().DeleteTag(0x0018, 0x0040, true);
  p.DICOM_Tags().SetTagString(0x0008, 0x2144, "abc");
  p.DICOM_Tags().SetTagString(0x0018, 0x1063, "33.3");
  EXPECT_EQ(p.ImageDelayTime(), 33);
  p.DICOM_Tags().SetTagString(0x0018, 0x1063, "33,7");
  EXPECT_EQ(p.ImageDelayTime(), 33);
  p.DICOM_Tags().SetTagString(0x0008, 0x2144, "3");
  EXPECT_EQ(p.ImageDelayTime(), 333);
}

TEST(MetaAccessors, DicomCompressionAndProfiles) {
  TIOParamsVals p;
  p.DICOM_Tags().AddTag(0x0002, 0x0010, dvUI, "1.2.840.10008.1.2.4.50\0", 23);
  p.DICOM_Tags().DeleteTag(0);  // the default one
  EXPECT_EQ(p.DICOM_Compression(), vxdcJPEG);
  p.DICOM_Tags().SetTagString(0x0002, 0x0010, "9.9.9");
  EXPECT_EQ(p.DICOM_Compression(), vxdcUncompressed);
  for (int v = 0; v < 10; ++v) {
    p.SetDICOM_Compression(TVXDicomCompression(v));
    EXPECT_EQ(p.DICOM_Compression(), TVXDicomCompression(v));
    EXPECT_EQ(p.DICOM_Tags().Count(), 1);
  }

  EXPECT_TRUE(p.OutputICCProfile().IsValid());
  EXPECT_FALSE(p.InputICCProfile().IsValid());
  EXPECT_FALSE(p.DefaultICCProfile().IsValid());
  EXPECT_EQ(&p.InputICCProfile(), &p.InputICCProfile());
  EXPECT_EQ(p.ImagingAnnot().Parent(), &p);
}

TEST(MetaAccessors, XMPInfoFillsTheDictionary) {
  TIOParamsVals p;
  p.SetXMP_Info("<x:xmpmeta a=\"1\">hello</x:xmpmeta>");
  EXPECT_EQ(p.XMP_Info(), "<x:xmpmeta a=\"1\">hello</x:xmpmeta>");
  ASSERT_TRUE(p.Dict().HasKey("XMP", false));
  p.SetXMP_Info("");
  EXPECT_EQ(p.XMP_Info(), "");
  EXPECT_TRUE(p.Dict().HasKey("XMP", false));
}

TEST(MetaXMP, FindLoadAndBuildPackets) {
  const std::string id(VXXMPNamespaceID, 29);
  const std::string packet = "<x:xmpmeta>data</x:xmpmeta>";
  std::string payload = id + packet;
  const uint8_t* found = VXFindXMPPacket(payload.data(), int64_t(payload.size()));
  ASSERT_NE(found, nullptr);
  EXPECT_EQ(found - reinterpret_cast<const uint8_t*>(payload.data()), 29);

  // Only the identifier and its NUL: not a packet.
  EXPECT_EQ(VXFindXMPPacket(id.data(), 29), nullptr);
  // The first 24 bytes decide; the packet begins behind the first NUL.
  std::string variant = id.substr(0, 24) + "XYZ" + std::string(1, '\0') + "pkt";
  found = VXFindXMPPacket(variant.data(), int64_t(variant.size()));
  ASSERT_NE(found, nullptr);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(found), 3), "pkt");
  // No NUL within the payload: not a packet.
  std::string noNul = id.substr(0, 28) + "abcdef";
  EXPECT_EQ(VXFindXMPPacket(noNul.data(), int64_t(noNul.size())), nullptr);
  std::string other = "http://ns.adobe.com/xmp/extension/" + std::string(1, '\0') + "x";
  EXPECT_EQ(VXFindXMPPacket(other.data(), int64_t(other.size())), nullptr);

  TIOParamsVals p;
  EXPECT_FALSE(VXLoadXMPFromMarker(noNul.data(), int64_t(noNul.size()), p));
  EXPECT_EQ(p.XMP_Info(), "");
  EXPECT_TRUE(VXLoadXMPFromMarker(payload.data(), int64_t(payload.size()), p));
  EXPECT_EQ(p.XMP_Info(), packet);

  std::vector<uint8_t> built = VXSaveXMPToMarker(p);
  EXPECT_EQ(built.size(), packet.size() + 29);
  EXPECT_EQ(VXFindXMPPacket(built.data(), int64_t(built.size())), built.data() + 29);
}

TEST(MetaXMP, MarkerListReadAndWrite) {
  const std::string id(VXXMPNamespaceID, 29);
  std::string first = id + "<first/>", second = id + "<second/>";
  TIOParamsVals p;
  TVXMarkerList& m = p.JPEG_MarkerList();
  m.AddMarker(0xE1, "Exif\0\0", 6);
  m.AddMarker(0xE1, first.data(), uint16_t(first.size()));
  m.AddMarker(0xE1, second.data(), uint16_t(second.size()));
  ASSERT_TRUE(VXReadXMPFromMarkers(p));
  EXPECT_EQ(p.XMP_Info(), "<first/>");

  p.SetXMP_Info("<new/>");
  ASSERT_TRUE(VXWriteXMPToMarkers(p));
  ASSERT_EQ(m.Count(), 3);
  EXPECT_EQ(std::string(m.GetMarkerData(1) + 29, m.MarkerSize(1) - 29), "<second/>");
  EXPECT_EQ(std::string(m.GetMarkerData(2) + 29, m.MarkerSize(2) - 29), "<new/>");

  // A packet too large for one segment is left out, never cut (the stale
  // XMP segment goes all the same).
  p.SetXMP_Info(std::string(VXMaxXMPPacketInMarker + 1, 'x'));
  EXPECT_FALSE(VXWriteXMPToMarkers(p));
  ASSERT_EQ(m.Count(), 2);
  EXPECT_EQ(std::string(m.GetMarkerData(1) + 29, m.MarkerSize(1) - 29), "<new/>");
  p.SetXMP_Info(std::string(VXMaxXMPPacketInMarker, 'x'));
  EXPECT_TRUE(VXWriteXMPToMarkers(p));
  ASSERT_EQ(m.Count(), 2);
  EXPECT_EQ(m.MarkerSize(1), 65533);
}
