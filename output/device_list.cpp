#include "output/device_list.h"

#include <stdexcept>

#include "output/sacn_encoder.h"

namespace quor {

OutputDeviceList::OutputDeviceList(Console& console, int initialCapacity)
    : console_(console), capacity_(initialCapacity > 0 ? initialCapacity : 0) {
  records_.reserve(static_cast<size_t>(capacity_));
}

void OutputDeviceList::ReserveOne() {
  if (count() < capacity_ || Full()) return;
  const int oldCount = count();
  // The capacity grows by one record as the console line says; the storage
  // itself grows in larger steps, so that adding many devices (a scan) does
  // not copy the whole list for every one.
  capacity_ = oldCount + 1;
  console_.Print("Realloc - Devices: %d Malloc %d\n", oldCount, capacity_);
}

int OutputDeviceList::Add(const OutputDevice& device) {
  if (Full()) return -1;
  ReserveOne();
  records_.push_back(device);
  if (device.driver == kDriverSacn) GiveSacnCids();  // the others already have theirs
  return count() - 1;
}

void OutputDeviceList::Replace(int index, const OutputDevice& device, PatchTable& patch) {
  OutputDevice& old = records_.at(static_cast<size_t>(index));
  if (device.driver != old.driver) {
    UnpatchDevice(patch, index);
  } else if (device.channels < old.channels) {
    UnpatchChannelsFrom(patch, index, device.channels);
  }
  old = device;
  GiveSacnCids();
}

int OutputDeviceList::Remove(int index, PatchTable& patch) {
  if (index < 0 || index >= count()) throw std::out_of_range("OutputDeviceList::Remove");
  RemoveDeviceFromPatch(patch, index);
  records_.erase(records_.begin() + index);
  return index < count() ? index : count() - 1;
}

void OutputDeviceList::Load(std::vector<OutputDevice> records) {
  const int stored = static_cast<int>(records.size());
  console_.Print("Devices: %d Malloc %d\n", stored, capacity_);
  if (stored > capacity_) {
    capacity_ = stored;
    console_.Print("Realloc - Devices: %d Malloc %d\n", stored, stored);
  }
  records_ = std::move(records);
  records_.reserve(static_cast<size_t>(capacity_));
  GiveSacnCids();
}

void OutputDeviceList::GiveSacnCids() {
  SacnCid cid{};
  for (const OutputDevice& d : records_) {
    if (d.driver == kDriverSacn && !IsZeroCid(CidOf(d))) {
      cid = CidOf(d);
      break;
    }
  }
  for (OutputDevice& d : records_) {
    if (d.driver != kDriverSacn || !IsZeroCid(CidOf(d))) continue;
    if (IsZeroCid(cid)) cid = NewCid();
    SetCid(d, cid);
  }
}

void UnpatchDevice(PatchTable& patch, int device) {
  for (PatchEntry& e : patch.entries()) {
    if (e.device == device) e = PatchEntry{};
  }
}

void UnpatchChannelsFrom(PatchTable& patch, int device, int channels) {
  for (PatchEntry& e : patch.entries()) {
    if (e.device == device && (e.red >= channels || e.green >= channels || e.blue >= channels)) e = PatchEntry{};
  }
}

void RemoveDeviceFromPatch(PatchTable& patch, int device) {
  for (PatchEntry& e : patch.entries()) {
    if (e.device == device) {
      e = PatchEntry{};
    } else if (e.device > device) {
      --e.device;
    }
  }
}

}  // namespace quor
