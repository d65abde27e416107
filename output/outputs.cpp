#include "output/outputs.h"

#include <algorithm>
#include <cstring>
#include <thread>

#include "output/artnet_encoder.h"
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
// Bitmap files waiting for the writer thread before new ones are dropped.
static constexpr AsyncWriterLimits kBitmapQueue{16, size_t{4} << 20};

Outputs::Outputs(Console& console, std::atomic<OutputStateValue>& outputState, PatchTable& patch, OutputsOptions options)
    : console_(console), state_(outputState), patch_(patch), options_(std::move(options)), devices_(console) {
  if (!options_.pause) options_.pause = [](std::chrono::milliseconds ms) { std::this_thread::sleep_for(ms); };
  if (!options_.openSocket) options_.openSocket = [] { return std::make_unique<UdpSocket>(); };
}

Outputs::~Outputs() { CloseOutputs(); }

std::optional<Failure> Outputs::OpenOutputs() {
  if (state_.load() != kOutputStopped) CloseOutputs();
  std::unique_lock lock(sendMutex_);
  CloseReleased(ReleaseLocked());
  std::optional<Failure> firstFailure;
  // Keeps the first failure for the caller's error dialog.
  auto fail = [&firstFailure](std::string subject, int errorNumber, std::string reason) {
    if (!firstFailure) firstFailure = Failure{std::move(subject), errorNumber, std::move(reason)};
  };
  const std::span<const OutputDevice> list = devices_.devices();
  connections_.resize(list.size());
  for (size_t i = 0; i < list.size(); ++i) {
    Connection& c = connections_[i];
    c.device = list[i];
    const OutputDevice& d = c.device;
    const DriverInfo* info = FindDriver(d.driver);
    if (info == nullptr) continue;  // not a driver this program knows: sends nothing
    c.info = info;
    const bool buffered = info->encode != nullptr;
    if (buffered && (d.channels < 0 || d.channels > kMaxDeviceChannels)) {
      console_.Print("Output %zu: %d channels cannot be sent\n", i + 1, d.channels);
      fail("Output " + std::to_string(i + 1), 0, std::to_string(d.channels) + " channels cannot be sent");
      continue;
    }
    const std::string path(d.PathText());
    // A redirection or recorder file; why it cannot be created is said on
    // the console and kept for the error box.
    auto createFile = [&] {
      c.toFile = true;
      Result<std::unique_ptr<FileTransport>> file = FileTransport::Create(path);
      if (file) {
        c.file = file->get();
        c.transport = std::move(*file);
        return;
      }
      const Failure& why = file.failure();
      console_.Print("Output %zu: cannot create %s: %s\n", i + 1, path.c_str(), why.message.c_str());
      fail(path, why.errorNumber, "cannot create the file: " + why.message);
    };
    switch (info->transport) {
      case TransportKind::kUdp:
      case TransportKind::kSerial:
        if (d.Redirected()) {
          createFile();
        } else if (info->transport == TransportKind::kUdp) {
          if (!socket_) {
            socket_ = options_.openSocket();
            socket_->SetBatching(true);  // one frame leaves in a few system calls
            ++socketsOpened_;
          }
          c.transport = std::make_unique<UdpTransport>(*socket_, DestinationOf(d), d.port);
        } else {
          Result<std::unique_ptr<SerialPort>> port = SerialPort::Open(d.AddressText(), d.driverParam);
          if (port) {
            c.transport = std::move(*port);
          } else {
            const std::string portPath = SerialPort::PathFor(d.AddressText());
            const Failure& why = port.failure();
            console_.Print("Output %zu: %s %s\n", i + 1, portPath.c_str(), why.message.c_str());
            fail(portPath, why.errorNumber, why.message);
          }
        }
        break;
      case TransportKind::kRecorderFile:
        createFile();
        break;
      case TransportKind::kBitmapFolder: {
        const std::string folder = path;
        auto health = std::make_shared<Connection::BitmapHealth>();
        c.bitmapHealth = health;
        c.bitmaps = std::make_unique<AsyncWriter>(
            [folder, health](int64_t counter, std::span<const uint8_t> bytes) {
              // A failure skips the file; the next file is tried again. Only
              // the state is kept here: TakeFaults reports its changes.
              const std::optional<Failure> failed =
                  WriteWholeFile(BitmapFileName(folder, static_cast<int>(counter)), bytes);
              if (failed) health->failed.fetch_add(1);
              health->error.store(failed ? failed->errorNumber : 0);
              return true;
            },
            kBitmapQueue);
        break;
      }
    }
    if (buffered) c.buffer.assign(static_cast<size_t>(info->headerLength + d.channels) + kBufferExtraBytes, 0);
  }
  if (firstFailure) {
    std::vector<Connection> opened = ReleaseLocked();
    state_.store(kOutputStopped);
    lock.unlock();
    CloseReleased(std::move(opened));
    return firstFailure;
  }
  faultWatch_.clear();
  for (size_t i = 0; i < connections_.size(); ++i) {
    const Connection& c = connections_[i];
    const bool serial = c.info != nullptr && c.info->transport == TransportKind::kSerial && !c.toFile;
    if (c.file != nullptr || c.bitmapHealth || (serial && c.transport)) faultWatch_.push_back(i);
  }
  targets_.assign(connections_.size(), PatchTarget{});
  buffers_.assign(connections_.size(), nullptr);
  for (size_t i = 0; i < connections_.size(); ++i) {
    Connection& c = connections_[i];
    if (c.buffer.empty()) continue;
    const int header = c.info->headerLength;
    targets_[i] = PatchTarget{header, c.device.channels, static_cast<uint32_t>(c.buffer.size() - 1)};
    buffers_[i] = c.buffer.data();
  }
  limitWatch_.clear();
  const std::vector<DeviceCorrection> corrections = this->corrections();
  for (size_t i = 0; i < connections_.size() && i < corrections.size(); ++i) {
    Connection& c = connections_[i];
    if (c.buffer.empty() || !corrections[i].Active()) continue;
    c.correction = PreparedCorrection(corrections[i]);
    if (corrections[i].budgetMilliamps > 0) {
      c.budgetShare = std::make_shared<std::atomic<int>>(100);
      limitWatch_.push_back(i);
    }
  }
  PlanSyncLocked();
  RebuildPlanLocked(patch_.width(), patch_.height());
  bitmapCounter_ = 0;
  state_.store(kOutputRunning);
  return std::nullopt;
}

