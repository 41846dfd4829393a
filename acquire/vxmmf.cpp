// Media Foundation's binding, start and stop, names, media types as
// dictionaries and the device list.
#include "acquire/vxmmf.h"

#include <cstring>

#include "core/dictionary.h"
#include "core/textutils.h"
#include "winui/win_module.h"

TVXMFFunctions VXMFFunctions;

// The decoder registry (vxmmf_samples.cpp): filled by the binding, freed by
// the unbinding.
void VXMFRegisterDecoders();
void VXMFFreeDecoders();

namespace {

HMODULE gMfplat = nullptr, gMf = nullptr, gMfreadwrite = nullptr;

// Apartment-threaded, OLE1 DDE off.
constexpr DWORD kCoInitFlags = COINIT_APARTMENTTHREADED | 0x4;

// This thread's CoInitializeEx calls of VXMFStartup that succeeded and are
// not yet balanced by VXMFShutdown.
thread_local int tComStarts = 0;

template <class T>
void Bind(HMODULE m, const char* name, T& slot) {
  slot = m ? reinterpret_cast<T>(GetProcAddress(m, name)) : nullptr;
}

struct TNamedGUID {
  const char* Name;
  GUID Id;
};
constexpr TNamedGUID kMajorTypes[] = {
    {"Audio", MFMediaType_Audio},   {"Video", MFMediaType_Video},   {"Protected", MFMediaType_Protected},
    {"SAMI", MFMediaType_SAMI},     {"Script", MFMediaType_Script}, {"Image", MFMediaType_Image},
    {"HTML", MFMediaType_HTML},     {"Binary", MFMediaType_Binary}, {"FileTransfer", MFMediaType_FileTransfer},
};

struct TNamedCode {
  uint32_t Code;
  const char* Name;
};
constexpr TNamedCode kSubTypes[] = {
    {1, "PCM"},           {3, "Float"},      {8, "DTS"},          {9, "DRM"},
    {10, "MSP1"},         {20, "RGB24"},     {21, "ARGB32"},      {22, "RGB32"},
    {23, "RGB565"},       {24, "RGB555"},    {41, "RGB8"},        {80, "MPEG"},
    {85, "MP3"},          {146, "Dolby_AC3_SPDIF"}, {353, "WMAudioV8"}, {354, "WMAudioV9"},
    {355, "WMAudio_Lossless"}, {356, "WMASPDIF"}, {0x1600, "ADTS"}, {0x1610, "AAC"},
};
constexpr TNamedCode kLighting[] = {{1, "Bright"}, {2, "Office"}, {3, "Dim"}, {4, "Dark"}};
constexpr TNamedCode kInterlace[] = {{2, "Progressive"},
                                     {3, "FieldInterleavedUpperFirst"},
                                     {4, "FieldInterleavedLowerFirst"},
                                     {5, "FieldSingleUpper"},
                                     {6, "FieldSingleLower"},
                                     {7, "MixedInterlaceOrProgressive"}};

template <size_t N>
std::string NameOf(const TNamedCode (&table)[N], uint32_t v) {
  for (const auto& e : table)
    if (e.Code == v) return e.Name;
  return "Unknown";
}
template <size_t N>
uint32_t CodeOf(const TNamedCode (&table)[N], const std::string& name) {
  for (const auto& e : table)
    if (name == e.Name) return e.Code;
  return 0;
}

double Ratio(uint64_t v) {
  const uint32_t num = uint32_t(v >> 32), den = uint32_t(v);
  return double(num) / double(den);
}

}  // namespace

// ---- the binding ----

bool VXMFLoaded() { return gMfplat && gMf && gMfreadwrite; }

