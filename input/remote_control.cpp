#include "input/remote_control.h"

#include "output/own_address.h"
#include "platform/serial_line.h"
#include "platform/udp_socket.h"

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

RemoteControl::RemoteControl(ControlSurface& controls, Console& console, const RemoteInputSettings& settings,
                             std::atomic<bool>& active)
    : controls_(controls), console_(console), configured_(settings), active_(active) {
  for (std::atomic<int>& value : last_) value.store(-1);
}

// No pass runs any more: the owner stops the clock before it drops the input.
RemoteControl::~RemoteControl() = default;

bool RemoteControl::OpenRemoteInput() {
  if (active_.load()) CloseRemoteInput();
  // A pass that saw the flag set before the close may still come: it finds
  // the lock held, or the handle and the copy complete.
  const std::lock_guard<std::mutex> lock(handleLock_);
  settings_ = configured_;
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
  active_.store(true);
  return true;
}

void RemoteControl::CloseRemoteInput() {
  if (!active_.load()) return;
  active_.store(false);
  // A pass that saw the flag still set may be reading: wait for it. The UI
  // thread waits here, never the clock.
  {
    const std::lock_guard<std::mutex> lock(handleLock_);
    serial_.reset();
    socket_.reset();
    serialBuffer_.reset();
  }
}

RemoteValues RemoteControl::LastValues() const {
  RemoteValues values{};
  for (size_t i = 0; i < values.size(); ++i) values[i] = last_[i].load();
  return values;
}

void RemoteControl::PollRemoteInput() {
  // The UI thread is opening or closing the input: skip this pass rather
  // than wait.
  const std::unique_lock<std::mutex> lock(handleLock_, std::try_to_lock);
  if (!lock.owns_lock()) return;
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
  Console& console = console_;
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
  const RemoteValues last = LastValues();

  // A changed chase or scene number is a press of that chase's or scene's
  // trigger; the chase first, so a scene in the same frame stops it. The
  // control surface carries both out on the main thread, which owns the show.
  const int chase = value[kRemoteChase];
  if (chase > 0 && chase != last[kRemoteChase]) controls_.SetControl({ControlId::kChasePlay, chase - 1}, 1);
  const int scene = value[kRemoteScene];
  if (scene > 0 && scene != last[kRemoteScene]) controls_.SetControl({ControlId::kSceneRecall, scene - 1}, 1);

  const int master = value[kRemoteMaster];
  if (master >= 0 && master != last[kRemoteMaster]) controls_.SetControl({ControlId::kMasterLevel}, master);

  const int strobe = value[kRemoteStrobe];
  if (strobe == 0 && last[kRemoteStrobe] != 0) {
    controls_.SetControl({ControlId::kStrobe}, 0);
  } else if (strobe >= 1 && strobe != last[kRemoteStrobe]) {
    // A running strobe keeps its phase; only a stopped one starts.
    controls_.SetControl({ControlId::kStrobe}, 1);
    controls_.SetControl({ControlId::kStrobeTime}, StrobeTimeForValue(strobe));
  }

  for (size_t i = 0; i < value.size(); ++i) {
    if (value[i] != -1) last_[i].store(value[i]);
  }
}

}  // namespace quor