void Outputs::CloseOutputs() {
  OutputStateValue expected = kOutputRunning;
  if (state_.compare_exchange_strong(expected, kOutputClosing)) {
    const int width = patch_.width();
    const int height = patch_.height();
    const std::vector<uint8_t> black(static_cast<size_t>(width) * static_cast<size_t>(height) * 3, 0);
    for (int k = 0; k < 2; ++k) {
      state_.store(kOutputClosing);
      {
        std::lock_guard lock(sendMutex_);
        SendLocked({black.data(), width, height}, kOutputClosing);
      }
      state_.store(kOutputStopped);
      options_.pause(kBlackFrameGap);
    }
  }
  state_.store(kOutputStopped);
  std::vector<Connection> released;
  {
    std::lock_guard lock(sendMutex_);
    released = ReleaseLocked();
  }
  CloseReleased(std::move(released));
}

void Outputs::SendFrame(FrameView frame) {
  // Checked before the lock too: a stop holds the lock for its black frames.
  if (state_.load() != kOutputRunning) return;
  std::lock_guard lock(sendMutex_);
  if (state_.load() != kOutputRunning) return;
  SendLocked(frame, kOutputRunning);
}

namespace {
bool SameDevice(const OutputDevice& a, const OutputDevice& b) {
  return a.driver == b.driver && a.AddressText() == b.AddressText() && a.PathText() == b.PathText() &&
         a.universe == b.universe && a.subnet == b.subnet && a.driverParam == b.driverParam;
}
}  // namespace

void Outputs::SetCorrections(std::vector<DeviceCorrection> corrections) {
  corrections_.clear();
  const std::span<const OutputDevice> list = devices_.devices();
  for (size_t i = 0; i < corrections.size() && i < list.size(); ++i) {
    if (corrections[i].Active()) corrections_.emplace_back(list[i], corrections[i]);
  }
}

