// Sending one 128x128 frame fully patched to Art-Net universes, each
// universe holding 170 pixels (510 of its 512 channels; a pixel's three
// channels never straddle two universes), so 97 universes in all: the patch
// step alone, and the whole SendFrame with 97 datagrams to a socket on
// 127.0.0.1. The same frame over 97 sACN universes and over one DDP
// display (34 packets), and over one Art-Net device per pixel (16384
// devices), which must still leave well inside a 40 ms frame. And the
// message loop's look for failed outputs with the 97 Art-Net universes open.
// The 97 Art-Net universes again with every device under a current budget
// that the frame exceeds: the budget alone, and with white balance and a
// cap as well; beside the same send without either, and with ArtSync.
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

// The patch step alone: plain (state.range(0) 0), with every universe
// over a current budget (1), and with gains and cap as well (2).
void PatchStep(benchmark::State& state) {
  PatchTable patch(kSide, kSide);
  PatchLinewise(patch);
  std::vector<PatchTarget> targets(kUniverses, PatchTarget{18, 512, 18 + 512 + 1});
  std::vector<std::vector<uint8_t>> buffers(kUniverses, std::vector<uint8_t>(18 + 512 + 2));
  std::vector<uint8_t*> pointers;
  for (auto& b : buffers) pointers.push_back(b.data());
  PatchPlan plan;
  plan.Build(patch, kSide, kSide, targets);
  const DeviceCorrection correction = state.range(0) == 1 ? DeviceCorrection{{100, 100, 100}, 100, 1000, 20}
                                                          : DeviceCorrection{{90, 80, 70}, 90, 1000, 20};
  const PreparedCorrection prepared(correction);
  std::vector<const PreparedCorrection*> corrections(kUniverses, state.range(0) == 0 ? nullptr : &prepared);
  std::vector<uint32_t> scales(kUniverses, kUnscaled);
  const auto frame = bench::TestFrame(kSide, kSide, 3);
  for (auto _ : state) {
    plan.Apply(frame.data(), pointers, corrections, scales);
    benchmark::DoNotOptimize(pointers.data());
    benchmark::ClobberMemory();
  }
  const double bytes = kSide * kSide * 3.0;
  bench::SetCaseSize(state, kSide * kSide, bytes, bytes);
}

// What each iteration does with the opened outputs.
enum class Step { kSendFrame, kTakeFaults };

