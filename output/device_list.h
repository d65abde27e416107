// The list of output devices: a count and a capacity that grows one record
// at a time (with the console line "Realloc - Devices: %d Malloc %d"), and
// the list changes that must keep the patch consistent, since the patch
// names devices by their index. UI thread, while output is stopped.
#pragma once

#include <span>
#include <vector>

#include "core/console.h"
#include "output/output_device.h"
#include "output/patch_table.h"

namespace quor {

inline constexpr int kInitialDeviceCapacity = 5;
// The most devices the list holds: what the project file stores (one per
// pixel of the largest matrix).
inline constexpr int kMaxDevices = 16384;
inline constexpr const char* kDeviceListFullMessage =
    "The device list is full: it holds at most 16384 devices, so no more were added. Delete devices you no longer "
    "need, then add the others again.";

class OutputDeviceList {
 public:
  explicit OutputDeviceList(Console& console, int initialCapacity = kInitialDeviceCapacity);

  int count() const { return static_cast<int>(records_.size()); }
  int capacity() const { return capacity_; }
  std::span<const OutputDevice> devices() const { return records_; }
  const OutputDevice& operator[](int index) const { return records_.at(static_cast<size_t>(index)); }

  bool Full() const { return count() >= kMaxDevices; }
  // Makes room for one more record (growing the capacity to count + 1 when
  // full); the editor does this before it opens for a new device. Nothing
  // happens when the list is Full().
  void ReserveOne();
  // Grows when needed and appends; returns the new record's index, or -1
  // with nothing changed when the list is Full().
  int Add(const OutputDevice& device);
  // Stores an edited record. A changed driver unpatches every pixel of the
  // device; fewer channels unpatch the pixels that used the channels that
  // are gone.
  void Replace(int index, const OutputDevice& device, PatchTable& patch);
  // Removes a record: its pixels are unpatched and the pixels of every later
  // device follow it down by one. Returns the index to select afterwards
  // (the same index, or the new last one; -1 when the list is empty).
  int Remove(int index, PatchTable& patch);
  // Replaces the whole list with the records of a loaded project, printing
  // "Devices: %d Malloc %d" and growing to exactly the stored count.
  void Load(std::vector<OutputDevice> records);
  // Add, Replace and Load give every sACN device without a CID the one the
  // project's other sACN devices use, or a new one: the program is one
  // sACN source.

 private:
  void GiveSacnCids();
  Console& console_;
  std::vector<OutputDevice> records_;
  int capacity_;
};

// Patch changes that follow device changes.
void UnpatchDevice(PatchTable& patch, int device);
// Unpatches the pixels of `device` with any channel >= `channels`.
void UnpatchChannelsFrom(PatchTable& patch, int device, int channels);
// Unpatches `device` and moves every later device's pixels down by one.
void RemoveDeviceFromPatch(PatchTable& patch, int device);

}  // namespace quor
