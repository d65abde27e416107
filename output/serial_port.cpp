#include "output/serial_port.h"

namespace quor {

Result<std::unique_ptr<SerialPort>> SerialPort::Open(std::string_view name, int baudRate) {
  Result<std::unique_ptr<SerialLine>> line = SerialLine::Open(name, baudRate, SerialAccess::kWrite);
  if (!line) return line.failure();
  return std::unique_ptr<SerialPort>(new SerialPort(std::move(*line)));
}

SerialPort::~SerialPort() = default;

bool SerialPort::ReadyForFrame() {
  if (fault_.load() != 0) return false;  // the port is gone: nothing more is sent
  if (pendingBegin_ < pendingEnd_) {
    // The previous frame is finished before a new one is taken.
    PushRest();
    return false;
  }
  return line_->QueuedOutputBytes() == 0;
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
    const Result<size_t> taken = line_->Write(std::span(writeCopy_).subspan(pendingBegin_, pendingEnd_ - pendingBegin_));
    if (!taken) {
      // The port failed (unplugged, hung up): it stays failed, since the
      // device that comes back is a new one.
      fault_.store(taken.failure().errorNumber);
      pendingBegin_ = pendingEnd_ = 0;
      return;
    }
    if (*taken == 0) return;  // the port takes nothing more now
    pendingBegin_ += *taken;
  }
  pendingBegin_ = pendingEnd_ = 0;
}

}  // namespace quor
