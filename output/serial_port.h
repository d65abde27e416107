// A serial port opened for sending frames: exclusive, non-blocking, raw
// 8N1 at any baud rate (250000, 1000000 and the like included). A frame is
// written without waiting; what the port does not take at once is kept in
// the port's write copy and pushed on before the next frame is accepted, so
// a busy port drops frames instead of delaying the sender. A port whose
// write fails (the cable pulled, the device gone) sends nothing more and
// keeps the reason in fault(). UI thread opens and closes; the sending
// thread sends.
#pragma once

#include <atomic>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "output/transport.h"

namespace quor {

// Why a port could not be opened, as Open reports it.
inline constexpr const char* kSerialPortMissing = "port does not exist";
inline constexpr const char* kSerialPortInUse = "port in use";
inline constexpr const char* kSerialPortNoPermission =
    "permission denied: the user must be in the dialout group (then log in again)";

// The reason for an open() that failed with `error` (an errno value).
std::string SerialOpenFailure(int error);

class SerialPort : public Transport {
 public:
  // `name` is a port name such as "ttyUSB0" (under /dev) or an absolute
  // path. nullptr when the port does not exist, is in use, may not be
  // opened by this user, is not a terminal device (a FIFO or a plain file
  // is refused without waiting), or refuses the settings;
  // `error` then says why and `errorNumber` holds the errno of the call that
  // failed (EINVAL for a missing name or a bad baud rate). The port is
  // exclusive while open and free for anyone again once closed.
  static std::unique_ptr<SerialPort> Open(std::string_view name, int baudRate, std::string* error = nullptr,
                                          int* errorNumber = nullptr);
  ~SerialPort() override;

  bool ReadyForFrame() override;
  void Send(std::span<const uint8_t> bytes) override;
  int fault() const override { return fault_.load(); }
  // Bytes of the last frame not yet taken by the port.
  size_t PendingBytes() const { return pendingEnd_ - pendingBegin_; }

  static std::string PathFor(std::string_view name);

 private:
  explicit SerialPort(int fd) : fd_(fd) {}
  void PushRest();

  int fd_;
  std::atomic<int> fault_{0};
  std::vector<uint8_t> writeCopy_;
  size_t pendingBegin_ = 0;
  size_t pendingEnd_ = 0;
};

// Opens `name` raw 8N1 at `baudRate`, exclusive and non-blocking, with
// reads that return at once; `access` is O_RDONLY, O_WRONLY or O_RDWR.
// Returns the descriptor, or -1 with `error` saying why and `errorNumber`
// holding the errno.
int OpenRawSerial(std::string_view name, int baudRate, int access, std::string* error = nullptr,
                  int* errorNumber = nullptr);
// Gives the terminal's exclusive flag back and closes a descriptor from
// OpenRawSerial (any other descriptor is just closed).
void CloseRawSerial(int fd);

// The serial ports of this system, by name ("ttyUSB0"): the entries of
// `classDir` (normally /sys/class/tty) that are backed by a device driver,
// sorted by name. Virtual terminals and other driverless entries are left
// out. Read once at start-up by the caller.
std::vector<std::string> ListSerialPorts(const std::string& classDir = "/sys/class/tty");

// The output baud rate the terminal behind `fd` is set to, or -1 when it is
// not a terminal.
int ReadSerialBaudRate(int fd);

}  // namespace quor
