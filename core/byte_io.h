// Little-endian byte writer and reader for file records, settings blocks
// and wire packets. Both are bounds-checked: a writer never writes past its
// buffer, a reader past its end yields zeros and reports !ok(), so damaged
// input can never make them touch foreign memory.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>

namespace quor {

class ByteWriter {
 public:
  explicit ByteWriter(std::span<uint8_t> buffer) : buffer_(buffer) {}

  void PutU8(uint8_t v) { PutBytes(&v, 1); }
  void PutU16(uint16_t v) {
    const uint8_t b[2] = {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8)};
    PutBytes(b, 2);
  }
  void PutU16BigEndian(uint16_t v) {
    const uint8_t b[2] = {static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v)};
    PutBytes(b, 2);
  }
  void PutU32(uint32_t v) {
    const uint8_t b[4] = {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v >> 16),
                          static_cast<uint8_t>(v >> 24)};
    PutBytes(b, 4);
  }
  void PutU32BigEndian(uint32_t v) {
    PutU16BigEndian(static_cast<uint16_t>(v >> 16));
    PutU16BigEndian(static_cast<uint16_t>(v));
  }
  void PutI32(int32_t v) { PutU32(static_cast<uint32_t>(v)); }
  void PutF32(float v) {
    uint32_t bits;
    std::memcpy(&bits, &v, 4);
    PutU32(bits);
  }
  void PutBytes(const void* data, size_t size) {
    if (size > buffer_.size() - position_) {
      ok_ = false;
      size = buffer_.size() - position_;
    }
    if (size > 0) std::memcpy(buffer_.data() + position_, data, size);
    position_ += size;
  }
  void Skip(size_t size) {
    if (size > buffer_.size() - position_) {
      ok_ = false;
      size = buffer_.size() - position_;
    }
    position_ += size;
  }

  size_t position() const { return position_; }
  bool ok() const { return ok_; }

 private:
  std::span<uint8_t> buffer_;
  size_t position_ = 0;
  bool ok_ = true;
};

class ByteReader {
 public:
  explicit ByteReader(std::span<const uint8_t> data) : data_(data) {}

  uint8_t GetU8() {
    uint8_t v = 0;
    GetBytes(&v, 1);
    return v;
  }
  uint16_t GetU16() {
    uint8_t b[2] = {};
    GetBytes(b, 2);
    return static_cast<uint16_t>(b[0] | (b[1] << 8));
  }
  uint16_t GetU16BigEndian() {
    uint8_t b[2] = {};
    GetBytes(b, 2);
    return static_cast<uint16_t>((b[0] << 8) | b[1]);
  }
  uint32_t GetU32() {
    uint8_t b[4] = {};
    GetBytes(b, 4);
    return static_cast<uint32_t>(b[0]) | (static_cast<uint32_t>(b[1]) << 8) | (static_cast<uint32_t>(b[2]) << 16) |
           (static_cast<uint32_t>(b[3]) << 24);
  }
  int32_t GetI32() { return static_cast<int32_t>(GetU32()); }
  float GetF32() {
    uint32_t bits = GetU32();
    float v;
    std::memcpy(&v, &bits, 4);
    return v;
  }
  // Copies `size` bytes; missing bytes are zero-filled and clear ok().
  void GetBytes(void* out, size_t size) {
    size_t available = data_.size() - position_;
    size_t n = size <= available ? size : available;
    if (n > 0) std::memcpy(out, data_.data() + position_, n);
    if (n < size) {
      std::memset(static_cast<uint8_t*>(out) + n, 0, size - n);
      ok_ = false;
    }
    position_ += n;
  }
  void Skip(size_t size) {
    if (size > data_.size() - position_) {
      ok_ = false;
      size = data_.size() - position_;
    }
    position_ += size;
  }

  size_t position() const { return position_; }
  size_t remaining() const { return data_.size() - position_; }
  bool ok() const { return ok_; }

 private:
  std::span<const uint8_t> data_;
  size_t position_ = 0;
  bool ok_ = true;
};

}  // namespace quor
