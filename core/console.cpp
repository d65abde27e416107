#include "core/console.h"

#include <cstdarg>
#include <cstdio>
#include <vector>

namespace quor {

void Console::Print(const char* format, ...) {
  char small[256];
  va_list args;
  va_start(args, format);
  va_list copy;
  va_copy(copy, args);
  int length = std::vsnprintf(small, sizeof small, format, args);
  va_end(args);
  if (length < 0) {
    va_end(copy);
    return;
  }
  if (static_cast<size_t>(length) < sizeof small) {
    va_end(copy);
    Write(std::string_view(small, static_cast<size_t>(length)));
    return;
  }
  std::vector<char> big(static_cast<size_t>(length) + 1);
  std::vsnprintf(big.data(), big.size(), format, copy);
  va_end(copy);
  Write(std::string_view(big.data(), static_cast<size_t>(length)));
}

void Console::Write(std::string_view text) {
  std::lock_guard lock(mutex_);
  if (sink_) {
    sink_(text);
    return;
  }
  std::fwrite(text.data(), 1, text.size(), stdout);
  std::fflush(stdout);
}

void Console::SetSink(Sink sink) {
  std::lock_guard lock(mutex_);
  sink_ = std::move(sink);
}

}  // namespace quor
