// One scanner as the acquisition sources see it: its identity, its settings
// as TWAIN capability containers, and its scan frame. Our TWAIN source
// manager puts one source in front of each device; simulated devices (tests)
// and real back ends implement it.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// One scanned page: Height rows of RowBytes() bytes, top row first.
// BitsPerPixel 1 (most significant bit first, 1 = white), 8 (grey), 16 (grey,
// little-endian samples), 24 (red, green, blue) or 48 (red, green, blue,
// little-endian 16-bit samples).
struct TVXScanFrame {
  int32_t Width = 0;
  int32_t Height = 0;
  int32_t BitsPerPixel = 0;
  double XResolution = 0;  // dots per inch
  double YResolution = 0;
  std::string Caption;
  std::vector<uint8_t> Pixels;
  // The device learns the page's height only at its end (a hand scanner):
  // the image information reports ImageLength -1 until it is transferred.
  bool UnknownLength = false;
  // A scan that broke off: the transfer of this page answers FailRC
  // (TWRC_FAILURE with FailCC, or TWRC_CANCEL) instead of its rows.
  uint16_t FailRC = 0;
  uint16_t FailCC = 0;
  size_t RowBytes() const { return (size_t(Width) * size_t(BitsPerPixel) + 7) / 8; }
};

// The page as a packed DIB: a bitmap information header, a grey colour table
// for 1 and 8 bits, bottom-up rows padded to 4 bytes (1, 8 or 24 bits: 16-bit
// samples keep their high bytes, colour is blue, green, red). Empty for a
// page whose pixels are missing.
std::vector<uint8_t> VXScanFrameDIB(const TVXScanFrame& Page);

class TVXScanDevice {
public:
  virtual ~TVXScanDevice() = default;

  virtual std::string ProductName() const = 0;
  virtual std::string Manufacturer() const = 0;
  virtual std::string ProductFamily() const = 0;

  // The source is opened and closed: TWCC_SUCCESS, or the condition code
  // that refuses the opening (the device busy, access denied).
  virtual uint16_t Open() { return 0; }
  virtual void Close() {}

  // Settings the device keeps itself as DAT_CUSTOMDSDATA (false: the source
  // keeps the bytes it is given). ApplySettings answers TWCC_SUCCESS or the
  // condition code of a refusal.
  virtual bool OwnsSettings() const { return false; }
  virtual std::vector<uint8_t> Settings() { return {}; }
  virtual uint16_t ApplySettings(const uint8_t* /*Data*/, size_t /*Size*/) { return 0; }

  // The capability's current answer: its container type and the container's
  // bytes (TWAIN layout). TWCC_SUCCESS, or the condition code of the refusal
  // (TWCC_CAPUNSUPPORTED for a capability the device lacks).
  virtual uint16_t GetCapability(uint16_t Cap, uint16_t& ConType, std::vector<uint8_t>& Container) = 0;
  // Takes a container of ConType (Size bytes at Data) for the capability;
  // TWCC_SUCCESS, or the condition code of the refusal.
  virtual uint16_t SetCapability(uint16_t Cap, uint16_t ConType, const uint8_t* Data, size_t Size) = 0;

  // The scan frame in inches: left, top, right, bottom. A device without a
  // frame answers TWCC_BADPROTOCOL.
  virtual uint16_t GetFrame(double Frame[4]) = 0;
  virtual uint16_t SetFrame(const double Frame[4]) = 0;

  // The feeder: pages waiting, the next one (false when none), and dropping
  // those still waiting.
  virtual int32_t PagesWaiting() = 0;
  virtual bool ScanPage(TVXScanFrame& Page) = 0;
  virtual void DropPages() = 0;
};
