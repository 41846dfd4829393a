#include "vect/extended.h"

#include <typeindex>
#include <vector>

#include "core/vxdefs.h"

namespace {

struct TEntry {
  std::string Name;
  TVXExtendedObjectFactory Factory;
  std::type_index Type;
};

std::unique_ptr<std::vector<TEntry>>& Registry() {
  static std::unique_ptr<std::vector<TEntry>> r;
  return r;
}

const TEntry* EntryOf(const TVXExtendedObject* Object) {
  if (!Registry() || !Object) return nullptr;
  const std::type_index t(typeid(*Object));
  for (const TEntry& e : *Registry())
    if (e.Type == t) return &e;
  return nullptr;
}

}  // namespace

void VXCreateExtendedObjectRegistry() { Registry() = std::make_unique<std::vector<TEntry>>(); }

void VXFreeExtendedObjectRegistry() { Registry().reset(); }

bool VXExtendedObjectRegistryExists() { return Registry() != nullptr; }

void VXRegisterExtendedObjectClass(const std::string& Name, TVXExtendedObjectFactory Factory) {
  if (!Registry()) throw EVXException("Extended objects are not available");
  std::unique_ptr<TVXExtendedObject> sample = Factory ? Factory() : nullptr;
  if (!sample) throw EVXException("Invalid extended object class");
  Registry()->push_back(TEntry{Name, std::move(Factory), std::type_index(typeid(*sample))});
}

std::string VXExtendedObjectClassName(const TVXExtendedObject* Object) {
  const TEntry* e = EntryOf(Object);
  return e ? e->Name : std::string();
}

std::unique_ptr<TVXExtendedObject> VXCreateExtendedObject(const std::string& Name) {
  if (!Registry()) return nullptr;
  for (const TEntry& e : *Registry())
    if (e.Name == Name) return e.Factory();
  return nullptr;
}

std::unique_ptr<TVXExtendedObject> TVXExtendedObject::Clone() {
  const TEntry* e = EntryOf(this);
  if (!e) return nullptr;
  std::unique_ptr<TVXExtendedObject> r = e->Factory();
  if (!r) return nullptr;
  r->fParent = fParent;
  r->Initialize();
  return r;
}
