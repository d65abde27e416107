// A generator's persistent settings described as data: one row per field, in
// block order, naming the member it lives in (a pointer-to-member path such
// as &G::colors_, &ColorGroup::color) and how it is encoded. SettingsLayout
// gives every row its offset; Store and Load move the fields between a
// record (usually the generator itself) and a settings block, so a type's
// byte layout is written down once. Loading only copies: a generator
// clamps damaged values and resets what depends on them after Load.
//
// Encodings, chosen by the member's type:
//   int, float         one little-endian 32-bit word
//   Rgb                three words: red, green, blue
//   AudioTrigger       five words (audio/audio_trigger.h)
//   std::array of these  the elements in order
//   StoredByte         an int or std::atomic<int> kept in one byte
//   StoredText         a std::string in a zero-padded area of kBytes bytes,
//                      at most kMaxLength characters; loading stops at the
//                      first zero byte
//
// Threads: layouts are compile-time constants; Store and Load run wherever
// the generator's ExchangeSettings runs (the UI thread).
#pragma once

#include <algorithm>
#include <array>
#include <atomic>
#include <cstdint>
#include <cstring>
#include <span>
#include <string>
#include <tuple>
#include <type_traits>
#include <utility>

#include "audio/audio_trigger.h"
#include "core/byte_io.h"
#include "core/generator.h"
#include "core/rgb_frame.h"

