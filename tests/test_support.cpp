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

#include <cstring>

#include "engine/engine.h"
#include <thread>

namespace quor::test {
namespace {

class FailingGenerator final : public Generator {
 public:
  bool Create(int, int) override { return false; }
  void Render(uint8_t* frame, int width, int height) override {
    std::memset(frame, 0xEE, static_cast<size_t>(width) * static_cast<size_t>(height) * 3);
  }
  void Destroy() override {}
  void ExchangeSettings(SettingsBlock&, SettingsDirection) override {}
};

}  // namespace

bool SolidGenerator::Create(int width, int height) {
  creates.fetch_add(1);
  createdWidth = width;
  createdHeight = height;
  return true;
}

void SolidGenerator::Render(uint8_t* frame, int width, int height) {
  if (inRender_.fetch_add(1) != 0) overlaps.fetch_add(1);
  for (int i = 0; i < width * height; ++i) std::memcpy(frame + i * 3, color, 3);
  renders.fetch_add(1);
  inRender_.fetch_sub(1);
}

void SolidGenerator::ExchangeSettings(SettingsBlock& block, SettingsDirection direction) {
  if (direction == SettingsDirection::kStore) {
    std::memcpy(block.data(), color, 3);
  } else {
    std::memcpy(color, block.data(), 3);
  }
}

const GeneratorRegistry& TestRegistry() {
  static const GeneratorRegistry registry = [] {
    GeneratorRegistry r;
    r.Register(kSolidType, [](GeneratorContext&) -> std::unique_ptr<Generator> {
      return std::make_unique<SolidGenerator>();
    });
    r.Register(kFailingType, [](GeneratorContext&) -> std::unique_ptr<Generator> {
      return std::make_unique<FailingGenerator>();
    });
    return r;
  }();
  return registry;
}

SolidGenerator* SolidIn(Engine& engine, int slot) {
  SolidGenerator* found = nullptr;
  engine.EditGenerator(slot, [&](Generator& g) { found = dynamic_cast<SolidGenerator*>(&g); });
  return found;
}

}  // namespace quor::test