bool VXMFBind() {
  if (!gMfplat) {
    gMfplat = LoadLibraryW("Mfplat.dll");
    gMf = LoadLibraryW("Mf.dll");
    gMfreadwrite = LoadLibraryW("Mfreadwrite.dll");
    TVXMFFunctions& f = VXMFFunctions;
    Bind(gMfplat, "MFStartup", f.MFStartup);
    Bind(gMfplat, "MFShutdown", f.MFShutdown);
    Bind(gMfplat, "MFCreateAttributes", f.MFCreateAttributes);
    Bind(gMfplat, "MFCreateMediaType", f.MFCreateMediaType);
    Bind(gMfplat, "MFGetStrideForBitmapInfoHeader", f.MFGetStrideForBitmapInfoHeader);
    Bind(gMfplat, "MFCreateFile", f.MFCreateFile);
    Bind(gMfplat, "MFGetSystemTime", f.MFGetSystemTime);
    Bind(gMfplat, "MFCreateSample", f.MFCreateSample);
    Bind(gMfplat, "MFCreateMemoryBuffer", f.MFCreateMemoryBuffer);
    Bind(gMf, "MFEnumDeviceSources", f.MFEnumDeviceSources);
    Bind(gMf, "MFCreateAudioRenderer", f.MFCreateAudioRenderer);
    Bind(gMf, "MFCreatePresentationClock", f.MFCreatePresentationClock);
    Bind(gMfreadwrite, "MFCreateSourceReaderFromMediaSource", f.MFCreateSourceReaderFromMediaSource);
    Bind(gMfreadwrite, "MFCreateSourceReaderFromByteStream", f.MFCreateSourceReaderFromByteStream);
    Bind(gMfreadwrite, "MFCreateSourceReaderFromURL", f.MFCreateSourceReaderFromURL);
    VXMFRegisterDecoders();
  }
  return VXMFLoaded();
}

bool VXMFStartup() {
  const HRESULT co = CoInitializeEx(nullptr, kCoInitFlags);
  if (co == S_OK || co == S_FALSE) ++tComStarts;
  if (!VXMFBind() || !VXMFFunctions.MFStartup) return false;
  return SUCCEEDED(VXMFFunctions.MFStartup(MF_VERSION, MFSTARTUP_FULL));
}

void VXMFShutdown() {
  if (VXMFLoaded() && VXMFFunctions.MFShutdown) VXMFFunctions.MFShutdown();
  if (tComStarts > 0) {
    --tComStarts;
    CoUninitialize();
  }
}

void VXMFUnbind() {
  for (HMODULE* m : {&gMfreadwrite, &gMf, &gMfplat}) {
    if (*m) FreeLibrary(*m);
    *m = nullptr;
  }
  VXMFFunctions = TVXMFFunctions{};
  VXMFFreeDecoders();
}

// ---- helpers over attributes ----

std::string VXMFGetAllocatedString(VX_IMFAttributes* Attributes, const GUID& Key) {
  if (!Attributes) return {};
  LPWSTR text = nullptr;
  UINT len = 0;
  if (FAILED(Attributes->GetAllocatedString(Key, &text, &len)) || !text) return {};
  std::string s(text);
  CoTaskMemFree(text);
  return s;
}

bool VXMFGetFrameSize(VX_IMFMediaType* MediaType, uint32_t& Width, uint32_t& Height) {
  uint64_t v = 0;
  Width = Height = 0;
  if (!MediaType || FAILED(MediaType->GetUINT64(MF_MT_FRAME_SIZE, &v))) return false;
  Width = uint32_t(v >> 32), Height = uint32_t(v);
  return true;
}

int32_t VXMFGetDefaultStride(VX_IMFMediaType* MediaType, const GUID& SubType, uint32_t Width) {
  UINT s = 0;
  if (MediaType && SUCCEEDED(MediaType->GetUINT32(MF_MT_DEFAULT_STRIDE, &s))) return int32_t(s);
  LONG ls = 0;
  if (VXMFFunctions.MFGetStrideForBitmapInfoHeader &&
      SUCCEEDED(VXMFFunctions.MFGetStrideForBitmapInfoHeader(SubType.Data1, Width, &ls)))
    return ls;
  return 0;
}

std::string VXMFMediaTypeMajorName(VX_IMFMediaType* MediaType) {
  GUID g{};
  if (!MediaType) return {};
  if (FAILED(MediaType->GetGUID(MF_MT_MAJOR_TYPE, &g))) return VXMFMajorTypeName(GUID{});
  return VXMFMajorTypeName(g);
}

