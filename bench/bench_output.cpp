// Sending one 128x128 frame fully patched to Art-Net universes, each
// universe holding 170 pixels (510 of its 512 channels; a pixel's three
// channels never straddle two universes), so 97 universes in all: the patch
// step alone, and the whole SendFrame with 97 datagrams to a socket on
// 127.0.0.1.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <benchmark/benchmark.h>

#include "bench/bench_support.h"
#include "output/outputs.h"

namespace quor {
namespace {

constexpr int kSide = 128;
constexpr int kPixelsPerUniverse = 170;
constexpr int kUniverses = (kSide * kSide + kPixelsPerUniverse - 1) / kPixelsPerUniverse;

void PatchLinewise(PatchTable& patch) {
  for (int p = 0; p < kSide * kSide; ++p) {
    const int c = (p % kPixelsPerUniverse) * 3;
    patch.entries()[static_cast<size_t>(p)] = PatchEntry{p / kPixelsPerUniverse, c, c + 1, c + 2};
  }
}

void PatchStep(benchmark::State& state) {
  PatchTable patch(kSide, kSide);
  PatchLinewise(patch);
  std::vector<PatchTarget> targets(kUniverses, PatchTarget{18, 512, 18 + 512 + 1});
  std::vector<std::vector<uint8_t>> buffers(kUniverses, std::vector<uint8_t>(18 + 512 + 2));
  std::vector<uint8_t*> pointers;
  for (auto& b : buffers) pointers.push_back(b.data());
  PatchPlan plan;
  plan.Build(patch, kSide, kSide, targets);
  const auto frame = bench::TestFrame(kSide, kSide, 3);
  for (auto _ : state) {
    plan.Apply(frame.data(), pointers);
    benchmark::DoNotOptimize(pointers.data());
    benchmark::ClobberMemory();
  }
  const double bytes = kSide * kSide * 3.0;
  bench::SetCaseSize(state, kSide * kSide, bytes, bytes);
}

void SendFrameArtNet(benchmark::State& state) {
  // A socket on 127.0.0.1 to send to; what it does not read is dropped.
  const int sink = ::socket(AF_INET, SOCK_DGRAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ::bind(sink, reinterpret_cast<sockaddr*>(&a), sizeof a);
  socklen_t length = sizeof a;
  ::getsockname(sink, reinterpret_cast<sockaddr*>(&a), &length);

  Console console;
  console.SetSink([](std::string_view) {});  // the list's growth lines
  std::atomic<int> outputState{0};
  PatchTable patch(kSide, kSide);
  PatchLinewise(patch);
  Outputs outputs(console, outputState, patch, OutputsOptions{[](std::chrono::milliseconds) {}});
  for (int u = 0; u < kUniverses; ++u) {
    OutputDevice d;
    d.driver = kDriverArtNet;
    d.SetAddress("127.0.0.1");
    d.port = ntohs(a.sin_port);
    d.channels = 512;
    d.driverParam = u / 256;
    d.subnet = (u / 16) % 16;
    d.universe = u % 16;
    outputs.devices().Add(d);
  }
  if (!outputs.OpenOutputs()) state.SkipWithError("outputs did not open");
  const auto frame = bench::TestFrame(kSide, kSide, 4);
  for (auto _ : state) outputs.SendFrame(frame.data(), kSide, kSide);
  outputs.CloseOutputs();
  ::close(sink);
  const double bytes = kSide * kSide * 3.0;
  bench::SetCaseSize(state, kSide * kSide, bytes, kUniverses * (18.0 + 512.0));
}

BENCHMARK(PatchStep)->Name("Output/PatchStep/128x128");
BENCHMARK(SendFrameArtNet)->Name("Output/SendFrame/128x128/97xArtNet")->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace quor
