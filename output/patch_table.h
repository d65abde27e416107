// The output patch: for every matrix pixel the device that receives it and
// the three channel positions of its red, green and blue bytes. Row-major,
// one entry per pixel; an entry with device -1 is not patched.
// Owned by the Engine; edited on the UI thread while outputs are stopped.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace quor {

struct PatchEntry {
  int32_t device = -1;
  int32_t red = 0;
  int32_t green = 0;
  int32_t blue = 0;
  friend bool operator==(const PatchEntry&, const PatchEntry&) = default;
};

inline constexpr int kPatchEntryBytes = 16;

class PatchTable {
 public:
  PatchTable() = default;
  PatchTable(int width, int height) { Create(width, height); }

  // A table of width x height cleared entries.
  void Create(int width, int height);
  // Builds the table for a new matrix size: the overlapping top-left
  // rectangle keeps its entries, everything else is cleared. May throw
  // std::bad_alloc, in which case the table is unchanged.
  void Resize(int width, int height);
  // The same as Resize, into a separate table (so a caller can prepare the
  // new table before it commits to a resize).
  PatchTable Resized(int width, int height) const;
  void Clear();

  int width() const { return width_; }
  int height() const { return height_; }
  PatchEntry& At(int x, int y) { return entries_[Index(x, y)]; }
  const PatchEntry& At(int x, int y) const { return entries_[Index(x, y)]; }
  std::vector<PatchEntry>& entries() { return entries_; }
  const std::vector<PatchEntry>& entries() const { return entries_; }

 private:
  size_t Index(int x, int y) const { return static_cast<size_t>(y) * static_cast<size_t>(width_) + static_cast<size_t>(x); }

  int width_ = 0;
  int height_ = 0;
  std::vector<PatchEntry> entries_;
};

}  // namespace quor
