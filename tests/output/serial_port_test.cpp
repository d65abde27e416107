// Serial output through pseudo-terminal pairs: the program writes the terminal side, the test reads the controller.
#include "output/serial_port.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "output/outputs.h"
#include "test_support.h"

namespace quor {
namespace {

class PseudoTerminal {
 public:
  PseudoTerminal() {
    char name[128] = {};
    if (::openpty(&controller_, &terminal_, name, nullptr, nullptr) == 0) path = name;
    ::fcntl(controller_, F_SETFL, O_NONBLOCK);
  }
  ~PseudoTerminal() { ::close(controller_), ::close(terminal_); }
  int terminalFd() const { return terminal_; }
  // The controller goes away, as when a USB adapter is pulled: writes to the terminal side fail from now on.
  void HangUp() { ::close(controller_), controller_ = -1; }
  std::vector<uint8_t> Read(size_t count, int quietMs = 1000) {
    std::vector<uint8_t> got;
    uint8_t chunk[4096];
    for (pollfd p{controller_, POLLIN, 0}; got.size() < count && ::poll(&p, 1, quietMs) == 1;) {
      const ssize_t n = ::read(controller_, chunk, std::min(sizeof chunk, count - got.size()));
      if (n <= 0) break;
      got.insert(got.end(), chunk, chunk + n);
    }
    return got;
  }
  std::string path;

 private:
  int controller_ = -1, terminal_ = -1;
};

// Outputs over a patch of `width` x 1 whose black-frame pauses take no time.
struct SerialOutputs {
  explicit SerialOutputs(int width) : patch(width, 1) {}
  Console console;
  std::atomic<OutputStateValue> state{kOutputStopped};
  PatchTable patch;
  Outputs outputs{console, state, patch, OutputsOptions{[](std::chrono::milliseconds) {}}};
};

TEST(SerialPort, SendsRawFramesAtAnyBaudRate) {
  PseudoTerminal miniDmx, glediator;
  ASSERT_TRUE(!miniDmx.path.empty() && miniDmx.path.size() < kDeviceAddressChars) << miniDmx.path;
  SerialOutputs rig(2);
  Outputs& outputs = rig.outputs;
  for (auto [driver, channels, baud, path] : {std::tuple{kDriverMiniDmx, 96, 1000000, miniDmx.path},
                                              {kDriverGlediator, 3, 250000, glediator.path}}) {
    OutputDevice d;
    d.driver = driver, d.channels = channels, d.driverParam = baud;
    d.SetAddress(path);
    const int i = outputs.devices().Add(d);
    rig.patch.At(i, 0) = PatchEntry{i, 0, 1, 2};
  }
  ASSERT_EQ(outputs.OpenOutputs(), std::nullopt);
  EXPECT_EQ(std::make_pair(ReadSerialBaudRate(miniDmx.terminalFd()), ReadSerialBaudRate(glediator.terminalFd())),
            std::make_pair(1000000, 250000));
  const uint8_t frame[6] = {0x0A, 0x0D, 0x11, 1, 0x0A, 0x13};  // 0x0A and 0x0D pass untranslated
  outputs.SendFrame({frame, 2, 1});
  std::vector<uint8_t> expected = {0x5A, 0xA0, 0x0A, 0x0D, 0x11};  // start, type, 96 channels, end
  expected.resize(98, 0), expected.push_back(0xA5);
  EXPECT_EQ(miniDmx.Read(99), expected);
  EXPECT_EQ(glediator.Read(4), (std::vector<uint8_t>{0x01, 0x02, 0x0A, 0x13}));

  outputs.CloseOutputs();  // two black frames
  EXPECT_EQ(glediator.Read(8), (std::vector<uint8_t>{1, 0, 0, 0, 1, 0, 0, 0}));
  EXPECT_EQ(miniDmx.Read(198).size(), 198u);
}

TEST(SerialPort, BusyPortDropsFramesButFinishesTheOneUnderWay) {
  PseudoTerminal pty;
  Result<std::unique_ptr<SerialPort>> opened = SerialPort::Open(pty.path, 1250000);
  ASSERT_TRUE(opened.ok());
  std::unique_ptr<SerialPort> port = std::move(*opened);
  std::vector<uint8_t> first(60000);  // far larger than the terminal's buffers
  for (size_t i = 0; i < first.size(); ++i) first[i] = static_cast<uint8_t>(i * 13);
  ASSERT_TRUE(port->ReadyForFrame());
  port->Send(first);
  EXPECT_TRUE(port->PendingBytes() > 0 && !port->ReadyForFrame());  // the next frame is dropped
  // The rest of the first frame goes out before anything new is accepted.
  std::vector<uint8_t> all;
  for (int i = 0; i < 500 && !port->ReadyForFrame(); ++i) {
    const std::vector<uint8_t> got = pty.Read(SIZE_MAX, 20);
    all.insert(all.end(), got.begin(), got.end());
  }
  ASSERT_TRUE(port->ReadyForFrame());
  const std::vector<uint8_t> last = {0xC9, 0x42, 0x36};
  port->Send(last);
  first.insert(first.end(), last.begin(), last.end());
  const std::vector<uint8_t> rest = pty.Read(first.size() - all.size());
  all.insert(all.end(), rest.begin(), rest.end());
  EXPECT_EQ(all, first);
}

// The lines `body` reports in a child process as an ordinary user (nobody when run as root, who skips the checks).
template <typename Body>
std::string AsOrdinaryUser(Body body) {
  int fds[2];
  if (::pipe(fds) != 0) return "no pipe";
  const pid_t child = ::fork();
  if (child == 0) {
    ::close(fds[0]);
    if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0)) ::_exit(1);
    const std::string lines = body();
    (void)!::write(fds[1], lines.data(), lines.size());
    ::_exit(0);
  }
  ::close(fds[1]);
  std::string lines;
  char buffer[1024];
  for (ssize_t n; (n = ::read(fds[0], buffer, sizeof buffer)) > 0;) lines.append(buffer, static_cast<size_t>(n));
  ::close(fds[0]);
  int status = 0;
  ::waitpid(child, &status, 0);
  return lines;
}

