// TVXExtendedObject: the base of user-defined vector objects (kind
// vxkEXTENDED), and the registry of their classes by name, through which the
// object stream recreates them. Nothing in the library registers a class;
// programs do, with VXRegisterExtendedObjectClass.
#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "gui/controls.h"
#include "gui/graphics.h"
#include "winui/win_types.h"

class TStream;
class TVXBitmap;
class TVexlaneVect;
struct TVXVObject;

class TVXExtendedObject {
 public:
  TVXExtendedObject() = default;
  virtual ~TVXExtendedObject() = default;
  TVXExtendedObject(const TVXExtendedObject&) = delete;
  TVXExtendedObject& operator=(const TVXExtendedObject&) = delete;

  virtual void Initialize() {}
  virtual void Finalize() {}
  virtual void Instance(int32_t AssignedHOBJ) { fHOBJ = AssignedHOBJ; }
  virtual void SaveToStream(TStream* Stream) { (void)Stream; }
  virtual bool LoadFromStream(TStream* Stream) {
    (void)Stream;
    return true;
  }
  // A new instance of the same registered class with the same parent, on
  // which Initialize has run; no other data is copied. nullptr for a class
  // that is not registered.
  virtual std::unique_ptr<TVXExtendedObject> Clone();
  virtual void MouseDown(TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y) {
    (void)Button, (void)Shift, (void)X, (void)Y;
  }
  virtual void MouseUp(TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y) {
    (void)Button, (void)Shift, (void)X, (void)Y;
  }
  virtual void MouseMove(TShiftState Shift, int32_t X, int32_t Y) { (void)Shift, (void)X, (void)Y; }
  virtual void MouseEnter() { fMouseOver = true; }
  virtual void MouseLeave() { fMouseOver = false; }
  virtual void KeyDown(uint16_t CharCode, TShiftState Shift) { (void)CharCode, (void)Shift; }
  virtual void Draw(TVXBitmap* Bitmap, int32_t x1, int32_t y1, int32_t x2, int32_t y2, bool isAlpha, double ZoomX,
                    double ZoomY) {
    (void)Bitmap, (void)x1, (void)y1, (void)x2, (void)y2, (void)isAlpha, (void)ZoomX, (void)ZoomY;
  }

  TVexlaneVect* fParent = nullptr;
  TVXVObject* fObject = nullptr;
  int32_t fHOBJ = -1;
  HFONT hfont = nullptr;
  HGDIOBJ hpred = nullptr;
  bool fMouseOver = false;
};

using TVXExtendedObjectFactory = std::function<std::unique_ptr<TVXExtendedObject>()>;

// Adds a class under Name (8-bit name, compared exactly); Factory makes a
// new instance of it (its class is learnt from one instance made here).
// Raises EVXException "Extended objects are not available" before the
// module's start-up or after its shut-down, and "Invalid extended object
// class" for a factory that makes nothing.
void VXRegisterExtendedObjectClass(const std::string& Name, TVXExtendedObjectFactory Factory);
// The same for a class T derived from TVXExtendedObject.
template <class T>
void VXRegisterExtendedObjectClass(const std::string& Name) {
  VXRegisterExtendedObjectClass(Name, [] { return std::unique_ptr<TVXExtendedObject>(new T()); });
}
// The name of the first entry whose class the instance belongs to; empty
// when none (or without a registry).
std::string VXExtendedObjectClassName(const TVXExtendedObject* Object);
// A new instance of the first entry named Name (base state: no parent,
// handle -1); nullptr when none.
std::unique_ptr<TVXExtendedObject> VXCreateExtendedObject(const std::string& Name);
// Whether the registry exists (between the module's start-up and shut-down).
bool VXExtendedObjectRegistryExists();

// The registry's life, run by the module hooks.
void VXCreateExtendedObjectRegistry();
void VXFreeExtendedObjectRegistry();
