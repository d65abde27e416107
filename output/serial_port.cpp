#include "output/serial_port.h"

// termios2 (for arbitrary baud rates) comes from the kernel headers, which
// cannot be combined with <termios.h>; this file uses only the former.
#include <asm/termbits.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>

#include "core/named_file.h"

namespace quor {

std::string SerialPort::PathFor(std::string_view name) {
  if (!name.empty() && name.front() == '/') return std::string(name);
  return "/dev/" + std::string(name);
}

std::string SerialOpenFailure(int error) {
  switch (error) {
    case ENOENT:
    case ENODEV:
    case ENXIO:
      return kSerialPortMissing;
    case EBUSY:
      return kSerialPortInUse;
    case EACCES:
    case EPERM:
      return kSerialPortNoPermission;
    default:
      return std::string("cannot open port: ") + std::strerror(error);
  }
}

int OpenRawSerial(std::string_view name, int baudRate, int access, std::string* error, int* errorNumber) {
  // `code` is read before the clean-up below can change errno.
  auto fail = [error, errorNumber](const std::string& why, int fd, int code = errno) {
    if (error) *error = why;
    if (errorNumber) *errorNumber = code;
    if (fd >= 0) {
      ::ioctl(fd, TIOCNXCL);
      ::close(fd);
    }
    return -1;
  };
  if (name.empty()) return fail("no port name", -1, EINVAL);
  if (baudRate < 1) return fail("invalid baud rate", -1, EINVAL);
  const std::string path = SerialPort::PathFor(name);
  const NamedFileUse use = access == O_RDONLY   ? NamedFileUse::kSerialDeviceRead
                           : access == O_WRONLY ? NamedFileUse::kSerialDeviceWrite
                                                : NamedFileUse::kSerialDeviceReadWrite;
  const NamedFile port = OpenNamedFile(path, use);
  if (!port.ok()) {
    return fail(port.errorNumber != 0 ? SerialOpenFailure(port.errorNumber) : path + " " + port.reason, -1,
                port.errorNumber);
  }
  const int fd = port.fd;
  // One user per port: a second program (or device entry) fails here.
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) return fail(kSerialPortInUse, fd);
  // Programs that do not lock are kept out too while the port is ours; the
  // flag is taken back on close.
  ::ioctl(fd, TIOCEXCL);

  struct termios2 settings {};
  if (::ioctl(fd, TCGETS2, &settings) != 0) return fail("cannot read port settings", fd);
  // Raw bytes: no output post-processing (a 0x0A must not become 0D 0A), no
  // flow-control characters, no echo; modem lines do not hold writes back.
  settings.c_iflag &= ~static_cast<tcflag_t>(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON | IXOFF);
  settings.c_oflag &= ~static_cast<tcflag_t>(OPOST);
  settings.c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
  // 8 data bits, no parity, one stop bit, the exact baud rate.
  settings.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | CSTOPB | CBAUD | (CBAUD << IBSHIFT));
  settings.c_cflag |= CS8 | CLOCAL | CREAD | BOTHER | (BOTHER << IBSHIFT);
  settings.c_ospeed = static_cast<speed_t>(baudRate);
  settings.c_ispeed = static_cast<speed_t>(baudRate);
  // Reads return at once.
  settings.c_cc[VMIN] = 0;
  settings.c_cc[VTIME] = 0;
  if (::ioctl(fd, TCSETS2, &settings) != 0) return fail("cannot write port settings", fd);
  return fd;
}

std::unique_ptr<SerialPort> SerialPort::Open(std::string_view name, int baudRate, std::string* error,
                                             int* errorNumber) {
  const int fd = OpenRawSerial(name, baudRate, O_WRONLY, error, errorNumber);
  if (fd < 0) return nullptr;
  return std::unique_ptr<SerialPort>(new SerialPort(fd));
}

void CloseRawSerial(int fd) {
  if (fd < 0) return;
  // The exclusive flag belongs to the terminal, not to this descriptor: left
  // set, it would outlive us wherever another descriptor keeps the terminal
  // open, and every later open by an ordinary user would fail with EBUSY.
  ::ioctl(fd, TIOCNXCL);
  ::close(fd);
}

SerialPort::~SerialPort() { CloseRawSerial(fd_); }

bool SerialPort::ReadyForFrame() {
  if (fault_.load() != 0) return false;  // the port is gone: nothing more is sent
  if (pendingBegin_ < pendingEnd_) {
    // The previous frame is finished before a new one is taken.
    PushRest();
    return false;
  }
  int queued = 0;
  if (::ioctl(fd_, TIOCOUTQ, &queued) == 0 && queued > 0) return false;
  return true;
}

void SerialPort::Send(std::span<const uint8_t> bytes) {
  if (fault_.load() != 0) return;
  writeCopy_.assign(bytes.begin(), bytes.end());
  pendingBegin_ = 0;
  pendingEnd_ = writeCopy_.size();
  PushRest();
}

void SerialPort::PushRest() {
  while (pendingBegin_ < pendingEnd_) {
    const ssize_t n = ::write(fd_, writeCopy_.data() + pendingBegin_, pendingEnd_ - pendingBegin_);
    if (n > 0) {
      pendingBegin_ += static_cast<size_t>(n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return;
    // The port failed (unplugged, hung up): it stays failed, since the
    // device that comes back is a new one.
    fault_.store(n < 0 ? errno : EIO);
    pendingBegin_ = pendingEnd_ = 0;
    return;
  }
  pendingBegin_ = pendingEnd_ = 0;
}

std::vector<std::string> ListSerialPorts(const std::string& classDir) {
  std::vector<std::string> ports;
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(classDir, error)) {
    std::error_code missing;
    if (std::filesystem::exists(entry.path() / "device" / "driver", missing)) {
      ports.push_back(entry.path().filename().string());
    }
  }
  std::sort(ports.begin(), ports.end());
  return ports;
}

int ReadSerialBaudRate(int fd) {
  struct termios2 settings {};
  if (::ioctl(fd, TCGETS2, &settings) != 0) return -1;
  return static_cast<int>(settings.c_ospeed);
}

}  // namespace quor