// ---- names ----

std::string VXMFMajorTypeName(const GUID& MajorType) {
  for (const auto& e : kMajorTypes)
    if (IsEqualGUID(e.Id, MajorType)) return e.Name;
  return "Unknown";
}

GUID VXMFMajorTypeFromName(const std::string& Name) {
  for (const auto& e : kMajorTypes)
    if (Name == e.Name) return e.Id;
  return MFMediaType_Default;
}

std::string VXMFSubTypeName(const GUID& SubType) {
  if (!IsEqualGUID(VXMFSubTypeOf(SubType.Data1), SubType)) return {};
  for (const auto& e : kSubTypes)
    if (e.Code == SubType.Data1) return e.Name;
  std::string s;
  for (int i = 0; i < 4; ++i) s += char((SubType.Data1 >> (8 * i)) & 0xFF);
  while (!s.empty() && s.back() == '\0') s.pop_back();
  return s;
}

GUID VXMFSubTypeFromName(const std::string& Name) {
  for (const auto& e : kSubTypes)
    if (Name == e.Name) return VXMFSubTypeOf(e.Code);
  uint32_t code = 0;
  for (size_t i = 0; i < 4 && i < Name.size(); ++i) code |= uint32_t(uint8_t(Name[i])) << (8 * i);
  return VXMFSubTypeOf(code);
}

std::string VXMFVideoLightingName(uint32_t Value) { return NameOf(kLighting, Value); }
uint32_t VXMFVideoLightingFromName(const std::string& Name) { return CodeOf(kLighting, Name); }
std::string VXMFInterlaceModeName(uint32_t Value) { return NameOf(kInterlace, Value); }
uint32_t VXMFInterlaceModeFromName(const std::string& Name) { return CodeOf(kInterlace, Name); }

const std::vector<std::string> VXMFMediaTypeKeys = {
    "MajorType",          "SubType",          "Compressed",        "AvgBitrate",
    "DefaultStride",      "FrameRate",        "FrameRateMax",      "FrameRateMin",
    "FrameWidth",         "FrameHeight",      "InterlaceMode",     "VideoLighting",
    "AudioBitsPerSample", "AudioFloatSamplesPerSecond",            "AudioNumChannels",
    "AudioSamplesPerSecond",                  "AudioBlockAlignment", "AllSamplesIndependent",
    "AudioPreferWaveFormatEx",                "AudioAvgBytesPerSecond", "VideoRotation"};

// ---- media types and dictionaries ----

