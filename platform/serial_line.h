// A serial line ("/dev/NAME"): opened exclusive (flock and the terminal's
// exclusive flag) and non-blocking, raw 8N1 at any baud rate (250000,
// 1000000 and the like, through termios2/BOTHER), reads that return at
// once, writes that never wait, and the count of bytes still in the
// output queue (TIOCOUTQ). Also the list of the system's serial ports.
// One thread at a time per line.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/failure.h"
#include "platform/file_handle.h"

namespace quor {

// Why a port could not be opened, as SerialLine::Open reports it.
inline constexpr const char* kSerialPortMissing = "port does not exist";
inline constexpr const char* kSerialPortInUse = "port in use";
inline constexpr const char* kSerialPortNoPermission =
    "permission denied: the user must be in the dialout group (then log in again)";

// The reason for an open() that failed with `error` (an errno value).
std::string SerialOpenFailure(int error);
// "/dev/NAME" for a port name such as "ttyUSB0"; an absolute path as it is.
std::string SerialPortPath(std::string_view name);

enum class SerialAccess { kRead, kWrite, kReadWrite };

class SerialLine {
 public:
  // Opens `name` (a port name or an absolute path) at `baudRate`. The
  // failure names the path, says why (kSerialPortMissing, kSerialPortInUse,
  // kSerialPortNoPermission, "invalid baud rate", "cannot read port
  // settings", ...) and holds the errno of the call that failed (EINVAL for
  // a missing name or a bad baud rate). The port is exclusive while open and
  // free for anyone again once closed.
  static Result<std::unique_ptr<SerialLine>> Open(std::string_view name, int baudRate, SerialAccess access);
  ~SerialLine();
  SerialLine(const SerialLine&) = delete;
  SerialLine& operator=(const SerialLine&) = delete;

  // Writes what the port takes now: how many bytes it took (0 when it would
  // have to wait), or the failure when the port failed (unplugged, hung up).
  Result<size_t> Write(std::span<const uint8_t> bytes);
  // Reads what has arrived, at most buffer.size() bytes: how many (0 when
  // nothing is waiting), or the failure of the read.
  Result<size_t> Read(std::span<uint8_t> buffer);
  // Bytes written but not yet sent by the port; 0 when the system cannot tell.
  size_t QueuedOutputBytes() const;
  // The descriptor an InterruptibleWait (platform/interruptible_wait.h)
  // waits on for the next bytes or a hang-up.
  int WaitHandle() const { return file_.descriptor(); }
  const std::string& path() const { return file_.path(); }

 private:
  explicit SerialLine(FileHandle file) : file_(std::move(file)) {}
  FileHandle file_;
};

// The output baud rate the terminal behind the descriptor `fd` is set to,
// or -1 when it is not a terminal.
int ReadSerialBaudRate(int fd);

// The serial ports of this system, by name ("ttyUSB0"): the entries of
// `classDir` (normally /sys/class/tty) that are backed by a device driver,
// sorted by name. Virtual terminals and other driverless entries are left
// out.
std::vector<std::string> ListSerialPorts(const std::string& classDir = "/sys/class/tty");

}  // namespace quor
