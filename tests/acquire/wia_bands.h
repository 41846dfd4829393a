// A banded-transfer callback for the device manager's tests: it records the
// messages in order and gathers each page's bytes (a page ends at
// IT_MSG_NEW_PAGE or IT_MSG_TERMINATION when a header came since the last).
#pragma once
#include <cstring>
#include <string>
#include <vector>

#include "acquire/wia_api.h"

class TBands : public TVXComObject<IWiaDataCallback> {
public:
  std::vector<std::string> Messages;      // "header", "data", "newpage", "end"
  std::vector<std::vector<uint8_t>> Pages;
  std::vector<WIA_DATA_CALLBACK_HEADER> Headers;
  std::vector<LONG> BandLengths;
  int StopAtData = -1;  // answers S_FALSE to that IT_MSG_DATA (0 is the first)

  HRESULT BandedDataCallback(LONG Msg, LONG, LONG, LONG Offset, LONG Length, LONG, LONG, BYTE* Buffer) override {
    switch (Msg) {
      case IT_MSG_DATA_HEADER: {
        Messages.push_back("header");
        WIA_DATA_CALLBACK_HEADER h;
        std::memcpy(&h, Buffer, sizeof(h));
        Headers.push_back(h);
        fPending = true;
        return S_OK;
      }
      case IT_MSG_DATA:
        Messages.push_back("data");
        if (int(BandLengths.size()) == StopAtData) return S_FALSE;
        BandLengths.push_back(Length);
        if (size_t(Offset) != fData.size()) Messages.push_back("offset " + std::to_string(Offset));
        fData.insert(fData.end(), Buffer, Buffer + Length);
        return S_OK;
      case IT_MSG_NEW_PAGE:
        Messages.push_back("newpage");
        Deliver();
        return S_OK;
      case IT_MSG_TERMINATION:
        Messages.push_back("end");
        if (fPending) Deliver();
        return S_OK;
      default:
        return S_OK;
    }
  }

  // The messages without the data bands, for comparing orders.
  std::vector<std::string> Order() const {
    std::vector<std::string> out;
    for (const std::string& m : Messages)
      if (m != "data") out.push_back(m);
    return out;
  }

private:
  void Deliver() {
    Pages.push_back(fData);
    fData.clear();
    fPending = false;
  }
  std::vector<uint8_t> fData;
  bool fPending = false;
};

// A property of an item, or VT_EMPTY.
inline PROPVARIANT ReadProp(IUnknown* Item, PROPID Id) {
  PROPVARIANT v;
  IWiaPropertyStorage* s = nullptr;
  if (Item->QueryInterface(IWiaPropertyStorage::kIID, reinterpret_cast<void**>(&s)) != S_OK) return v;
  PROPSPEC prop;
  prop.propid = Id;
  s->ReadMultiple(1, &prop, &v);
  s->Release();
  return v;
}

inline HRESULT WriteProp(IUnknown* Item, PROPID Id, const PROPVARIANT& Value) {
  IWiaPropertyStorage* s = nullptr;
  if (Item->QueryInterface(IWiaPropertyStorage::kIID, reinterpret_cast<void**>(&s)) != S_OK) return E_NOINTERFACE;
  PROPSPEC prop;
  prop.propid = Id;
  const HRESULT hr = s->WriteMultiple(1, &prop, &Value, 2);
  s->Release();
  return hr;
}

inline HRESULT WriteInt(IUnknown* Item, PROPID Id, LONG Value) {
  PROPVARIANT v;
  v.vt = VT_I4;
  v.lVal = Value;
  return WriteProp(Item, Id, v);
}

// The child items of an item, in order (each with one reference).
inline std::vector<IWiaItem*> Children(IWiaItem* Item) {
  std::vector<IWiaItem*> out;
  IEnumWiaItem* e = nullptr;
  if (Item->EnumChildItems(&e) != S_OK) return out;
  IWiaItem* c = nullptr;
  ULONG got = 0;
  while (e->Next(1, &c, &got) == S_OK && got == 1) out.push_back(c);
  e->Release();
  return out;
}

inline HRESULT Transfer(IWiaItem* Item, TBands& Bands) {
  IWiaDataTransfer* t = nullptr;
  if (Item->QueryInterface(IWiaDataTransfer::kIID, reinterpret_cast<void**>(&t)) != S_OK) return E_NOINTERFACE;
  WIA_DATA_TRANSFER_INFO info{sizeof(WIA_DATA_TRANSFER_INFO), 0, 65536, 0, 0, 0, 0};
  const HRESULT hr = t->idtGetBandedData(&info, &Bands);
  t->Release();
  return hr;
}
