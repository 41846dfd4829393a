// The device parameters of TVXAcquireParams over the interface of the
// selected source: current values of the TWAIN parameters, item and device
// properties of the WIA client. Camera folders and no source read fixed
// values and ignore writes. Nothing is cached here.
#include <cmath>
#include <cstdint>

#include "acquire/acquire_params.h"
#include "acquire/twain_params.h"
#include "acquire/vxwia.h"
#include "acquire/wia_api.h"

namespace {

// Toward zero, kept inside 32 bits (and 0 for a NaN).
int32_t TruncToInt32(double v) {
  if (std::isnan(v)) return 0;
  if (v >= 2147483647.0) return INT32_MAX;
  if (v <= -2147483648.0) return INT32_MIN;
  return int32_t(v);
}

// The four orientations as TWAIN current value and WIA_IPS_ORIENTATION.
constexpr int32_t kTwainOrientation[] = {0, 3, 1, 2};
constexpr int32_t kWiaOrientation[] = {PORTRAIT, LANSCAPE, ROT270, ROT180};
// The rotations as WIA_IPS_ROTATION.
constexpr int32_t kWiaRotation[] = {PORTRAIT, ROT270, ROT180, LANSCAPE};
// The pixel types as (bits per channel, channels per pixel) over WIA and
// (pixel type, bit depth) over TWAIN.
struct TPixelPair {
  int32_t Bits, Channels, TwainType, TwainDepth;
};
constexpr TPixelPair kPixelPairs[] = {{1, 1, 0, 0}, {8, 1, 1, 8}, {16, 1, 1, 16}, {8, 3, 2, 8}, {16, 3, 2, 16}};

}  // namespace

// ---- WIA access ----

double TVXAcquireParams::WiaItemNumber(uint32_t PropId) {
  const TVXVariant v = fWiaParams->GetItemProperty(PropId, nullptr);
  if (v.IsEmpty()) return 0;
  try {
    return v.AsDouble();
  } catch (const std::exception&) {
    return 0;
  }
}

void TVXAcquireParams::SetWiaItemNumber(uint32_t PropId, double v) {
  fWiaParams->SetItemProperty(PropId, TruncToInt32(v), nullptr);
}

int32_t TVXAcquireParams::WiaDeviceInt(uint32_t PropId) {
  const TVXVariant v = fWiaParams->GetDeviceProperty(PropId);
  if (v.IsEmpty()) return 0;
  try {
    return v.AsInteger();
  } catch (const std::exception&) {
    return 0;
  }
}

bool TVXAcquireParams::WiaDeviceFlag(uint32_t PropId, int32_t Flag) {
  return (WiaDeviceInt(PropId) & Flag) == Flag;
}

void TVXAcquireParams::SetWiaDeviceFlag(uint32_t PropId, int32_t Flag, bool Value) {
  int32_t v = WiaDeviceInt(PropId);
  if (Value) {
    v |= Flag;
    if (Flag == FEEDER) v &= ~FLATBED;
  } else {
    v &= ~Flag;
    if (Flag == FEEDER) v |= FLATBED;
  }
  fWiaParams->SetDeviceProperty(PropId, v);
}

// Edges 0 to 3 (left, top, right, bottom) in inches.
double TVXAcquireParams::WiaFrame(int Edge) {
  const bool x = Edge == 0 || Edge == 2;
  const double res = x ? XResolution() : YResolution();
  if (res == 0) return 0;
  const double pos = WiaItemNumber(x ? WIA_IPS_XPOS : WIA_IPS_YPOS);
  if (Edge < 2) return pos / res;
  const double whole = x ? PhysicalWidthPixels() : PhysicalHeightPixels();
  return (whole - (pos + WiaItemNumber(x ? WIA_IPS_XEXTENT : WIA_IPS_YEXTENT))) / res;
}

void TVXAcquireParams::SetWiaFrame(int Edge, double v) {
  const bool x = Edge == 0 || Edge == 2;
  const double res = x ? XResolution() : YResolution();
  if (Edge < 2) {
    SetWiaItemNumber(x ? WIA_IPS_XPOS : WIA_IPS_YPOS, res * v);
    return;
  }
  const double whole = x ? PhysicalWidthPixels() : PhysicalHeightPixels();
  const double pos = WiaItemNumber(x ? WIA_IPS_XPOS : WIA_IPS_YPOS);
  SetWiaItemNumber(x ? WIA_IPS_XEXTENT : WIA_IPS_YEXTENT, whole - pos - res * v);
}

// ---- the properties ----

TVXTwainParams* TVXAcquireParams::TwainOfSource() {
  return SelectedSourceApi() == vxaTwain ? fTwainParams : nullptr;
}

TVXWia* TVXAcquireParams::WiaOfSource() { return fSelectedSourceApi == vxaWIA ? fWiaParams : nullptr; }