std::vector<DeviceCorrection> Outputs::corrections() const {
  const std::span<const OutputDevice> list = devices_.devices();
  std::vector<DeviceCorrection> byIndex(list.size());
  std::vector<bool> taken(list.size(), false);
  for (const auto& [device, correction] : corrections_) {
    // The device it was set for where it is now: the first match not yet
    // taken, so two devices with the same settings keep theirs in order.
    for (size_t i = 0; i < list.size(); ++i) {
      if (taken[i] || !SameDevice(list[i], device)) continue;
      taken[i] = true;
      byIndex[i] = correction;
      break;
    }
  }
  return byIndex;
}

std::vector<Failure> Outputs::TakeFaults() {
  std::vector<Failure> faults;
  // Said once when a device starts being limited and once when it stops.
  limitStatus_.clear();
  for (const size_t i : limitWatch_) {
    Connection& c = connections_[i];
    const int share = c.budgetShare->load(std::memory_order_relaxed);
    if (share < 100) {
      limitStatus_ += limitStatus_.empty() ? "Power limit: output " : ", output ";
      limitStatus_ += std::to_string(i + 1) + " at " + std::to_string(share) + "%";
    }
    if (share < 100 && !c.limitSaid) {
      c.limitSaid = true;
      console_.Print("Output %zu: limited to %d%% for its power budget\n", i + 1, share);
    } else if (share >= 100 && c.limitSaid) {
      c.limitSaid = false;
      console_.Print("Output %zu: within its power budget again\n", i + 1);
    }
  }
  for (const size_t i : faultWatch_) {
    Connection& c = connections_[i];
    if (c.info == nullptr) continue;
    const int number = static_cast<int>(i + 1);
    if (c.bitmapHealth) {
      // Reported on each change between writing and failing, never per file.
      const int error = c.bitmapHealth->error.load();
      if (error == 0 && c.faultReported) {
        c.faultReported = false;
        const uint64_t failed = c.bitmapHealth->failed.load();
        console_.Print("Output %d writes its bitmap files into %s again; %llu files were not written.\n", number,
                       std::string(c.device.PathText()).c_str(),
                       static_cast<unsigned long long>(failed - c.bitmapFailedSaid));
        c.bitmapFailedSaid = failed;
      } else if (error != 0 && !c.faultReported) {
        c.faultReported = true;
        std::string subject(c.device.PathText());
        std::string message = "Output " + std::to_string(number) + " cannot write its bitmap files into " + subject +
                              ": " + std::strerror(error) +
                              ". Its frames are lost until the folder can be written again: create the folder or "
                              "free some space; writing resumes by itself.";
        console_.Print("%s\n", message.c_str());
        faults.push_back({std::move(subject), error, std::move(message)});
      }
      continue;
    }
    if (c.faultReported) continue;
    const int error = c.transport ? c.transport->fault() : 0;
    if (error == 0) continue;
    c.faultReported = true;
    const std::string reason = std::strerror(error);
    std::string subject;
    std::string message;
    if (c.toFile) {
      subject = c.device.PathText();
      message = "Output " + std::to_string(number) + " stopped writing " + subject + ": " + reason +
                ". Free some space or choose another file, then start the output again.";
    } else {
      subject = SerialPort::PathFor(c.device.AddressText());
      message = "Output " + std::to_string(number) + " stopped sending to " + subject + ": " + reason +
                ". Check the cable and the device, then start the output again.";
    }
    console_.Print("%s\n", message.c_str());
    faults.push_back({std::move(subject), error, std::move(message)});
  }
  return faults;
}

int Outputs::SharedSocketLocalPort() {
  std::lock_guard lock(sendMutex_);
  return socket_ ? socket_->LocalPort() : 0;
}

