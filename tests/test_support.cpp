#include "test_support.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <future>
#include <thread>

#include <gtest/gtest.h>

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
  console_.Drain();
  std::lock_guard lock(mutex_);
  return text_;
}

int ConsoleCapture::Count(const std::string& needle) const {
  console_.Drain();
  std::lock_guard lock(mutex_);
  int count = 0;
  for (size_t at = text_.find(needle); at != std::string::npos; at = text_.find(needle, at + needle.size())) ++count;
  return count;
}

void ConsoleCapture::Clear() {
  console_.Drain();
  std::lock_guard lock(mutex_);
  text_.clear();
}

void FinishesWithin(int limitMs, const char* what, const std::function<void()>& work) {
  std::promise<void> done;
  std::future<void> finished = done.get_future();
  std::thread worker([&] {
    work();
    done.set_value();
  });
  if (finished.wait_for(std::chrono::milliseconds(limitMs)) != std::future_status::ready) {
    std::fprintf(stderr, "DEADLOCK: %s did not return within %d ms\n", what, limitMs);
    std::fflush(stderr);
    std::_Exit(3);
  }
  worker.join();
}

bool Eventually(const std::function<bool()>& condition, int limitMs) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(limitMs);
  while (!condition()) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

std::vector<uint8_t> ReadFileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

std::string FreshTestDir(const std::string& name) {
  // ctest runs tests of one fixture in parallel processes: each test gets a
  // folder of its own, or one would delete the other's files.
  std::string folder = name;
  if (const testing::TestInfo* info = testing::UnitTest::GetInstance()->current_test_info()) {
    folder += std::string("-") + info->test_suite_name() + "." + info->name();
    for (char& c : folder) {
      if (c == '/') c = '_';
    }
  }
  std::filesystem::path dir = std::filesystem::path(QUOR_TEST_OUTPUT_DIR) / folder;
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir);
  return dir.string();
}

}  // namespace quor::test

#include <cstring>

#include "engine/engine.h"
#include "generators/none_generator.h"
#include <thread>

namespace quor::test {
namespace {

class FailingGenerator final : public Generator {
 public:
  bool Create(int, int) override { return false; }
  void Render(const Canvas& canvas) override { std::memset(canvas.pixels, 0xEE, canvas.ByteSize()); }
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

void SolidGenerator::Render(const Canvas& canvas) {
  if (inRender_.fetch_add(1) != 0) overlaps.fetch_add(1);
  for (int i = 0; i < canvas.width * canvas.height; ++i) std::memcpy(canvas.pixels + i * 3, color, 3);
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
    GeneratorRegistry r(&CreateNoneGenerator);
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

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace quor::test {
namespace {

sockaddr_in Loopback(int port) {
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  a.sin_port = htons(static_cast<uint16_t>(port));
  return a;
}

}  // namespace

int FreeLoopbackPort() {
  const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  sockaddr_in a = Loopback(0);
  socklen_t length = sizeof a;
  ::bind(fd, reinterpret_cast<sockaddr*>(&a), length);
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &length);
  ::close(fd);
  return ntohs(a.sin_port);
}

LoopbackSender::LoopbackSender(int port) : fd_(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0)), port_(port) {}

LoopbackSender::~LoopbackSender() { ::close(fd_); }

bool LoopbackSender::Send(const std::vector<uint8_t>& bytes) {
  const sockaddr_in to = Loopback(port_);
  return ::sendto(fd_, bytes.data(), bytes.size(), 0, reinterpret_cast<const sockaddr*>(&to), sizeof to) ==
         static_cast<ssize_t>(bytes.size());
}

}  // namespace quor::test
