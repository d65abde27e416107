#include "engine/remote_control.h"

#include "output/own_address.h"
#include "platform/serial_line.h"
#include "platform/udp_socket.h"
#include "show/show.h"

namespace quor {
namespace {

// A UDP socket for the input: non-blocking, broadcast and address reuse on,
// bound to every local address at `port`. nullptr on failure.
std::unique_ptr<DatagramSocket> OpenInputSocket(int port) {
  if (port < 1 || port > 65535) return nullptr;
  Result<std::unique_ptr<UdpSocket>> socket = UdpSocket::OpenListening(port);
  if (!socket || (*socket)->bindFailure()) return nullptr;
  return std::move(*socket);
}

}  // namespace

RemoteControl::RemoteControl(Engine& engine, Show& show) : engine_(engine), show_(show) {
  for (std::atomic<int>& value : last_) value.store(-1);
}

// The clock is gone by now (it is the engine's first member to go).
RemoteControl::~RemoteControl() = default;

bool RemoteControl::OpenRemoteInput() {
  if (engine_.flags().remoteInputActive.load() == 1) CloseRemoteInput();
  settings_ = engine_.remoteInputSettings();
  serialBuffer_ = std::make_unique<Tpm2StreamBuffer>();
  switch (settings_.inputType) {
    case kRemoteTpm2:
      if (auto line = SerialLine::Open(settings_.PortName(), settings_.baudOrNet, SerialAccess::kRead)) {
        serial_ = std::move(*line);
      }
      break;
    case kRemoteTpm2Net:
    case kRemoteArtNet:
      socket_ = OpenInputSocket(settings_.listenPort);
      break;
    default:
      break;  // nothing to open
  }
  const bool needsHandle = settings_.inputType >= kRemoteTpm2 && settings_.inputType <= kRemoteArtNet;
  if (needsHandle && !serial_ && !socket_) {
    serialBuffer_.reset();
    return false;
  }
  // Looked up here rather than in the pass: the lookup asks the kernel.
  if (settings_.inputType == kRemoteArtNet) ownAddress_ = FindOwnIpv4Address();
  for (std::atomic<int>& value : last_) value.store(-1);
  engine_.flags().remoteInputActive.store(1);
  return true;
}

void RemoteControl::CloseRemoteInput() {
  if (engine_.flags().remoteInputActive.load() != 1) return;
  engine_.flags().remoteInputActive.store(0);
  // A pass that saw the flag still set may be reading: wait for it.
  engine_.WithTickLock([this] {
    serial_.reset();
    socket_.reset();
    serialBuffer_.reset();
  });
}

RemoteValues RemoteControl::LastValues() const {
  RemoteValues values{};
  for (size_t i = 0; i < values.size(); ++i) values[i] = last_[i].load();
  return values;
}

void RemoteControl::PollRemoteInput() {
  if (!serial_ && !socket_) return;
  if (settings_.inputType == kRemoteTpm2) {
    PollSerial();
  } else {
    PollDatagrams();
  }
}

void RemoteControl::PollDatagrams() {
  RemoteValues values = kNothingReceived;
  bool any = false;
  std::array<uint8_t, kRemoteDatagramBytes> buffer;
  for (int n = 0; n < kMaxRemoteReadsPerPass; ++n) {
    const std::optional<size_t> got = socket_->Receive(buffer);
    if (!got) break;
    counters_.received.fetch_add(1, std::memory_order_relaxed);
    const std::span<const uint8_t> datagram(buffer.data(), *got);
    bool frame = false;
    if (settings_.inputType == kRemoteTpm2Net) {
      frame = ParseTpm2NetDatagram(datagram, settings_.firstChannel, values);
    } else {
      const ArtNetInputKind kind = ParseArtNetInput(datagram, settings_, values);
      frame = kind == ArtNetInputKind::kDmx;
      if (kind == ArtNetInputKind::kPoll) AnswerPoll();
    }
    if (frame) counters_.frames.fetch_add(1, std::memory_order_relaxed);
    any = any || frame;
  }
  if (any) Apply(values);
}

void RemoteControl::PollSerial() {
  RemoteValues values = kNothingReceived;
  std::array<uint8_t, kRemoteDatagramBytes> chunk;
  for (int n = 0; n < kMaxRemoteReadsPerPass; ++n) {
    const Result<size_t> got = serial_->Read(chunk);
    if (!got || *got == 0) break;
    counters_.received.fetch_add(1, std::memory_order_relaxed);
    serialBuffer_->Append(std::span<const uint8_t>(chunk.data(), *got), settings_.firstChannel, values);
  }
  if (values != kNothingReceived) Apply(values);
}

void RemoteControl::AnswerPoll() {
  counters_.polls.fetch_add(1, std::memory_order_relaxed);
  Console& console = engine_.console();
  console.Write("received artnet discover (artpoll)\n");
  console.Print("found own IP: %d %d %d %d\n", ownAddress_[0], ownAddress_[1], ownAddress_[2], ownAddress_[3]);
  const std::array<uint8_t, kArtPollReplyBytes> reply = BuildRemoteArtPollReply(ownAddress_, settings_);
  // Non-blocking: a reply the system cannot take at once is lost, like any
  // datagram.
  socket_->SendTo(Ipv4Endpoint::Broadcast(kArtNetPort), reply);
}

void RemoteControl::Apply(const RemoteValues& received) {
  counters_.passes.fetch_add(1, std::memory_order_relaxed);
  const bool limit = settings_.limitTo32 == 1;
  RemoteValues value = received;
  value[kRemoteScene] = MapSceneOrChaseValue(received[kRemoteScene], limit);
  value[kRemoteChase] = MapSceneOrChaseValue(received[kRemoteChase], limit);
  RemoteValues last = LastValues();
  auto acted = [this](int channel, int v) {
    if (hooks_.acted) hooks_.acted(channel, v);
  };

  // Chase and scene are carried out on the UI thread, which owns the
  // stores and the chase list; the bounds are checked there.
  const int chase = value[kRemoteChase];
  const int scene = value[kRemoteScene];
  // Within one frame the chase comes first (a scene then stops it); a
  // scene still waiting from an earlier frame goes before a new chase.
  bool requested = false;
  if (chase > 0 && chase != last[kRemoteChase]) {
    sceneBeforeChase_.store(pendingScene_.load() != 0);
    pendingChase_.store(chase);
    requested = true;
  }
  if (scene > 0 && scene != last[kRemoteScene]) {
    sceneBeforeChase_.store(false);
    pendingScene_.store(scene);
    requested = true;
  }

  const int master = value[kRemoteMaster];
  if (master >= 0 && master != last[kRemoteMaster]) {
    engine_.SetMasterLevel(master);
    acted(kRemoteMaster, master);
  }

  const int strobe = value[kRemoteStrobe];
  if (strobe == 0 && last[kRemoteStrobe] != 0) {
    engine_.SetStrobe(false);
    acted(kRemoteStrobe, 0);
  } else if (strobe >= 1 && strobe != last[kRemoteStrobe]) {
    // A running strobe keeps its phase; only a stopped one starts.
    if (engine_.settings().strobeCounter.load() < 0) engine_.SetStrobe(true);
    engine_.SetStrobeTime(StrobeTimeForValue(strobe));
    acted(kRemoteStrobe, strobe);
  }

  for (size_t i = 0; i < value.size(); ++i) {
    if (value[i] != -1) last_[i].store(value[i]);
  }
  if (requested) engine_.WakeMainThread();
}

void RemoteControl::CarryOutRequests() {
  const bool sceneFirst = sceneBeforeChase_.load();
  const int chase = pendingChase_.exchange(0);
  const int scene = pendingScene_.exchange(0);
  auto startChase = [this, chase] {
    if (chase <= 0 || chase > show_.chases().count()) return;
    // As a double click in the chase window (selected, "Play" pressed), but
    // the remote input prints no line of its own.
    show_.chaseList().StartAt(chase - 1);
    if (hooks_.acted) hooks_.acted(kRemoteChase, chase);
  };
  if (!sceneFirst) startChase();
  if (scene > 0 && scene <= show_.scenes().count()) {
    show_.sceneList().ShowSelection(scene - 1);
    show_.player().RequestChaseStop();
    engine_.RequestSceneRecall(scene - 1);
    if (hooks_.acted) hooks_.acted(kRemoteScene, scene);
  }
  if (sceneFirst) startChase();
}

}  // namespace quor
