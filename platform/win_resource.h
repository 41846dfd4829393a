// Module resources: the program's entry registers the blobs that the build embeds
// (e.g. RT_RCDATA "quant", or the RT_STRING blocks of a library's texts); FindResourceW / LoadResource / LockResource /
// SizeofResource reach them as on Windows. A null module is the running program.
// LoadResource gives a global memory handle (platform/win_memory.h) that
// GlobalLock and GlobalSize also accept.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/win_memory.h"

constexpr int RT_STRING = 6;
constexpr int RT_RCDATA = 10;

struct TResourceEntry;  // platform/win_resource_entry.h
using HMODULE = void*;
using HRSRC = const TResourceEntry*;

// Registers (or replaces) a resource of the running program. The bytes are not
// copied and must stay valid for the life of the process.
void RegisterResource(int Type, const std::string& Name, const void* Data, size_t Size);
// Removes a registered resource; true when there was one.
bool UnregisterResource(int Type, const std::string& Name);

// A resource type or name as Windows passes them: a number below 65536 (what
// MAKEINTRESOURCE makes) or a text. A text "#" followed by decimal digits
// stands for that number, as on Windows.
class TResName {
 public:
  TResName(int Number) : fIsNumber(true), fNumber(Number < 0 ? 0x10000u : uint32_t(Number)) {}
  TResName(const char* Text) : TResName(std::string(Text ? Text : "")) {}
  TResName(const std::string& Text);
  static TResName Named(const std::string& Text);  // a text, never a number
  bool IsNumber() const { return fIsNumber; }
  // 0x10000 and above for a number that no resource can have.
  uint32_t Number() const { return fNumber; }
  const std::string& Text() const { return fText; }
  // "#" + the number, or the text.
  std::string Key() const { return fIsNumber ? "#" + std::to_string(fNumber) : fText; }

 private:
  TResName() = default;
  bool fIsNumber = false;
  uint32_t fNumber = 0;
  std::string fText;
};

// A null module is the running program (types by number only); other modules
// come from LoadLibraryExW (platform/win_module.h). Names and texts of types
// are compared without case, as on Windows.
HRSRC FindResourceW(HMODULE Module, const TResName& Name, const TResName& Type);
HGLOBAL LoadResource(HMODULE Module, HRSRC Resource);
const void* LockResource(HGLOBAL Data);
uint32_t SizeofResource(HMODULE Module, HRSRC Resource);

// String tables as Windows keeps them: string id N lives in the RT_STRING block
// named "#" + (N / 16 + 1), which holds 16 strings in a row, each a 16-bit
// length followed by that many UTF-16 characters (no terminator). Block data
// must be aligned for char16_t.
std::string VXStringBlockName(uint32_t ID);

// Loads string ID of the module's string tables. With BufferMax > 0 copies at
// most BufferMax - 1 characters and a terminator into Buffer and answers the
// characters copied; with BufferMax 0, Buffer is taken as a `const char16_t**`
// that receives the address of the string inside the resource (not
// terminated) and the answer is its length. 0 when there is no such string.
int LoadStringW(HMODULE Module, uint32_t ID, char16_t* Buffer, int BufferMax);
