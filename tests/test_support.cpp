#include "test_support.h"

#include <filesystem>

#ifndef QUOR_TEST_OUTPUT_DIR
#define QUOR_TEST_OUTPUT_DIR "/tmp/quor-test-output"
#endif

namespace quor::test {

ConsoleCapture::ConsoleCapture(Console& console) : console_(console) {
  console_.SetSink([this](std::string_view text) {
    std::lock_guard lock(mutex_);
    text_.append(text);
  });
}

ConsoleCapture::~ConsoleCapture() { console_.SetSink({}); }

std::string ConsoleCapture::Text() const {
  std::lock_guard lock(mutex_);
  return text_;
}

int ConsoleCapture::Count(const std::string& needle) const {
  std::lock_guard lock(mutex_);
  int count = 0;
  for (size_t at = text_.find(needle); at != std::string::npos; at = text_.find(needle, at + needle.size())) ++count;
  return count;
}

void ConsoleCapture::Clear() {
  std::lock_guard lock(mutex_);
  text_.clear();
}

std::string FreshTestDir(const std::string& name) {
  std::filesystem::path dir = std::filesystem::path(QUOR_TEST_OUTPUT_DIR) / name;
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir);
  return dir.string();
}

}  // namespace quor::test
