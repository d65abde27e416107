#include "output/patch_table.h"

#include <algorithm>

namespace quor {

void PatchTable::Create(int width, int height) {
  width = std::max(width, 0);
  height = std::max(height, 0);
  entries_.assign(static_cast<size_t>(width) * static_cast<size_t>(height), PatchEntry{});
  width_ = width;
  height_ = height;
}

PatchTable PatchTable::Resized(int width, int height) const {
  PatchTable result(width, height);
  const int rows = std::min(height_, result.height_);
  const int columns = std::min(width_, result.width_);
  if (columns <= 0) return result;
  for (int y = 0; y < rows; ++y) {
    std::copy_n(&At(0, y), columns, &result.At(0, y));
  }
  return result;
}

void PatchTable::Resize(int width, int height) { *this = Resized(width, height); }

void PatchTable::Clear() { std::fill(entries_.begin(), entries_.end(), PatchEntry{}); }

}  // namespace quor