bool TVXAcquireParams::VisibleDialog() {
  switch (SelectedSourceApi()) {
    case vxaTwain: return fTwainParams && fTwainParams->VisibleDialog();
    case vxaWIA: return fWIAVisibleDialog;
    default: return false;
  }
}

void TVXAcquireParams::SetVisibleDialog(bool v) {
  switch (SelectedSourceApi()) {
    case vxaTwain:
      if (fTwainParams) fTwainParams->SetVisibleDialog(v);
      break;
    case vxaWIA: fWIAVisibleDialog = v; break;
    default: break;
  }
}

double TVXAcquireParams::XResolution() {
  if (TVXTwainParams* t = TwainOfSource()) return t->XResolution()->CurrentValue();
  if (WiaOfSource()) return WiaItemNumber(WIA_IPS_XRES);
  return 0;
}

void TVXAcquireParams::SetXResolution(double v) {
  if (TVXTwainParams* t = TwainOfSource()) t->XResolution()->SetCurrentValue(v);
  else if (WiaOfSource()) SetWiaItemNumber(WIA_IPS_XRES, v);
}

double TVXAcquireParams::YResolution() {
  if (TVXTwainParams* t = TwainOfSource()) return t->YResolution()->CurrentValue();
  if (WiaOfSource()) return WiaItemNumber(WIA_IPS_YRES);
  return 0;
}

void TVXAcquireParams::SetYResolution(double v) {
  if (TVXTwainParams* t = TwainOfSource()) t->YResolution()->SetCurrentValue(v);
  else if (WiaOfSource()) SetWiaItemNumber(WIA_IPS_YRES, v);
}

TVXAcquirePixelType TVXAcquireParams::PixelType() {
  if (TVXTwainParams* t = TwainOfSource()) {
    const int32_t type = t->PixelType()->CurrentValue();
    if (type == 0) return vxapMonochrome;
    const int32_t depth = t->BitDepth()->CurrentValue();
    for (int p = vxap8BitGrayScale; p <= vxapFullColor16; ++p)
      if (kPixelPairs[p].TwainType == type && kPixelPairs[p].TwainDepth == depth) return TVXAcquirePixelType(p);
    return vxapOther;
  }
  if (WiaOfSource()) {
    const double bits = WiaItemNumber(WIA_IPA_BITS_PER_CHANNEL), channels = WiaItemNumber(WIA_IPA_CHANNELS_PER_PIXEL);
    for (int p = vxapMonochrome; p <= vxapFullColor16; ++p)
      if (kPixelPairs[p].Bits == bits && kPixelPairs[p].Channels == channels) return TVXAcquirePixelType(p);
    return vxapOther;
  }
  return vxapFullColor;
}

void TVXAcquireParams::SetPixelType(TVXAcquirePixelType v) {
  if (v > vxapFullColor16) return;
  const TPixelPair& pair = kPixelPairs[v];
  if (TVXTwainParams* t = TwainOfSource()) {
    t->PixelType()->SetCurrentValue(pair.TwainType);
    if (v != vxapMonochrome) t->BitDepth()->SetCurrentValue(pair.TwainDepth);
  } else if (WiaOfSource()) {
    fWiaParams->SetItemProperty(WIA_IPA_BITS_PER_CHANNEL, pair.Bits, nullptr);
    fWiaParams->SetItemProperty(WIA_IPA_CHANNELS_PER_PIXEL, pair.Channels, nullptr);
  }
}

int32_t TVXAcquireParams::BitDepth() {
  if (TVXTwainParams* t = TwainOfSource()) return t->BitDepth()->CurrentValue();
  if (WiaOfSource()) return TruncToInt32(WiaItemNumber(WIA_IPA_DEPTH));
  return 8;
}

void TVXAcquireParams::SetBitDepth(int32_t v) {
  if (TVXTwainParams* t = TwainOfSource()) t->BitDepth()->SetCurrentValue(v);
  else if (WiaOfSource()) fWiaParams->SetItemProperty(WIA_IPA_DEPTH, v, nullptr);
}

double TVXAcquireParams::PhysicalHeight() {
  if (TVXTwainParams* t = TwainOfSource()) return t->PhysicalHeight();
  if (WiaOfSource()) return WiaDeviceInt(WIA_DPS_VERTICAL_BED_SIZE) / 1000.0;
  return 0;
}

double TVXAcquireParams::PhysicalWidth() {
  if (TVXTwainParams* t = TwainOfSource()) return t->PhysicalWidth();
  if (WiaOfSource()) return WiaDeviceInt(WIA_DPS_HORIZONTAL_BED_SIZE) / 1000.0;
  return 0;
}

