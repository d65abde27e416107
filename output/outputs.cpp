#include "output/outputs.h"

#include <thread>

#include "output/bitmap_encoder.h"
#include "output/drivers.h"
#include "output/file_transport.h"
#include "output/recorder_encoder.h"
#include "output/serial_port.h"
#include "output/udp_transport.h"

namespace quor {

// Send buffers hold this much beyond header and channels: the trailer byte
// for a protocol's end byte, and a discard byte for channels that lie
// outside the device.
static constexpr size_t kBufferExtraBytes = kBufferTrailerBytes + 1;

Outputs::Outputs(Console& console, std::atomic<int>& outputState, PatchTable& patch, OutputsOptions options)
    : console_(console), state_(outputState), patch_(patch), options_(std::move(options)), devices_(console) {
  if (!options_.pause) options_.pause = [](std::chrono::milliseconds ms) { std::this_thread::sleep_for(ms); };
}

Outputs::~Outputs() { CloseOutputs(); }

bool Outputs::OpenOutputs() {
  if (state_.load() != kOutputStopped) CloseOutputs();
  std::lock_guard lock(sendMutex_);
  ReleaseLocked();
  bool failed = false;
  const std::span<const OutputDevice> list = devices_.devices();
  connections_.resize(list.size());
  for (size_t i = 0; i < list.size(); ++i) {
    Connection& c = connections_[i];
    c.device = list[i];
    const OutputDevice& d = c.device;
    const DriverInfo* info = FindDriver(d.driver);
    if (info == nullptr) continue;  // not a driver this program knows: sends nothing
    const bool buffered = info->encode != nullptr;
    if (buffered && (d.channels < 0 || d.channels > kMaxDeviceChannels)) {
      console_.Print("Output %zu: %d channels cannot be sent\n", i + 1, d.channels);
      failed = true;
      continue;
    }
    const std::string path(d.PathText());
    switch (info->transport) {
      case TransportKind::kUdp:
      case TransportKind::kSerial:
        if (d.Redirected()) {
          c.transport = FileTransport::Create(path);
          c.toFile = true;
        } else if (info->transport == TransportKind::kUdp) {
          if (!socket_) {
            socket_ = std::make_unique<UdpSocket>();
            ++socketsOpened_;
          }
          c.transport = std::make_unique<UdpTransport>(*socket_, d.AddressText(), d.port);
        } else {
          std::string why;
          c.transport = SerialPort::Open(d.AddressText(), d.driverParam, &why);
          if (!c.transport) {
            console_.Print("Output %zu: %s %s\n", i + 1, SerialPort::PathFor(d.AddressText()).c_str(), why.c_str());
            failed = true;
          }
          break;
        }
        if (d.Redirected() && !c.transport) {
          console_.Print("Output %zu: cannot create %s\n", i + 1, path.c_str());
          failed = true;
        }
        break;
      case TransportKind::kRecorderFile:
        c.transport = FileTransport::Create(path);
        c.toFile = true;
        if (!c.transport) {
          console_.Print("Output %zu: cannot create %s\n", i + 1, path.c_str());
          failed = true;
        }
        break;
      case TransportKind::kBitmapFolder:
        break;
    }
    if (buffered) c.buffer.assign(static_cast<size_t>(info->headerLength + d.channels) + kBufferExtraBytes, 0);
  }
  if (failed) {
    ReleaseLocked();
    state_.store(kOutputStopped);
    return false;
  }
  targets_.assign(connections_.size(), PatchTarget{});
  buffers_.assign(connections_.size(), nullptr);
  for (size_t i = 0; i < connections_.size(); ++i) {
    Connection& c = connections_[i];
    if (c.buffer.empty()) continue;
    const int header = FindDriver(c.device.driver)->headerLength;
    targets_[i] = PatchTarget{header, c.device.channels, static_cast<uint32_t>(c.buffer.size() - 1)};
    buffers_[i] = c.buffer.data();
  }
  RebuildPlanLocked(patch_.width(), patch_.height());
  bitmapCounter_ = 0;
  state_.store(kOutputRunning);
  return true;
}

void Outputs::CloseOutputs() {
  int expected = kOutputRunning;
  if (state_.compare_exchange_strong(expected, kOutputClosing)) {
    const int width = patch_.width();
    const int height = patch_.height();
    const std::vector<uint8_t> black(static_cast<size_t>(width) * static_cast<size_t>(height) * 3, 0);
    for (int k = 0; k < 2; ++k) {
      state_.store(kOutputClosing);
      {
        std::lock_guard lock(sendMutex_);
        SendLocked(black.data(), width, height, kOutputClosing);
      }
      state_.store(kOutputStopped);
      options_.pause(kBlackFrameGap);
    }
  }
  state_.store(kOutputStopped);
  std::lock_guard lock(sendMutex_);
  ReleaseLocked();
}

void Outputs::SendFrame(const uint8_t* frame, int width, int height) {
  std::lock_guard lock(sendMutex_);
  if (state_.load() != kOutputRunning) return;
  SendLocked(frame, width, height, kOutputRunning);
}

int Outputs::SharedSocketLocalPort() {
  std::lock_guard lock(sendMutex_);
  return socket_ ? socket_->LocalPort() : 0;
}

void Outputs::RebuildPlanLocked(int width, int height) {
  planStale_.store(false);
  plan_.Build(patch_, width, height, targets_);
}

void Outputs::SendLocked(const uint8_t* frame, int width, int height, int state) {
  if (planStale_.load() || width != plan_.width() || height != plan_.height()) RebuildPlanLocked(width, height);
  plan_.Apply(frame, buffers_);

  Transport* transport = nullptr;
  const PacketSink send = [&transport](std::span<const uint8_t> bytes) { transport->Send(bytes); };
  for (Connection& c : connections_) {
    const DriverInfo* info = FindDriver(c.device.driver);
    if (info == nullptr) continue;
    // Files are written only while running, never with the black frames
    // of a stop.
    if (c.toFile && state != kOutputRunning) continue;
    switch (info->transport) {
      case TransportKind::kUdp:
      case TransportKind::kSerial:
        if (!c.transport || !c.transport->ReadyForFrame()) break;  // busy port: frame dropped
        transport = c.transport.get();
        info->encode(c.device, std::span<uint8_t>(c.buffer.data(), c.buffer.size() - 1), scratch_, send);
        break;
      case TransportKind::kBitmapFolder: {
        if (state != kOutputRunning) break;
        ++bitmapCounter_;
        EncodeBitmap(frame, width, height, scratch_);
        WriteWholeFile(BitmapFileName(c.device.PathText(), bitmapCounter_), scratch_);  // failures skip the file
        break;
      }
      case TransportKind::kRecorderFile: {
        if (!c.transport || width <= 0 || height <= 0) break;
        EncodeRecorderFrame(frame, width, height, scratch_);
        const size_t column = static_cast<size_t>(height) * 3;
        for (size_t offset = 0; offset < scratch_.size(); offset += column) {
          c.transport->Send(std::span<const uint8_t>(scratch_.data() + offset, column));
        }
        break;
      }
    }
  }
}

void Outputs::ReleaseLocked() {
  connections_.clear();  // closes ports and files; the UDP transports only borrow the socket
  buffers_.clear();
  targets_.clear();
  plan_ = PatchPlan{};
  planStale_.store(true);
  if (socket_) {
    socket_.reset();
    ++socketsClosed_;
  }
}

}  // namespace quor
