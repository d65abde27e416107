// Helpers shared by the tests.
#pragma once

#include <mutex>
#include <string>
#include <vector>

#include "core/console.h"

namespace quor::test {

// Collects everything written to a Console for inspection.
class ConsoleCapture {
 public:
  explicit ConsoleCapture(Console& console);
  ~ConsoleCapture();
  std::string Text() const;
  // Number of occurrences of `needle` in everything captured so far.
  int Count(const std::string& needle) const;
  void Clear();

 private:
  Console& console_;
  mutable std::mutex mutex_;
  std::string text_;
};

// A folder below the build tree, emptied for each test that asks for it.
std::string FreshTestDir(const std::string& name);

}  // namespace quor::test