std::unique_ptr<TVXDictionary> VXMFMediaTypeToDictionary(VX_IMFMediaType* MediaType) {
  auto d = std::make_unique<TVXDictionary>(103);
  GUID major{};
  if (!MediaType || FAILED(MediaType->GetGUID(MF_MT_MAJOR_TYPE, &major))) return d;
  VX_IMFMediaType* t = MediaType;
  d->Insert("MajorType", VXMFMajorTypeName(major));
  GUID sub{};
  bool hasSub = SUCCEEDED(t->GetGUID(MF_MT_SUBTYPE, &sub));
  if (hasSub) d->Insert("SubType", VXMFSubTypeName(sub));
  else sub = GUID{};
  UINT u = 0;
  uint64_t q = 0;
  double f = 0;
  if (SUCCEEDED(t->GetUINT32(MF_MT_COMPRESSED, &u))) d->Insert("Compressed", u != 0);
  if (SUCCEEDED(t->GetUINT32(MF_MT_AVG_BITRATE, &u))) d->Insert("AvgBitrate", double(u));
  uint32_t w = 0, h = 0;
  if (VXMFGetFrameSize(t, w, h)) {
    d->Insert("FrameWidth", double(w));
    d->Insert("FrameHeight", double(h));
  }
  d->Insert("DefaultStride", int32_t(VXMFGetDefaultStride(t, sub, w)));
  const std::pair<const char*, GUID> rates[] = {{"FrameRate", MF_MT_FRAME_RATE},
                                                {"FrameRateMax", MF_MT_FRAME_RATE_RANGE_MAX},
                                                {"FrameRateMin", MF_MT_FRAME_RATE_RANGE_MIN}};
  for (const auto& [key, id] : rates)
    if (SUCCEEDED(t->GetUINT64(id, &q)) && uint32_t(q) != 0) d->Insert(key, Ratio(q));
  if (SUCCEEDED(t->GetUINT32(MF_MT_INTERLACE_MODE, &u))) d->Insert("InterlaceMode", VXMFInterlaceModeName(u));
  if (SUCCEEDED(t->GetUINT32(MF_MT_VIDEO_LIGHTING, &u))) d->Insert("VideoLighting", VXMFVideoLightingName(u));
  if (SUCCEEDED(t->GetUINT32(MF_MT_AUDIO_BITS_PER_SAMPLE, &u))) d->Insert("AudioBitsPerSample", double(u));
  if (SUCCEEDED(t->GetDouble(MF_MT_AUDIO_FLOAT_SAMPLES_PER_SECOND, &f))) d->Insert("AudioFloatSamplesPerSecond", f);
  if (SUCCEEDED(t->GetUINT32(MF_MT_AUDIO_NUM_CHANNELS, &u))) d->Insert("AudioNumChannels", double(u));
  if (SUCCEEDED(t->GetUINT32(MF_MT_AUDIO_SAMPLES_PER_SECOND, &u))) d->Insert("AudioSamplesPerSecond", double(u));
  if (SUCCEEDED(t->GetUINT32(MF_MT_AUDIO_BLOCK_ALIGNMENT, &u))) d->Insert("AudioBlockAlignment", double(u));
  if (SUCCEEDED(t->GetUINT32(MF_MT_ALL_SAMPLES_INDEPENDENT, &u))) d->Insert("AllSamplesIndependent", u != 0);
  if (SUCCEEDED(t->GetUINT32(MF_MT_AUDIO_PREFER_WAVEFORMATEX, &u))) d->Insert("AudioPreferWaveFormatEx", u != 0);
  if (SUCCEEDED(t->GetUINT32(MF_MT_AUDIO_AVG_BYTES_PER_SECOND, &u)))
    d->Insert("AudioAvgBytesPerSecond", double(u));
  if (SUCCEEDED(t->GetUINT32(MF_MT_VIDEO_ROTATION, &u))) d->Insert("VideoRotation", double(u));
  return d;
}

