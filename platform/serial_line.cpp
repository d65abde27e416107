#include "platform/serial_line.h"

// termios2 (for arbitrary baud rates) comes from the kernel headers, which
// cannot be combined with <termios.h>; this file uses only the former.
#include <asm/termbits.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>

namespace quor {
namespace {

// Gives the terminal's exclusive flag back. The flag belongs to the
// terminal, not to a descriptor: left set, it would outlive us wherever
// another descriptor keeps the terminal open, and every later open by an
// ordinary user would fail with EBUSY.
void ReleaseExclusive(const FileHandle& file) {
  if (file.valid()) ::ioctl(file.descriptor(), TIOCNXCL);
}

}  // namespace

std::string SerialPortPath(std::string_view name) {
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

Result<std::unique_ptr<SerialLine>> SerialLine::Open(std::string_view name, int baudRate, SerialAccess access) {
  const std::string path = SerialPortPath(name);
  if (name.empty()) return Failure{path, EINVAL, "no port name"};
  if (baudRate < 1) return Failure{path, EINVAL, "invalid baud rate"};
  const FileUse use = access == SerialAccess::kRead    ? FileUse::kSerialDeviceRead
                      : access == SerialAccess::kWrite ? FileUse::kSerialDeviceWrite
                                                       : FileUse::kSerialDeviceReadWrite;
  Result<FileHandle> opened = FileHandle::Open(path, use);
  if (!opened) {
    const Failure& why = opened.failure();
    return Failure{path, why.errorNumber,
                   why.errorNumber != 0 ? SerialOpenFailure(why.errorNumber) : path + " " + why.message};
  }
  std::unique_ptr<SerialLine> line(new SerialLine(std::move(*opened)));
  const int fd = line->file_.descriptor();
  // `code` is read before the clean-up (the line's destructor) can change errno.
  auto fail = [&path](const std::string& why, int code = errno) { return Failure{path, code, why}; };
  // One user per port: a second program (or device entry) fails here.
  if (std::optional<Failure> locked = line->file_.LockExclusive()) return fail(kSerialPortInUse, locked->errorNumber);
  // Programs that do not lock are kept out too while the port is ours; the
  // flag is taken back on close.
  ::ioctl(fd, TIOCEXCL);

  struct termios2 settings {};
  if (::ioctl(fd, TCGETS2, &settings) != 0) return fail("cannot read port settings");
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
  if (::ioctl(fd, TCSETS2, &settings) != 0) return fail("cannot write port settings");
  return line;
}

SerialLine::~SerialLine() { ReleaseExclusive(file_); }

Result<size_t> SerialLine::Write(std::span<const uint8_t> bytes) {
  for (;;) {
    const ssize_t n = ::write(file_.descriptor(), bytes.data(), bytes.size());
    if (n > 0) return static_cast<size_t>(n);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return size_t{0};
    return Failure{file_.path(), n < 0 ? errno : EIO, "the port failed"};
  }
}

Result<size_t> SerialLine::Read(std::span<uint8_t> buffer) {
  const ssize_t n = ::read(file_.descriptor(), buffer.data(), buffer.size());
  if (n >= 0) return static_cast<size_t>(n);
  if (errno == EAGAIN || errno == EWOULDBLOCK) return size_t{0};
  return SystemFailure(file_.path(), errno);
}

size_t SerialLine::QueuedOutputBytes() const {
  int queued = 0;
  if (::ioctl(file_.descriptor(), TIOCOUTQ, &queued) != 0 || queued < 0) return 0;
  return static_cast<size_t>(queued);
}

int ReadSerialBaudRate(int fd) {
  struct termios2 settings {};
  if (::ioctl(fd, TCGETS2, &settings) != 0) return -1;
  return static_cast<int>(settings.c_ospeed);
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

}  // namespace quor