void Outputs::RebuildPlanLocked(int width, int height) {
  planStale_.store(false);
  plan_.Build(patch_, width, height, targets_);
  copyWith_.assign(connections_.size(), nullptr);
  budgetsScattered_.assign(connections_.size(), nullptr);
  sourceSums_.assign(connections_.size(), 0);
  scales_.assign(connections_.size(), kUnscaled);
  anyScattered_ = false;
  for (size_t i = 0; i < connections_.size(); ++i) {
    Connection& c = connections_[i];
    if (c.buffer.empty()) continue;
    // A channel the new patch no longer writes goes dark rather than
    // keeping what the old one left there; a budget taken from the frame
    // also counts on it.
    std::fill_n(c.buffer.begin() + c.info->headerLength, c.device.channels, uint8_t{0});
    const bool ahead = c.correction.HasBudget() && plan_.WritesOnce(i);
    if (ahead || c.correction.HasGains()) copyWith_[i] = &c.correction;
    if (ahead && !plan_.InlineBudget(i)) {
      budgetsScattered_[i] = &c.correction;
      anyScattered_ = true;
    }
  }
}

void Outputs::SendLocked(FrameView frame, int state) {
  const int width = frame.width;
  const int height = frame.height;
  if (planStale_.load() || width != plan_.width() || height != plan_.height()) RebuildPlanLocked(width, height);
  if (anyScattered_) {
    std::fill(sourceSums_.begin(), sourceSums_.end(), 0);
    plan_.SumSources(frame.pixels, budgetsScattered_, sourceSums_);
    for (size_t i = 0; i < budgetsScattered_.size(); ++i) {
      if (budgetsScattered_[i] != nullptr) scales_[i] = budgetsScattered_[i]->ScaleFor(sourceSums_[i]).factor;
    }
  }
  plan_.Apply(frame.pixels, buffers_, copyWith_, scales_);

  Transport* transport = nullptr;
  const PacketSink send = [&transport](std::span<const uint8_t> bytes) { transport->Send(bytes); };
  for (size_t i = 0; i < connections_.size(); ++i) {
    Connection& c = connections_[i];
    // A budget the plan took from the frame left its scale; one it could
    // not (some channel is written twice) is taken from the channels now.
    if (c.correction.HasBudget() && !c.buffer.empty()) {
      const bool ahead = plan_.WritesOnce(i);
      const int share = ahead ? ShareOf(scales_[i])
                              : c.correction.ApplyBudget(std::span<uint8_t>(c.buffer.data() + c.info->headerLength,
                                                                            static_cast<size_t>(c.device.channels)));
      if (c.budgetShare) c.budgetShare->store(share, std::memory_order_relaxed);
    }
    const DriverInfo* info = c.info;
    if (info == nullptr) continue;
    // Files are written only while running, never with the black frames
    // of a stop.
    if (c.toFile && state != kOutputRunning) continue;
    switch (info->transport) {
      case TransportKind::kUdp:
      case TransportKind::kSerial:
        if (!c.transport || !c.transport->ReadyForFrame()) break;  // busy port: frame dropped
        transport = c.transport.get();
        {
          const BufferEncoder encode =
              state != kOutputRunning && info->encodeStop != nullptr ? info->encodeStop : info->encode;
          encode(c.device, std::span<uint8_t>(c.buffer.data(), c.buffer.size() - 1), scratch_, send);
        }
        break;
      case TransportKind::kBitmapFolder: {
        if (state != kOutputRunning) break;
        ++bitmapCounter_;
        EncodeBitmap(frame, scratch_);
        if (c.bitmaps) c.bitmaps->Post(bitmapCounter_, scratch_);  // a full queue drops the file
        break;
      }
      case TransportKind::kRecorderFile: {
        if (!c.transport || width <= 0 || height <= 0) break;
        EncodeRecorderFrame(frame, scratch_);
        const size_t column = static_cast<size_t>(height) * 3;
        for (size_t offset = 0; offset < scratch_.size(); offset += column) {
          c.transport->Send(std::span<const uint8_t>(scratch_.data() + offset, column));
        }
        break;
      }
    }
  }
  SendSyncLocked();
  if (socket_) socket_->Flush();
}