// Sends the test frame through `devices` (their port is set to a socket on
// 127.0.0.1 that reads nothing, so what it cannot hold is dropped), or asks
// them for faults as every turn of the message loop does.
void SendFrame(benchmark::State& state, std::vector<OutputDevice> devices, const PatchTable& layout,
               double wireBytes, Step step = Step::kSendFrame, const DeviceCorrection* correction = nullptr,
               OutputSync sync = {}) {
  const int sink = ::socket(AF_INET, SOCK_DGRAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ::bind(sink, reinterpret_cast<sockaddr*>(&a), sizeof a);
  socklen_t length = sizeof a;
  ::getsockname(sink, reinterpret_cast<sockaddr*>(&a), &length);

  Console console;
  console.SetSink([](std::string_view) {});  // the list's growth lines
  std::atomic<OutputStateValue> outputState{kOutputStopped};
  PatchTable patch = layout;
  Outputs outputs(console, outputState, patch, OutputsOptions{[](std::chrono::milliseconds) {}});
  for (OutputDevice& d : devices) {
    d.SetAddress("127.0.0.1");
    d.port = ntohs(a.sin_port);
  }
  const size_t count = devices.size();
  outputs.devices().Load(std::move(devices));
  if (correction != nullptr) outputs.SetCorrections(std::vector<DeviceCorrection>(count, *correction));
  outputs.SetSync(sync);
  if (outputs.OpenOutputs()) state.SkipWithError("outputs did not open");
  const auto frame = bench::TestFrame(kSide, kSide, 4);
  if (step == Step::kSendFrame) {
    for (auto _ : state) outputs.SendFrame({frame.data(), kSide, kSide});
  } else {
    outputs.SendFrame({frame.data(), kSide, kSide});
    for (auto _ : state) {
      std::vector<Failure> faults = outputs.TakeFaults();
      benchmark::DoNotOptimize(faults);
    }
  }
  outputs.CloseOutputs();
  ::close(sink);
  bench::SetCaseSize(state, kSide * kSide, kSide * kSide * 3.0, wireBytes);
}

std::vector<OutputDevice> ArtNetUniverses() {
  std::vector<OutputDevice> devices;
  for (int u = 0; u < kUniverses; ++u) {
    OutputDevice d;
    d.driver = kDriverArtNet;
    d.channels = 512;
    d.driverParam = u / 256;
    d.subnet = (u / 16) % 16;
    d.universe = u % 16;
    devices.push_back(d);
  }
  return devices;
}

void SendFrameArtNet(benchmark::State& state) {
  PatchTable patch(kSide, kSide);
  PatchLinewise(patch);
  SendFrame(state, ArtNetUniverses(), patch, kUniverses * (18.0 + 512.0));
}

// 1 A per universe at 20 mA per channel: far below the frame's draw, so
// every universe is scaled.
void SendFrameArtNetPowerLimit(benchmark::State& state) {
  PatchTable patch(kSide, kSide);
  PatchLinewise(patch);
  const DeviceCorrection limit{{100, 100, 100}, 100, 1000, 20};
  SendFrame(state, ArtNetUniverses(), patch, kUniverses * (18.0 + 512.0), Step::kSendFrame, &limit);
}

// Gains 90/80/70 %, cap 90 %, 1 A per universe at 20 mA per channel: far
// below what the test frame draws, so every universe is scaled each frame.
void SendFrameArtNetCorrection(benchmark::State& state) {
  PatchTable patch(kSide, kSide);
  PatchLinewise(patch);
  const DeviceCorrection limit{{90, 80, 70}, 90, 1000, 20};
  SendFrame(state, ArtNetUniverses(), patch, kUniverses * (18.0 + 512.0), Step::kSendFrame, &limit);
}

void SendFrameArtNetSync(benchmark::State& state) {
  PatchTable patch(kSide, kSide);
  PatchLinewise(patch);
  SendFrame(state, ArtNetUniverses(), patch, kUniverses * (18.0 + 512.0) + 14.0, Step::kSendFrame, nullptr,
            OutputSync{true, 0});
}

void TakeFaultsArtNet(benchmark::State& state) {
  PatchTable patch(kSide, kSide);
  PatchLinewise(patch);
  SendFrame(state, ArtNetUniverses(), patch, 0, Step::kTakeFaults);
}

void SendFrameSacn(benchmark::State& state) {
  PatchTable patch(kSide, kSide);
  PatchLinewise(patch);
  std::vector<OutputDevice> devices;
  for (int u = 0; u < kUniverses; ++u) {
    OutputDevice d;
    d.driver = kDriverSacn;
    d.channels = 510;
    d.universe = u + 1;
    d.driverParam = 100;
    devices.push_back(d);
  }
  SendFrame(state, std::move(devices), patch, kUniverses * (126.0 + 510.0));
}

void SendFrameDdp(benchmark::State& state) {
  PatchTable patch(kSide, kSide);
  for (int p = 0; p < kSide * kSide; ++p) patch.entries()[static_cast<size_t>(p)] = PatchEntry{0, 3 * p, 3 * p + 1, 3 * p + 2};
  OutputDevice d;
  d.driver = kDriverDdp;
  d.channels = kSide * kSide * 3;
  SendFrame(state, {d}, patch, kSide * kSide * 3.0 + 34 * 10.0);
}

// One Art-Net device per pixel, each with state.range(0) channels.
void SendFrameArtNetPerPixel(benchmark::State& state) {
  const int channels = static_cast<int>(state.range(0));
  PatchTable patch(kSide, kSide);
  std::vector<OutputDevice> devices;
  for (int p = 0; p < kSide * kSide; ++p) {
    patch.entries()[static_cast<size_t>(p)] = PatchEntry{p, 0, 1, 2};
    OutputDevice d;
    d.driver = kDriverArtNet;
    d.channels = channels;
    d.driverParam = p / 256;
    d.subnet = (p / 16) % 16;
    d.universe = p % 16;
    devices.push_back(d);
  }
  SendFrame(state, std::move(devices), patch, kSide * kSide * (18.0 + channels));
}

BENCHMARK(PatchStep)->Name("Output/PatchStep/128x128")->Arg(0)->Arg(1)->Arg(2);
BENCHMARK(SendFrameArtNet)->Name("Output/SendFrame/128x128/97xArtNet")->Unit(benchmark::kMicrosecond);
BENCHMARK(SendFrameArtNetPowerLimit)->Name("Output/SendFrame/128x128/97xArtNet/PowerLimit")->Unit(benchmark::kMicrosecond);
BENCHMARK(SendFrameArtNetCorrection)
    ->Name("Output/SendFrame/128x128/97xArtNet/GainsCapPowerLimit")
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(SendFrameArtNetSync)->Name("Output/SendFrame/128x128/97xArtNet/ArtSync")->Unit(benchmark::kMicrosecond);
BENCHMARK(TakeFaultsArtNet)->Name("Output/TakeFaults/97xArtNet");
BENCHMARK(SendFrameSacn)->Name("Output/SendFrame/128x128/97xSacn")->Unit(benchmark::kMicrosecond);
BENCHMARK(SendFrameDdp)->Name("Output/SendFrame/128x128/1xDdp")->Unit(benchmark::kMicrosecond);
BENCHMARK(SendFrameArtNetPerPixel)
    ->Name("Output/SendFrame/128x128/16384xArtNet")
    ->ArgName("channels")
    ->Arg(4)
    ->Arg(512)
    ->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace quor
