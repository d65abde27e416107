#include "input/remote_control.h"

#include <string>

#include "output/own_address.h"
#include "platform/interruptible_wait.h"
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

RemoteControl::~RemoteControl() { CloseRemoteInput(); }

bool RemoteControl::OpenRemoteInput() {
  CloseRemoteInput();
  settings_ = configured_;
  switch (settings_.inputType) {
    case kRemoteTpm2:
      if (auto line = SerialLine::Open(settings_.PortName(), settings_.baudOrNet, SerialAccess::kRead)) {
        serial_ = std::move(*line);
        serialBuffer_ = std::make_unique<Tpm2StreamBuffer>();
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
  if (needsHandle && !serial_ && !socket_) return false;
  if (serial_ || socket_) {
    Result<std::unique_ptr<InterruptibleWait>> wait = InterruptibleWait::Create();
    if (!wait) {
      console_.Print("Remote input: %s\n", wait.failure().DialogText().c_str());
      serial_.reset(), socket_.reset(), serialBuffer_.reset();
      return false;
    }
    wait_ = std::move(*wait);
  }
  // Looked up once here rather than for each discovery poll: the lookup
  // asks the kernel.
  if (settings_.inputType == kRemoteArtNet) ownAddress_ = FindOwnIpv4Address();
  for (std::atomic<int>& value : last_) value.store(-1);
  stopping_.store(false);
  if (wait_) thread_ = std::thread([this] { Run(); });
  active_.store(true);
  return true;
}

void RemoteControl::CloseRemoteInput() {
  if (thread_.joinable()) {
    stopping_.store(true);
    wait_->Interrupt();
    thread_.join();
  }
  serial_.reset();
  socket_.reset();
  serialBuffer_.reset();
  wait_.reset();
  active_.store(false);
}

RemoteValues RemoteControl::LastValues() const {
  RemoteValues values{};
  for (size_t i = 0; i < values.size(); ++i) values[i] = last_[i].load();
  return values;
}

void RemoteControl::Run() {
  const int handle = serial_ ? serial_->WaitHandle() : socket_->WaitHandle();
  const int timeoutMs = handle < 0 ? kUnwaitableRemoteLookMs : kWaitForever;
  while (!stopping_.load()) {
    const WaitResult woke = wait_->Wait(handle, timeoutMs);
    if (woke == WaitResult::kInterrupted || (woke == WaitResult::kTimedOut && handle >= 0)) continue;
    if (woke == WaitResult::kFailed) {
      console_.Print("Remote input stopped: the system would not let it wait for input\n");
      return;
    }
    counters_.wakeUps.fetch_add(1, std::memory_order_relaxed);
    if (!serial_) {
      ReadDatagrams();
    } else if (!ReadSerial(woke == WaitResult::kHangUp)) {
      return;  // the line went away: the thread ends, the input stays open until closed
    }
  }
}

void RemoteControl::ReadDatagrams() {
  RemoteValues values = kNothingReceived;
  int taken = 0, frames = 0;
  std::array<uint8_t, kRemoteDatagramBytes> buffer;
  for (; taken < kMaxRemoteReadsPerWakeUp; ++taken) {
    const std::optional<size_t> got = socket_->Receive(buffer);
    if (!got) break;
    const std::span<const uint8_t> datagram(buffer.data(), *got);
    if (settings_.inputType == kRemoteTpm2Net) {
      frames += ParseTpm2NetDatagram(datagram, settings_.firstChannel, values) ? 1 : 0;
    } else {
      const ArtNetInputKind kind = ParseArtNetInput(datagram, settings_, values);
      frames += kind == ArtNetInputKind::kDmx ? 1 : 0;
      if (kind == ArtNetInputKind::kPoll) AnswerPoll();
    }
  }
  if (frames > 0) Apply(values);
  // Counted once acted on, so a reader that sees the count sees the effect.
  counters_.frames.fetch_add(frames);
  counters_.received.fetch_add(taken);
}

bool RemoteControl::ReadSerial(bool hungUp) {
  RemoteValues values = kNothingReceived;
  std::array<uint8_t, kRemoteDatagramBytes> chunk;
  std::optional<Failure> failed;
  int taken = 0;
  for (; taken < kMaxRemoteReadsPerWakeUp; ++taken) {
    Result<size_t> got = serial_->Read(chunk);
    if (!got) {
      failed = got.failure();
      break;
    }
    if (*got == 0) break;
    serialBuffer_->Append(std::span<const uint8_t>(chunk.data(), *got), settings_.firstChannel, values);
  }
  // What came before the line went away still counts.
  if (values != kNothingReceived) Apply(values);
  counters_.received.fetch_add(taken);
  if (!failed && !hungUp) return true;
  // Said once: the line is not read again, so it cannot keep the thread busy.
  const std::string reason = failed ? failed->message : std::string("the line hung up");
  console_.Print("Remote input stopped reading %s: %s. Check the cable and the device, then open the remote input "
                 "again.\n",
                 serial_->path().c_str(), reason.c_str());
  return false;
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
  counters_.applied.fetch_add(1, std::memory_order_relaxed);
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