void Outputs::PlanSyncLocked() {
  artSyncVia_.clear();
  sacnSync_.clear();
  sacnSyncUniverse_ = 0;
  auto onNetwork = [](const Connection& c, int driver) {
    return c.info != nullptr && c.device.driver == driver && c.info->transport == TransportKind::kUdp &&
           !c.toFile && c.transport;
  };
  if (sync_.artSync) {
    // Port addresses (Net, Sub-Net, Universe) and destinations of the
    // Art-Net devices; a single universe needs no sync.
    std::vector<int> universes;
    std::vector<std::pair<std::string, int>> destinations;
    for (size_t i = 0; i < connections_.size(); ++i) {
      const Connection& c = connections_[i];
      if (!onNetwork(c, kDriverArtNet)) continue;
      const int portAddress = (c.device.driverParam & 0x7F) << 8 | (c.device.subnet & 0xF) << 4 | (c.device.universe & 0xF);
      if (std::find(universes.begin(), universes.end(), portAddress) == universes.end()) universes.push_back(portAddress);
      std::pair<std::string, int> destination{DestinationOf(c.device), c.device.port & 0xFFFF};
      if (std::find(destinations.begin(), destinations.end(), destination) != destinations.end()) continue;
      destinations.push_back(std::move(destination));
      artSyncVia_.push_back(i);
    }
    if (universes.size() < 2) artSyncVia_.clear();
  }
  if (sync_.sacnUniverse >= kSacnMinUniverse && sync_.sacnUniverse <= kSacnMaxUniverse) {
    std::vector<std::pair<std::string, int>> destinations;
    for (Connection& c : connections_) {
      if (!onNetwork(c, kDriverSacn)) continue;
      SetSacnSyncAddress(c.buffer, sync_.sacnUniverse);
      std::pair<std::string, int> destination{SacnSyncDestination(c.device, sync_.sacnUniverse), c.device.port & 0xFFFF};
      if (std::find(destinations.begin(), destinations.end(), destination) != destinations.end()) continue;
      sacnSync_.push_back({std::make_unique<UdpTransport>(*socket_, destination.first, destination.second), CidOf(c.device)});
      destinations.push_back(std::move(destination));
    }
    if (!sacnSync_.empty()) sacnSyncUniverse_ = sync_.sacnUniverse;
  }
  sacnSyncSequence_ = 0;
}

void Outputs::SendSyncLocked() {
  // UDP sends are never held back, so every frame that sent data packets
  // to these destinations gets its sync packets right behind them.
  for (const size_t i : artSyncVia_) connections_[i].transport->Send(kArtSyncPacket);
  if (sacnSync_.empty()) return;
  for (SacnSyncTarget& target : sacnSync_) {
    target.transport->Send(SacnSyncPacket(target.cid, sacnSyncSequence_, sacnSyncUniverse_));
  }
  ++sacnSyncSequence_;
}

void Outputs::CloseReleased(std::vector<Connection> connections) {
  for (size_t i = 0; i < connections.size(); ++i) {
    Connection& c = connections[i];
    uint64_t dropped = 0;
    if (c.bitmaps) {
      c.bitmaps->Finish();
      dropped = c.bitmaps->dropped();
    }
    if (c.file != nullptr && c.file->fault() == 0) dropped = c.file->dropped();  // a fault was said already
    if (dropped > 0) {
      console_.Print("Output %zu: %llu frames could not be written in time and were dropped.\n", i + 1,
                     static_cast<unsigned long long>(dropped));
    }
  }
  // Destroying them closes ports and files (after their queued writes).
}

std::vector<Outputs::Connection> Outputs::ReleaseLocked() {
  std::vector<Connection> released;
  released.swap(connections_);  // the UDP transports only borrow the socket, closed below
  faultWatch_.clear();
  limitWatch_.clear();
  limitStatus_.clear();
  artSyncVia_.clear();
  sacnSync_.clear();  // before the socket they borrow
  buffers_.clear();
  targets_.clear();
  plan_ = PatchPlan{};
  copyWith_.clear();
  budgetsScattered_.clear();
  anyScattered_ = false;
  planStale_.store(true);
  if (socket_) {
    socket_.reset();
    ++socketsClosed_;
  }
  return released;
}

}  // namespace quor