std::string TryOpen(const std::string& path, std::unique_ptr<SerialPort>* keep = nullptr) {
  Result<std::unique_ptr<SerialPort>> port = SerialPort::Open(path, 115200);
  if (!port) return port.failure().message;
  if (keep) *keep = std::move(*port);
  return "open";
}

TEST(SerialPort, SaysWhyAPortCannotBeOpenedAndFreesItOnClose) {
  PseudoTerminal mine, foreign;
  ASSERT_FALSE(mine.path.empty());
  // The ordinary user owns `mine`; `foreign` stays the test's own.
  if (::geteuid() == 0) {
    ASSERT_EQ(::chown(mine.path.c_str(), 65534, 65534), 0);
  } else {
    ASSERT_EQ(::chmod(foreign.path.c_str(), 0), 0);
  }
  const std::string lines = AsOrdinaryUser([&] {
    std::unique_ptr<SerialPort> first;
    std::string out = TryOpen(mine.path, &first) + "\n";
    out += TryOpen(mine.path) + "\n";  // the second writer
    first.reset();
    for (const std::string& path : {mine.path, mine.path, foreign.path, std::string("quor-no-such-port"), std::string("/dev/null")}) {
      out += TryOpen(path) + "\n";  // free again, and again; the others
    }
    return out;
  });
  EXPECT_EQ(lines, std::string("open\n") + kSerialPortInUse + "\nopen\nopen\n" + kSerialPortNoPermission + "\n" +
                       kSerialPortMissing + "\ncannot read port settings\n");
  const Result<std::unique_ptr<SerialPort>> badRate = SerialPort::Open(mine.path, 0);
  ASSERT_FALSE(badRate.ok());
  EXPECT_EQ(badRate.failure().message, "invalid baud rate");
  EXPECT_EQ(SerialPort::PathFor("ttyUSB0"), "/dev/ttyUSB0");
}

TEST(SerialPort, APulledCableStopsThePortAndIsSaidOnce) {
  PseudoTerminal pty;
  SerialOutputs rig(1);
  Outputs& outputs = rig.outputs;
  test::ConsoleCapture capture(rig.console);
  OutputDevice d;
  d.driver = kDriverTpm2, d.channels = 3, d.driverParam = 115200;
  d.SetAddress(pty.path);
  outputs.devices().Add(d);
  ASSERT_EQ(outputs.OpenOutputs(), std::nullopt);
  const uint8_t frame[3] = {1, 2, 3};
  outputs.SendFrame({frame, 1, 1});
  EXPECT_EQ(pty.Read(8).size(), 8u);
  EXPECT_TRUE(outputs.TakeFaults().empty());
  pty.HangUp();
  for (int i = 0; i < 3; ++i) outputs.SendFrame({frame, 1, 1});
  const std::string says = "Output 1 stopped sending to " + pty.path +
                           ": Input/output error. Check the cable and the device, then start the output again.";
  EXPECT_EQ(outputs.TakeFaults(), (std::vector<Failure>{{pty.path, EIO, says}}));
  outputs.SendFrame({frame, 1, 1});
  EXPECT_TRUE(outputs.TakeFaults().empty());
  EXPECT_EQ(capture.Count(says + "\n"), 1);
  EXPECT_EQ(rig.state.load(), kOutputRunning);  // the other devices go on
}

}  // namespace
}  // namespace quor