VX_IMFMediaType* VXMFDictionaryToMediaType(const TVXDictionary* Dictionary) {
  VX_IMFMediaType* t = nullptr;
  VXMFBind();
  if (!VXMFFunctions.MFCreateMediaType || FAILED(VXMFFunctions.MFCreateMediaType(&t)) || !t) return nullptr;
  // Held until it is filled: a value the getters cannot convert raises.
  TVXComPtr<VX_IMFMediaType> hold(t);
  if (!Dictionary) return hold.Detach();
  const TVXDictionary& d = *Dictionary;
  auto has = [&](const char* key) { return d.HasKey(key, false); };
  if (has("MajorType")) t->SetGUID(MF_MT_MAJOR_TYPE, VXMFMajorTypeFromName(d.GetString("MajorType", false)));
  if (has("SubType")) t->SetGUID(MF_MT_SUBTYPE, VXMFSubTypeFromName(d.GetString("SubType", false)));
  if (has("Compressed")) t->SetUINT32(MF_MT_COMPRESSED, d.GetBoolean("Compressed", false) ? 1 : 0);
  if (has("FrameRate")) {
    int32_t num = 0, den = 0;
    VXFloatToFraction(d.GetDouble("FrameRate", false), 5e-9, num, den);
    t->SetUINT64(MF_MT_FRAME_RATE, uint64_t(uint32_t(num)) << 32 | uint32_t(den));
  }
  if (has("FrameWidth") && has("FrameHeight"))
    t->SetUINT64(MF_MT_FRAME_SIZE, uint64_t(uint32_t(d.GetInteger("FrameWidth", false))) << 32 |
                                       uint32_t(d.GetInteger("FrameHeight", false)));
  if (has("InterlaceMode"))
    t->SetUINT32(MF_MT_INTERLACE_MODE, VXMFInterlaceModeFromName(d.GetString("InterlaceMode", false)));
  if (has("VideoLighting"))
    t->SetUINT32(MF_MT_VIDEO_LIGHTING, VXMFVideoLightingFromName(d.GetString("VideoLighting", false)));
  const std::pair<const char*, GUID> integers[] = {
      {"AudioSamplesPerSecond", MF_MT_AUDIO_SAMPLES_PER_SECOND},
      {"AudioBitsPerSample", MF_MT_AUDIO_BITS_PER_SAMPLE},
      {"AudioNumChannels", MF_MT_AUDIO_NUM_CHANNELS},
      {"AudioBlockAlignment", MF_MT_AUDIO_BLOCK_ALIGNMENT}};
  for (const auto& [key, id] : integers)
    if (has(key)) t->SetUINT32(id, UINT(d.GetInteger(key, false)));
  if (has("AllSamplesIndependent"))
    t->SetUINT32(MF_MT_ALL_SAMPLES_INDEPENDENT, d.GetBoolean("AllSamplesIndependent", false) ? 1 : 0);
  if (has("AudioPreferWaveFormatEx"))
    t->SetUINT32(MF_MT_AUDIO_PREFER_WAVEFORMATEX, d.GetBoolean("AudioPreferWaveFormatEx", false) ? 1 : 0);
  if (has("AudioAvgBytesPerSecond"))
    t->SetUINT32(MF_MT_AUDIO_AVG_BYTES_PER_SECOND, UINT(d.GetInteger("AudioAvgBytesPerSecond", false)));
  if (has("VideoRotation")) t->SetUINT32(MF_MT_VIDEO_ROTATION, UINT(d.GetInteger("VideoRotation", false)));
  return hold.Detach();
}

// ---- the device list ----

TVXMFDeviceList::~TVXMFDeviceList() { Clear(); }

void TVXMFDeviceList::Clear() {
  for (uint32_t i = 0; i < m_devicesCount; ++i)
    if (m_devices[i]) m_devices[i]->Release();
  CoTaskMemFree(m_devices);
  m_devices = nullptr;
  m_devicesCount = 0;
  m_names.reset();
}

void TVXMFDeviceList::Populate() {
  Clear();
  VX_IMFAttributes* attrs = nullptr;
  m_populated = false;
  VXMFBind();
  if (!VXMFFunctions.MFCreateAttributes || !VXMFFunctions.MFEnumDeviceSources ||
      FAILED(VXMFFunctions.MFCreateAttributes(&attrs, 1)) || !attrs)
    return;
  attrs->SetGUID(MF_DEVSOURCE_ATTRIBUTE_SOURCE_TYPE, MF_DEVSOURCE_ATTRIBUTE_SOURCE_TYPE_VIDCAP_GUID);
  UINT count = 0;
  m_populated = SUCCEEDED(VXMFFunctions.MFEnumDeviceSources(attrs, &m_devices, &count));
  m_devicesCount = m_populated ? count : 0;
  attrs->Release();
}

std::string TVXMFDeviceList::GetName(uint32_t Index) const {
  return VXMFGetAllocatedString(m_devices[Index], MF_DEVSOURCE_ATTRIBUTE_FRIENDLY_NAME);
}

VX_IMFActivate* TVXMFDeviceList::GetDevice(uint32_t Index) const {
  m_devices[Index]->AddRef();
  return m_devices[Index];
}

const std::vector<std::string>& TVXMFDeviceList::GetNames() {
  if (!m_names) {
    m_names = std::make_unique<std::vector<std::string>>();
    for (uint32_t i = 0; i < m_devicesCount; ++i) m_names->push_back(GetName(i));
  }
  return *m_names;
}
