// A serial port opened for sending frames: exclusive, non-blocking, raw
// 8N1 at any baud rate (platform/serial_line.h). A frame is written without
// waiting; what the port does not take at once is kept in the port's write
// copy and pushed on before the next frame is accepted, so a busy port
// drops frames instead of delaying the sender. A port whose write fails
// (the cable pulled, the device gone) sends nothing more and keeps the
// reason in fault(). UI thread opens and closes; the sending thread sends.
#pragma once

#include <atomic>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "output/transport.h"
#include "platform/failure.h"
#include "platform/serial_line.h"

namespace quor {

class SerialPort : public Transport {
 public:
  // `name` is a port name such as "ttyUSB0" (under /dev) or an absolute
  // path. A failure when the port does not exist, is in use, may not be
  // opened by this user, is not a terminal device (a FIFO or a plain file
  // is refused without waiting), or refuses the settings; its message says
  // why and its errorNumber holds the errno of the call that failed (EINVAL
  // for a missing name or a bad baud rate). The port is exclusive while
  // open and free for anyone again once closed.
  static Result<std::unique_ptr<SerialPort>> Open(std::string_view name, int baudRate);
  ~SerialPort() override;

  bool ReadyForFrame() override;
  void Send(std::span<const uint8_t> bytes) override;
  int fault() const override { return fault_.load(); }
  // Bytes of the last frame not yet taken by the port.
  size_t PendingBytes() const { return pendingEnd_ - pendingBegin_; }

  static std::string PathFor(std::string_view name) { return SerialPortPath(name); }

 private:
  explicit SerialPort(std::unique_ptr<SerialLine> line) : line_(std::move(line)) {}
  void PushRest();

  std::unique_ptr<SerialLine> line_;
  std::atomic<int> fault_{0};
  std::vector<uint8_t> writeCopy_;
  size_t pendingBegin_ = 0;
  size_t pendingEnd_ = 0;
};

}  // namespace quor
