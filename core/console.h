// Diagnostic console: plain lines such as "Effect[0]: 7\n" or "FPS: 25.0\n".
// Writes go to standard output unless a sink is installed (tests capture the
// lines that way). Any thread may print; lines never interleave.
#pragma once

#include <functional>
#include <mutex>
#include <string>
#include <string_view>

namespace quor {

class Console {
 public:
  using Sink = std::function<void(std::string_view)>;

  // printf-style; the text is written exactly as formatted (callers add "\n").
  void Print(const char* format, ...) __attribute__((format(printf, 2, 3)));
  void Write(std::string_view text);
  // Replaces the destination; an empty sink restores standard output.
  void SetSink(Sink sink);

 private:
  std::mutex mutex_;
  Sink sink_;
};

}  // namespace quor