int32_t TVXAcquireParams::PhysicalHeightPixels() {
  const TVXAcquireApi api = SelectedSourceApi();
  if (api != vxaTwain && api != vxaWIA) return 0;
  return TruncToInt32(YResolution() * PhysicalHeight());
}

int32_t TVXAcquireParams::PhysicalWidthPixels() {
  const TVXAcquireApi api = SelectedSourceApi();
  if (api != vxaTwain && api != vxaWIA) return 0;
  return TruncToInt32(XResolution() * PhysicalWidth());
}

bool TVXAcquireParams::FeederEnabled() {
  if (TVXTwainParams* t = TwainOfSource()) return t->FeederEnabled();
  if (WiaOfSource()) return WiaDeviceFlag(WIA_DPS_DOCUMENT_HANDLING_SELECT, FEEDER);
  return false;
}

void TVXAcquireParams::SetFeederEnabled(bool v) {
  if (TVXTwainParams* t = TwainOfSource()) t->SetFeederEnabled(v);
  else if (WiaOfSource()) SetWiaDeviceFlag(WIA_DPS_DOCUMENT_HANDLING_SELECT, FEEDER, v);
}

bool TVXAcquireParams::AutoFeed() {
  if (TVXTwainParams* t = TwainOfSource()) return t->AutoFeed();
  if (WiaOfSource()) return WiaDeviceFlag(WIA_DPS_DOCUMENT_HANDLING_SELECT, AUTO_ADVANCE);
  return false;
}

void TVXAcquireParams::SetAutoFeed(bool v) {
  if (TVXTwainParams* t = TwainOfSource()) t->SetAutoFeed(v);
  else if (WiaOfSource()) SetWiaDeviceFlag(WIA_DPS_DOCUMENT_HANDLING_SELECT, AUTO_ADVANCE, v);
}

bool TVXAcquireParams::FeederLoaded() {
  if (TVXTwainParams* t = TwainOfSource()) return t->FeederLoaded();
  if (WiaOfSource()) return WiaDeviceFlag(WIA_DPS_DOCUMENT_HANDLING_STATUS, FEED_READY);
  return false;
}

bool TVXAcquireParams::PaperDetectable() {
  if (TVXTwainParams* t = TwainOfSource()) return t->PaperDetectable();
  if (WiaOfSource()) return WiaDeviceFlag(WIA_DPS_DOCUMENT_HANDLING_CAPABILITIES, DETECT_FEED);
  return false;
}

TVXAcquireOrientation TVXAcquireParams::Orientation() {
  const int32_t* table = nullptr;
  int32_t value = 0;
  if (TVXTwainParams* t = TwainOfSource()) {
    table = kTwainOrientation;
    value = t->Orientation()->CurrentValue();
  } else if (WiaOfSource()) {
    table = kWiaOrientation;
    value = TruncToInt32(WiaItemNumber(WIA_IPS_ORIENTATION));
  } else {
    return vxaoPortrait;
  }
  for (int o = vxaoPortrait; o <= vxaoRotate180; ++o)
    if (table[o] == value) return TVXAcquireOrientation(o);
  return vxaoPortrait;
}

void TVXAcquireParams::SetOrientation(TVXAcquireOrientation v) {
  if (v > vxaoRotate180) return;
  if (TVXTwainParams* t = TwainOfSource()) t->Orientation()->SetCurrentValue(kTwainOrientation[v]);
  else if (WiaOfSource()) fWiaParams->SetItemProperty(WIA_IPS_ORIENTATION, kWiaOrientation[v], nullptr);
}

double TVXAcquireParams::AcquireFrameLeft() {
  if (TVXTwainParams* t = TwainOfSource()) return t->AcquireFrameLeft();
  if (WiaOfSource()) return WiaFrame(0);
  return 0;
}

void TVXAcquireParams::SetAcquireFrameLeft(double v) {
  if (TVXTwainParams* t = TwainOfSource()) t->SetAcquireFrameLeft(v);
  else if (WiaOfSource()) SetWiaFrame(0, v);
}

double TVXAcquireParams::AcquireFrameTop() {
  if (TVXTwainParams* t = TwainOfSource()) return t->AcquireFrameTop();
  if (WiaOfSource()) return WiaFrame(1);
  return 0;
}

void TVXAcquireParams::SetAcquireFrameTop(double v) {
  if (TVXTwainParams* t = TwainOfSource()) t->SetAcquireFrameTop(v);
  else if (WiaOfSource()) SetWiaFrame(1, v);
}

double TVXAcquireParams::AcquireFrameRight() {
  if (TVXTwainParams* t = TwainOfSource()) return t->AcquireFrameRight();
  if (WiaOfSource()) return WiaFrame(2);
  return 0;
}

void TVXAcquireParams::SetAcquireFrameRight(double v) {
  if (TVXTwainParams* t = TwainOfSource()) t->SetAcquireFrameRight(v);
  else if (WiaOfSource()) SetWiaFrame(2, v);
}