namespace quor {

struct SettingsField {
  int offset = 0;  // first byte in the block (set by SettingsLayout)
  int size = 0;    // bytes
  void (*store)(const void* record, std::span<uint8_t> bytes) = nullptr;
  void (*load)(void* record, std::span<const uint8_t> bytes) = nullptr;
};

namespace settings_detail {

template <class R, auto... Path>
using MemberType = std::remove_cvref_t<decltype((std::declval<R&>() .* ... .* Path))>;

template <class R, auto... Path>
const auto& MemberOf(const void* record) {
  return (*static_cast<const R*>(record) .* ... .* Path);
}
template <class R, auto... Path>
auto& MemberOf(void* record) {
  return (*static_cast<R*>(record) .* ... .* Path);
}

template <class T>
struct IsArray : std::false_type {};
template <class T, size_t N>
struct IsArray<std::array<T, N>> : std::true_type {};

template <class T>
constexpr int WordBytes() {
  if constexpr (IsArray<T>::value) {
    return static_cast<int>(std::tuple_size_v<T>) * WordBytes<typename T::value_type>();
  } else if constexpr (std::is_same_v<T, int> || std::is_same_v<T, float>) {
    return 4;
  } else if constexpr (std::is_same_v<T, Rgb>) {
    return 12;
  } else {
    static_assert(std::is_same_v<T, AudioTrigger>, "a stored member is an int, float, Rgb or AudioTrigger");
    return 20;
  }
}

template <class T>
void Put(ByteWriter& writer, const T& value) {
  if constexpr (IsArray<T>::value) {
    for (const auto& element : value) Put(writer, element);
  } else if constexpr (std::is_same_v<T, int>) {
    writer.PutI32(value);
  } else if constexpr (std::is_same_v<T, float>) {
    writer.PutF32(value);
  } else if constexpr (std::is_same_v<T, Rgb>) {
    writer.PutI32(value.r);
    writer.PutI32(value.g);
    writer.PutI32(value.b);
  } else {
    PutAudioTrigger(writer, value);
  }
}

template <class T>
void Get(ByteReader& reader, T& value) {
  if constexpr (IsArray<T>::value) {
    for (auto& element : value) Get(reader, element);
  } else if constexpr (std::is_same_v<T, int>) {
    value = reader.GetI32();
  } else if constexpr (std::is_same_v<T, float>) {
    value = reader.GetF32();
  } else if constexpr (std::is_same_v<T, Rgb>) {
    value.r = reader.GetI32();
    value.g = reader.GetI32();
    value.b = reader.GetI32();
  } else {
    value = GetAudioTrigger(reader);
  }
}

}  // namespace settings_detail

// An int, float, Rgb or AudioTrigger member.
template <class R, auto... Path>
constexpr SettingsField Stored() {
  using T = settings_detail::MemberType<R, Path...>;
  return {0, settings_detail::WordBytes<T>(),
          [](const void* record, std::span<uint8_t> bytes) {
            ByteWriter writer(bytes);
            settings_detail::Put(writer, settings_detail::MemberOf<R, Path...>(record));
          },
          [](void* record, std::span<const uint8_t> bytes) {
            ByteReader reader(bytes);
            settings_detail::Get(reader, settings_detail::MemberOf<R, Path...>(record));
          }};
}

// An int or std::atomic<int> member kept in one byte (0..255).
template <class R, auto... Path>
constexpr SettingsField StoredByte() {
  return {0, 1,
          [](const void* record, std::span<uint8_t> bytes) {
            const auto& member = settings_detail::MemberOf<R, Path...>(record);
            if constexpr (std::is_same_v<settings_detail::MemberType<R, Path...>, int>) {
              bytes[0] = static_cast<uint8_t>(member);
            } else {
              bytes[0] = static_cast<uint8_t>(member.load());
            }
          },
          [](void* record, std::span<const uint8_t> bytes) {
            auto& member = settings_detail::MemberOf<R, Path...>(record);
            if constexpr (std::is_same_v<settings_detail::MemberType<R, Path...>, int>) {
              member = bytes[0];
            } else {
              member.store(bytes[0]);
            }
          }};
}

// A std::string member in kBytes zero-padded bytes, at most kMaxLength
// characters (kBytes - 1 keeps room for a terminating zero).
template <class R, int kBytes, int kMaxLength, auto... Path>
constexpr SettingsField StoredText() {
  static_assert(std::is_same_v<settings_detail::MemberType<R, Path...>, std::string>);
  static_assert(kMaxLength > 0 && kMaxLength <= kBytes);
  return {0, kBytes,
          [](const void* record, std::span<uint8_t> bytes) {
            const std::string& text = settings_detail::MemberOf<R, Path...>(record);
            std::fill(bytes.begin(), bytes.end(), uint8_t{0});
            std::memcpy(bytes.data(), text.data(), std::min(text.size(), static_cast<size_t>(kMaxLength)));
          },
          [](void* record, std::span<const uint8_t> bytes) {
            const auto end = std::find(bytes.begin(), bytes.begin() + kMaxLength, uint8_t{0});
            settings_detail::MemberOf<R, Path...>(record).assign(bytes.begin(), end);
          }};
}

// The fields of record type R, with their offsets; `bytes` is the layout's
// length.
template <class R, size_t N>
struct SettingsLayoutTable {
  std::array<SettingsField, N> fields;
  int bytes = 0;

  void Store(const R& record, SettingsBlock& block) const {
    for (const SettingsField& f : fields) {
      f.store(&record, std::span<uint8_t>(block).subspan(static_cast<size_t>(f.offset), static_cast<size_t>(f.size)));
    }
  }
  void Load(R& record, const SettingsBlock& block) const {
    for (const SettingsField& f : fields) {
      f.load(&record,
             std::span<const uint8_t>(block).subspan(static_cast<size_t>(f.offset), static_cast<size_t>(f.size)));
    }
  }
};

// Lays the fields out one after another from byte 0.
template <class R, size_t N>
consteval SettingsLayoutTable<R, N> SettingsLayout(const SettingsField (&fields)[N]) {
  SettingsLayoutTable<R, N> table{};
  int offset = 0;
  for (size_t i = 0; i < N; ++i) {
    table.fields[i] = fields[i];
    table.fields[i].offset = offset;
    offset += fields[i].size;
  }
  if (offset > kSettingsBlockSize) throw "the fields do not fit into a settings block";
  table.bytes = offset;
  return table;
}

}  // namespace quor
