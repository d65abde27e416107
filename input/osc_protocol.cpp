#include "input/osc_protocol.h"

#include <bit>
#include <cmath>
#include <cstring>

namespace quor {
namespace {

constexpr std::string_view kBundleTag{"#bundle\0", 8};

// Reads through a packet without ever going past its end.
class Reader {
 public:
  explicit Reader(std::span<const uint8_t> bytes) : bytes_(bytes) {}
  size_t left() const { return bytes_.size() - at_; }

  // A string: its characters up to a NUL, then NULs to a multiple of 4.
  std::optional<std::string_view> String() {
    const uint8_t* begin = bytes_.data() + at_;
    const void* end = std::memchr(begin, 0, left());
    if (end == nullptr) return std::nullopt;
    const size_t length = static_cast<size_t>(static_cast<const uint8_t*>(end) - begin);
    const size_t padded = (length + 4) & ~size_t{3};
    if (padded > left()) return std::nullopt;
    at_ += padded;
    return std::string_view(reinterpret_cast<const char*>(begin), length);
  }
  std::optional<uint32_t> Word() {
    if (left() < 4) return std::nullopt;
    const uint8_t* p = bytes_.data() + at_;
    at_ += 4;
    return uint32_t{p[0]} << 24 | uint32_t{p[1]} << 16 | uint32_t{p[2]} << 8 | uint32_t{p[3]};
  }
  std::optional<uint64_t> Long() {
    const std::optional<uint32_t> high = Word();
    const std::optional<uint32_t> low = high ? Word() : std::nullopt;
    if (!low) return std::nullopt;
    return uint64_t{*high} << 32 | *low;
  }
  bool Skip(size_t count) {
    if (count > left()) return false;
    at_ += count;
    return true;
  }
  std::span<const uint8_t> Take(size_t count) {
    const std::span<const uint8_t> part = bytes_.subspan(at_, count);
    at_ += count;
    return part;
  }

 private:
  std::span<const uint8_t> bytes_;
  size_t at_ = 0;
};

// Reads one argument of type `tag`; the first one is kept in `keep`.
bool ReadArgument(Reader& reader, char tag, std::optional<OscArgument>* keep) {
  OscArgument argument;
  switch (tag) {
    case 'i': {
      const std::optional<uint32_t> word = reader.Word();
      if (!word) return false;
      argument = {OscArgType::kInt, static_cast<int32_t>(*word), 0, {}};
      break;
    }
    case 'h': {
      const std::optional<uint64_t> word = reader.Long();
      if (!word) return false;
      argument = {OscArgType::kInt, static_cast<int64_t>(*word), 0, {}};
      break;
    }
    case 'f': {
      const std::optional<uint32_t> word = reader.Word();
      if (!word) return false;
      argument = {OscArgType::kFloat, 0, std::bit_cast<float>(*word), {}};
      break;
    }
    case 'd': {
      const std::optional<uint64_t> word = reader.Long();
      if (!word) return false;
      argument = {OscArgType::kFloat, 0, std::bit_cast<double>(*word), {}};
      break;
    }
    case 's':
    case 'S': {
      const std::optional<std::string_view> text = reader.String();
      if (!text) return false;
      argument = {OscArgType::kString, 0, 0, *text};
      break;
    }
    case 'b': {
      const std::optional<uint32_t> size = reader.Word();
      if (!size || *size > reader.left()) return false;
      const size_t padded = (size_t{*size} + 3) & ~size_t{3};
      if (!reader.Skip(padded)) return false;
      break;
    }
    case 'c':
    case 'r':
    case 'm':
      if (!reader.Word()) return false;
      break;
    case 't':
      if (!reader.Long()) return false;
      break;
    case 'T': argument = {OscArgType::kInt, 1, 0, {}}; break;
    case 'F': argument = {OscArgType::kInt, 0, 0, {}}; break;
    case 'N':
    case 'I':
    case '[':
    case ']':
      return true;  // no value: the next argument may be the first
    default:
      return false;  // a type whose size is unknown: the rest cannot be read
  }
  if (argument.type == OscArgType::kFloat && !std::isfinite(argument.number)) return false;
  if (keep != nullptr && !*keep) *keep = argument;
  return true;
}

bool ParseMessage(std::span<const uint8_t> bytes, std::vector<OscMessage>& out) {
  Reader reader(bytes);
  const std::optional<std::string_view> address = reader.String();
  if (!address || address->empty() || address->front() != '/') return false;
  OscMessage message{*address, std::nullopt};
  // A message without a type tag string (from old senders) has no arguments.
  if (reader.left() > 0) {
    const std::optional<std::string_view> tags = reader.String();
    if (!tags || tags->empty() || tags->front() != ',') return false;
    for (size_t i = 1; i < tags->size(); ++i) {
      if (!ReadArgument(reader, (*tags)[i], &message.first)) return false;
    }
    if (reader.left() != 0) return false;  // bytes no type tag accounts for
  }
  if (out.size() >= kMaxOscMessagesPerPacket) return false;
  out.push_back(message);
  return true;
}

bool ParseElement(std::span<const uint8_t> bytes, int depth, std::vector<OscMessage>& out) {
  if (bytes.size() % 4 != 0 || bytes.empty()) return false;
  if (bytes.size() < kBundleTag.size() || std::memcmp(bytes.data(), kBundleTag.data(), kBundleTag.size()) != 0) {
    return ParseMessage(bytes, out);
  }
  if (depth >= kMaxOscBundleDepth) return false;
  Reader reader(bytes);
  reader.Skip(kBundleTag.size());
  if (!reader.Long()) return false;  // the time tag
  while (reader.left() > 0) {
    const std::optional<uint32_t> size = reader.Word();
    if (!size || *size > reader.left()) return false;
    if (!ParseElement(reader.Take(*size), depth + 1, out)) return false;
  }
  return true;
}

// Matches one part of a pattern against one part of an address. `failed`
// remembers the (pattern, address) positions already known not to match,
// so runs of "*" cost at most pattern length x address length steps.
class PartMatcher {
 public:
  PartMatcher(std::string_view pattern, std::string_view text)
      : p_(pattern), s_(text), failed_((pattern.size() + 1) * (text.size() + 1), false) {}
  bool Match(size_t pi, size_t si) {
    const size_t key = pi * (s_.size() + 1) + si;
    if (failed_[key]) return false;
    const bool matched = Step(pi, si);
    if (!matched) failed_[key] = true;
    return matched;
  }