double TVXAcquireParams::AcquireFrameBottom() {
  if (TVXTwainParams* t = TwainOfSource()) return t->AcquireFrameBottom();
  if (WiaOfSource()) return WiaFrame(3);
  return 0;
}

void TVXAcquireParams::SetAcquireFrameBottom(double v) {
  if (TVXTwainParams* t = TwainOfSource()) t->SetAcquireFrameBottom(v);
  else if (WiaOfSource()) SetWiaFrame(3, v);
}

bool TVXAcquireParams::DuplexEnabled() {
  if (TVXTwainParams* t = TwainOfSource()) return t->DuplexEnabled();
  if (WiaOfSource()) return WiaDeviceFlag(WIA_DPS_DOCUMENT_HANDLING_SELECT, DUPLEX);
  return false;
}

void TVXAcquireParams::SetDuplexEnabled(bool v) {
  // The multi-image WIA acquisition reads it, whatever the interface.
  fDuplex = v;
  if (TVXTwainParams* t = TwainOfSource()) t->SetDuplexEnabled(v);
  else if (WiaOfSource()) SetWiaDeviceFlag(WIA_DPS_DOCUMENT_HANDLING_SELECT, DUPLEX, v);
}

bool TVXAcquireParams::DuplexSupported() {
  if (TVXTwainParams* t = TwainOfSource()) return t->DuplexSupported();
  if (WiaOfSource()) return WiaDeviceFlag(WIA_DPS_DOCUMENT_HANDLING_CAPABILITIES, DETECT_DUP_AVAIL);
  return false;
}

bool TVXAcquireParams::AcquireFrameEnabled() {
  if (TVXTwainParams* t = TwainOfSource()) return t->AcquireFrameEnabled();
  return true;
}

void TVXAcquireParams::SetAcquireFrameEnabled(bool v) {
  if (TVXTwainParams* t = TwainOfSource()) t->SetAcquireFrameEnabled(v);
}

double TVXAcquireParams::Contrast() {
  if (TVXTwainParams* t = TwainOfSource()) return t->Contrast()->CurrentValue();
  if (WiaOfSource()) return WiaItemNumber(WIA_IPS_CONTRAST);
  return 0;
}

void TVXAcquireParams::SetContrast(double v) {
  if (TVXTwainParams* t = TwainOfSource()) t->Contrast()->SetCurrentValue(v);
  else if (WiaOfSource()) SetWiaItemNumber(WIA_IPS_CONTRAST, v);
}

double TVXAcquireParams::Brightness() {
  if (TVXTwainParams* t = TwainOfSource()) return t->Brightness()->CurrentValue();
  if (WiaOfSource()) return WiaItemNumber(WIA_IPS_BRIGHTNESS);
  return 0;
}

void TVXAcquireParams::SetBrightness(double v) {
  if (TVXTwainParams* t = TwainOfSource()) t->Brightness()->SetCurrentValue(v);
  else if (WiaOfSource()) SetWiaItemNumber(WIA_IPS_BRIGHTNESS, v);
}

double TVXAcquireParams::Threshold() {
  if (TVXTwainParams* t = TwainOfSource()) return t->Threshold()->CurrentValue();
  if (WiaOfSource()) return WiaItemNumber(WIA_IPS_THRESHOLD);
  return 0;
}

void TVXAcquireParams::SetThreshold(double v) {
  if (TVXTwainParams* t = TwainOfSource()) t->Threshold()->SetCurrentValue(v);
  else if (WiaOfSource()) SetWiaItemNumber(WIA_IPS_THRESHOLD, v);
}

TVXAcquireRotation TVXAcquireParams::Rotation() {
  if (TVXTwainParams* t = TwainOfSource()) {
    const int32_t a = TruncToInt32(t->Rotation()->CurrentValue());
    if (a == 90 || a == -270) return vxar90CW;
    if (a == 270 || a == -90) return vxar270CW;
    if (a == 180 || a == -180) return vxar180CW;
    return vxarNone;
  }
  if (WiaOfSource()) {
    const int32_t code = TruncToInt32(WiaItemNumber(WIA_IPS_ROTATION));
    for (int r = vxarNone; r <= vxar270CW; ++r)
      if (kWiaRotation[r] == code) return TVXAcquireRotation(r);
  }
  return vxarNone;
}

void TVXAcquireParams::SetRotation(TVXAcquireRotation v) {
  if (v > vxar270CW) return;
  if (TVXTwainParams* t = TwainOfSource()) t->Rotation()->SetCurrentValue(90.0 * int(v));
  else if (WiaOfSource()) fWiaParams->SetItemProperty(WIA_IPS_ROTATION, kWiaRotation[v], nullptr);
}
