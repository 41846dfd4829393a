// The global list of named 3x3 filter presets, filled by the processing
// module's start-up and freed by its shut-down.

#include <memory>
#include <string>
#include <vector>

#include "proc/filters.h"

namespace {

// Two parallel containers: entry k of one belongs to entry k of the other.
std::unique_ptr<std::vector<std::unique_ptr<TGraphFilter>>> gFilters;
std::unique_ptr<std::vector<std::string>> gNames;

struct BuiltIn {
  const char* Name;
  TGraphFilter Filter;
};

const BuiltIn kBuiltIn[9] = {
    {"None", {{{0, 0, 0}, {0, 1, 0}, {0, 0, 0}}, 0}},
    {"Blur", {{{1, 1, 1}, {1, 1, 1}, {1, 1, 1}}, 9}},
    {"Edges", {{{1, 1, 1}, {1, -8, 1}, {1, 1, 1}}, 1}},
    {"Emboss", {{{-1, 0, 1}, {-1, 1, 1}, {-1, 0, 1}}, 1}},
    {"High Pass 1", {{{0, -1, 0}, {-1, 5, -1}, {0, -1, 0}}, 1}},
    {"High Pass 2", {{{-1, -1, -1}, {-1, 9, -1}, {-1, -1, -1}}, 1}},
    {"High Pass 3", {{{1, -2, 1}, {-2, 5, -2}, {1, -2, 1}}, 1}},
    {"Low Pass 1", {{{1, 1, 1}, {1, 1, 1}, {1, 1, 1}}, 10}},
    {"Low Pass 2", {{{1, 2, 1}, {2, 4, 2}, {1, 2, 1}}, 16}},
};

void CheckIndex(int32_t Index) {
  const int64_t count = gFilters ? int64_t(gFilters->size()) : 0;
  if (Index < 0 || Index >= count) throw EVXException("List index out of bounds (" + std::to_string(Index) + ")");
}

}  // namespace

void VXCreateFilterPresets() {
  gFilters = std::make_unique<std::vector<std::unique_ptr<TGraphFilter>>>();
  gNames = std::make_unique<std::vector<std::string>>();
  for (int32_t i = 0; i < 9; ++i) VXAddFilterPreset(kBuiltIn[i].Filter, VXBuiltInFilterPresetName(i));
}

void VXFreeFilterPresets() {
  gFilters.reset();
  gNames.reset();
}

int32_t VXAddFilterPreset(const TGraphFilter& Filter, const std::string& Name) {
  if (!gFilters) {
    gFilters = std::make_unique<std::vector<std::unique_ptr<TGraphFilter>>>();
    gNames = std::make_unique<std::vector<std::string>>();
  }
  gFilters->push_back(std::make_unique<TGraphFilter>(Filter));
  gNames->push_back(Name);
  return int32_t(gFilters->size()) - 1;
}

std::string VXBuiltInFilterPresetName(int32_t Index) {
  return Index >= 0 && Index < 9 ? kBuiltIn[Index].Name : std::string();
}

const TGraphFilter* VXGetFilterPreset(int32_t Index) {
  CheckIndex(Index);
  return (*gFilters)[size_t(Index)].get();
}

std::string VXGetFilterPresetName(int32_t Index) {
  CheckIndex(Index);
  return (*gNames)[size_t(Index)];
}

int32_t VXFilterPresetCount() { return gFilters ? int32_t(gFilters->size()) : 0; }