 private:
  bool Step(size_t pi, size_t si) {
    if (pi == p_.size()) return si == s_.size();
    const char c = p_[pi];
    if (c == '*') return Match(pi + 1, si) || (si < s_.size() && Match(pi, si + 1));
    if (c == '{') {
      const size_t close = p_.find('}', pi);
      if (close == std::string_view::npos) return false;
      std::string_view words = p_.substr(pi + 1, close - pi - 1);
      while (true) {
        const size_t comma = words.find(',');
        const std::string_view word = words.substr(0, comma);
        if (s_.substr(si, word.size()) == word && Match(close + 1, si + word.size())) return true;
        if (comma == std::string_view::npos) return false;
        words.remove_prefix(comma + 1);
      }
    }
    if (si == s_.size()) return false;
    const char t = s_[si];
    if (c == '?') return Match(pi + 1, si + 1);
    if (c == '[') {
      const size_t close = p_.find(']', pi + 1);
      if (close == std::string_view::npos) return false;
      std::string_view set = p_.substr(pi + 1, close - pi - 1);
      const bool negate = !set.empty() && set.front() == '!';
      if (negate) set.remove_prefix(1);
      bool in = false;
      for (size_t i = 0; i < set.size(); ++i) {
        if (i + 2 < set.size() && set[i + 1] == '-') {
          const char low = std::min(set[i], set[i + 2]), high = std::max(set[i], set[i + 2]);
          in = in || (t >= low && t <= high);
          i += 2;
        } else {
          in = in || t == set[i];
        }
      }
      return in != negate && Match(close + 1, si + 1);
    }
    return c == t && Match(pi + 1, si + 1);
  }

  std::string_view p_, s_;
  std::vector<bool> failed_;
};

void PutString(std::vector<uint8_t>& out, std::string_view text) {
  out.insert(out.end(), text.begin(), text.end());
  out.resize((out.size() + 4) & ~size_t{3}, 0);
}

void PutWord(std::vector<uint8_t>& out, uint32_t word) {
  for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<uint8_t>(word >> shift));
}

}  // namespace

std::optional<std::vector<OscMessage>> ParseOscPacket(std::span<const uint8_t> packet) {
  std::vector<OscMessage> messages;
  if (!ParseElement(packet, 0, messages)) return std::nullopt;
  return messages;
}

bool IsOscPattern(std::string_view pattern) { return pattern.find_first_of("?*[]{}") != std::string_view::npos; }

bool OscPatternMatches(std::string_view pattern, std::string_view address) {
  if (pattern.empty() || address.empty() || pattern.front() != '/' || address.front() != '/') return false;
  pattern.remove_prefix(1), address.remove_prefix(1);
  while (true) {
    const size_t pEnd = pattern.find('/'), aEnd = address.find('/');
    if ((pEnd == std::string_view::npos) != (aEnd == std::string_view::npos)) return false;
    const std::string_view p = pattern.substr(0, pEnd), a = address.substr(0, aEnd);
    if (p != a && (!IsOscPattern(p) || p.size() > kMaxOscPatternPartLength || !PartMatcher(p, a).Match(0, 0))) {
      return false;
    }
    if (pEnd == std::string_view::npos) return true;
    pattern.remove_prefix(pEnd + 1), address.remove_prefix(aEnd + 1);
  }
}

std::vector<uint8_t> BuildOscMessage(std::string_view address, float value) {
  std::vector<uint8_t> out;
  PutString(out, address), PutString(out, ",f"), PutWord(out, std::bit_cast<uint32_t>(value));
  return out;
}

std::vector<uint8_t> BuildOscMessage(std::string_view address, int32_t value) {
  std::vector<uint8_t> out;
  PutString(out, address), PutString(out, ",i"), PutWord(out, static_cast<uint32_t>(value));
  return out;
}

std::vector<uint8_t> BuildOscMessage(std::string_view address, std::string_view value) {
  std::vector<uint8_t> out;
  PutString(out, address), PutString(out, ",s"), PutString(out, value);
  return out;
}

std::vector<uint8_t> BuildOscMessage(std::string_view address) {
  std::vector<uint8_t> out;
  PutString(out, address), PutString(out, ",");
  return out;
}

std::vector<uint8_t> BuildOscBundle(std::span<const std::vector<uint8_t>> elements) {
  std::vector<uint8_t> out(kBundleTag.begin(), kBundleTag.end());
  PutWord(out, 0), PutWord(out, 1);  // the time tag that means "at once"
  for (const std::vector<uint8_t>& element : elements) {
    PutWord(out, static_cast<uint32_t>(element.size()));
    out.insert(out.end(), element.begin(), element.end());
  }
  return out;
}

}  // namespace quor
